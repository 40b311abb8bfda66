#pragma once
// The events of an FCS file as one contiguous row-major block of 32-bit floats: row e holds
// the values of event e, one per parameter. Rows are views into the block, so a million
// events cost one allocation, not a million.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "LargeArray.h"

namespace qv {

class TEventMatrix {
 public:
  TEventMatrix() = default;

  size_t size() const { return FRows; }
  bool empty() const { return FRows == 0; }
  size_t Columns() const { return FColumns; }
  std::span<const float> operator[](size_t Row) const { return {FValues.data() + Row * FColumns, FColumns}; }
  const float* data() const { return FValues.data(); }
  float* data() { return FValues.data(); }

  // Rows x Columns values, left unwritten: the reader fills every one.
  void ResizeForOverwrite(size_t Rows, size_t Columns) {
    if (Columns != 0 && Rows > static_cast<size_t>(-1) / sizeof(float) / Columns) throw std::bad_alloc();
    FValues.clear();
    FValues.ResizeForOverwrite(Rows * Columns);
    FRows = Rows;
    FColumns = Columns;
  }
  void clear() {
    FValues.clear();
    FRows = FColumns = 0;
  }

  friend bool operator==(const TEventMatrix& A, const TEventMatrix& B) {
    return A.FRows == B.FRows && A.FColumns == B.FColumns &&
           std::equal(A.FValues.begin(), A.FValues.end(), B.FValues.begin());
  }

 private:
  TLargeVector<float> FValues;
  size_t FRows = 0;
  size_t FColumns = 0;
};

}  // namespace qv
