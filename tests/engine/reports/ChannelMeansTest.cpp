#include <gtest/gtest.h>

#include "DataSetFixtures.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "reports/ChannelMeans.h"

namespace qv {
namespace {

TEST(ChannelMeansReport, MeansAndDeviationsPerClassLastClassFirst) {
  test::SettingsGuard Settings;
  MinimumRawScore = 0;
  TFCSLineArray Events;
  test::FillEvents(Events, 0, 2, {{10, 20}, {30, 40}, {1000, 1000}});
  // Compensated values by rigorous class: class 1 holds two events, class 0 one, class 2 none.
  const float Comp[3][2] = {{10, 20}, {30, 40}, {5, 6}};
  const int16_t Class[3] = {1, 1, 0};
  for (size_t i = 0; i < 3; ++i) {
    TFCSLine E = Events[i];
    E.SizeCompensated();
    E.CompValues()[0] = Comp[i][0];
    E.CompValues()[1] = Comp[i][1];
    E.Classes()[2] = Class[i];
  }
  auto P = test::MakeProtocol({}, {{"GFP", "FL1"}, {"RFP", "FL2"}});
  std::string Text;
  ChannelMeansReport(Events, *P, {"--", "G-", "-R"}, 2, Text);
  EXPECT_EQ(SplitLines(Text), (TStringArray{"Mean Channel Values", "", "Class\tGFP\tRFP\t", "-R\t0.0\t0.0\t",
                                            "G-\t20.0\t30.0\t", "--\t5.0\t6.0\t", "", "Mean Channel Deviation", "",
                                            "-R\t0.0\t0.0\t", "G-\t10.0\t10.0\t", "--\t0.0\t0.0\t"}));
  EXPECT_THROW(ChannelMeansReport(Events, *P, {"--"}, 2, Text), ERangeError);
  EXPECT_THROW(ChannelMeansReport(Events, *P, {"--", "G-", "-R"}, 3, Text), ERangeError);

  // The data set's report is the stage's on its events.
  TFCSData D;
  test::FillEvents(D.Events, 0, 2, {{10, 20}});
  D.Events[0].SizeCompensated();
  std::string Own, Stage;
  D.ChannelMeansReport(*P, {"--"}, 2, Own);
  ChannelMeansReport(D.Events, *P, {"--"}, 2, Stage);
  EXPECT_EQ(Own, Stage);
}

}  // namespace
}  // namespace qv
