#pragma once
// A small INI profile file: "[Section]" lines open sections, "Key=Value" lines hold values.
// Sections and keys match without regard to ASCII case (the first match wins), values are kept
// verbatim, and every line the program does not know (other keys and sections, comments, blank
// lines) stays where it was when the file is written back.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TProfileFile {
 public:
  // Files larger than this are refused as unreadable: a settings file never grows this big.
  static constexpr int64_t MaxFileSize = 16 * 1024 * 1024;

  TProfileFile() = default;
  // Reads FileName. A missing file reads as an empty one; a file that exists but cannot be read
  // (no permission, a folder of that name, too large) throws EInOutError naming the file.
  explicit TProfileFile(const std::string& FileName);

  // Replaces the contents by Text (CR LF, CR or LF line breaks).
  void SetText(std::string_view Text);
  // The lines joined with the line break of the text that was read (LF for a new file),
  // every line followed by one.
  std::string Text() const;
  // Writes Text() through a temporary file in the same folder; errors throw EInOutError.
  void SaveToFile(const std::string& FileName) const;

  bool SectionExists(std::string_view Section) const;
  bool ValueExists(std::string_view Section, std::string_view Key) const;

  // Longest value read back, in bytes; a longer one is cut, never inside a character.
  static constexpr size_t MaxValueLength = 2047;

  // Everything after the first '=' of the key's line, at most MaxValueLength bytes (an empty
  // value stays empty); Default when the key is absent.
  std::string ReadString(std::string_view Section, std::string_view Key, const std::string& Default) const;
  // Decimal, or hexadecimal with "0x"; blanks around the value are ignored. Default when the key
  // is absent, the value empty or not a 32-bit integer.
  int32_t ReadInteger(std::string_view Section, std::string_view Key, int32_t Default) const;

  // Replaces the value of the key's first line in place (the text before its '=' is kept), or
  // adds "Key=Value" after the last non-blank line of the section, or adds the section at the
  // end. A value holding a line break throws EInOutError: it would turn into lines of its own.
  void WriteString(std::string_view Section, std::string_view Key, std::string_view Value);
  void WriteInteger(std::string_view Section, std::string_view Key, int32_t Value);

 private:
  // Line index of the section's header, -1 when there is none.
  int FindSection(std::string_view Section) const;
  // One past the last line of the section that starts at header line Header.
  int SectionEnd(int Header) const;
  // Line index of the key inside the section, -1 when there is none.
  int FindKey(std::string_view Section, std::string_view Key) const;

  std::vector<std::string> FLines;
  std::string FLineBreak = "\n";
};

}  // namespace qv
