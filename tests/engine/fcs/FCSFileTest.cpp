// Reading FCS files: instrument files, generated files of every layout, and refusals.
#include "fcs/FCSFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <memory>

#include "AllocationCap.h"
#include "FcsWriter.h"
#include "TestFolders.h"

namespace qv {
namespace {

using test::FcsDataOffsets;
using test::FcsDataType;
using test::FcsFileSpec;
using test::LinearParameter;
using test::LogParameter;

// 10^(Decades x Value / Range) in extended precision, stored as a float: what the reader must give.
float LogValue(double Raw, float Decades, int32_t Range) {
  return static_cast<float>(
      powl(10.0L, static_cast<Extended>(Decades) * static_cast<Extended>(Raw) / static_cast<Extended>(Range)));
}

class FCSFileTest : public ::testing::Test {
 protected:
  std::string Write(const FcsFileSpec& Spec, const std::string& Name = "test.fcs") {
    test::WriteFcs(Folder / Name, Spec);
    return Folder / Name;
  }
  std::string WriteBytes(const std::vector<uint8_t>& Bytes, const std::string& Name = "test.fcs") {
    test::WriteBytes(Folder / Name, Bytes);
    return Folder / Name;
  }
  // The refusal's message, "" when the file was read.
  static std::string Refusal(const std::string& FileName) {
    try {
      TFCSFile File(FileName);
    } catch (const EFCSFileError& E) {
      EXPECT_EQ(E.FileName(), FileName);
      EXPECT_NE(std::string(E.what()).find(FileName), std::string::npos) << "the message names the file";
      return E.Reason();
    }
    return "";
  }
  static FcsFileSpec Small(FcsDataType Type, bool BigEndian = false, const std::string& Version = "FCS3.0") {
    FcsFileSpec Spec;
    Spec.Version = Version;
    Spec.DataType = Type;
    Spec.BigEndian = BigEndian;
    Spec.Parameters = {LinearParameter("FSC-H", 1024, "Forward"), LinearParameter("SSC-H", 1024)};
    if (Type == FcsDataType::Int16)
      Spec.Events = {{1, 2}, {258, 1023}, {0, 513}};
    else
      Spec.Events = {{-131.22, 1e-5}, {59495.508, 0}, {3.5, 1e30}};
    return Spec;
  }
  test::TempFolder Folder;
};

// ---- Generated files of both data types and byte orders --------------------------------------

TEST_F(FCSFileTest, ReadsBothDataTypesInBothByteOrdersAndEveryVersion) {
  for (FcsDataType Type : {FcsDataType::Int16, FcsDataType::Float32})
    for (bool BigEndian : {false, true})
      for (const char* Version : {"FCS2.0", "FCS3.0", "FCS3.1"}) {
        SCOPED_TRACE(std::string(Version) + (Type == FcsDataType::Int16 ? " I" : " F") + (BigEndian ? " BE" : " LE"));
        FcsFileSpec Spec = Small(Type, BigEndian, Version);
        TFCSFile File(Write(Spec));
        EXPECT_EQ(File.Version, Version);
        EXPECT_EQ(File.DataType, Type == FcsDataType::Int16 ? TFCSFile::DataTypeInteger : TFCSFile::DataTypeFloat);
        EXPECT_EQ(File.BytesPerValue, Type == FcsDataType::Int16 ? 2 : 4);
        EXPECT_EQ(File.SwapBytes, BigEndian);
        EXPECT_EQ(File.Mode, "L");
        ASSERT_EQ(File.EventCount, 3);
        ASSERT_EQ(File.ParameterCount, 2);
        ASSERT_EQ(File.Parameters.Count(), 2);
        ASSERT_EQ(File.Events.size(), 3u);
        for (size_t e = 0; e < 3; ++e) {
          ASSERT_EQ(File.Events[e].size(), 2u);
          for (size_t p = 0; p < 2; ++p) EXPECT_EQ(File.Events[e][p], static_cast<float>(Spec.Events[e][p]));
        }
      }
}

TEST_F(FCSFileTest, ConvertsLargeFilesInEveryStep) {
  // The DATA are read and converted in blocks of 256 KiB: several blocks, the last one partial.
  for (FcsDataType Type : {FcsDataType::Int16, FcsDataType::Float32}) {
    for (bool BigEndian : {false, true}) {
      FcsFileSpec Spec;
      Spec.DataType = Type;
      Spec.BigEndian = BigEndian;
      Spec.Parameters = {LinearParameter("A", 65536), LogParameter("B", 3, 4096), LinearParameter("C", 0)};
      Spec.EventCount = 100003;
      Spec.Value = [](int64_t e, int32_t p) { return static_cast<double>((e * 7 + p * 1301) % 4096); };
      TFCSFile File(Write(Spec));
      ASSERT_EQ(File.Events.size(), 100003u);
      ASSERT_EQ(File.Events.Columns(), 3u);
      int64_t Wrong = 0;
      for (int64_t e = 0; e < Spec.EventCount; ++e) {
        // Rows are consecutive views of the one block.
        Wrong += File.Events[e].data() != File.Events.data() + 3 * e || File.Events[e].size() != 3;
        Wrong += File.Events[e][0] != Spec.Value(e, 0);
        Wrong += File.Events[e][1] != (Type == FcsDataType::Int16 ? LogValue(Spec.Value(e, 1), 3, 4096)
                                                                  : static_cast<float>(Spec.Value(e, 1)));
        Wrong += File.Events[e][2] != Spec.Value(e, 2);
      }
      EXPECT_EQ(Wrong, 0);
    }
  }
}

TEST_F(FCSFileTest, LogScalingEqualsOnePowerPerValueOverTheWholeRange) {
  // The reader takes the log values from a table; each must equal 10^(Decades x v / Range)
  // computed on its own in extended precision.
  FcsFileSpec Spec;
  Spec.DataType = FcsDataType::Int16;
  Spec.Parameters = {LogParameter("A", 4, 65536), LogParameter("B", 5, 262144), LogParameter("C", 4, 1024),
                     LogParameter("D", 3.5f, 10000), LogParameter("E", 0.1024f, 1000)};
  Spec.EventCount = 65536;
  Spec.Value = [](int64_t e, int32_t) { return static_cast<double>(e); };
  TFCSFile File(Write(Spec));
  int64_t Wrong = 0;
  for (int64_t v = 0; v < 65536; ++v) {
    Wrong += File.Events[v][0] != LogValue(v, 4, 65536);
    Wrong += File.Events[v][1] != LogValue(v, 5, 262144);
    Wrong += File.Events[v][2] != LogValue(v & 1023, 4, 1024);
    Wrong += File.Events[v][3] != LogValue(v & 16383, 3.5f, 10000);
    Wrong += File.Events[v][4] != LogValue(v & 1023, 0.1024f, 1000);
  }
  EXPECT_EQ(Wrong, 0);
}

// Log parameters of one scaling share it, and a scaling is made a table of every 16-bit value only
// when the file holds as many values of it: 10,000 log parameters over two events cost what
// their keywords and values cost, not 10,000 tables of 256 KB, and give the values the table
// would, whether they share one scaling or each has its own.
TEST_F(FCSFileTest, ManyLogParametersCostWhatTheirDataHold) {
  for (const bool Shared : {true, false}) {
    SCOPED_TRACE(Shared ? "one scaling" : "a scaling per parameter");
    FcsFileSpec Spec;
    Spec.DataType = FcsDataType::Int16;
    const auto Decades = [&](int32_t p) { return Shared ? 4.0f : 1.0f + static_cast<float>(p) / 4096; };
    for (int32_t p = 0; p < 10000; ++p)
      Spec.Parameters.push_back(LogParameter("P" + std::to_string(p), Decades(p), 65536));
    Spec.Events = {std::vector<double>(10000, 0), std::vector<double>(10000, 0)};
    for (int32_t p = 0; p < 10000; ++p) Spec.Events[1][static_cast<size_t>(p)] = (p * 7919) % 65536;
    const std::string Name = Write(Spec);
    std::unique_ptr<TFCSFile> File;
    {
      // The file is about 500 KB: 64 times that and 64 MB would be the rule's bound.
      test::TAllocationCap Cap(64 << 20);
      File = std::make_unique<TFCSFile>(Name);
      EXPECT_FALSE(Cap.Reached());
    }
    int64_t Wrong = 0;
    for (int32_t p = 0; p < 10000; ++p) {
      Wrong += File->Events[0][static_cast<size_t>(p)] != 1.0f;
      const float Read = File->Parameters.Items[static_cast<size_t>(p)].Decades;
      Wrong += Read != Decades(p) && Shared;
      Wrong += File->Events[1][static_cast<size_t>(p)] != LogValue((p * 7919) % 65536, Read, 65536);
    }
    EXPECT_EQ(Wrong, 0);
  }
}

TEST_F(FCSFileTest, OnlyTheExactBigEndianOrderSwaps) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.Events = {{0x0102, 0x0003}};
  Spec.Parameters = {LinearParameter("A", 65536), LinearParameter("B", 65536)};
  for (const char* Order : {" 4,3,2,1 ", "4,3,2,1"}) {
    FcsFileSpec Swapped = Spec;
    Swapped.BigEndian = true;
    Swapped.Keywords = {{"$BYTEORD", Order}};
    TFCSFile File(Write(Swapped));
    EXPECT_EQ(File.ByteOrder, "4,3,2,1");
    EXPECT_EQ(File.Events[0][0], 0x0102);
  }
  for (const char* Order : {"1,2,3,4", "1,2", "2,1", "3,4,1,2"}) {
    FcsFileSpec Low = Spec;
    Low.Keywords = {{"$BYTEORD", Order}};
    TFCSFile File(Write(Low));
    EXPECT_FALSE(File.SwapBytes) << Order;
    EXPECT_EQ(File.Events[0][0], 0x0102) << Order;
  }
  FcsFileSpec Missing = Spec;
  Missing.Omit = {"$BYTEORD"};
  TFCSFile File(Write(Missing));
  EXPECT_EQ(File.ByteOrder, "");
  EXPECT_EQ(File.Events[0][1], 3);
}

TEST_F(FCSFileTest, IntegerFileDeclaringFewerBitsIsStillReadTwoBytesPerValue) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.Parameters[0].Bits = 10;
  TFCSFile File(Write(Spec));
  EXPECT_EQ(File.Events[1][0], 258);
  EXPECT_EQ(File.Parameters.Items[0].Bytes, 10);
}

// ---- Log scaling and masking -------------------------------------------------------------------

TEST_F(FCSFileTest, LogScalesIntegerParameters) {
  FcsFileSpec Spec;
  Spec.DataType = FcsDataType::Int16;
  Spec.Parameters = {LogParameter("FL1", 4, 1024), LinearParameter("FSC", 1024), LogParameter("FL2", 4, 1000)};
  Spec.Events = {{0, 7, 1000}, {512, 8, 500}, {1023, 9, 0}};
  TFCSFile File(Write(Spec));
  EXPECT_EQ(File.Events[0][0], 1.0f);
  EXPECT_EQ(File.Events[1][0], 100.0f);
  EXPECT_EQ(File.Events[2][0], LogValue(1023, 4, 1024));
  EXPECT_EQ(File.Events[1][1], 8.0f);  // linear parameter untouched
  EXPECT_EQ(File.Events[0][2], 10000.0f);
  EXPECT_EQ(File.Events[1][2], 100.0f);
  EXPECT_EQ(File.Events[2][2], 1.0f);
}

TEST_F(FCSFileTest, FloatDataAreNeverLogScaled) {
  FcsFileSpec Spec = Small(FcsDataType::Float32);
  Spec.Parameters[0] = LogParameter("FL1", 4, 1024);
  TFCSFile File(Write(Spec));
  EXPECT_TRUE(File.Parameters.Items[0].IsLog);
  EXPECT_EQ(File.Events[1][0], 59495.508f);
}

TEST_F(FCSFileTest, LogParameterWithoutRangeIsReadLinear) {
  FcsFileSpec Spec;
  Spec.DataType = FcsDataType::Int16;
  Spec.Parameters = {LogParameter("NoRange", 4, std::nullopt), LogParameter("ZeroRange", 4, 0)};
  Spec.Events = {{600, 40000}};
  TFCSFile File(Write(Spec));
  EXPECT_EQ(File.Events[0][0], 600.0f);
  EXPECT_EQ(File.Events[0][1], 40000.0f);  // and not masked
}

TEST_F(FCSFileTest, MasksIntegerValuesToTheirRange) {
  FcsFileSpec Spec;
  Spec.DataType = FcsDataType::Int16;
  Spec.BigEndian = true;
  Spec.Parameters = {LinearParameter("R1024", 1024), LinearParameter("R1000", 1000), LinearParameter("R65536", 65536),
                     LinearParameter("R100000", 100000), LogParameter("Log", 4, 1024), LinearParameter("R1", 1)};
  Spec.Events = {{0xFC00 + 528, 0xF000 + 1000, 0xFFFF, 0xFFFF, 0x8400 + 512, 0xFFFF}};
  TFCSFile File(Write(Spec));
  EXPECT_EQ(File.Events[0][0], 528.0f);
  EXPECT_EQ(File.Events[0][1], 1000.0f);
  EXPECT_EQ(File.Events[0][2], 65535.0f);
  EXPECT_EQ(File.Events[0][3], 65535.0f);
  EXPECT_EQ(File.Events[0][4], 100.0f);  // masked before the log scaling
  EXPECT_EQ(File.Events[0][5], 0.0f);
}

TEST_F(FCSFileTest, RefusesLogScalingBeyondAFloat) {
  FcsFileSpec Spec;
  Spec.DataType = FcsDataType::Int16;
  Spec.Parameters = {LogParameter("Huge", 40, 1024)};
  Spec.Events = {{1}};
  EXPECT_NE(Refusal(Write(Spec)).find("too large for a 32-bit float"), std::string::npos);
}

TEST_F(FCSFileTest, RefusesFloatsThatAreNotFinite) {
  for (double Bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    FcsFileSpec Spec = Small(FcsDataType::Float32, true);
    Spec.Events[2][1] = Bad;
    EXPECT_EQ(Refusal(Write(Spec)), "event 3, parameter 2 is not a finite number.");
  }
}

// The DATA of large files is read and converted in blocks on several threads; each block
// lands where it belongs, and of two bad values the first is named.
TEST_F(FCSFileTest, LargeFilesReadInBlocksSideBySide) {
  for (const auto Type : {FcsDataType::Float32, FcsDataType::Int16}) {
    FcsFileSpec Spec;
    Spec.DataType = Type;
    Spec.BigEndian = true;
    Spec.Parameters = {LinearParameter("A", 65536), LinearParameter("B", 65536), LogParameter("C", 4, 1024)};
    Spec.EventCount = 400001;
    Spec.Value = [](int64_t e, int32_t p) { return static_cast<double>((e * 7 + p * 13) % 1024); };
    const TFCSFile File(Write(Spec));
    ASSERT_EQ(File.Events.size(), 400001u);
    for (const int64_t e : {int64_t{0}, int64_t{87380}, int64_t{174762}, int64_t{262143}, int64_t{400000}}) {
      EXPECT_EQ(File.Events[static_cast<size_t>(e)][0], static_cast<float>((e * 7) % 1024)) << e;
      EXPECT_EQ(File.Events[static_cast<size_t>(e)][1], static_cast<float>((e * 7 + 13) % 1024)) << e;
    }
  }
  FcsFileSpec Spec;
  Spec.Parameters = {LinearParameter("A"), LinearParameter("B")};
  Spec.EventCount = 1000000;
  Spec.Value = [](int64_t e, int32_t p) {
    return (e == 900000 && p == 0) || (e == 300000 && p == 1) ? std::numeric_limits<double>::quiet_NaN() : 1.0;
  };
  EXPECT_EQ(Refusal(Write(Spec)), "event 300001, parameter 2 is not a finite number.");
}

// ---- TEXT segment ----------------------------------------------------------------------------

TEST_F(FCSFileTest, WorkedExampleOfTheDelimiterWalk) {
  // $PAR 1: a larger count than the TEXT has keywords is refused.
  std::string Text = "/$TOT/0/$PAR/1/";
  std::string Header = "FCS2.0    " + std::string("      58") + "      72" + std::string(32, ' ');
  Header.replace(26, 8, "       0");
  std::vector<uint8_t> Bytes(Header.begin(), Header.end());
  Bytes.insert(Bytes.end(), Text.begin(), Text.end());
  TFCSFile File(WriteBytes(Bytes));
  EXPECT_EQ(File.Delimiter, '/');
  EXPECT_EQ(File.RawText, "/$TOT/0/$PAR/1");
  EXPECT_EQ(File.KeywordText, "$TOT=0\r\n$PAR=1");
  EXPECT_EQ(File.ParameterCount, 1);
  EXPECT_EQ(File.Parameters.Count(), 1);
  EXPECT_TRUE(File.Events.empty());
}

TEST_F(FCSFileTest, EmptyValueStaysEmpty) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.Omit = {"$P2R"};
  Spec.Keywords = {{"$P2S", ""}, {"$P2R", "1024"}};  // the TEXT ends /$P2S//$P2R/1024/
  TFCSFile File(Write(Spec));
  EXPECT_TRUE(File.KeywordText.ends_with("\r\n$P2S=\r\n$P2R=1024"));
  EXPECT_EQ(File.Parameters.Items[1].LongName, "");
  EXPECT_EQ(File.Parameters.Items[1].Range, 1024);
}

TEST_F(FCSFileTest, KeywordNamesAreTrimmedAndMatchedInAnyCaseEarliestFirst) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.Omit = {"$TOT", "$PAR", "$P1N"};
  Spec.LeadingKeywords = {{"$P1N", "First"}, {" $tot ", "2"}, {"$Par", " 2 "}, {"$TOT", "3"}};
  Spec.Keywords = {{"  $P2N", "padded"}, {"$PROJ", " project "}};
  TFCSFile File(Write(Spec));
  EXPECT_EQ(File.EventCount, 2);
  EXPECT_EQ(File.Events.size(), 2u);
  EXPECT_EQ(File.Project, " project ");
  std::string Name;
  File.GetParameterShortName(0, Name);
  EXPECT_EQ(Name, "First");  // a $Pn keyword first in the TEXT is found
  File.GetParameterShortName(1, Name);
  EXPECT_EQ(Name, "SSC-H");  // the standard $P2N comes before the padded one
}

TEST_F(FCSFileTest, OtherDelimitersAndPaddingAfterTheClosingDelimiter) {
  for (const std::string& Padding : {std::string(30, ' '), std::string(12, '\0'), std::string(" \r\n")}) {
    FcsFileSpec Spec = Small(FcsDataType::Int16, true, "FCS3.1");
    Spec.Delimiter = '\f';
    Spec.TextPadding = Padding;
    TFCSFile File(Write(Spec));
    EXPECT_EQ(File.Delimiter, '\f');
    EXPECT_TRUE(File.RawText.ends_with("\f$P2R\f1024")) << "ends with the last value";
    EXPECT_EQ(File.EventCount, 3);
    EXPECT_EQ(File.Events[1][1], 1023.0f);
  }
}

TEST_F(FCSFileTest, FileWithoutParAlsoHasNoEvents) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.Omit = {"$PAR"};
  TFCSFile File(Write(Spec));
  EXPECT_EQ(File.EventCount, 3);
  EXPECT_EQ(File.ParameterCount, 0);
  EXPECT_EQ(File.Parameters.Count(), 0);
  EXPECT_TRUE(File.Events.empty());
}

TEST_F(FCSFileTest, FileWithoutEvents) {
  FcsFileSpec Spec = Small(FcsDataType::Float32);
  Spec.Events.clear();
  TFCSFile File(Write(Spec));
  EXPECT_EQ(File.EventCount, 0);
  EXPECT_EQ(File.Parameters.Count(), 2);
  EXPECT_TRUE(File.Events.empty());
}

// ---- DATA offsets --------------------------------------------------------------------------

TEST_F(FCSFileTest, ReadsDataOffsetsFromTheTextWhenTheHeaderHasNone) {
  for (FcsDataOffsets Offsets : {FcsDataOffsets::TextZero, FcsDataOffsets::TextBlank})
    for (const char* Version : {"FCS2.0", "FCS3.0"}) {
      FcsFileSpec Spec = Small(FcsDataType::Float32, true, Version);
      Spec.DataOffsets = Offsets;
      TFCSFile File(Write(Spec));
      EXPECT_GT(File.DataBegin, File.TextEnd);
      EXPECT_EQ(File.Events[1][0], 59495.508f);
    }
}

TEST_F(FCSFileTest, HeaderDataOffsetsComeFirst) {
  FcsFileSpec Spec = Small(FcsDataType::Int16, false, "FCS3.0");
  Spec.Keywords = {{"$BEGINDATA", "58"}};  // wrong, and not used
  TFCSFile File(Write(Spec));
  EXPECT_EQ(File.Events[1][0], 258.0f);
}

TEST_F(FCSFileTest, AcceptsADataEndOnePastTheLastValue) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.DataEndAdjust = 1;
  TFCSFile File(Write(Spec));
  EXPECT_EQ(File.Events[2][1], 513.0f);
}

// ---- Refusals ------------------------------------------------------------------------------

TEST_F(FCSFileTest, MissingFileGivesAnEmptyObject) {
  TFCSFile File(Folder / "missing.fcs");
  EXPECT_EQ(File.FileName, "");
  EXPECT_EQ(File.EventCount, 0);
  EXPECT_TRUE(File.Events.empty());
}

TEST_F(FCSFileTest, RefusesBrokenHeaders) {
  std::vector<uint8_t> Good = test::BuildFcs(Small(FcsDataType::Int16));
  EXPECT_EQ(Refusal(WriteBytes(std::vector<uint8_t>(Good.begin(), Good.begin() + 57))),
            "the file is 57 bytes long, shorter than the 58-byte FCS HEADER.");
  std::vector<uint8_t> Bytes = Good;
  Bytes[0] = 'X';
  EXPECT_EQ(Refusal(WriteBytes(Bytes)), "it is not an FCS file: its HEADER does not start with \"FCS\".");
  Bytes = Good;
  Bytes[8] = '1';
  EXPECT_NE(Refusal(WriteBytes(Bytes)).find("Should be blank in header"), std::string::npos);
}

TEST_F(FCSFileTest, RefusesTextOffsetsOutsideTheFile) {
  std::vector<uint8_t> Good = test::BuildFcs(Small(FcsDataType::Int16));
  std::vector<uint8_t> Bytes = Good;
  test::SetHeaderField(Bytes, 1, std::to_string(Good.size()));
  EXPECT_NE(Refusal(WriteBytes(Bytes)).find("TEXT segment offsets"), std::string::npos);
  Bytes = Good;
  test::SetHeaderField(Bytes, 0, "");
  EXPECT_NE(Refusal(WriteBytes(Bytes)).find("TEXT segment offsets"), std::string::npos);
  Bytes = Good;
  test::SetHeaderField(Bytes, 1, "40");
  EXPECT_NE(Refusal(WriteBytes(Bytes)).find("TEXT segment offsets"), std::string::npos);
}

TEST_F(FCSFileTest, AcceptsLeftJustifiedHeaderOffsets) {
  std::vector<uint8_t> Bytes = test::BuildFcs(Small(FcsDataType::Int16, true, "FCS2.0"));
  for (int Field = 0; Field < 4; ++Field) {
    std::string Value = std::to_string(test::HeaderField(Bytes, Field));
    std::copy(Value.begin(), Value.end(), Bytes.begin() + 10 + 8 * Field);
    std::fill(Bytes.begin() + 10 + 8 * Field + Value.size(), Bytes.begin() + 18 + 8 * Field, ' ');
  }
  TFCSFile File(WriteBytes(Bytes));
  EXPECT_EQ(File.Events[2][1], 513.0f);
}

TEST_F(FCSFileTest, RefusesDataTypesOtherThanIAndF) {
  for (const char* Type : {"i", "D", "A", " I"}) {
    FcsFileSpec Spec = Small(FcsDataType::Int16);
    Spec.Keywords = {{"$DATATYPE", Type}};
    EXPECT_EQ(Refusal(Write(Spec)), "its $DATATYPE is \"" + std::string(Type) +
                                        "\"; only I (16-bit integers) and F (32-bit floats) can be read.");
  }
}

TEST_F(FCSFileTest, RefusesIntegersWiderThan16Bits) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.Parameters[1].Bits = 32;
  EXPECT_EQ(Refusal(Write(Spec)), "parameter 2 is stored in 32 bits ($P2B); only 16-bit integer data can be read.");
}

TEST_F(FCSFileTest, RefusesModesOtherThanListMode) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.Keywords = {{"$MODE", "C"}};
  EXPECT_EQ(Refusal(Write(Spec)), "its $MODE is \"C\"; only list-mode data ($MODE L) can be read.");
  Spec.Omit = {"$MODE"};
  Spec.Keywords.clear();
  EXPECT_EQ(Refusal(Write(Spec)), "");
}

TEST_F(FCSFileTest, RefusesCountsThatAreNotCounts) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.Keywords = {{"$TOT", "3 events"}};
  EXPECT_EQ(Refusal(Write(Spec)), "the value of $TOT (\"3 events\") is not a count.");
  Spec.Keywords = {{"$PAR", "-2"}};
  EXPECT_EQ(Refusal(Write(Spec)), "the value of $PAR (\"-2\") is not a count.");
  Spec.Keywords = {{"$PAR", "0"}};
  EXPECT_EQ(Refusal(Write(Spec)), "it declares no parameters ($PAR is 0).");
}

TEST_F(FCSFileTest, RefusesShortData) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.TruncateTo = static_cast<int64_t>(test::BuildFcs(Spec).size()) - 1;
  EXPECT_NE(Refusal(Write(Spec)).find("the file ends before its DATA segment does"), std::string::npos);

  Spec = Small(FcsDataType::Float32);
  Spec.DataEndAdjust = -1;
  EXPECT_NE(Refusal(Write(Spec)).find("is shorter than $TOT x $PAR = 3 x 2 values of 4 bytes (24 bytes)"),
            std::string::npos);

  Spec = Small(FcsDataType::Float32);
  Spec.Keywords = {{"$TOT", "4"}};
  EXPECT_NE(Refusal(Write(Spec)).find("shorter than $TOT x $PAR"), std::string::npos);
}

// ---- Hostile files: counts and paths that must be refused before anything is allocated or opened

TEST_F(FCSFileTest, RefusesParameterCountsBeyondTheKeywords) {
  for (const char* Par : {"1000", "2147483647"}) {
    FcsFileSpec Spec = Small(FcsDataType::Int16);
    Spec.Keywords = {{"$PAR", Par}};
    const std::string Reason = Refusal(Write(Spec));
    const std::string Expected =
        "its $PAR (" + std::string(Par) + ") is larger than the number of keywords in its TEXT (";
    EXPECT_EQ(Reason.rfind(Expected, 0), 0u) << Reason;
  }
}

// A file without $PAR holds no events whatever its $TOT: its grid shows the events held.
TEST_F(FCSFileTest, GridOfAHugeEventCountWithoutParametersIsEmpty) {
  FcsFileSpec Spec;
  Spec.Omit = {"$PAR"};
  Spec.Keywords = {{"$TOT", "2147483647"}};
  TFCSFile File(Write(Spec));
  ASSERT_EQ(File.EventCount, 2147483647);
  ASSERT_TRUE(File.Events.empty());
  StringTable Grid;
  ASSERT_NO_THROW(Grid = File.FillGrid());
  EXPECT_EQ(Grid.RowCount(), 2);
  EXPECT_EQ(Grid.ColCount(), 0);
}

TEST_F(FCSFileTest, RefusesPathsThatAreNotRegularFiles) {
  ASSERT_EQ(mkdir((Folder / "folder.fcs").c_str(), 0755), 0);
  ASSERT_EQ(Refusal(Folder / "folder.fcs"), "it is a folder, not a file.");
  ASSERT_EQ(symlink((Folder / "nowhere.fcs").c_str(), (Folder / "dangling.fcs").c_str()), 0);
  ASSERT_EQ(Refusal(Folder / "dangling.fcs"), "it is a symbolic link to a file that does not exist.");
  // Opening a pipe would wait for a writer for ever.
  ASSERT_EQ(mkfifo((Folder / "pipe.fcs").c_str(), 0644), 0);
  EXPECT_EQ(Refusal(Folder / "pipe.fcs"), "it is not a regular file (a pipe, a device or a socket).");
  EXPECT_EQ(Refusal("/dev/null"), "it is not a regular file (a pipe, a device or a socket).");
  TFCSFile Missing(Folder / "missing.fcs");
  EXPECT_EQ(Missing.MissingName, Folder / "missing.fcs");
}

TEST_F(FCSFileTest, RefusesPackedIntegersNarrowerThan16Bits) {
  FcsFileSpec Spec = Small(FcsDataType::Int16);
  Spec.Parameters[0].Bits = 10;
  Spec.Parameters[1].Bits = 10;
  // Three events of two 10-bit values: 60 bits, 8 bytes of DATA where 16-bit values need 12.
  std::vector<uint8_t> Bytes = test::BuildFcs(Spec);
  const int64_t Begin = test::HeaderField(Bytes, 2);
  Bytes.resize(static_cast<size_t>(Begin + 8));
  test::SetHeaderField(Bytes, 3, std::to_string(Begin + 7));
  EXPECT_EQ(Refusal(WriteBytes(Bytes)), "$P1B of 10 bits: only 16-bit integer data are read");
}

TEST_F(FCSFileTest, RefusesMissingDataOffsets) {
  FcsFileSpec Spec = Small(FcsDataType::Int16, false, "FCS2.0");
  Spec.DataOffsets = FcsDataOffsets::TextBlank;
  Spec.Omit = {"$BEGINDATA", "$ENDDATA"};
  EXPECT_EQ(Refusal(Write(Spec)),
            "the offset of its DATA segment is missing: it is 0 or blank in the HEADER and $BEGINDATA does not "
            "give it.");
  std::vector<uint8_t> Bytes = test::BuildFcs(Small(FcsDataType::Int16, false, "FCS2.0"));
  test::SetHeaderField(Bytes, 2, "20");
  EXPECT_EQ(Refusal(WriteBytes(Bytes)), "the offset of its DATA segment (20) points into the HEADER.");
}

// ---- Reports, notifications ------------------------------------------------------------------

struct RecordingGauge : Progress {
  std::vector<int64_t> Positions;
  void SetPosition(int64_t Position) override {
    Progress::SetPosition(Position);
    Positions.push_back(Position);
  }
};

TEST_F(FCSFileTest, HeaderReportAndFillGrid) {
  FcsFileSpec Spec = Small(FcsDataType::Float32, false, "FCS2.0");
  Spec.EventCount = 601;
  Spec.Value = [](int64_t e, int32_t p) { return e == 0 ? (p == 0 ? 2.5 : -3.5) : static_cast<double>(e * 10 + p); };
  std::string Name = Write(Spec);
  TFCSFile File(Name);
  EXPECT_EQ(File.HeaderReport(), "File,  " + Name + "\r\nVersion, FCS2.0\r\n");

  RecordingGauge Gauge;
  StringTable Grid = File.FillGrid(&Gauge);
  EXPECT_EQ(Grid.ColCount(), 2);
  EXPECT_EQ(Grid.RowCount(), 603);
  EXPECT_EQ(Grid.Cell(0, 0), "FSC-H");
  EXPECT_EQ(Grid.Cell(0, 1), "Forward");
  EXPECT_EQ(Grid.Cell(1, 0), "SSC-H");
  EXPECT_EQ(Grid.Cell(1, 1), "");
  EXPECT_EQ(Grid.Cell(0, 2), "3");   // 2.5 rounded half away from zero
  EXPECT_EQ(Grid.Cell(1, 2), "-4");
  EXPECT_EQ(Grid.Cell(1, 602), "6001");
  EXPECT_EQ(Gauge.Max(), 601);
  EXPECT_EQ(Gauge.Positions, (std::vector<int64_t>{1, 301, 601}));
  EXPECT_EQ(TFCSFile(Folder / "missing").FillGrid().RowCount(), 2);
}

TEST_F(FCSFileTest, ParameterAccessorsLeaveTheOutputForInvalidIndices) {
  TFCSFile File(Write(Small(FcsDataType::Int16)));
  std::string Name = "unchanged";
  File.GetParameterLongName(2, Name);
  File.GetParameterShortName(-1, Name);
  EXPECT_EQ(Name, "unchanged");
  File.GetParameterLongName(0, Name);
  EXPECT_EQ(Name, "Forward");
  TParameter P;
  File.GetParameter(1, P);
  EXPECT_EQ(P.ShortName, "SSC-H");
  EXPECT_EQ(P.Range, 1024);
}

TEST_F(FCSFileTest, PostsRefreshesAndRestoresTheCursor) {
  int Refreshes = 0, Begins = 0, Ends = 0;
  SetRefreshHandler([&] { ++Refreshes; });
  SetBusyCursorHooks([&] { ++Begins; }, [&] { ++Ends; });
  {
    TFCSFile File(Write(Small(FcsDataType::Int16)));
    EXPECT_EQ(Refreshes, 2);  // after the TEXT conversion and at the end
    EXPECT_EQ(Begins, 1);
    EXPECT_EQ(Ends, 1);
  }
  EXPECT_EQ(Refreshes, 3);  // freeing it
  FcsFileSpec Bad = Small(FcsDataType::Int16);
  Bad.TruncateTo = 200;
  EXPECT_NE(Refusal(Write(Bad)), "");
  EXPECT_EQ(Begins, 2);
  EXPECT_EQ(Ends, 2);
  SetRefreshHandler(nullptr);
  SetBusyCursorHooks(nullptr, nullptr);
}

// ---- The instrument files of ../shared/fcs-samples ----------------------------------------

struct SampleCase {
  const char* Name;
  const char* Version;
  uint8_t DataType;
  int32_t Parameters;
  int32_t Events;
  std::vector<float> FirstEvent;  // as stored (README): byte order applied, masked, no log scaling
  std::vector<float> Decades;     // per parameter, 0 for linear (all have $PnR 1024); empty for floats
};

const std::vector<SampleCase>& InScopeSamples() {
  static const std::vector<SampleCase> Cases = {
      {"facscan-fcs2-int16-be.fcs", "FCS2.0", 0, 6, 20949, {369, 427, 487, 1023, 1023, 0}, {0, 0, 4, 4, 4, 0}},
      {"cantoii-fcs2-int16-be.fcs", "FCS2.0", 0, 9, 20000, {699, 547, 349, 299, 0, 0, 364, 41, 0},
       {4, 4, 4, 4, 4, 4, 4, 4, 0}},
      {"calibur-hts-fcs2-int16-be.fcs", "FCS2.0", 0, 8, 37395, {71, 83, 0, 1, 0, 1, 0, 0}, {4, 4, 4, 4, 4, 0, 0, 0}},
      {"facscan-fcs2-int16-le.fcs", "FCS2.0", 0, 4, 94569, {234, 58, 648, 487}, {0, 0, 4, 4}},
      {"fc500-fcs2-int16-12-two-datasets.lmd", "FCS2.0", 0, 8, 18110, {59, 128, 0, 125, 0, 0, 10, 510},
       {0, 0, 4, 4, 0, 0, 0, 4}},
      {"navios-fcs2-int16-high-bits.lmd", "FCS2.0", 0, 7, 50000, {528, 528, 528, 528, 528, 528, 528},
       {0, 0, 4, 4, 4, 4, 4}},
      {"ariaii-fcs3-float-be.fcs", "FCS3.0", 1, 14, 50000,
       {-131.22f, 391, 0, 6470.1f, 7127, 59495.508f, 9897.91f, 8323, 77936.97f, 1612.39f, 2003, -83.16f, 17, 56.6f},
       {}},
      {"fortessa-fcs3-float-be.fcs", "FCS3.0", 1, 11, 11585,
       {1312.85f, 560, 153640.97f, 1472.64f, 1424, 67774.53f, 17.94f, 8.58f, 137.06f, -36.72f, 0},
       {}},
      {"blank-header-data-offsets.fcs", "FCS3.0", 1, 11, 11585,
       {1312.85f, 560, 153640.97f, 1472.64f, 1424, 67774.53f, 17.94f, 8.58f, 137.06f, -36.72f, 0},
       {}},
      {"attune-fcs31-float-le.fcs", "FCS3.1", 1, 12, 5785,
       {14, 134698, 279149, 940, 1953, 1113, 123252, 261916, 1114, 43, 70, 0},
       {}},
      {"macsquant-fcs31-float-le-end-plus-one.fcs", "FCS3.1", 1, 19, 10000,
       {1.2572854e-05f, 0.00033333333f, 0.00033333333f, 0.084f, 0.062567286f, 2.0574589f, 15.20499f, 2.6814053f,
        3.0260124f, 443.0592f, 0.2620652f, 1.0939966f, 119.77422f, 0.23151575f, 0.5072478f, 228.20773f,
        -0.45996591f, 0.3707032f, -579.14429f},
       {}},
  };
  return Cases;
}

// Shown by name wherever the test's parameter is printed.
void PrintTo(const SampleCase& Case, std::ostream* Out) { *Out << Case.Name; }

class FCSSampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(FCSSampleTest, ReadsCountsAndTheFirstEvent) {
  if (test::SamplesDir().empty()) GTEST_SKIP() << "../shared/fcs-samples is missing";
  const SampleCase& Case = GetParam();
  TFCSFile File(test::SampleFile(Case.Name));
  EXPECT_EQ(File.Version, Case.Version);
  EXPECT_EQ(File.DataType, Case.DataType);
  ASSERT_EQ(File.ParameterCount, Case.Parameters);
  ASSERT_EQ(File.EventCount, Case.Events);
  ASSERT_EQ(File.Parameters.Count(), Case.Parameters);
  ASSERT_EQ(File.Events.size(), static_cast<size_t>(Case.Events));
  ASSERT_EQ(File.Events.Columns(), static_cast<size_t>(Case.Parameters));
  for (int32_t p = 0; p < Case.Parameters; ++p) {
    SCOPED_TRACE("parameter " + std::to_string(p + 1));
    const TParameter& Par = File.Parameters.Items[p];
    float Expected = Case.FirstEvent[p];
    if (!Case.Decades.empty()) {
      EXPECT_EQ(Par.Decades, Case.Decades[p]);
      EXPECT_EQ(Par.Range, 1024);
      if (Case.Decades[p] > 0) Expected = LogValue(Expected, Case.Decades[p], 1024);
    }
    if (Case.DataType == TFCSFile::DataTypeInteger)
      EXPECT_EQ(File.Events[0][p], Expected);
    else  // the README gives the floats rounded to 7 or 8 significant digits
      EXPECT_NEAR(File.Events[0][p], Expected, 1e-6 * std::fabs(Expected));
  }
}

INSTANTIATE_TEST_SUITE_P(InScope, FCSSampleTest, ::testing::ValuesIn(InScopeSamples()),
                         [](const auto& Info) {
                           std::string Name = Info.param.Name;
                           for (char& C : Name)
                             if (!isalnum(static_cast<unsigned char>(C))) C = '_';
                           return Name;
                         });

TEST(FCSSamples, ParameterNamesAndKeywords) {
  if (test::SamplesDir().empty()) GTEST_SKIP() << "../shared/fcs-samples is missing";
  TFCSFile Facscan(test::SampleFile("facscan-fcs2-int16-be.fcs"));
  EXPECT_EQ(Facscan.Parameters.Items[0].ShortName, "FSC-H");
  EXPECT_EQ(Facscan.Parameters.Items[5].LongName, "Time (204.80 sec.)");
  EXPECT_EQ(Facscan.ByteOrder, "4,3,2,1");
  TFCSFile Fc500(test::SampleFile("fc500-fcs2-int16-12-two-datasets.lmd"));
  EXPECT_EQ(Fc500.Parameters.Items[2].Decades, 4.0f);  // $P3E " 4.0,0.1024"
  EXPECT_EQ(Fc500.Parameters.Items[2].Minimum, 0.1024f);
  EXPECT_FALSE(Fc500.SwapBytes);  // "1,2"
  TFCSFile Blank(test::SampleFile("blank-header-data-offsets.fcs"));
  EXPECT_EQ(Blank.DataBegin, 2462);  // from $BEGINDATA
  EXPECT_EQ(Blank.DataEnd, 512201);
  TFCSFile Fortessa(test::SampleFile("fortessa-fcs3-float-be.fcs"));
  EXPECT_EQ(Blank.Events, Fortessa.Events);
}

TEST(FCSSamples, RefusesWhatItCannotRead) {
  if (test::SamplesDir().empty()) GTEST_SKIP() << "../shared/fcs-samples is missing";
  const std::vector<std::pair<std::string, std::string>> Cases = {
      {"truncated-no-data.fcs", "its DATA segment is missing: it should start at byte 5912 but the file is 3931 bytes long."},
      {"not-fcs.fcs", "the file is 10 bytes long, shorter than the 58-byte FCS HEADER."},
      {"xp5-int24-unsupported.fcs", "parameter 1 is stored in 24 bits ($P1B); only 16-bit integer data can be read."},
      {"accuri-int32-unsupported.fcs",
       "parameter 1 is stored in 32 bits ($P1B); only 16-bit integer data can be read."},
  };
  for (const auto& [Name, Reason] : Cases) {
    const std::string Path = test::SampleFile(Name);
    try {
      TFCSFile File(Path);
      ADD_FAILURE() << Name << " was not refused";
    } catch (const EFCSFileError& E) {
      EXPECT_EQ(E.Reason(), Reason);
      EXPECT_EQ(std::string(E.what()), "Error reading FCS file \"" + Path + "\": " + Reason);
    }
  }
}

}  // namespace
}  // namespace qv
