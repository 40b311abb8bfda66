#pragma once
// One analysed data set: the events of one FCS file, or of several merged, matched to a
// protocol's gates and channels, with their file index, counts and compensation.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Host.h"
#include "Types.h"
#include "dataset/DataLoadOptions.h"
#include "dataset/Event.h"
#include "fcs/ParameterSet.h"
#include "protocol/Channel.h"

namespace qv {

class TFCSFile;
class TProtocol;
// Detectors and their options belong to analysis/; a set only holds them.
class TDetector;
struct TCustomDetectorOptions;

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
  TFCSData();
  // The events of File matched to Protocol (no events without one, or when a gate or channel
  // has no parameter). When the events cannot be built the user is told "Error reading FCS
  // file" and the set is left without events. Unless NoAnalysis the set is then compensated in
  // Mode, given its detectors and classified (AnalyseDataSet). A file that did not exist is
  // reported as "File not found: <name>"; running out of memory on the way throws EFCSFileError
  // ("not enough memory for N events") and no set is left.
  static std::unique_ptr<TFCSData> Create(const TFCSFile& File, int32_t Mode, bool NoAnalysis, Progress* Gauge,
                                          TProtocol* Protocol);
  // A "Merged Files" set that starts with Source's events as file 0.
  static std::unique_ptr<TFCSData> CreateMerged(const TFCSData& Source, const TCullSettings& Cull,
                                                Progress* Gauge = nullptr);
  // The files Names of Folder merged as one "Merged Files" set, the last name first: it is file
  // 0 and starts the set (CreateMerged), the name before it is merged as file 1 (Merge), and so
  // on. The files are read side by side, a few at a time, and taken in that order on the calling
  // thread: the first that cannot be merged ends the merge and no set is left. A file that is not
  // there throws EInOutError "File not found: <path>", one that cannot be read its
  // EFCSFileError, one without a parameter for every gate and channel of Protocol "<name>: its
  // parameters do not match the protocol's channels and gates", one whose DATA holds fewer rows
  // than it declares shows "Error reading FCS file" and throws EAbort. Protocol keeps the
  // parameter indices matched in the last file taken. FileGauge moves one step per file and
  // pumps, Gauge over each file's events; once ContinueFlag is cleared no further file is taken
  // and the files merged so far are kept. Null when no file was taken.
  static std::unique_ptr<TFCSData> CreateFromFiles(const std::string& Folder, const std::vector<std::string>& Names,
                                                   TProtocol& Protocol, const TCullSettings& Cull, Progress* Gauge,
                                                   Progress* FileGauge, const bool* ContinueFlag);
  // The set stored in an own data file (DataFile.cpp). Protocol is replaced by the file's protocol
  // only when the whole file was read; then the steps chosen in Options run. A missing file gives
  // an empty set without a message, an invalid one (or a folder, pipe, device or link to nothing,
  // refused before opening) an empty set and one message.
  static std::unique_ptr<TFCSData> CreateFromDataFile(const std::string& FileName, const TDataLoadOptions& Options,
                                                      std::unique_ptr<TProtocol>& Protocol);
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
  // Histograms of the set, rebuilt by SetDetectors: one per gate, one of the raw and one of the
  // compensated values per channel; the custom and class detectors keep their series until
  // cleared or freed.
  std::vector<std::unique_ptr<TDetector>> GateDetectors;
  std::vector<std::unique_ptr<TDetector>> ChannelDetectors;
  std::vector<std::unique_ptr<TDetector>> PeakDetectors;
  std::unique_ptr<TDetector> CustomDetector;
  std::unique_ptr<TDetector> ClassDetector;

  // Steps of creation. MatchChannels stores each gate's and channel's parameter index in the
  // protocol (-1 when it has none) and answers whether all were found; Gauge only pumps.
  bool MatchChannels(const TFCSFile& File, TProtocol& Protocol, Progress* Gauge = nullptr);
  bool LoadEvents(const TFCSFile& File, const TProtocol& Protocol, Progress* Gauge);
  void FileRange();
  void BuildFileIndex();

  // Appends Source's unfiltered events (those inside the cull window when Cull is on) as file
  // FileIndex, last event first. A source of another gate or channel count is refused with a
  // message and nothing merged.
  bool Merge(const TFCSData& Source, int32_t FileIndex, const TCullSettings& Cull, Progress* Gauge = nullptr);

  // The own data file (DataFile.cpp). SaveToFile stores the unfiltered events with a copy of
  // Protocol (ForceMean on, fits stored when SaveMeansToProtocol) through a temporary file, packed
  // on every core; the gauge counts the unpacked bytes. A set of compact events, or of more files
  // than MaxDataSetFiles, is refused with a message. False when nothing was written.
  //
  // What reading a data file may cost, whatever the file claims: the records before the events
  // (protocol, names) unpack to at most 64 MB, and a string among them is sized by its count
  // within that bound only; the file names count at most MaxDataSetFiles lines, counted as they
  // are unpacked; the events are sized by their count only when they fit 64 x the packed bytes
  // plus 64 MB, and otherwise only once the stream has been seen to hold them; nothing beyond
  // the last record is unpacked but one byte.
  static constexpr const char* InvalidDataFile = "Invalid Quorvenal File";
  static constexpr const char* DataFileMagic = "Quorvenal Data File";
  // A lab merges hundreds to a few thousand files into one set.
  static constexpr int32_t MaxDataSetFiles = 65536;
  bool SaveToFile(const std::string& FileName, const TProtocol& Protocol, Progress* Gauge = nullptr);
  // Reads the file into this set and Protocol; on any failure shows one message, leaves the set
  // without events and Protocol as it was, and answers False. The gauge counts the events read.
  bool LoadFromFile(const std::string& FileName, std::unique_ptr<TProtocol>& Protocol, Progress* Gauge,
                    bool ALoadEvents);
  // Event exports and edits (EventExports.cpp). The CSV text of the events, last first, each
  // row indexed by its position; filtered and gated-out events only when asked for. Text is
  // left as it is when the set has no events.
  void ExportEventsCSV(const TProtocol& Protocol, bool IncludeFiltered, bool IncludeGatedOut, std::string& Text,
                       Progress* Gauge = nullptr) const;
  // The same text handed to Write in blocks of about a megabyte as it is made, so a file of
  // millions of rows needs no string of them all.
  void ExportEventsCSV(const TProtocol& Protocol, bool IncludeFiltered, bool IncludeGatedOut,
                       const std::function<void(std::string_view Block)>& Write, Progress* Gauge = nullptr) const;
  // The rows ExportEventsCSV writes below its header, counted without writing them.
  int64_t ExportedEventCount(bool IncludeFiltered, bool IncludeGatedOut, Progress* Gauge = nullptr) const;
  // Removes the events of one file, keeps the others whole and in order, recounts and rebuilds
  // the file range and positions. Answers the number removed; a set of compact events only is
  // refused with a message (0).
  int32_t DeleteFileEvents(int32_t FileIndex);
  // Appends copies of Other's events (gate and raw values and Filtered: the set must be
  // compensated and classified again) as files after this set's highest file index, and Other's
  // file names. Refuses, with a message and appending nothing, a set of compact events only and
  // an Other of another gate or channel count; an Other without events appends nothing.
  bool AppendEvents(const TFCSData& Other);
  // Appends the events of an own data file (its protocol is not kept); see AppendEvents.
  bool AppendDataFile(const std::string& FileName);
  // Whether the set holds only compact events (events and detectors gone).
  bool CompactOnly() const { return Events.empty() && !ShortLines.empty(); }

  // 0 all events, 1 unfiltered, 2 gated in; any other kind 0.
  int32_t EventCount(uint8_t Kind) const;
  void GetName(std::string& Name) const;
  int32_t DetectorCount() const { return GateDetectorCount + 2 * ChannelDetectorCount; }

  // Replaces the events by their compact copies (irreversible) and frees the detectors.
  void BuildShortLines();

  // Compensated values and their logs for every event (CompensateEvents with the settings of
  // Mode): 0 static matrix, 2 dynamic, anything else keeps the values held; events that hold
  // none yet are compensated with the static matrix whatever the mode.
  void Compensate(TProtocol& Protocol, Progress* Gauge, int32_t Mode);

  // Detector set-up (SetupEventDetectors) and classification (ClassifyEvents) of the analysed
  // road. SetDetectors fills the histograms, applies the global gates, fits the dynamic gates by
  // ZOrder and the channel peaks, and recounts the events; errors pass to the caller. Both set
  // the gauge's maximum and move it as they go, from the calling thread.
  void SetDetectors(TProtocol& Protocol, Progress* Gauge, bool FitCurves);
  void CreateDetectors(const TProtocol& Protocol);
  void SetupDetectors(TProtocol& Protocol, bool FitCurves, Progress* Gauge = nullptr);
  void Classify(TProtocol& Protocol, Progress* Gauge = nullptr);
  void FreeDetectors();
  // Gate detectors first, then channel detectors, then peak detectors; ERangeError outside.
  TDetector* GetDetector(int32_t Index) const;
  // Null outside the arrays.
  TDetector* GetChannelDetector(int32_t Index) const;
  TDetector* GetPeakDetector(int32_t Index) const;
  // Dynamic gates' fits become the gates' statistics, channel peak fits their last peak.
  void StoreFitsInProtocol(TProtocol* Protocol) const;
  // The custom detector receives the ratio-filtered plot channel and is fitted; the class
  // detector receives one rigorous Z class. Nothing without those detectors.
  void FitCustomDetector(const TProtocol& Protocol, const TCustomDetectorOptions& Options, Progress* Gauge = nullptr);
  void FillClassDetector(const TProtocol& Protocol, const TCustomDetectorOptions& Options, Progress* Gauge = nullptr);
  // The summary of an analysed, classified set: lines ended CR LF, columns TAB-separated.
  void AnalysisReport(const TProtocol& Protocol, std::string& Text, Progress* Gauge = nullptr);
  void FillEventGrid(const TProtocol& Protocol, StringTable& Grid, Progress* Gauge, bool IncludeFiltered) const;
  // Raw and compensated values of the events of one rigorous Z class.
  void FillMeansGrid(StringTable& Grid, int32_t ClassNumber) const;
  // The scatter of value series Series of two detectors (GetDetector indices).
  void DrawScatter(ChartData& Chart, int32_t XDetector, Progress* Gauge, int32_t Series, int32_t PointSize,
                   int32_t YDetector) const;

  // Class make-up reports. Table holds a header row and one row per
  // class (or channel) at least; values are appended to the rows and further lines after them.
  // Range errors (too few rows, a class beyond the names) pass to the caller.
  void ProportionReport(const TStringArray& Names, TStringArray& Table, char Separator, int32_t Column,
                        bool ZReport, Progress* Gauge = nullptr);
  void ChiReport(const TProtocol& Protocol, TStringArray& Table, char Separator, Progress* Gauge = nullptr) const;
  // Counts[c]: events that call channel c.
  void ChannelStats(const TProtocol& Protocol, TIntArray& Counts) const;
  // Counts per class of N events drawn without replacement from the whole set, skipping those
  // of class 0 in Column; stops early when the set runs out of events.
  void RandomSample(const TStringArray& Names, int32_t Column, int32_t N, TIntArray& Counts,
                    Progress* Gauge = nullptr) const;

  // Spill-over and channel means. Pairs are percent of the primary's signal,
  // the primary's own pair (100, 0). One pair per channel of the events, detectors or not.
  void EstimateSpillover(const TSglArray& Baselines, int32_t Primary, float Low, float High, float& PrimaryMean,
                         float& PrimaryDev, TCompensationArray& Result) const;
  // Every event's primary is its strongest channel; Primaries[p] is the log raw mean and
  // deviation of p over its events.
  void EstimateSpilloverMatrix(TCompensationArray& Primaries, TFullCompensationArray& Matrix, float Low,
                               float High) const;
  // Mean raw value of every channel over the gated-in events; zeros when there are none.
  void MeanChannelValues(TSglArray& Means) const;
  void ChannelMeansReport(const TProtocol& Protocol, const TStringArray& ClassNames, int32_t Column,
                          std::string& Text) const;

  // Class counts. Column 0 is the threshold class, 1 the relaxed and 2 the
  // rigorous Z class. Compact events are counted when the set holds them.
  // Classes counted for Protocol: the larger of its pattern count (single patterns when
  // ScoreSingles, else pairs) and its genotype count + 1.
  static int32_t ClassCount(const TProtocol& Protocol);
  // Each pumps once at its start.
  void ClassCounts(const TProtocol& Protocol, int32_t Column, bool Resample, TIntArray& Counts,
                   Progress* Gauge = nullptr);
  // Both show "Error generating Class Counts" on any error and return normally.
  void BootstrapClassCounts(const TProtocol& Protocol, int32_t Column, bool Resample, int32_t FileIndex,
                            TIntArray& Counts, Progress* Gauge = nullptr);
  void ClassCountsByFile(const TProtocol& Protocol, int32_t Column, T2IntArray& Table, Progress* Gauge = nullptr);
  void CountClasses(int32_t NClasses, int32_t Column, TIntArray& Counts, Progress* Gauge = nullptr) const;
  void CountClassesOfFile(int32_t NClasses, int32_t Column, TIntArray& Counts, int32_t FileIndex,
                          Progress* Gauge = nullptr) const;
  // Table[file - MinFileIndex][class] over the full events.
  void SumClassCounts(int32_t NClasses, int32_t Column, T2IntArray& Table, Progress* Gauge = nullptr) const;
  // One bootstrap replicate of the whole set, and of one file with as many draws as the whole
  // set has records (zeros for a file without events).
  void Resample(int32_t NClasses, int32_t Column, TIntArray& Counts, Progress* Gauge = nullptr) const;
  void ResampleFile(int32_t NClasses, int32_t Column, TIntArray& Counts, int32_t FileIndex,
                    Progress* Gauge = nullptr) const;

  // The scatter chart of two value series of this set: one point series, only points with both
  // values above 0.001, axes titled and scaled as given.
  void FillScatter(ChartData& Chart, const TScatterAxis& X, const TScatterAxis& Y, int32_t PointSize,
                   Progress* Gauge) const;

 private:
  // The file range and positions once events First .. Last - 1, all of file FileIndex, were
  // appended to events whose range and positions were up to date (the range starts afresh when
  // they were the first events).
  void ExtendFileIndex(int32_t FileIndex, size_t First, size_t Last);
};

}  // namespace qv
