#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <fstream>
#include <functional>
#include <iterator>

#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "NotFiles.h"
#include "Streams.h"
#include "TestFolders.h"

using namespace qv;
using qv::test::TempFolder;

namespace {

// The text of what Action throws, empty when it throws nothing.
std::string ThrownMessage(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const std::exception& E) {
    return E.what();
  }
  return "";
}

void WriteText(const std::string& Name, const std::string& Text) {
  std::ofstream(Name, std::ios::binary) << Text;
}

std::string ReadText(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

std::string Sample(size_t Size) {
  std::string Text;
  for (size_t i = 0; i < Size; ++i) Text += static_cast<char>("ACGT,0123456789\n"[(i * 7 + i / 13) % 16]);
  return Text;
}

TEST(FileNames, BaseNameAndExtension) {
  EXPECT_EQ(FileBaseName("/data/A12.run.fcs"), "A12");
  EXPECT_EQ(FileBaseName("c:\\data\\A12.run.fcs"), "c:\\data\\A12");  // one name: only '/' separates
  EXPECT_EQ(FileBaseName("plain"), "plain");
  EXPECT_EQ(EnsureExtension("report", "rtf"), "report.rtf");
  EXPECT_EQ(EnsureExtension("report.txt", "rtf"), "report.txt");
  EXPECT_EQ(EnsureExtension("/a.b/report", "rtf"), "/a.b/report.rtf");
  EXPECT_EQ(ExtractFilePath("/a/b.txt"), "/a/");
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
}

TEST(Files, DeleteAndSize) {
  TempFolder Dir;
  EXPECT_TRUE(DeleteFileIfExists(Dir / "none"));
  WriteText(Dir / "x", "12345");
  EXPECT_EQ(FileSize64(Dir / "x"), 5);
  EXPECT_EQ(FileSize64(Dir / "none"), 0);
  EXPECT_TRUE(DeleteFileIfExists(Dir / "x"));
  EXPECT_FALSE(FileExists(Dir / "x"));
}

TEST(TempFiles, NamedInTheFolderAndDeletedAtStart) {
  TempFolder Dir;
  const std::string Old = ProgramDir;
  ProgramDir = Dir.Path();
  const std::string Name = TempFileName("dat");
  EXPECT_EQ(Name.rfind(Dir.Path() + "FCS_Temp", 0), 0u);
  EXPECT_EQ(Name.substr(Name.size() - 4), ".dat");
  // The stamp is a day count with eight decimals: today is past day 46000.
  const std::string Stamp = Name.substr(Dir.Path().size() + 8, Name.size() - Dir.Path().size() - 12);
  EXPECT_GT(std::stod(Stamp), 46000.0);
  EXPECT_EQ(Stamp.size() - Stamp.find('.') - 1, 8u);
  WriteText(Name, "x");
  WriteText(Dir / "FCS_Tempother", "x");
  WriteText(Dir / "keep.fcs", "x");
  DeleteTempFiles();
  EXPECT_FALSE(FileExists(Name));
  EXPECT_FALSE(FileExists(Dir / "FCS_Tempother"));
  EXPECT_TRUE(FileExists(Dir / "keep.fcs"));
  ProgramDir = Old;
}

TEST(SafeWrite, FailedWriteLeavesTheOldFileAndNoTemporary) {
  TempFolder Dir;
  WriteText(Dir / "p.protocol", "old");
  EXPECT_THROW(WriteFileSafely(Dir / "p.protocol",
                               [](TStream& S) {
                                 WriteInt32(S, 1);
                                 throw EInOutError("disk full");
                               }),
               EInOutError);
  EXPECT_EQ(ReadText(Dir / "p.protocol"), "old");
  EXPECT_EQ(FindFiles(Dir.Path(), "FCS_Temp*").size(), 0u);
  WriteFileSafely(Dir / "p.protocol", [](TStream& S) { WriteStreamString("new", S); });
  EXPECT_EQ(ReadText(Dir / "p.protocol"), std::string("\3\0\0\0new", 7));
}

TEST(FileNames, OnlySlashSeparatesFolders) {
  EXPECT_EQ(ExtractFileName("/runs/colon:name.fcs"), "colon:name.fcs");
  EXPECT_EQ(ExtractFilePath("/runs/colon:name.fcs"), "/runs/");
  EXPECT_EQ(ExtractFilePath("run:1.dat"), "");
  EXPECT_EQ(ExtractFileName("a\\b.fcs"), "a\\b.fcs");
  EXPECT_EQ(EnsureExtension("/x/run:1", "dat"), "/x/run:1.dat");
  // Saved where asked, not into a folder "run:".
  TempFolder Dir;
  WriteFileSafely(Dir / "run:1.dat", [](TStream& S) { WriteInt32(S, 7); });
  EXPECT_TRUE(FileExists(Dir / "run:1.dat"));
  EXPECT_FALSE(DirectoryExists(Dir / "run:"));
  ASSERT_TRUE(PackFile(Dir / "run:1.dat", Dir / "packed:1.zlib", false));
  EXPECT_TRUE(FileExists(Dir / "packed:1.zlib"));
}

// Saving replaces a file's contents, never its permissions, its links or a refusal to be written.
class SafeWriteKeeps : public ::testing::Test {
 protected:
  void Save(const std::string& Name, const std::string& Text) {
    WriteFileSafely(Name, [&](TStream& S) { S.Write(Text.data(), Text.size()); });
  }
  static mode_t Mode(const std::string& Name) {
    struct stat St;
    return stat(Name.c_str(), &St) == 0 ? St.st_mode & 07777 : 0;
  }
  TempFolder Dir;
};

TEST_F(SafeWriteKeeps, PermissionsOfReplacedFilesAndTheUmaskForNewOnes) {
  WriteText(Dir / "settings.ini", "old");
  chmod((Dir / "settings.ini").c_str(), 0644);
  WriteText(Dir / "shared.protocol", "old");
  chmod((Dir / "shared.protocol").c_str(), 0664);
  Save(Dir / "settings.ini", "new");
  Save(Dir / "shared.protocol", "new");
  EXPECT_EQ(Mode(Dir / "settings.ini"), 0644u);
  EXPECT_EQ(Mode(Dir / "shared.protocol"), 0664u);
  EXPECT_EQ(ReadText(Dir / "settings.ini"), "new");
  const mode_t Old = umask(022);
  Save(Dir / "fresh.txt", "x");
  umask(027);
  Save(Dir / "private.txt", "x");
  umask(Old);
  EXPECT_EQ(Mode(Dir / "fresh.txt"), 0644u);
  EXPECT_EQ(Mode(Dir / "private.txt"), 0640u);
}

TEST_F(SafeWriteKeeps, SymbolicLinksAndTheirTargets) {
  CreateFolder(Dir / "real");
  WriteText(Dir / "real/p.protocol", "old");
  ASSERT_EQ(symlink("real/p.protocol", (Dir / "link.protocol").c_str()), 0);
  Save(Dir / "link.protocol", "new");
  struct stat St;
  ASSERT_EQ(lstat((Dir / "link.protocol").c_str(), &St), 0);
  EXPECT_TRUE(S_ISLNK(St.st_mode));
  EXPECT_EQ(ReadText(Dir / "real/p.protocol"), "new");
  EXPECT_EQ(FindFiles(Dir / "real", "FCS_Temp*").size(), 0u);
  // A link to a file not yet there creates it and stays a link.
  ASSERT_EQ(symlink((Dir / "real/later.dat").c_str(), (Dir / "later.dat").c_str()), 0);
  Save(Dir / "later.dat", "first");
  EXPECT_EQ(ReadText(Dir / "real/later.dat"), "first");
  ASSERT_EQ(lstat((Dir / "later.dat").c_str(), &St), 0);
  EXPECT_TRUE(S_ISLNK(St.st_mode));
}

TEST_F(SafeWriteKeeps, ReadOnlyFilesUnchanged) {
  WriteText(Dir / "locked.protocol", "old");
  chmod((Dir / "locked.protocol").c_str(), 0444);
  EXPECT_EQ(ThrownMessage([&] { Save(Dir / "locked.protocol", "new"); }), Dir / "locked.protocol" + " is read-only");
  EXPECT_EQ(ReadText(Dir / "locked.protocol"), "old");
  EXPECT_EQ(Mode(Dir / "locked.protocol"), 0444u);
  EXPECT_EQ(FindFiles(Dir.Path(), "FCS_Temp*").size(), 0u);
}

// Every save error names the file asked for and the system's reason, never the temporary file.
TEST(SafeWrite, ErrorsNameTheFileAndTheReason) {
  TempFolder Dir;
  const std::string Missing = Dir / "no folder/p.protocol";
  EXPECT_EQ(ThrownMessage([&] { WriteFileSafely(Missing, [](TStream& S) { WriteInt32(S, 1); }); }),
            "Error writing file \"" + Missing + "\". No such file or directory");
  // A file-size limit stands in for a full disk: the write itself fails with the system's reason.
  WriteText(Dir / "big.dat", "old");
  struct rlimit Old;
  getrlimit(RLIMIT_FSIZE, &Old);
  const auto OldSignal = signal(SIGXFSZ, SIG_IGN);
  struct rlimit Small = Old;
  Small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &Small);
  const std::string Message = ThrownMessage([&] {
    WriteFileSafely(Dir / "big.dat", [](TStream& S) {
      const std::string Block(1 << 16, 'x');
      S.Write(Block.data(), Block.size());
    });
  });
  setrlimit(RLIMIT_FSIZE, &Old);
  signal(SIGXFSZ, OldSignal);
  EXPECT_EQ(Message, "Error writing file \"" + Dir / "big.dat" + "\". File too large");
  EXPECT_EQ(ReadText(Dir / "big.dat"), "old");
  EXPECT_EQ(FindFiles(Dir.Path(), "FCS_Temp*").size(), 0u);
}

TEST(Packing, RoundTripWithDefaultNames) {
  TempFolder Dir;
  const std::string Text = Sample(3 << 20);  // more than one chunk
  WriteText(Dir / "x.dat", Text);
  ASSERT_TRUE(PackFile(Dir / "x.dat", "", false));
  EXPECT_TRUE(FileExists(Dir / "x.dat"));
  const std::string Packed = ReadText(Dir / "x.dat.zlib");
  ASSERT_GE(Packed.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(Packed[0]), 0x78);  // zlib header, 32K window
  EXPECT_EQ(static_cast<unsigned char>(Packed[1]), 0xDA);  // level 9
  DeleteFileIfExists(Dir / "x.dat");
  ASSERT_TRUE(UnpackFile(Dir / "x.dat.zlib", "", false, 0));
  EXPECT_EQ(ReadText(Dir / "x.dat"), Text);
  ASSERT_TRUE(PackFile(Dir / "x.dat", Dir / "y", false));
  ASSERT_TRUE(UnpackFile(Dir / "y", "", false, 0));
  EXPECT_EQ(ReadText(Dir / "y.bilz"), Text);
}

TEST(Packing, InPlaceNeedsDeleteSource) {
  TempFolder Dir;
  WriteText(Dir / "s", "payload");
  EXPECT_FALSE(PackFile(Dir / "s", Dir / "s", false));
  EXPECT_EQ(ReadText(Dir / "s"), "payload");
  ASSERT_TRUE(PackFile(Dir / "s", Dir / "s", true));
  EXPECT_NE(ReadText(Dir / "s"), "payload");
  EXPECT_FALSE(UnpackFile(Dir / "s", Dir / "s", false, 0));
  ASSERT_TRUE(UnpackFile(Dir / "s", Dir / "s", true, 0));
  EXPECT_EQ(ReadText(Dir / "s"), "payload");
  EXPECT_EQ(FindFiles(Dir.Path(), "FCS_Temp*").size(), 0u);
}

TEST(Packing, DeleteSourceAfterPackingToAnotherName) {
  TempFolder Dir;
  WriteText(Dir / "a", "abc");
  ASSERT_TRUE(PackFile(Dir / "a", Dir / "sub/b", true));  // creates one folder level
  EXPECT_FALSE(FileExists(Dir / "a"));
  ASSERT_TRUE(UnpackFile(Dir / "sub/b", Dir / "a", true, 0));
  EXPECT_FALSE(FileExists(Dir / "sub/b"));
  EXPECT_EQ(ReadText(Dir / "a"), "abc");
}

TEST(Packing, RefusesWhatItCannotReadWithoutCreatingAnything) {
  TempFolder Dir;
  EXPECT_FALSE(PackFile("", "", false));
  EXPECT_FALSE(PackFile(Dir / "missing", "", false));
  WriteText(Dir / "empty.zlib", "");
  EXPECT_FALSE(UnpackFile(Dir / "empty.zlib", "", false, 0));
  EXPECT_FALSE(FileExists(Dir / "empty"));
}

TEST(ReadableFiles, OnlyRegularFilesAreOpenedForReading) {
  TempFolder Dir;
  WriteText(Dir / "plain", "x");
  ASSERT_EQ(symlink((Dir / "plain").c_str(), (Dir / "link").c_str()), 0);
  EXPECT_EQ(NotAFileReason(Dir / "plain"), "");
  EXPECT_EQ(NotAFileReason(Dir / "link"), "") << "a link to a file reads as the file";
  EXPECT_EQ(NotAFileReason(Dir / "missing"), "it does not exist.");
  EXPECT_FALSE(PathExists(Dir / "missing"));
  EXPECT_FALSE(PathExists(""));
  for (const auto& [Path, Reason] : test::MakeNotFiles(Dir, "bin")) {
    EXPECT_TRUE(PathExists(Path)) << Path;
    EXPECT_EQ(NotAFileReason(Path), Reason) << Path;
    // Every stream reader is covered, even one that did not ask first; nothing is unpacked.
    test::WithoutBlocking(Path, [&] {
      EXPECT_EQ(ThrownMessage([&] { TFileStream In(Path, TFileStream::TMode::OpenRead); }),
                "Cannot open file \"" + Path + "\": " + Reason);
      EXPECT_FALSE(UnpackFile(Path, Dir / "out", false, 0));
      EXPECT_FALSE(PackFile(Path, Dir / "out.zlib", false));
    });
  }
  EXPECT_FALSE(PathExists(Dir / "out"));
  EXPECT_FALSE(PathExists(Dir / "out.zlib"));
  EXPECT_EQ(ReadRefusal("protocol file", "a", "b"), "Error reading protocol file \"a\": b");
}

TEST(Packing, TruncatedOrCorruptPackedFileIsAnErrorAndKeepsTheOldTarget) {
  TempFolder Dir;
  WriteText(Dir / "x", Sample(100000));
  ASSERT_TRUE(PackFile(Dir / "x", Dir / "x.zlib", false));
  const std::string Packed = ReadText(Dir / "x.zlib");
  WriteText(Dir / "cut.zlib", Packed.substr(0, Packed.size() / 2));
  WriteText(Dir / "cut", "previous");
  EXPECT_FALSE(UnpackFile(Dir / "cut.zlib", "", false, 0));
  EXPECT_EQ(ReadText(Dir / "cut"), "previous");
  std::string Damaged = Packed;
  Damaged[Damaged.size() / 2] ^= 0x55;
  WriteText(Dir / "bad.zlib", Damaged);
  EXPECT_FALSE(UnpackFile(Dir / "bad.zlib", "", false, 0));
  EXPECT_FALSE(FileExists(Dir / "bad"));
  WriteText(Dir / "text.zlib", "not packed at all");
  EXPECT_FALSE(UnpackFile(Dir / "text.zlib", "", true, 0));
  EXPECT_TRUE(FileExists(Dir / "text.zlib"));
  EXPECT_EQ(FindFiles(Dir.Path(), "FCS_Temp*").size(), 0u);
}

TEST(Packing, RecordSizeMustDivideTheUnpackedSize) {
  TempFolder Dir;
  WriteText(Dir / "r120", std::string(120, 'a'));
  WriteText(Dir / "r121", std::string(121, 'a'));
  ASSERT_TRUE(PackFile(Dir / "r120", "", false));
  ASSERT_TRUE(PackFile(Dir / "r121", "", false));
  EXPECT_TRUE(UnpackFile(Dir / "r120.zlib", Dir / "o120", false, 12));
  EXPECT_FALSE(UnpackFile(Dir / "r121.zlib", Dir / "o121", false, 12));
  EXPECT_FALSE(FileExists(Dir / "o121"));
}

}  // namespace
