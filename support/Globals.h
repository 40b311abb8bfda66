#pragma once
// Process-wide settings, folders and fixed name tables.
#include <cstdint>
#include <string>

#include "Types.h"

namespace qv {

// Folder of the program (ends in '/'): $QUORVENAL_HOME when set, else the executable's folder
// when it is writable, else $XDG_DATA_HOME/Quorvenal (default ~/.local/share/Quorvenal).
extern std::string ProgramDir;
// ProgramDir + "Data/".
extern std::string DataDir;
// Set at start from the spreadsheet probe; never stored.
extern bool ExcelAvailable;
// Start value of minimum searches: above every finite sum, infinite when narrowed to double.
extern const Extended HugeValue;

// Settings, one variable per key of FCS.INI. They hold their defaults until LoadSettings runs
// (the folder settings are empty until then, since their defaults depend on ProgramDir).
// [Directories]
extern std::string ProtocolFile;
extern std::string BrowseDir;
extern std::string ProcessDir;
extern std::string SaveDir;
extern std::string LoadDir;
extern bool SaveProtocol;
extern bool LoadProtocol;
extern bool OverrideSaveDir;
extern int32_t ShowFileType;  // 1..3, index into FileTypeMasks
// [ByteOrder]
extern bool ForceByteOrder;
extern bool ForceSwap;
// [Protocol]
extern float LogScale;
extern bool SaveMeansToProtocol;
extern float MaxZValue;
extern int32_t CompensationMode;  // 0 static, 1 keep compensated values, 2 dynamic
extern int32_t DynamicCompensationN;
// [Matrix]: read by InvertMatrix when no options are passed
extern bool MxSmallQuadrants;
extern bool MxAlternateInversion;
// [Peaks]
extern float MinimumRawScore;
extern int32_t HistogramBinCount;
extern float OverrideMean;
extern float OverrideExcess;
// [Export]
extern int32_t TabWidth;
// [Misc]
extern bool CalculateSSDPvalues;
extern int32_t SSDIterations;
extern std::string ReleaseCode;

// Bounds of the integer settings, enforced by the preferences window and applied by
// LoadSettings to what it reads.
constexpr int32_t MaxHistogramBinCount = 65536;
constexpr int32_t MaxTabWidth = 1000;
constexpr int32_t MaxIterationsSetting = 1000000;  // SSDIterations, DynamicCompensationN

// The user's home folder, ending in '/'. It stands wherever the settings' defaults name the
// root of a Windows drive.
std::string HomeDir();

// Sets ProgramDir and DataDir from the environment; creates nothing.
void SetProgramFolders();

// Sets ProgramDir and DataDir, creates the program folder and its Data folder when missing, and
// reads every setting from ProgramDir + "FCS.INI" (a missing file reads as an empty one). Each
// key that is absent or does not convert takes its own default, and so does a number outside the
// bounds the preferences window enforces for it (ShowFileType outside 1..3 reads as 1).
// SaveDir, LoadDir, ProcessDir and BrowseDir naming no existing folder become ProgramDir.
// Every key is read even when a folder cannot be created or the file cannot be read; those
// failures are then thrown as one EInOutError after all the settings are in place, so the
// caller shows the message and carries on with the values loaded.
void LoadSettings();

// Writes every setting into ProgramDir + "FCS.INI" through a temporary file, keeping the keys,
// sections and lines of the file that the program does not know. Returns false and writes
// nothing when LoadSettings has not run or could not read the file: the user's file is never
// replaced by defaults. Errors while reading or writing the file now throw EInOutError and
// leave the old file as it was.
bool SaveSettings();

// Replaces Folder by ProgramDir when no folder of that name exists.
void ResetMissingFolder(std::string& Folder);

// True when ReleaseCode is the developer access code exactly (case-sensitive).
bool IsDeveloperMode();

}  // namespace qv

namespace qv {

// Fixed name tables.
extern const char* const BoolText[2];            // [false] "FALSE", [true] "TRUE"
extern const char* const FileTypeMasks[4];       // 1..3: "*.fcs", "*.Quorvenal", "*.*" ([0] unused)
bool ParameterLogFlag(int32_t Code);             // old negative parameter codes -6..-1
extern const char* const ClassifyModeNames[3];
extern const char* const DeconvolutionNames[2];
extern const char* const FitnessKindNames[5];

}  // namespace qv
