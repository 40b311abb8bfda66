#include "Threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "NumberFormat.h"
#include "TextUtils.h"

namespace qv {

int32_t ThreadCount() {
  if (const char* Text = std::getenv("QUORVENAL_THREADS")) {
    int32_t Count = 0;
    if (TryStrToInt(Trim(Text), Count) && Count > 0) return Count;
  }
  const unsigned Cores = std::thread::hardware_concurrency();
  return Cores > 0 ? static_cast<int32_t>(std::min(Cores, 256u)) : 1;
}

namespace {

// Set on worker threads and on a thread while it runs tasks: work it starts runs there.
thread_local bool InsideTasks = false;

// Stages run their pieces of work one after another, with a little work on one thread between
// them: a thread that has just finished waits this long, awake, for the next before it sleeps,
// so it need not be woken (on a busy machine a sleeping thread can wait long for a core).
constexpr auto SpinTime = std::chrono::microseconds(200);

// Spins until Ready() or SpinTime has passed; answers Ready().
template <class TReady>
bool SpinUntil(TReady&& Ready) {
  const auto Start = std::chrono::steady_clock::now();
  for (uint32_t i = 1;; ++i) {
    if (Ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
    if (i % 64 == 0 && std::chrono::steady_clock::now() - Start > SpinTime) return Ready();
  }
}

class TWorkerPool {
 public:
  ~TWorkerPool() {
    {
      std::lock_guard Lock(FMutex);
      FStop = true;
    }
    FWake.notify_all();
    for (std::thread& T : FWorkers) T.join();
  }

  // False when another thread's tasks are running, or when Tick is given and no worker can be
  // had: the caller runs its own. With Tick the caller only ticks while the workers run them.
  bool Run(size_t Count, int32_t Threads, const std::function<void(size_t)>& Task,
           const std::function<void()>* Tick = nullptr, std::chrono::milliseconds Interval = {}) {
    std::unique_lock Job(FJobMutex, std::try_to_lock);
    if (!Job.owns_lock()) return false;
    const size_t Helpers = Tick ? std::min<size_t>(static_cast<size_t>(Threads), Count)
                                : std::min<size_t>(static_cast<size_t>(Threads) - 1, Count - 1);
    try {
      while (FWorkers.size() < Helpers) FWorkers.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // No more threads to be had: those there are share the work.
    }
    if (Tick && FWorkers.empty()) return false;
    {
      std::lock_guard Lock(FMutex);
      FTask = &Task;
      FCount = Count;
      FNext = 0;
      FDone = 0;
      FErrorTask = Count;
      FError = nullptr;
      FOpenSeats = std::min(Helpers, FWorkers.size());
      FGeneration.fetch_add(1);
    }
    FWake.notify_all();
    // Work started from the calling thread meanwhile (a tick included) runs there.
    InsideTasks = true;
    std::exception_ptr TickError;
    if (Tick) {
      std::unique_lock Lock(FMutex);
      const auto AllRun = [this] { return FDone.load() == FCount; };
      while (!FFinished.wait_for(Lock, Interval, AllRun)) {
        Lock.unlock();
        try {
          (*Tick)();
        } catch (...) {
          if (!TickError) TickError = std::current_exception();
        }
        Lock.lock();
      }
    } else {
      RunSome(Task, Count);
    }
    InsideTasks = false;
    {
      // Seats not taken by now are closed, so no late worker joins a finished job.
      std::lock_guard Lock(FMutex);
      FOpenSeats = 0;
    }
    const auto Finished = [this] { return FDone.load() == FCount && FSeated.load() == 0; };
    SpinUntil(Finished);
    std::exception_ptr Error;
    {
      std::unique_lock Lock(FMutex);
      FFinished.wait(Lock, Finished);
      FTask = nullptr;
      Error = FError;
      FError = nullptr;
    }
    if (Error) std::rethrow_exception(Error);
    if (TickError) std::rethrow_exception(TickError);
    return true;
  }

 private:
  void RunSome(const std::function<void(size_t)>& Task, size_t Count) {
    size_t Ran = 0;
    for (size_t T; (T = FNext.fetch_add(1)) < Count; ++Ran) {
      try {
        Task(T);
      } catch (...) {
        std::lock_guard Lock(FMutex);
        if (T < FErrorTask) {
          FErrorTask = T;
          FError = std::current_exception();
        }
      }
    }
    if (Ran) {
      std::lock_guard Lock(FMutex);
      FDone += Ran;
    }
  }

  void Work() {
    InsideTasks = true;
    uint64_t Seen = 0;
    std::unique_lock Lock(FMutex);
    for (;;) {
      if (FGeneration.load() == Seen) {
        Lock.unlock();
        SpinUntil([&] { return FGeneration.load() != Seen; });
        Lock.lock();
      }
      FWake.wait(Lock, [&] { return FStop || (FGeneration.load() != Seen && FOpenSeats > 0); });
      if (FStop) return;
      Seen = FGeneration.load();
      --FOpenSeats;
      ++FSeated;
      const std::function<void(size_t)>* Task = FTask;
      const size_t Count = FCount;
      Lock.unlock();
      RunSome(*Task, Count);
      Lock.lock();
      --FSeated;
      // A ticking caller waits for the last task, not for the seats.
      if (FDone == FCount) FFinished.notify_all();
    }
  }

  std::mutex FJobMutex;  // one job at a time
  std::mutex FMutex;
  std::condition_variable FWake, FFinished;
  std::vector<std::thread> FWorkers;
  const std::function<void(size_t)>* FTask = nullptr;
  size_t FCount = 0;
  std::atomic<size_t> FNext{0};
  // Changed under FMutex only; atomic so a spinning thread may read them.
  std::atomic<size_t> FDone{0};
  size_t FOpenSeats = 0;
  std::atomic<size_t> FSeated{0};
  std::atomic<uint64_t> FGeneration{0};
  size_t FErrorTask = 0;
  std::exception_ptr FError;
  bool FStop = false;
};

TWorkerPool& Pool() {
  static TWorkerPool P;
  return P;
}

}  // namespace

void RunTasks(size_t Count, int32_t Threads, const std::function<void(size_t Task)>& Task) {
  if (Count == 0) return;
  if (Threads > 1 && Count > 1 && !InsideTasks && Pool().Run(Count, Threads, Task)) return;
  for (size_t T = 0; T < Count; ++T) Task(T);
}

void RunTasksTicking(size_t Count, int32_t Threads, const std::function<void(size_t Task)>& Task,
                     const std::function<void()>& Tick, std::chrono::milliseconds Interval) {
  if (Count == 0) return;
  if (Threads > 1 && !InsideTasks && Pool().Run(Count, Threads, Task, &Tick, Interval)) return;
  std::exception_ptr TickError;
  for (size_t T = 0; T < Count; ++T) {
    Task(T);
    try {
      Tick();
    } catch (...) {
      if (!TickError) TickError = std::current_exception();
    }
  }
  if (TickError) std::rethrow_exception(TickError);
}

}  // namespace qv
