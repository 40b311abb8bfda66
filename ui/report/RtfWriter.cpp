#include "report/RtfWriter.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace qv {

namespace {

// Next code point of UTF-8 text; a byte that does not start a valid sequence stands for
// itself (Latin-1), so no text is ever dropped.
uint32_t NextCodePoint(const std::string& S, size_t& I) {
  const auto Byte = [&](size_t K) { return static_cast<uint8_t>(S[K]); };
  const uint8_t B0 = Byte(I);
  int Extra = 0;
  uint32_t Cp = B0;
  if (B0 >= 0xC2 && B0 < 0xE0) { Extra = 1; Cp = B0 & 0x1F; }
  else if (B0 >= 0xE0 && B0 < 0xF0) { Extra = 2; Cp = B0 & 0x0F; }
  else if (B0 >= 0xF0 && B0 < 0xF5) { Extra = 3; Cp = B0 & 0x07; }
  if (Extra > 0 && I + Extra < S.size()) {
    bool Valid = true;
    for (int K = 1; Valid && K <= Extra; ++K) Valid = (Byte(I + K) & 0xC0) == 0x80;
    if (Valid) {
      for (int K = 1; K <= Extra; ++K) Cp = (Cp << 6) | (Byte(I + K) & 0x3F);
      const bool Overlong = (Extra == 2 && Cp < 0x800) || (Extra == 3 && Cp < 0x10000);
      if (!Overlong && Cp <= 0x10FFFF && !(Cp >= 0xD800 && Cp <= 0xDFFF)) {
        I += Extra + 1;
        return Cp;
      }
    }
  }
  ++I;
  return B0;
}

void AppendUnicode(std::string& Out, uint32_t Unit) {
  // \u takes a signed 16-bit value.
  const int Signed = Unit >= 0x8000 ? static_cast<int>(Unit) - 0x10000 : static_cast<int>(Unit);
  Out += "\\u" + std::to_string(Signed) + "?";
}

void AppendText(std::string& Out, const std::string& Text) {
  size_t I = 0;
  while (I < Text.size()) {
    const uint32_t Cp = NextCodePoint(Text, I);
    switch (Cp) {
      case '\\': Out += "\\\\"; break;
      case '{': Out += "\\{"; break;
      case '}': Out += "\\}"; break;
      case '\t': Out += "\\tab "; break;
      case '\n': Out += "\\line "; break;
      case '\r': break;
      default:
        if (Cp < 0x80) {
          Out += static_cast<char>(Cp);
        } else if (Cp < 0x10000) {
          AppendUnicode(Out, Cp);
        } else {
          const uint32_t V = Cp - 0x10000;
          AppendUnicode(Out, 0xD800 + (V >> 10));
          AppendUnicode(Out, 0xDC00 + (V & 0x3FF));
        }
    }
  }
}

// A font name ends at ';' in the font table, so one inside it is written as a code page byte;
// control characters, which no name holds, are left out.
void AppendFontName(std::string& Out, const std::string& Name) {
  std::string Kept;
  for (const char Ch : Name)
    if (static_cast<uint8_t>(Ch) >= 0x20) Kept += Ch;
  size_t Start = 0;
  for (size_t Semicolon; (Semicolon = Kept.find(';', Start)) != std::string::npos; Start = Semicolon + 1) {
    AppendText(Out, Kept.substr(Start, Semicolon - Start));
    Out += "\\'3b";
  }
  AppendText(Out, Kept.substr(Start));
}

}  // namespace

std::string WriteRtf(const TRtfDocument& Document) {
  std::vector<const std::string*> Fonts;
  std::unordered_map<std::string_view, int> FontIndex;
  for (const auto& P : Document.Paragraphs)
    for (const auto& R : P.Runs)
      if (FontIndex.try_emplace(*R.FontName, static_cast<int>(Fonts.size())).second) Fonts.push_back(&*R.FontName);

  std::string Out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1";
  Out += "{\\fonttbl";
  for (size_t F = 0; F < Fonts.size(); ++F) {
    Out += "{\\f" + std::to_string(F) + "\\fnil ";
    AppendFontName(Out, *Fonts[F]);
    Out += ";}";
  }
  Out += "}\r\n";

  const TRtfParagraph* Before = nullptr;
  for (size_t Pi = 0; Pi < Document.Paragraphs.size(); ++Pi) {
    const TRtfParagraph& P = Document.Paragraphs[Pi];
    const bool Reset = !Before || !(P.TabStops == Before->TabStops);
    if (Reset) Out += "\\pard";
    if (Reset || P.Alignment != Before->Alignment) switch (P.Alignment) {
        case TRtfAlignment::Left: Out += "\\ql"; break;
        case TRtfAlignment::Center: Out += "\\qc"; break;
        case TRtfAlignment::Right: Out += "\\qr"; break;
      }
    if (Reset)
      for (const int Stop : P.TabStops) Out += "\\tx" + std::to_string(Stop * 20);
    Before = &P;
    for (const TRtfRun& R : P.Runs) {
      if (R.Text.empty()) continue;
      Out += "{\\f" + std::to_string(FontIndex.at(*R.FontName));
      if (R.HalfPoints > 0) Out += "\\fs" + std::to_string(R.HalfPoints);
      if (R.Bold) Out += "\\b";
      if (R.Italic) Out += "\\i";
      if (R.Underline) Out += "\\ul";
      if (R.StrikeOut) Out += "\\strike";
      Out += ' ';
      AppendText(Out, R.Text);
      Out += '}';
    }
    if (Pi + 1 < Document.Paragraphs.size()) Out += "\\par";
    Out += "\r\n";
  }
  Out += "}\r\n";
  return Out;
}

}  // namespace qv
