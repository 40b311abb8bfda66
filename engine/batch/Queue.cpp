#include "batch/Queue.h"

#include "Host.h"
#include "NumberFormat.h"
#include "TextUtils.h"

namespace qv {

void TFCSQueue::Add(const TStringArray& Files, const std::string& Folder, const std::string& Name,
                    const TCullSettings& Cull, const std::string& ProtocolFileName) {
  if (Files.empty()) return;
  std::string List;
  for (size_t i = Files.size(); i-- > 0;) List += Files[i] + "\r\n";
  FileLists.push_back(std::move(List));
  Names.push_back(Name);
  FileCounts.push_back(static_cast<int32_t>(Files.size()));
  ProtocolFiles.push_back(ProtocolFileName);
  Directories.push_back(Folder);
  CullSettings.push_back(Cull);
}

void TFCSQueue::Clear() {
  FileLists.clear();
  Names.clear();
  Directories.clear();
  FileCounts.clear();
  CullSettings.clear();
  ProtocolFiles.clear();
}

void TFCSQueue::Delete(int32_t Index) {
  if (!Valid(Index)) return;
  if (!HostMessages().Confirm("Delete " + Names[Index])) return;
  const auto Erase = [Index](auto& Array) { Array.erase(Array.begin() + Index); };
  Erase(FileLists);
  Erase(Names);
  Erase(Directories);
  Erase(FileCounts);
  Erase(CullSettings);
  Erase(ProtocolFiles);
}

void TFCSQueue::GetName(int32_t Index, std::string& Name) const { Name = Valid(Index) ? Names[Index] : ""; }

void TFCSQueue::GetDirectory(int32_t Index, std::string& Folder) const {
  Folder = Valid(Index) ? Directories[Index] : "";
}

void TFCSQueue::GetProtocolName(int32_t Index, std::string& FileName) const {
  FileName = Valid(Index) ? ProtocolFiles[Index] : "";
}

TStringArray TFCSQueue::GetFiles(int32_t Index) const {
  return Valid(Index) ? SplitLines(FileLists[Index]) : TStringArray();
}

void TFCSQueue::GetCullSettings(int32_t Index, TCullSettings& Cull) const {
  if (Valid(Index)) Cull = CullSettings[Index];
}

void TFCSQueue::ListText(std::string& Text) const {
  Text.clear();
  for (int32_t i = Count() - 1; i >= 0; --i) Text += Names[i] + "  (N=" + IntToStr(FileCounts[i]) + ")\r\n";
}

}  // namespace qv
