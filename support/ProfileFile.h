#pragma once
// A small INI profile file: "[Section]" lines open sections, "Key=Value" lines hold values.
// Sections and keys match without regard to ASCII case (the first match wins), values are kept
// verbatim, and every line the program does not know (other keys and sections, comments, blank
// lines) stays where it was when the file is written back.
//
// Cost: the text is split once; sections are indexed then, a section's keys on its first
// look-up, so every read or write costs the name it looks for, not the size of the file. Memory
// is the text plus 8 bytes a line and 28 a section. Cap: MaxFileSize.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qv {

class TProfileFile {
 public:
  // Files larger than this are refused as unreadable, the message naming it: a settings file
  // holds a few dozen lines, never a megabyte.
  static constexpr int64_t MaxFileSize = 16 * 1024 * 1024;

  TProfileFile() = default;
  // Reads FileName. A missing file reads as an empty one; a file that exists but cannot be read
  // (no permission, a folder of that name, larger than MaxFileSize) throws EInOutError naming
  // the file.
  explicit TProfileFile(const std::string& FileName);

  // Replaces the contents by Text (CR LF, CR or LF line breaks); a text larger than MaxFileSize
  // throws EInOutError and changes nothing.
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
  // A line of the text read: a piece of FText (an edited line's new text is appended to it).
  struct TLine {
    uint32_t Offset = 0, Length = 0;
  };
  // A section in file order: its header (none for the lines before the first header), the lines
  // up to its last non-blank one [Begin, Body), then its blank lines [Body, End). Lines added by
  // WriteString stand between the two (FAdded); a section added by it has no lines read and its
  // added lines start with its header (after a blank line when one was needed).
  struct TSection {
    uint32_t Begin = 0, Body = 0, End = 0;
    uint32_t AddedHeader = 0;  // added sections: the header's index among the added lines + 1
  };
  // Where a key's line is: a line read (Line) or an added line of the section (Added >= 0).
  struct TKeyLine {
    uint32_t Line = 0;
    int32_t Added = -1;
  };
  // Hashes of folded names with what they name, sorted, so that equal hashes stand in order.
  using THashIndex = std::vector<std::pair<uint64_t, uint32_t>>;

  std::string_view LineText(uint32_t Line) const;
  // The section's header line, and the added lines where its keys start.
  std::string_view HeaderText(uint32_t Section) const;
  // The first section of that name, -1 when there is none.
  int64_t FindSection(std::string_view Section) const;
  // The first line of the key in the section, false when there is none.
  bool FindKey(uint32_t Section, std::string_view Key, TKeyLine& Found) const;
  bool FindKey(std::string_view Section, std::string_view Key, TKeyLine& Found) const;
  void ReplaceLine(uint32_t Line, std::string_view Text);

  std::string FText;
  std::vector<TLine> FLines;
  std::vector<TSection> FSections = std::vector<TSection>(1);  // [0]: the lines before the first header
  std::map<uint32_t, std::vector<std::string>> FAdded;
  THashIndex FSectionIndex;
  // The key lines of each section looked up so far, in file order, and their hashes (with the
  // position in that list).
  struct TKeys {
    std::vector<TKeyLine> Lines;
    THashIndex Index;
  };
  const TKeys& SectionKeys(uint32_t Section) const;
  mutable std::unordered_map<uint32_t, TKeys> FKeys;
  std::string FLineBreak = "\n";
};

}  // namespace qv
