// The class make-up stages on events built in memory, with their options given rather than read
// from the settings.
#include <gtest/gtest.h>

#include <algorithm>

#include "Errors.h"
#include "Random.h"
#include "dataset/Event.h"
#include "reports/ProportionReport.h"

namespace qv {
namespace {

// Counts[file][class] events of files 0.. with their class in column 2.
void Fill(TFCSLineArray& Events, const std::vector<std::vector<int>>& Counts) {
  Events.Reset(0, 1);
  for (size_t f = 0; f < Counts.size(); ++f)
    for (size_t k = 0; k < Counts[f].size(); ++k)
      for (int n = 0; n < Counts[f][k]; ++n) {
        TFCSLine E = Events.Append();
        E.SetFileIndex(static_cast<int32_t>(f));
        E.Classes()[2] = static_cast<int16_t>(k);
      }
}

TStringArray Rows(size_t Classes) {
  TStringArray Table{"Class;"};
  for (size_t k = 0; k < Classes; ++k) Table.push_back("c" + std::to_string(k) + ";");
  return Table;
}

TEST(ProportionStage, CountsAndTheZLimitFromTheOptions) {
  TFCSLineArray Events;
  TFCSShortLineArray None;
  Fill(Events, {{0, 100, 50, 50}, {0, 0, 50, 50}});
  const TReportEvents Set{{Events, None}, 0, 2};
  const TStringArray Names{"n0", "n1", "n2", "n3"};

  TStringArray Counts = Rows(4);
  ClassProportionReport(Set, Names, 2, false, ';', TProportionOptions{}, Counts, nullptr);
  EXPECT_EQ(Counts, (TStringArray{"Class;File0;File1;", "c0;0;0;0;", "c1;100;100;0;", "c2;100;50;50;",
                                  "c3;100;50;50;"}));

  TProportionOptions Options;
  Options.MaxZValue = 5;
  TStringArray Table = Rows(4);
  ClassProportionReport(Set, Names, 2, true, ';', Options, Table, nullptr);
  EXPECT_EQ(Table.back(), "All Z values are within the acceptable range");
  Options.MaxZValue = 1;
  Table = Rows(4);
  ClassProportionReport(Set, Names, 2, true, ';', Options, Table, nullptr);
  EXPECT_EQ(Table.back(), "**** THERE ARE SUSPICIOUSLY HIGH Z VALUES; DATA MAY BE SUSPECT ****");
  // No resampled lines unless the options ask for them.
  EXPECT_TRUE(std::none_of(Table.begin(), Table.end(), [](const std::string& L) { return L.rfind(";P (", 0) == 0; }));

  Options.CalculateSSDPvalues = true;
  Options.SSDIterations = 3;
  Table = Rows(4);
  ClassProportionReport(Set, Names, 2, true, ';', Options, Table, nullptr);
  EXPECT_TRUE(std::any_of(Table.begin(), Table.end(), [](const std::string& L) { return L.rfind(";P (3);", 0) == 0; }));

  TStringArray Short = Rows(3);
  EXPECT_THROW(ClassProportionReport(Set, Names, 2, false, ';', Options, Short, nullptr), ERangeError);
}

TEST(ProportionStage, RandomSampleSkipsClassZeroAndStopsWhenTheEventsRunOut) {
  TFCSLineArray Events;
  Fill(Events, {{4, 3, 2}});
  TIntArray Counts;
  Randomize(3);
  RandomClassSample(Events, 3, 2, 100, Counts, nullptr);
  EXPECT_EQ(Counts, (TIntArray{0, 3, 2}));
  RandomClassSample(Events, 3, 2, 2, Counts, nullptr);
  EXPECT_EQ(Counts[1] + Counts[2], 2);
  EXPECT_THROW(RandomClassSample(Events, 2, 2, 100, Counts, nullptr), ERangeError);
}

}  // namespace
}  // namespace qv
