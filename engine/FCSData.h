#pragma once
// One analysed data set: the events of one FCS file, or of several merged, matched to a
// protocol's gates and channels, with their file index, counts and compensation.
#include <cstdint>
#include <memory>
#include <string>

#include "Event.h"
#include "Host.h"
#include "ParameterSet.h"
#include "Types.h"

namespace qv {

class TFCSFile;
class TProtocol;

// The cull gate of the reading page: when on, merged events keep only Low < value < High on the
// protocol's first cull gate.
struct TCullSettings {
  bool Cull = false;
  int32_t High = 0;
  int32_t Low = 0;
};

// One axis of a scatter chart: a detector's value series, its title and scale.
struct TScatterAxis {
  const TSglArray* Values = nullptr;
  std::string Title;
  bool Log = false;
};

class TFCSData {
 public:
  static constexpr const char* MergedName = "Merged Files";
  static constexpr const char* ReadError = "Error reading FCS file";

  // An empty set (no file, no events).
  TFCSData() = default;
  // The events of File matched to Protocol (no events without one, or when a gate or channel
  // has no parameter). When the events cannot be built the user is told "Error reading FCS
  // file" and the set is left without events. Unless NoAnalysis the set is then compensated in
  // Mode, given its detectors and classified.
  static std::unique_ptr<TFCSData> Create(const TFCSFile& File, int32_t Mode, bool NoAnalysis, Progress* Gauge,
                                          TProtocol* Protocol);
  // A "Merged Files" set that starts with Source's events as file 0.
  static std::unique_ptr<TFCSData> CreateMerged(const TFCSData& Source, const TCullSettings& Cull);
  // Posts the refresh notification.
  ~TFCSData();
  TFCSData(const TFCSData&) = delete;
  TFCSData& operator=(const TFCSData&) = delete;

  std::string DataFileName;
  std::string SourceName;
  std::string FileNames;  // each file name followed by CR LF
  std::string ProtocolName;
  std::unique_ptr<TParameterSet> Parameters;  // null for sets loaded from a data file
  int32_t FileCount = 0;
  int32_t MaxFileIndex = 0;
  int32_t MinFileIndex = 0;
  int32_t ValueCount = 0;
  TStringArray ChannelNames;
  TFCSLineArray Events;
  TFCSShortLineArray ShortLines;  // only after BuildShortLines; Events is then empty
  int32_t TotalCount = 0;
  int32_t GateDetectorCount = 0;
  int32_t ChannelDetectorCount = 0;
  int32_t UnfilteredCount = 0;
  int32_t GatedInCount = 0;
  TIntArray FirstEvent;  // indexed by FileIndex - MinFileIndex
  TIntArray LastEvent;
  int32_t CullGate = -1;

  // Steps of creation. MatchChannels stores each gate's and channel's parameter index in the
  // protocol (-1 when it has none) and answers whether all were found; Gauge only pumps.
  bool MatchChannels(const TFCSFile& File, TProtocol& Protocol, Progress* Gauge = nullptr);
  bool LoadEvents(const TFCSFile& File, const TProtocol& Protocol, Progress* Gauge);
  void FileRange();
  void BuildFileIndex();

  // Appends Source's unfiltered events (those inside the cull window when Cull is on) as file
  // FileIndex, last event first. A source of another gate or channel count is refused with a
  // message and nothing merged.
  bool Merge(const TFCSData& Source, int32_t FileIndex, const TCullSettings& Cull);

  // 0 all events, 1 unfiltered, 2 gated in; any other kind 0.
  int32_t EventCount(uint8_t Kind) const;
  void GetName(std::string& Name) const;
  int32_t DetectorCount() const { return GateDetectorCount + 2 * ChannelDetectorCount; }

  // Replaces the events by their compact copies (irreversible) and frees the detectors.
  void BuildShortLines();

  // Compensated values and their logs for every event (Compensation.cpp). Mode 0 static matrix,
  // 2 dynamic, anything else keeps the values held; events that hold none yet are compensated
  // with the static matrix whatever the mode.
  void Compensate(TProtocol& Protocol, Progress* Gauge, int32_t Mode);

  // Detector set-up and classification of the analysed road (FCSDataAnalysis.cpp).
  void SetDetectors(TProtocol& Protocol, Progress* Gauge, bool FitCurves);
  void Classify(TProtocol& Protocol);
  void FreeDetectors();

  // Class counts (ClassCounts.cpp). Column 0 is the threshold class, 1 the relaxed and 2 the
  // rigorous Z class. Compact events are counted when the set holds them.
  // Classes counted for Protocol: the larger of its pattern count (single patterns when
  // ScoreSingles, else pairs) and its genotype count + 1.
  static int32_t ClassCount(const TProtocol& Protocol);
  void ClassCounts(const TProtocol& Protocol, int32_t Column, bool Resample, TIntArray& Counts);
  // Both show "Error generating Class Counts" on any error and return normally.
  void BootstrapClassCounts(const TProtocol& Protocol, int32_t Column, bool Resample, int32_t FileIndex,
                            TIntArray& Counts);
  void ClassCountsByFile(const TProtocol& Protocol, int32_t Column, T2IntArray& Table);
  void CountClasses(int32_t NClasses, int32_t Column, TIntArray& Counts) const;
  void CountClassesOfFile(int32_t NClasses, int32_t Column, TIntArray& Counts, int32_t FileIndex) const;
  // Table[file - MinFileIndex][class] over the full events.
  void SumClassCounts(int32_t NClasses, int32_t Column, T2IntArray& Table) const;
  // One bootstrap replicate of the whole set, and of one file with as many draws as the whole
  // set has records (zeros for a file without events).
  void Resample(int32_t NClasses, int32_t Column, TIntArray& Counts) const;
  void ResampleFile(int32_t NClasses, int32_t Column, TIntArray& Counts, int32_t FileIndex) const;

  // The scatter chart of two value series of this set: one point series, only points with both
  // values above 0.001, axes titled and scaled as given.
  void FillScatter(ChartData& Chart, const TScatterAxis& X, const TScatterAxis& Y, int32_t PointSize,
                   Progress* Gauge) const;
};

}  // namespace qv
