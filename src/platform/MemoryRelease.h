#pragma once

// How the process gives the memory of large transient work (screen-sized images, encoded PNGs,
// movie frames, decoded pictures) back to the system. glibc keeps freed blocks in the pool of the
// thread that freed them and, after a large block was freed, serves blocks of up to 32 MiB from
// those pools too, so every screen image of a worker stayed in that worker's pool for the rest of
// the session. Two measures together: blocks of 4 MiB and more (screen images, decoded movie
// frames) get pages of their own, given back when they are freed, whatever thread freed them; and
// the pools are trimmed once a big job has ended. The threshold alone left the pools of a movie
// player's decoding threads in place; trimming alone could not give back pools whose free space
// lay between blocks still in use (a 4K movie played once kept about 200 MB).
namespace MemoryRelease {

// Once at start, before any thread is made: blocks of 4 MiB and more get pages of their own.
void keepLargeBlocksOutOfPools();

// After a big job ended (a capture stored, a recording stopped, the history panel hidden):
// returns the free memory of every thread's pool to the system, on the worker pool so that the
// caller does not wait for it.
void releaseFreeMemory();
// The same, at once on the calling thread (tests, benchmarks).
void releaseFreeMemoryNow();

}
