// The report window's RTF reader and writer. An input that starts like RTF is read; any other
// input describes a document to write. What must hold:
// - what the reader gives is a document of at least one paragraph whose runs hold UTF-8 text
//   without line breaks, a run differing in format from the one before;
// - that document, written and read again, is the same document;
// - a document of such runs (tab stops not below 0, as the editor sets them), written and read,
//   is the same document with its empty runs dropped and runs of one format joined.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "report/RtfReader.h"
#include "report/RtfWriter.h"
#include "TextUtils.h"

using namespace qv;

namespace {

bool SameFormat(const TRtfRun& A, const TRtfRun& B) {
  return A.Bold == B.Bold && A.Italic == B.Italic && A.Underline == B.Underline && A.StrikeOut == B.StrikeOut &&
         A.FontName == B.FontName && A.HalfPoints == B.HalfPoints;
}

bool ValidUtf8(const std::string& S) {
  for (size_t i = 0; i < S.size();) {
    const auto B = static_cast<uint8_t>(S[i]);
    int Extra = 0;
    uint32_t Cp = B;
    if (B < 0x80) Extra = 0;
    else if (B >= 0xC2 && B < 0xE0) Extra = 1, Cp = B & 0x1F;
    else if (B >= 0xE0 && B < 0xF0) Extra = 2, Cp = B & 0x0F;
    else if (B >= 0xF0 && B < 0xF5) Extra = 3, Cp = B & 0x07;
    else return false;
    if (i + Extra >= S.size() && Extra > 0) return false;
    for (int k = 1; k <= Extra; ++k) {
      const auto C = static_cast<uint8_t>(S[i + k]);
      if ((C & 0xC0) != 0x80) return false;
      Cp = (Cp << 6) | (C & 0x3F);
    }
    if ((Extra == 2 && Cp < 0x800) || (Extra == 3 && Cp < 0x10000) || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp < 0xE000))
      return false;
    i += Extra + 1;
  }
  return true;
}

void CheckRead(const TRtfDocument& D) {
  fuzz::Require(!D.Paragraphs.empty(), "a document read has a paragraph");
  for (const TRtfParagraph& P : D.Paragraphs)
    for (size_t r = 0; r < P.Runs.size(); ++r) {
      const TRtfRun& R = P.Runs[r];
      fuzz::Require(!R.Text.empty() && ValidUtf8(R.Text), "a run read holds UTF-8 text");
      fuzz::Require(R.Text.find_first_of("\r\n") == std::string::npos, "a run read holds no line break");
      fuzz::Require(ValidUtf8(R.FontName), "a font name read is UTF-8");
      fuzz::Require(r == 0 || !SameFormat(P.Runs[r - 1], R), "runs read differ in format from the one before");
    }
}

// Empty runs dropped, runs of one format joined: what the reader gives for what the writer wrote.
TRtfDocument Normal(const TRtfDocument& D) {
  TRtfDocument N;
  for (const TRtfParagraph& P : D.Paragraphs) {
    TRtfParagraph Q = P;
    Q.Runs.clear();
    for (const TRtfRun& R : P.Runs) {
      if (R.Text.empty()) continue;
      if (!Q.Runs.empty() && SameFormat(Q.Runs.back(), R))
        Q.Runs.back().Text += R.Text;
      else
        Q.Runs.push_back(R);
    }
    N.Paragraphs.push_back(Q);
  }
  return N;
}

TRtfDocument Made(FuzzedDataProvider& In) {
  static const char* const Fonts[] = {"", "Courier New", "Arial", "Times New Roman", "Caf\xc3\xa9"};
  TRtfDocument D;
  const int Paragraphs = In.ConsumeIntegralInRange(1, 6);
  for (int p = 0; p < Paragraphs; ++p) {
    TRtfParagraph P;
    P.Alignment = static_cast<TRtfAlignment>(In.ConsumeIntegralInRange(0, 2));
    const int Stops = In.ConsumeIntegralInRange(0, 3);
    for (int s = 0; s < Stops; ++s) P.TabStops.push_back(In.ConsumeIntegralInRange(0, 5000));
    const int Runs = In.ConsumeIntegralInRange(0, 5);
    for (int r = 0; r < Runs; ++r) {
      TRtfRun R;
      R.Bold = In.ConsumeBool();
      R.Italic = In.ConsumeBool();
      R.Underline = In.ConsumeBool();
      R.StrikeOut = In.ConsumeBool();
      R.FontName = Fonts[In.ConsumeIntegralInRange(0, 4)];
      R.HalfPoints = In.ConsumeIntegralInRange(0, 400);
      const int Length = In.ConsumeIntegralInRange(0, 12);
      for (int c = 0; c < Length; ++c) {
        uint32_t Cp = In.ConsumeIntegralInRange<uint32_t>(0, 0x10FFFF);
        if (In.ConsumeBool()) Cp &= 0x7F;  // mostly ASCII, control characters and RTF's own
        if ((Cp >= 0xD800 && Cp < 0xE000) || Cp == '\r' || Cp == '\n') Cp = 'x';
        AppendUtf8(R.Text, Cp);
      }
      P.Runs.push_back(R);
    }
    D.Paragraphs.push_back(P);
  }
  return D;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the document read, then written and read back
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  if (LooksLikeRtf(Text)) {
    const auto Doc = ReadRtf(Text);
    if (!Doc) return 0;
    CheckRead(*Doc);
    const std::string Written = WriteRtf(*Doc);
    fuzz::Require(LooksLikeRtf(Written), "what is written looks like RTF");
    const auto Back = ReadRtf(Written);
    fuzz::Require(Back && *Back == *Doc, "a document read writes and reads back the same");
    return 0;
  }
  FuzzedDataProvider In(Data, Size);
  const TRtfDocument Doc = Made(In);
  const auto Back = ReadRtf(WriteRtf(Doc));
  fuzz::Require(Back && *Back == Normal(Doc), "a document written reads back the same");
  return 0;
}
