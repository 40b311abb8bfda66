// Unpacking: any input is unpacked or refused without an exception, and what was packed
// unpacks to the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Files.h"
#include "FuzzSupport.h"

using namespace qv;

namespace {

std::vector<uint8_t> ReadAll(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the input unpacked, then packed and unpacked
  fuzz::Quiet();
  static const std::string Packed = fuzz::ScratchName("packed.zlib");
  static const std::string Plain = fuzz::ScratchName("plain");
  static const std::string Again = fuzz::ScratchName("again");
  // The first byte picks a record size, as the data-file reader passes one.
  const int32_t RecordSize = Size > 0 ? Data[0] % 9 : 0;
  fuzz::WriteScratch(Packed, Data, Size);
  std::remove(Plain.c_str());
  if (UnpackFile(Packed, Plain, false, RecordSize)) {
    const std::vector<uint8_t> Out = ReadAll(Plain);
    if (RecordSize > 0 && Out.size() % static_cast<size_t>(RecordSize) != 0) std::abort();
  } else if (FileExists(Plain)) {
    std::abort();  // a refused input leaves nothing behind
  }

  // The input as plain bytes: packed and unpacked, it comes back unchanged.
  fuzz::WriteScratch(Plain, Data, Size);
  if (Size > 0) {
    if (!PackFile(Plain, Packed, false)) std::abort();
    std::remove(Again.c_str());
    if (!UnpackFile(Packed, Again, false, 0)) std::abort();
    if (ReadAll(Again) != std::vector<uint8_t>(Data, Data + Size)) std::abort();
  }
  return 0;
}
