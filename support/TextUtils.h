#pragma once
// Plain text helpers: trimming, lines, case-insensitive names, name=value lookup, character
// replacement and a matrix pasted as text.
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Types.h"

namespace qv {

std::string Trim(std::string_view Text);   // blanks and control characters at both ends
std::string TrimLeft(std::string_view Text);
std::string TrimRight(std::string_view Text);
std::string UpperCase(std::string_view Text);  // ASCII letters only
std::string LowerCase(std::string_view Text);
bool SameText(std::string_view A, std::string_view B);  // equal without regard to ASCII case

// Bytes of the character that starts Text: a whole UTF-8 sequence, or 1 for a byte that starts
// none (text in another code page); 0 for empty text.
size_t CharacterLength(std::string_view Text);
// The first character of Text, never part of one.
std::string FirstCharacter(std::string_view Text);
// Appends code point Cp (at most 0x10FFFF) to Out as UTF-8.
void AppendUtf8(std::string& Out, uint32_t Cp);
// The longest start of Text of at most MaxBytes bytes that cuts no character in two.
std::string_view CharacterPrefix(std::string_view Text, size_t MaxBytes);

// Hands Each every line of the text in order, without its end; CR LF, CR or LF end a line. A
// final line break adds no empty line.
template <class TEach>
void ForEachLine(std::string_view Text, TEach&& Each) {
  size_t Start = 0;
  for (size_t i = 0; i < Text.size(); ++i)
    if (Text[i] == '\r' || Text[i] == '\n') {
      Each(Text.substr(Start, i - Start));
      if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
      Start = i + 1;
    }
  if (Start < Text.size()) Each(Text.substr(Start));
}
// Splits text into lines as ForEachLine finds them.
std::vector<std::string> SplitLines(std::string_view Text);
// Counts the lines SplitLines would give, over text handed over in pieces, without copying it.
class TLineCounter {
 public:
  void Add(std::string_view Piece);
  int64_t Lines() const { return FBreaks + (FOpen ? 1 : 0); }

 private:
  int64_t FBreaks = 0;
  bool FOpen = false;     // text after the last break
  bool FAfterCR = false;  // an LF now ends no line
};
int64_t CountLines(std::string_view Text);
// Joins lines with Separator between them (none after the last).
std::string JoinLines(const std::vector<std::string>& Lines, std::string_view Separator = "\r\n");

// Looks up Name in name=value lines: the name of a line is the text before its first '=',
// compared without regard to case (both sides trimmed when TrimNames); the earliest line wins.
// Value is everything after that '='. Returns false (Value untouched) when no line matches.
bool FindNameValue(const std::vector<std::string>& Lines, std::string_view Name, std::string& Value,
                   bool TrimNames = true);

// Index of the first line at or after StartIndex that contains Text (case-sensitive), -1 when
// none does. A negative StartIndex starts at 0; one at or beyond the end finds nothing.
int32_t FindLineContaining(const std::vector<std::string>& List, std::string_view Text, int32_t StartIndex);

// A set of 8-bit characters.
using TCharSet = std::bitset<256>;
std::string RemoveChar(std::string_view Text, char Ch);
// Every character of Chars becomes NewChar, or is dropped when NewChar is '\0'.
std::string ReplaceCharsInSet(std::string_view Text, const TCharSet& Chars, char NewChar);
std::string ReplaceChar(std::string_view Text, char OldChar, char NewChar);

// The fields of one line. Blanks and tabs separate them, and with CommaSeparates one comma
// between blanks does too; a field in double quotes may hold either ("" inside is one quote).
std::vector<std::string> QuotedFields(std::string_view Line, bool CommaSeparates);

// A matrix pasted as text, read with its lines as columns: field k of line r goes to M[k][r].
// Fields are separated by tabs and blanks; a field in double quotes may hold either (a doubled
// quote stands for one). M is always n x n for n lines: extra fields are ignored, missing ones
// and those that do not convert (current decimal separator) stay 0. A text of more than
// MaxLines lines is refused before anything is sized: false, M empty.
bool MatrixFromText(std::string_view Text, TMatrix& M, int32_t MaxLines);

}  // namespace qv
