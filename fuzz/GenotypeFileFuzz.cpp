// The genotype definition file. The first byte gives the protocol's channel count (0 to 9), the
// rest is the file. What must hold:
// - a file is read into lines, each with a name that is not blank and channels of the
//   protocol, or refused with one EConvertError naming a line of the file; read from a file it
//   gives the same;
// - the lines written back (names quoted) read as the same lines;
// - added to a protocol, they give one genotype per line with its channels as components, and
//   the protocol writes and reads back to the same bytes; a refused file, or lines that would
//   take the protocol past its genotypes, add nothing.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Errors.h"
#include "FuzzSupport.h"
#include "Streams.h"
#include "TextUtils.h"
#include "protocol/Genotype.h"
#include "protocol/GenotypeFile.h"
#include "protocol/GenotypeSet.h"
#include "protocol/Protocol.h"

using namespace qv;

namespace {

std::unique_ptr<TProtocol> ChannelsOnly(int32_t Count) {
  auto P = fuzz::NamedChannels(Count);
  for (int32_t c = 0; c < Count; ++c)
    P->GetChannel(c)->AddPeak(false, -1, 2.5f, 0.2f, 100, 0, 0, 0, 2, -2);
  return P;
}

std::string Quoted(const std::string& Name) {
  std::string Out = "\"";
  for (const char C : Name) Out += C == '"' ? std::string("\"\"") : std::string(1, C);
  return Out + "\"";
}

// The lines, or the refusal's message.
struct TRead {
  std::vector<TGenotypeLine> Lines;
  std::string Refusal;
};

template <typename F>
TRead Read(F&& Reader) {
  TRead R;
  try {
    R.Lines = Reader();
  } catch (const EConvertError& E) {
    R.Refusal = E.what();
    fuzz::Require(!R.Refusal.empty(), "a refusal says why");
  }
  return R;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the lines read, then written and read back
  fuzz::Quiet();
  if (Size == 0) return 0;
  static const std::string Name = fuzz::ScratchName("genotypes.txt");
  const int32_t Channels = Data[0] % 10;
  const std::string Text(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const TRead Parsed = Read([&] { return ParseGenotypeFile(Text, Channels); });
  fuzz::WriteScratch(Name, reinterpret_cast<const uint8_t*>(Text.data()), Text.size());
  const TRead FromFile = Read([&] { return ReadGenotypeFile(Name, Channels); });
  fuzz::Require(FromFile.Lines == Parsed.Lines && FromFile.Refusal == Parsed.Refusal,
                "a genotype file reads as its text does");

  auto P = ChannelsOnly(Channels);
  P->AddGenotype("kept", 0, 0);
  const std::vector<uint8_t> Before = fuzz::Written(*P);
  if (!Parsed.Refusal.empty()) {
    // "Line <n> of the genotype file: <why>", n a line of the file.
    const std::string Head = "Line ";
    const size_t Of = Parsed.Refusal.find(" of the genotype file: ");
    fuzz::Require(Parsed.Refusal.rfind(Head, 0) == 0 && Of != std::string::npos,
                  "a refusal names the line of the genotype file");
    const long long Line = std::stoll(Parsed.Refusal.substr(Head.size(), Of - Head.size()));
    const long long Lines = static_cast<long long>(std::count(Text.begin(), Text.end(), '\n')) + 1;
    fuzz::Require(Line >= 1 && Line <= Lines, "the line named is one of the file");
    fuzz::Require(Parsed.Lines.empty(), "a refused file gives no lines");
    fuzz::Require(fuzz::Written(*P) == Before, "a refused file adds nothing");
    return 0;
  }

  std::string Again;
  for (const TGenotypeLine& L : Parsed.Lines) {
    fuzz::Require(!Trim(L.Name).empty() && !L.Channels.empty(), "a line has a name and a channel");
    Again += Quoted(L.Name);
    for (const int32_t C : L.Channels) {
      fuzz::Require(C >= 0 && C < Channels, "a line's channels are the protocol's");
      Again += ", " + std::to_string(C);
    }
    Again += "\n";
  }
  fuzz::Require(ParseGenotypeFile(Again, Channels) == Parsed.Lines, "genotype lines written back read the same");

  if (P->GenotypeCount() + static_cast<int32_t>(Parsed.Lines.size()) > TGenotypeSet::MaxGenotypes) {
    bool Refused = false;
    try {
      AddGenotypes(*P, Parsed.Lines);
    } catch (const ERangeError&) {
      Refused = true;
    }
    fuzz::Require(Refused && fuzz::Written(*P) == Before, "lines past the genotypes a protocol holds add nothing");
    return 0;
  }
  AddGenotypes(*P, Parsed.Lines);
  fuzz::Require(P->GenotypeCount() == 1 + static_cast<int32_t>(Parsed.Lines.size()), "a genotype per line");
  for (size_t i = 0; i < Parsed.Lines.size(); ++i) {
    const TGenotype& G = *P->GetGenotype(static_cast<int32_t>(i) + 1);
    const TGenotypeLine& L = Parsed.Lines[i];
    fuzz::Require(G.Name == L.Name && G.Count() == static_cast<int32_t>(L.Channels.size()),
                  "a genotype takes its line's name and channels");
    for (size_t c = 0; c < L.Channels.size(); ++c)
      fuzz::Require(G.Components[c].ChannelIndex == L.Channels[c], "a genotype's components are its line's channels");
  }
  const std::vector<uint8_t> First = fuzz::Written(*P);
  TMemoryStream In(First);
  TProtocol Q;
  fuzz::Require(Q.LoadFromStream(In, true) && fuzz::Written(Q) == First, "a protocol with the genotypes reads back the same");
  return 0;
}
