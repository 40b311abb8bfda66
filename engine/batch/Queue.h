#pragma once
// The batch list of the queue page: named sets of FCS files from one folder, each with the cull
// settings and the protocol file that were current when it was queued. Not saved anywhere.
#include <cstdint>
#include <string>
#include <vector>

#include "dataset/FCSData.h"
#include "Types.h"

namespace qv {

class TFCSQueue {
 public:
  // Files are the selected names in list order; they are kept last first. Without a file
  // nothing is added.
  void Add(const TStringArray& Files, const std::string& Folder, const std::string& Name,
           const TCullSettings& Cull, const std::string& ProtocolFileName);
  void Clear();
  // Asks "Delete " + the entry's name; on Yes the later entries move down one place. An index
  // outside the entries does nothing.
  void Delete(int32_t Index);
  int32_t Count() const { return static_cast<int32_t>(Names.size()); }

  // Empty (Cull untouched) for an index outside the entries.
  void GetName(int32_t Index, std::string& Name) const;
  void GetDirectory(int32_t Index, std::string& Folder) const;
  void GetProtocolName(int32_t Index, std::string& FileName) const;
  TStringArray GetFiles(int32_t Index) const;
  void GetCullSettings(int32_t Index, TCullSettings& Cull) const;
  // "<name>  (N=<count>)" per entry, last entry first, each ended CR LF; list row r is entry
  // Count() - 1 - r.
  void ListText(std::string& Text) const;

  TStringArray FileLists;  // the entry's file names, each ended CR LF
  TStringArray Names;
  TStringArray Directories;
  TIntArray FileCounts;
  std::vector<TCullSettings> CullSettings;
  TStringArray ProtocolFiles;

 private:
  bool Valid(int32_t Index) const { return Index >= 0 && Index < Count(); }
};

}  // namespace qv
