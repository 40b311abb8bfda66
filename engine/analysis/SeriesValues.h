#pragma once
// The value series of a detector. A series the set-up gathers from a data set's events is not
// copied out of them: it names a value column of the events and a selection of them, and its
// values are built the first time someone asks for them (a scatter chart, an export). Until
// then they stay in the events; just before the events' values change (or the events go), the
// column is copied out, so a series always shows the values it was gathered from.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "Types.h"
#include "dataset/Event.h"

namespace qv {

// Bits of a selection of events, one per event index.
class TEventSelection {
 public:
  TEventSelection() = default;
  explicit TEventSelection(size_t Count) : FWords((Count + 63) / 64, 0), FCount(Count) {}
  size_t EventCount() const { return FCount; }
  bool Has(size_t Index) const { return (FWords[Index / 64] >> (Index % 64)) & 1u; }
  // The bits of events 64 x Word .. 64 x Word + 63.
  uint64_t Word(size_t Word) const { return FWords[Word]; }
  // Sets the bits of one word's events at once (word Index / 64): ranges of whole words may be
  // written from several threads.
  void SetWord(size_t Word, uint64_t Bits) { FWords[Word] = Bits; }
  size_t CountSelected() const;

 private:
  std::vector<uint64_t> FWords;
  size_t FCount = 0;
};

// Columns of one event array read over selections of its events. Selection 0 is the widest:
// every other one lies inside it. Values of a series run from the last event to the first.
class TEventSeriesSource final : public TFCSLineArray::TValueReader {
 public:
  // Offsets are value row offsets (TFCSLineArray::ValueRow) of the columns.
  TEventSeriesSource(TFCSLineArray& Events, std::vector<size_t> Offsets);
  ~TEventSeriesSource();
  TEventSeriesSource(const TEventSeriesSource&) = delete;
  TEventSeriesSource& operator=(const TEventSeriesSource&) = delete;

  // Answers the selection's number; Count is the number of events it holds.
  int32_t AddSelection(TEventSelection Selection, size_t Count);
  size_t Count(int32_t Selection) const { return FCounts.at(static_cast<size_t>(Selection)); }
  const TEventSelection& Selection(int32_t Selection) const { return FSelections.at(static_cast<size_t>(Selection)); }
  // Built on first use and kept while the source lives (safe from several threads).
  const TSglArray& Values(size_t Column, int32_t Selection) const;

  void ValuesChanging(bool OnlyCompensated) override;

 private:
  TSglArray Build(size_t Column, int32_t Selection) const;
  // Copies the column out of the events (its selection 0 values); the events are no longer read.
  void Hold(size_t Column);
  void Detach();

  TFCSLineArray* FEvents;  // null once every column is held
  std::vector<size_t> FOffsets;
  std::vector<bool> FHeld;
  std::vector<TEventSelection> FSelections;
  std::vector<size_t> FCounts;
  mutable std::mutex FMutex;
  // Per column and selection; an entry, once built, never moves.
  mutable std::vector<std::vector<std::unique_ptr<TSglArray>>> FBuilt;
};

// The series of one detector, each either held values or a column of an event source.
class TSeriesValueList {
 public:
  size_t size() const { return FItems.size(); }
  bool empty() const { return FItems.empty(); }
  // The values of a series (built from the events on first use); a range error outside.
  const TSglArray& operator[](size_t Series) const;
  // The number of values, without building them.
  size_t Count(size_t Series) const;
  void push_back(TSglArray Values);
  void push_back(std::shared_ptr<const TEventSeriesSource> Source, size_t Column, int32_t Selection);
  // A new series with the values of series Series (shared, not copied).
  void PushCopy(size_t Series);
  void clear() { FItems.clear(); }

 private:
  struct TItem {
    std::shared_ptr<const TSglArray> Held;
    std::shared_ptr<const TEventSeriesSource> Source;
    size_t Column = 0;
    int32_t Selection = 0;
  };
  const TItem& Item(size_t Series) const;
  std::vector<TItem> FItems;
};

}  // namespace qv
