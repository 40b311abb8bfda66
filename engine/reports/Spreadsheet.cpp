#include "reports/Spreadsheet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "Files.h"
#include "Streams.h"
#include "TextUtils.h"

namespace qv {

namespace {

// Full path of the first spreadsheet program found on PATH, "" when there is none.
std::string FindSpreadsheetProgram() {
  const char* Path = std::getenv("PATH");
  if (!Path) return {};
  const std::vector<std::string> Folders = [&] {
    std::vector<std::string> Result;
    std::string Folder;
    for (const char* P = Path;; ++P) {
      if (*P == ':' || *P == '\0') {
        Result.push_back(Folder.empty() ? std::string(".") : Folder);
        Folder.clear();
        if (*P == '\0') break;
      } else {
        Folder += *P;
      }
    }
    return Result;
  }();
  for (const char* Name : {"soffice", "libreoffice", "localc"})
    for (const std::string& Folder : Folders) {
      const std::string Candidate = IncludeTrailingPathDelimiter(Folder) + Name;
      struct stat Info {};
      if (stat(Candidate.c_str(), &Info) == 0 && S_ISREG(Info.st_mode) && access(Candidate.c_str(), X_OK) == 0)
        return Candidate;
    }
  return {};
}

// Starts Program with Args detached (double fork, so no zombie is left) and answers whether
// the exec succeeded. A close-on-exec pipe carries the exec error back.
bool StartDetached(const std::string& Program, const std::vector<std::string>& Args) {
  std::vector<char*> Argv;
  Argv.push_back(const_cast<char*>(Program.c_str()));
  for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);

  int Pipe[2];
  if (pipe2(Pipe, O_CLOEXEC) != 0) return false;
  const pid_t Child = fork();
  if (Child < 0) {
    close(Pipe[0]);
    close(Pipe[1]);
    return false;
  }
  if (Child == 0) {
    // Only async-signal-safe calls from here on.
    close(Pipe[0]);
    const pid_t Grandchild = fork();
    if (Grandchild < 0) {
      const int Error = errno;
      (void)!write(Pipe[1], &Error, sizeof Error);
      _exit(1);
    }
    if (Grandchild > 0) _exit(0);
    setsid();
    execv(Argv[0], Argv.data());
    const int Error = errno;
    (void)!write(Pipe[1], &Error, sizeof Error);
    _exit(127);
  }
  close(Pipe[1]);
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
  int Error = 0;
  ssize_t Got;
  while ((Got = read(Pipe[0], &Error, sizeof Error)) < 0 && errno == EINTR) {
  }
  close(Pipe[0]);
  // Nothing read: the pipe closed on a successful exec.
  return Got == 0 && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

}  // namespace

bool IsExcelAvailable() { return !FindSpreadsheetProgram().empty(); }

bool ExportToExcel(const std::vector<std::string>& Lines, Messages* Messages) {
  const std::string FileName = TempFileName("csv");
  WriteFileSafely(FileName, [&](TStream& Stream) {
    std::string Text;
    for (const std::string& Line : Lines) Text += Line + "\r\n";
    Stream.Write(Text.data(), Text.size());
  });
  const std::string Program = FindSpreadsheetProgram();
  if (Program.empty() || !StartDetached(Program, {std::string("--infilter=") + SpreadsheetCSVFilter, FileName})) {
    (Messages ? *Messages : HostMessages()).Error("Error loading data into Excel: " + FileName);
    return false;
  }
  return true;
}

void GridToQuotedLines(const StringTable& Grid, std::vector<std::string>& Lines, const std::string& Prefix) {
  for (int32_t Row = 0; Row < Grid.RowCount(); ++Row) {
    std::string Line;
    for (int32_t Col = 0; Col < Grid.ColCount(); ++Col)
      Line += Prefix + "\"" + RemoveChar(Grid.Cell(Col, Row), '"') + "\",";
    Lines.push_back(std::move(Line));
  }
}

}  // namespace qv
