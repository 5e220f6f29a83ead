#include "platform/MemoryRelease.h"
#include "fakes/ResidentMemory.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kScreenBytes = 3840u * 2160u * 4u;

// A screen image's block, written to as a grab does.
void touchAndFree(std::vector<void*>& smallBlocks)
{
    auto* block = static_cast<char*>(std::malloc(kScreenBytes));
    std::memset(block, 1, kScreenBytes);
    // Something small made meanwhile and kept, as an encoder or a cache does: it sits after the
    // block, so the freed block cannot simply be cut off the end of the heap.
    smallBlocks.push_back(std::malloc(100));
    std::free(block);
}

}

TEST(MemoryRelease, FreedScreenSizedBlocksLeaveNoResidentMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator keeps freed blocks in its quarantine, not in malloc's heap";
#endif
    std::vector<void*> smallBlocks;
    // The first freed block of this size raises the allocator's own threshold, so that every later
    // one comes from (and, freed, stays in) the heap: repeated grabs added up.
    touchAndFree(smallBlocks);
    const double before = residentMiB();
    for (int i = 0; i < 4; ++i)
        touchAndFree(smallBlocks);
    MemoryRelease::releaseFreeMemoryNow();
    EXPECT_LT(residentMiB() - before, 8.0);
    for (void* block : smallBlocks)
        std::free(block);
}
