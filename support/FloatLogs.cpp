#include "FloatLogs.h"

#include "Vectors.h"

#if QV_X86_KERNELS
#include <immintrin.h>
#endif


#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace qv {

namespace {

// log10 x = k log10 2 + log10 c + log1p(r) / ln 10 with x = 2^k z, z in [0.699, 1.398) split
// into 256 slices by its bits, c near the middle of z's slice and r = z / c - 1. 1 / c is held
// to 20 significant bits, so z x (1 / c) (24 + 20 bits) and r are exact and |r| < 2^-8; the two
// slices next to 1 use c = 1, so values near 1 lose nothing to cancellation. log1p by its series
// to r^8, log10 c from the extended logarithm: within a few units in the last place.
constexpr uint32_t SliceOrigin = 0x3f330000;
constexpr double InvLn10 = 4.34294481903251816668e-01;

struct alignas(16) TLogSlice {
  double Inverse;
  double Log;  // -log10 Inverse
};
struct TLogTable {
  TLogSlice Slices[256];
  double Log2High;  // log10 2 to 40 bits, so k x Log2High is exact
  double Log2Low;
};

double RoundToBits(double Value, int Bits) {
  int Exponent = 0;
  const double Fraction = std::frexp(Value, &Exponent);
  return std::ldexp(std::nearbyint(std::ldexp(Fraction, Bits)), Exponent - Bits);
}

const TLogTable& LogTable() {
  static const TLogTable Table = [] {
    TLogTable T{};
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t Middle = SliceOrigin + (i << 15) + (1u << 14);
      float C;
      std::memcpy(&C, &Middle, 4);
      const bool NextToOne = SliceOrigin + (i << 15) == 0x3f800000 || SliceOrigin + ((i + 1) << 15) == 0x3f800000;
      const double Inverse = NextToOne ? 1.0 : RoundToBits(1.0 / C, 20);
      T.Slices[i] = {Inverse, static_cast<double>(-log10l(static_cast<long double>(Inverse)))};
    }
    const long double Log2 = log10l(2.0L);
    T.Log2High = RoundToBits(static_cast<double>(Log2), 40);
    T.Log2Low = static_cast<double>(Log2 - static_cast<long double>(T.Log2High));
    return T;
  }();
  return Table;
}

template <class TReal>
__attribute__((always_inline)) inline void LogFromSlice(const TReal& Z, const TReal& K, const TReal& Inverse,
                                                       const TReal& LogC, double Log2High, double Log2Low,
                                                       TReal& Log) {
  const TReal R = Z * Inverse - 1.0;
  const TReal R2 = R * R;
  const TReal R4 = R2 * R2;
  const TReal A = -0.5 + R * (1.0 / 3);
  const TReal B = -0.25 + R * 0.2;
  const TReal C = (-1.0 / 6) + R * (1.0 / 7);
  const TReal P = R + R2 * ((A + R2 * B) + R4 * (C + R * -0.125));
  Log = (K * Log2High + LogC) + (P * InvLn10 + K * Log2Low);
}

// The fast value lies within a few units of the exact logarithm and the library's within two;
// further than this from a float midpoint both round to the float of the exact value.
constexpr int32_t MidpointMargin = 256;

using simd::V4D;
using simd::V4F;
using simd::V4I;
using simd::V4U;

// Whether the fast value of one value is its float (as a lane of the loop below decides).
bool FastOne(float Value) {
  const uint32_t Exponent = (std::bit_cast<uint32_t>(Value) >> 23) & 0xFF;
  return Exponent != 0 && Exponent != 0xFF && FastLog10Rounds(FastLog10(Value));
}

// Runs of this many values share one test for values the library must decide.
constexpr size_t Run = 64;

// The conversions between the four floats and the four doubles of a step, as the compiler lowers
// them for any target.
// Vectors go in and out by reference, so a call that is not inlined (an unoptimised build)
// passes them the same way whatever the instruction set of either side.
struct TGenericConversions {
  static void Widen(const V4F& X, V4D& Out) { Out = __builtin_convertvector(X, V4D); }
  static void Widen(const V4I& X, V4D& Out) { Out = __builtin_convertvector(X, V4D); }
  static void Narrow(const V4D& X, V4F& Out) { Out = __builtin_convertvector(X, V4F); }
};

template <class TConversions>
void Log10Block(const float* In, float* Out, size_t Count, float Above, const TLogTable& T) {
  const V4F Limit = {Above, Above, Above, Above};
  size_t i = 0;
  while (i + 4 <= Count) {
    const size_t RunEnd = std::min(Count & ~size_t{3}, i + Run), RunStart = i;
    V4I Slow = {0, 0, 0, 0};
    for (; i < RunEnd; i += 4) {
      V4F X;
      std::memcpy(&X, In + i, sizeof(X));
      // Unsigned arithmetic on the bits: negative values wrap (their lanes are not taken).
      V4U Bits;
      std::memcpy(&Bits, &X, sizeof(Bits));
      const V4U Shifted = Bits - SliceOrigin;
      const V4U Slice = (Shifted >> 15) & 255;
      const V4I K = reinterpret_cast<const V4I&>(Shifted) >> 23;
      const V4U ZBits = Bits - (Shifted & 0xff800000u);
      V4F Z;
      std::memcpy(&Z, &ZBits, sizeof(Z));
      const TLogSlice &S0 = T.Slices[Slice[0]], &S1 = T.Slices[Slice[1]], &S2 = T.Slices[Slice[2]],
                      &S3 = T.Slices[Slice[3]];
      const V4D Inverse = {S0.Inverse, S1.Inverse, S2.Inverse, S3.Inverse};
      const V4D LogC = {S0.Log, S1.Log, S2.Log, S3.Log};
      V4D WideZ, WideK;
      TConversions::Widen(Z, WideZ);
      TConversions::Widen(K, WideK);
      V4D Log;
      LogFromSlice<V4D>(WideZ, WideK, Inverse, LogC, T.Log2High, T.Log2Low, Log);
      // Every nonzero |log10| of a float lies between 2^-26 and 2^6, where floats are normal, so
      // the low 29 bits of the double say how near it lies to a float midpoint.
      const V4I Offset = (simd::LowWords(Log) & ((1 << 29) - 1)) - (1 << 28);
      const V4I Exponent = reinterpret_cast<const V4I&>(Bits) >> 23 & 0xFF;
      const V4I Taken = X > Limit;
      const V4I Fast = (Exponent != 0) & (Exponent != 0xFF) & ((Offset > MidpointMargin) | (Offset < -MidpointMargin));
      V4F Rounded;
      TConversions::Narrow(Log, Rounded);
      V4I Result;
      std::memcpy(&Result, &Rounded, sizeof(Result));
      Result &= Taken;
      std::memcpy(Out + i, &Result, sizeof(Result));
      Slow |= Taken & ~Fast;
    }
    if (simd::AnyLane(Slow))
      for (size_t j = RunStart; j < RunEnd; ++j)
        if (In[j] > Above && !FastOne(In[j])) Out[j] = static_cast<float>(std::log10(static_cast<double>(In[j])));
  }
  for (; i < Count; ++i) Out[i] = Log10AboveReference(In[i], Above);
}

}  // namespace

float Log10AboveReference(float Value, float Above) {
  return Value > Above ? static_cast<float>(std::log10(static_cast<double>(Value))) : 0.0f;
}

double FastLog10(float Value) {
  const TLogTable& T = LogTable();
  uint32_t Bits;
  std::memcpy(&Bits, &Value, 4);
  const uint32_t Shifted = Bits - SliceOrigin;
  const uint32_t Slice = (Shifted >> 15) & 255;
  const uint32_t ZBits = Bits - (Shifted & 0xff800000u);
  float Z;
  std::memcpy(&Z, &ZBits, 4);
  double Log;
  LogFromSlice<double>(Z, static_cast<double>(static_cast<int32_t>(Shifted) >> 23), T.Slices[Slice].Inverse,
                       T.Slices[Slice].Log, T.Log2High, T.Log2Low, Log);
  return Log;
}

bool FastLog10Rounds(double Log) {
  int64_t Bits;
  std::memcpy(&Bits, &Log, 8);
  const int64_t Offset = (Bits & ((int64_t{1} << 29) - 1)) - (int64_t{1} << 28);
  return Offset > MidpointMargin || Offset < -MidpointMargin;
}

__attribute__((flatten)) void Log10AboveBaseline(const float* In, float* Out, size_t Count, float Above) {
  Log10Block<TGenericConversions>(In, Out, Count, Above, LogTable());
}

#if QV_X86_KERNELS
namespace {
#if defined(__clang__)
// Clang lowers the conversions well for AVX2 by itself.
using TAvx2Conversions = TGenericConversions;
#else
// GCC's own lowering of the conversions goes through halves: they are written out.
struct TAvx2Conversions {
  __attribute__((target("avx2"))) static void Widen(const V4F& X, V4D& Out) {
    Out = reinterpret_cast<V4D>(_mm256_cvtps_pd(reinterpret_cast<__m128>(X)));
  }
  __attribute__((target("avx2"))) static void Widen(const V4I& X, V4D& Out) {
    Out = reinterpret_cast<V4D>(_mm256_cvtepi32_pd(reinterpret_cast<__m128i>(X)));
  }
  __attribute__((target("avx2"))) static void Narrow(const V4D& X, V4F& Out) {
    Out = reinterpret_cast<V4F>(_mm256_cvtpd_ps(reinterpret_cast<__m256d>(X)));
  }
};
#endif

// The same loop built for AVX2, four doubles to an instruction; flattened, so the loop and its
// conversions are built with AVX2 inside it.
__attribute__((target("avx2"), flatten)) void Log10AboveAvx2(const float* In, float* Out, size_t Count,
                                                             float Above) {
  Log10Block<TAvx2Conversions>(In, Out, Count, Above, LogTable());
}
}  // namespace
#endif

void Log10Above(const float* In, float* Out, size_t Count, float Above) {
#if QV_X86_KERNELS
  static const bool Avx2 = __builtin_cpu_supports("avx2");
  if (Avx2) return Log10AboveAvx2(In, Out, Count, Above);
#endif
  Log10AboveBaseline(In, Out, Count, Above);
}

}  // namespace qv
