// Hints to the system about how a block of memory will be used.
#pragma once

#include <cstddef>

namespace zrkos {

// The size and alignment of a huge page where the system has them.
constexpr size_t kHugePage = size_t{2} << 20;

// BLOCK (aligned to kHugePage, SIZE bytes, not yet touched) will be read and
// written at random: back it with huge pages where the system offers them,
// so that random access misses the address translation caches far less
// often. Only a hint: nothing changes where the system cannot.
void AdviseHugePages(void* block, size_t size);

}  // namespace zrkos
