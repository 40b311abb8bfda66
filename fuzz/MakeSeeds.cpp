// Writes the seed corpora of the fuzz targets with the program's own writers:
//   make_seeds <out folder> [<folder of instrument FCS files>]
// gives <out>/fcs, protocol, unpack, datafile, fitness, fitness-report, genotype, matrix,
// settings and rtf. Instrument files are cut to their first events so that the fuzzer works on
// small inputs that still read as whole files.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
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
#include "reports/ProportionReport.h"
#include "reports/Spreadsheet.h"
#include "Streams.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "fitness/FitnessArray.h"
#include "fitness/FitnessCalculator.h"
#include "fitness/FitnessShared.h"
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
  // Repeated structures: many parameters, half of them logarithmic; many keywords; many events.
  FcsFileSpec Wide;
  Wide.DataType = FcsDataType::Int16;
  for (int p = 0; p < 240; ++p) {
    const std::string Name = "FL" + std::to_string(p) + "-H";
    Wide.Parameters.push_back(p % 2 ? LogParameter(Name, 4, 1024, "Marker " + std::to_string(p))
                                    : LinearParameter(Name, 1024));
  }
  Wide.Events.assign(8, std::vector<double>(Wide.Parameters.size(), 100));
  Put(Wide);
  // A 16-bit file of many log parameters of the full range: a table of 65536 values each.
  FcsFileSpec Logs;
  Logs.DataType = FcsDataType::Int16;
  for (int p = 0; p < 64; ++p) Logs.Parameters.push_back(LogParameter("FL" + std::to_string(p), 4, 65536));
  Logs.Events.assign(100, std::vector<double>(Logs.Parameters.size(), 30000));
  Put(Logs);
  FcsFileSpec Keywords = Narrow;
  for (int k = 0; k < 3000; ++k) Keywords.Keywords.emplace_back("KEY" + std::to_string(k), "value " + std::to_string(k));
  Put(Keywords);
  FcsFileSpec Long;
  Long.DataType = FcsDataType::Int16;
  Long.Parameters = {LinearParameter("FSC-H", 1024), LinearParameter("SSC-H", 1024),
                     LogParameter("FL1-H", 4, 1024, "GFP"), LogParameter("FL2-H", 4, 1024, "RFP")};
  Long.EventCount = 30000;
  Long.Value = [](int64_t e, int32_t p) { return static_cast<double>((e * (31 + 17 * p) + 7 * p) % 1024); };
  Put(Long);
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

  // Repeated structures: as many gates as a protocol may have, each on a parameter of the
  // target's file so that the analysis runs; every channel a protocol may have, each with many
  // peaks; many genotypes of several components; many filters.
  auto Many = fuzz::CompensatedChannels(TProtocol::MaxChannels);
  const char* const Parameters[] = {"FSC-H", "SSC-H", "FL1", "FL2", ""};
  for (int g = 0; g < TProtocol::MaxGates; ++g) {
    TGateInfo Info;
    Info.Name = "Gate" + std::to_string(g);
    Info.FCSLabel = Parameters[g % 5];
    Info.Active = true;
    Info.MaximumValue = 1e6f;
    Many->AddGate(std::make_unique<TGlobalGate>(Info, Many.get()));
  }
  Put(*Many);
  for (int32_t c = 0; c < Many->ChannelCount(); ++c)
    for (int k = 0; k < 40; ++k) Many->GetChannel(c)->AddPeak(false, -1, 1 + 0.05f * k, 0.2f, 1, 0, 0, 0, 2, -2);
  for (int g = 0; g < 1500; ++g) {
    const int32_t First = g % TProtocol::MaxChannels;
    Many->AddGenotype("G" + std::to_string(g), First, g % 40);
    Many->GetGenotype(Many->GenotypeCount() - 1)->AddComponent((First + 1 + g / 15) % TProtocol::MaxChannels);
  }
  for (int f = 0; f < 500; ++f) {
    TChannelFilterInfo Filter;
    Filter.Name = "filter" + std::to_string(f);
    Filter.SourceChannel = f % TProtocol::MaxChannels;
    Filter.SpilloverChannel = (f + 1) % TProtocol::MaxChannels;
    Filter.MaxSpillover = 0.5f;
    Many->Filters->Add(Filter);
  }
  Put(*Many);
}

// The small files, and the largest of each folder.
void UnpackSeeds(const fs::path& Out, const fs::path& Protocols, const fs::path& Fcs) {
  int n = 0;
  for (const fs::path& Folder : {Protocols, Fcs}) {
    fs::path Largest;
    for (const auto& Entry : fs::directory_iterator(Folder)) {
      if (Largest.empty() || fs::file_size(Entry.path()) > fs::file_size(Largest)) Largest = Entry.path();
      if (fs::file_size(Entry.path()) > 4096) continue;
      PackFile(Entry.path().string(), (Out / ("packed-" + std::to_string(n++) + ".zlib")).string(), false);
    }
    if (!Largest.empty()) PackFile(Largest.string(), (Out / ("packed-" + std::to_string(n++) + ".zlib")).string(), false);
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
  // Repeated structures: many stored file names, each with an event (as many as the analysis
  // report compares pairwise, and more); many events.
  for (const int32_t Files : {MaxFilesWithDistances, 4000}) {
    test::SaveAssayFile(File, *Assay, std::vector<std::vector<int32_t>>(Files, std::vector<int32_t>{0, 1}), true);
    Put(File);
  }
  test::SaveAssayFile(File, *Assay, {{2000, 2000, 2000}, {1000, 1500, 1500}}, true);
  Put(File);
}

// The four data files of a fitness assay, then its reports: one, all sections, two reports in
// one file, and one with a bootstrap.
void FitnessSeeds(const fs::path& Out, const fs::path& Reports, const fs::path& Scratch) {
  struct TAssay {
    std::vector<std::string> Genotypes1, Genotypes2, Fluors;
    std::vector<std::vector<std::vector<int32_t>>> Plates;  // e1, o1, e2, o2
  };
  std::vector<TAssay> Assays = {
      {{"A", "B"}, {"B", "A"}, {"GFP", "YFP"}, {{{2, 10, 10}}, {{1, 10, 2}, {1, 5, 3}}, {{0, 10, 10}}, {{1, 6, 14}}}},
      {{"A", "B", "C"},
       {"C", "A", "B"},
       {"GFP", "YFP", "RFP"},
       {{{1, 8, 8, 8}}, {{0, 12, 4, 8}}, {{2, 8, 8, 8}}, {{1, 5, 9, 10}, {0, 7, 7, 7}}}},
      {{"A", "B"}, {"B", "X"}, {"GFP", "YFP"}, {{{0, 5, 5}}, {{0, 5, 5}}, {{0, 5, 5}}, {{0, 5, 5}}}},
  };
  // Repeated structures: as many observed plates as an assay takes (plate pairs grow with their
  // square); every channel a protocol may have, a genotype on each; the smallest report, of one
  // genotype.
  std::vector<TAssay> Large(3);
  Large[2] = {{"A"}, {"A"}, {"GFP"}, {{{1, 10}}, {{1, 12}}, {{1, 10}}, {{1, 9}}}};
  Large[0] = {{"A", "B"}, {"B", "A"}, {"GFP", "YFP"}, {}};
  Large[0].Plates.assign(4, {});
  for (int f = 0; f < 4; ++f)
    for (int p = 0; p < (f % 2 ? MaxFitnessPlates : 4); ++p) Large[0].Plates[f].push_back({1, 8 + p % 5, 9 + p % 3});
  for (int c = 0; c < TProtocol::MaxChannels; ++c) {
    Large[1].Genotypes1.push_back("S" + std::to_string(c));
    Large[1].Genotypes2.push_back("S" + std::to_string((c + 1) % TProtocol::MaxChannels));
    Large[1].Fluors.push_back("F" + std::to_string(c));
  }
  Large[1].Plates.assign(4, {});
  for (int f = 0; f < 4; ++f)
    for (int p = 0; p < 2; ++p) {
      std::vector<int32_t> Counts{2};
      for (int c = 0; c < TProtocol::MaxChannels; ++c) Counts.push_back(10 + (c * 7 + f + p) % 9);
      Large[1].Plates[f].push_back(Counts);
    }
  Assays.insert(Assays.end(), Large.begin(), Large.end());
  const char* const Names[4] = {"e1.Quorvenal", "o1.Quorvenal", "e2.Quorvenal", "o2.Quorvenal"};
  int n = 0;
  std::string Both, Smallest;
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
    // Large assays take a second a run: two option sets of them.
    const std::vector<uint8_t> Options =
        Input.size() > 20000 ? std::vector<uint8_t>{0, 4 | 1} : std::vector<uint8_t>{0, 1, 2, 3, 4 | 1, 8 | 16};
    for (const uint8_t O : Options) Save(Out / ("assay-" + std::to_string(n++)), char(O) + Input);

    TFitnessFileSet Set;
    Set.Folder = Scratch.string();
    Set.Expected = {Names[0], Names[2]};
    Set.Observed = {Names[1], Names[3]};
    TFitnessCalculator C(Set, nullptr);
    if (!C.FilesRead) continue;
    std::string Text;
    // Every section of an assay of many plates is megabytes.
    const bool Sections = C.PlateCount1 * C.PlateCount2 <= 16;
    for (const int32_t Mode : {0, 1}) {
      C.Calculate(1, Mode, false, Sections, Sections, nullptr);
      C.ReportAll(false, false, Text);
      Save(Reports / ("report-" + std::to_string(n) + "-" + std::to_string(Mode) + ".txt"), Text);
      Both += Text;
      if (Smallest.empty() || Text.size() < Smallest.size()) Smallest = Text;
      if (!Sections) continue;
      C.ReportAll(true, true, Text);
      Save(Reports / ("sections-" + std::to_string(n) + "-" + std::to_string(Mode) + ".txt"), Text);
    }
    if (C.Bootstrap(2, 1, 4, false, nullptr, nullptr)) {
      C.ReportAll(false, false, Text);
      Save(Reports / ("bootstrap-" + std::to_string(n) + ".txt"), Text);
    }
  }
  Save(Reports / "reports.txt", Both);
  // As many reports as a file may hold, as a user appends them, and of the smallest.
  const auto Titles = [](const std::string& Text) {
    const std::string Title = "Quorvenal Fitness Report\r\n";
    int32_t Count = 0;
    for (size_t At = Text.find(Title); At != std::string::npos; At = Text.find(Title, At + 1)) ++Count;
    return Count;
  };
  std::string Many;
  const int32_t InBoth = std::max(Titles(Both), 1);
  for (int32_t Count = InBoth; Count <= TFitnessArray::MaxReports; Count += InBoth) Many += Both;
  Save(Reports / "many-reports.txt", Many);
  Many.clear();
  for (int32_t Count = 0; Count < TFitnessArray::MaxReports; ++Count) Many += Smallest;
  Save(Reports / "many-small-reports.txt", Many);
  // A missing file.
  Save(Out / "missing", std::string(1, '\0') + fuzz::DataFileSeparator);
}

// The first byte is the channel count.
void GenotypeSeeds(const fs::path& Out) {
  // A hex escape takes every hex digit after it: the channel byte stands alone.
  const std::vector<std::string> Files = {"\x03" "A,0\nB,1\nAB,0,1\n",
                                          "\x04\"wild type\", 0\r\n\r\nmutant 1 2 3\r\n",
                                          "\x02" "A,0\nC,7\n",
                                          "\x02\"say \"\"hi\"\"\",1,0",
                                          "\x01,0\n"};
  for (size_t i = 0; i < Files.size(); ++i) Save(Out / ("genotypes-" + std::to_string(i) + ".txt"), Files[i]);
  // Repeated structures: many genotypes of several components.
  std::string Many = "\x09";
  for (int g = 0; g < 8000; ++g)
    Many += "\"strain " + std::to_string(g) + "\", " + std::to_string(g % 9) + ", " + std::to_string((g / 9) % 9) + "\r\n";
  Save(Out / "genotypes-many.txt", Many);
}

// Pasted matrices as a spreadsheet copies the protocol's grids: tab-separated rows, and the
// quoted CSV lines of the grid; the first byte gives the channel count (one more than it).
void MatrixSeeds(const fs::path& Out) {
  int n = 0;
  for (int32_t Count : {2, 3, 4}) {
    const char Channels = static_cast<char>(Count - 1);
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
    std::string Pasted(1, Channels);
    for (int32_t r = 1; r < Grid.RowCount(); ++r) {
      for (int32_t c = 1; c < Grid.ColCount(); ++c) Pasted += Grid.Cell(c, r) + (c + 1 < Grid.ColCount() ? "\t" : "");
      Pasted += "\r\n";
    }
    Save(Out / ("grid-" + std::to_string(n++)), Pasted);
    std::string Percent(1, Channels);
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
    // Its header row and column make the matrix one larger.
    Save(Out / ("quoted-" + std::to_string(n++)), std::string(1, static_cast<char>(Count)) + JoinLines(Lines, "\r\n"));
  }
  // Repeated structures: as many lines as a protocol has channels, each of many fields.
  std::string Wide(1, '\x07');
  for (int32_t r = 0; r < TProtocol::MaxChannels; ++r) {
    for (int32_t c = 0; c < 2000; ++c) Wide += FloatToStr(static_cast<float>((r * 31 + c) % 100) + 0.25f) + "\t";
    Wide += "\r\n";
  }
  Save(Out / "wide", Wide);
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
  // Repeated structures: many sections of many keys, and long values, kept by the program.
  std::string Many = "[Peaks]\r\nHistogramBinCount=64\r\n";
  for (int s = 0; s < 1000; ++s) {
    Many += "[Section" + std::to_string(s) + "]\r\n";
    for (int k = 0; k < 8; ++k) Many += "Key" + std::to_string(k) + "=Value " + std::to_string(s * 8 + k) + "\r\n";
  }
  Many += "[Long]\r\n";
  for (int k = 0; k < 20; ++k) Many += "Key" + std::to_string(k) + "=" + std::string(2100, 'v') + "\r\n";
  Save(Ini, Many);
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
  // Repeated structures: many paragraphs, each with its tab stops and runs in many fonts; one
  // font with a long name.
  TRtfDocument Long;
  for (int p = 0; p < 1200; ++p) {
    TRtfParagraph Line;
    Line.Alignment = static_cast<TRtfAlignment>(p % 3);
    for (int t = 1; t <= 8; ++t) Line.TabStops.push_back(36 * t + p % 7);
    for (int r = 0; r < 3; ++r) {
      TRtfRun Run;
      Run.Text = "cell " + std::to_string(p) + "\t" + std::to_string(r) + "\t";
      Run.FontName = "Font " + std::to_string((p * 3 + r) % 120);
      Run.Bold = r == 1;
      Run.HalfPoints = 16 + 2 * r;
      Line.Runs.push_back(Run);
    }
    Long.Paragraphs.push_back(Line);
  }
  Save(Out / "long.rtf", WriteRtf(Long));
  // Every run in one of its many fonts, each name as long as a name read may be.
  for (TRtfParagraph& Line : Long.Paragraphs)
    for (TRtfRun& Run : Line.Runs) {
      std::string Name = Run.FontName;
      Name.resize(MaxRtfFontNameBytes, 'N');
      Run.FontName = Name;
    }
  Save(Out / "long-font.rtf", WriteRtf(Long));
  // As other writers keep tab stops: the most a paragraph takes, set once, then carried from
  // paragraph to paragraph.
  std::string Carried = "{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil Arial;}}\\pard";
  for (int t = 1; t <= static_cast<int>(MaxRtfTabStops); ++t) Carried += "\\tx" + std::to_string(36 * t);
  Carried += "\\f0\\fs20 ";
  for (int p = 0; p < 4000; ++p) Carried += "row " + std::to_string(p) + "\\tab 1\\tab 2\\par\r\n";
  Save(Out / "carried.rtf", Carried + "}");
  // Documents described to the writer.
  Save(Out / "described-0", std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"));
}


// libFuzzer dictionaries, <kind>.dict beside the seed folders: pieces that, inserted again and
// again, make the structures a reader repeats. Entries longer than the fuzzer takes are left out.
void Dictionary(const fs::path& Name, const std::vector<std::string>& Entries) {
  std::string Text;
  for (const std::string& Entry : Entries) {
    if (Entry.empty() || Entry.size() > 64) continue;
    Text += '"';
    for (const char C : Entry) {
      const auto B = static_cast<unsigned char>(C);
      char Hex[5];
      std::snprintf(Hex, sizeof Hex, "\\x%02X", B);
      Text += C == '"' || C == '\\' ? std::string(Hex) : B < 0x20 || B >= 0x7f ? std::string(Hex) : std::string(1, C);
    }
    Text += "\"\n";
  }
  Save(Name, Text);
}

std::string Record(const std::function<void(TStream&)>& Write) {
  TMemoryStream S;
  Write(S);
  const std::vector<uint8_t>& Bytes = S.Bytes();
  return std::string(Bytes.begin(), Bytes.end());
}

std::string Int32(int32_t V) { return Record([V](TStream& S) { WriteInt32(S, V); }); }

void Dictionaries(const fs::path& Out) {
  // Counts that a reader sizes by, as the streams hold them.
  std::vector<std::string> Counts;
  for (const int32_t V : {15, 16, 255, 256, 4096, 65535, 65536, 1 << 20, 0x7fffffff}) Counts.push_back(Int32(V));

  std::vector<std::string> Fcs = {"$PAR", "$TOT", "$DATATYPE", "$BYTEORD", "1,2,3,4", "4,3,2,1", "$BEGINDATA",
                                  "$ENDDATA", "$MODE", "L", "I", "F", "4,0", "5,1", "0,0", "1024", "262144", "16", "32"};
  for (const int p : {1, 2, 9, 12, 99, 500}) {
    const std::string P = "$P" + std::to_string(p);
    Fcs.insert(Fcs.end(), {P + "N", P + "S", P + "E", P + "R", P + "B",
                           "/" + P + "N/FL" + std::to_string(p) + "/" + P + "E/4,0/" + P + "R/1024/" + P + "B/16"});
  }
  Fcs.push_back("/$P3N/FL3-H/$P3S/GFP/$P3E/4,0/$P3R/1024/$P3B/16/$P3G/1/");
  Dictionary(Out / "fcs.dict", Fcs);

  // Records of the protocol stream: a gate, a genotype of one and of two components, a filter
  // list of one, each as the program writes it.
  auto P = fuzz::NamedChannels(2);
  TGateInfo Gate;
  P->AddGate(std::make_unique<TGlobalGate>(Gate, P.get()));
  P->AddGenotype("G", 0, 0);
  P->AddGenotype("H", 1, 0);
  P->GetGenotype(1)->AddComponent(0);
  TChannelFilterInfo Filter;
  Filter.SpilloverChannel = 1;
  P->Filters->Add(Filter);
  std::vector<std::string> Protocol = Counts;
  Protocol.push_back(Record([&](TStream& S) { P->GetGate(0)->SaveToStream(S); }));
  Protocol.push_back(Record([&](TStream& S) { P->GetGenotype(0)->SaveToStream(S); }));
  Protocol.push_back(Record([&](TStream& S) { P->GetGenotype(1)->SaveToStream(S); }));
  Protocol.push_back(Record([&](TStream& S) { P->Filters->SaveToStream(S); }));
  Protocol.push_back(Int32(0) + Int32(0));  // a component: channel 0, peak 0
  Dictionary(Out / "protocol.dict", Protocol);

  // Data files: the protocol's records and stored file names, one per line.
  std::vector<std::string> Data = Protocol;
  Data.insert(Data.end(), {"plate.fcs\r\n", "C:\\data\\plate 12.fcs\r\n", "\r\n", "Quorvenal"});
  Dictionary(Out / "datafile.dict", Data);
  Data.push_back(fuzz::DataFileSeparator);
  Dictionary(Out / "fitness.dict", Data);
  Dictionary(Out / "unpack.dict", Counts);

  Dictionary(Out / "fitness-report.dict",
             {"Quorvenal Fitness Report\r\n", "Strain Fitness Values\t", "Genotype Fitness Values\r\n",
              "Fluor Fitness Values\r\n", "Fluor\tAvgW1\tAvgW2\tMeanW\r\n", "GFP\t0.8842\t0.9600\t0.9221\r\n",
              "Expected 1 : e1\r\n", "Observed 2 : o2\r\n", "\t1\t1\t1\t1\t1\t1\t1\t2\t2\t2\t2\t2\t2\t2\t\r\n",
              "YFP\tB\t10\t5\t0.5000\t0.2500\t0.5000\t-0.6931\t", "B-A\t-1.0296\tB\t-0.1133\t0.8929\t",
              "Fitness Calculation using Matrix deconvolution in Relaxed Z Mode\r\n", "\r\n"});
  Dictionary(Out / "genotype.dict", {"\"strain\", 0, 1\r\n", "A,0\n", ", 8", "\"\"", "\r\n"});
  Dictionary(Out / "matrix.dict", {"\t100", "\t0.25", " 1.5e-3", "\r\n", "\"1.25\",", "100\t0\t0\t0\t0\t0\t0\t0\r\n"});
  Dictionary(Out / "settings.dict",
             {"[Peaks]\r\n", "[Directories]\r\n", "[Misc]\r\n", "[Section]\r\n", "Key=Value\r\n",
              "HistogramBinCount=", "SSDIterations=", "DynamicCompensationN=", "TabWidth=", "SaveDir=",
              "ShowFileType=", "=0x7fffffff", "=1000000", "\r\n[", "; comment\r\n"});
  Dictionary(Out / "rtf.dict",
             {"{\\rtf1\\ansi ", "\\par\r\n", "\\pard", "\\tx720", "\\tx1440\\tx2880", "\\tab ",
              "{\\fonttbl{\\f0\\fnil Arial;}}", "{\\f1\\fnil Courier New;}", "{\\f2\\fswiss Helvetica;}",
              "\\f1 ", "\\f2 ", "\\fs24 ", "\\b ", "\\b0 ", "\\i ", "\\ul ", "\\strike ", "\\qc ", "\\qr ", "\\ql ",
              "\\u8364?", "\\'e9", "\\line ", "{\\*\\generator x;}", "{", "}", "\\uc1"});
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
  Dictionaries(Out);
  fs::remove_all(Out / "scratch");
  return 0;
}
