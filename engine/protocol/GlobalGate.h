#pragma once
// A global gate of an analysis protocol: an FCS parameter whose value window decides whether an
// event takes part in the analysis, with its histogram display and its Gaussian fit settings.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Streams.h"
#include "protocol/ParameterMatch.h"

namespace qv {

class TProtocol;

// Every setting of a gate, exchanged with the gate editor.
struct TGateInfo {
  bool Active = false;
  std::string Name;
  std::string FCSName;
  std::string FCSLabel;
  bool ExactFCSName = false;
  bool ExactFCSLabel = false;
  int32_t Scale = 0;  // 0 log, 1 linear
  float DisplayMinimum = 0;
  float DisplayMaximum = 0;
  int32_t Color = 0;  // $00BBGGRR
  float MinimumValue = 0;
  float MaximumValue = 0;
  float Minimum_Z = 0;
  float Maximum_Z = 0;
  bool IsDynamic = false;
  int32_t ZOrder = 0;
  float ClipHigh = 0;
  float ClipLow = 0;
  float Mean = 0;
  float Deviation = 0;
  bool Cull = false;
  bool operator==(const TGateInfo&) const = default;
};

class TGlobalGate : public TParameterMatch {
 public:
  // Record version written by SaveToStream; LoadFromStream reads versions 1 to this one.
  static constexpr int32_t RecordVersion = 8;

  TGlobalGate(const TGateInfo& Info, TProtocol* Owner);
  // Reads a record of the current layout, or of the "Version 2" protocol file when
  // FileVersion is 2. Errors pass to the caller; no partly read gate exists.
  static std::unique_ptr<TGlobalGate> CreateFromStream(TStream& Stream, TProtocol* Owner,
                                                       int32_t FileVersion);
  // Every setting of the source, Cull included, for the protocol that takes the copy over.
  static std::unique_ptr<TGlobalGate> CreateCopy(const TGlobalGate& Source, TProtocol* Owner = nullptr);

  bool Active = false;
  std::string Name;
  int32_t Scale = 0;
  float DisplayMinimum = 0;
  float DisplayMaximum = 0;
  int32_t Color = 0;
  float MinimumValue = 0;
  float MaximumValue = 0;
  float Minimum_Z = 0;
  float Maximum_Z = 0;
  bool IsDynamic = false;
  int32_t ZOrder = 0;
  float ClipHigh = 0;
  float ClipLow = 0;
  float Mean = 0;
  float Deviation = 0;
  bool Cull = false;
  TProtocol* Owner = nullptr;  // not owned

  void GetInfo(TGateInfo& Info) const;
  void SetInfo(const TGateInfo& Info);
  bool IsLogScale() const { return Scale == 0; }

  // One TAB-ended column of the protocol's gate table. With Header, Lines is emptied and gets
  // the 12 row labels; without, Lines must already hold them (ERangeError otherwise).
  void AddToReport(std::vector<std::string>& Lines, bool Header) const;

  void SaveToStream(TStream& Stream) const;
  // Errors pass to the caller and leave the gate unchanged; Owner and ParameterIndex are kept.
  void LoadFromStream(TStream& Stream);
  void LoadFromStreamV2(TStream& Stream);

 private:
  explicit TGlobalGate(TProtocol* AOwner) : Owner(AOwner) {}
  void ReadRecord(TStream& Stream);
  void ReadRecordV2(TStream& Stream);
};

}  // namespace qv
