// The correlation of several saved fitness reports.
#include "fitness/FitnessArray.h"

#include <fstream>
#include <new>
#include <sstream>

#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "Host.h"
#include "NumberFormat.h"
#include "fitness/FitnessShared.h"

namespace qv {

namespace {

const std::string Stars(74, '*');

void Add(std::string& Text, const std::string& Line) { Text += Line + "\r\n"; }

std::string ReadWholeFile(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  std::ostringstream Buffer;
  Buffer << In.rdbuf();
  return Buffer.str();
}

}  // namespace

TFitnessArray::TFitnessArray(const std::string& AFileName, float TolerancePercent)
    : FileName(AFileName), Tolerance(static_cast<float>(static_cast<Extended>(TolerancePercent) / 100)) {
  if (PathExists(AFileName))
    LoadFromFile(AFileName);
  else
    ComputeMatrices();
}

void TFitnessArray::LoadFromFile(const std::string& AFileName) {
  Items.clear();
  Count = 0;
  Refused = false;
  std::string Text;
  try {
    if (PathExists(AFileName)) {
      if (const std::string Reason = NotAFileReason(AFileName); !Reason.empty())
        throw EInOutError(ReadRefusal("fitness report", AFileName, Reason));
      Text = ReadWholeFile(AFileName);
    }
    const TFitnessReportText Reports(Text);
    if (Reports.Count() > MaxReports)
      throw EConvertError(ReadRefusal("fitness report", AFileName,
                                      "it holds " + IntToStr(Reports.Count()) +
                                          " reports; a correlation takes at most " + IntToStr(MaxReports) + "."));
    for (int32_t i = 0; i < Reports.Count(); ++i) {
      try {
        Items.push_back(Reports.Read(i));
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception& E) {
        throw EConvertError("Invalid fitness report: set " + IntToStr(Count + 1) + ": " + E.what());
      }
      ++Count;
    }
    try {
      ComputeMatrices();
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& E) {
      throw EArithmetic(std::string("The fitness sets cannot be compared: ") + E.what());
    }
  } catch (const std::exception& E) {
    // Comparing only the sets before the bad one would pass a partial file off as whole.
    Items.clear();
    Count = 0;
    Refused = true;
    ComputeMatrices();
    HostMessages().Error(dynamic_cast<const std::bad_alloc*>(&E) ? "Not enough memory to read " + AFileName
                                                                 : std::string(E.what()));
  }
}

void TFitnessArray::ComputeMatrices() {
  const size_t N = static_cast<size_t>(Count);
  Incomparable = false;
  for (int32_t Kind = 0; Kind < 5; ++Kind) {
    for (TRArray* M : {&R, &Rs, &D, &Ds}) (*M)[Kind].assign(N, TSglArray(N, 0.0f));
    for (int32_t i = Count - 1; i >= 0; --i)
      for (int32_t j = Count - 1; j >= 0; --j) {
        TFitnessData& A = *Items[i];
        const TFitnessData& B = *Items[j];
        if (A.ClassCount != B.ClassCount || A.ClassCount < 2) Incomparable = true;
        R[Kind][i][j] = A.PearsonR(Kind, B);
        Rs[Kind][i][j] = A.SpearmanAndDistances(Kind, B, Tolerance, D[Kind][i][j], Ds[Kind][i][j]);
      }
  }
}

void TFitnessArray::WriteMatrixBlock(const TRArray& Matrices, const std::string& Prefix, const std::string& Mask,
                                     std::string& Text) const {
  for (int32_t Kind = 0; Kind < 5; ++Kind) {
    Add(Text, Prefix + " Values for " + FitnessKindNames[Kind]);
    std::string Line;
    for (int32_t c = 1; c <= Count; ++c) Line += "\t" + IntToStr(c);
    Add(Text, Line);
    for (int32_t r = 1; r <= Count; ++r) {
      Line = IntToStr(r);
      for (int32_t c = 1; c <= Count; ++c) Line += "\t" + FormatFloatDot(Mask, Matrices[Kind][r - 1][c - 1]);
      Add(Text, Line);
    }
    Add(Text, "");
  }
}

void TFitnessArray::CorrelationReport(std::string& Text) const {
  Text.clear();
  if (Refused) return;
  const std::string Sets = " for " + IntToStr(Count) + " sets of Fitness Data";
  const auto Heading = [&](const std::string& Caption) {
    Add(Text, Stars);
    Add(Text, Caption + Sets);
    Add(Text, Stars);
    Add(Text, "");
  };
  Add(Text, "Data from " + ExtractFileName(FileName));
  Add(Text, "");
  const struct {
    const char* Caption;
    const TRArray& Matrices;
    const char* Prefix;
    const char* Mask;
  } Blocks[4] = {{"Pearson R Correlation Coefficients", R, "R", "#0.0000"},
                 {"Spearman R Correlation Coefficients", Rs, "Rs", "#0.0000"},
                 {"Euclidean Distances (Raw)", D, "D", "##0.000"},
                 {"Euclidean Distances (Ranked)", Ds, "Ds", "#0.000"}};
  for (const auto& B : Blocks) {
    if (&B != Blocks) Add(Text, "");
    Heading(B.Caption);
    WriteMatrixBlock(B.Matrices, B.Prefix, B.Mask, Text);
  }
  Add(Text, "");
  Add(Text, "Key to File Sets");
  for (int32_t i = 0; i < Count; ++i) {
    Add(Text, "Set " + IntToStr(i + 1));
    Add(Text, Items[i]->Description);
    Add(Text, "");
  }
  if (Incomparable)
    Add(Text,
        "Sets of different class counts, or of fewer than two classes, are not correlated (0); "
        "distances between sets of different class counts are 0.");
}

}  // namespace qv
