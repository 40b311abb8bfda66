// The FCS reader and the road from a file to an analysed data set: any input must give a
// loaded file or EFCSFileError, and a loaded file a data set and its report, or an arithmetic
// error of the analysis.
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "Errors.h"
#include "FuzzSupport.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the file read, then analysed twice
  fuzz::Quiet();
  static const std::string Name = fuzz::ScratchName("read.fcs");
  fuzz::WriteScratch(Name, Data, Size);
  std::unique_ptr<TFCSFile> File;
  try {
    File = std::make_unique<TFCSFile>(Name);
  } catch (const EFCSFileError&) {
    return 0;
  }
  if (File->FileName != Name) std::abort();
  File->HeaderReport();
  // Rows beyond what a grid holds are a range error; otherwise the grid is as large as the DATA.
  try {
    File->FillGrid();
  } catch (const ERangeError&) {
    if (File->EventCount < std::numeric_limits<int32_t>::max() - 1) std::abort();
  }
  for (const bool Named : {true, false}) {
    auto Protocol = fuzz::AnalysisProtocol(Named);
    // Values at the ends of the float range can overflow compensation or a fit: that is a typed
    // error the program shows as the command's message, and the set goes with it.
    try {
      auto Set = TFCSData::Create(*File, 0, false, nullptr, Protocol.get());
      if (!Set->Events.empty()) {
        std::string Report;
        Set->AnalysisReport(*Protocol, Report);
      }
    } catch (const EArithmetic&) {
    }
  }
  return 0;
}
