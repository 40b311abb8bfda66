#include <gtest/gtest.h>

#include "batch/Queue.h"
#include "RecordingMessages.h"

using namespace qv;

namespace {

TCullSettings Cull(bool On, int32_t High, int32_t Low) { return TCullSettings{On, High, Low}; }

TEST(Queue, KeepsFilesLastFirstAndListsTheLastEntryFirst) {
  TFCSQueue Queue;
  Queue.Add({}, "/data/", "none", Cull(false, 0, 0), "p.protocol");
  EXPECT_EQ(Queue.Count(), 0);

  Queue.Add({"a.fcs", "b.fcs", "c.fcs"}, "/data/", "A", Cull(true, 900, 100), "/p/one.protocol");
  Queue.Add({"d.fcs"}, "/other/", "B", Cull(false, 5, 1), "/p/two.protocol");
  ASSERT_EQ(Queue.Count(), 2);
  EXPECT_EQ(Queue.GetFiles(0), (TStringArray{"c.fcs", "b.fcs", "a.fcs"}));
  EXPECT_EQ(Queue.FileLists[0], "c.fcs\r\nb.fcs\r\na.fcs\r\n");
  std::string Text;
  Queue.ListText(Text);
  EXPECT_EQ(Text, "B  (N=1)\r\nA  (N=3)\r\n");

  std::string Value = "x";
  Queue.GetDirectory(1, Value);
  EXPECT_EQ(Value, "/other/");
  Queue.GetProtocolName(0, Value);
  EXPECT_EQ(Value, "/p/one.protocol");
  Queue.GetName(2, Value);
  EXPECT_EQ(Value, "");
  EXPECT_TRUE(Queue.GetFiles(-1).empty());
  TCullSettings Settings = Cull(true, 7, 7);
  Queue.GetCullSettings(5, Settings);
  EXPECT_EQ(Settings.High, 7);
  Queue.GetCullSettings(0, Settings);
  EXPECT_TRUE(Settings.Cull);
  EXPECT_EQ(Settings.High, 900);
  EXPECT_EQ(Settings.Low, 100);
}

TEST(Queue, DeleteAsksAndMovesLaterEntriesDown) {
  TFCSQueue Queue;
  for (int i = 0; i < 3; ++i)
    Queue.Add({"f" + std::to_string(i)}, "/d/", "E" + std::to_string(i), Cull(i == 2, 10 * i, i), "p");
  test::RecordingMessages Messages;
  Messages.Answer = false;
  Queue.Delete(0);
  EXPECT_EQ(Messages.Questions, (std::vector<std::string>{"Delete E0"}));
  EXPECT_EQ(Queue.Count(), 3);

  Messages.Answer = true;
  Queue.Delete(0);
  Queue.Delete(3);  // outside: not even asked
  EXPECT_EQ(Messages.Questions.size(), 2u);
  ASSERT_EQ(Queue.Count(), 2);
  std::string Name;
  Queue.GetName(0, Name);
  EXPECT_EQ(Name, "E1");
  TCullSettings Settings;
  Queue.GetCullSettings(1, Settings);
  EXPECT_TRUE(Settings.Cull);
  EXPECT_EQ(Settings.High, 20);
  EXPECT_EQ(Queue.GetFiles(1), TStringArray{"f2"});

  Queue.Clear();
  EXPECT_EQ(Queue.Count(), 0);
  EXPECT_TRUE(Queue.CullSettings.empty());
}

}  // namespace
