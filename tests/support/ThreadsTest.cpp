#include "Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

TEST(Threads, EveryTaskRunsOnceOnAnyNumberOfThreads) {
  for (int32_t Threads : {1, 2, 3, 8, 40}) {
    std::vector<std::atomic<int>> Runs(1000);
    RunTasks(Runs.size(), Threads, [&](size_t Task) { ++Runs[Task]; });
    for (const auto& R : Runs) ASSERT_EQ(R.load(), 1) << Threads << " threads";
  }
  size_t Covered = 0;
  ParallelFor(10001, 64, 4, [&](size_t Begin, size_t End) {
    ASSERT_LE(End - Begin, 64u);
    static std::mutex M;
    std::lock_guard Lock(M);
    Covered += End - Begin;
  });
  EXPECT_EQ(Covered, 10001u);
  RunTasks(0, 8, [](size_t) { FAIL() << "no task to run"; });
}

TEST(Threads, OneThreadRunsTheTasksInOrderOnTheCaller) {
  std::vector<size_t> Order;
  const std::thread::id Caller = std::this_thread::get_id();
  RunTasks(5, 1, [&](size_t Task) {
    EXPECT_EQ(std::this_thread::get_id(), Caller);
    Order.push_back(Task);
  });
  EXPECT_EQ(Order, (std::vector<size_t>{0, 1, 2, 3, 4}));
}

TEST(Threads, TheLowestFailingTaskIsRethrown) {
  for (int32_t Threads : {1, 4}) {
    try {
      RunTasks(200, Threads, [](size_t Task) {
        if (Task == 37 || Task == 150) throw std::runtime_error("task " + std::to_string(Task));
      });
      ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& E) {
      EXPECT_STREQ(E.what(), "task 37");
    }
  }
  // The pool is whole afterwards.
  std::atomic<int> Count{0};
  RunTasks(100, 4, [&](size_t) { ++Count; });
  EXPECT_EQ(Count, 100);
}

TEST(Threads, WorkStartedInsideATaskOrBesideOtherWorkRunsWhereItStarts) {
  std::atomic<int> Inner{0};
  RunTasks(8, 4, [&](size_t) {
    const std::thread::id Here = std::this_thread::get_id();
    RunTasks(10, 4, [&](size_t) {
      EXPECT_EQ(std::this_thread::get_id(), Here);
      ++Inner;
    });
  });
  EXPECT_EQ(Inner, 80);
  // Two threads starting work at once: both complete, whichever gets the pool.
  std::atomic<int> Total{0};
  std::thread Other([&] { RunTasks(500, 4, [&](size_t) { ++Total; }); });
  RunTasks(500, 4, [&](size_t) { ++Total; });
  Other.join();
  EXPECT_EQ(Total, 1000);
}

// The caller ticks while workers run every task; work a tick starts runs on the caller; a tick
// that throws is rethrown only after every task has run. With one thread, or inside a task, the
// tasks run in order on the caller, each followed by a tick.
TEST(Threads, TickingCallerTakesNoTaskAndTicksUntilAllHaveRun) {
  const std::thread::id Caller = std::this_thread::get_id();
  std::vector<std::atomic<int>> Runs(6);
  std::atomic<int> Released{0};
  int Ticks = 0;
  RunTasksTicking(
      Runs.size(), 3,
      [&](size_t Task) {
        EXPECT_NE(std::this_thread::get_id(), Caller);
        // Every task waits until the caller has ticked, so the caller must tick while they run.
        while (Released.load() == 0) std::this_thread::yield();
        ++Runs[Task];
      },
      [&] {
        EXPECT_EQ(std::this_thread::get_id(), Caller);
        ++Ticks;
        Released = 1;
        int Inner = 0;
        RunTasks(4, 4, [&](size_t) {
          EXPECT_EQ(std::this_thread::get_id(), Caller);
          ++Inner;
        });
        EXPECT_EQ(Inner, 4);
      },
      std::chrono::milliseconds(1));
  for (const auto& R : Runs) EXPECT_EQ(R.load(), 1);
  EXPECT_GE(Ticks, 1);

  std::atomic<int> Ran{0};
  std::atomic<bool> Ticked{false};
  EXPECT_THROW(RunTasksTicking(
                   10, 4,
                   [&](size_t) {
                     while (!Ticked.load()) std::this_thread::yield();
                     ++Ran;
                   },
                   [&] {
                     Ticked = true;
                     throw std::runtime_error("tick");
                   },
                   std::chrono::milliseconds(1)),
               std::runtime_error);
  EXPECT_EQ(Ran, 10);

  for (int32_t Threads : {1, 4}) {
    std::vector<std::string> Order;
    RunTasks(2, Threads == 1 ? 1 : 2, [&](size_t Outer) {
      if (Outer != 0) return;
      RunTasksTicking(
          3, Threads, [&](size_t Task) { Order.push_back("task " + std::to_string(Task)); },
          [&] { Order.push_back("tick"); }, std::chrono::milliseconds(1));
    });
    EXPECT_EQ(Order, (std::vector<std::string>{"task 0", "tick", "task 1", "tick", "task 2", "tick"}));
  }
}

}  // namespace
}  // namespace qv
