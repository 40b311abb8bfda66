// The settings file FCS.INI. What must hold:
// - any file reads; its text, read again, gives the same text and the same values;
// - LoadSettings takes every setting from it without an error, within the values the program
//   relies on (a file type of 1 to 3, counts of at least 1, finite numbers, folders that exist);
// - SaveSettings writes them, keeping every line it does not replace; loaded again they are the
//   same settings, and saved again the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "Files.h"
#include "FuzzSupport.h"
#include "Globals.h"
#include "ProfileFile.h"
#include "TextUtils.h"

using namespace qv;

namespace {

auto Settings() {
  return std::make_tuple(ProtocolFile, BrowseDir, ProcessDir, SaveDir, LoadDir, SaveProtocol, LoadProtocol,
                         OverrideSaveDir, ShowFileType, ForceByteOrder, ForceSwap, LogScale, SaveMeansToProtocol,
                         MaxZValue, CompensationMode, DynamicCompensationN, MxSmallQuadrants, MxAlternateInversion,
                         MinimumRawScore, HistogramBinCount, OverrideMean, OverrideExcess, TabWidth,
                         CalculateSSDPvalues, SSDIterations, ReleaseCode);
}

const char* const Keys[][2] = {
    {"Directories", "ProtocolFile"}, {"Directories", "SaveDir"}, {"Directories", "ShowFileType"},
    {"Protocol", "LogScale"},        {"Peaks", "HistogramBinCount"}, {"Export", "TabWidth"},
    {"Misc", "ReleaseCode"},         {"Misc", "SSDIterations"}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the settings read, then saved and read back
  fuzz::Quiet();
  static const std::string Home = [] {
    const std::string Folder = fuzz::ScratchFolder("home");
    setenv("QUORVENAL_HOME", Folder.c_str(), 1);
    return Folder;
  }();
  const std::string Ini = Home + "FCS.INI";
  fuzz::WriteScratch(Ini, Data, Size);

  const TProfileFile File(Ini);
  const std::string Text = File.Text();
  TProfileFile Again;
  Again.SetText(Text);
  fuzz::Require(Again.Text() == Text, "a settings text read again is the same text");
  for (const auto& Key : Keys) {
    fuzz::Require(Again.ReadString(Key[0], Key[1], "?") == File.ReadString(Key[0], Key[1], "?") &&
                      Again.ReadInteger(Key[0], Key[1], -7) == File.ReadInteger(Key[0], Key[1], -7),
                  "a settings text read again has the same values");
  }

  LoadSettings();
  fuzz::Require(ShowFileType >= 1 && ShowFileType <= 3, "the file type indexes the masks");
  fuzz::Require(DynamicCompensationN >= 1 && HistogramBinCount >= 1 && SSDIterations >= 1, "counts are at least 1");
  for (const float V : {LogScale, MaxZValue, MinimumRawScore, OverrideMean, OverrideExcess})
    fuzz::Require(std::isfinite(V), "numbers are finite");
  for (const std::string* Folder : {&SaveDir, &LoadDir, &ProcessDir, &BrowseDir})
    fuzz::Require(DirectoryExists(*Folder), "folders exist");
  const auto Loaded = Settings();

  fuzz::Require(SaveSettings(), "loaded settings save");
  const std::vector<uint8_t> Saved = fuzz::ReadAll(Ini);
  const std::string SavedText(Saved.begin(), Saved.end());
  fuzz::Require(SplitLines(SavedText).size() >= SplitLines(Text).size(), "saving keeps every line");
  LoadSettings();
  fuzz::Require(Settings() == Loaded, "saved settings load back the same");
  fuzz::Require(SaveSettings() && fuzz::ReadAll(Ini) == Saved, "settings saved again are the same bytes");
  return 0;
}
