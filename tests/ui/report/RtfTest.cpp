// RTF of the report window: what we write reads back unchanged; what we cannot show is refused.
#include <QtTest>
#include <optional>

#include "AllocationCap.h"
#include "UiTestMain.h"
#include "report/RtfReader.h"
#include "report/RtfWriter.h"

using namespace qv;

namespace {

TRtfRun Run(const std::string& Text, const std::string& Font = "Arial", int HalfPoints = 20) {
  TRtfRun R;
  R.Text = Text;
  R.FontName = Font;
  R.HalfPoints = HalfPoints;
  return R;
}

}  // namespace

class RtfTest : public QObject {
  Q_OBJECT
 private slots:
  void writtenDocumentsReadBackUnchanged() {
    TRtfDocument Doc;
    TRtfParagraph Title;
    Title.Alignment = TRtfAlignment::Center;
    TRtfRun Bold = Run("Fitness report", "Times New Roman", 36);
    Bold.Bold = true;
    Title.Runs = {Bold};
    TRtfParagraph Table;
    Table.TabStops = {50, 75, 100};
    TRtfRun Italic = Run("Strain");
    Italic.Italic = true;
    Italic.Underline = true;
    TRtfRun Struck = Run("\tW\t1.0250");
    Struck.StrikeOut = true;
    Table.Runs = {Italic, Struck, Run("\t{x} \\ end")};
    TRtfParagraph Empty;
    TRtfParagraph Right;
    Right.Alignment = TRtfAlignment::Right;
    Right.TabStops = {300, 200};  // order kept as the paragraph holds it
    Right.Runs = {Run("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", ""), Run(" default", "", 0)};
    Doc.Paragraphs = {Title, Table, Empty, Right};

    const std::string Text = WriteRtf(Doc);
    QVERIFY(LooksLikeRtf(Text));
    QVERIFY(Text.find("\\tx1000\\tx1500\\tx2000") != std::string::npos);
    QVERIFY(Text.find("\\u233?") != std::string::npos);
    QVERIFY(Text.find("\\u-10179?\\u-8704?") != std::string::npos);  // one emoji, two halves
    const auto Back = ReadRtf(Text);
    QVERIFY(Back.has_value());
    QCOMPARE(Back->Paragraphs.size(), Doc.Paragraphs.size());
    for (size_t P = 0; P < Doc.Paragraphs.size(); ++P) {
      QCOMPARE(Back->Paragraphs[P].TabStops, Doc.Paragraphs[P].TabStops);
      QCOMPARE(Back->Paragraphs[P].Alignment, Doc.Paragraphs[P].Alignment);
      QCOMPARE(Back->Paragraphs[P].Runs.size(), Doc.Paragraphs[P].Runs.size());
      for (size_t R = 0; R < Doc.Paragraphs[P].Runs.size(); ++R)
        QVERIFY2(Back->Paragraphs[P].Runs[R] == Doc.Paragraphs[P].Runs[R], Doc.Paragraphs[P].Runs[R].Text.c_str());
    }

    // Bytes that are not UTF-8 are kept as Latin-1 characters.
    TRtfDocument Latin;
    Latin.Paragraphs = {TRtfParagraph{}};
    Latin.Paragraphs[0].Runs = {Run("\xE9t\xE9")};
    QCOMPARE(ReadRtf(WriteRtf(Latin))->Paragraphs[0].Runs[0].Text, std::string("\xC3\xA9t\xC3\xA9"));
  }

  void commonRtfOfOtherWritersReads() {
    const std::string WordPad =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033{\\fonttbl{\\f0\\fnil\\fcharset0 Calibri;}"
        "{\\f1\\fswiss Arial;}}\r\n{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
        "{\\*\\generator Riched20 10.0;}\\viewkind4\\uc1 \r\n"
        "\\pard\\sa200\\sl276\\slmult1\\qc\\f0\\fs22\\lang9 Caf\\'e9 \\b bold\\b0  \\i it\\i0\\par\r\n"
        "\\pard\\tx720\\tx1440\\f1 a\\tab b\\par\r\n}\r\n";
    auto Doc = ReadRtf(WordPad);
    QVERIFY(!Doc.has_value());  // \nouicompat is not a word we know: shown as text instead

    std::string Known = WordPad;
    Known.erase(Known.find("\\nouicompat"), 11);
    Doc = ReadRtf(Known);
    QVERIFY(Doc.has_value());
    QCOMPARE(Doc->Paragraphs.size(), size_t(3));  // the closing \par leaves an empty paragraph
    const TRtfParagraph& First = Doc->Paragraphs[0];
    QCOMPARE(First.Alignment, TRtfAlignment::Center);
    QCOMPARE(First.Runs.size(), size_t(4));
    QCOMPARE(First.Runs[0].Text, std::string("Caf\xC3\xA9 "));
    QCOMPARE(First.Runs[0].FontName, std::string("Calibri"));
    QCOMPARE(First.Runs[0].HalfPoints, 22);
    QVERIFY(First.Runs[1].Bold && First.Runs[1].Text == "bold");
    QVERIFY(First.Runs[3].Italic);
    QCOMPARE(Doc->Paragraphs[1].TabStops, (std::vector<int>{36, 72}));
    QCOMPARE(Doc->Paragraphs[1].Runs[0].Text, std::string("a\tb"));
    QCOMPARE(Doc->Paragraphs[1].Runs[0].FontName, std::string("Arial"));
  }

  // What the reader gives is what the writer writes back: font names beyond ASCII (by \', \u or
  // a raw code page byte), a line feed or carriage return given as a character, a negative tab
  // stop and a ';' inside a font name all read the same the second time.
  void whatIsReadWritesAndReadsBackTheSame() {
    const std::string Header = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl";
    const std::vector<std::string> Inputs = {
        Header + "{\\f0\\fnil Caf\\'e9;}}\\f0 x}",
        Header + "{\\f0\\fnil Caf\xE9;}}\\f0 x}",
        Header + "{\\f0\\fnil Caf\\u233?;}{\\f1\\fnil \\u-10179?\\u-8704?;}}\\f0 x\\f1 y}",
        Header + "{\\f0\\fnil A\\'3bB\\{\\\\\\'0d;}}\\f0 x}",
        Header + "}one\\u10?two\\'0dthree\\'0afour}",
        Header + "}\\pard\\tx-55\\tx-10\\tx-9\\tx29\\tx30 a}",
        Header + "}\\pard\\tx99999999999720\\tx-99999999999\\fs12345678901 a}",
    };
    for (const std::string& Input : Inputs) {
      const auto First = ReadRtf(Input);
      QVERIFY2(First.has_value(), Input.c_str());
      const std::string Again = WriteRtf(*First);
      const auto Second = ReadRtf(Again);
      QVERIFY2(Second.has_value(), Again.c_str());
      QVERIFY2(*Second == *First, Again.c_str());
      for (const TRtfParagraph& P : First->Paragraphs)
        for (const TRtfRun& R : P.Runs) QVERIFY(R.Text.find_first_of("\r\n") == std::string::npos);
    }
    QCOMPARE(ReadRtf(Inputs[0])->Paragraphs[0].Runs[0].FontName, std::string("Caf\xC3\xA9"));
    QCOMPARE(ReadRtf(Inputs[1])->Paragraphs[0].Runs[0].FontName, std::string("Caf\xC3\xA9"));
    QCOMPARE(ReadRtf(Inputs[2])->Paragraphs[0].Runs[0].FontName, std::string("Caf\xC3\xA9"));
    QCOMPARE(ReadRtf(Inputs[2])->Paragraphs[0].Runs[1].FontName, std::string("\xF0\x9F\x98\x80"));
    QCOMPARE(ReadRtf(Inputs[3])->Paragraphs[0].Runs[0].FontName, std::string("A;B{\\"));
    const auto Lines = ReadRtf(Inputs[4]);
    QCOMPARE(Lines->Paragraphs.size(), size_t(3));
    QCOMPARE(Lines->Paragraphs[1].Runs[0].Text, std::string("twothree"));
    QCOMPARE(ReadRtf(Inputs[5])->Paragraphs[0].TabStops, (std::vector<int>{-3, 0, 0, 1, 2}));
    // Numbers past what a document can mean are held at one bound, which writes back as itself.
    QCOMPARE(ReadRtf(Inputs[6])->Paragraphs[0].TabStops, (std::vector<int>{50000000, -50000000}));
  }

  // Paragraphs after many tab stops, and runs after a long font name, hold one copy of them: the
  // reading and the writing back cost a few times the text. Past the caps (tab stops per
  // paragraph, bytes per font name) the text is refused, the refusal naming the cap.
  void sharedTabStopsAndFontsCostTheText() {
    const std::string Header = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil ";
    const auto Stops = [](size_t Count) {
      std::string Text = "\\pard";
      for (size_t i = 0; i < Count; ++i) Text += "\\tx" + std::to_string(20 * (i + 1));
      return Text;
    };
    std::string Paragraphs, Runs;
    for (int i = 0; i < 25000; ++i) Paragraphs += "a\\par ";
    for (int i = 0; i < 20000; ++i) Runs += "{\\b a}a";
    const std::string Font(MaxRtfFontNameBytes, 'F');
    const struct {
      std::string Text;
      const char* Refusal;
    } Cases[] = {
        {Header + "A;}}" + Stops(MaxRtfTabStops) + " " + Paragraphs + "}", ""},
        {Header + Font + ";}}\\f0 " + Runs + "}", ""},
        {Header + "A;}}" + Stops(10000) + " " + Paragraphs + "}",
         "a paragraph sets more than 256 tab stops, the most a paragraph may hold"},
        {Header + std::string(50000, 'F') + ";}}\\f0 " + Runs + "}",
         "a font name is longer than 256 bytes, the most a font name may hold"},
    };
    for (const auto& Case : Cases) {
      std::string Refusal;
      std::optional<TRtfDocument> Doc;
      std::string Written;
      {
        test::TAllocationCap Cap(32 * Case.Text.size() + (8 << 20));
        Doc = ReadRtf(Case.Text, Refusal);
        if (Doc) Written = WriteRtf(*Doc);
        QVERIFY(!Cap.Reached());
      }
      QCOMPARE(Refusal, std::string(Case.Refusal));
      QCOMPARE(Doc.has_value(), Refusal.empty());
      if (!Doc) continue;
      QVERIFY(Written.size() < 4 * Case.Text.size());
      const auto Back = ReadRtf(Written);
      QVERIFY(Back && *Back == *Doc);
      const TRtfParagraph& Last = Doc->Paragraphs.back();
      QVERIFY(Doc->Paragraphs.front().TabStops.SharedWith(Last.TabStops));
      QVERIFY(Doc->Paragraphs.front().Runs.front().FontName.SharedWith(Doc->Paragraphs.front().Runs.back().FontName));
    }
  }

  void whatCannotBeShownIsRefused() {
    QVERIFY(!LooksLikeRtf("plain text"));
    QVERIFY(!ReadRtf("plain text").has_value());
    QVERIFY(!ReadRtf("").has_value());
    QVERIFY(!ReadRtf("{\\rtf1\\ansi unclosed").has_value());
    QVERIFY(!ReadRtf("{\\rtf1{\\trowd\\cellx100 A\\cell\\row}}").has_value());
    QVERIFY(!ReadRtf("{\\rtf1{\\pict\\pngblip 89504e47}}").has_value());
    QVERIFY(!ReadRtf("{\\rtf1 bad hex \\'zz}").has_value());
    QVERIFY(!ReadRtf(std::string(200, '{')).has_value());
    std::string Deep = "{\\rtf1 ";
    for (int I = 0; I < 150; ++I) Deep += "{";
    for (int I = 0; I < 150; ++I) Deep += "}";
    QVERIFY(!ReadRtf(Deep + "}").has_value());
    // Every cut of a written file is read or refused, never read past its end.
    TRtfDocument Doc0;
    Doc0.Paragraphs.resize(2);
    Doc0.Paragraphs[0].TabStops = {10};
    Doc0.Paragraphs[0].Runs = {Run("a\tb \xC3\xA9 {c}")};
    Doc0.Paragraphs[1].Runs = {Run("\xF0\x9F\x98\x80", "Serif", 0)};
    std::string Full = WriteRtf(Doc0);
    Full.insert(Full.rfind('}'), "{\\'e9\\u300?\\\n}");
    for (size_t Cut = 0; Cut < Full.size(); ++Cut) (void)ReadRtf(Full.substr(0, Cut));
    // Ignorable groups and unknown destinations marked \* are skipped whole.
    const auto Doc = ReadRtf("{\\rtf1{\\*\\unknown {\\trowd}}{\\info{\\title T}}x}");
    QVERIFY(Doc.has_value());
    QCOMPARE(Doc->Paragraphs[0].Runs[0].Text, std::string("x"));
  }
};

static qv::test::RegisterUiTest<RtfTest> RegisterRtfTest;
#include "RtfTest.moc"
