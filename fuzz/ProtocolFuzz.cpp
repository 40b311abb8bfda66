// The protocol reader: any input is read or refused without an exception; a protocol that was
// read writes and reads back to the same bytes and analyses a small FCS file, or gives a typed
// arithmetic or range error.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Errors.h"
#include "FcsWriter.h"
#include "FuzzSupport.h"
#include "Streams.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"

using namespace qv;

namespace {

// Two populations on FSC-H, SSC-H, FL1 and FL2 from a fixed sequence.
std::unique_ptr<TFCSFile> SmallFile() {
  test::FcsFileSpec Spec;
  Spec.DataType = test::FcsDataType::Float32;
  for (const char* Name : {"FSC-H", "SSC-H", "FL1", "FL2"})
    Spec.Parameters.push_back(test::LinearParameter(Name, 262144));
  uint32_t Seed = 12345;
  auto Next = [&] {
    Seed = Seed * 1664525u + 1013904223u;
    return (Seed >> 8) / 16777216.0;
  };
  for (int i = 0; i < 300; ++i) {
    const bool Green = i % 2 == 0;
    Spec.Events.push_back({100 + 800 * Next(), 200 + 200 * Next(), (Green ? 250 : 8) * (0.5 + Next()),
                           (Green ? 10 : 700) * (0.5 + Next())});
  }
  const std::string Name = fuzz::ScratchName("analysis.fcs");
  test::WriteFcs(Name, Spec);
  return std::make_unique<TFCSFile>(Name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the protocol read, then written and read back
  fuzz::Quiet();
  static const std::unique_ptr<TFCSFile> File = SmallFile();
  TMemoryStream In(std::vector<uint8_t>(Data, Data + Size));
  TProtocol P;
  if (!P.LoadFromStream(In, true)) return 0;

  // Written, read back and written again: the same bytes.
  const std::vector<uint8_t> First = fuzz::Written(P);
  TMemoryStream Again(First);
  TProtocol Q;
  if (!Q.LoadFromStream(Again, true)) std::abort();
  if (fuzz::Written(Q) != First) std::abort();

  auto Copy = TProtocol::CreateCopy(P);
  try {
    P.Genotypes->ClassCodeTable();
  } catch (const ERangeError&) {
    // A genotype on a channel the protocol lacks has no class code.
  }
  // A display range or peak beyond what a float holds is a typed error that the program shows
  // as the command's message (and the class code of a channel the protocol lacks a range error);
  // the set goes with it.
  try {
    auto Set = TFCSData::Create(*File, 0, false, nullptr, Copy.get());
    if (!Set->Events.empty()) {
      std::string Report;
      Set->AnalysisReport(*Copy, Report);
    }
  } catch (const EArithmetic&) {
  } catch (const ERangeError&) {
  }
  return 0;
}
