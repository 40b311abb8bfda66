// The correlation of several saved fitness reports.
#include "fitness/FitnessArray.h"

#include <fstream>
#include <sstream>

#include "Errors.h"
#include "Files.h"
#include "Globals.h"
#include "Host.h"
#include "NumberFormat.h"

namespace qv {

namespace {

const std::string Title = "Quorvenal Fitness Report";
const std::string Stars(74, '*');

// The report is read back by people and programs alike: always ".".
std::string Num(const std::string& Mask, Extended Value) {
  std::string S = FormatFloat(Mask, Value);
  const char Sep = DecimalSeparator();
  if (Sep != '.')
    for (char& C : S)
      if (C == Sep) C = '.';
  return S;
}

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
  if (FileExists(AFileName))
    LoadFromFile(AFileName);
  else
    ComputeMatrices();
}

void TFitnessArray::LoadFromFile(const std::string& AFileName) {
  Items.clear();
  Count = 0;
  Refused = false;
  std::string Text = FileExists(AFileName) ? ReadWholeFile(AFileName) : std::string();
  try {
    while (Text.find(Title) != std::string::npos) {
      try {
        Items.push_back(TFitnessData::CreateFromText(Text));
      } catch (const std::exception& E) {
        throw EConvertError("Invalid fitness report: set " + IntToStr(Count + 1) + ": " + E.what());
      }
      ++Count;
    }
    ComputeMatrices();
  } catch (const std::exception& E) {
    // Comparing only the sets before the bad one would pass a partial file off as whole.
    Items.clear();
    Count = 0;
    Refused = true;
    ComputeMatrices();
    HostMessages().Error(E.what());
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
      for (int32_t c = 1; c <= Count; ++c) Line += "\t" + Num(Mask, Matrices[Kind][r - 1][c - 1]);
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
  Heading("Pearson R Correlation Coefficients");
  WriteMatrixBlock(R, "R", "#0.0000", Text);
  Add(Text, "");
  Heading("Spearman R Correlation Coefficients");
  WriteMatrixBlock(Rs, "Rs", "#0.0000", Text);
  Add(Text, "");
  Heading("Euclidean Distances (Raw)");
  WriteMatrixBlock(D, "D", "##0.000", Text);
  Add(Text, "");
  Heading("Euclidean Distances (Ranked)");
  WriteMatrixBlock(Ds, "Ds", "#0.000", Text);
  Add(Text, "");
  Add(Text, "Key to File Sets");
  for (int32_t i = 0; i < Count; ++i) {
    Add(Text, "Set " + IntToStr(i + 1));
    Add(Text, Items[i]->Description);
    Add(Text, "");
  }
  if (Incomparable)
    Add(Text, "Sets of different class counts, or of fewer than two classes, are not correlated (0); "
              "distances between sets of different class counts are 0.");
}

}  // namespace qv
