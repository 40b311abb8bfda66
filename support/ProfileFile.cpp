#include "ProfileFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "Errors.h"
#include "Files.h"
#include "NumberFormat.h"
#include "Streams.h"
#include "TextUtils.h"

namespace fs = std::filesystem;

namespace qv {

namespace {

// Name of a section header line ("[ Name ]" gives "Name"); false when the line is no header.
bool SectionName(const std::string& Line, std::string& Name) {
  std::string T = Trim(Line);
  if (T.empty() || T.front() != '[') return false;
  size_t Close = T.find(']');
  Name = Trim(std::string_view(T).substr(1, Close == std::string::npos ? std::string::npos : Close - 1));
  return true;
}

// Position of the '=' of a key line, npos for blank lines, comments and lines without one.
size_t KeySeparator(const std::string& Line) {
  std::string T = TrimLeft(Line);
  if (T.empty() || T.front() == ';' || T.front() == '#') return std::string::npos;
  return Line.find('=');
}

bool HasLineBreak(std::string_view Text) { return Text.find_first_of("\r\n") != std::string_view::npos; }

void CheckName(std::string_view Name, const char* What) {
  if (Trim(Name).empty() || HasLineBreak(Name) || Name.find_first_of("=[]") != std::string_view::npos)
    throw EAssertionFailed(std::string("ProfileFile: invalid ") + What + " name \"" + std::string(Name) + "\"");
}

}  // namespace

TProfileFile::TProfileFile(const std::string& FileName) {
  std::error_code Ec;
  fs::file_status Status = fs::status(FileName, Ec);
  if (Status.type() == fs::file_type::not_found) return;
  if (Ec) throw EInOutError("Cannot read " + FileName + ": " + Ec.message());
  if (Status.type() != fs::file_type::regular)
    throw EInOutError("Cannot read " + FileName + ": not a file");
  auto Size = fs::file_size(FileName, Ec);
  if (Ec) throw EInOutError("Cannot read " + FileName + ": " + Ec.message());
  if (Size > static_cast<uintmax_t>(MaxFileSize)) throw EInOutError("Cannot read " + FileName + ": file too large");

  std::ifstream In(FileName, std::ios::binary);
  if (!In) throw EInOutError("Cannot read " + FileName + ": access denied or file locked");
  std::string Text((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  if (In.bad()) throw EInOutError("Cannot read " + FileName + ": read error");
  SetText(Text);
}

void TProfileFile::SetText(std::string_view Text) {
  FLines = SplitLines(Text);
  size_t Break = Text.find_first_of("\r\n");
  FLineBreak = (Break != std::string_view::npos && Text.substr(Break, 2) == "\r\n") ? "\r\n" : "\n";
}

std::string TProfileFile::Text() const {
  std::string Result;
  for (const std::string& Line : FLines) {
    Result += Line;
    Result += FLineBreak;
  }
  return Result;
}

void TProfileFile::SaveToFile(const std::string& FileName) const {
  const std::string Contents = Text();
  WriteFileSafely(FileName, [&](TStream& Stream) { Stream.Write(Contents.data(), Contents.size()); });
}

int TProfileFile::FindSection(std::string_view Section) const {
  std::string Name;
  for (size_t I = 0; I < FLines.size(); ++I)
    if (SectionName(FLines[I], Name) && SameText(Name, Trim(Section))) return static_cast<int>(I);
  return -1;
}

int TProfileFile::SectionEnd(int Header) const {
  std::string Name;
  size_t I = static_cast<size_t>(Header) + 1;
  while (I < FLines.size() && !SectionName(FLines[I], Name)) ++I;
  return static_cast<int>(I);
}

int TProfileFile::FindKey(std::string_view Section, std::string_view Key) const {
  int Header = FindSection(Section);
  if (Header < 0) return -1;
  const std::string Wanted = Trim(Key);
  for (int I = Header + 1, End = SectionEnd(Header); I < End; ++I) {
    size_t Eq = KeySeparator(FLines[I]);
    if (Eq != std::string::npos && SameText(Trim(std::string_view(FLines[I]).substr(0, Eq)), Wanted)) return I;
  }
  return -1;
}

bool TProfileFile::SectionExists(std::string_view Section) const { return FindSection(Section) >= 0; }

bool TProfileFile::ValueExists(std::string_view Section, std::string_view Key) const {
  return FindKey(Section, Key) >= 0;
}

std::string TProfileFile::ReadString(std::string_view Section, std::string_view Key,
                                     const std::string& Default) const {
  int Line = FindKey(Section, Key);
  if (Line < 0) return Default;
  const std::string& L = FLines[Line];
  return std::string(CharacterPrefix(std::string_view(L).substr(KeySeparator(L) + 1), MaxValueLength));
}

int32_t TProfileFile::ReadInteger(std::string_view Section, std::string_view Key, int32_t Default) const {
  std::string Value = Trim(ReadString(Section, Key, ""));
  return Value.empty() ? Default : StrToIntDef(Value, Default);
}

void TProfileFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value) {
  CheckName(Section, "section");
  CheckName(Key, "key");
  if (HasLineBreak(Value))
    throw EInOutError("Cannot write " + std::string(Key) + ": the value holds a line break");

  int Line = FindKey(Section, Key);
  if (Line >= 0) {
    std::string& L = FLines[Line];
    L = L.substr(0, KeySeparator(L) + 1) + std::string(Value);
    return;
  }
  std::string NewLine = Trim(Key) + "=" + std::string(Value);
  int Header = FindSection(Section);
  if (Header >= 0) {
    int Insert = SectionEnd(Header);
    while (Insert > Header + 1 && Trim(FLines[Insert - 1]).empty()) --Insert;
    FLines.insert(FLines.begin() + Insert, NewLine);
    return;
  }
  if (!FLines.empty() && !Trim(FLines.back()).empty()) FLines.emplace_back();
  FLines.push_back("[" + Trim(Section) + "]");
  FLines.push_back(NewLine);
}

void TProfileFile::WriteInteger(std::string_view Section, std::string_view Key, int32_t Value) {
  WriteString(Section, Key, IntToStr(Value));
}

}  // namespace qv
