#include "heap.h"

#include <malloc.h>

void keepPictureBuffersForReuse() {
    constexpr int ReusedUpTo = 32 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, ReusedUpTo);
    mallopt(M_TRIM_THRESHOLD, 2 * ReusedUpTo);
}
