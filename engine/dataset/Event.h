#pragma once
// Events of a data set: the gate and channel values of one FCS row with their logs, compensated
// values and classes (TFCSLine), and the compact copy kept once a set is classified
// (TFCSShortLine).
//
// A data set holds hundreds of thousands of events, so their values live in flat arrays owned by
// the event array (TFCSLineArray, TFCSShortLineArray): one block of floats per event, no heap
// allocation per value array. TFCSLine and TFCSShortLine are handles to one slot of such an
// array. Arrays that an event does not hold yet (logs of a filtered event, compensated values
// before compensation, the mask before classification) read as empty spans.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Genotype.h"
#include "Host.h"
#include "LargeArray.h"
#include "Types.h"

namespace qv {

namespace event_flags {
constexpr uint8_t FlagFiltered = 1;
constexpr uint8_t FlagGatedOut = 2;
constexpr uint8_t FlagHasLogs = 4;
constexpr uint8_t FlagHasComp = 8;
constexpr uint8_t FlagHasMask = 16;
}  // namespace event_flags

class TProtocol;
class TStream;
class TFCSLineArray;
class TFCSShortLineArray;

// Per-event values that are not arrays (the Z scores aside, see TFCSLineArray).
struct TEventRecord {
  int32_t FileIndex = 0;
  TClassTriple Classes{0, 0, 0};
  uint8_t Flags = 0;
};

struct TShortEventRecord {
  TClassTriple Classes{0, 0, 0};
  uint8_t FileIndex = 0;
  uint8_t Flags = 0;
};

class TFCSLine {
 public:
  TFCSLine(TFCSLineArray& Owner, size_t Index) : FOwner(&Owner), FIndex(Index) {}

  int32_t GateCount() const;
  int32_t ChannelCount() const;
  size_t Index() const { return FIndex; }

  // Values of the protocol's gates and channels, gate and channel order. RawValues[c] is the
  // raw value of channel c (the C x 1 matrix of the analysis, column 0).
  std::span<const float> GateValues() const;
  std::span<float> GateValues();
  std::span<const float> RawValues() const;
  std::span<float> RawValues();
  // Empty until ComputeLogs (so empty for a filtered event).
  std::span<const float> LogGateValues() const;
  std::span<float> LogGateValues();
  std::span<const float> GateZ() const;
  std::span<float> GateZ();
  std::span<const float> LogRawValues() const;
  std::span<float> LogRawValues();
  // Empty until the event is compensated.
  std::span<const float> CompValues() const;
  std::span<float> CompValues();
  std::span<const float> LogCompValues() const;
  std::span<float> LogCompValues();
  std::span<const uint8_t> Called() const;
  // The writable flags (and SetMask) give the array its storage of flags and masks when it has
  // none yet: from one thread at a time, unless PrepareCalled ran first.
  std::span<uint8_t> Called();
  // The Y/N pattern, channel 0 first; empty until classified.
  std::string_view Mask() const;
  // Mask must hold one letter per channel (ERangeError otherwise).
  void SetMask(std::string_view Mask);

  bool Filtered() const;
  bool GatedOut() const;
  void SetGatedOut(bool Value);
  int32_t FileIndex() const;
  void SetFileIndex(int32_t Value);
  const TClassTriple& Classes() const;
  TClassTriple& Classes();
  float MaxZ() const;
  float SecondZ() const;
  void SetMaxZ(float Value);
  void SetSecondZ(float Value);
  bool HasLogs() const;
  bool HasCompValues() const;
  // Gives the event its compensated values, their logs and the called flags (channel count
  // each); values it held stay, new ones are 0 and False.
  void SizeCompensated();

  // The event of one FCS row under a protocol whose gates and channels are matched to the row's
  // parameters. A parameter index outside the row throws ERangeError.
  void Create(std::span<const float> Row, const TProtocol& Protocol);
  // The same with the matched indices gathered once per file; an event is Filtered when every
  // raw value lies below MinimumRawScore (the setting when not given).
  void Create(std::span<const float> Row, std::span<const int32_t> GateIndices,
              std::span<const int32_t> ChannelIndices);
  void Create(std::span<const float> Row, std::span<const int32_t> GateIndices,
              std::span<const int32_t> ChannelIndices, float MinimumRawScore);
  // Gate values, raw values and Filtered of Source (of the same shape) under another file index;
  // everything derived from them starts afresh.
  void CreateCopy(const TFCSLine& Source, int32_t AFileIndex);
  // The event record of the own data file; GateCount and ChannelCount must be this array's.
  void CreateFromStream(TStream& Stream, int32_t AGateCount, int32_t AChannelCount, int32_t Version);
  void LoadFromStream(TStream& Stream, int32_t AGateCount, int32_t AChannelCount, int32_t Version);
  void SaveToStream(TStream& Stream) const;
  // The same record in memory, RecordBytes of it at Bytes (of this event's counts). Events of one
  // array may be built from records on several threads at once.
  static constexpr int32_t CurrentRecordVersion = 8;  // protocol versions below it add a spare word
  static size_t RecordBytes(int32_t AGateCount, int32_t AChannelCount, int32_t Version);
  void CreateFromRecord(const uint8_t* Bytes, int32_t Version);
  void LoadFromRecord(const uint8_t* Bytes, int32_t Version);
  void SaveToRecord(uint8_t* Bytes) const;
  void ComputeLogs();
  // The largest raw value and its channel; ties go to the higher channel. Needs a channel.
  float MaxChannel(int32_t& ChannelIndex) const;
  void FillGridRow(StringTable& Grid, int32_t Row) const;
  // The event export: its header line from this event's shape, and one row appended to Text
  // (the protocol says which gates have log columns). Columns the event does not hold yet
  // (Z values and logs of a filtered event, values before compensation) are left empty.
  void CSVHeader(const TStringArray& ChannelNames, const TProtocol& Protocol, std::string& Text) const;
  void CSVRow(int32_t RowIndex, const TProtocol& Protocol, std::string& Text) const;

 private:
  friend class TFCSLineArray;
  float* Values() const;
  uint8_t* Bytes() const;
  TEventRecord& Record() const;
  void SetFlag(uint8_t Flag, bool Value);
  // Forgets everything but the gate and raw values and the file index.
  void ClearDerived();

  TFCSLineArray* FOwner;
  size_t FIndex;
};

// The events of one data set. Every event has the gate and channel counts of the array, fixed
// by Reset.
class TFCSLineArray {
 public:
  // Something that reads the events' values where they lie (a detector's series) instead of
  // keeping a copy. It is told before the values it may read change, and then takes what it
  // needs; it is never copied or moved with the array.
  class TValueReader {
   public:
    // OnlyCompensated: only compensated values and their logs are about to change; otherwise
    // any value may change and events may come or go (or the array itself), and the reader
    // is forgotten once told.
    virtual void ValuesChanging(bool OnlyCompensated) = 0;

   protected:
    ~TValueReader() = default;
  };

  TFCSLineArray() = default;
  // A copy holds the same events and none of the readers; assigning or moving tells the
  // readers of both arrays first, as destroying an array tells its own.
  TFCSLineArray(const TFCSLineArray& Other);
  TFCSLineArray(TFCSLineArray&& Other) noexcept;
  TFCSLineArray& operator=(const TFCSLineArray& Other);
  TFCSLineArray& operator=(TFCSLineArray&& Other) noexcept;
  ~TFCSLineArray();

  // Empties the array and fixes its shape.
  void Reset(int32_t AGateCount, int32_t AChannelCount);
  int32_t GateCount() const { return FGateCount; }
  int32_t ChannelCount() const { return FChannelCount; }

  size_t size() const { return FRecords.size(); }
  bool empty() const { return FRecords.empty(); }
  // New slots hold an event with zero values and nothing derived.
  void resize(size_t Count);
  // New slots are left unwritten: each must be built (Create, CreateCopy, CreateFromStream)
  // before anything reads it.
  void ResizeForOverwrite(size_t Count);
  // Faults in the storage of every event on up to Threads threads (see qv::FaultIn): for an
  // array just sized by ResizeForOverwrite whose events are all to be built.
  void FaultIn(int32_t Threads);
  void reserve(size_t Count);
  // Empties the array and releases its memory; the shape stays.
  void clear();
  TFCSLine Append();
  // Events First .. Last - 1 built as TFCSLine::Create builds each from its row, row i holding
  // RowStride floats from Rows + i x RowStride. Every index must lie inside a row (unchecked).
  // Largest (channel count) takes the largest |raw value| of each channel among them, or
  // infinity where one is not finite. Ranges may be built on several threads at once.
  void CreateRange(const float* Rows, size_t RowStride, size_t First, size_t Last,
                   std::span<const int32_t> GateIndices, std::span<const int32_t> ChannelIndices,
                   float MinimumRawScore, std::span<float> Largest);
  // The largest |raw value| of each channel over every event, where known: given by whoever
  // built every event (SetRawBound), forgotten when any raw value may have changed.
  bool RawBoundKnown() const { return FRawBoundKnown.Value.load(std::memory_order_relaxed); }
  std::span<const float> RawBound() const { return FRawBound; }
  void SetRawBound(std::vector<float> Largest);
  // Removes every event for which Remove answers true; the others keep their order and every
  // value they hold. Answers the number removed.
  template <typename Predicate>
  size_t RemoveIf(Predicate Remove);
  TFCSLine operator[](size_t Index) { return TFCSLine(*this, Index); }
  const TFCSLine operator[](size_t Index) const { return TFCSLine(const_cast<TFCSLineArray&>(*this), Index); }

  // The readers of the values. Resizing, emptying, rebuilding by assignment and destroying the
  // array tell them by themselves; a stage that rewrites values of existing events in place
  // tells them with ValuesChanging before it starts (writing through an event's spans does not).
  void AddReader(TValueReader* Reader);
  void RemoveReader(TValueReader* Reader);
  void ValuesChanging(bool OnlyCompensated);

  // The flat storage, for stage loops over millions of events. Row i holds FloatStride() floats:
  // gates, log gates, raw, comp, log raw, log comp; the offsets below name those blocks.
  // Blocks an event does not hold (see the spans of TFCSLine) are not to be read.
  const float* ValueRow(size_t Index) const { return FValues.data() + Index * FloatStride(); }
  const TEventRecord& RecordOf(size_t Index) const { return FRecords[Index]; }
  size_t RowStride() const { return FloatStride(); }
  // Memory of one event before scores are given (values, flags and letters, record).
  size_t BytesPerEvent() const { return FloatStride() * sizeof(float) + ByteStride() + sizeof(TEventRecord); }
  size_t LogGateOffset() const { return static_cast<size_t>(FGateCount); }
  size_t RawOffset() const { return 2 * static_cast<size_t>(FGateCount); }
  size_t CompOffset() const { return RawOffset() + static_cast<size_t>(FChannelCount); }
  size_t LogRawOffset() const { return RawOffset() + 2 * static_cast<size_t>(FChannelCount); }
  size_t LogCompOffset() const { return RawOffset() + 3 * static_cast<size_t>(FChannelCount); }
  // Whether a value row offset lies in the compensated values or their logs.
  bool IsCompensatedOffset(size_t Offset) const {
    return (Offset >= CompOffset() && Offset < LogRawOffset()) || Offset >= LogCompOffset();
  }
  // Give every event its own storage of MaxZ and SecondZ, of gate Z values, and of called flags
  // and mask letters (all 0 until written), so that several threads may write them; SetMaxZ,
  // the writable GateZ and Called and SetMask do it when needed.
  void PrepareScores();
  void PrepareGateZ();
  void PrepareCalled();
  // The same for a stage that writes every event's MaxZ and SecondZ (with Scores) and its called
  // flags and mask itself: storage made here is left unwritten. Answers which storage was made,
  // for ZeroFresh to zero the rows of events a failed stage did not reach.
  struct TFresh {
    bool Scores = false;
    bool Called = false;
  };
  TFresh PrepareForClassification(bool Scores);
  void ZeroFresh(const TFresh& Fresh, size_t First, size_t Last);

 private:
  friend class TFCSLine;
  // Per-event values that most events of a road never need: left out (read as zeros) until
  // something writes them, then held for every event.
  template <class T>
  struct TLazyRows {
    TLazyRows() = default;
    explicit TLazyRows(size_t AStride) : Stride(AStride) {}
    TLargeVector<T> Data;
    size_t Stride = 0;
    bool Held() const { return !Data.empty(); }
    T* Row(size_t Index) { return Data.data() + Index * Stride; }
    const T* RowOrNull(size_t Index) const { return Data.empty() ? nullptr : Data.data() + Index * Stride; }
    // Answers whether storage was made (left unwritten without Zero).
    bool Prepare(size_t Count, bool Zero = true) {
      if (Held() || Count == 0 || Stride == 0) return false;
      Data.ResizeForOverwrite(Count * Stride);
      if (Zero) ZeroBlock(Data.data(), Count * Stride * sizeof(T));
      return true;
    }
    void Resize(size_t Count, bool ForOverwrite) {
      if (!Held()) return;
      ForOverwrite ? Data.ResizeForOverwrite(Count * Stride) : Data.resize(Count * Stride);
    }
    void Reserve(size_t Count) {
      if (Held()) Data.reserve(Count * Stride);
    }
    void Zero(size_t First, size_t Last) {
      if (Held()) std::fill(Data.begin() + First * Stride, Data.begin() + Last * Stride, T{});
    }
    void Move(size_t From, size_t To) {
      if (Held()) std::copy_n(Data.begin() + From * Stride, Stride, Data.begin() + To * Stride);
    }
  };
  size_t FloatStride() const { return 2 * static_cast<size_t>(FGateCount) + 4 * static_cast<size_t>(FChannelCount); }
  size_t ByteStride() const { return 2 * static_cast<size_t>(FChannelCount); }
  void Notify(bool OnlyCompensated);
  // Zeros Bytes bytes from Block on every thread (a block of millions of events' rows).
  static void ZeroBlock(void* Block, size_t Bytes);
  int32_t FGateCount = 0;
  int32_t FChannelCount = 0;
  TLargeVector<float> FValues;   // per event: gates, log gates, raw, comp, log raw, log comp
  TLargeVector<TEventRecord> FRecords;
  // Per event: called flags, mask letters. Reading and compensating a file never writes them.
  TLazyRows<uint8_t> FBytes;
  // Per event: gate Z values (only a dynamic gate writes them), and MaxZ, SecondZ (written by
  // classification with genotypes).
  TLazyRows<float> FGateZ;
  TLazyRows<float> FZScores{2};
  std::vector<float> FNoZ;       // the gate count of zeros, for events without gate Z values
  std::vector<uint8_t> FNoCalled;  // the channel count of zeros, for events without flags
  std::vector<TValueReader*> FReaders;
  // Raw values are written through TFCSLine on several threads at once only by CreateRange, so
  // the flag is atomic and copied with the array.
  struct TKnown {
    std::atomic<bool> Value{false};
    TKnown() = default;
    TKnown(const TKnown& Other) : Value(Other.Value.load(std::memory_order_relaxed)) {}
    TKnown& operator=(const TKnown& Other) {
      Value.store(Other.Value.load(std::memory_order_relaxed), std::memory_order_relaxed);
      return *this;
    }
  };
  void ForgetRawBound() { FRawBoundKnown.Value.store(false, std::memory_order_relaxed); }
  std::vector<float> FRawBound;
  TKnown FRawBoundKnown;
};

template <typename Predicate>
size_t TFCSLineArray::RemoveIf(Predicate Remove) {
  Notify(false);
  const size_t Count = size(), FS = FloatStride();
  size_t Kept = 0;
  for (size_t i = 0; i < Count; ++i) {
    if (Remove(static_cast<const TFCSLineArray&>(*this)[i])) continue;
    if (Kept != i) {
      std::copy_n(FValues.begin() + i * FS, FS, FValues.begin() + Kept * FS);
      FRecords[Kept] = FRecords[i];
      FBytes.Move(i, Kept);
      FGateZ.Move(i, Kept);
      FZScores.Move(i, Kept);
    }
    ++Kept;
  }
  resize(Kept);
  return Count - Kept;
}

// The accessors are inline: detectors and classification call them millions of times.
inline int32_t TFCSLine::GateCount() const { return FOwner->FGateCount; }
inline int32_t TFCSLine::ChannelCount() const { return FOwner->FChannelCount; }

inline float* TFCSLine::Values() const { return FOwner->FValues.data() + FIndex * FOwner->FloatStride(); }
inline uint8_t* TFCSLine::Bytes() const {
  FOwner->FBytes.Prepare(FOwner->size());
  return FOwner->FBytes.Row(FIndex);
}
inline TEventRecord& TFCSLine::Record() const { return FOwner->FRecords[FIndex]; }

inline void TFCSLine::SetFlag(uint8_t Flag, bool Value) {
  uint8_t& F = Record().Flags;
  F = Value ? static_cast<uint8_t>(F | Flag) : static_cast<uint8_t>(F & ~Flag);
}

#define QV_SPAN(Name, Offset, Length, Present)                                                  \
  inline std::span<const float> TFCSLine::Name() const {                                               \
    return (Present) ? std::span<const float>(Values() + (Offset), Length) : std::span<const float>(); \
  }                                                                                             \
  inline std::span<float> TFCSLine::Name() {                                                           \
    return (Present) ? std::span<float>(Values() + (Offset), Length) : std::span<float>();       \
  }

#define QV_G static_cast<size_t>(GateCount())
#define QV_C static_cast<size_t>(ChannelCount())
QV_SPAN(GateValues, 0, QV_G, true)
QV_SPAN(LogGateValues, QV_G, QV_G, HasLogs())
QV_SPAN(CompValues, 2 * QV_G + QV_C, QV_C, HasCompValues())
QV_SPAN(LogRawValues, 2 * QV_G + 2 * QV_C, QV_C, HasLogs())
QV_SPAN(LogCompValues, 2 * QV_G + 3 * QV_C, QV_C, HasCompValues())
#undef QV_G
#undef QV_C
#undef QV_SPAN

inline std::span<const float> TFCSLine::RawValues() const {
  return std::span<const float>(Values() + 2 * static_cast<size_t>(GateCount()), static_cast<size_t>(ChannelCount()));
}
inline std::span<float> TFCSLine::RawValues() {
  FOwner->ForgetRawBound();
  return std::span<float>(Values() + 2 * static_cast<size_t>(GateCount()), static_cast<size_t>(ChannelCount()));
}

inline std::span<const float> TFCSLine::GateZ() const {
  if (!HasLogs()) return {};
  const float* Z = static_cast<const TFCSLineArray*>(FOwner)->FGateZ.RowOrNull(FIndex);
  return std::span<const float>(Z ? Z : FOwner->FNoZ.data(), static_cast<size_t>(GateCount()));
}
inline std::span<float> TFCSLine::GateZ() {
  if (!HasLogs()) return {};
  FOwner->PrepareGateZ();
  return std::span<float>(FOwner->FGateZ.Row(FIndex), static_cast<size_t>(GateCount()));
}

inline std::span<const uint8_t> TFCSLine::Called() const {
  if (!HasCompValues()) return {};
  const uint8_t* Flags = static_cast<const TFCSLineArray*>(FOwner)->FBytes.RowOrNull(FIndex);
  return std::span<const uint8_t>(Flags ? Flags : FOwner->FNoCalled.data(), ChannelCount());
}
inline std::span<uint8_t> TFCSLine::Called() {
  return HasCompValues() ? std::span<uint8_t>(Bytes(), ChannelCount()) : std::span<uint8_t>();
}

inline bool TFCSLine::Filtered() const { return Record().Flags & event_flags::FlagFiltered; }
inline bool TFCSLine::GatedOut() const { return Record().Flags & event_flags::FlagGatedOut; }
inline void TFCSLine::SetGatedOut(bool Value) { SetFlag(event_flags::FlagGatedOut, Value); }
inline int32_t TFCSLine::FileIndex() const { return Record().FileIndex; }
inline void TFCSLine::SetFileIndex(int32_t Value) { Record().FileIndex = Value; }
inline const TClassTriple& TFCSLine::Classes() const { return Record().Classes; }
inline TClassTriple& TFCSLine::Classes() { return Record().Classes; }
inline float TFCSLine::MaxZ() const {
  const float* Scores = static_cast<const TFCSLineArray*>(FOwner)->FZScores.RowOrNull(FIndex);
  return Scores ? Scores[0] : 0.0f;
}
inline float TFCSLine::SecondZ() const {
  const float* Scores = static_cast<const TFCSLineArray*>(FOwner)->FZScores.RowOrNull(FIndex);
  return Scores ? Scores[1] : 0.0f;
}
inline void TFCSLine::SetMaxZ(float Value) {
  FOwner->PrepareScores();
  FOwner->FZScores.Row(FIndex)[0] = Value;
}
inline void TFCSLine::SetSecondZ(float Value) {
  FOwner->PrepareScores();
  FOwner->FZScores.Row(FIndex)[1] = Value;
}
inline bool TFCSLine::HasLogs() const { return Record().Flags & event_flags::FlagHasLogs; }
inline bool TFCSLine::HasCompValues() const { return Record().Flags & event_flags::FlagHasComp; }


class TFCSShortLine {
 public:
  TFCSShortLine(TFCSShortLineArray& Owner, size_t Index) : FOwner(&Owner), FIndex(Index) {}

  bool GatedOut() const;
  int32_t FileIndex() const;  // 0..255
  const TClassTriple& Classes() const;
  TClassTriple& Classes();
  std::span<const float> LogCompValues() const;
  std::span<const float> LogRawValues() const;

  // The compact copy of Line; a file index outside 0..255 throws ERangeError.
  void Create(const TFCSLine& Line);

 private:
  TShortEventRecord& Record() const;
  float* Values() const;
  TFCSShortLineArray* FOwner;
  size_t FIndex;
};

class TFCSShortLineArray {
 public:
  void Reset(int32_t AChannelCount);
  int32_t ChannelCount() const { return FChannelCount; }
  size_t size() const { return FRecords.size(); }
  bool empty() const { return FRecords.empty(); }
  void resize(size_t Count);
  void clear();
  TFCSShortLine operator[](size_t Index) { return TFCSShortLine(*this, Index); }
  const TFCSShortLine operator[](size_t Index) const {
    return TFCSShortLine(const_cast<TFCSShortLineArray&>(*this), Index);
  }

 private:
  friend class TFCSShortLine;
  int32_t FChannelCount = 0;
  TLargeVector<float> FValues;  // per event: log comp, log raw
  TLargeVector<TShortEventRecord> FRecords;
};

}  // namespace qv
