// The protocol file: the current record and every older version, read into a fresh protocol
// that is taken over only when the whole record was read.
#include "protocol/Protocol.h"

#include <new>

#include "Errors.h"
#include "Files.h"
#include "NumberFormat.h"
#include "TextUtils.h"
#include "protocol/Records.h"

namespace qv {

namespace {

constexpr const char* NotValidFile = "Not a valid protocol file";
constexpr const char* NotValidRecord = "Not a Valid Protocol File";

// Holds back the errors the record readers show while it lives (questions and notes pass).
class TErrorsHeldBack : public Messages {
 public:
  TErrorsHeldBack() : FOuter(HostMessages()) { SetHostMessages(this); }
  ~TErrorsHeldBack() override { SetHostMessages(&FOuter); }
  TErrorsHeldBack(const TErrorsHeldBack&) = delete;
  TErrorsHeldBack& operator=(const TErrorsHeldBack&) = delete;
  void Error(const std::string&) override {}
  void Info(const std::string& Text) override { FOuter.Info(Text); }
  bool Confirm(const std::string& Text) override { return FOuter.Confirm(Text); }

 private:
  Messages& FOuter;
};

}  // namespace

std::unique_ptr<TProtocol> TProtocol::CreateFromStream(TStream& Stream, const std::string& Within) {
  auto P = std::make_unique<TProtocol>();
  P->FileName = "FileStream";
  bool Read = false;
  {
    // A protocol inside a data file is refused with one message, whatever record failed.
    TErrorsHeldBack Held;
    Read = P->LoadFromStream(Stream, false);
  }
  if (!Read) {
    const std::string In = Within.empty() ? "" : " in \"" + Within + "\"";
    HostMessages().Error(P->FReadRefusal.empty() ? std::string(NotValidRecord)
                                                 : std::string(NotValidRecord) + In + ": " + P->FReadRefusal + ".");
    return nullptr;
  }
  return P;
}

std::unique_ptr<TProtocol> TProtocol::OpenFile(const std::string& AFileName) {
  auto P = std::make_unique<TProtocol>();
  if (!PathExists(AFileName) || !P->LoadFromFile(AFileName)) return nullptr;
  return P;
}

void TProtocol::WriteToStream(TStream& Stream, bool Rewind) {
  if (Rewind) Stream.Seek(0);
  WriteStreamString(Header, Stream);
  WriteInt32(Stream, CurrentFileVersion);
  WriteInt32(Stream, ChannelCount());
  WriteInt32(Stream, GateCount());
  WriteInt32(Stream, 0);
  WriteInt32(Stream, 0);
  WriteBool(Stream, ScoreSingles);
  WriteBool(Stream, ScoreDoubles);
  for (int32_t i = GateCount() - 1; i >= 0; --i) Gates[i]->SaveToStream(Stream);
  for (int32_t i = ChannelCount() - 1; i >= 0; --i) Channels[i]->SaveToStream(Stream);
  WriteStreamString(Notes, Stream);
  Genotypes->SaveToStream(Stream);
  Filters->SaveToStream(Stream);
  WriteSingle(Stream, LikelihoodThreshold);
}

void TProtocol::SaveToFile(const std::string& AFileName) {
  WriteFileSafely(AFileName, [&](TStream& Stream) { WriteToStream(Stream, true); });
}

bool TProtocol::LoadFromStream(TStream& Stream, bool Rewind) {
  bool Result = false;
  FReadRefusal.clear();
  TProtocol Fresh;
  Fresh.FileName = FileName;
  try {
    if (Rewind) Stream.Seek(0);
    const std::string Head = ReadStreamString(Stream);
    if (Head == HeaderV2)
      Result = Fresh.ReadV2(Stream);
    else if (Head == Header)
      Result = Fresh.ReadCurrent(Stream);
  } catch (const ECountCap& E) {
    FReadRefusal = E.what();
    Result = false;
  } catch (const Exception&) {
    Result = false;
  }
  if (Result) {
    Fresh.EnsureGenotypes();
    TakeOver(Fresh);
  }
  PostRefresh();
  return Result;
}

bool TProtocol::LoadFromFile(const std::string& AFileName) {
  if (!PathExists(AFileName)) return false;
  if (const std::string Reason = NotAFileReason(AFileName); !Reason.empty()) {
    HostMessages().Error(ReadRefusal("protocol file", AFileName, Reason));
    return false;
  }
  bool Result = false;
  FReadRefusal.clear();
  const std::string Old = FileName;
  try {
    TFileStream Stream(AFileName, TFileStream::TMode::OpenRead);
    FileName = AFileName;
    Result = LoadFromStream(Stream, true);
  } catch (const Exception&) {
    Result = false;
  } catch (const std::bad_alloc&) {
    // The protocol was read aside, so this one is as it was.
    FileName = Old;
    HostMessages().Error("Not enough memory to read " + AFileName);
    return false;
  }
  if (!Result) FileName = Old;
  if (!Result)
    HostMessages().Error(FReadRefusal.empty() ? std::string(NotValidFile)
                                              : ReadRefusal("protocol file", AFileName, FReadRefusal + "."));
  return Result;
}

bool TProtocol::ReadCurrent(TStream& Stream) {
  FileVersion = ReadInt32(Stream);
  const int32_t V = FileVersion;
  const int32_t N = ReadItemCount(Stream, 4, MaxChannels, "channels");
  const int32_t G = V >= 8 ? ReadItemCount(Stream, 4, MaxGates, "gates") : 6;
  ReadInt32(Stream);
  ReadInt32(Stream);
  ScoreSingles = ReadBool(Stream);
  ScoreDoubles = ReadBool(Stream);
  if (V <= 4) ReadByte(Stream);
  Gates.resize(static_cast<size_t>(G));
  for (int32_t i = G - 1; i >= 0; --i) Gates[i] = TGlobalGate::CreateFromStream(Stream, this, 3);
  Channels.resize(static_cast<size_t>(N));
  for (int32_t i = N - 1; i >= 0; --i) Channels[i] = TChannel::CreateFromStream(Stream, this, 3);
  if (V <= 3) SkipBytes(Stream, ReadInt32(Stream));
  Notes = ReadStreamString(Stream);
  if (V >= 6) Genotypes = std::make_unique<TGenotypeSet>(Stream, this);
  if (V >= 7) Filters = TChannelFilters::CreateFromStream(&Stream);
  LikelihoodThreshold = V >= 9 ? ReadSingle(Stream) : 0.0f;
  RebuildClassNames();
  return true;
}

bool TProtocol::ReadV2(TStream& Stream) {
  FileVersion = 2;
  const int32_t N = ReadItemCount(Stream, 4, MaxChannels, "channels");
  SkipBytes(Stream, 8);
  ScoreSingles = ReadBool(Stream);
  ScoreDoubles = ReadBool(Stream);
  SkipBytes(Stream, 11 + 40);
  Gates.resize(6);
  for (int32_t i = 5; i >= 0; --i) Gates[i] = TGlobalGate::CreateFromStream(Stream, this, 2);
  Channels.resize(static_cast<size_t>(N));
  for (int32_t i = N - 1; i >= 0; --i) Channels[i] = TChannel::CreateFromStream(Stream, this, 2);
  SkipBytes(Stream, ReadInt32(Stream));
  Notes = ReadStreamString(Stream);
  LikelihoodThreshold = 0;
  RebuildClassNames();
  return true;
}

void TProtocol::TakeOver(TProtocol& Source) {
  FileVersion = Source.FileVersion;
  FileName = Source.FileName;
  Gates = std::move(Source.Gates);
  Channels = std::move(Source.Channels);
  Genotypes = std::move(Source.Genotypes);
  Filters = std::move(Source.Filters);
  Notes = std::move(Source.Notes);
  SpilloverMatrix = std::move(Source.SpilloverMatrix);
  CompensationMatrix = std::move(Source.CompensationMatrix);
  ClassNames = std::move(Source.ClassNames);
  ScoreSingles = Source.ScoreSingles;
  ScoreDoubles = Source.ScoreDoubles;
  LikelihoodThreshold = Source.LikelihoodThreshold;
  for (auto& G : Gates) G->Owner = this;
  for (auto& C : Channels) C->Owner = this;
  Genotypes->Owner = this;
  // The source must stay whole for its destructor.
  Source.Genotypes = std::make_unique<TGenotypeSet>(&Source);
  Source.Filters = std::make_unique<TChannelFilters>();
}

}  // namespace qv
