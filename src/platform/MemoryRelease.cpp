#include "platform/MemoryRelease.h"

#include "platform/Background.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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
