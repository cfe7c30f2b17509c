// Memory hints on Windows: large pages need a privilege that programs do not
// hold, so the hint changes nothing.
#include "zrk/os/memhint.h"

void zrkos::AdviseHugePages(void*, size_t) {}
