#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "AllocationCap.h"
#include "Errors.h"
#include "TestFolders.h"

namespace {

using qv::TProfileFile;

TProfileFile FromText(const std::string& Text) {
  TProfileFile Ini;
  Ini.SetText(Text);
  return Ini;
}

TEST(ProfileFile, FindsSectionsAndKeysWithoutRegardToCaseFirstMatchWinning) {
  TProfileFile Ini = FromText(
      "Orphan=before any section\n"
      "[ misc ]\n"
      "  releasecode = quib\n"
      "ReleaseCode=second\n"
      "; TabWidth=9\n"
      "[Misc]\n"
      "TabWidth=77\n");
  EXPECT_EQ(Ini.ReadString("MISC", "ReleaseCode", "d"), " quib");  // value verbatim after '='
  EXPECT_EQ(Ini.ReadInteger("Misc", "TabWidth", 55), 55);         // commented out; later section unused
  EXPECT_FALSE(Ini.ValueExists("Misc", "Orphan"));
  EXPECT_TRUE(Ini.SectionExists("mIsC"));
}

TEST(ProfileFile, ValuesStayVerbatimAndEmptyIsNotAbsent) {
  TProfileFile Ini = FromText("[D]\nPath=/a b/c=d \nEmpty=\n");
  EXPECT_EQ(Ini.ReadString("D", "Path", ""), "/a b/c=d ");
  EXPECT_EQ(Ini.ReadString("D", "Empty", "default"), "");
  EXPECT_EQ(Ini.ReadString("D", "Missing", "default"), "default");
  EXPECT_EQ(Ini.ReadString("Nope", "Path", "default"), "default");
}

TEST(ProfileFile, AtMost2047BytesOfAValueAreReadBackNeverHalfACharacter) {
  const std::string Long(3000, 'x');
  // "\xC3\xA9" (e acute) straddles byte 2047: the value stops before it.
  const std::string Straddling = std::string(2046, 'y') + "\xC3\xA9" + "z";
  TProfileFile Ini = FromText("[D]\nLong=" + Long + "\nStraddling=" + Straddling + "\nExact=" +
                              std::string(2047, 'w') + "\n");
  EXPECT_EQ(Ini.ReadString("D", "Long", ""), std::string(2047, 'x'));
  EXPECT_EQ(Ini.ReadString("D", "Straddling", ""), std::string(2046, 'y'));
  EXPECT_EQ(Ini.ReadString("D", "Exact", ""), std::string(2047, 'w'));
  // The rest of the line stays in the file as it was.
  EXPECT_NE(Ini.Text().find("Long=" + Long + "\n"), std::string::npos);
}

TEST(ProfileFile, IntegersDecimalOrHexElseDefault) {
  TProfileFile Ini = FromText("[I]\nA=42\nB=0x2\nC= -7 \nD=\nE=12abc\nF=99999999999\nG=1.5\n");
  EXPECT_EQ(Ini.ReadInteger("I", "A", 0), 42);
  EXPECT_EQ(Ini.ReadInteger("I", "B", 0), 2);
  EXPECT_EQ(Ini.ReadInteger("I", "C", 0), -7);
  EXPECT_EQ(Ini.ReadInteger("I", "D", 5), 5);
  EXPECT_EQ(Ini.ReadInteger("I", "E", 5), 5);
  EXPECT_EQ(Ini.ReadInteger("I", "F", 5), 5);
  EXPECT_EQ(Ini.ReadInteger("I", "G", 5), 5);
  EXPECT_EQ(Ini.ReadInteger("I", "H", 5), 5);
}

TEST(ProfileFile, WritesInPlaceAndKeepsEverythingElse) {
  TProfileFile Ini = FromText(
      "; settings\r\n"
      "[Peaks]\r\n"
      "histogrambincount = 10\r\n"
      "Unknown=keep me\r\n"
      "\r\n"
      "[Other]\r\n"
      "X=1\r\n");
  Ini.WriteInteger("PEAKS", "HistogramBinCount", 256);
  Ini.WriteString("Peaks", "OverrideMean", "1.8");
  Ini.WriteString("Misc", "ReleaseCode", "");
  EXPECT_EQ(Ini.Text(),
            "; settings\r\n"
            "[Peaks]\r\n"
            "histogrambincount =256\r\n"
            "Unknown=keep me\r\n"
            "OverrideMean=1.8\r\n"
            "\r\n"
            "[Other]\r\n"
            "X=1\r\n"
            "\r\n"
            "[Misc]\r\n"
            "ReleaseCode=\r\n");
}

TEST(ProfileFile, NewFileUsesLineFeeds) {
  TProfileFile Ini;
  Ini.WriteInteger("A", "K", 1);
  Ini.WriteInteger("B", "K", 2);
  EXPECT_EQ(Ini.Text(), "[A]\nK=1\n\n[B]\nK=2\n");
}

TEST(ProfileFile, RefusesValuesThatWouldBreakTheFile) {
  TProfileFile Ini;
  EXPECT_THROW(Ini.WriteString("A", "K", "two\nlines"), qv::EInOutError);
  EXPECT_THROW(Ini.WriteString("A", "K=", "v"), qv::EAssertionFailed);
  EXPECT_THROW(Ini.WriteString("[A]", "K", "v"), qv::EAssertionFailed);
  EXPECT_EQ(Ini.Text(), "");
}

TEST(ProfileFile, FileRoundTripAndUnreadableFiles) {
  qv::test::TempFolder Folder;
  TProfileFile Missing(Folder / "none.ini");
  EXPECT_EQ(Missing.Text(), "");

  const std::string Name = Folder / "a.ini";
  Missing.WriteString("S", "Path", " /x y ");
  Missing.SaveToFile(Name);
  TProfileFile Back(Name);
  EXPECT_EQ(Back.ReadString("s", "path", ""), " /x y ");
  std::ifstream In(Name, std::ios::binary);
  std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  EXPECT_EQ(Bytes, "[S]\nPath= /x y \n");

  std::filesystem::create_directory(Folder / "dir.ini");
  EXPECT_THROW(TProfileFile(Folder / "dir.ini"), qv::EInOutError);

  const std::string Huge = Folder / "huge.ini";
  { std::ofstream Create(Huge); }
  std::filesystem::resize_file(Huge, TProfileFile::MaxFileSize + 1);
  try {
    TProfileFile{Huge};
    ADD_FAILURE() << "a file past the cap is read";
  } catch (const qv::EInOutError& E) {
    EXPECT_NE(std::string(E.what()).find(Huge), std::string::npos) << E.what();
    EXPECT_NE(std::string(E.what()).find("larger than 16 MB"), std::string::npos) << E.what();
  }
}

// A file of many sections is split once and indexed: each read or write costs the name it looks
// for, so reading and writing every setting allocates a few times the file, not once per line
// per look-up. The first section of a name and the first key in it still win.
TEST(ProfileFile, ManySectionsAreReadAndWrittenInBoundedMemory) {
  std::string Text;
  for (int i = 0; i < 40000; ++i)
    Text += "[Section of other programs " + std::to_string(i) + "]\nSome longer key name=value\n\n";
  Text += "[Misc]\nTabWidth=77\ntabwidth=1\n\n[MISC]\nTabWidth=5\nReleaseCode=later\n";
  ASSERT_GT(Text.size(), 2000000u);
  const char* const Keys[] = {"ProtocolFile", "BrowseDir", "ProcessDir", "SaveDir", "LoadDir", "SaveProtocol",
                              "LoadProtocol", "OverrideSaveDir", "ShowFileType", "ForceByteOrder",
                              "ForceSwap", "LogScale", "SaveMeansToProtocol"};
  std::string Written;
  {
    qv::test::TAllocationCap Cap(8 * Text.size());
    TProfileFile Ini;
    Ini.SetText(Text);
    for (int Round = 0; Round < 2; ++Round)
      for (const char* Key : Keys) {
        EXPECT_EQ(Ini.ReadString("Directories", Key, "d"), Round == 0 ? "d" : "v");
        EXPECT_EQ(Ini.ReadInteger("Misc", "TabWidth", 55), 77);
        EXPECT_EQ(Ini.ReadString("Misc", "ReleaseCode", "none"), "none");
        if (Round == 0) Ini.WriteString("Directories", Key, "v");
      }
    Ini.WriteInteger("misc", "tabwidth", 12);
    Written = Ini.Text();
    EXPECT_FALSE(Cap.Reached());
  }
  EXPECT_NE(Written.find("[Misc]\nTabWidth=12\ntabwidth=1\n"), std::string::npos);
  EXPECT_NE(Written.find("[MISC]\nTabWidth=5\nReleaseCode=later\n\n[Directories]\nProtocolFile=v\n"),
            std::string::npos);
}

}  // namespace
