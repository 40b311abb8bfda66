#include "dataset/Event.h"

#include <bit>
#include <cmath>
#include <vector>

#include "Errors.h"
#include "FloatLogs.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "protocol/Protocol.h"
#include "Streams.h"
#include "Threads.h"

namespace qv {

using namespace event_flags;

namespace {

constexpr uint8_t ShortGatedOut = 1;
constexpr uint8_t ShortHasLogComp = 2;
constexpr uint8_t ShortHasLogRaw = 4;

// log10 of a stored value, 0 where it is not positive. Double precision rounds to the same float
// as the extended logarithm, at a fraction of its cost over millions of events.
inline float LogOrZero(float Value) {
  return Value > 0 ? static_cast<float>(std::log10(static_cast<double>(Value))) : 0.0f;
}

std::string Fmt(const char* Mask, float Value) { return FormatFloat(Mask, Value); }

}  // namespace

std::string_view TFCSLine::Mask() const {
  if (!(Record().Flags & FlagHasMask)) return {};
  const uint8_t* Row = static_cast<const TFCSLineArray*>(FOwner)->FBytes.RowOrNull(FIndex);
  return std::string_view(reinterpret_cast<const char*>(Row) + ChannelCount(), ChannelCount());
}

void TFCSLine::SetMask(std::string_view Mask) {
  if (Mask.size() != static_cast<size_t>(ChannelCount())) throw RangeCheckError();
  std::copy(Mask.begin(), Mask.end(), Bytes() + ChannelCount());
  SetFlag(FlagHasMask, true);
}

void TFCSLine::SizeCompensated() {
  if (HasCompValues()) return;
  const size_t NG = GateCount(), NC = ChannelCount();
  std::fill_n(Values() + 2 * NG + NC, NC, 0.0f);
  std::fill_n(Values() + 2 * NG + 3 * NC, NC, 0.0f);
  // Without flags storage every event's flags read as False already.
  if (FOwner->FBytes.Held()) std::fill_n(FOwner->FBytes.Row(FIndex), NC, uint8_t{0});
  SetFlag(FlagHasComp, true);
}

void TFCSLine::ClearDerived() {
  TEventRecord& R = Record();
  R.Classes = {0, 0, 0};
  R.Flags = 0;
  FOwner->FGateZ.Zero(FIndex, FIndex + 1);
  FOwner->FZScores.Zero(FIndex, FIndex + 1);
  FOwner->FBytes.Zero(FIndex, FIndex + 1);
}

// ---------------------------------------------------------------------------------------------
// Creation

void TFCSLine::Create(std::span<const float> Row, const TProtocol& Protocol) {
  std::vector<int32_t> GateIndices(GateCount()), ChannelIndices(ChannelCount());
  for (int32_t g = 0; g < GateCount(); ++g) {
    const TGlobalGate* Gate = Protocol.GetGate(g);
    GateIndices[g] = Gate ? Gate->ParameterIndex : -1;
  }
  for (int32_t c = 0; c < ChannelCount(); ++c) {
    const TChannel* Channel = Protocol.GetChannel(c);
    ChannelIndices[c] = Channel ? Channel->ParameterIndex : -1;
  }
  Create(Row, GateIndices, ChannelIndices);
}

void TFCSLine::Create(std::span<const float> Row, std::span<const int32_t> GateIndices,
                      std::span<const int32_t> ChannelIndices) {
  Create(Row, GateIndices, ChannelIndices, qv::MinimumRawScore);
}

void TFCSLine::Create(std::span<const float> Row, std::span<const int32_t> GateIndices,
                      std::span<const int32_t> ChannelIndices, float MinimumRawScore) {
  const int32_t NG = GateCount(), NC = ChannelCount();
  if (GateIndices.size() != static_cast<size_t>(NG) || ChannelIndices.size() != static_cast<size_t>(NC))
    throw RangeCheckError();
  float* V = Values();
  const auto Take = [&](int32_t Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= Row.size()) throw RangeCheckError();
    return Row[static_cast<size_t>(Index)];
  };
  for (int32_t g = 0; g < NG; ++g) V[g] = Take(GateIndices[g]);
  FOwner->ForgetRawBound();
  float* Raw = V + 2 * NG;
  for (int32_t c = 0; c < NC; ++c) Raw[c] = Take(ChannelIndices[c]);
  ClearDerived();
  Record().FileIndex = 0;
  // Filtered unless some channel reaches the threshold; no channels, no event worth keeping.
  bool IsFiltered = true;
  for (int32_t c = NC - 1; c >= 0 && IsFiltered; --c) IsFiltered = Raw[c] < MinimumRawScore;
  SetFlag(FlagFiltered, IsFiltered);
  if (!IsFiltered) ComputeLogs();
}

void TFCSLine::CreateCopy(const TFCSLine& Source, int32_t AFileIndex) {
  if (Source.GateCount() != GateCount() || Source.ChannelCount() != ChannelCount()) throw RangeCheckError();
  std::ranges::copy(Source.GateValues(), GateValues().begin());
  std::ranges::copy(Source.RawValues(), RawValues().begin());
  ClearDerived();
  Record().FileIndex = AFileIndex;
  SetFlag(FlagFiltered, Source.Filtered());
  if (!Filtered()) ComputeLogs();
}

void TFCSLine::CreateFromStream(TStream& Stream, int32_t AGateCount, int32_t AChannelCount, int32_t Version) {
  ClearDerived();
  LoadFromStream(Stream, AGateCount, AChannelCount, Version);
}

void TFCSLine::CreateFromRecord(const uint8_t* Bytes, int32_t Version) {
  ClearDerived();
  LoadFromRecord(Bytes, Version);
}

void TFCSLine::LoadFromStream(TStream& Stream, int32_t AGateCount, int32_t AChannelCount, int32_t Version) {
  if (AGateCount != GateCount() || AChannelCount != ChannelCount()) throw RangeCheckError();
  std::vector<uint8_t> Bytes(RecordBytes(AGateCount, AChannelCount, Version));
  Stream.ReadBuffer(Bytes.data(), Bytes.size());
  LoadFromRecord(Bytes.data(), Version);
}

void TFCSLine::SaveToStream(TStream& Stream) const {
  std::vector<uint8_t> Bytes(RecordBytes(GateCount(), ChannelCount(), CurrentRecordVersion));
  SaveToRecord(Bytes.data());
  Stream.Write(Bytes.data(), Bytes.size());
}

namespace {

uint32_t Load32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 | static_cast<uint32_t>(P[2]) << 16 |
         static_cast<uint32_t>(P[3]) << 24;
}

void Store32(uint8_t* P, uint32_t Value) {
  P[0] = static_cast<uint8_t>(Value);
  P[1] = static_cast<uint8_t>(Value >> 8);
  P[2] = static_cast<uint8_t>(Value >> 16);
  P[3] = static_cast<uint8_t>(Value >> 24);
}

}  // namespace

size_t TFCSLine::RecordBytes(int32_t AGateCount, int32_t AChannelCount, int32_t Version) {
  return 4 * (1 + static_cast<size_t>(AGateCount) + static_cast<size_t>(AChannelCount) + (Version < 8 ? 1 : 0));
}

void TFCSLine::LoadFromRecord(const uint8_t* Bytes, int32_t Version) {
  const int32_t NG = GateCount(), NC = ChannelCount();
  const uint8_t* P = Bytes;
  const int32_t Index = static_cast<int32_t>(Load32(P));
  P += 4;
  float* V = Values();
  for (int32_t g = NG - 1; g >= 0; --g, P += 4) V[g] = std::bit_cast<float>(Load32(P));
  if (Version < 8) P += 4;
  FOwner->ForgetRawBound();
  float* Raw = V + 2 * NG;
  for (int32_t c = NC - 1; c >= 0; --c, P += 4) Raw[c] = std::bit_cast<float>(Load32(P));
  Record().FileIndex = Index;
  ComputeLogs();
}

void TFCSLine::SaveToRecord(uint8_t* Bytes) const {
  uint8_t* P = Bytes;
  Store32(P, static_cast<uint32_t>(FileIndex()));
  P += 4;
  const float* V = Values();
  for (int32_t g = GateCount() - 1; g >= 0; --g, P += 4) Store32(P, std::bit_cast<uint32_t>(V[g]));
  const float* Raw = V + 2 * GateCount();
  for (int32_t c = ChannelCount() - 1; c >= 0; --c, P += 4) Store32(P, std::bit_cast<uint32_t>(Raw[c]));
}

void TFCSLine::ComputeLogs() {
  SetFlag(FlagHasLogs, true);
  const auto Gates = GateValues();
  auto LogGates = LogGateValues();
  for (size_t g = 0; g < Gates.size(); ++g) LogGates[g] = LogOrZero(Gates[g]);
  // Events without gate Z storage read their Z values as 0 already.
  FOwner->FGateZ.Zero(FIndex, FIndex + 1);
  const auto Raw = RawValues();
  auto LogRaw = LogRawValues();
  for (size_t c = 0; c < Raw.size(); ++c) LogRaw[c] = LogOrZero(Raw[c]);
}

// ---------------------------------------------------------------------------------------------
// Queries and text

float TFCSLine::MaxChannel(int32_t& ChannelIndex) const {
  const auto Raw = RawValues();
  if (Raw.empty()) throw RangeCheckError();
  int32_t Best = static_cast<int32_t>(Raw.size()) - 1;
  for (int32_t c = Best - 1; c >= 0; --c)
    if (Raw[c] > Raw[Best]) Best = c;
  ChannelIndex = Best;
  return Raw[Best];
}

void TFCSLine::FillGridRow(StringTable& Grid, int32_t Row) const {
  const int32_t NG = GateCount(), NC = ChannelCount();
  Grid.SetCell(0, Row, IntToStr(Row));
  const auto Gates = GateValues();
  for (int32_t g = 0; g < NG; ++g) Grid.SetCell(g + 1, Row, Fmt("#####0.0", Gates[g]));
  const auto Raw = RawValues();
  const auto Comp = CompValues();
  for (int32_t c = 0; c < NC; ++c) {
    Grid.SetCell(NG + c + 1, Row, Fmt("#####0.0", Raw[c]));
    Grid.SetCell(NG + c + 1 + NC, Row, Comp.empty() ? std::string() : Fmt("#####0.0", Comp[c]));
  }
}

void TFCSLine::CSVHeader(const TStringArray& ChannelNames, const TProtocol& Protocol, std::string& Text) const {
  const int32_t NG = GateCount(), NC = ChannelCount();
  if (ChannelNames.size() < static_cast<size_t>(NC)) throw RangeCheckError();
  std::vector<const TGlobalGate*> Gates(NG);
  for (int32_t g = 0; g < NG; ++g)
    if (!(Gates[g] = Protocol.GetGate(g))) throw RangeCheckError();
  Text = "Idx,";
  for (int32_t g = NG - 1; g >= 0; --g) {
    Text += Gates[g]->Name + ",";
    if (Gates[g]->IsLogScale()) Text += "LOG_" + Gates[g]->Name + ",";
  }
  for (int32_t g = NG - 1; g >= 0; --g) Text += "Z_" + Gates[g]->Name + ",";
  for (const char* Prefix : {"Raw_", "Comp_", "Log_"})
    for (int32_t c = NC - 1; c >= 0; --c) Text += Prefix + ChannelNames[c] + ",";
  Text += "Filtered,Mask,IsCalled,MaxZ,SecondZ,DeltaZ";
}

void TFCSLine::CSVRow(int32_t RowIndex, const TProtocol& Protocol, std::string& Text) const {
  // Exports write millions of rows: the masks are parsed once and values appended in place.
  static const TFixedFormat Value3("##0.000"), Wide3("###0.000");
  const int32_t NG = GateCount(), NC = ChannelCount();
  for (int32_t g = 0; g < NG; ++g)
    if (!Protocol.GetGate(g)) throw RangeCheckError();
  const auto Put = [&Text](const TFixedFormat& Format, float Value) {
    Format.AppendTo(Text, Value);
    Text += ',';
  };
  Text += IntToStr(RowIndex);
  Text += ',';
  const auto Gates = GateValues();
  const auto LogGates = LogGateValues();
  for (int32_t g = NG - 1; g >= 0; --g) {
    Put(Value3, Gates[g]);
    if (Protocol.GetGate(g)->IsLogScale()) {
      if (LogGates.empty())
        Text += "0.000,";
      else
        Put(Value3, LogGates[g]);
    }
  }
  // Columns an event does not hold yet stay empty, so every row lines up with the header.
  const auto Z = GateZ();
  for (int32_t g = NG - 1; g >= 0; --g) Z.empty() ? void(Text += ',') : Put(Value3, Z[g]);
  for (const auto& Series : {std::span<const float>(RawValues()), CompValues(), LogCompValues()})
    for (int32_t c = NC - 1; c >= 0; --c) Series.empty() ? void(Text += ',') : Put(Value3, Series[c]);
  Text += GatedOut() ? "XXX," : "\"-\",";
  const std::string_view M = Mask();
  Text += M;
  Text += ',';
  Text += M.find('Y') != std::string_view::npos ? "Y," : "N,";
  const Extended Delta = static_cast<Extended>(MaxZ()) - SecondZ();
  Put(Wide3, MaxZ());
  Put(Wide3, SecondZ());
  Wide3.AppendTo(Text, Delta);
}

// ---------------------------------------------------------------------------------------------
// The event array

TFCSLineArray::TFCSLineArray(const TFCSLineArray& Other)
    : FGateCount(Other.FGateCount),
      FChannelCount(Other.FChannelCount),
      FValues(Other.FValues),
      FRecords(Other.FRecords),
      FBytes(Other.FBytes),
      FGateZ(Other.FGateZ),
      FZScores(Other.FZScores),
      FNoZ(Other.FNoZ),
      FNoCalled(Other.FNoCalled),
      FRawBound(Other.FRawBound),
      FRawBoundKnown(Other.FRawBoundKnown) {}

TFCSLineArray::TFCSLineArray(TFCSLineArray&& Other) noexcept { *this = std::move(Other); }

TFCSLineArray& TFCSLineArray::operator=(const TFCSLineArray& Other) {
  if (this == &Other) return *this;
  TFCSLineArray Copy(Other);
  return *this = std::move(Copy);
}

TFCSLineArray& TFCSLineArray::operator=(TFCSLineArray&& Other) noexcept {
  if (this == &Other) return *this;
  Notify(false);
  Other.Notify(false);
  FGateCount = Other.FGateCount;
  FChannelCount = Other.FChannelCount;
  FValues = std::move(Other.FValues);
  FRecords = std::move(Other.FRecords);
  FBytes = std::move(Other.FBytes);
  FGateZ = std::move(Other.FGateZ);
  FZScores = std::move(Other.FZScores);
  FNoZ = std::move(Other.FNoZ);
  FNoCalled = std::move(Other.FNoCalled);
  FRawBound = std::move(Other.FRawBound);
  FRawBoundKnown = Other.FRawBoundKnown;
  Other.ForgetRawBound();
  return *this;
}

TFCSLineArray::~TFCSLineArray() { Notify(false); }

void TFCSLineArray::AddReader(TValueReader* Reader) {
  if (std::find(FReaders.begin(), FReaders.end(), Reader) == FReaders.end()) FReaders.push_back(Reader);
}

void TFCSLineArray::RemoveReader(TValueReader* Reader) { std::erase(FReaders, Reader); }

void TFCSLineArray::ValuesChanging(bool OnlyCompensated) { Notify(OnlyCompensated); }

void TFCSLineArray::Notify(bool OnlyCompensated) {
  if (FReaders.empty()) return;
  // A reader may take itself off the list while it is told.
  const std::vector<TValueReader*> Readers = FReaders;
  if (!OnlyCompensated) FReaders.clear();
  for (TValueReader* Reader : Readers) Reader->ValuesChanging(OnlyCompensated);
}

void TFCSLineArray::Reset(int32_t AGateCount, int32_t AChannelCount) {
  if (AGateCount < 0 || AChannelCount < 0) throw RangeCheckError();
  clear();
  FGateCount = AGateCount;
  FChannelCount = AChannelCount;
  FNoZ.assign(static_cast<size_t>(AGateCount), 0.0f);
  FNoCalled.assign(static_cast<size_t>(AChannelCount), uint8_t{0});
  FBytes.Stride = ByteStride();
  FGateZ.Stride = static_cast<size_t>(AGateCount);
}

void TFCSLineArray::resize(size_t Count) {
  Notify(false);
  ForgetRawBound();
  FValues.resize(Count * FloatStride());
  FRecords.resize(Count);
  FBytes.Resize(Count, false);
  FGateZ.Resize(Count, false);
  FZScores.Resize(Count, false);
}

void TFCSLineArray::ResizeForOverwrite(size_t Count) {
  Notify(false);
  ForgetRawBound();
  FValues.ResizeForOverwrite(Count * FloatStride());
  FRecords.ResizeForOverwrite(Count);
  FBytes.Resize(Count, true);
  FGateZ.Resize(Count, true);
  FZScores.Resize(Count, true);
}

void TFCSLineArray::FaultIn(int32_t Threads) {
  const TBlockSpan Blocks[] = {{FValues.data(), FValues.size() * sizeof(float)},
                               {FRecords.data(), FRecords.size() * sizeof(TEventRecord)}};
  qv::FaultIn(Blocks, Threads);
}

void TFCSLineArray::reserve(size_t Count) {
  FValues.reserve(Count * FloatStride());
  FRecords.reserve(Count);
  FBytes.Reserve(Count);
  FGateZ.Reserve(Count);
  FZScores.Reserve(Count);
}

void TFCSLineArray::clear() {
  Notify(false);
  ForgetRawBound();
  FValues.clear();
  FRecords.clear();
  FBytes.Data.clear();
  FGateZ.Data.clear();
  FZScores.Data.clear();
}

void TFCSLineArray::ZeroBlock(void* Block, size_t Bytes) {
  constexpr size_t Piece = size_t{2} << 20;
  char* const Start = static_cast<char*>(Block);
  ParallelFor(Bytes, Piece, ThreadCount(),
              [&](size_t Begin, size_t End) { std::fill(Start + Begin, Start + End, char{0}); });
}

void TFCSLineArray::PrepareScores() { FZScores.Prepare(size()); }
void TFCSLineArray::PrepareGateZ() { FGateZ.Prepare(size()); }
void TFCSLineArray::PrepareCalled() { FBytes.Prepare(size()); }

TFCSLineArray::TFresh TFCSLineArray::PrepareForClassification(bool Scores) {
  TFresh Fresh;
  if (Scores) Fresh.Scores = FZScores.Prepare(size(), false);
  Fresh.Called = FBytes.Prepare(size(), false);
  return Fresh;
}

void TFCSLineArray::ZeroFresh(const TFresh& Fresh, size_t First, size_t Last) {
  if (Fresh.Scores) FZScores.Zero(First, Last);
  if (Fresh.Called) FBytes.Zero(First, Last);
}

void TFCSLineArray::CreateRange(const float* Rows, size_t RowStride, size_t First, size_t Last,
                                std::span<const int32_t> GateIndices, std::span<const int32_t> ChannelIndices,
                                float MinimumRawScore, std::span<float> Largest) {
  ForgetRawBound();
  const size_t NG = static_cast<size_t>(FGateCount), NC = static_cast<size_t>(FChannelCount);
  std::fill(Largest.begin(), Largest.end(), 0.0f);
  bool Finite = true;
  const size_t FS = FloatStride(), NV = NG + NC;
  // The logs of a run of events are taken together, the values gathered next to each other.
  constexpr size_t Run = 256;
  std::vector<float> In(Run * NV), Out(Run * NV);
  for (size_t Start = First; Start < Last; Start += Run) {
    const size_t End = std::min(Last, Start + Run);
    for (size_t i = Start; i < End; ++i) {
      const float* Row = Rows + i * RowStride;
      float* V = FValues.data() + i * FS;
      float* Raw = V + 2 * NG;
      float* Gathered = In.data() + (i - Start) * NV;
      for (size_t g = 0; g < NG; ++g) Gathered[g] = V[g] = Row[GateIndices[g]];
      for (size_t c = 0; c < NC; ++c) {
        const float Value = Row[ChannelIndices[c]];
        Gathered[NG + c] = Raw[c] = Value;
        Largest[c] = std::max(Largest[c], std::fabs(Value));
        Finite = Finite && std::isfinite(Value);
      }
      bool IsFiltered = true;
      for (size_t c = NC; c-- > 0 && IsFiltered;) IsFiltered = Raw[c] < MinimumRawScore;
      FRecords[i] = TEventRecord{};
      FRecords[i].Flags = IsFiltered ? FlagFiltered : FlagHasLogs;
    }
    FBytes.Zero(Start, End);
    FGateZ.Zero(Start, End);
    FZScores.Zero(Start, End);
    Log10Above(In.data(), Out.data(), (End - Start) * NV, 0.0f);
    for (size_t i = Start; i < End; ++i) {
      if (FRecords[i].Flags & FlagFiltered) continue;
      float* V = FValues.data() + i * FS;
      const float* Logs = Out.data() + (i - Start) * NV;
      std::copy_n(Logs, NG, V + NG);
      std::copy_n(Logs + NG, NC, V + 2 * NG + 2 * NC);
    }
  }
  if (!Finite) std::fill(Largest.begin(), Largest.end(), INFINITY);
}

void TFCSLineArray::SetRawBound(std::vector<float> Largest) {
  if (Largest.size() != static_cast<size_t>(FChannelCount)) throw RangeCheckError();
  FRawBound = std::move(Largest);
  FRawBoundKnown.Value.store(true, std::memory_order_relaxed);
}

TFCSLine TFCSLineArray::Append() {
  resize(size() + 1);
  return (*this)[size() - 1];
}

// ---------------------------------------------------------------------------------------------
// Compact events

TShortEventRecord& TFCSShortLine::Record() const { return FOwner->FRecords[FIndex]; }
float* TFCSShortLine::Values() const {
  return FOwner->FValues.data() + FIndex * 2 * static_cast<size_t>(FOwner->FChannelCount);
}

bool TFCSShortLine::GatedOut() const { return Record().Flags & ShortGatedOut; }
int32_t TFCSShortLine::FileIndex() const { return Record().FileIndex; }
const TClassTriple& TFCSShortLine::Classes() const { return Record().Classes; }
TClassTriple& TFCSShortLine::Classes() { return Record().Classes; }

std::span<const float> TFCSShortLine::LogCompValues() const {
  if (!(Record().Flags & ShortHasLogComp)) return {};
  return std::span<const float>(Values(), FOwner->FChannelCount);
}

std::span<const float> TFCSShortLine::LogRawValues() const {
  if (!(Record().Flags & ShortHasLogRaw)) return {};
  return std::span<const float>(Values() + FOwner->FChannelCount, FOwner->FChannelCount);
}

void TFCSShortLine::Create(const TFCSLine& Line) {
  if (Line.FileIndex() < 0 || Line.FileIndex() > 255) throw RangeCheckError();
  if (Line.ChannelCount() != FOwner->FChannelCount) throw RangeCheckError();
  TShortEventRecord& R = Record();
  R.FileIndex = static_cast<uint8_t>(Line.FileIndex());
  R.Classes = Line.Classes();
  R.Flags = Line.GatedOut() ? ShortGatedOut : 0;
  float* V = Values();
  if (const auto LogComp = Line.LogCompValues(); !LogComp.empty()) {
    std::ranges::copy(LogComp, V);
    R.Flags |= ShortHasLogComp;
  }
  if (const auto LogRaw = Line.LogRawValues(); !LogRaw.empty()) {
    std::ranges::copy(LogRaw, V + FOwner->FChannelCount);
    R.Flags |= ShortHasLogRaw;
  }
}

void TFCSShortLineArray::Reset(int32_t AChannelCount) {
  if (AChannelCount < 0) throw RangeCheckError();
  clear();
  FChannelCount = AChannelCount;
}

void TFCSShortLineArray::resize(size_t Count) {
  FValues.resize(Count * 2 * static_cast<size_t>(FChannelCount));
  FRecords.resize(Count);
}

void TFCSShortLineArray::clear() {
  FValues.clear();
  FRecords.clear();
}

}  // namespace qv
