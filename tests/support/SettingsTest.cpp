#include "Globals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "Errors.h"
#include "NumberFormat.h"
#include "TestFolders.h"
#include "TextUtils.h"

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the object's life.
class ScopedEnv {
 public:
  ScopedEnv(const char* Name, const std::string& Value) : FName(Name) {
    if (const char* Old = std::getenv(Name)) FOld = Old;
    setenv(Name, Value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (FOld) setenv(FName, FOld->c_str(), 1);
    else unsetenv(FName);
  }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

class ScopedDecimalSeparator {
 public:
  explicit ScopedDecimalSeparator(char Separator) : FOld(qv::DecimalSeparator()) { qv::SetDecimalSeparator(Separator); }
  ~ScopedDecimalSeparator() { qv::SetDecimalSeparator(FOld); }

 private:
  char FOld;
};

class Settings : public ::testing::Test {
 protected:
  qv::test::ScopedProgramHome Home;
  qv::test::TempFolder UserHome;
  ScopedEnv HomeEnv{"HOME", UserHome.Path()};

  std::string IniName() const { return Home.Path() + "FCS.INI"; }
  void WriteIni(const std::string& Text) const {
    std::ofstream(IniName(), std::ios::binary) << Text;
  }
  std::string ReadIni() const {
    std::ifstream In(IniName(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  }
  // The value of Key in the saved file as the program wrote it.
  std::string Saved(const std::string& Key) const {
    std::string Value;
    EXPECT_TRUE(qv::FindNameValue(qv::SplitLines(ReadIni()), Key, Value)) << Key;
    return Value;
  }
};

TEST_F(Settings, NoFileGivesEveryDefaultAndClosingWritesAllKeys) {
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_EQ(qv::ProgramDir, Home.Path());
  EXPECT_EQ(qv::DataDir, Home.Path() + "Data/");
  EXPECT_TRUE(fs::is_directory(qv::DataDir));

  EXPECT_EQ(qv::ProtocolFile, UserHome.Path());  // the root of drive C there, the home folder here
  EXPECT_EQ(qv::BrowseDir, UserHome.Path());
  EXPECT_EQ(qv::ProcessDir, UserHome.Path());
  EXPECT_EQ(qv::SaveDir, qv::DataDir);
  EXPECT_EQ(qv::LoadDir, qv::ProgramDir);
  EXPECT_EQ(qv::ShowFileType, 1);
  EXPECT_EQ(qv::MaxZValue, 1.96f);
  EXPECT_FALSE(qv::IsDeveloperMode());

  // The saved file shows every other value as it was loaded.
  ASSERT_TRUE(qv::SaveSettings());
  const std::string Home_ = UserHome.Path(), Data = qv::DataDir, Prog = qv::ProgramDir;
  EXPECT_EQ(ReadIni(),
            "[Directories]\nProtocolFile=" + Home_ + "\nBrowseDir=" + Home_ + "\nProcessDir=" + Home_ +
                "\nLoadDir=" + Prog + "\nSaveDir=" + Data +
                "\nSaveProtocol=1\nLoadProtocol=1\nOverrideSaveDir=0\nShowFileType=1\n"
                "\n[ByteOrder]\nForceByteOrder=0\nForceSwap=0\n"
                "\n[Protocol]\nLogScale=4\nSaveMeansToProtocol=1\nMaxZValue=1.96000003814697\n"
                "CompensationMode=0\nDynamicCompensationN=100\n"
                "\n[Matrix]\nMxSmallQuadrants=1\nMxAlternateInversion=1\n"
                "\n[Peaks]\nMinimumRawScore=2\nHistogramBinCount=256\nOverrideMean=1.79999995231628\n"
                "OverrideExcess=2.17600011825562\n"
                "\n[Export]\nTabWidth=55\n"
                "\n[Misc]\nCalculateSSDPvalues=0\nSSDIterations=100\nReleaseCode=\n");
}

TEST_F(Settings, RoundTripKeepsUnknownKeysSectionsAndCase) {
  WriteIni(
      "[Instrument]\r\nModel=XL\r\n\r\n"
      "[protocol]\r\nmaxzvalue=2.5\r\nNotes=keep = this\r\n\r\n"
      "[Misc]\r\nReleaseCode=quib\r\n");
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_EQ(qv::MaxZValue, 2.5f);
  EXPECT_TRUE(qv::IsDeveloperMode());

  qv::MaxZValue = 3.25f;
  qv::HistogramBinCount = 512;
  qv::CalculateSSDPvalues = true;
  qv::MxAlternateInversion = false;
  qv::ProtocolFile = "/no/such/file.protocol";
  // A line that another editor adds while the program runs is kept too.
  std::ofstream(IniName(), std::ios::binary | std::ios::app) << "Later=added\r\n";
  ASSERT_TRUE(qv::SaveSettings());

  const std::string Text = ReadIni();
  EXPECT_EQ(Text.rfind("[Instrument]\r\nModel=XL\r\n\r\n[protocol]\r\nmaxzvalue=3.25\r\nNotes=keep = this\r\n", 0), 0u)
      << Text;
  EXPECT_NE(Text.find("ReleaseCode=quib\r\nLater=added\r\n"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("\n\n"), std::string::npos);  // line breaks stay CR LF

  qv::MaxZValue = 0;
  qv::HistogramBinCount = 0;
  qv::CalculateSSDPvalues = false;
  qv::MxAlternateInversion = true;
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_EQ(qv::MaxZValue, 3.25f);
  EXPECT_EQ(qv::HistogramBinCount, 512);
  EXPECT_TRUE(qv::CalculateSSDPvalues);
  EXPECT_FALSE(qv::MxAlternateInversion);
  EXPECT_EQ(qv::ProtocolFile, "/no/such/file.protocol");  // a file, not reset like the folders
}

TEST_F(Settings, ValuesThatDoNotConvertTakeTheirOwnDefaults) {
  WriteIni(
      "[Directories]\nSaveProtocol=0\nLoadProtocol=5\nOverrideSaveDir=yes\nShowFileType=0x2\n"
      "[Protocol]\nMaxZValue=abc\nLogScale=\nCompensationMode=2\nDynamicCompensationN=-5\n"
      "[Peaks]\nMinimumRawScore=1e39\nHistogramBinCount=many\nOverrideMean= 2.5 \nOverrideExcess=1.5.2\n"
      "[Export]\nTabWidth=0x10\n"
      "[Misc]\nSSDIterations=0\nCalculateSSDPvalues=-1\n");
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_FALSE(qv::SaveProtocol);
  EXPECT_TRUE(qv::LoadProtocol);
  EXPECT_FALSE(qv::OverrideSaveDir);
  EXPECT_EQ(qv::ShowFileType, 2);
  EXPECT_EQ(qv::MaxZValue, 1.96f);
  EXPECT_EQ(qv::LogScale, 4.0f);
  EXPECT_EQ(qv::CompensationMode, 2);
  EXPECT_EQ(qv::DynamicCompensationN, 100);
  EXPECT_EQ(qv::MinimumRawScore, 2.0f);  // beyond 32 bits: would be an infinity
  EXPECT_EQ(qv::HistogramBinCount, 256);
  EXPECT_EQ(qv::OverrideMean, 2.5f);
  EXPECT_EQ(qv::OverrideExcess, 2.176f);
  EXPECT_EQ(qv::TabWidth, 16);
  EXPECT_EQ(qv::SSDIterations, 100);
  EXPECT_TRUE(qv::CalculateSSDPvalues);
}

// A bin count of 2^31 - 1 would make the first histogram ask for 8 GB: every number takes the
// bounds of its edit in the preferences window, and a value outside them its default.
TEST_F(Settings, NumbersOutsideThePreferencesBoundsTakeTheirDefaults) {
  WriteIni(
      "[Protocol]\nCompensationMode=3\nDynamicCompensationN=1000001\n"
      "[Peaks]\nHistogramBinCount=2147483647\nOverrideMean=5000\nOverrideExcess=-5000\n"
      "[Export]\nTabWidth=1001\n[Misc]\nSSDIterations=2000000000\n");
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_EQ(qv::CompensationMode, 0);
  EXPECT_EQ(qv::DynamicCompensationN, 100);
  EXPECT_EQ(qv::HistogramBinCount, 256);
  EXPECT_EQ(qv::OverrideMean, 1.8f);  // 10^5000 is no number the window can show
  EXPECT_EQ(qv::OverrideExcess, 2.176f);
  EXPECT_EQ(qv::TabWidth, 55);
  EXPECT_EQ(qv::SSDIterations, 100);

  WriteIni(
      "[Protocol]\nCompensationMode=2\nDynamicCompensationN=1000000\n"
      "[Peaks]\nHistogramBinCount=65536\nOverrideMean=-4000\nOverrideExcess=4000\n"
      "[Export]\nTabWidth=1000\n[Misc]\nSSDIterations=1000000\n");
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_EQ(qv::CompensationMode, 2);
  EXPECT_EQ(qv::DynamicCompensationN, 1000000);
  EXPECT_EQ(qv::HistogramBinCount, 65536);
  EXPECT_EQ(qv::OverrideMean, -4000.0f);
  EXPECT_EQ(qv::OverrideExcess, 4000.0f);
  EXPECT_EQ(qv::TabWidth, 1000);
  EXPECT_EQ(qv::SSDIterations, 1000000);
}

TEST_F(Settings, ShowFileTypeOutsideTheMasksReadsAsOne) {
  for (const char* Value : {"0", "4", "-1", "0xFFFFFFFF"}) {
    WriteIni(std::string("[Directories]\nShowFileType=") + Value + "\n");
    ASSERT_NO_THROW(qv::LoadSettings());
    EXPECT_EQ(qv::ShowFileType, 1) << Value;
  }
  WriteIni("[Directories]\nShowFileType=3\n[Peaks]\nHistogramBinCount=1\n");
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_EQ(qv::ShowFileType, 3);
  EXPECT_EQ(qv::HistogramBinCount, 1);
}

TEST_F(Settings, FloatsFollowTheDecimalSeparator) {
  WriteIni("[Protocol]\nMaxZValue=1,96000003814697\n");
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_EQ(qv::MaxZValue, 1.96f);  // a decimal comma does not convert under a decimal point
  qv::MaxZValue = 2.5f;
  {
    ScopedDecimalSeparator Comma(',');
    ASSERT_TRUE(qv::SaveSettings());
    EXPECT_EQ(Saved("MaxZValue"), "2,5");
    EXPECT_EQ(Saved("OverrideMean"), "1,79999995231628");
    ASSERT_NO_THROW(qv::LoadSettings());
    EXPECT_EQ(qv::MaxZValue, 2.5f);
    EXPECT_EQ(qv::OverrideMean, 1.8f);
  }
}

TEST_F(Settings, MissingFoldersBecomeTheProgramFolderButNotTheProtocolFile) {
  qv::test::TempFolder Existing;
  WriteIni("[Directories]\nProtocolFile=/gone/p.protocol\nBrowseDir=/gone/b\nProcessDir=/gone/p\n"
           "SaveDir=/gone/s\nLoadDir=" + Existing.Path() + "\n");
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_EQ(qv::ProtocolFile, "/gone/p.protocol");
  EXPECT_EQ(qv::BrowseDir, qv::ProgramDir);
  EXPECT_EQ(qv::ProcessDir, qv::ProgramDir);
  EXPECT_EQ(qv::SaveDir, qv::ProgramDir);
  EXPECT_EQ(qv::LoadDir, Existing.Path());

  std::string Folder = "";
  qv::ResetMissingFolder(Folder);
  EXPECT_EQ(Folder, qv::ProgramDir);
}

TEST_F(Settings, DataFolderThatCannotBeCreatedIsReportedAfterEveryKeyIsRead) {
  std::ofstream(Home.Path() + "Data") << "a file in the way";
  WriteIni("[Protocol]\nMaxZValue=2.5\n[Misc]\nReleaseCode=quib\n[Directories]\nLoadDir=/gone\n");
  try {
    qv::LoadSettings();
    FAIL() << "no error for the Data folder";
  } catch (const qv::EInOutError& E) {
    EXPECT_NE(std::string(E.what()).find(Home.Path() + "Data/"), std::string::npos) << E.what();
  }
  EXPECT_EQ(qv::MaxZValue, 2.5f);
  EXPECT_EQ(qv::ReleaseCode, "quib");
  EXPECT_EQ(qv::HistogramBinCount, 256);
  EXPECT_EQ(qv::SaveDir, qv::ProgramDir);  // its default, the Data folder, does not exist
  EXPECT_EQ(qv::LoadDir, qv::ProgramDir);
  EXPECT_TRUE(qv::SaveSettings());  // the file itself was read: saving is safe
  EXPECT_EQ(Saved("MaxZValue"), "2.5");
}

TEST_F(Settings, FileThatCannotBeReadIsNeverOverwritten) {
  // Too large to be a settings file: the user's values in it must survive the program's close.
  WriteIni("[Protocol]\nMaxZValue=2.5\n");
  fs::resize_file(IniName(), 17 * 1024 * 1024);
  EXPECT_THROW(qv::LoadSettings(), qv::EInOutError);
  EXPECT_EQ(qv::MaxZValue, 1.96f);
  EXPECT_EQ(qv::HistogramBinCount, 256);
  EXPECT_EQ(qv::SaveDir, qv::DataDir);
  EXPECT_FALSE(qv::SaveSettings());
  EXPECT_EQ(fs::file_size(IniName()), 17u * 1024 * 1024);
  std::string Head(25, '\0');
  std::ifstream(IniName(), std::ios::binary).read(Head.data(), 25);
  EXPECT_EQ(Head, "[Protocol]\nMaxZValue=2.5\n");
  fs::remove(IniName());

  fs::create_directory(IniName());
  EXPECT_THROW(qv::LoadSettings(), qv::EInOutError);
  EXPECT_FALSE(qv::SaveSettings());
  EXPECT_TRUE(fs::is_directory(IniName()));
}

TEST_F(Settings, ValueThatCannotBeWrittenLeavesTheFileAsItWas) {
  WriteIni("[Misc]\nReleaseCode=x\n");
  ASSERT_NO_THROW(qv::LoadSettings());
  qv::LoadDir = "/folder\nwith a line break";
  EXPECT_THROW(qv::SaveSettings(), qv::EInOutError);
  EXPECT_EQ(ReadIni(), "[Misc]\nReleaseCode=x\n");
}

TEST_F(Settings, DeveloperModeNeedsTheExactCode) {
  for (const char* Code : {"", "QUIB", "Quib", "quib ", " quib", "qui"}) {
    qv::ReleaseCode = Code;
    EXPECT_FALSE(qv::IsDeveloperMode()) << '"' << Code << '"';
  }
  qv::ReleaseCode = "quib";
  EXPECT_TRUE(qv::IsDeveloperMode());
  qv::ReleaseCode.clear();
}

TEST(ProgramFolders, MissingProgramFolderIsCreated) {
  qv::test::TempFolder Folder;
  ScopedEnv Home("QUORVENAL_HOME", Folder.Path() + "a/b");
  ASSERT_NO_THROW(qv::LoadSettings());
  EXPECT_EQ(qv::ProgramDir, Folder.Path() + "a/b/");
  EXPECT_TRUE(fs::is_directory(Folder.Path() + "a/b/Data"));
}

}  // namespace
