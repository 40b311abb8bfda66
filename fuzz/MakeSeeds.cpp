// Writes the seed corpora of the fuzz targets with the program's own writers:
//   make_seeds <out folder> [<folder of instrument FCS files>]
// gives <out>/fcs, <out>/protocol and <out>/unpack. Instrument files are cut to their first
// events so that the fuzzer works on small inputs that still read as whole files.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FcsWriter.h"
#include "Files.h"
#include "FuzzSupport.h"
#include "Streams.h"

using namespace qv;
namespace fs = std::filesystem;

namespace {

void Save(const fs::path& Name, const std::vector<uint8_t>& Bytes) {
  std::ofstream Out(Name, std::ios::binary);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <out folder> [<instrument FCS folder>]\n", argv[0]);
    return 2;
  }
  fuzz::Quiet();
  const fs::path Out = argv[1];
  for (const char* Sub : {"fcs", "protocol", "unpack"}) fs::create_directories(Out / Sub);
  FcsSeeds(Out / "fcs");
  if (argc > 2 && fs::is_directory(argv[2])) SampleSeeds(Out / "fcs", argv[2]);
  ProtocolSeeds(Out / "protocol");
  UnpackSeeds(Out / "unpack", Out / "protocol", Out / "fcs");
  return 0;
}
