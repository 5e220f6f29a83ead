#pragma once

// How the process gives the memory of large transient work (screen-sized images, encoded PNGs,
// movie frames, decoded pictures) back to the system. glibc keeps freed blocks in the pool of the
// thread that freed them and, after a large block was freed, serves blocks of up to 32 MiB from
// those pools too, so every screen image of a worker stayed in that worker's pool for the rest of
// the session. Trimming once a big job has ended gives it back without costing the job itself
// anything (a fixed threshold for blocks with pages of their own would make every movie frame
// fault its pages in anew).
namespace MemoryRelease {

// After a big job ended (a capture stored, a recording stopped, the history panel hidden):
// returns the free memory of every thread's pool to the system, on the worker pool so that the
// caller does not wait for it.
void releaseFreeMemory();
// The same, at once on the calling thread (tests, benchmarks).
void releaseFreeMemoryNow();

}
