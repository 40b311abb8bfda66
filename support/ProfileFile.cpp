#include "ProfileFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "Errors.h"
#include "Files.h"
#include "NumberFormat.h"
#include "Streams.h"
#include "TextUtils.h"

namespace fs = std::filesystem;

namespace qv {

namespace {

bool Blank(char C) { return static_cast<unsigned char>(C) <= ' '; }
char Upper(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; }

std::string_view TrimView(std::string_view Text) {
  size_t First = 0, Last = Text.size();
  while (First < Last && Blank(Text[First])) ++First;
  while (Last > First && Blank(Text[Last - 1])) --Last;
  return Text.substr(First, Last - First);
}

bool IsBlankLine(std::string_view Line) { return TrimView(Line).empty(); }

// Name of a section header line ("[ Name ]" gives "Name"); false when the line is no header.
bool SectionName(std::string_view Line, std::string_view& Name) {
  const std::string_view T = TrimView(Line);
  if (T.empty() || T.front() != '[') return false;
  const size_t Close = T.find(']');
  Name = TrimView(T.substr(1, Close == std::string_view::npos ? std::string_view::npos : Close - 1));
  return true;
}

// Position of the '=' of a key line, npos for blank lines, comments and lines without one.
size_t KeySeparator(std::string_view Line) {
  size_t First = 0;
  while (First < Line.size() && Blank(Line[First])) ++First;
  if (First == Line.size() || Line[First] == ';' || Line[First] == '#') return std::string_view::npos;
  return Line.find('=');
}

std::string_view KeyName(std::string_view Line) { return TrimView(Line.substr(0, KeySeparator(Line))); }

// FNV-1a of the name in upper case, so that names equal without regard to case hash alike.
uint64_t NameHash(std::string_view Name) {
  uint64_t H = 14695981039346656037ull;
  for (const char C : Name) {
    H ^= static_cast<unsigned char>(Upper(C));
    H *= 1099511628211ull;
  }
  return H;
}

bool HasLineBreak(std::string_view Text) { return Text.find_first_of("\r\n") != std::string_view::npos; }

void CheckName(std::string_view Name, const char* What) {
  if (Trim(Name).empty() || HasLineBreak(Name) || Name.find_first_of("=[]") != std::string_view::npos)
    throw EAssertionFailed(std::string("ProfileFile: invalid ") + What + " name \"" + std::string(Name) + "\"");
}

std::string TooLarge() {
  return "it is larger than " + IntToStr(TProfileFile::MaxFileSize / (1024 * 1024)) +
         " MB, the most a settings file may hold";
}

// Inserts (Hash, Value) after the entries of equal hash, keeping Index sorted.
template <class TIndex>
void InsertSorted(TIndex& Index, uint64_t Hash, uint32_t Value) {
  const auto At = std::upper_bound(Index.begin(), Index.end(), std::make_pair(Hash, Value));
  Index.insert(At, {Hash, Value});
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
  if (Size > static_cast<uintmax_t>(MaxFileSize)) throw EInOutError("Cannot read " + FileName + ": " + TooLarge());

  std::ifstream In(FileName, std::ios::binary);
  if (!In) throw EInOutError("Cannot read " + FileName + ": access denied or file locked");
  // Read in steps of the size measured, so that a file that grew since is read whole or refused.
  std::string Text;
  const size_t Step = static_cast<size_t>(Size) + 1;
  while (In && Text.size() <= static_cast<size_t>(MaxFileSize)) {
    const size_t Had = Text.size();
    Text.resize(Had + Step);
    In.read(Text.data() + Had, static_cast<std::streamsize>(Step));
    Text.resize(Had + static_cast<size_t>(In.gcount()));
  }
  if (In.bad()) throw EInOutError("Cannot read " + FileName + ": read error");
  if (Text.size() > static_cast<size_t>(MaxFileSize)) throw EInOutError("Cannot read " + FileName + ": " + TooLarge());
  SetText(Text);
}

void TProfileFile::SetText(std::string_view Text) {
  if (Text.size() > static_cast<size_t>(MaxFileSize)) throw EInOutError("Cannot take the settings text: " + TooLarge());
  // Counted first, so the line table is allocated once at its size.
  size_t Count = 0;
  for (size_t i = 0; i < Text.size(); ++i)
    if (Text[i] == '\r' || Text[i] == '\n') {
      ++Count;
      if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    }
  if (!Text.empty() && Text.back() != '\r' && Text.back() != '\n') ++Count;

  std::string NewText(Text);
  std::vector<TLine> Lines;
  Lines.reserve(Count);
  size_t Start = 0;
  for (size_t i = 0; i < Text.size(); ++i)
    if (Text[i] == '\r' || Text[i] == '\n') {
      Lines.push_back({static_cast<uint32_t>(Start), static_cast<uint32_t>(i - Start)});
      if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
      Start = i + 1;
    }
  if (Start < Text.size()) Lines.push_back({static_cast<uint32_t>(Start), static_cast<uint32_t>(Text.size() - Start)});

  // Sections: a header line starts one; a section's body ends after its last non-blank line.
  std::vector<TSection> Sections(1);
  THashIndex Index;
  std::string_view Name;
  for (uint32_t i = 0; i < Lines.size(); ++i) {
    const std::string_view Line = std::string_view(NewText).substr(Lines[i].Offset, Lines[i].Length);
    if (SectionName(Line, Name)) {
      Sections.back().End = i;
      Index.emplace_back(NameHash(Name), static_cast<uint32_t>(Sections.size()));
      Sections.push_back({i, i + 1, i + 1, 0});
    } else if (!IsBlankLine(Line)) {
      Sections.back().Body = i + 1;
    }
  }
  Sections.back().End = static_cast<uint32_t>(Lines.size());
  std::sort(Index.begin(), Index.end());

  const size_t Break = Text.find_first_of("\r\n");
  FLineBreak = (Break != std::string_view::npos && Text.substr(Break, 2) == "\r\n") ? "\r\n" : "\n";
  FText = std::move(NewText);
  FLines = std::move(Lines);
  FSections = std::move(Sections);
  FSectionIndex = std::move(Index);
  FAdded.clear();
  FKeys.clear();
}

std::string_view TProfileFile::LineText(uint32_t Line) const {
  return std::string_view(FText).substr(FLines[Line].Offset, FLines[Line].Length);
}

std::string_view TProfileFile::HeaderText(uint32_t Section) const {
  const TSection& S = FSections[Section];
  return S.AddedHeader > 0 ? std::string_view(FAdded.at(Section)[S.AddedHeader - 1]) : LineText(S.Begin);
}

std::string TProfileFile::Text() const {
  size_t Size = FText.size() + FLines.size() * FLineBreak.size();
  for (const auto& [Section, Lines] : FAdded)
    for (const std::string& L : Lines) Size += L.size() + FLineBreak.size();
  std::string Result;
  Result.reserve(Size);
  const auto Add = [&](std::string_view Line) {
    Result += Line;
    Result += FLineBreak;
  };
  for (uint32_t s = 0; s < FSections.size(); ++s) {
    const TSection& S = FSections[s];
    for (uint32_t i = S.Begin; i < S.Body; ++i) Add(LineText(i));
    if (const auto Added = FAdded.find(s); Added != FAdded.end())
      for (const std::string& L : Added->second) Add(L);
    for (uint32_t i = S.Body; i < S.End; ++i) Add(LineText(i));
  }
  return Result;
}

void TProfileFile::SaveToFile(const std::string& FileName) const {
  const std::string Contents = Text();
  WriteFileSafely(FileName, [&](TStream& Stream) { Stream.Write(Contents.data(), Contents.size()); });
}

int64_t TProfileFile::FindSection(std::string_view Section) const {
  const std::string_view Wanted = TrimView(Section);
  const uint64_t Hash = NameHash(Wanted);
  std::string_view Name;
  for (auto It = std::lower_bound(FSectionIndex.begin(), FSectionIndex.end(), std::make_pair(Hash, uint32_t(0)));
       It != FSectionIndex.end() && It->first == Hash; ++It)
    if (SectionName(HeaderText(It->second), Name) && SameText(Name, Wanted)) return It->second;
  return -1;
}

const TProfileFile::TKeys& TProfileFile::SectionKeys(uint32_t Section) const {
  if (const auto Known = FKeys.find(Section); Known != FKeys.end()) return Known->second;
  TKeys Keys;
  const TSection& S = FSections[Section];
  const auto Take = [&](std::string_view Line, TKeyLine Where) {
    if (KeySeparator(Line) == std::string_view::npos) return;
    Keys.Index.emplace_back(NameHash(KeyName(Line)), static_cast<uint32_t>(Keys.Lines.size()));
    Keys.Lines.push_back(Where);
  };
  const uint32_t First = S.AddedHeader > 0 ? S.Begin : S.Begin + 1;
  for (uint32_t i = First; i < S.Body; ++i) Take(LineText(i), {i, -1});
  if (const auto Added = FAdded.find(Section); Added != FAdded.end())
    for (size_t a = S.AddedHeader; a < Added->second.size(); ++a) Take(Added->second[a], {0, static_cast<int32_t>(a)});
  std::sort(Keys.Index.begin(), Keys.Index.end());
  return FKeys.emplace(Section, std::move(Keys)).first->second;
}

bool TProfileFile::FindKey(uint32_t Section, std::string_view Key, TKeyLine& Found) const {
  const std::string_view Wanted = TrimView(Key);
  const uint64_t Hash = NameHash(Wanted);
  const TKeys& Keys = SectionKeys(Section);
  const std::vector<std::string>* Added = nullptr;
  if (const auto It = FAdded.find(Section); It != FAdded.end()) Added = &It->second;
  for (auto It = std::lower_bound(Keys.Index.begin(), Keys.Index.end(), std::make_pair(Hash, uint32_t(0)));
       It != Keys.Index.end() && It->first == Hash; ++It) {
    const TKeyLine Where = Keys.Lines[It->second];
    const std::string_view Line = Where.Added >= 0 ? std::string_view((*Added)[Where.Added]) : LineText(Where.Line);
    if (SameText(KeyName(Line), Wanted)) {
      Found = Where;
      return true;
    }
  }
  return false;
}

bool TProfileFile::FindKey(std::string_view Section, std::string_view Key, TKeyLine& Found) const {
  const int64_t S = FindSection(Section);
  return S > 0 && FindKey(static_cast<uint32_t>(S), Key, Found);
}

bool TProfileFile::SectionExists(std::string_view Section) const { return FindSection(Section) > 0; }

bool TProfileFile::ValueExists(std::string_view Section, std::string_view Key) const {
  TKeyLine Found;
  return FindKey(Section, Key, Found);
}

std::string TProfileFile::ReadString(std::string_view Section, std::string_view Key,
                                     const std::string& Default) const {
  const int64_t S = FindSection(Section);
  TKeyLine Found;
  if (S <= 0 || !FindKey(static_cast<uint32_t>(S), Key, Found)) return Default;
  const std::string_view L =
      Found.Added >= 0 ? std::string_view(FAdded.at(static_cast<uint32_t>(S))[Found.Added]) : LineText(Found.Line);
  return std::string(CharacterPrefix(L.substr(KeySeparator(L) + 1), MaxValueLength));
}

int32_t TProfileFile::ReadInteger(std::string_view Section, std::string_view Key, int32_t Default) const {
  std::string Value = Trim(ReadString(Section, Key, ""));
  return Value.empty() ? Default : StrToIntDef(Value, Default);
}

void TProfileFile::ReplaceLine(uint32_t Line, std::string_view Text) {
  if (FText.size() + Text.size() > std::numeric_limits<uint32_t>::max())
    throw EInOutError("Cannot write the settings: " + TooLarge());
  FLines[Line] = {static_cast<uint32_t>(FText.size()), static_cast<uint32_t>(Text.size())};
  FText += Text;
}

void TProfileFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value) {
  CheckName(Section, "section");
  CheckName(Key, "key");
  if (HasLineBreak(Value))
    throw EInOutError("Cannot write " + std::string(Key) + ": the value holds a line break");

  const int64_t S = FindSection(Section);
  TKeyLine Found;
  if (S > 0 && FindKey(static_cast<uint32_t>(S), Key, Found)) {
    if (Found.Added >= 0) {
      std::string& L = FAdded.at(static_cast<uint32_t>(S))[Found.Added];
      L = L.substr(0, KeySeparator(L) + 1) + std::string(Value);
    } else {
      const std::string_view L = LineText(Found.Line);
      ReplaceLine(Found.Line, std::string(L.substr(0, KeySeparator(L) + 1)) + std::string(Value));
    }
    return;
  }
  std::string NewLine = Trim(Key) + "=" + std::string(Value);
  const uint64_t KeyHash = NameHash(TrimView(Key));
  uint32_t Target;
  if (S > 0) {
    Target = static_cast<uint32_t>(S);
  } else {
    // A new section at the end, after a blank line unless the text ends with one.
    const TSection& Last = FSections.back();
    const auto LastAdded = FAdded.find(static_cast<uint32_t>(FSections.size() - 1));
    const bool EndsBlank = Last.End > Last.Body || (Last.End == Last.Begin && LastAdded == FAdded.end());
    const bool Empty = FLines.empty() && FAdded.empty();
    const uint32_t End = static_cast<uint32_t>(FLines.size());
    Target = static_cast<uint32_t>(FSections.size());
    std::vector<std::string> Lines;
    if (!Empty && !EndsBlank) Lines.emplace_back();
    Lines.push_back("[" + Trim(Section) + "]");
    FSections.push_back({End, End, End, static_cast<uint32_t>(Lines.size())});
    FAdded[Target] = std::move(Lines);
    InsertSorted(FSectionIndex, NameHash(TrimView(Section)), Target);
  }
  std::vector<std::string>& Added = FAdded[Target];
  Added.push_back(std::move(NewLine));
  if (const auto Known = FKeys.find(Target); Known != FKeys.end()) {
    InsertSorted(Known->second.Index, KeyHash, static_cast<uint32_t>(Known->second.Lines.size()));
    Known->second.Lines.push_back({0, static_cast<int32_t>(Added.size() - 1)});
  }
}

void TProfileFile::WriteInteger(std::string_view Section, std::string_view Key, int32_t Value) {
  WriteString(Section, Key, IntToStr(Value));
}

}  // namespace qv
