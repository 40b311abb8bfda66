#include "protocol/ChannelFilters.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "Errors.h"
#include "NumberFormat.h"
#include "protocol/Records.h"

namespace qv {

namespace {

bool InList(int32_t Index, size_t Size) { return Index >= 0 && static_cast<size_t>(Index) < Size; }

// Smallest stored filter: an empty name (its length) and five 32-bit fields.
constexpr size_t MinFilterRecordSize = 4 + 5 * 4;

}  // namespace

std::unique_ptr<TChannelFilters> TChannelFilters::CreateFromStream(TStream* Stream) {
  auto Filters = std::make_unique<TChannelFilters>();
  if (Stream) Filters->LoadFromStream(*Stream);
  return Filters;
}

std::unique_ptr<TChannelFilters> TChannelFilters::CreateCopy(const TChannelFilters& Source) {
  auto Filters = std::make_unique<TChannelFilters>();
  Filters->FFilters = Source.FFilters;
  return Filters;
}

void TChannelFilters::Add(const TChannelFilterInfo& Info) {
  FFilters.push_back(TChannelFilter{Info.Name, Info.SourceChannel, Info.SpilloverChannel, Info.MaxSpillover,
                                    Info.MeanSpillover, Info.MinSpillover});
}

void TChannelFilters::GetFilter(TChannelFilterInfo& Info) const {
  if (!InList(Info.Index, FFilters.size())) return;
  const TChannelFilter& Filter = FFilters[Info.Index];
  Info.Name = Filter.Name;
  Info.SourceChannel = Filter.SourceChannel;
  Info.SpilloverChannel = Filter.SpilloverChannel;
  Info.MaxSpillover = Filter.MaxSpillover;
  Info.MeanSpillover = Filter.MeanSpillover;
  Info.MinSpillover = Filter.MinSpillover;
}

void TChannelFilters::SetFilter(const TChannelFilterInfo& Info) {
  if (!InList(Info.Index, FFilters.size())) return;
  FFilters[Info.Index] = TChannelFilter{Info.Name,         Info.SourceChannel,  Info.SpilloverChannel,
                                        Info.MaxSpillover, Info.MeanSpillover, Info.MinSpillover};
}

void TChannelFilters::Delete(int32_t Index) {
  if (!InList(Index, FFilters.size())) return;
  if (!HostMessages().Confirm("Delete Filter " + FFilters[Index].Name + "?")) return;
  FFilters.erase(FFilters.begin() + Index);
}

void TChannelFilters::FillGrid(StringTable& Grid) const {
  Grid.FixedRows = 0;
  Grid.FixedCols = 0;
  Grid.SetSize(1, Count());
  for (int32_t r = 0; r < Count(); ++r) Grid.SetCell(0, r, FFilters[r].Name);
}

template <typename TValueOf>
bool TChannelFilters::PassesWith(TValueOf Value, int32_t Channel) const {
  bool Result = true;
  for (auto It = FFilters.rbegin(); It != FFilters.rend(); ++It) {
    const TChannelFilter& Filter = *It;
    if (Filter.SourceChannel != Channel) continue;
    float s = 0, o = 0;
    if (!Value(Channel, s) || !Value(Filter.SpilloverChannel, o)) continue;
    // The ratio is held as a 32-bit float, so a bound equal to it compares equal. A quotient
    // beyond the float range is outside any bound, so it is not narrowed.
    bool Inside = false;
    if (s > 0) {
      const Extended Quotient = static_cast<Extended>(o) / s;
      if (std::fabs(Quotient) <= static_cast<Extended>(FLT_MAX)) {
        const float Ratio = static_cast<float>(Quotient);
        Inside = Filter.MinSpillover <= Ratio && Ratio <= Filter.MaxSpillover;
      }
    } else {
      Inside = Filter.MinSpillover <= 0.0f && 0.0f <= Filter.MaxSpillover;
    }
    if (!Inside) Result = false;
  }
  return Result;
}

bool TChannelFilters::Passes(const TSglArray& Values, int32_t Channel) const {
  return PassesWith(
      [&Values](int32_t c, float& V) {
        if (!InList(c, Values.size())) return false;
        V = Values[c];
        return true;
      },
      Channel);
}

bool TChannelFilters::Passes(const TMatrix& Values, int32_t Channel) const {
  return PassesWith(
      [&Values](int32_t c, float& V) {
        if (!InList(c, Values.size()) || Values[c].empty()) return false;
        V = Values[c][0];
        return true;
      },
      Channel);
}

void TChannelFilters::SaveToStream(TStream& Stream) const {
  for (const TChannelFilter& Filter : FFilters)
    RequireFinite({Filter.MaxSpillover, Filter.MeanSpillover, Filter.MinSpillover}, "Filter", Filter.Name);
  CheckedCount(FFilters.size());
  WriteInt32(Stream, RecordVersion);
  WriteInt32(Stream, Count());
  for (int32_t i = Count() - 1; i >= 0; --i) {
    const TChannelFilter& Filter = FFilters[i];
    WriteStreamString(Filter.Name, Stream);
    WriteInt32(Stream, Filter.SourceChannel);
    WriteInt32(Stream, Filter.SpilloverChannel);
    WriteSingle(Stream, Filter.MaxSpillover);
    WriteSingle(Stream, Filter.MeanSpillover);
    WriteSingle(Stream, Filter.MinSpillover);
  }
}

void TChannelFilters::LoadFromStream(TStream& Stream) {
  ReadRecordVersion(Stream, RecordVersion, RecordVersion, "filter");
  const int32_t N = ReadCount(Stream, MinFilterRecordSize);
  std::vector<TChannelFilter> Loaded(static_cast<size_t>(N));
  for (int32_t i = N - 1; i >= 0; --i) {
    TChannelFilter& Filter = Loaded[i];
    Filter.Name = ReadStreamString(Stream);
    Filter.SourceChannel = ReadInt32(Stream);
    Filter.SpilloverChannel = ReadInt32(Stream);
    Filter.MaxSpillover = ReadNumber(Stream);
    Filter.MeanSpillover = ReadNumber(Stream);
    Filter.MinSpillover = ReadNumber(Stream);
  }
  FFilters = std::move(Loaded);
}

}  // namespace qv
