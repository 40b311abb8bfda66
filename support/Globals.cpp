#include "Globals.h"

#include <pwd.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include "Errors.h"
#include "Files.h"
#include "NumberFormat.h"
#include "ProfileFile.h"
#include "TextUtils.h"

namespace fs = std::filesystem;

namespace qv {

namespace {

const char* const SettingsFileName = "FCS.INI";
const char* const DeveloperAccessCode = "quib";

// Defaults of the float settings are double constants, narrowed like the values read.
constexpr double DefaultLogScale = 4.0;
constexpr double DefaultMaxZValue = 1.96;
constexpr double DefaultMinimumRawScore = 2.0;
constexpr double DefaultOverrideMean = 1.8;
constexpr double DefaultOverrideExcess = 2.176;
constexpr int32_t DefaultShowFileType = 1;
constexpr int32_t DefaultDynamicCompensationN = 100;
constexpr int32_t DefaultHistogramBinCount = 256;
constexpr int32_t DefaultTabWidth = 55;
constexpr int32_t DefaultSSDIterations = 100;

// Whether LoadSettings ran, and whether it could read the file; SaveSettings writes only then.
bool SettingsLoaded = false;
bool SettingsFileReadable = false;

bool ReadBool(const TProfileFile& Ini, const char* Section, const char* Key, bool Default) {
  return Ini.ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

// A number outside the bounds of its edit in the preferences window is a damaged file: below
// them a histogram or a resampling would have nothing to count, above them a first histogram
// could ask for gigabytes.
int32_t ReadBounded(const TProfileFile& Ini, const char* Section, const char* Key, int32_t Default, int32_t Min,
                    int32_t Max) {
  const int32_t Value = Ini.ReadInteger(Section, Key, Default);
  return Value < Min || Value > Max ? Default : Value;
}

int32_t ReadCount(const TProfileFile& Ini, const char* Section, const char* Key, int32_t Default, int32_t Max) {
  return ReadBounded(Ini, Section, Key, Default, 1, Max);
}

float ReadSingle(const TProfileFile& Ini, const char* Section, const char* Key, double Default) {
  std::string Text = Trim(Ini.ReadString(Section, Key, ""));
  Extended Value = 0;
  if (Text.empty() || !TryStrToFloat(Text, Value)) return static_cast<float>(Default);
  double Wide = static_cast<double>(Value);
  // Out of the 32-bit range the value would turn into an infinity.
  if (!std::isfinite(Wide) || std::fabs(Wide) > FLT_MAX) return static_cast<float>(Default);
  return static_cast<float>(Wide);
}

// The override settings are held as the log10 of the positive number the preferences window
// takes, so 10 to their power is finite and above 0.
float ReadLogSingle(const TProfileFile& Ini, const char* Section, const char* Key, double Default) {
  const float Value = ReadSingle(Ini, Section, Key, Default);
  const Extended Power = std::pow(10.0L, static_cast<Extended>(Value));
  return std::isfinite(Power) && Power > 0 ? Value : static_cast<float>(Default);
}

void WriteBool(TProfileFile& Ini, const char* Section, const char* Key, bool Value) {
  Ini.WriteInteger(Section, Key, Value ? 1 : 0);
}

void WriteSingle(TProfileFile& Ini, const char* Section, const char* Key, float Value) {
  Ini.WriteString(Section, Key, FloatToStr(static_cast<double>(Value)));
}

void ReadAllSettings(const TProfileFile& Ini) {
  const std::string Home = HomeDir();
  ProtocolFile = Ini.ReadString("Directories", "ProtocolFile", Home);
  BrowseDir = Ini.ReadString("Directories", "BrowseDir", Home);
  ProcessDir = Ini.ReadString("Directories", "ProcessDir", Home);
  SaveDir = Ini.ReadString("Directories", "SaveDir", DataDir);
  LoadDir = Ini.ReadString("Directories", "LoadDir", ProgramDir);
  SaveProtocol = ReadBool(Ini, "Directories", "SaveProtocol", true);
  LoadProtocol = ReadBool(Ini, "Directories", "LoadProtocol", true);
  OverrideSaveDir = ReadBool(Ini, "Directories", "OverrideSaveDir", false);
  ShowFileType = ReadBounded(Ini, "Directories", "ShowFileType", DefaultShowFileType, 1, 3);  // it indexes FileTypeMasks

  ForceByteOrder = ReadBool(Ini, "ByteOrder", "ForceByteOrder", false);
  ForceSwap = ReadBool(Ini, "ByteOrder", "ForceSwap", false);

  LogScale = ReadSingle(Ini, "Protocol", "LogScale", DefaultLogScale);
  SaveMeansToProtocol = ReadBool(Ini, "Protocol", "SaveMeansToProtocol", true);
  MaxZValue = ReadSingle(Ini, "Protocol", "MaxZValue", DefaultMaxZValue);
  CompensationMode = ReadBounded(Ini, "Protocol", "CompensationMode", 0, 0, 2);  // the modes of its combo box
  DynamicCompensationN =
      ReadCount(Ini, "Protocol", "DynamicCompensationN", DefaultDynamicCompensationN, MaxIterationsSetting);

  MxSmallQuadrants = ReadBool(Ini, "Matrix", "MxSmallQuadrants", true);
  MxAlternateInversion = ReadBool(Ini, "Matrix", "MxAlternateInversion", true);

  MinimumRawScore = ReadSingle(Ini, "Peaks", "MinimumRawScore", DefaultMinimumRawScore);
  HistogramBinCount = ReadCount(Ini, "Peaks", "HistogramBinCount", DefaultHistogramBinCount, MaxHistogramBinCount);
  OverrideMean = ReadLogSingle(Ini, "Peaks", "OverrideMean", DefaultOverrideMean);
  OverrideExcess = ReadLogSingle(Ini, "Peaks", "OverrideExcess", DefaultOverrideExcess);

  TabWidth = ReadCount(Ini, "Export", "TabWidth", DefaultTabWidth, MaxTabWidth);

  CalculateSSDPvalues = ReadBool(Ini, "Misc", "CalculateSSDPvalues", false);
  SSDIterations = ReadCount(Ini, "Misc", "SSDIterations", DefaultSSDIterations, MaxIterationsSetting);
  ReleaseCode = Ini.ReadString("Misc", "ReleaseCode", "");
}

void WriteAllSettings(TProfileFile& Ini) {
  Ini.WriteString("Directories", "ProtocolFile", ProtocolFile);
  Ini.WriteString("Directories", "BrowseDir", BrowseDir);
  Ini.WriteString("Directories", "ProcessDir", ProcessDir);
  Ini.WriteString("Directories", "LoadDir", LoadDir);
  Ini.WriteString("Directories", "SaveDir", SaveDir);
  WriteBool(Ini, "Directories", "SaveProtocol", SaveProtocol);
  WriteBool(Ini, "Directories", "LoadProtocol", LoadProtocol);
  WriteBool(Ini, "Directories", "OverrideSaveDir", OverrideSaveDir);
  Ini.WriteInteger("Directories", "ShowFileType", ShowFileType);

  WriteBool(Ini, "ByteOrder", "ForceByteOrder", ForceByteOrder);
  WriteBool(Ini, "ByteOrder", "ForceSwap", ForceSwap);

  WriteSingle(Ini, "Protocol", "LogScale", LogScale);
  WriteBool(Ini, "Protocol", "SaveMeansToProtocol", SaveMeansToProtocol);
  WriteSingle(Ini, "Protocol", "MaxZValue", MaxZValue);
  Ini.WriteInteger("Protocol", "CompensationMode", CompensationMode);
  Ini.WriteInteger("Protocol", "DynamicCompensationN", DynamicCompensationN);

  WriteBool(Ini, "Matrix", "MxSmallQuadrants", MxSmallQuadrants);
  WriteBool(Ini, "Matrix", "MxAlternateInversion", MxAlternateInversion);

  WriteSingle(Ini, "Peaks", "MinimumRawScore", MinimumRawScore);
  Ini.WriteInteger("Peaks", "HistogramBinCount", HistogramBinCount);
  WriteSingle(Ini, "Peaks", "OverrideMean", OverrideMean);
  WriteSingle(Ini, "Peaks", "OverrideExcess", OverrideExcess);

  Ini.WriteInteger("Export", "TabWidth", TabWidth);

  WriteBool(Ini, "Misc", "CalculateSSDPvalues", CalculateSSDPvalues);
  Ini.WriteInteger("Misc", "SSDIterations", SSDIterations);
  Ini.WriteString("Misc", "ReleaseCode", ReleaseCode);
}

}  // namespace

std::string ProgramDir;
std::string DataDir;
bool ExcelAvailable = false;
const Extended HugeValue = 1e4000L;

std::string ProtocolFile;
std::string BrowseDir;
std::string ProcessDir;
std::string SaveDir;
std::string LoadDir;
bool SaveProtocol = true;
bool LoadProtocol = true;
bool OverrideSaveDir = false;
int32_t ShowFileType = DefaultShowFileType;
bool ForceByteOrder = false;
bool ForceSwap = false;
float LogScale = static_cast<float>(DefaultLogScale);
bool SaveMeansToProtocol = true;
float MaxZValue = static_cast<float>(DefaultMaxZValue);
int32_t CompensationMode = 0;
int32_t DynamicCompensationN = DefaultDynamicCompensationN;
bool MxSmallQuadrants = true;
bool MxAlternateInversion = true;
float MinimumRawScore = static_cast<float>(DefaultMinimumRawScore);
int32_t HistogramBinCount = DefaultHistogramBinCount;
float OverrideMean = static_cast<float>(DefaultOverrideMean);
float OverrideExcess = static_cast<float>(DefaultOverrideExcess);
int32_t TabWidth = DefaultTabWidth;
bool CalculateSSDPvalues = false;
int32_t SSDIterations = DefaultSSDIterations;
std::string ReleaseCode;

std::string HomeDir() {
  std::string Home;
  if (const char* Env = std::getenv("HOME"); Env && *Env) {
    Home = Env;
  } else if (const passwd* User = getpwuid(getuid()); User && User->pw_dir && *User->pw_dir) {
    Home = User->pw_dir;
  } else {
    Home = "/";
  }
  return IncludeTrailingPathDelimiter(Home);
}

void SetProgramFolders() {
  fs::path Folder;
  if (const char* Home = std::getenv("QUORVENAL_HOME"); Home && *Home) {
    Folder = fs::absolute(Home);
  } else {
    std::error_code Ec;
    fs::path Exe = fs::read_symlink("/proc/self/exe", Ec);
    if (!Ec && access(Exe.parent_path().c_str(), W_OK) == 0) {
      Folder = Exe.parent_path();
    } else {
      const char* Xdg = std::getenv("XDG_DATA_HOME");
      // The XDG rules ignore a relative XDG_DATA_HOME.
      fs::path Base = (Xdg && *Xdg && fs::path(Xdg).is_absolute()) ? fs::path(Xdg)
                                                                    : fs::path(HomeDir()) / ".local" / "share";
      Folder = Base / "Quorvenal";
    }
  }
  ProgramDir = IncludeTrailingPathDelimiter(Folder.string());
  DataDir = ProgramDir + "Data/";
}

void LoadSettings() {
  SettingsLoaded = false;
  SettingsFileReadable = false;
  SetProgramFolders();

  std::vector<std::string> Errors;
  if (!DirectoryExists(ProgramDir)) {
    std::error_code Ignored;
    fs::create_directories(ProgramDir, Ignored);  // the XDG folder may be several levels deep
    if (!DirectoryExists(ProgramDir)) Errors.push_back("Cannot create folder " + ProgramDir);
  }
  if (!DirectoryExists(DataDir) && !CreateFolder(DataDir)) Errors.push_back("Cannot create folder " + DataDir);

  TProfileFile Ini;
  bool Readable = true;
  try {
    Ini = TProfileFile(ProgramDir + SettingsFileName);
  } catch (const EInOutError& E) {
    Readable = false;
    Errors.push_back(std::string(E.what()) + "; the settings take their defaults and the file will not be changed");
  } catch (const std::bad_alloc&) {
    Readable = false;
    Errors.push_back("Not enough memory to read " + ProgramDir + SettingsFileName +
                     "; the settings take their defaults and the file will not be changed");
  }

  ReadAllSettings(Ini);
  ResetMissingFolder(SaveDir);
  ResetMissingFolder(LoadDir);
  ResetMissingFolder(ProcessDir);
  ResetMissingFolder(BrowseDir);

  SettingsLoaded = true;
  SettingsFileReadable = Readable;
  if (!Errors.empty()) throw EInOutError(JoinLines(Errors, "\n"));
}

bool SaveSettings() {
  if (!SettingsLoaded || !SettingsFileReadable) return false;
  const std::string FileName = ProgramDir + SettingsFileName;
  try {
    // Read the file again so that whatever else it holds now is kept.
    TProfileFile Ini(FileName);
    WriteAllSettings(Ini);
    Ini.SaveToFile(FileName);
  } catch (const EInOutError& E) {
    throw EInOutError(std::string("The settings could not be saved: ") + E.what());
  }
  return true;
}

void ResetMissingFolder(std::string& Folder) {
  if (!DirectoryExists(Folder)) Folder = ProgramDir;
}

bool IsDeveloperMode() { return ReleaseCode == DeveloperAccessCode; }

}  // namespace qv

namespace qv {

const char* const BoolText[2] = {"FALSE", "TRUE"};
const char* const FileTypeMasks[4] = {"", "*.fcs", "*.Quorvenal", "*.*"};
bool ParameterLogFlag(int32_t Code) {
  // -6 False, -5 True, -4 True, -3 False, -2 True, -1 False; other codes have no flag.
  switch (Code) {
    case -5: case -4: case -2: return true;
    default: return false;
  }
}
const char* const ClassifyModeNames[3] = {"Threshold Mode", "Relaxed Z Mode", "Strict Z Mode"};
const char* const DeconvolutionNames[2] = {"Matrix deconvolution", "Cascade deconvolution"};
const char* const FitnessKindNames[5] = {"Raw Fitness 1", "Raw Fitness 2", "Change in Fitness",
                                         "Genotype Fitness", "Fluor Fitness"};

}  // namespace qv
