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

}  // namespace
}  // namespace qv
