#pragma once
// How many threads parallel work may use: QUORVENAL_THREADS from the environment when it is a
// positive number, otherwise every core. 1 means the sequential code.
//
// RunTasks shares independent pieces of work out to a pool of worker threads that lives as long
// as the program; work whose result does not depend on the order of its pieces stays the same on
// any number of threads.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace qv {

int32_t ThreadCount();

// Runs Task(0) .. Task(Count - 1), each once, on at most Threads threads, the calling one among
// them, and returns when all have run. With Threads 1 or less, one task, or from inside a task
// (or while another thread's tasks run), they run on the calling thread in order. When tasks
// throw, the exception of the lowest one is rethrown once the others have stopped; tasks after
// it may or may not have run.
void RunTasks(size_t Count, int32_t Threads, const std::function<void(size_t Task)>& Task);

// As RunTasks, but the calling thread takes none of the tasks: it calls Tick() about every
// Interval until they have all run, so it can keep a window answering while workers do the work.
// Where RunTasks would run them on the calling thread, they run there in order, each followed by
// Tick(). An exception of Tick is rethrown once the tasks have stopped (after theirs).
void RunTasksTicking(size_t Count, int32_t Threads, const std::function<void(size_t Task)>& Task,
                     const std::function<void()>& Tick, std::chrono::milliseconds Interval);

// Body(Begin, End) over [0, Count) in pieces of Grain (the last one shorter), as RunTasks runs them.
template <class TBody>
void ParallelFor(size_t Count, size_t Grain, int32_t Threads, TBody&& Body) {
  if (Count == 0) return;
  if (Grain == 0) Grain = 1;
  const size_t Pieces = (Count + Grain - 1) / Grain;
  RunTasks(Pieces, Threads, [&](size_t Piece) {
    const size_t Begin = Piece * Grain;
    Body(Begin, Begin + Grain < Count ? Begin + Grain : Count);
  });
}

}  // namespace qv
