#include "support/allocator_tuning.h"

#include <malloc.h>

void keepLargeAllocations() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 2000 * 1000 * 1000);
    mallopt(M_TOP_PAD, 256 * 1024 * 1024);
#endif
}
