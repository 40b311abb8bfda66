// Reading saved fitness reports back into result sets, and comparing two result sets.
//
// Reports are read with "." as the decimal separator whatever the process-wide setting, since
// the writer uses it too. Every row, field and count is checked before it is used, so a damaged
// report is refused with EConvertError, never read past its end or sized from a wild count.
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "Errors.h"
#include "Statistics.h"
#include "fitness/FitnessData.h"

namespace qv {

namespace {

const std::string ReportTitle = "Quorvenal Fitness Report";
const std::string StrainTitle = "Strain Fitness Values";
const std::string GenotypeTitle = "Genotype Fitness Values";
const std::string FluorTitle = "Fluor Fitness Values";

bool IsSeparator(char C) { return static_cast<unsigned char>(C) < 0x20 || C == 0x7f; }

// Blanks and commas read as "_"; fields are separated by runs of TABs and other control
// characters, so empty fields vanish. A field opening with a double quote runs to its closing
// quote (a doubled quote inside stands for one).
std::vector<std::string> SplitRow(std::string_view Row) {
  const auto At = [&](size_t i) { return Row[i] == ' ' || Row[i] == ',' ? '_' : Row[i]; };
  std::vector<std::string> Fields;
  size_t i = 0;
  while (i < Row.size()) {
    while (i < Row.size() && IsSeparator(Row[i])) ++i;
    if (i >= Row.size()) break;
    std::string Field;
    if (Row[i] == '"') {
      ++i;
      while (i < Row.size()) {
        if (Row[i] == '"') {
          if (i + 1 < Row.size() && Row[i + 1] == '"') {
            Field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        Field += At(i++);
      }
    }
    while (i < Row.size() && !IsSeparator(Row[i])) Field += At(i++);
    Fields.push_back(std::move(Field));
  }
  return Fields;
}

[[noreturn]] void Refuse(const std::string& Why) { throw EConvertError(Why); }

int32_t ToInt(const std::string& Field) {
  int32_t Value = 0;
  const char* End = Field.data() + Field.size();
  const auto [Ptr, Ec] = std::from_chars(Field.data(), End, Value);
  if (Field.empty() || Ec != std::errc() || Ptr != End) Refuse("\"" + Field + "\" is not an integer");
  return Value;
}

float ToFloat(const std::string& Field) {
  double Value = 0;
  const char* End = Field.data() + Field.size();
  const auto [Ptr, Ec] =
      std::from_chars(Field.data(), End, Value, std::chars_format::fixed | std::chars_format::scientific);
  if (Field.empty() || Ec != std::errc() || Ptr != End || !std::isfinite(Value) ||
      std::fabs(Value) > std::numeric_limits<float>::max())
    Refuse("\"" + Field + "\" is not a number");
  return static_cast<float>(Value);
}

// The fields of the Count rows of one table from line First on, each of which must hold exactly
// Fields fields: a row of more or fewer fields belongs to another class count, or its fields
// would be read from the wrong columns.
std::vector<std::vector<std::string>> TableRows(const std::vector<std::string_view>& Lines, int64_t First,
                                                int32_t Count, int64_t Fields, const char* Table) {
  std::vector<std::vector<std::string>> Rows;
  Rows.reserve(static_cast<size_t>(Count));
  for (int32_t i = 0; i < Count; ++i) {
    std::vector<std::string> Row = SplitRow(Lines[static_cast<size_t>(First + i)]);
    if (static_cast<int64_t>(Row.size()) != Fields)
      Refuse("row " + std::to_string(i + 1) + " of the " + Table + " table holds " + std::to_string(Row.size()) +
             " fields, not " + std::to_string(Fields));
    Rows.push_back(std::move(Row));
  }
  return Rows;
}

// Rounds to 32 bits; a value beyond their range is an overflow, never an infinity.
float Single(Extended Value) {
  if (!(std::fabs(Value) <= static_cast<Extended>(std::numeric_limits<float>::max())))
    throw EArithmetic("Floating point overflow");
  return static_cast<float>(Value);
}

// The value vectors of one kind of comparison; kind 2 rearranges y to pair the same genotype.
void KindVectors(int32_t Kind, const TFitnessData& A, const TFitnessData& B, TSglArray& X, TSglArray& Y) {
  const size_t n = static_cast<size_t>(A.ClassCount);
  X.assign(n, 0.0f);
  Y.assign(n, 0.0f);
  const auto Take = [n](const TSglArray& From, TSglArray& To) {
    for (size_t i = 0; i < n && i < From.size(); ++i) To[i] = From[i];
  };
  switch (Kind) {
    case 0:
      Take(A.W[0], X);
      Take(B.W[0], Y);
      break;
    case 1:
      Take(A.W[1], X);
      Take(B.W[1], Y);
      break;
    case 2: {
      TSglArray Y2(n, 0.0f);
      for (size_t i = 0; i < n; ++i) {
        X[i] = Single(static_cast<Extended>(A.W[0][i]) - B.W[0][i]);
        Y2[i] = Single(static_cast<Extended>(A.W[1][i]) - B.W[1][i]);
      }
      // Element i of y belongs to the genotype of set 1's row i: its set-2 row j.
      for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
          if (A.GenotypeNames[1][j] == A.GenotypeNames[0][i]) {
            Y[i] = Y2[j];
            break;
          }
      break;
    }
    case 3:
      Take(A.AvgW, X);
      Take(B.AvgW, Y);
      break;
    case 4:
      Take(A.MeanW, X);
      Take(B.MeanW, Y);
      break;
    default:
      break;
  }
}

bool Comparable(const TFitnessData& A, const TFitnessData& B) {
  if (A.ClassCount != B.ClassCount || A.ClassCount < 0) return false;
  // Sets sized by hand may hold fewer values than their class count claims.
  const size_t n = static_cast<size_t>(A.ClassCount);
  for (const TFitnessData* S : {&A, &B}) {
    for (const TSglArray* V : {&S->W[0], &S->W[1], &S->AvgW, &S->MeanW})
      if (V->size() < n) return false;
    if (S->GenotypeNames[0].size() < n || S->GenotypeNames[1].size() < n) return false;
  }
  return true;
}

}  // namespace

TFitnessReportText::TFitnessReportText(const std::string& AText) : FText(AText) {
  size_t Start = 0;
  const auto Add = [&](size_t Stop) {
    FLines.emplace_back(FText.data() + Start, Stop - Start);
    if (FLines.back().find(ReportTitle) != std::string_view::npos)
      FTitles.push_back(static_cast<int32_t>(FLines.size() - 1));
  };
  for (size_t i = 0; i < FText.size(); ++i) {
    if (FText[i] != '\r' && FText[i] != '\n') continue;
    Add(i);
    if (FText[i] == '\r' && i + 1 < FText.size() && FText[i + 1] == '\n') ++i;
    Start = i + 1;
  }
  if (Start < FText.size()) Add(FText.size());
  if (FLines.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw EConvertError("Too many lines");
}

size_t TFitnessReportText::Offset(int32_t Index) const {
  const std::string_view Line = FLines[static_cast<size_t>(FTitles.at(static_cast<size_t>(Index)))];
  return static_cast<size_t>(Line.data() - FText.data()) + Line.find(ReportTitle);
}

std::unique_ptr<TFitnessData> TFitnessReportText::Read(int32_t Index) const {
  const std::vector<std::string_view>& Lines = FLines;
  const int32_t T = FTitles.at(static_cast<size_t>(Index));
  // The tables are looked for within this report only: after its title, before the next one.
  const int32_t End =
      Index + 1 < Count() ? FTitles[static_cast<size_t>(Index) + 1] : static_cast<int32_t>(Lines.size());
  const auto Find = [&](const std::string& Title, int32_t From) {
    for (int32_t i = From; i < End; ++i)
      if (Lines[static_cast<size_t>(i)].find(Title) != std::string_view::npos) return i;
    Refuse("\"" + Title + "\" is missing");
  };
  const int32_t S = Find(StrainTitle, T + 1);
  const int32_t G = Find(GenotypeTitle, S + 1);
  const int32_t F = Find(FluorTitle, G + 1);
  if (T + 6 >= S) Refuse("the file lines are missing");

  const std::string_view CountLine = Lines[static_cast<size_t>(S)];
  const size_t Tab = CountLine.find('\t');
  if (Tab == std::string_view::npos) Refuse("the class count is missing");
  const std::vector<std::string> CountFields = SplitRow(CountLine.substr(Tab + 1));
  if (CountFields.empty()) Refuse("the class count is missing");
  const int32_t n = ToInt(CountFields[0]);
  if (n < 0) Refuse("the class count is negative");
  // Every row must stand in its own table before anything is sized from n.
  if (static_cast<int64_t>(S) + 3 + n > G || static_cast<int64_t>(G) + 3 + n > F ||
      static_cast<int64_t>(F) + 2 + n > End)
    Refuse("a table has fewer rows than the class count");

  // Every row is split and its fields counted before anything is sized from n: a short text
  // that claims thousands of classes asks for n x n values only once its rows are all there.
  const auto Strains = TableRows(Lines, static_cast<int64_t>(S) + 3, n, 15, "strain");
  const auto Genotypes = TableRows(Lines, static_cast<int64_t>(G) + 3, n, 5 + 2 * static_cast<int64_t>(n), "genotype");
  const auto Fluors = TableRows(Lines, static_cast<int64_t>(F) + 2, n, 4, "fluor");

  auto Result = std::make_unique<TFitnessData>();
  TFitnessData& R = *Result;
  for (size_t i = 3; i <= 6; ++i)
    R.Description += (i > 3 ? "\r\n" : "") + std::string(Lines[static_cast<size_t>(T) + i]);
  R.SetSize(n);
  const size_t N = static_cast<size_t>(n);
  R.LogFitness.assign(N, TMatrix(N, TSglArray(1, 0.0f)));
  R.WDifference[0].assign(N, 0.0f);
  R.WDifference[1].assign(N, 0.0f);

  for (size_t i = 0; i < N; ++i) {
    const auto& Fd = Strains[i];
    R.FluorNames[i] = Fd[0];
    for (int32_t t = 0; t < 2; ++t) {
      const size_t b = 1 + 7 * static_cast<size_t>(t);
      R.GenotypeNames[t][i] = Fd[b];
      R.ExpectedCounts[t][i] = ToInt(Fd[b + 1]);
      R.ObservedCounts[t][i] = ToInt(Fd[b + 2]);
      R.ExpectedFractions[t][i] = ToFloat(Fd[b + 3]);
      R.ObservedFractions[t][i] = ToFloat(Fd[b + 4]);
      R.W[t][i] = ToFloat(Fd[b + 5]);
      R.LnW[t][i] = ToFloat(Fd[b + 6]);
    }
  }
  for (size_t i = 0; i < N; ++i) {
    const auto& Fd = Genotypes[i];
    R.DlnW[i][0] = ToFloat(Fd[1]);
    for (size_t r = 0; r < N; ++r) {
      R.LogFitness[r][i][0] = ToFloat(Fd[3 + 2 * r]);
      R.Wfinal[r][i] = ToFloat(Fd[4 + 2 * r]);
    }
    R.AvgW[i] = ToFloat(Fd[4 + 2 * N]);
  }
  for (size_t i = 0; i < N; ++i) {
    const auto& Fd = Fluors[i];
    R.AvgW1[i] = ToFloat(Fd[1]);
    R.AvgW2[i] = ToFloat(Fd[2]);
    R.MeanW[i] = ToFloat(Fd[3]);
  }
  R.Valid = true;
  return Result;
}

std::unique_ptr<TFitnessData> TFitnessData::CreateFromText(std::string& Text) {
  auto Data = std::make_unique<TFitnessData>();
  std::string Rest;
  Data->ParseReport(Text, Rest);
  Text = std::move(Rest);
  return Data;
}

void TFitnessData::ParseReport(const std::string& Text, std::string& Rest) {
  Rest.clear();
  const TFitnessReportText Reports(Text);
  if (Reports.Count() == 0) return;
  // Read into a fresh set so that a refusal leaves this one as it was.
  std::unique_ptr<TFitnessData> Read = Reports.Read(0);
  if (Reports.Count() > 1) Rest = Text.substr(Reports.Offset(1));
  *this = std::move(*Read);
}

float TFitnessData::PearsonR(int32_t Kind, const TFitnessData& Other) {
  if (!Comparable(*this, Other) || ClassCount < 2) return 0;
  TSglArray X, Y;
  KindVectors(Kind, *this, Other, X, Y);
  if (Kind == 2) {
    WDifference[0] = X;
    WDifference[1] = Y;
  }
  const size_t n = X.size();
  Extended SumX = 0, SumY = 0;
  for (size_t i = 0; i < n; ++i) {
    SumX += X[i];
    SumY += Y[i];
  }
  const double Mx = static_cast<double>(SumX / n), My = static_cast<double>(SumY / n);
  Extended Sxx = 0, Syy = 0, Sxy = 0;
  for (size_t i = 0; i < n; ++i) {
    const Extended Dx = X[i] - static_cast<Extended>(Mx), Dy = Y[i] - static_cast<Extended>(My);
    Sxx += Dx * Dx;
    Syy += Dy * Dy;
    Sxy += Dx * Dy;
  }
  if (!(Sxx > 0 && Syy > 0)) return 0;
  return static_cast<float>(Sxy / (std::sqrt(Sxx) * std::sqrt(Syy)));
}

float TFitnessData::SpearmanAndDistances(int32_t Kind, const TFitnessData& Other, float Tolerance, float& D,
                                         float& Ds) const {
  D = 0;
  Ds = 0;
  if (!Comparable(*this, Other)) return 0;
  TSglArray X, Y;
  KindVectors(Kind, *this, Other, X, Y);
  const float Result = ClassCount < 2 ? 0.0f : SpearmanCorrelation(X, Y);
  TSglArray Rx, Ry;
  RankScores(X, Rx, Tolerance);
  RankScores(Y, Ry, Tolerance);
  for (size_t i = 0; i < X.size(); ++i) {
    const float Dv = Single(static_cast<Extended>(X[i]) - Y[i]);
    const float Dr = Single(static_cast<Extended>(Rx[i]) - Ry[i]);
    D = Single(D + static_cast<Extended>(Dv) * Dv);
    Ds = Single(Ds + static_cast<Extended>(Dr) * Dr);
  }
  D = static_cast<float>(std::sqrt(static_cast<Extended>(D)));
  Ds = static_cast<float>(std::sqrt(static_cast<Extended>(Ds)));
  return Result;
}

}  // namespace qv
