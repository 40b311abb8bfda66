// Holding back the host on a worker thread: what engine code shows there is recorded and
// replayed in order on the waiting thread, and nothing reaches the windows from the worker.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Host.h"
#include "RecordingMessages.h"

namespace qv {
namespace {

// Holds back errors while it lives, as a reader does around a record it may refuse.
class Silence : public Messages {
 public:
  Silence() : FOuter(HostMessages()) { SetHostMessages(this); }
  ~Silence() override { SetHostMessages(&FOuter); }
  void Error(const std::string&) override {}

 private:
  Messages& FOuter;
};

TEST(HostHeldBack, WorkerMessagesAreReplayedInOrderOnTheWaitingThread) {
  test::RecordingMessages Shown;
  int Busy = 0;
  std::vector<std::string> Order;
  SetRefreshHandler([&] { Order.push_back("refresh " + std::to_string(Shown.Errors.size())); });
  SetBusyCursorHooks([&] { ++Busy; }, [] {});
  HostRecord Record;
  bool Answer = true;
  std::thread Worker([&] {
    HostHeldBack Held(Record);
    HostMessages().Error("first");
    PostRefresh();
    {
      // A handler installed on the worker stays there; restoring it restores the recording.
      Silence Quiet;
      HostMessages().Error("silenced");
    }
    BusyCursor Cursor;
    HostMessages().Info("note");
    Answer = HostMessages().Confirm("question");
    HostMessages().Error("second");
  });
  Worker.join();
  EXPECT_TRUE(Shown.Errors.empty()) << "nothing reaches the windows from the worker";
  EXPECT_EQ(Busy, 0);
  EXPECT_FALSE(Answer);
  EXPECT_TRUE(Order.empty());
  HostMessages().Error("waiting thread");
  Record.Replay();
  EXPECT_EQ(Shown.Errors, (std::vector<std::string>{"waiting thread", "first", "second"}));
  EXPECT_EQ(Shown.Infos, (std::vector<std::string>{"note"}));
  EXPECT_TRUE(Shown.Questions.empty());
  EXPECT_EQ(Order, (std::vector<std::string>{"refresh 2"}));
  // The waiting thread's own host was never touched.
  { BusyCursor Cursor; }
  EXPECT_EQ(Busy, 1);
  SetRefreshHandler(nullptr);
  SetBusyCursorHooks(nullptr, nullptr);
}

}  // namespace
}  // namespace qv
