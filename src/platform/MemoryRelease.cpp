#include "platform/MemoryRelease.h"

#include "platform/Background.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void MemoryRelease::configureAllocator()
{
#if defined(__GLIBC__)
    // A fixed threshold also stops glibc from raising it (and the trim threshold) on its own.
    mallopt(M_MMAP_THRESHOLD, int(largeBlockBytes));
#endif
}

void MemoryRelease::releaseFreeMemory()
{
    Background::run([] { releaseFreeMemoryNow(); });
}

void MemoryRelease::releaseFreeMemoryNow()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
