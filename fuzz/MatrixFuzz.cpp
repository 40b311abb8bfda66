// The pasted compensation matrix. The first byte gives the protocol's channel count (1 to 8),
// the rest is the pasted text. What must hold:
// - the text gives an n x n matrix for its n lines, of finite 32-bit values;
// - the matrix written back as text (its columns as lines) reads as the same matrix;
// - the protocol takes it exactly when it is channels x channels with every value from 0 to
//   100, and then holds it as its channels' compensation means and writes and reads back to the
//   same bytes; a matrix it refuses leaves it as it was.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "Streams.h"
#include "TextUtils.h"
#include "protocol/Protocol.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the matrix read, then written and read back
  fuzz::Quiet();
  if (Size == 0) return 0;
  const int32_t Channels = 1 + Data[0] % 8;
  const std::string Text(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const size_t Lines = SplitLines(Text).size();
  TMatrix M;
  const bool Read = MatrixFromText(Text, M, TProtocol::MaxChannels);
  if (Lines > static_cast<size_t>(TProtocol::MaxChannels)) {
    fuzz::Require(!Read && M.empty(), "more lines than a protocol has channels are refused unsized");
    return 0;
  }
  fuzz::Require(Read, "a text of few enough lines is read");
  fuzz::Require(M.size() == Lines, "a matrix row per line");
  bool InRange = M.size() == static_cast<size_t>(Channels);
  for (const auto& Row : M) {
    fuzz::Require(Row.size() == Lines, "a matrix column per line");
    for (const float V : Row) {
      fuzz::Require(std::isfinite(V), "a pasted value is finite");
      InRange = InRange && V >= 0 && V <= 100;
    }
  }

  // Line r holds column r.
  std::string Again;
  for (size_t r = 0; r < M.size(); ++r) {
    for (size_t k = 0; k < M.size(); ++k) {
      char Field[32];
      std::snprintf(Field, sizeof Field, "%s%.9g", k ? "\t" : "", static_cast<double>(M[k][r]));
      Again += Field;
    }
    Again += "\r\n";
  }
  TMatrix Back;
  MatrixFromText(Again, Back, TProtocol::MaxChannels);
  fuzz::Require(Back == M, "a matrix written as text reads back the same");

  auto P = fuzz::CompensatedChannels(Channels);
  const std::vector<uint8_t> Before = fuzz::Written(*P);
  const bool Taken = P->SetCompensationMatrix(M);
  fuzz::Require(Taken == InRange, "a matrix is taken exactly when it fits the channels and 0..100");
  if (!Taken) {
    fuzz::Require(fuzz::Written(*P) == Before, "a refused matrix leaves the protocol");
    return 0;
  }
  for (int32_t i = 0; i < Channels; ++i)
    for (int32_t j = 0; j < Channels; ++j) {
      TCompensationPair Pair;
      P->GetChannel(i)->GetCompPair(j, true, Pair);
      fuzz::Require(Pair.Mean == M[i][j] && Pair.Deviation == 0.25f, "a channel holds its row of the matrix");
    }
  const std::vector<uint8_t> First = fuzz::Written(*P);
  TMemoryStream In(First);
  TProtocol Q;
  fuzz::Require(Q.LoadFromStream(In, true) && fuzz::Written(Q) == First, "a protocol with the matrix reads back the same");
  return 0;
}
