#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "Files.h"
#include "Globals.h"
#include "RecordingMessages.h"
#include "reports/Spreadsheet.h"
#include "ScopedValue.h"
#include "TestFolders.h"
#include "TextUtils.h"

using namespace qv;

namespace {

std::string ReadAll(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

// PATH set to one folder for the life of the object.
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& Folder) : FOld(std::getenv("PATH") ? std::getenv("PATH") : "") {
    setenv("PATH", Folder.c_str(), 1);
  }
  ~ScopedPath() { setenv("PATH", FOld.c_str(), 1); }

 private:
  std::string FOld;
};

TEST(Spreadsheet, GridToQuotedLinesQuotesEveryCellWithoutInnerQuotes) {
  StringTable Grid;
  Grid.SetSize(3, 2);
  Grid.FixedRows = 1;
  Grid.SetCell(0, 0, "Name");
  Grid.SetCell(1, 0, "say \"hi\"");
  Grid.SetCell(0, 1, "a,b");
  std::vector<std::string> Lines{"before"};
  GridToQuotedLines(Grid, Lines);
  EXPECT_EQ(Lines, (std::vector<std::string>{"before", "\"Name\",\"say hi\",\"\",", "\"a,b\",\"\",\"\","}));
  Lines.clear();
  GridToQuotedLines(Grid, Lines, "=");
  EXPECT_EQ(Lines[1], "=\"a,b\",=\"\",=\"\",");
}

TEST(Spreadsheet, OpensTheCSVInCalcFoundOnThePath) {
  test::TempFolder Home, Bin;
  test::ScopedValue<std::string> Program(ProgramDir, Home.Path());
  const std::string Record = Bin / "args.txt";
  {
    std::ofstream Script(Bin / "soffice");
    Script << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << Record << ".part'\n/bin/mv '" << Record << ".part' '" << Record
           << "'\n";
  }
  chmod((Bin / "soffice").c_str(), 0755);
  {
    ScopedPath Path("/nonexistent-folder:" + Bin.Path());
    EXPECT_TRUE(IsExcelAvailable());
    test::RecordingMessages Messages;
    ASSERT_TRUE(ExportToExcel({"\"a\",1,", "b"}, &Messages));
    EXPECT_TRUE(Messages.Errors.empty());
  }
  for (int i = 0; i < 500 && !FileExists(Record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::vector<std::string> Args = SplitLines(ReadAll(Record));
  ASSERT_EQ(Args.size(), 2u);
  EXPECT_EQ(Args[0], "--infilter=Text - txt - csv (StarCalc):44,34,76,1");
  EXPECT_EQ(Args[1].rfind(Home.Path() + "FCS_Temp", 0), 0u);
  EXPECT_EQ(ExtractFileExt(Args[1]), ".csv");
  EXPECT_EQ(ReadAll(Args[1]), "\"a\",1,\r\nb\r\n");
}

TEST(Spreadsheet, WithoutCalcTheExportFailsWithTheFileName) {
  test::TempFolder Home, Bin;
  test::ScopedValue<std::string> Program(ProgramDir, Home.Path());
  {
    // A file of that name that cannot be executed does not count.
    std::ofstream Script(Bin / "localc");
    Script << "not a program\n";
  }
  ScopedPath Path(Bin.Path());
  EXPECT_FALSE(IsExcelAvailable());
  test::RecordingMessages Messages;
  EXPECT_FALSE(ExportToExcel({"x"}));
  ASSERT_EQ(Messages.Errors.size(), 1u);
  const std::string Prefix = "Error loading data into Excel: ";
  ASSERT_EQ(Messages.Errors[0].rfind(Prefix, 0), 0u);
  const std::string FileName = Messages.Errors[0].substr(Prefix.size());
  EXPECT_EQ(FileName.rfind(Home.Path() + "FCS_Temp", 0), 0u);
  EXPECT_EQ(ReadAll(FileName), "x\r\n");
}

}  // namespace
