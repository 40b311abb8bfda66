#include "report/RtfReader.h"

#include "TextUtils.h"

#include <algorithm>

#include <cctype>
#include <cstdint>
#include <map>
#include <set>

namespace qv {

namespace {

// Windows-1252 code points of 0x80..0x9F (0 where the code page leaves a byte undefined).
constexpr uint16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

uint32_t FromCp1252(uint8_t B) {
  if (B >= 0x80 && B < 0xA0 && Cp1252High[B - 0x80] != 0) return Cp1252High[B - 0x80];
  return B;
}

// Words that change nothing we show; other writers put them around plain text.
const std::set<std::string>& HarmlessWords() {
  static const std::set<std::string> Words = {
      "rtf", "ansi", "mac", "pc", "pca", "ansicpg", "deff", "deflang", "deflangfe", "adeflang",
      "viewkind", "viewscale", "fromtext", "sectd", "paperw", "paperh", "margl", "margr",
      "margt", "margb", "lang", "langfe", "langnp", "langfenp", "loch", "hich", "dbch", "cf",
      "cb", "highlight", "kerning", "expnd", "expndtw", "charscalex", "ltrch", "rtlch",
      "ltrpar", "ltrsect", "li", "ri", "fi", "sa", "sb", "sl", "slmult", "nowidctlpar",
      "widctlpar", "hyphpar", "sbauto", "saauto", "tql", "tqr", "tqc", "tqdec", "itap",
      "aspalpha", "aspnum", "faauto", "adjustright", "noproof", "insrsid", "charrsid",
      "rsid", "pararsid", "sectrsid", "af", "afs", "alang", "ab", "ai", "nofeaturethrottle",
      "htmautsp", "deftab", "widowctrl", "ftnbj", "jexpand", "noxlattoyen", "dntblnsbdb",
      "outlinelevel", "qj", "s", "cs"};
  return Words;
}

// Groups whose content is never text.
const std::set<std::string>& SkippedDestinations() {
  static const std::set<std::string> Words = {"colortbl", "stylesheet", "info", "header",
                                              "footer", "headerl", "headerr", "footerl",
                                              "footerr", "listtable", "listoverridetable"};
  return Words;
}

// The nearest point, halves up, below zero as above it, so the twips the writer makes of a point
// read back as that point.
int TwipsToPoints(int Twips) {
  const int Shifted = Twips + 10;
  return Shifted >= 0 ? Shifted / 20 : -((-Shifted + 19) / 20);
}

struct TCharState {
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
  int Font = -1;
  int HalfPoints = 0;
  int SkipCount = 1;  // \uc: fallback characters after \u
};

class TParser {
 public:
  explicit TParser(const std::string& Text) : S(Text) {}

  std::optional<TRtfDocument> Run() {
    size_t Start = S.find_first_not_of(" \t\r\n");
    if (Start == std::string::npos || S.compare(Start, 5, "{\\rtf") != 0) return std::nullopt;
    I = Start;
    if (!Group(0)) return std::nullopt;
    EndParagraph();
    return std::move(Doc);
  }

  // Why the text was refused when a cap was passed; empty otherwise.
  std::string Refusal;

 private:
  const std::string& S;
  size_t I = 0;
  TRtfDocument Doc;
  TRtfParagraph Paragraph;
  // The tab stops being set; shared into the paragraphs, one copy per distinct set.
  std::vector<int> Stops;
  bool StopsChanged = false;
  std::map<int, TRtfFontName> Fonts;
  // The font of the last run, looked up again only when the font number changes.
  int LastFont = -1;
  TRtfFontName LastFontName;
  TCharState Inherited;
  int PendingHighSurrogate = 0;

  bool Refuse(const std::string& Why) {
    Refusal = Why;
    return false;
  }

  // Two hex digits at I, or -1.
  int Hex2() const {
    if (I + 2 > S.size()) return -1;
    const auto Digit = [](char Ch) {
      if (Ch >= '0' && Ch <= '9') return Ch - '0';
      if (Ch >= 'a' && Ch <= 'f') return Ch - 'a' + 10;
      if (Ch >= 'A' && Ch <= 'F') return Ch - 'A' + 10;
      return -1;
    };
    const int Hi = Digit(S[I]), Lo = Digit(S[I + 1]);
    return Hi < 0 || Lo < 0 ? -1 : Hi * 16 + Lo;
  }

  void EndParagraph() {
    if (StopsChanged) {
      if (!(Paragraph.TabStops == Stops)) Paragraph.TabStops = TRtfTabStops(Stops);
      StopsChanged = false;
    }
    // The next paragraph keeps the alignment and tab stops until \pard.
    Doc.Paragraphs.push_back(std::move(Paragraph));
    Paragraph = TRtfParagraph{Doc.Paragraphs.back().Alignment, Doc.Paragraphs.back().TabStops, {}};
  }

  void AddText(uint32_t Cp, const TCharState& C) {
    // A run holds no line break: a line feed given as a character ends the paragraph as \line
    // does, which is how the writer writes one, and a carriage return is dropped as it drops it.
    if (Cp == '\n') {
      PendingHighSurrogate = 0;
      EndParagraph();
      return;
    }
    if (Cp == '\r') return;
    if (Cp >= 0xD800 && Cp < 0xDC00) {
      PendingHighSurrogate = static_cast<int>(Cp);
      return;
    }
    if (Cp >= 0xDC00 && Cp < 0xE000) {
      if (PendingHighSurrogate == 0) return;
      Cp = 0x10000 + ((static_cast<uint32_t>(PendingHighSurrogate) - 0xD800) << 10) + (Cp - 0xDC00);
    }
    PendingHighSurrogate = 0;
    TRtfRun Format;
    Format.Bold = C.Bold;
    Format.Italic = C.Italic;
    Format.Underline = C.Underline;
    Format.StrikeOut = C.StrikeOut;
    if (C.Font != LastFont) {
      const auto F = Fonts.find(C.Font);
      LastFontName = F == Fonts.end() ? TRtfFontName() : F->second;
      LastFont = C.Font;
    }
    Format.FontName = LastFontName;
    Format.HalfPoints = C.HalfPoints;
    auto& Runs = Paragraph.Runs;
    if (Runs.empty() || !SameFormat(Runs.back(), Format)) Runs.push_back(Format);
    AppendUtf8(Runs.back().Text, Cp);
  }

  static bool SameFormat(const TRtfRun& A, const TRtfRun& B) {
    return A.Bold == B.Bold && A.Italic == B.Italic && A.Underline == B.Underline &&
           A.StrikeOut == B.StrikeOut && A.FontName == B.FontName && A.HalfPoints == B.HalfPoints;
  }

  // Reads a control word or symbol after its backslash. Returns false at the end of input.
  bool ControlWord(std::string& Word, bool& HasParam, int& Param) {
    Word.clear();
    HasParam = false;
    Param = 0;
    if (I >= S.size()) return false;
    if (!std::isalpha(static_cast<unsigned char>(S[I]))) {
      Word = S[I++];
      return true;
    }
    while (I < S.size() && std::isalpha(static_cast<unsigned char>(S[I]))) Word += S[I++];
    bool Negative = false;
    if (I < S.size() && S[I] == '-') { Negative = true; ++I; }
    long long Value = 0;
    while (I < S.size() && std::isdigit(static_cast<unsigned char>(S[I]))) {
      HasParam = true;
      // Held at a bound that a parameter written back from it reads as again.
      Value = std::min<long long>(Value * 10 + (S[I] - '0'), 1000000000);
      ++I;
    }
    Param = static_cast<int>(Negative ? -Value : Value);
    if (I < S.size() && S[I] == ' ') ++I;
    return true;
  }

  // Skips a group whose opening brace has been read; false when it never closes.
  bool SkipGroup() {
    int Depth = 1;
    while (I < S.size()) {
      const char Ch = S[I++];
      if (Ch == '\\') { if (I < S.size()) ++I; }
      else if (Ch == '{') ++Depth;
      else if (Ch == '}' && --Depth == 0) return true;
    }
    return false;
  }

  // {\fonttbl{\f0\fnil Name;}...}: only numbers and names matter. Names are read as the writer
  // writes them: code page 1252 bytes, \' and \u characters, escaped braces and backslashes; a
  // control character has no place in a name and is dropped.
  bool FontTable(int SkipCount) {
    int Depth = 1, Current = -1;
    std::string Name;
    uint32_t PendingHigh = 0;
    bool TooLong = false;
    const auto Add = [&](uint32_t Cp) {
      if (Cp >= 0xD800 && Cp < 0xDC00) {
        PendingHigh = Cp;
        return;
      }
      if (Cp >= 0xDC00 && Cp < 0xE000) {
        if (PendingHigh == 0) return;
        Cp = 0x10000 + ((PendingHigh - 0xD800) << 10) + (Cp - 0xDC00);
      }
      PendingHigh = 0;
      if (Cp >= 0x20) AppendUtf8(Name, Cp);
      TooLong = TooLong || Name.size() > MaxRtfFontNameBytes;
    };
    const auto NameRefused = [&] {
      return Refuse("a font name is longer than " + std::to_string(MaxRtfFontNameBytes) +
                    " bytes, the most a font name may hold");
    };
    while (I < S.size()) {
      const char Ch = S[I++];
      if (Ch == '{') {
        ++Depth;
        if (I + 1 < S.size() && S[I] == '\\' && S[I + 1] == '*') {
          ++I;
          if (!SkipGroup()) return false;
          --Depth;
        }
      } else if (Ch == '}') {
        if (TooLong) return NameRefused();
        if (Current >= 0 && !Fonts.count(Current)) Fonts[Current] = TRtfFontName(Name);
        Current = -1;
        Name.clear();
        if (--Depth == 0) return true;
      } else if (Ch == '\\') {
        std::string Word;
        bool HasParam;
        int Param;
        if (!ControlWord(Word, HasParam, Param)) return false;
        if (Word == "f" && HasParam) Current = Param;
        else if (Word == "'") {
          const int Code = Hex2();
          if (Code < 0) return false;
          Add(FromCp1252(static_cast<uint8_t>(Code)));
          I += 2;
        } else if (Word == "u" && HasParam) {
          Add(static_cast<uint32_t>(Param < 0 ? Param + 0x10000 : Param) & 0xFFFF);
          SkipFallback(SkipCount);
        } else if (Word == "uc") {
          SkipCount = HasParam ? Param : 1;
        } else if (Word == "\\" || Word == "{" || Word == "}") {
          Add(static_cast<uint8_t>(Word[0]));
        }
      } else if (Ch == ';') {
        if (TooLong) return NameRefused();
        if (Current >= 0) Fonts[Current] = TRtfFontName(Name);
        Current = -1;
        Name.clear();
      } else {
        Add(FromCp1252(static_cast<uint8_t>(Ch)));
      }
      if (TooLong) return NameRefused();
    }
    return false;
  }

  // Reads a group whose opening brace is at I, in the character state it inherits.
  bool Group(int Depth) {
    if (Depth > 100) return false;
    ++I;  // '{'
    TCharState C = Depth == 0 ? TCharState{} : Inherited;
    bool First = true;
    while (I < S.size()) {
      const char Ch = S[I++];
      if (Ch == '}') return true;
      if (Ch == '{') {
        --I;
        if (I + 2 < S.size() && S[I + 1] == '\\' && S[I + 2] == '*') {
          ++I;
          if (!SkipGroup()) return false;
        } else {
          Inherited = C;
          if (!Group(Depth + 1)) return false;
        }
        First = false;
        continue;
      }
      if (Ch == '\r' || Ch == '\n') continue;
      if (Ch != '\\') {
        AddText(FromCp1252(static_cast<uint8_t>(Ch)), C);
        First = false;
        continue;
      }
      std::string Word;
      bool HasParam;
      int Param;
      if (!ControlWord(Word, HasParam, Param)) return false;
      const bool WasFirst = First;
      First = false;
      if (WasFirst && Word == "fonttbl") return FontTable(C.SkipCount);
      if (WasFirst && SkippedDestinations().count(Word)) return SkipGroup();
      if (!Apply(Word, HasParam, Param, C)) return false;
    }
    return false;
  }

  bool Apply(const std::string& Word, bool HasParam, int Param, TCharState& C) {
    const bool On = !HasParam || Param != 0;
    if (Word == "\\" || Word == "{" || Word == "}") AddText(static_cast<uint8_t>(Word[0]), C);
    else if (Word == "'") {
      const int Code = Hex2();
      if (Code < 0) return false;
      AddText(FromCp1252(static_cast<uint8_t>(Code)), C);
      I += 2;
    } else if (Word == "u" && HasParam) {
      AddText(static_cast<uint32_t>(Param < 0 ? Param + 0x10000 : Param) & 0xFFFF, C);
      SkipFallback(C.SkipCount);
    } else if (Word == "uc") C.SkipCount = HasParam ? Param : 1;
    else if (Word == "tab") AddText('\t', C);
    else if (Word == "par" || Word == "line" || Word == "\r" || Word == "\n") EndParagraph();
    else if (Word == "~") AddText(0xA0, C);
    else if (Word == "_") AddText('-', C);
    else if (Word == "-") {}
    else if (Word == "emdash") AddText(0x2014, C);
    else if (Word == "endash") AddText(0x2013, C);
    else if (Word == "bullet") AddText(0x2022, C);
    else if (Word == "lquote") AddText(0x2018, C);
    else if (Word == "rquote") AddText(0x2019, C);
    else if (Word == "ldblquote") AddText(0x201C, C);
    else if (Word == "rdblquote") AddText(0x201D, C);
    else if (Word == "plain") { const int Skip = C.SkipCount; C = TCharState{}; C.SkipCount = Skip; }
    else if (Word == "b") C.Bold = On;
    else if (Word == "i") C.Italic = On;
    else if (Word == "ul") C.Underline = On;
    else if (Word == "ulnone") C.Underline = false;
    else if (Word == "strike") C.StrikeOut = On;
    else if (Word == "f") C.Font = Param;
    else if (Word == "fs") C.HalfPoints = Param > 0 ? Param : 0;
    else if (Word == "pard") {
      Paragraph.Alignment = TRtfAlignment::Left;
      Stops.clear();
      StopsChanged = true;
    }
    else if (Word == "ql" || Word == "qj") Paragraph.Alignment = TRtfAlignment::Left;
    else if (Word == "qc") Paragraph.Alignment = TRtfAlignment::Center;
    else if (Word == "qr") Paragraph.Alignment = TRtfAlignment::Right;
    else if (Word == "tx" && HasParam) {
      if (Stops.size() >= MaxRtfTabStops)
        return Refuse("a paragraph sets more than " + std::to_string(MaxRtfTabStops) +
                      " tab stops, the most a paragraph may hold");
      Stops.push_back(TwipsToPoints(Param));
      StopsChanged = true;
    }
    else if (!HarmlessWords().count(Word)) return false;
    return true;
  }

  void SkipFallback(int Count) {
    while (Count-- > 0 && I < S.size()) {
      if (S[I] == '\\') {
        std::string Word;
        bool HasParam;
        int Param;
        ++I;
        ControlWord(Word, HasParam, Param);
        if (Word == "'") I += 2;
      } else if (S[I] == '{' || S[I] == '}') {
        return;
      } else {
        ++I;
      }
    }
  }
};

}  // namespace

bool LooksLikeRtf(const std::string& Text) {
  const size_t Start = Text.find_first_not_of(" \t\r\n");
  return Start != std::string::npos && Text.compare(Start, 5, "{\\rtf") == 0;
}

std::optional<TRtfDocument> ReadRtf(const std::string& Text) {
  std::string Refusal;
  return ReadRtf(Text, Refusal);
}

std::optional<TRtfDocument> ReadRtf(const std::string& Text, std::string& Refusal) {
  TParser Parser(Text);
  std::optional<TRtfDocument> Doc = Parser.Run();
  Refusal = Parser.Refusal;
  return Doc;
}

}  // namespace qv
