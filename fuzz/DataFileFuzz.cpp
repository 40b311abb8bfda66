// The own data file. The first byte picks the form of the rest: even, the file as stored; odd,
// its unpacked stream, packed here so that the fuzzer works on the records rather than on zlib.
// What must hold:
// - a file that is refused shows exactly one message and leaves the set without events and the
//   caller's protocol as it was, whether or not events were asked for;
// - a file that loads with its events loads without them too, with the same names and protocol;
// - a loaded set saves, and the saved file loads back to the same events and saves to the same
//   bytes again;
// - CreateFromDataFile gives a set (an empty one for a refused file, refused as above) and runs
//   its analysis, or gives a typed error of the analysis, or a range error when compact events
//   cannot hold its file indices or a genotype is on a channel the protocol lacks;
// - AppendDataFile either appends every event of the file or shows one message and changes
//   nothing.
// - all of it within the work budget of two readings of the input, the analysis report of a
//   set of many files included.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Errors.h"
#include "FuzzSupport.h"
#include "Streams.h"
#include "dataset/FCSData.h"
#include "protocol/Genotype.h"
#include "protocol/Protocol.h"

using namespace qv;

namespace {

bool SameEvents(const TFCSLineArray& A, const TFCSLineArray& B) {
  if (A.size() != B.size() || A.GateCount() != B.GateCount() || A.ChannelCount() != B.ChannelCount()) return false;
  const auto Same = [](std::span<const float> X, std::span<const float> Y) {
    return X.size() == Y.size() && (X.empty() || std::memcmp(X.data(), Y.data(), X.size_bytes()) == 0);
  };
  for (size_t i = 0; i < A.size(); ++i)
    if (A[i].FileIndex() != B[i].FileIndex() || !Same(A[i].GateValues(), B[i].GateValues()) ||
        !Same(A[i].RawValues(), B[i].RawValues()))
      return false;
  return true;
}

// Five events of two gates and two channels in files 0 and 1: the set a file is appended to.
std::unique_ptr<TFCSData> BaseSet() {
  auto D = std::make_unique<TFCSData>();
  D->Events.Reset(2, 2);
  D->ShortLines.Reset(2);
  D->ValueCount = 4;
  D->ChannelNames = {"GFP", "RFP"};
  D->FileNames = "base.fcs\r\n";
  for (int e = 0; e < 5; ++e) {
    TFCSLine L = D->Events.Append();
    L.GateValues()[0] = 500;
    L.GateValues()[1] = 200 + e;
    L.RawValues()[0] = 10.0f * (e + 1);
    L.RawValues()[1] = 3;
    L.SetFileIndex(e % 2);
    L.ComputeLogs();
  }
  D->FileRange();
  D->BuildFileIndex();
  return D;
}

bool LacksChannel(const TProtocol& P) {
  for (int32_t g = 0; g < P.GenotypeCount(); ++g)
    for (const TFluor& F : P.GetGenotype(g)->Components)
      if (F.ChannelIndex < 0 || F.ChannelIndex >= P.ChannelCount()) return true;
  return false;
}

// A refusal: one message, no events, the caller's protocol untouched.
void RequireRefusal(const fuzz::MessageCounter& Messages, const TFCSData& Set, const std::unique_ptr<TProtocol>& P,
                    const TProtocol* Before, const std::vector<uint8_t>& BeforeBytes) {
  if (Messages.Errors != 1) Messages.Print();
  fuzz::Require(Messages.Errors == 1, "a refused data file shows one message");
  fuzz::Require(Set.Events.empty(), "a refused data file leaves no events");
  fuzz::Require(P.get() == Before && fuzz::Written(*P) == BeforeBytes, "a refused data file leaves the protocol");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::TWorkBudget Budget(Size, 2);  // the file read, then saved and read back
  fuzz::Quiet();
  if (Size == 0) return 0;
  static const std::string Name = fuzz::ScratchName("data.Quorvenal");
  static const std::string Again = fuzz::ScratchName("again.Quorvenal");
  static const std::string Third = fuzz::ScratchName("third.Quorvenal");
  const uint8_t Form = Data[0];
  std::vector<uint8_t> Bytes(Data + 1, Data + Size);
  if (Form & 1) Bytes = fuzz::Pack(Bytes);
  fuzz::WriteScratch(Name, Bytes);

  const auto Keep = fuzz::AnalysisProtocol(true);
  const std::vector<uint8_t> KeepBytes = fuzz::Written(*Keep);

  // With events.
  TFCSData Full;
  std::unique_ptr<TProtocol> FullProtocol = TProtocol::CreateCopy(*Keep);
  const TProtocol* Before = FullProtocol.get();
  bool Loaded = false;
  {
    fuzz::MessageCounter Messages;
    Loaded = Full.LoadFromFile(Name, FullProtocol, nullptr, true);
    if (!Loaded) RequireRefusal(Messages, Full, FullProtocol, Before, KeepBytes);
  }

  // Without events.
  TFCSData Header;
  std::unique_ptr<TProtocol> HeaderProtocol = TProtocol::CreateCopy(*Keep);
  Before = HeaderProtocol.get();
  {
    fuzz::MessageCounter Messages;
    const bool HeaderLoaded = Header.LoadFromFile(Name, HeaderProtocol, nullptr, false);
    if (!HeaderLoaded) RequireRefusal(Messages, Header, HeaderProtocol, Before, KeepBytes);
    fuzz::Require(HeaderLoaded || !Loaded, "a file that loads with its events loads without them");
    if (Loaded) {
      fuzz::Require(Header.Events.empty() && Header.ChannelNames == Full.ChannelNames &&
                        Header.FileNames == Full.FileNames && Header.ProtocolName == Full.ProtocolName &&
                        fuzz::Written(*HeaderProtocol) == fuzz::Written(*FullProtocol),
                    "loading without events gives the same names and protocol");
    }
  }

  if (Loaded) {
    // Saved and read back: the same events; saved again: the same bytes.
    fuzz::MessageCounter Messages;
    fuzz::Require(Full.SaveToFile(Again, *FullProtocol), "a loaded data set saves");
    TFCSData Back;
    std::unique_ptr<TProtocol> BackProtocol;
    fuzz::Require(Back.LoadFromFile(Again, BackProtocol, nullptr, true), "a saved data set loads");
    fuzz::Require(SameEvents(Back.Events, Full.Events) && Back.ChannelNames == Full.ChannelNames &&
                      Back.FileNames == Full.FileNames && Back.SourceName == Full.SourceName,
                  "a saved data set loads back the same events and names");
    fuzz::Require(Back.SaveToFile(Third, *BackProtocol), "a reloaded data set saves");
    fuzz::Require(fuzz::ReadAll(Third) == fuzz::ReadAll(Again), "a reloaded data set saves to the same bytes");
    fuzz::Require(Messages.Errors == 0, "saving and reloading shows no message");
  }

  // The whole road of a data file, with the options of the form byte.
  {
    TDataLoadOptions Options;
    Options.Mode = (Form >> 1) % 3;
    Options.BuildShortLines = (Form & 8) != 0;
    Options.FitCurves = (Form & 16) != 0;
    std::unique_ptr<TProtocol> P = TProtocol::CreateCopy(*Keep);
    Before = P.get();
    fuzz::MessageCounter Messages;
    try {
      const auto Set = TFCSData::CreateFromDataFile(Name, Options, P);
      fuzz::Require(Set != nullptr, "CreateFromDataFile gives a set");
      if (!Loaded) RequireRefusal(Messages, *Set, P, Before, KeepBytes);
      if (Loaded && !Full.Events.empty())
        fuzz::Require(!Set->Events.empty() || !Set->ShortLines.empty(), "a loaded data file gives its events");
      if (Loaded && !Set->Events.empty()) {
        std::string Report;
        Set->AnalysisReport(*P, Report);
      }
    } catch (const EArithmetic&) {
    } catch (const ERangeError& E) {
      // Compact events keep file indices 0..255 only, and a genotype on a channel the protocol
      // lacks has no class code.
      bool Beyond = false;
      for (size_t i = 0; i < Full.Events.size(); ++i) Beyond = Beyond || Full.Events[i].FileIndex() > 255;
      const bool Expected = (Options.BuildShortLines && Beyond) || LacksChannel(*FullProtocol);
      if (!Expected) std::fprintf(stderr, "Range error: %s\n", E.what());
      fuzz::Require(Expected, "a range error comes of compacting files beyond 255 or a missing channel");
    }
  }

  // Appended to a set of two gates and two channels, and to the loaded set itself.
  {
    auto Base = BaseSet();
    const size_t Own = Base->Events.size();
    fuzz::MessageCounter Messages;
    const bool Appended = Base->AppendDataFile(Name);
    if (Appended) {
      fuzz::Require(Loaded && Base->Events.size() == Own + Full.Events.size() && Messages.Errors == 0,
                    "an appended data file adds all its events");
    } else {
      fuzz::Require(Base->Events.size() == Own, "a data file that is not appended changes nothing");
      fuzz::Require(Messages.Errors == 1 || (Loaded && Full.Events.empty()),
                    "a data file that is not appended shows one message");
    }
  }
  if (Loaded && !Full.Events.empty()) {
    // As CreateFromDataFile leaves a set: its files counted.
    Full.FileRange();
    Full.BuildFileIndex();
    const size_t Own = Full.Events.size();
    const int32_t OldMax = Full.MaxFileIndex;
    fuzz::MessageCounter Messages;
    fuzz::Require(Full.AppendDataFile(Name) && Full.Events.size() == 2 * Own, "a data set takes its own file again");
    bool After = true;
    for (size_t i = Own; i < Full.Events.size(); ++i) After = After && Full.Events[i].FileIndex() > OldMax;
    fuzz::Require(After, "appended events come after the set's files");
  }
  return 0;
}
