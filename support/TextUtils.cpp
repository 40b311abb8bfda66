#include "TextUtils.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "LinearAlgebra.h"
#include "NumberFormat.h"

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

size_t CharacterLength(std::string_view Text) {
  if (Text.empty()) return 0;
  const auto Byte = [&](size_t K) { return static_cast<uint8_t>(Text[K]); };
  const uint8_t B0 = Byte(0);
  size_t Extra = 0;
  // Bounds of the second byte, which rule out overlong forms, surrogates and code points
  // beyond U+10FFFF.
  uint8_t Low = 0x80, High = 0xBF;
  if (B0 >= 0xC2 && B0 <= 0xDF) {
    Extra = 1;
  } else if (B0 >= 0xE0 && B0 <= 0xEF) {
    Extra = 2;
    if (B0 == 0xE0) Low = 0xA0;
    if (B0 == 0xED) High = 0x9F;
  } else if (B0 >= 0xF0 && B0 <= 0xF4) {
    Extra = 3;
    if (B0 == 0xF0) Low = 0x90;
    if (B0 == 0xF4) High = 0x8F;
  }
  if (Extra == 0 || Text.size() <= Extra) return 1;
  if (Byte(1) < Low || Byte(1) > High) return 1;
  for (size_t K = 2; K <= Extra; ++K)
    if ((Byte(K) & 0xC0) != 0x80) return 1;
  return Extra + 1;
}

void AppendUtf8(std::string& Out, uint32_t Cp) {
  if (Cp < 0x80) {
    Out += static_cast<char>(Cp);
  } else if (Cp < 0x800) {
    Out += static_cast<char>(0xC0 | (Cp >> 6));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else if (Cp < 0x10000) {
    Out += static_cast<char>(0xE0 | (Cp >> 12));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Cp >> 18));
    Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  }
}

std::string FirstCharacter(std::string_view Text) { return std::string(Text.substr(0, CharacterLength(Text))); }

std::string_view CharacterPrefix(std::string_view Text, size_t MaxBytes) {
  size_t End = 0;
  while (End < Text.size()) {
    const size_t Next = End + CharacterLength(Text.substr(End));
    if (Next > MaxBytes) break;
    End = Next;
  }
  return Text.substr(0, End);
}

std::vector<std::string> SplitLines(std::string_view Text) {
  std::vector<std::string> Lines;
  ForEachLine(Text, [&Lines](std::string_view Line) { Lines.emplace_back(Line); });
  return Lines;
}

void TLineCounter::Add(std::string_view Piece) {
  for (const char C : Piece) {
    if (C == '\n' && FAfterCR) {
      FAfterCR = false;  // the second half of CR LF
    } else if (C == '\r' || C == '\n') {
      ++FBreaks;
      FOpen = false;
      FAfterCR = C == '\r';
    } else {
      FAfterCR = false;
      FOpen = true;
    }
  }
}

int64_t CountLines(std::string_view Text) {
  TLineCounter Counter;
  Counter.Add(Text);
  return Counter.Lines();
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

int32_t FindLineContaining(const std::vector<std::string>& List, std::string_view Text, int32_t StartIndex) {
  const size_t Count = List.size();
  for (size_t i = static_cast<size_t>(StartIndex < 0 ? 0 : StartIndex); i < Count; ++i)
    if (List[i].find(Text) != std::string::npos) return static_cast<int32_t>(i);
  return -1;
}

std::string RemoveChar(std::string_view Text, char Ch) { return ReplaceChar(Text, Ch, '\0'); }

std::string ReplaceCharsInSet(std::string_view Text, const TCharSet& Chars, char NewChar) {
  std::string Result;
  Result.reserve(Text.size());
  for (char C : Text) {
    if (!Chars.test(static_cast<unsigned char>(C)))
      Result += C;
    else if (NewChar != '\0')
      Result += NewChar;
  }
  return Result;
}

std::string ReplaceChar(std::string_view Text, char OldChar, char NewChar) {
  TCharSet Chars;
  Chars.set(static_cast<unsigned char>(OldChar));
  return ReplaceCharsInSet(Text, Chars, NewChar);
}

std::vector<std::string> QuotedFields(std::string_view Line, bool CommaSeparates) {
  std::vector<std::string> Fields;
  size_t i = 0;
  const size_t N = Line.size();
  while (true) {
    while (i < N && IsBlank(Line[i])) ++i;
    if (i >= N) break;
    std::string Field;
    const bool Quoted = Line[i] == '"';
    if (Quoted) {
      ++i;
      while (i < N) {
        if (Line[i] == '"') {
          if (i + 1 < N && Line[i + 1] == '"') {
            Field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        Field += Line[i++];
      }
    }
    // Pasted text runs on after a closing quote to the next blank; comma text does not.
    if (!(Quoted && CommaSeparates))
      while (i < N && !IsBlank(Line[i]) && !(CommaSeparates && Line[i] == ',')) Field += Line[i++];
    Fields.push_back(std::move(Field));
    if (CommaSeparates) {
      while (i < N && IsBlank(Line[i])) ++i;
      if (i < N && Line[i] == ',') ++i;
    }
  }
  return Fields;
}

bool MatrixFromText(std::string_view Text, TMatrix& M, int32_t MaxLines) {
  M.clear();
  // n lines make an n x n matrix, so a long text of line breaks would ask for n squared values.
  if (CountLines(Text) > MaxLines) return false;
  const std::vector<std::string> Lines = SplitLines(Text);
  const int32_t N = static_cast<int32_t>(Lines.size());
  ZeroMatrix(N, N, M);
  for (int32_t r = 0; r < N; ++r) {
    const std::vector<std::string> Fields = QuotedFields(Lines[r], false);
    const int32_t Used = std::min(N, static_cast<int32_t>(Fields.size()));
    for (int32_t k = Used - 1; k >= 0; --k) {
      Extended Value = 0;
      if (!TryStrToFloat(Fields[k], Value)) continue;
      // A value beyond the 32-bit range would be stored as an infinity.
      if (std::fabs(Value) > std::numeric_limits<float>::max()) continue;
      M[k][r] = static_cast<float>(Value);
    }
  }
  return true;
}

}  // namespace qv
