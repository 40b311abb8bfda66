#include "ClassPatterns.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "Errors.h"
#include "NumberFormat.h"
#include "TextUtils.h"

namespace qv {

namespace {

// Appends every pattern of N letters behind Prefix; one growing string instead of joining
// halves keeps the list of 2^N patterns linear to build.
void AppendAllYNPatterns(std::string& Prefix, int32_t N, std::string& Out) {
  for (char Letter : {'N', 'Y'}) {
    Prefix.push_back(Letter);
    if (N < 2) {
      Out += Prefix;
      Out += "\r\n";
    } else {
      AppendAllYNPatterns(Prefix, N - 1, Out);
    }
    Prefix.pop_back();
  }
}

}  // namespace

std::string SingleYNPatterns(int32_t N) {
  std::vector<std::string> Lines;
  if (N < 1) return "";
  const std::string None(static_cast<size_t>(N), 'N');
  Lines.push_back(None);
  for (int32_t P = 0; P < N; ++P) {
    Lines.push_back(None);
    Lines.back()[P] = 'Y';
  }
  return JoinLines(Lines);
}

std::string PairYNPatterns(int32_t N) {
  std::vector<std::string> Lines;
  if (N < 1) return "";
  const std::string None(static_cast<size_t>(N), 'N');
  Lines.push_back(None);
  for (int32_t P = 0; P < N; ++P)
    for (int32_t Q = P + 1; Q < N; ++Q) {
      Lines.push_back(None);
      Lines.back()[P] = 'Y';
      Lines.back()[Q] = 'Y';
    }
  return JoinLines(Lines);
}

std::string AllYNPatterns(const std::string& Prefix, int32_t N) {
  std::string Out;
  std::string Work = Prefix;
  AppendAllYNPatterns(Work, N, Out);
  return Out;
}

int64_t YPositionKey(const std::string& Pattern) {
  int64_t Key = 0;
  int64_t Weight = 1;
  bool First = true;
  for (size_t I = Pattern.size(); I-- > 0;) {
    if (Pattern[I] != 'Y') continue;
    int64_t Term = 0;
    // The weight grows only when another "Y" needs it, so 19 letters still fit.
    if ((!First && __builtin_mul_overflow(Weight, int64_t{10}, &Weight)) ||
        __builtin_mul_overflow(static_cast<int64_t>(I + 1), Weight, &Term) || __builtin_add_overflow(Key, Term, &Key))
      throw ERangeError("Class pattern too long: " + std::to_string(Pattern.size()) + " letters");
    First = false;
  }
  return Key;
}

std::string YNPatternList(int32_t N, int32_t Kind) {
  std::string Unsorted;
  switch (Kind) {
    case YNSingles: Unsorted = SingleYNPatterns(N); break;
    case YNPairs: Unsorted = PairYNPatterns(N); break;
    case YNAll:
      if (N > MaxAllYNChannels)
        throw ERangeError("Too many channels for a list of all classes: " + std::to_string(N));
      Unsorted = AllYNPatterns("", N);
      break;
    default: return "";
  }
  if (Unsorted.empty()) return "";

  // Ordered by key, then by text: the order of the zero-padded key and the pattern compared as
  // one line, without the 10-digit limit of such a key.
  std::vector<std::pair<int64_t, std::string>> Keyed;
  for (std::string& Line : SplitLines(Unsorted)) {
    int64_t Key = YPositionKey(Line);
    Keyed.emplace_back(Key, std::move(Line));
  }
  std::sort(Keyed.begin(), Keyed.end(), [](const auto& A, const auto& B) {
    if (A.first != B.first) return A.first < B.first;
    return A.second < B.second;  // only upper-case N and Y: no case to fold
  });

  std::string Result;
  Result.reserve(Keyed.size() * (Keyed.front().second.size() + 2));
  for (const auto& Entry : Keyed) {
    Result += Entry.second;
    Result += "\r\n";
  }
  return Result;
}

}  // namespace qv
