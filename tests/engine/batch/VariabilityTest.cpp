#include <gtest/gtest.h>

#include "batch/Variability.h"
#include "DataSetFixtures.h"
#include "dataset/Event.h"
#include "Errors.h"
#include "TextUtils.h"

using namespace qv;

namespace {

// One channel "G" with the Z-scoring window Low .. High.
std::unique_ptr<TProtocol> OneChannel(float Low, float High) {
  auto P = test::MakeProtocol({}, {test::ChannelDef("G", "FL1")});
  P->GetChannel(0)->Minimum_Value_ZScore = Low;
  P->GetChannel(0)->MaximumValue_ZScore = High;
  return P;
}

// Events of one channel: (file index, log10 compensated value).
void AddEvents(TFCSLineArray& Events, const std::vector<std::pair<int32_t, float>>& Values) {
  Events.Reset(0, 1);
  for (const auto& [File, Log] : Values) {
    TFCSLine E = Events.Append();
    E.SetFileIndex(File);
    E.SizeCompensated();
    E.LogCompValues()[0] = Log;
  }
}

TEST(Variability, CountsFractionsAndChiSquarePerFile) {
  auto P = OneChannel(10, 10000);
  TFCSLineArray Events;
  // With width 1: 0.5 below the lower limit counts in bin 0, 1.5 below counts as below.
  AddEvents(Events, {{0, 0.5f}, {0, -0.5f}, {0, 2.5f}, {2, 3.5f}, {2, 4.0f}, {2, 1.2f}});
  TVariability V;
  V.Run(*P, Events, 3);
  EXPECT_EQ(V.LogLow[0], 1.0f);
  EXPECT_EQ(V.LogHigh[0], 4.0f);
  EXPECT_EQ(V.BinWidth[0], 1.0f);
  EXPECT_EQ(V.PlateCount, 3);
  EXPECT_EQ(V.Counts[0], (TIntArray{2, 1, 1}));
  EXPECT_EQ(V.BelowCount[0], 1);
  EXPECT_EQ(V.AboveCount[0], 1);

  std::string Text;
  V.Report('\t', Text);
  const TStringArray Lines = SplitLines(Text);
  const TStringArray Expected{
      "****** Channel Counts of Compensated Values ******",
      "",
      "Name\tFile\tMin\tMax\tLow\tBin_1\tBin_2\tBin_3\tHigh",
      "G\tALL\t10.0\t10000.0\t1\t2\t1\t1\t1",
      "G\tFile_0\t10.0\t10000.0\t1\t1\t1\t0\t0",
      "G\tFile_1\t10.0\t10000.0\t0\t0\t0\t0\t0",
      "G\tFile_2\t10.0\t10000.0\t0\t1\t0\t1\t1",
      "",
      "****** Channel Fractions of Compensated Values ******",
      "",
      "Name\tPlate\tLow\tBin_1\tBin_2\tBin_3\tHigh\tChi-Sq",
      "G\tALL\t0.250\t0.500\t0.250\t0.250\t0.250",
      "G\tFile_0\t0.500\t0.500\t0.500\t0.000\t0.000\t1.00",
      "G\tFile_1\t0.000\t0.000\t0.000\t0.000\t0.000\t0.00",
      "G\tFile_2\t0.000\t0.500\t0.000\t0.500\t0.500\t1.00",
      "",
      "Total Chi-Sq",
      "File_0\t1.00",
      "File_1\t0.00",
      "File_2\t1.00"};
  EXPECT_EQ(Lines, Expected);
  EXPECT_EQ(Text.substr(Text.size() - 2), "\r\n");
}

TEST(Variability, FarOffValuesAndASingleFile) {
  auto P = OneChannel(10, 10000);
  TFCSLineArray Events;
  AddEvents(Events, {{0, 3.0e38f}, {0, -3.0e38f}, {0, 1.5f}, {0, 2.5f}});
  TVariability V;
  V.Run(*P, Events, 3);
  EXPECT_EQ(V.AboveCount[0], 1);
  EXPECT_EQ(V.BelowCount[0], 1);
  // One file: its row equals the pooled one and its chi-square is 0.
  EXPECT_EQ(V.FractionsByPlate[0][0][0], V.Fractions[0][0]);
  std::string Text;
  V.Report(',', Text);
  EXPECT_NE(Text.find("File_0,0.00\r\n"), std::string::npos);
}

TEST(Variability, UnusableWindowsAndEventsAreErrorsThatLeaveNoResults) {
  TFCSLineArray Events;
  AddEvents(Events, {{0, 1.0f}});
  TVariability V;
  const auto Message = [&](const TProtocol& P, const TFCSLineArray& E, int32_t Bins) {
    try {
      V.Run(P, E, Bins);
    } catch (const Exception& Error) {
      EXPECT_EQ(V.ChannelCount, 0);
      return std::string(Error.what());
    }
    return std::string("no error");
  };
  EXPECT_NE(Message(*OneChannel(0, 100), Events, 3).find("Channel G"), std::string::npos);
  EXPECT_NE(Message(*OneChannel(-5, 100), Events, 3).find("Channel G"), std::string::npos);
  EXPECT_NE(Message(*OneChannel(100, 100), Events, 3).find("Channel G"), std::string::npos);
  EXPECT_NE(Message(*OneChannel(100, 10), Events, 3).find("Channel G"), std::string::npos);
  EXPECT_NE(Message(*OneChannel(10, 100), Events, 0).find("bin"), std::string::npos);

  // A set that was never compensated.
  TFCSLineArray Raw;
  Raw.Reset(0, 1);
  Raw.Append();
  EXPECT_NE(Message(*OneChannel(10, 100), Raw, 3).find("compensated"), std::string::npos);
  TFCSLineArray Negative;
  AddEvents(Negative, {{-1, 1.0f}});
  EXPECT_THROW(V.Run(*OneChannel(10, 100), Negative, 3), ERangeError);
}

}  // namespace
