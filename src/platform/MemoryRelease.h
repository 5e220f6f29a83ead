#pragma once
#include <cstddef>

// How the process gives the memory of large transient work (screen-sized images, encoded PNGs,
// movie frames, decoded pictures) back to the system. glibc keeps freed blocks in the pool of the
// thread that freed them and, by default, lets its threshold for blocks with pages of their own
// grow up to 32 MiB after a large block was freed, so every screen image of a worker stayed in
// that worker's pool for the rest of the session.
namespace MemoryRelease {

// Blocks of at least this size get pages of their own, returned to the system when freed.
inline constexpr std::size_t largeBlockBytes = 4 * 1024 * 1024;

// Once at start, before any other thread runs: fixes the large-block threshold at largeBlockBytes.
void configureAllocator();
// After a big job ended (a capture stored, a recording stopped): returns the free memory of every
// thread's pool to the system, on the worker pool so that the caller does not wait for it.
void releaseFreeMemory();
// The same, at once on the calling thread (tests, benchmarks).
void releaseFreeMemoryNow();

}
