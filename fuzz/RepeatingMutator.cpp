// The mutations of every target: libFuzzer's own, and now and then a piece of the input repeated
// in place, many times over. Readers do most of their work on structures that come again and
// again (paragraphs, tab stops, reports, gates, genotypes, keys); byte and dictionary mutations
// seldom make more than a few of them, so the work of many would go unseen.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>

extern "C" size_t LLVMFuzzerMutate(uint8_t* Data, size_t Size, size_t MaxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* Data, size_t Size, size_t MaxSize, unsigned Seed) {
  std::minstd_rand Random(Seed);
  if (Size == 0 || MaxSize <= Size || Random() % 6 != 0) return LLVMFuzzerMutate(Data, Size, MaxSize);
  // A piece of up to 4 KB, followed by up to as many copies of itself as fit.
  const size_t Begin = Random() % Size;
  const size_t Length = 1 + Random() % std::min<size_t>(Size - Begin, 4096);
  const size_t MostCopies = (MaxSize - Size) / Length;
  if (MostCopies == 0) return LLVMFuzzerMutate(Data, Size, MaxSize);
  const size_t Copies = 1 + Random() % MostCopies;
  const size_t End = Begin + Length;
  std::memmove(Data + End + Copies * Length, Data + End, Size - End);
  for (size_t c = 1; c <= Copies; ++c) std::memcpy(Data + Begin + c * Length, Data + Begin, Length);
  return Size + Copies * Length;
}
