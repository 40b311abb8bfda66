#pragma once
// One FCS list-mode file read into memory: HEADER, TEXT keywords, and the DATA as one
// contiguous block of 32-bit floats (one row per event), byte order and log scaling applied.
// Cost: a few times the TEXT and the DATA. $PAR is refused beyond the keywords and $TOT x $PAR
// beyond the DATA; log parameters of one scaling (decades, range) share it, and it is a table
// of every 16-bit value only when the file holds at least as many values of it.
#include <cstdint>
#include <string>
#include <vector>

#include "Errors.h"
#include "fcs/EventMatrix.h"
#include "Host.h"
#include "fcs/ParameterSet.h"
#include "Types.h"

namespace qv {

class TFileStream;

// A file that cannot be read correctly. what() is the message shown to the user:
// "Error reading FCS file "<file>": <reason>".
class EFCSFileError : public Exception {
 public:
  EFCSFileError(const std::string& FileName, const std::string& Reason);
  const std::string& FileName() const { return FFileName; }
  const std::string& Reason() const { return FReason; }

 private:
  std::string FFileName;
  std::string FReason;
};

class TFCSFile {
 public:
  static constexpr uint8_t DataTypeInteger = 0;  // $DATATYPE I: 16-bit unsigned integers
  static constexpr uint8_t DataTypeFloat = 1;    // $DATATYPE F: 32-bit floats
  static constexpr uint8_t DataTypeOther = 2;    // anything else (refused)
  static constexpr int32_t HeaderSize = 58;

  // Reads FileName. A file that does not exist gives an empty object (no events, FileName empty,
  // MissingName set); a path that is not a regular file (folder, pipe, device, link to nothing)
  // or a file that cannot be read correctly throws EFCSFileError, so no half-loaded object exists.
  explicit TFCSFile(const std::string& FileName);
  // Posts the refresh notification.
  ~TFCSFile();
  TFCSFile(const TFCSFile&) = delete;
  TFCSFile& operator=(const TFCSFile&) = delete;

  std::string FileName;       // full path of the file read; empty when it did not exist
  std::string MissingName;    // the name asked for when it did not exist
  int32_t TextBegin = 0;      // byte offsets from the HEADER
  int32_t TextEnd = 0;
  int32_t DataBegin = 0;      // from the HEADER, or from $BEGINDATA/$ENDDATA when the HEADER's are 0
  int32_t DataEnd = 0;
  int32_t AnalysisBegin = 0;  // kept, never used
  int32_t AnalysisEnd = 0;
  int32_t BytesPerValue = 2;  // 2 for I, 4 for F
  std::string Project;        // $PROJ as found
  uint8_t DataType = DataTypeInteger;
  std::string RawText;        // the TEXT segment as read, opening delimiter included, closing one dropped
  std::string KeywordText;    // key=value lines separated by CR LF
  char Delimiter = 0;
  std::string Mode;           // $MODE as found
  int32_t EventCount = 0;     // $TOT
  int32_t ParameterCount = 0; // $PAR
  std::string ByteOrder;      // $BYTEORD, trimmed
  bool SwapBytes = false;     // ByteOrder is exactly "4,3,2,1"
  std::string Version;        // the first six characters of the HEADER
  TParameterSet Parameters;
  TEventMatrix Events;        // EventCount rows of ParameterCount linear values

  // "File,  <FileName>" and "Version, <Version>", each ended by CR LF.
  std::string HeaderReport() const;
  // The raw events as text: row 0 the $PnN names, row 1 the $PnS names, then one row per event
  // held (none for a file without $PAR, whatever its $TOT) with values formatted "######0".
  // Gauge (optional): maximum the events held, advanced every 300 events.
  StringTable FillGrid(Progress* Gauge = nullptr) const;
  // $PnN, $PnS and the whole record of parameter Index (0-based); an invalid index leaves the output unchanged.
  void GetParameterShortName(int32_t Index, std::string& Name) const;
  void GetParameterLongName(int32_t Index, std::string& Name) const;
  void GetParameter(int32_t Index, TParameter& Parameter) const;

 private:
  void Load(const std::string& Name);
  void ReadData(TFileStream& Stream, int64_t FileSize, const std::vector<std::string>& Lines);
  bool FRefreshPosted = false;
};

}  // namespace qv
