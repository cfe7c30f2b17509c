// Memory hints on POSIX systems: transparent huge pages where Linux has them.
#include "zrk/os/memhint.h"

#include <sys/mman.h>

void zrkos::AdviseHugePages(void* block, size_t size) {
#ifdef MADV_HUGEPAGE
    madvise(block, size, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}
