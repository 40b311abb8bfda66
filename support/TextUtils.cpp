#include "TextUtils.h"

namespace qv {

namespace {
bool IsBlank(char C) { return static_cast<unsigned char>(C) <= ' '; }
char Upper(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; }
char Lower(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }
}  // namespace

std::string TrimLeft(std::string_view Text) {
  size_t First = 0;
  while (First < Text.size() && IsBlank(Text[First])) ++First;
  return std::string(Text.substr(First));
}

std::string TrimRight(std::string_view Text) {
  size_t Last = Text.size();
  while (Last > 0 && IsBlank(Text[Last - 1])) --Last;
  return std::string(Text.substr(0, Last));
}

std::string Trim(std::string_view Text) {
  size_t First = 0, Last = Text.size();
  while (First < Last && IsBlank(Text[First])) ++First;
  while (Last > First && IsBlank(Text[Last - 1])) --Last;
  return std::string(Text.substr(First, Last - First));
}

std::string UpperCase(std::string_view Text) {
  std::string Result(Text);
  for (char& C : Result) C = Upper(C);
  return Result;
}

std::string LowerCase(std::string_view Text) {
  std::string Result(Text);
  for (char& C : Result) C = Lower(C);
  return Result;
}

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (Upper(A[i]) != Upper(B[i])) return false;
  return true;
}

std::vector<std::string> SplitLines(std::string_view Text) {
  std::vector<std::string> Lines;
  size_t Start = 0;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r' || Text[i] == '\n') {
      Lines.emplace_back(Text.substr(Start, i - Start));
      if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
      Start = i + 1;
    }
  }
  if (Start < Text.size()) Lines.emplace_back(Text.substr(Start));
  return Lines;
}

std::string JoinLines(const std::vector<std::string>& Lines, std::string_view Separator) {
  std::string Result;
  size_t Size = 0;
  for (const auto& Line : Lines) Size += Line.size() + Separator.size();
  Result.reserve(Size);
  for (size_t i = 0; i < Lines.size(); ++i) {
    if (i > 0) Result += Separator;
    Result += Lines[i];
  }
  return Result;
}

bool FindNameValue(const std::vector<std::string>& Lines, std::string_view Name, std::string& Value,
                   bool TrimNames) {
  const std::string Wanted = TrimNames ? Trim(Name) : std::string(Name);
  for (const auto& Line : Lines) {
    const size_t Eq = Line.find('=');
    if (Eq == std::string::npos) continue;
    std::string_view LineName(Line.data(), Eq);
    const bool Match = TrimNames ? SameText(Trim(LineName), Wanted) : SameText(LineName, Wanted);
    if (Match) {
      Value = Line.substr(Eq + 1);
      return true;
    }
  }
  return false;
}

}  // namespace qv
