// Writes the seed corpora of the fuzz targets with the program's own writers:
//   make_seeds <out folder> [<folder of instrument FCS files>]
// gives <out>/fcs, protocol, unpack, datafile, fitness, fitness-report, genotype, matrix,
// settings and rtf. Instrument files are cut to their first events so that the fuzzer works on
// small inputs that still read as whole files.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FcsWriter.h"
#include "Files.h"
#include "FitnessFixtures.h"
#include "FuzzSupport.h"
#include "Globals.h"
#include "NumberFormat.h"
#include "report/RtfWriter.h"
#include "reports/Spreadsheet.h"
#include "Streams.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "fitness/FitnessCalculator.h"
#include "fcs/FCSFile.h"

using namespace qv;
namespace fs = std::filesystem;

namespace {

void Save(const fs::path& Name, const std::vector<uint8_t>& Bytes) {
  std::ofstream Out(Name, std::ios::binary);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

void Save(const fs::path& Name, const std::string& Text) {
  Save(Name, std::vector<uint8_t>(Text.begin(), Text.end()));
}

std::vector<uint8_t> Load(const fs::path& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

void FcsSeeds(const fs::path& Out) {
  using namespace qv::test;
  int n = 0;
  auto Put = [&](const FcsFileSpec& Spec) {
    Save(Out / ("writer-" + std::to_string(n++) + ".fcs"), BuildFcs(Spec));
  };
  for (const auto Type : {FcsDataType::Int16, FcsDataType::Float32})
    for (const bool Big : {false, true}) {
      FcsFileSpec Spec;
      Spec.DataType = Type;
      Spec.BigEndian = Big;
      Spec.Parameters = {LinearParameter("FSC-H", 1024), LinearParameter("SSC-H", 1024),
                         LogParameter("FL1-H", 4, 1024, "GFP"), LogParameter("FL2-H", 4, 1024, "RFP")};
      for (int e = 0; e < 24; ++e)
        Spec.Events.push_back(
            {double(100 + 30 * e), double(300 + 7 * e), double((e * 97) % 1024), double((e * 53) % 1024)});
      Put(Spec);
      Spec.Version = "FCS2.0";
      Spec.DataOffsets = FcsDataOffsets::TextZero;
      Put(Spec);
      Spec.Version = "FCS3.1";
      Spec.DataOffsets = FcsDataOffsets::TextBlank;
      Spec.Delimiter = '|';
      Spec.TextPadding = "  ";
      Put(Spec);
    }
  FcsFileSpec Narrow;
  Narrow.DataType = FcsDataType::Int16;
  Narrow.Parameters = {LinearParameter("FSC-H", 1024), LinearParameter("FL1", std::nullopt)};
  Narrow.Parameters[0].Bits = 10;
  Narrow.Events = {{1, 2}, {3, 4}};
  Put(Narrow);
  FcsFileSpec NoPar;
  NoPar.Parameters = {LinearParameter("FSC-H")};
  NoPar.Omit = {"$PAR"};
  NoPar.Events = {{1}};
  Put(NoPar);
}

// An instrument file cut to its first Keep events: $TOT rewritten in place (right-justified in
// its old width) and the HEADER's DATA end moved.
bool Shrink(std::vector<uint8_t>& File, int Keep) {
  if (File.size() < 58) return false;
  auto Field = [&](int i) {
    return std::atoll(std::string(File.begin() + 10 + 8 * i, File.begin() + 18 + 8 * i).c_str());
  };
  const long long TextBegin = Field(0), TextEnd = Field(1), DataBegin = Field(2);
  if (TextBegin < 58 || TextEnd <= TextBegin || TextEnd >= static_cast<long long>(File.size()) || DataBegin <= TextEnd)
    return false;
  std::string Text(File.begin() + TextBegin, File.begin() + TextEnd + 1);
  const char D = Text[0];
  auto Value = [&](const std::string& Key, size_t& At) -> std::string {
    const std::string Needle = std::string(1, D) + Key + D;
    At = Text.find(Needle);
    if (At == std::string::npos) return "";
    At += Needle.size();
    return Text.substr(At, Text.find(D, At) - At);
  };
  size_t TotAt = 0, Unused = 0;
  const std::string Tot = Value("$TOT", TotAt);
  const long long Par = std::atoll(Value("$PAR", Unused).c_str());
  const std::string Type = Value("$DATATYPE", Unused);
  if (Tot.empty() || Par <= 0 || std::atoll(Tot.c_str()) <= Keep) return false;
  std::string NewTot = std::to_string(Keep);
  NewTot = std::string(Tot.size() - NewTot.size(), ' ') + NewTot;
  std::copy(NewTot.begin(), NewTot.end(), File.begin() + TextBegin + static_cast<long long>(TotAt));
  const long long End = DataBegin + Keep * Par * (Type == "F" ? 4 : 2);
  if (End > static_cast<long long>(File.size())) return false;
  File.resize(static_cast<size_t>(End));
  char Buffer[9];
  std::snprintf(Buffer, sizeof Buffer, "%8lld", End - 1);
  std::copy(Buffer, Buffer + 8, File.begin() + 34);
  return true;
}

void SampleSeeds(const fs::path& Out, const fs::path& Samples) {
  std::error_code Error;
  for (const auto& Entry : fs::directory_iterator(Samples, Error)) {
    if (!Entry.is_regular_file() || Entry.path().extension() == ".md") continue;
    std::vector<uint8_t> File = Load(Entry.path());
    if (Shrink(File, 40) || File.size() <= 65536) Save(Out / ("sample-" + Entry.path().filename().string()), File);
  }
}

void ProtocolSeeds(const fs::path& Out) {
  int n = 0;
  auto Put = [&](TProtocol& P) {
    TMemoryStream S;
    P.WriteToStream(S, false);
    Save(Out / ("protocol-" + std::to_string(n++)), S.Bytes());
  };
  for (const bool Named : {true, false}) {
    auto P = fuzz::AnalysisProtocol(Named);
    Put(*P);
    P->GetGenotype(0)->AddComponent(1);
    TChannelFilterInfo Filter;
    Filter.Name = "spill";
    Filter.SourceChannel = 0;
    Filter.SpilloverChannel = 1;
    Filter.MaxSpillover = 0.5f;
    Filter.MinSpillover = 0.01f;
    P->Filters->Add(Filter);
    P->Notes = "notes";
    P->LikelihoodThreshold = 2;
    P->ScoreSingles = true;
    Put(*P);
  }
  TProtocol Empty;
  Put(Empty);
}

void UnpackSeeds(const fs::path& Out, const fs::path& Protocols, const fs::path& Fcs) {
  int n = 0;
  for (const fs::path& Folder : {Protocols, Fcs})
    for (const auto& Entry : fs::directory_iterator(Folder)) {
      if (fs::file_size(Entry.path()) > 4096) continue;
      PackFile(Entry.path().string(), (Out / ("packed-" + std::to_string(n++) + ".zlib")).string(), false);
    }
}

// Own data files, each as stored (form byte 0) and as its unpacked stream (form byte 1, with
// options in the other bits).
void DataFileSeeds(const fs::path& Out, const fs::path& Scratch) {
  int n = 0;
  auto Put = [&](const std::string& File) {
    const std::vector<uint8_t> Packed = Load(File);
    std::vector<uint8_t> Stored{0};
    Stored.insert(Stored.end(), Packed.begin(), Packed.end());
    Save(Out / ("stored-" + std::to_string(n) + ".Quorvenal"), Stored);
    for (const uint8_t Form : {1, 1 | 4 | 16, 1 | 2 | 8}) {
      std::vector<uint8_t> Plain{Form};
      const std::vector<uint8_t> Stream = fuzz::Unpack(Packed);
      Plain.insert(Plain.end(), Stream.begin(), Stream.end());
      Save(Out / ("plain-" + std::to_string(n) + "-" + std::to_string(Form)), Plain);
    }
    ++n;
  };
  const std::string File = (Scratch / "seed.Quorvenal").string();
  auto Assay = test::AssayProtocol({"A", "B"}, {"GFP", "RFP"}, 2);
  test::SaveAssayFile(File, *Assay, {{2, 6, 5}, {1, 3, 7}}, true);
  Put(File);
  test::SaveAssayFile(File, *Assay, {});
  Put(File);
  // An analysed set: the protocol saved with its fits.
  test::FcsFileSpec Spec;
  Spec.DataType = test::FcsDataType::Float32;
  for (const char* Name : {"FSC", "SSC", "FL1", "FL2"}) Spec.Parameters.push_back(test::LinearParameter(Name, 262144));
  for (int i = 0; i < 40; ++i) {
    const bool Green = i % 2 == 0;
    Spec.Events.push_back({150.0 + 17 * i, 300.0 + 5 * i, Green ? 250.0 + i : 8.0 + i % 3, Green ? 10.0 : 700.0 - i});
  }
  const std::string Fcs = (Scratch / "seed.fcs").string();
  test::WriteFcs(Fcs, Spec);
  TFCSFile FcsFile(Fcs);
  auto Protocol = fuzz::AnalysisProtocol(true);
  auto Set = TFCSData::Create(FcsFile, 0, false, nullptr, Protocol.get());
  Set->SaveToFile(File, *Protocol);
  Put(File);
}

// The four data files of a fitness assay, then its reports: one, all sections, two reports in
// one file, and one with a bootstrap.
void FitnessSeeds(const fs::path& Out, const fs::path& Reports, const fs::path& Scratch) {
  struct TAssay {
    std::vector<std::string> Genotypes1, Genotypes2, Fluors;
    std::vector<std::vector<std::vector<int32_t>>> Plates;  // e1, o1, e2, o2
  };
  const std::vector<TAssay> Assays = {
      {{"A", "B"}, {"B", "A"}, {"GFP", "YFP"}, {{{2, 10, 10}}, {{1, 10, 2}, {1, 5, 3}}, {{0, 10, 10}}, {{1, 6, 14}}}},
      {{"A", "B", "C"},
       {"C", "A", "B"},
       {"GFP", "YFP", "RFP"},
       {{{1, 8, 8, 8}}, {{0, 12, 4, 8}}, {{2, 8, 8, 8}}, {{1, 5, 9, 10}, {0, 7, 7, 7}}}},
      {{"A", "B"}, {"B", "X"}, {"GFP", "YFP"}, {{{0, 5, 5}}, {{0, 5, 5}}, {{0, 5, 5}}, {{0, 5, 5}}}},
  };
  const char* const Names[4] = {"e1.Quorvenal", "o1.Quorvenal", "e2.Quorvenal", "o2.Quorvenal"};
  int n = 0;
  std::string Both;
  for (const TAssay& A : Assays) {
    auto P1 = test::AssayProtocol(A.Genotypes1, A.Fluors);
    auto P2 = test::AssayProtocol(A.Genotypes2, A.Fluors);
    std::string Input;
    for (int f = 0; f < 4; ++f) {
      const std::string File = (Scratch / Names[f]).string();
      test::SaveAssayFile(File, f < 2 ? *P1 : *P2, A.Plates[f]);
      const std::vector<uint8_t> Stream = fuzz::Unpack(Load(File));
      Input += fuzz::DataFileSeparator + std::string(Stream.begin(), Stream.end());
    }
    for (const uint8_t Options : {0, 1, 2, 3, 4 | 1, 8 | 16}) Save(Out / ("assay-" + std::to_string(n++)), char(Options) + Input);

    TFitnessFileSet Set;
    Set.Folder = Scratch.string();
    Set.Expected = {Names[0], Names[2]};
    Set.Observed = {Names[1], Names[3]};
    TFitnessCalculator C(Set, nullptr);
    if (!C.FilesRead) continue;
    std::string Text;
    for (const int32_t Mode : {0, 1}) {
      C.Calculate(1, Mode, false, true, true, nullptr);
      C.ReportAll(false, false, Text);
      Save(Reports / ("report-" + std::to_string(n) + "-" + std::to_string(Mode) + ".txt"), Text);
      Both += Text;
      C.ReportAll(true, true, Text);
      Save(Reports / ("sections-" + std::to_string(n) + "-" + std::to_string(Mode) + ".txt"), Text);
    }
    if (C.Bootstrap(2, 1, 4, false, nullptr, nullptr)) {
      C.ReportAll(false, false, Text);
      Save(Reports / ("bootstrap-" + std::to_string(n) + ".txt"), Text);
    }
  }
  Save(Reports / "reports.txt", Both);
  // A missing file.
  Save(Out / "missing", std::string(1, '\0') + fuzz::DataFileSeparator);
}

// The first byte is the channel count.
void GenotypeSeeds(const fs::path& Out) {
  const std::vector<std::string> Files = {"\x03A,0\nB,1\nAB,0,1\n",
                                          "\x04\"wild type\", 0\r\n\r\nmutant 1 2 3\r\n",
                                          "\x02A,0\nC,7\n",
                                          "\x02\"say \"\"hi\"\"\",1,0",
                                          "\x01,0\n"};
  for (size_t i = 0; i < Files.size(); ++i) Save(Out / ("genotypes-" + std::to_string(i) + ".txt"), Files[i]);
}

// Pasted matrices as a spreadsheet copies the protocol's grids: tab-separated rows, and the
// quoted CSV lines of the grid; the first byte is the channel count.
void MatrixSeeds(const fs::path& Out) {
  int n = 0;
  for (int32_t Count : {2, 3, 4}) {
    std::vector<std::string> Fluors;
    for (int32_t c = 0; c < Count; ++c) Fluors.push_back("F" + std::to_string(c));
    auto P = test::AssayProtocol({}, Fluors);
    for (int32_t i = 0; i < Count; ++i)
      for (int32_t j = 0; j < Count; ++j) {
        TCompensationPair Pair;
        Pair.Mean = i == j ? 100.0f : 2.5f * static_cast<float>(i + 2 * j);
        P->GetChannel(i)->SetCompPair(j, Pair, true);
      }
    P->BuildCompensationMatrix(false);
    StringTable Grid;
    P->FillCompensationGrid(Grid);
    std::string Pasted(1, static_cast<char>(Count));
    for (int32_t r = 1; r < Grid.RowCount(); ++r) {
      for (int32_t c = 1; c < Grid.ColCount(); ++c) Pasted += Grid.Cell(c, r) + (c + 1 < Grid.ColCount() ? "\t" : "");
      Pasted += "\r\n";
    }
    Save(Out / ("grid-" + std::to_string(n++)), Pasted);
    std::string Percent(1, static_cast<char>(Count));
    for (int32_t r = 0; r < Count; ++r) {
      for (int32_t c = 0; c < Count; ++c) {
        TCompensationPair Pair;
        P->GetChannel(c)->GetCompPair(r, true, Pair);
        Percent += FloatToStr(Pair.Mean) + (c + 1 < Count ? "\t" : "");
      }
      Percent += "\n";
    }
    Save(Out / ("percent-" + std::to_string(n++)), Percent);
    std::vector<std::string> Lines;
    GridToQuotedLines(Grid, Lines);
    Save(Out / ("quoted-" + std::to_string(n++)), std::string(1, static_cast<char>(Count)) + JoinLines(Lines, "\r\n"));
  }
}

// FCS.INI as the program saves it: with its defaults, with every setting changed, and with the
// lines of a user's file it keeps.
void SettingsSeeds(const fs::path& Out, const fs::path& Scratch) {
  const fs::path Home = Scratch / "home";
  fs::create_directories(Home);
  setenv("QUORVENAL_HOME", Home.c_str(), 1);
  const fs::path Ini = Home / "FCS.INI";
  int n = 0;
  auto Put = [&] {
    SaveSettings();
    Save(Out / ("FCS-" + std::to_string(n++) + ".INI"), Load(Ini));
  };
  LoadSettings();
  Put();
  ShowFileType = 2;
  LogScale = 5.5f;
  CompensationMode = 2;
  HistogramBinCount = 512;
  TabWidth = 40;
  SSDIterations = 1000;
  ReleaseCode = "code";
  SaveDir = Home.string();
  Put();
  Save(Ini, std::string("; kept\r\n[Peaks]\r\nHistogramBinCount = 0x40\r\n[Other]\r\nKey=Value\r\n\r\n"));
  LoadSettings();
  Put();
  unsetenv("QUORVENAL_HOME");
}

void RtfSeeds(const fs::path& Out) {
  TRtfDocument D;
  TRtfParagraph Title;
  Title.Alignment = TRtfAlignment::Center;
  TRtfRun Bold;
  Bold.Text = "Quorvenal Fitness Report";
  Bold.Bold = true;
  Bold.HalfPoints = 28;
  Bold.FontName = "Arial";
  Title.Runs.push_back(Bold);
  D.Paragraphs.push_back(Title);
  TRtfParagraph Table;
  Table.TabStops = {36, 72, 144};
  TRtfRun Plain;
  Plain.Text = "GFP\tA\t100\t0.5000 {braces} back\\slash caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80";
  Plain.FontName = "Courier New";
  TRtfRun Marked = Plain;
  Marked.Text = "marked";
  Marked.Italic = Marked.Underline = Marked.StrikeOut = true;
  Table.Runs = {Plain, Marked};
  D.Paragraphs.push_back(Table);
  D.Paragraphs.push_back(TRtfParagraph{TRtfAlignment::Right, {}, {}});
  Save(Out / "report.rtf", WriteRtf(D));
  Save(Out / "empty.rtf", WriteRtf(TRtfDocument{{TRtfParagraph{}}}));
  // What other writers put around text.
  Save(Out / "other.rtf", std::string("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Helvetica;}}{\\colortbl;"
                                      "\\red255\\green0\\blue0;}{\\*\\generator x;}\\viewkind4\\uc1\\pard"
                                      "\\sa200\\f0\\fs20 one\\par two \\'e9\\u8364? \\line\\tab end}"));
  // Documents described to the writer.
  Save(Out / "described-0", std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <out folder> [<instrument FCS folder>]\n", argv[0]);
    return 2;
  }
  fuzz::Quiet();
  const fs::path Out = argv[1];
  for (const char* Sub : {"fcs", "protocol", "unpack", "datafile", "fitness", "fitness-report", "genotype", "matrix",
                          "settings", "rtf", "scratch"})
    fs::create_directories(Out / Sub);
  FcsSeeds(Out / "fcs");
  if (argc > 2 && fs::is_directory(argv[2])) SampleSeeds(Out / "fcs", argv[2]);
  ProtocolSeeds(Out / "protocol");
  UnpackSeeds(Out / "unpack", Out / "protocol", Out / "fcs");
  DataFileSeeds(Out / "datafile", Out / "scratch");
  FitnessSeeds(Out / "fitness", Out / "fitness-report", Out / "scratch");
  GenotypeSeeds(Out / "genotype");
  MatrixSeeds(Out / "matrix");
  SettingsSeeds(Out / "settings", Out / "scratch");
  RtfSeeds(Out / "rtf");
  fs::remove_all(Out / "scratch");
  return 0;
}
