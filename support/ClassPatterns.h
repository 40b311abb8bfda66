#pragma once
// Y/N class patterns of n channels ("Y" positive, "N" negative, letter k for channel k), their
// fixed order, and number formats chosen by magnitude.
#include <cstdint>
#include <string>

#include "Types.h"

namespace qv {

// Kinds of pattern list.
constexpr int32_t YNSingles = 0;  // all-"N" and every pattern with one "Y"
constexpr int32_t YNPairs = 1;    // all-"N" and every pattern with two "Y"
constexpr int32_t YNAll = 2;      // all 2^n patterns

// Largest n of a list of every pattern: the key of the all-"Y" pattern must fit 64 bits.
constexpr int32_t MaxAllYNChannels = 19;

// The patterns of the kind, each line followed by CR LF, ordered by YPositionKey and, among
// equal keys, by the pattern text ("N" before "Y"). For n up to 9 this is the order of the
// number of "Y" letters and then of their positions. Kinds 0 and 1 with n < 1, or a kind
// outside 0..2, give an empty list; kind 2 with n < 1 gives "N" and "Y". Kind 2 with n above
// MaxAllYNChannels throws ERangeError.
std::string YNPatternList(int32_t N, int32_t Kind);

// Unsorted lists, lines joined by CR LF with none after the last.
std::string SingleYNPatterns(int32_t N);
std::string PairYNPatterns(int32_t N);
// Every pattern of N letters (at least one) behind Prefix, "N" before "Y", each followed by CR LF.
std::string AllYNPatterns(const std::string& Prefix, int32_t N);

// The positions of the "Y" letters as decimal digits, first position leftmost: NYYN is 23.
// A position of 10 or more adds two digits at one digit's weight, so such keys can equal those
// of other patterns (the order then falls back to the text). Held in 64 bits, so patterns of up
// to 19 "Y" letters have keys; beyond that, or with positions too large, ERangeError.
int64_t YPositionKey(const std::string& Pattern);

}  // namespace qv
