#pragma once
// Spill-over filters of a protocol: each bounds the ratio of one channel's raw value to that of
// the channel it belongs to, so that plots can keep only events whose spill-over looks plausible.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Host.h"
#include "Streams.h"
#include "Types.h"

namespace qv {

// Ratios are fractions, not percent.
struct TChannelFilter {
  std::string Name;
  int32_t SourceChannel = 0;     // the channel the filter belongs to: the denominator
  int32_t SpilloverChannel = 0;  // the numerator
  float MaxSpillover = 0;        // inclusive
  float MeanSpillover = 0;       // expected ratio; kept for the editor only
  float MinSpillover = 0;        // inclusive
  bool operator==(const TChannelFilter&) const = default;
};

// One filter with its position in the list, exchanged with the filter editor.
struct TChannelFilterInfo {
  int32_t Index = 0;
  std::string Name;
  int32_t SourceChannel = 0;
  int32_t SpilloverChannel = 0;
  float MaxSpillover = 0;
  float MeanSpillover = 0;
  float MinSpillover = 0;
};

class TChannelFilters {
 public:
  static constexpr int32_t RecordVersion = 1;

  TChannelFilters() = default;
  // An empty list, then the record when a stream is given. Errors pass to the caller.
  static std::unique_ptr<TChannelFilters> CreateFromStream(TStream* Stream);
  static std::unique_ptr<TChannelFilters> CreateCopy(const TChannelFilters& Source);

  int32_t Count() const { return static_cast<int32_t>(FFilters.size()); }
  const std::vector<TChannelFilter>& Filters() const { return FFilters; }

  // Info's Index is neither used nor changed.
  void Add(const TChannelFilterInfo& Info);
  // Both do nothing when Info.Index is outside the list.
  void GetFilter(TChannelFilterInfo& Info) const;
  void SetFilter(const TChannelFilterInfo& Info);
  // Asks "Delete Filter <name>?" and deletes on Yes.
  void Delete(int32_t Index);
  // One column, one row per filter name, no heading.
  void FillGrid(StringTable& Grid) const;

  // Whether one event's raw channel values pass every filter of Channel. A filter naming a
  // channel outside Values does not apply.
  bool Passes(const TSglArray& Values, int32_t Channel) const;
  // The same on an event's raw values as held, one row per channel (value c at [c][0]).
  bool Passes(const TMatrix& Values, int32_t Channel) const;

  void SaveToStream(TStream& Stream) const;
  // Replaces the list; errors pass to the caller and leave the list unchanged.
  void LoadFromStream(TStream& Stream);

 private:
  // Value(c, v) answers false when the event holds no value for channel c.
  template <typename TValueOf>
  bool PassesWith(TValueOf Value, int32_t Channel) const;
  std::vector<TChannelFilter> FFilters;
};

}  // namespace qv
