#include "Files.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "Errors.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "ParallelDeflate.h"
#include "Streams.h"
#include "TextUtils.h"

namespace fs = std::filesystem;

namespace qv {

namespace {

// Only '/' separates folders here: ':' and '\\' are ordinary characters of a name.
bool IsSeparator(char C) { return C == '/'; }

size_t NameStart(const std::string& Path) {
  for (size_t i = Path.size(); i > 0; --i)
    if (IsSeparator(Path[i - 1])) return i;
  return 0;
}

bool MatchMask(const char* Mask, const char* Name) {
  for (; *Mask; ++Mask, ++Name) {
    if (*Mask == '*') {
      while (*Mask == '*') ++Mask;
      if (!*Mask) return true;
      for (; *Name; ++Name)
        if (MatchMask(Mask, Name)) return true;
      return false;
    }
    if (!*Name) return false;
    if (*Mask != '?' && UpperCase(std::string_view(Mask, 1)) != UpperCase(std::string_view(Name, 1))) return false;
  }
  return !*Name;
}

// A save error names the file the user asked for and the system's reason.
EInOutError SaveError(const std::string& FileName, int Code) {
  return EInOutError("Error writing file \"" + FileName + "\". " + std::strerror(Code));
}

// The file a save replaces: FileName, or the file its chain of symbolic links ends at (which may
// not exist yet), so that the links stay links.
std::string SaveTarget(const std::string& FileName) {
  std::string Target = FileName;
  struct stat St;
  for (int Hops = 0; lstat(Target.c_str(), &St) == 0 && S_ISLNK(St.st_mode); ++Hops) {
    if (Hops == 40) throw SaveError(FileName, ELOOP);
    std::error_code Error;
    const fs::path Link = fs::read_symlink(Target, Error);
    if (Error) throw SaveError(FileName, Error.value());
    Target = Link.is_absolute() ? Link.string() : (fs::path(ExtractFilePath(Target)) / Link).string();
  }
  return Target;
}

// A fresh empty file next to Target whose name begins "FCS_Temp", for writing then renaming.
// It takes the permission bits (and, where allowed, the owner) of the file it replaces, or the
// default mode under the umask for a new file. A replaced file that nobody may write is refused.
std::string MakeSiblingTempFile(const std::string& Target, const std::string& FileName) {
  struct stat Old;
  const bool Replaces = stat(Target.c_str(), &Old) == 0;
  if (Replaces && S_ISREG(Old.st_mode) &&
      ((Old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(Target.c_str(), W_OK) != 0))
    throw EInOutError(FileName + " is read-only");
  std::string Folder = ExtractFilePath(Target);
  if (Folder.empty()) Folder = "./";
  std::string Pattern = Folder + "FCS_Temp" + "save-XXXXXX";
  const int Fd = mkstemp(Pattern.data());
  if (Fd < 0) throw SaveError(FileName, errno);
  mode_t Mode;
  if (Replaces) {
    // Not every owner may be set (a group the user is not in): the mode is kept regardless.
    if ((Old.st_uid != geteuid() || Old.st_gid != getegid()) && fchown(Fd, Old.st_uid, Old.st_gid) != 0) {
      [[maybe_unused]] const int Ignored = fchown(Fd, static_cast<uid_t>(-1), Old.st_gid);
    }
    Mode = Old.st_mode & 07777;
  } else {
    const mode_t Mask = umask(0);
    umask(Mask);
    Mode = 0666 & ~Mask;
  }
  const int ModeError = fchmod(Fd, Mode) == 0 ? 0 : errno;
  close(Fd);
  if (ModeError) {
    unlink(Pattern.c_str());
    throw SaveError(FileName, ModeError);
  }
  return Pattern;
}

void RenameOver(const std::string& From, const std::string& To, const std::string& FileName) {
  std::error_code Error;
  fs::rename(From, To, Error);
  if (Error) throw SaveError(FileName, Error.value());
}

void EnsureFolderOf(const std::string& FileName) {
  const std::string Folder = ExtractFilePath(FileName);
  if (!Folder.empty() && !DirectoryExists(Folder) && !CreateFolder(Folder))
    throw EInOutError("Cannot create folder \"" + Folder + "\"");
}

// Days since 30 December 1899, local time, the fraction being the time of day.
long double LocalDayCount() {
  const auto Now = std::chrono::system_clock::now();
  const std::time_t Seconds = std::chrono::system_clock::to_time_t(Now);
  std::tm Local{};
  localtime_r(&Seconds, &Local);
  const auto Millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(Now.time_since_epoch()).count() % 1000;
  const long double LocalSeconds = static_cast<long double>(Seconds) + Local.tm_gmtoff + Millis / 1000.0L;
  return 25569.0L + LocalSeconds / 86400.0L;
}

constexpr size_t ChunkSize = 1 << 20;

// A buffer for streaming a file of FileSize bytes: ChunkSize, or less for a small file, and not
// zero-filled, since every byte is written before it is read.
class TChunk {
 public:
  explicit TChunk(int64_t FileSize)
      : FSize(static_cast<size_t>(std::clamp<int64_t>(FileSize, 4096, ChunkSize))),
        FBytes(std::make_unique_for_overwrite<unsigned char[]>(FSize)) {}
  unsigned char* data() { return FBytes.get(); }
  size_t size() const { return FSize; }

 private:
  size_t FSize;
  std::unique_ptr<unsigned char[]> FBytes;
};

}  // namespace

std::string FileBaseName(const std::string& Path) {
  const std::string Name = Path.substr(NameStart(Path));
  return Name.substr(0, Name.find('.'));
}

std::string EnsureExtension(const std::string& FileName, const std::string& Ext) {
  if (FileName.find('.', NameStart(FileName)) != std::string::npos) return FileName;
  return FileName + "." + Ext;
}

std::string ExtractFilePath(const std::string& Path) { return Path.substr(0, NameStart(Path)); }
std::string ExtractFileName(const std::string& Path) { return Path.substr(NameStart(Path)); }

std::string ExtractFileExt(const std::string& Path) {
  const size_t Dot = Path.rfind('.');
  if (Dot == std::string::npos || Dot < NameStart(Path)) return "";
  return Path.substr(Dot);
}

std::string IncludeTrailingPathDelimiter(const std::string& Folder) {
  if (!Folder.empty() && Folder.back() == '/') return Folder;
  return Folder + "/";
}

bool FileExists(const std::string& FileName) {
  struct stat St;
  return !FileName.empty() && stat(FileName.c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

bool PathExists(const std::string& FileName) {
  struct stat St;
  return !FileName.empty() && lstat(FileName.c_str(), &St) == 0;
}

std::string NotAFileReason(const std::string& FileName) {
  struct stat Link, Target;
  if (FileName.empty() || lstat(FileName.c_str(), &Link) != 0) return "it does not exist.";
  if (stat(FileName.c_str(), &Target) != 0) return "it is a symbolic link to a file that does not exist.";
  if (S_ISDIR(Target.st_mode)) return "it is a folder, not a file.";
  if (!S_ISREG(Target.st_mode)) return "it is not a regular file (a pipe, a device or a socket).";
  return "";
}

std::string ReadRefusal(const std::string& What, const std::string& FileName, const std::string& Reason) {
  return "Error reading " + What + " \"" + FileName + "\": " + Reason;
}

bool DirectoryExists(const std::string& Folder) {
  struct stat St;
  return !Folder.empty() && stat(Folder.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool DeleteFileIfExists(const std::string& FileName) {
  struct stat St;
  if (FileName.empty() || lstat(FileName.c_str(), &St) != 0) return true;
  return unlink(FileName.c_str()) == 0;
}

int64_t FileSize64(const std::string& FileName) {
  struct stat St;
  if (FileName.empty() || stat(FileName.c_str(), &St) != 0 || S_ISDIR(St.st_mode)) return 0;
  return static_cast<int64_t>(St.st_size);
}

bool CreateFolder(const std::string& Folder) {
  std::string Name = Folder;
  while (Name.size() > 1 && Name.back() == '/') Name.pop_back();
  if (mkdir(Name.c_str(), 0777) == 0) return true;
  return DirectoryExists(Name);
}

std::vector<std::string> FindFiles(const std::string& Folder, const std::string& Mask) {
  std::vector<std::string> Names;
  std::error_code Error;
  for (const auto& Entry : fs::directory_iterator(Folder.empty() ? "." : Folder, Error)) {
    const std::string Name = Entry.path().filename().string();
    if (MatchMask(Mask.c_str(), Name.c_str())) Names.push_back(Name);
  }
  return Names;
}

std::string TempFileNameIn(const std::string& Ext, const std::string& Folder) {
  std::string Name = Folder + "FCS_Temp" + FormatFloat("####0.00000000", LocalDayCount());
  if (!Ext.empty()) Name += "." + Ext;
  return Name;
}

std::string TempFileName(const std::string& Ext) { return TempFileNameIn(Ext, ProgramDir); }

void DeleteTempFiles() {
  if (ProgramDir.empty()) return;
  for (const auto& Name : FindFiles(ProgramDir, "FCS_Temp*")) DeleteFileIfExists(ProgramDir + Name);
}

void WriteFileSafely(const std::string& FileName, const std::function<void(TStream&)>& Writer) {
  WriteFileSafely(FileName, Writer, [](const std::function<void()>& Flush) { Flush(); });
}

void WriteFileSafely(const std::string& FileName, const std::function<void(TStream&)>& Writer,
                     const std::function<void(const std::function<void()>& Flush)>& RunFlush) {
  const std::string Target = SaveTarget(FileName);
  const std::string Temp = MakeSiblingTempFile(Target, FileName);
  try {
    {
      TFileStream Stream(Temp, TFileStream::TMode::Create, FileName);
      Writer(Stream);
      RunFlush([&Stream] { Stream.Close(); });
    }
    RenameOver(Temp, Target, FileName);
  } catch (...) {
    DeleteFileIfExists(Temp);
    throw;
  }
}

bool PackFile(const std::string& Source, const std::string& Target, bool DeleteSource) {
  if (Source.empty() || (Target == Source && !DeleteSource) || !NotAFileReason(Source).empty()) return false;
  const std::string OutName = Target.empty() ? Source + ".zlib" : Target;
  EnsureFolderOf(OutName);
  // Packed into a temporary file and renamed into place: a failed pack leaves the old target.
  WriteFileSafely(OutName, [&](TStream& Out) {
    const TFileStream In(Source, TFileStream::TMode::OpenRead);
    DeflateInBlocks(In.Size(), [&](int64_t Offset, size_t Count, uint8_t* Into) {
      if (In.ReadAt(Into, Count, Offset) != Count) throw EInOutError("Error reading file \"" + Source + "\"");
    }, Out);
  });
  if (DeleteSource && Target != Source && !DeleteFileIfExists(Source))
    throw EInOutError("Cannot delete \"" + Source + "\"");
  return true;
}

bool UnpackFile(const std::string& Source, const std::string& Target, bool DeleteSource, int32_t RecordSize) {
  if (Source.empty() || (Target == Source && !DeleteSource) || FileSize64(Source) == 0) return false;
  std::string OutName = Target;
  if (Target.empty()) {
    const size_t Pos = Source.find(".zlib");
    OutName = Pos != std::string::npos ? Source.substr(0, Pos) : Source + ".bilz";
  }
  try {
    EnsureFolderOf(OutName);
    bool Complete = false;
    int64_t Written = 0;
    const std::string Target = SaveTarget(OutName);
    const std::string Temp = MakeSiblingTempFile(Target, OutName);
    try {
      {
        TFileStream In(Source, TFileStream::TMode::OpenRead);
        TFileStream Out(Temp, TFileStream::TMode::Create, OutName);
        z_stream Z{};
        if (inflateInit2(&Z, 15) != Z_OK) throw EInOutError("Cannot start decompression");
        TChunk InBuf(In.Size()), OutBuf(In.Size());
        int Status = Z_OK;
        try {
          while (Status != Z_STREAM_END) {
            const size_t N = In.Read(InBuf.data(), InBuf.size());
            if (N == 0) break;  // the packed data ended before its end mark
            Z.next_in = InBuf.data();
            Z.avail_in = static_cast<uInt>(N);
            while (Z.avail_in > 0 && Status != Z_STREAM_END) {
              Z.next_out = OutBuf.data();
              Z.avail_out = static_cast<uInt>(OutBuf.size());
              Status = inflate(&Z, Z_NO_FLUSH);
              if (Status != Z_OK && Status != Z_STREAM_END && Status != Z_BUF_ERROR) break;
              Out.Write(OutBuf.data(), OutBuf.size() - Z.avail_out);
              Written += static_cast<int64_t>(OutBuf.size() - Z.avail_out);
            }
            if (Status != Z_OK && Status != Z_STREAM_END && Status != Z_BUF_ERROR) break;
          }
        } catch (...) {
          inflateEnd(&Z);
          throw;
        }
        inflateEnd(&Z);
        Out.Close();
        Complete = Status == Z_STREAM_END;
      }
      if (!Complete || (RecordSize > 0 && Written % RecordSize != 0)) {
        DeleteFileIfExists(Temp);
        return false;
      }
      RenameOver(Temp, Target, OutName);
    } catch (...) {
      DeleteFileIfExists(Temp);
      throw;
    }
    if (DeleteSource && OutName != Source) DeleteFileIfExists(Source);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace qv
