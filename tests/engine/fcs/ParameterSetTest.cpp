// The parameter set read from $Pn keywords.
#include "fcs/ParameterSet.h"

#include <gtest/gtest.h>

#include "NumberFormat.h"

namespace qv {
namespace {

TParameterSet Load(const std::vector<std::string>& Lines, int32_t Count) {
  TParameterSet Set;
  Set.LoadFromKeywords(Lines, Count);
  return Set;
}

// Restores the process-wide decimal separator.
struct SeparatorGuard {
  char Old = DecimalSeparator();
  ~SeparatorGuard() { SetDecimalSeparator(Old); }
};

TEST(ParameterSetKeywords, FillsEveryFieldFromItsKeyword) {
  TParameterSet Set = Load({"$PAR=2", "$P1N= FSC-H ", "$P1S=Forward scatter", "$P1B=16", "$P1R=1024",
                            "$P1E=4,1", "$P1F= 530/30 ", "$P1G=2.5", "$P1L=488", "$P1O=20", "$P1P=50",
                            "$P1V=350", "$P1T=PMT", "$P2N=Time"},
                           2);
  ASSERT_EQ(Set.Count(), 2);
  const TParameter& P = Set.Items[0];
  EXPECT_EQ(P.ShortName, "FSC-H");
  EXPECT_EQ(P.LongName, "Forward scatter");
  EXPECT_EQ(P.Bytes, 16);
  EXPECT_EQ(P.Range, 1024);
  EXPECT_EQ(P.Decades, 4.0f);
  EXPECT_EQ(P.Minimum, 1.0f);
  EXPECT_TRUE(P.IsLog);
  EXPECT_EQ(P.Filter, "530/30");
  EXPECT_EQ(P.Gain, 2.5f);
  EXPECT_EQ(P.Wavelength, 488.0f);
  EXPECT_EQ(P.Power, 20.0f);
  EXPECT_EQ(P.PercentLight, 50.0f);
  EXPECT_EQ(P.Voltage, 350.0f);
  EXPECT_EQ(P.DetectorType, "");  // $PnT is never read
  const TParameter& Q = Set.Items[1];
  EXPECT_EQ(Q.ShortName, "Time");
  EXPECT_EQ(Q.Range, 0);
  EXPECT_FALSE(Q.IsLog);
}

TEST(ParameterSetKeywords, LogOnlyWhenDecadesArePositive) {
  TParameterSet Set = Load({"$P1E=0,0", "$P3E=4,1", "$P4E=-2,0"}, 4);
  EXPECT_FALSE(Set.Items[0].IsLog);
  EXPECT_FALSE(Set.Items[1].IsLog);  // no $P2E
  EXPECT_TRUE(Set.Items[2].IsLog);
  EXPECT_EQ(Set.Items[2].Decades, 4.0f);
  EXPECT_EQ(Set.Items[2].Minimum, 1.0f);
  EXPECT_FALSE(Set.Items[3].IsLog);
}

TEST(ParameterSetKeywords, PairRules) {
  float A = -1, B = -1;
  TParameterSet::GetKeywordPair("$P1E", {"$P1E=4"}, A, B);  // no comma
  EXPECT_EQ(A, 0.0f);
  EXPECT_EQ(B, 0.0f);
  TParameterSet::GetKeywordPair("$P1E", {"$P1E=4,x"}, A, B);
  EXPECT_EQ(A, 4.0f);
  EXPECT_EQ(B, 0.0f);
  TParameterSet::GetKeywordPair("$P1E", {"$P1E=x,1"}, A, B);
  EXPECT_EQ(A, 0.0f);
  EXPECT_EQ(B, 0.0f);
  TParameterSet::GetKeywordPair("$P1E", {"$P1E= 4.0,0.1024"}, A, B);  // as a Beckman Coulter FC500 writes it
  EXPECT_EQ(A, 4.0f);
  EXPECT_EQ(B, 0.1024f);
  TParameterSet::GetKeywordPair("$P1E", {}, A, B);
  EXPECT_EQ(A, 0.0f);
  EXPECT_EQ(B, 0.0f);
}

TEST(ParameterSetKeywords, NumbersUseADotWhateverTheDecimalSeparator) {
  SeparatorGuard Guard;
  SetDecimalSeparator(',');
  TParameterSet Set = Load({"$P1E=4.0,0.5", "$P1G=1.5", "$P1V=2,5"}, 1);
  EXPECT_EQ(Set.Items[0].Decades, 4.0f);
  EXPECT_EQ(Set.Items[0].Minimum, 0.5f);
  EXPECT_EQ(Set.Items[0].Gain, 1.5f);
  EXPECT_EQ(Set.Items[0].Voltage, 0.0f);  // "2,5" is not an FCS number
}

TEST(ParameterSetKeywords, ValuesThatDoNotConvertGiveZero) {
  TParameterSet Set = Load({"$P1R=1024.0", "$P1B=*", "$P1G=high", "$P1V=1e40", "$P1L=nan", "$P1O=inf"}, 1);
  const TParameter& P = Set.Items[0];
  EXPECT_EQ(P.Range, 0);
  EXPECT_EQ(P.Bytes, 0);
  EXPECT_EQ(P.Gain, 0.0f);
  EXPECT_EQ(P.Voltage, 0.0f);  // beyond a 32-bit float
  EXPECT_EQ(P.Wavelength, 0.0f);
  EXPECT_EQ(P.Power, 0.0f);
}

TEST(ParameterSetKeywords, FindsTheFirstLineTrimmedNamesAndAnyCase) {
  // A $Pn keyword standing first in the TEXT must not be lost.
  TParameterSet Set = Load({"$P1N=First", "  $p1s  = long ", "$P2N=B", "$P1N=Second"}, 2);
  EXPECT_EQ(Set.Items[0].ShortName, "First");  // the earliest line wins
  EXPECT_EQ(Set.Items[0].LongName, "long");
  EXPECT_EQ(TParameterSet::GetKeywordText("$P1N", {"$P1N=First"}), "First");
  EXPECT_EQ(TParameterSet::GetKeywordInt("$p1r", {" $P1R =  1024 "}), 1024);
  EXPECT_EQ(TParameterSet::GetKeywordFloat("$P1G", {"$P1G=0.25"}), 0.25f);
}

TEST(ParameterSetKeywords, ReloadResizesAndClearsMarks) {
  TParameterSet Set = Load({"$P1N=A"}, 3);
  Set.CycleSelection(0);
  Set.LoadFromKeywords({"$P1N=B"}, 1);
  ASSERT_EQ(Set.Count(), 1);
  EXPECT_EQ(Set.Items[0].ShortName, "B");
  EXPECT_FALSE(Set.Items[0].UseAsGate);
  Set.LoadFromKeywords({}, 0);
  EXPECT_EQ(Set.Count(), 0);
}

TEST(ParameterSetLookup, FindParameter) {
  TParameterSet Empty;
  EXPECT_EQ(Empty.FindParameter("", "", false, false), -1);
  TParameterSet Set = Load({"$P1S=FITC GFP-H", "$P1N=FL1-H", "$P2S=PE-H", "$P2N=FL2-H", "$P3S=GFP", "$P3N=FL3"}, 4);
  EXPECT_EQ(Set.FindParameter("", "", false, false), 3);  // everything matches: the last index
  EXPECT_EQ(Set.FindParameter("GFP", "", false, false), 2);
  EXPECT_EQ(Set.FindParameter("GFP", "FL1", false, false), 0);
  EXPECT_EQ(Set.FindParameter("GFP", "FL1", true, false), -1);
  EXPECT_EQ(Set.FindParameter("FITC GFP-H", "", true, false), 0);
  EXPECT_EQ(Set.FindParameter("gfp", "", false, false), -1);  // case-sensitive
  EXPECT_EQ(Set.FindParameter("", "FL2", false, true), -1);
  EXPECT_EQ(Set.FindParameter("", "FL2-H", false, true), 1);
}

TEST(ParameterSetLookup, GetParameterLeavesTheOutputForInvalidIndices) {
  TParameterSet Set = Load({"$P1N=A"}, 1);
  TParameter P;
  P.ShortName = "unchanged";
  Set.GetParameter(1, P);
  Set.GetParameter(-1, P);
  EXPECT_EQ(P.ShortName, "unchanged");
  Set.GetParameter(0, P);
  EXPECT_EQ(P.ShortName, "A");
  EXPECT_FALSE(Set.IsValidIndex(1));
}

TEST(ParameterSetCopy, IsIndependentOfItsSource) {
  TParameterSet Source = Load({"$P1N=A"}, 1);
  TParameterSet Copy(&Source);
  Source.Items[0].ShortName = "changed";
  Source.CycleSelection(0);
  EXPECT_EQ(Copy.Items[0].ShortName, "A");
  EXPECT_FALSE(Copy.Items[0].UseAsGate);
  EXPECT_EQ(TParameterSet(nullptr).Count(), 0);
}

TEST(ParameterSetSelection, CyclesNoneGateChannel) {
  TParameterSet Set = Load({}, 2);
  Set.CycleSelection(1);
  EXPECT_TRUE(Set.Items[1].UseAsGate);
  EXPECT_EQ(Set.SelectedGateCount(), 1);
  Set.CycleSelection(1);
  EXPECT_FALSE(Set.Items[1].UseAsGate);
  EXPECT_TRUE(Set.Items[1].UseAsChannel);
  EXPECT_EQ(Set.SelectedGateCount(), 0);
  EXPECT_EQ(Set.SelectedChannelCount(), 1);
  Set.CycleSelection(1);
  EXPECT_FALSE(Set.Items[1].UseAsGate || Set.Items[1].UseAsChannel);
  Set.CycleSelection(5);  // ignored
  EXPECT_EQ(Set.SelectedChannelCount(), 0);
}

TEST(ParameterSetReports, FillGrid) {
  TParameterSet Set = Load({"$P1S=Forward", "$P1N=FSC", "$P2N=FL1"}, 2);
  Set.CycleSelection(1);
  StringTable Grid = Set.FillGrid();
  EXPECT_EQ(Grid.RowCount(), 3);
  EXPECT_EQ(Grid.FixedRows, 1);
  EXPECT_EQ(Grid.FixedCols, 2);
  EXPECT_EQ(Grid.Cell(0, 1), "Forward");
  EXPECT_EQ(Grid.Cell(1, 1), "FSC");
  EXPECT_EQ(Grid.Cell(2, 1), "--");
  EXPECT_EQ(Grid.Cell(2, 2), "GATE");
  Set.CycleSelection(1);
  EXPECT_EQ(Set.FillGrid().Cell(2, 2), "CHANNEL");

  StringTable Empty = TParameterSet().FillGrid();
  EXPECT_EQ(Empty.RowCount(), 1);
  EXPECT_EQ(Empty.FixedRows, 0);
}

TEST(ParameterSetReports, CSVReport) {
  TParameterSet Set = Load({"$P1S=Forward", "$P1N=FSC", "$P1B=16", "$P1R=1024", "$P2N=FL1", "$P2E=4,1",
                            "$P2R=1024", "$P2F=530/30", "$P2G=2", "$P2V=350.25"},
                           2);
  EXPECT_EQ(Set.CSVReport(),
            "Idx,LongName,ShortName,Bytes,Range,Scale,Minimum,Decades,Filter,Gain,Wavelength,Power,PercentLight,"
            "DetectorType,Voltage\r\n"
            "1,Forward,FSC,16,1024,Linear,na,na,,0.0,0.0,0.0,0.0,,0.0\r\n"
            "2,,FL1,0,1024,Log,1.0,4.0,530/30,2.0,0.0,0.0,0.0,,350.3\r\n");
}

TEST(FloatWithDot, Syntax) {
  Extended V = 0;
  EXPECT_TRUE(TryStrToFloatDot(" -2.5e3 ", V));
  EXPECT_EQ(V, -2500.0L);
  EXPECT_TRUE(TryStrToFloatDot("+.5", V));
  EXPECT_EQ(V, 0.5L);
  EXPECT_TRUE(TryStrToFloatDot("5.", V));
  EXPECT_EQ(V, 5.0L);
  EXPECT_TRUE(TryStrToFloatDot("1E-2", V));
  EXPECT_EQ(V, 0.01L);
  V = 7;
  for (const char* Bad : {"", " ", "1,5", ".", "e5", "1e", "1e+", "inf", "nan", "0x10", "1.5x", "--1", "1 2"})
    EXPECT_FALSE(TryStrToFloatDot(Bad, V)) << Bad;
  EXPECT_EQ(V, 7.0L);
  float F = 0;
  EXPECT_FALSE(TryStrToSingleDot("1e39", F));
  EXPECT_TRUE(TryStrToSingleDot("0.1024", F));
  EXPECT_EQ(F, 0.1024f);
}

}  // namespace
}  // namespace qv
