#include "analysis/SeriesValues.h"

#include <bit>
#include <utility>

#include "Errors.h"

namespace qv {

size_t TEventSelection::CountSelected() const {
  size_t Count = 0;
  for (const uint64_t W : FWords) Count += static_cast<size_t>(std::popcount(W));
  return Count;
}

TEventSeriesSource::TEventSeriesSource(TFCSLineArray& Events, std::vector<size_t> Offsets)
    : FEvents(&Events), FOffsets(std::move(Offsets)), FHeld(FOffsets.size(), false), FBuilt(FOffsets.size()) {
  Events.AddReader(this);
}

TEventSeriesSource::~TEventSeriesSource() {
  if (FEvents) FEvents->RemoveReader(this);
}

int32_t TEventSeriesSource::AddSelection(TEventSelection Selection, size_t Count) {
  std::lock_guard Lock(FMutex);
  FSelections.push_back(std::move(Selection));
  FCounts.push_back(Count);
  for (auto& Column : FBuilt) Column.emplace_back();
  return static_cast<int32_t>(FSelections.size()) - 1;
}

const TSglArray& TEventSeriesSource::Values(size_t Column, int32_t Selection) const {
  std::lock_guard Lock(FMutex);
  if (Column >= FBuilt.size() || Selection < 0 || static_cast<size_t>(Selection) >= FSelections.size())
    throw RangeCheckError();
  std::unique_ptr<TSglArray>& Built = FBuilt[Column][static_cast<size_t>(Selection)];
  if (!Built) Built = std::make_unique<TSglArray>(Build(Column, Selection));
  return *Built;
}

TSglArray TEventSeriesSource::Build(size_t Column, int32_t Selection) const {
  const TEventSelection& Chosen = FSelections[static_cast<size_t>(Selection)];
  const size_t N = Chosen.EventCount();
  TSglArray Values;
  Values.reserve(FCounts[static_cast<size_t>(Selection)]);
  if (!FHeld[Column]) {
    const size_t Offset = FOffsets[Column];
    for (size_t i = N; i-- > 0;)
      if (Chosen.Has(i)) Values.push_back(FEvents->ValueRow(i)[Offset]);
    return Values;
  }
  // Every selection lies inside selection 0, whose values the column holds.
  const TEventSelection& Widest = FSelections[0];
  const TSglArray& Base = *FBuilt[Column][0];
  size_t k = 0;
  for (size_t i = N; i-- > 0;) {
    if (!Widest.Has(i)) continue;
    if (Chosen.Has(i) && k < Base.size()) Values.push_back(Base[k]);
    ++k;
  }
  return Values;
}

void TEventSeriesSource::Hold(size_t Column) {
  if (FHeld[Column]) return;
  if (!FSelections.empty()) {
    std::unique_ptr<TSglArray>& Base = FBuilt[Column][0];
    if (!Base) Base = std::make_unique<TSglArray>(Build(Column, 0));
  }
  FHeld[Column] = true;
}

void TEventSeriesSource::Detach() {
  if (FEvents) FEvents->RemoveReader(this);
  FEvents = nullptr;
}

void TEventSeriesSource::ValuesChanging(bool OnlyCompensated) {
  std::lock_guard Lock(FMutex);
  if (!FEvents) return;
  bool AllHeld = true;
  try {
    for (size_t c = 0; c < FOffsets.size(); ++c) {
      if (!OnlyCompensated || FEvents->IsCompensatedOffset(FOffsets[c])) Hold(c);
      AllHeld = AllHeld && FHeld[c];
    }
  } catch (...) {
    // Out of memory while copying: the series that could not be kept lose their values rather
    // than show others.
    for (size_t c = 0; c < FOffsets.size(); ++c) {
      if (FHeld[c]) continue;
      for (auto& Built : FBuilt[c]) Built = std::make_unique<TSglArray>();
      FHeld[c] = true;
    }
    for (auto& Column : FBuilt)
      for (auto& Built : Column)
        if (!Built) Built = std::make_unique<TSglArray>();
    AllHeld = true;
  }
  if (AllHeld) Detach();
}

const TSeriesValueList::TItem& TSeriesValueList::Item(size_t Series) const {
  if (Series >= FItems.size()) throw RangeCheckError();
  return FItems[Series];
}

const TSglArray& TSeriesValueList::operator[](size_t Series) const {
  const TItem& I = Item(Series);
  return I.Held ? *I.Held : I.Source->Values(I.Column, I.Selection);
}

size_t TSeriesValueList::Count(size_t Series) const {
  const TItem& I = Item(Series);
  return I.Held ? I.Held->size() : I.Source->Count(I.Selection);
}

void TSeriesValueList::push_back(TSglArray Values) {
  FItems.push_back({std::make_shared<const TSglArray>(std::move(Values)), nullptr, 0, 0});
}

void TSeriesValueList::push_back(std::shared_ptr<const TEventSeriesSource> Source, size_t Column,
                                 int32_t Selection) {
  FItems.push_back({nullptr, std::move(Source), Column, Selection});
}

void TSeriesValueList::PushCopy(size_t Series) { FItems.push_back(Item(Series)); }

}  // namespace qv
