#pragma once
// Plain text helpers: trimming, lines, case-insensitive names, name=value lookup.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

std::string Trim(std::string_view Text);   // blanks and control characters at both ends
std::string TrimLeft(std::string_view Text);
std::string TrimRight(std::string_view Text);
std::string UpperCase(std::string_view Text);  // ASCII letters only
std::string LowerCase(std::string_view Text);
bool SameText(std::string_view A, std::string_view B);  // equal without regard to ASCII case

// Splits text into lines; CR LF, CR or LF end a line. A final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view Text);
// Joins lines with Separator between them (none after the last).
std::string JoinLines(const std::vector<std::string>& Lines, std::string_view Separator = "\r\n");

// Looks up Name in name=value lines: the name of a line is the text before its first '=',
// compared without regard to case (both sides trimmed when TrimNames); the earliest line wins.
// Value is everything after that '='. Returns false (Value untouched) when no line matches.
bool FindNameValue(const std::vector<std::string>& Lines, std::string_view Name, std::string& Value,
                   bool TrimNames = true);

}  // namespace qv
