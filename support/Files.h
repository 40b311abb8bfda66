#pragma once
// File and name routines, temporary files, safe replacement of files, whole-file packing.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

class TStream;

// File-name part of Path (after the last '/'), cut before its first '.'. Only '/' separates
// folders: ':' and '\' are characters of a name.
std::string FileBaseName(const std::string& Path);
// FileName unchanged when its file-name part has an extension, else FileName + "." + Ext.
std::string EnsureExtension(const std::string& FileName, const std::string& Ext);
// Folder part of Path including its trailing '/', empty when Path has none.
std::string ExtractFilePath(const std::string& Path);
std::string ExtractFileName(const std::string& Path);
// Extension with its dot ("" when none).
std::string ExtractFileExt(const std::string& Path);
// Folder with a trailing '/'.
std::string IncludeTrailingPathDelimiter(const std::string& Folder);

bool FileExists(const std::string& FileName);
// True when something of that name is there, a symbolic link to nothing included.
bool PathExists(const std::string& FileName);
// Why FileName cannot be opened for reading, empty when it can. Only a regular file (or a link
// to one) is opened: a folder or a link to nothing would read as no file, and opening a pipe or
// a device can block for ever. Every reader of a user-named file asks this before opening it.
std::string NotAFileReason(const std::string& FileName);
// "Error reading <What> "<FileName>": <Reason>", the form of every such refusal.
std::string ReadRefusal(const std::string& What, const std::string& FileName, const std::string& Reason);
bool DirectoryExists(const std::string& Folder);
// True when there was no such file, else whether the deletion succeeded.
bool DeleteFileIfExists(const std::string& FileName);
// Size of the file, 0 when there is none.
int64_t FileSize64(const std::string& FileName);
// Creates one folder level; true when it exists afterwards.
bool CreateFolder(const std::string& Folder);
// Names of the entries of Folder whose names match Mask ('*' and '?', without regard to case).
std::vector<std::string> FindFiles(const std::string& Folder, const std::string& Mask);

// "FCS_Temp" + time stamp (+ "." + Ext) in ProgramDir or in Folder (used unchanged).
std::string TempFileName(const std::string& Ext);
std::string TempFileNameIn(const std::string& Ext, const std::string& Folder);
// Deletes every entry of ProgramDir whose name begins with "FCS_Temp".
void DeleteTempFiles();

// Writes a file through a temporary name in the same folder and renames it over FileName only
// when Writer returns normally; on any error the temporary file is removed, the old file stays
// and the error propagates (EInOutError for file-system failures, naming FileName and giving the
// system's reason). A replaced file keeps its permission bits and, where allowed, its owner; a new
// one gets 0666 under the umask. Through a symbolic link the link's target is replaced and the
// link kept. A file without write permission is refused ("<FileName> is read-only").
void WriteFileSafely(const std::string& FileName, const std::function<void(TStream&)>& Writer);
// The same; RunFlush is handed the last step, the flush to the disk (seconds for a file of
// hundreds of megabytes), and runs it as it likes, returning once it has run (its exception
// passed on): a window runs it on another thread and answers its events meanwhile.
void WriteFileSafely(const std::string& FileName, const std::function<void(TStream&)>& Writer,
                     const std::function<void(const std::function<void()>& Flush)>& RunFlush);

// One zlib stream at level 9 of the whole of Source, packed in blocks on every core (see
// ParallelDeflate.h) and written through a temporary name.
bool PackFile(const std::string& Source, const std::string& Target, bool DeleteSource);
bool UnpackFile(const std::string& Source, const std::string& Target, bool DeleteSource, int32_t RecordSize);

}  // namespace qv
