#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "AllocationCap.h"
#include "FitnessFixtures.h"
#include "Files.h"
#include "Globals.h"
#include "NotFiles.h"
#include "RecordingMessages.h"
#include "ScopedValue.h"
#include "Streams.h"
#include "analysis/Detector.h"
#include "analysis/GaussianFit.h"
#include "dataset/FCSData.h"

namespace qv {
namespace {

using test::AssayProtocol;
using test::AssaySet;
using test::RecordingMessages;
using test::SettingsGuard;
using test::TempFolder;

std::vector<uint8_t> Unpacked(const TempFolder& Folder, const std::string& FileName) {
  const std::string Plain = Folder / "plain.bin";
  EXPECT_TRUE(UnpackFile(FileName, Plain, false, 0));
  TFileStream In(Plain, TFileStream::TMode::OpenRead);
  std::vector<uint8_t> Bytes(static_cast<size_t>(In.Size()));
  In.ReadBuffer(Bytes.data(), Bytes.size());
  return Bytes;
}

void WritePacked(const TempFolder& Folder, const std::string& FileName, const std::vector<uint8_t>& Plain) {
  const std::string Source = Folder / "stream.bin";
  {
    TFileStream Out(Source, TFileStream::TMode::Create);
    Out.Write(Plain.data(), Plain.size());
    Out.Close();
  }
  ASSERT_TRUE(PackFile(Source, FileName, true));
}

// The knobs of a hand-written unpacked stream, each breaking one rule of the reader.
struct StreamSpec {
  std::string Magic = TFCSData::DataFileMagic;
  bool BadProtocol = false;
  int32_t ValueCountDelta = 0;
  int32_t NameCountDelta = 0;
  int32_t EventCount = 2;
  int32_t DeclaredDelta = 0;
  int32_t FileIndex = 1;
  std::string FileNames = "a.fcs\r\nb.fcs\r\n";
  float Value = 100;
  int32_t ExtraBytes = 0;
};

std::vector<uint8_t> HandStream(TProtocol& P, const StreamSpec& S) {
  TMemoryStream M;
  WriteStreamString(S.Magic, M);
  WriteInt32(M, 2);
  if (S.BadProtocol)
    WriteStreamString("Not a protocol", M);
  else
    P.SaveToStream(M);
  WriteStreamString("proto", M);
  WriteStreamString("source", M);
  WriteStreamString(S.FileNames, M);
  WriteInt32(M, P.GateCount() + P.ChannelCount() + S.ValueCountDelta);
  const int32_t Names = P.ChannelCount() + S.NameCountDelta;
  WriteInt32(M, Names);
  for (int32_t i = Names - 1; i >= 0; --i) WriteStreamString("C" + std::to_string(i), M);
  WriteInt32(M, S.EventCount + S.DeclaredDelta);
  for (int32_t e = 0; e < S.EventCount; ++e) {
    WriteInt32(M, S.FileIndex);
    for (int32_t g = 0; g < P.GateCount(); ++g) WriteSingle(M, 500);
    for (int32_t c = 0; c < P.ChannelCount(); ++c) WriteSingle(M, S.Value);
  }
  for (int32_t b = 0; b < S.ExtraBytes; ++b) WriteByte(M, 0);
  return M.Bytes();
}

// Packs Plain followed by Zeros zero bytes into FileName, a piece at a time.
void WritePackedWithZeros(const std::string& FileName, const std::vector<uint8_t>& Plain, size_t Zeros) {
  z_stream Z{};
  ASSERT_EQ(deflateInit(&Z, Z_BEST_COMPRESSION), Z_OK);
  std::vector<uint8_t> Packed, Out(1 << 16);
  const std::vector<uint8_t> Piece(1 << 20, 0);
  const auto Feed = [&](const uint8_t* Data, size_t Size, int Flush) {
    Z.next_in = const_cast<Bytef*>(Data);
    Z.avail_in = static_cast<uInt>(Size);
    do {
      Z.next_out = Out.data();
      Z.avail_out = static_cast<uInt>(Out.size());
      deflate(&Z, Flush);
      Packed.insert(Packed.end(), Out.data(), Out.data() + (Out.size() - Z.avail_out));
    } while (Z.avail_out == 0);
  };
  Feed(Plain.data(), Plain.size(), Z_NO_FLUSH);
  for (size_t Done = 0; Done < Zeros; Done += Piece.size())
    Feed(Piece.data(), std::min(Piece.size(), Zeros - Done), Z_NO_FLUSH);
  Feed(nullptr, 0, Z_FINISH);
  deflateEnd(&Z);
  TFileStream File(FileName, TFileStream::TMode::Create);
  File.Write(Packed.data(), Packed.size());
  File.Close();
}

class DataFile : public ::testing::Test {
 protected:
  SettingsGuard Guard;
  TempFolder Folder;
  RecordingMessages Messages;
  TDataLoadOptions Bare() const {
    TDataLoadOptions O;
    O.Compensate = O.DetectorsAndClassify = O.FitCurves = false;
    return O;
  }
};

TEST_F(DataFile, MergedSetRoundTripsItsUnfilteredEventsInOrder) {
  MinimumRawScore = 2;
  auto P = AssayProtocol({"A", "B"}, {"GFP", "YFP"}, 1);
  auto D = AssaySet(*P, {{1, 2, 1}, {0, 1, 2}}, true);
  // A filtered event (every channel below the minimum raw score) is not stored.
  const float Row[] = {400, 1, 1};
  const int32_t Gates[] = {0}, Channels[] = {1, 2};
  TFCSLine F = D->Events.Append();
  F.Create(Row, Gates, Channels);
  F.SetFileIndex(1);
  ASSERT_TRUE(F.Filtered());
  D->UnfilteredCount = 999;  // stale: the records written decide the count
  D->ProtocolName = "assay.protocol";
  ASSERT_TRUE(D->SaveToFile(Folder / "set.Quorvenal", *P));
  EXPECT_FALSE(P->GetChannel(0)->ForceMean) << "the caller's protocol is not changed";
  EXPECT_EQ(FindFiles(Folder.Path(), "*").size(), 1u) << "nothing beside the saved file";

  std::unique_ptr<TProtocol> Loaded;
  auto L = TFCSData::CreateFromDataFile(Folder / "set.Quorvenal", Bare(), Loaded);
  ASSERT_TRUE(Loaded);
  EXPECT_TRUE(Messages.Errors.empty());
  EXPECT_EQ(L->DataFileName, Folder / "set.Quorvenal");
  EXPECT_EQ(L->SourceName, "Merged Files");
  EXPECT_EQ(L->FileNames, "plate0.fcs\r\nplate1.fcs\r\n");
  EXPECT_EQ(L->ProtocolName, "assay.protocol");
  EXPECT_EQ(L->ChannelNames, (TStringArray{"GFP", "YFP"}));
  EXPECT_EQ(L->ValueCount, 3);
  EXPECT_EQ(L->FileCount, 2);
  EXPECT_EQ(L->FirstEvent, (TIntArray{0, 4}));
  ASSERT_EQ(L->Events.size(), 7u);
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(L->Events[i].FileIndex(), D->Events[i].FileIndex());
    EXPECT_EQ(L->Events[i].GateValues()[0], D->Events[i].GateValues()[0]);
    EXPECT_EQ(L->Events[i].RawValues()[0], D->Events[i].RawValues()[0]);
    EXPECT_EQ(L->Events[i].RawValues()[1], D->Events[i].RawValues()[1]);
  }
  for (int32_t c = 0; c < Loaded->ChannelCount(); ++c) EXPECT_TRUE(Loaded->GetChannel(c)->ForceMean);
  EXPECT_EQ(Loaded->GenotypeCount(), 2);
  EXPECT_EQ(Loaded->FileName, "FileStream");
}

TEST_F(DataFile, FittedPeaksAreStoredOnlyWhenAsked) {
  auto P = AssayProtocol({"A"}, {"GFP"});
  auto D = AssaySet(*P, {{50, 400}}, true);
  D->Compensate(*P, nullptr, 0);
  D->SetDetectors(*P, nullptr, true);
  ASSERT_FALSE(D->PeakDetectors.empty());
  ASSERT_GE(D->PeakDetectors[0]->LastFitted, 0) << "the fixture's peak should be fitted";
  const auto StoredPeak = [&](bool Store) {
    test::ScopedValue<bool> Save(SaveMeansToProtocol, Store);
    D->SaveToFile(Folder / "p.Quorvenal", *P);
    std::unique_ptr<TProtocol> Loaded;
    TDataLoadOptions O = Bare();
    O.LoadEvents = false;
    auto L = TFCSData::CreateFromDataFile(Folder / "p.Quorvenal", O, Loaded);
    EXPECT_TRUE(L->Events.empty());
    EXPECT_EQ(L->FileCount, 0);
    return Loaded->GetChannel(0)->Peaks.back();
  };
  const TPeak Own = P->GetChannel(0)->Peaks.back();
  const TPeak Kept = StoredPeak(false);
  EXPECT_EQ(Kept.Mean, Own.Mean);
  EXPECT_EQ(Kept.Dev, Own.Dev);
  const TPeak Fitted = StoredPeak(true);
  TGaussianFit Fit;
  D->PeakDetectors[0]->GetFitResult(D->PeakDetectors[0]->LastFitted, Fit);
  EXPECT_EQ(Fitted.Mean, static_cast<float>(Fit.Mean));
  EXPECT_EQ(Fitted.Dev, static_cast<float>(Fit.Deviation));
  EXPECT_NE(Fitted.Dev, Own.Dev);
}

TEST_F(DataFile, UnpackedStreamBeginsWithMagicVersionAndProtocol) {
  auto P = AssayProtocol({"A"}, {"GFP"});
  ASSERT_TRUE(AssaySet(*P, {{1, 1}})->SaveToFile(Folder / "h.Quorvenal", *P));
  const auto Bytes = Unpacked(Folder, Folder / "h.Quorvenal");
  const std::vector<uint8_t> Head{0x13, 0, 0, 0};
  ASSERT_GT(Bytes.size(), 27u);
  EXPECT_EQ(std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + 4), Head);
  EXPECT_EQ(std::string(Bytes.begin() + 4, Bytes.begin() + 23), "Quorvenal Data File");
  EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + 23, Bytes.begin() + 27), (std::vector<uint8_t>{2, 0, 0, 0}));
  auto Copy = TProtocol::CreateCopy(*P);
  Copy->SetChannelsForceMean(true);
  TMemoryStream Record;
  Copy->SaveToStream(Record);
  ASSERT_GE(Bytes.size(), 27 + Record.Bytes().size());
  EXPECT_TRUE(std::equal(Record.Bytes().begin(), Record.Bytes().end(), Bytes.begin() + 27));
  // Names ("", "Merged Files", one file line), value and name counts, "GFP", the event count and
  // two events of a file index and one value.
  EXPECT_EQ(Bytes.size() - 27 - Record.Bytes().size(), 4 + 16 + 16 + 4 + 4 + 7 + 4 + 2 * 8u);
}

TEST_F(DataFile, EveryCorruptFileGivesOneMessageAndKeepsTheCallersProtocol) {
  auto P = AssayProtocol({"A", "B"}, {"GFP", "YFP"}, 1);
  struct Case {
    const char* Name;
    StreamSpec Spec;
  };
  std::vector<Case> Cases(11);
  Cases[0].Name = "wrong magic";
  Cases[0].Spec.Magic = "Quorvenal Data Filf";
  Cases[1].Name = "fewer names than channels";
  Cases[1].Spec.NameCountDelta = -1;
  Cases[2].Name = "value count off";
  Cases[2].Spec.ValueCountDelta = 1;
  Cases[3].Name = "file index beyond 65535";
  Cases[3].Spec.FileIndex = 65536;
  Cases[4].Name = "negative file index";
  Cases[4].Spec.FileIndex = -1;
  Cases[5].Name = "value not finite";
  Cases[5].Spec.Value = std::numeric_limits<float>::quiet_NaN();
  Cases[6].Name = "bytes after the last record";
  Cases[6].Spec.ExtraBytes = 4;
  Cases[7].Name = "count beyond the bytes left";
  Cases[7].Spec.DeclaredDelta = 1000000;
  Cases[8].Name = "huge count";
  Cases[8].Spec.DeclaredDelta = std::numeric_limits<int32_t>::max() - 2;
  // The files of a set are named: two names hold files 0 and 1 only.
  Cases[9].Name = "file index beyond the file names";
  Cases[9].Spec.FileIndex = 2;
  Cases[10].Name = "file index without file names";
  Cases[10].Spec.FileIndex = 0;
  Cases[10].Spec.FileNames = "";
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    Messages.Errors.clear();
    WritePacked(Folder, Folder / "bad.Quorvenal", HandStream(*P, C.Spec));
    auto Mine = AssayProtocol({"Mine"}, {"RFP"});
    TProtocol* Before = Mine.get();
    auto D = TFCSData::CreateFromDataFile(Folder / "bad.Quorvenal", TDataLoadOptions(), Mine);
    EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Invalid Quorvenal File"}));
    EXPECT_EQ(Mine.get(), Before);
    EXPECT_TRUE(D->Events.empty());
  }
  // The sound stream the cases were made from loads.
  Messages.Errors.clear();
  WritePacked(Folder, Folder / "good.Quorvenal", HandStream(*P, StreamSpec()));
  std::unique_ptr<TProtocol> Mine;
  auto D = TFCSData::CreateFromDataFile(Folder / "good.Quorvenal", Bare(), Mine);
  EXPECT_TRUE(Messages.Errors.empty());
  EXPECT_EQ(D->Events.size(), 2u);
  EXPECT_EQ(D->MinFileIndex, 1);

  // A protocol record that does not read: the protocol reader's message alone.
  Messages.Errors.clear();
  StreamSpec Bad;
  Bad.BadProtocol = true;
  WritePacked(Folder, Folder / "proto.Quorvenal", HandStream(*P, Bad));
  auto Mine2 = AssayProtocol({"Mine"}, {"RFP"});
  TProtocol* Before = Mine2.get();
  TFCSData::CreateFromDataFile(Folder / "proto.Quorvenal", TDataLoadOptions(), Mine2);
  EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Not a Valid Protocol File"}));
  EXPECT_EQ(Mine2.get(), Before);

  // A protocol record that fails inside a channel, or declares more channels than a protocol
  // holds: still one message, not what the record readers would say as well.
  auto Channel = AssayProtocol({"A"}, {"GFP"});
  TMemoryStream Record;
  Channel->SaveToStream(Record);
  const std::vector<uint8_t> Whole = Record.Bytes();
  TMemoryStream Sixteen;
  WriteStreamString("Quorvenal Protocol", Sixteen);
  for (const int32_t V : {9, 16, 0, 0, 0}) WriteInt32(Sixteen, V);
  for (int i = 0; i < 200; ++i) WriteInt32(Sixteen, 0);
  for (const std::vector<uint8_t>& Protocol :
       {std::vector<uint8_t>(Whole.begin(), Whole.begin() + 60), Sixteen.Bytes()}) {
    Messages.Errors.clear();
    TMemoryStream M;
    WriteStreamString(TFCSData::DataFileMagic, M);
    WriteInt32(M, 2);
    M.Write(Protocol.data(), Protocol.size());
    WritePacked(Folder, Folder / "record.Quorvenal", M.Bytes());
    auto Kept = AssayProtocol({"Mine"}, {"RFP"});
    TProtocol* Was = Kept.get();
    TFCSData::CreateFromDataFile(Folder / "record.Quorvenal", TDataLoadOptions(), Kept);
    // A count past its cap is named, with the file that holds it.
    EXPECT_EQ(Messages.Errors,
              (std::vector<std::string>{Protocol.size() == 60
                                            ? "Not a Valid Protocol File"
                                            : "Not a Valid Protocol File in \"" + (Folder / "record.Quorvenal") +
                                                  "\": it declares 16 channels; a protocol holds at most 15."}));
    EXPECT_EQ(Kept.get(), Was);
  }

  // Not packed at all, or packed but cut short.
  for (const std::string Name : {"plain.Quorvenal", "cut.Quorvenal"}) {
    SCOPED_TRACE(Name);
    Messages.Errors.clear();
    std::vector<uint8_t> Bytes;
    if (Name == "cut.Quorvenal") {
      WritePacked(Folder, Folder / "whole.Quorvenal", HandStream(*P, StreamSpec()));
      TFileStream In(Folder / "whole.Quorvenal", TFileStream::TMode::OpenRead);
      Bytes.resize(static_cast<size_t>(In.Size()) / 2);
      In.ReadBuffer(Bytes.data(), Bytes.size());
    } else {
      Bytes.assign(100, 'x');
    }
    {
      TFileStream Out(Folder / Name, TFileStream::TMode::Create);
      Out.Write(Bytes.data(), Bytes.size());
      Out.Close();
    }
    std::unique_ptr<TProtocol> None;
    auto E = TFCSData::CreateFromDataFile(Folder / Name, TDataLoadOptions(), None);
    EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Invalid Quorvenal File"}));
    EXPECT_FALSE(None);
  }

  // A missing file: an empty set, no message.
  Messages.Errors.clear();
  std::unique_ptr<TProtocol> None;
  auto E = TFCSData::CreateFromDataFile(Folder / "missing.Quorvenal", TDataLoadOptions(), None);
  EXPECT_TRUE(Messages.Errors.empty());
  EXPECT_TRUE(E->Events.empty());
}

// Packed zeros unpack about a thousand to one: a file is unpacked only as far as it is read, the
// magic is checked on its first bytes, and unpacking stops as soon as it passes what the records
// declare, so no case below asks for the 64 MB the zeros unpack to or the gigabytes a count claims.
TEST_F(DataFile, PackedZerosAreRefusedAsSoonAsTheyPassWhatTheRecordsDeclare) {
  auto P = AssayProtocol({"A", "B"}, {"GFP", "YFP"}, 1);
  const size_t Zeros = 64 << 20;
  WritePackedWithZeros(Folder / "zeros.Quorvenal", {}, Zeros);
  WritePackedWithZeros(Folder / "trailing.Quorvenal", HandStream(*P, StreamSpec()), Zeros);
  // An event count that claims gigabytes the file does not hold sizes nothing either.
  StreamSpec Claims;
  Claims.DeclaredDelta = std::numeric_limits<int32_t>::max() - 2;
  WritePackedWithZeros(Folder / "claims.Quorvenal", HandStream(*P, Claims), 0);
  for (const std::string Name : {"zeros.Quorvenal", "trailing.Quorvenal", "claims.Quorvenal"}) {
    SCOPED_TRACE(Name);
    Messages.Errors.clear();
    std::unique_ptr<TProtocol> None;
    bool Reached = false;
    {
      test::TAllocationCap Cap(8 << 20);
      auto D = TFCSData::CreateFromDataFile(Folder / Name, Bare(), None);
      Reached = Cap.Reached();
      EXPECT_TRUE(D->Events.empty());
    }
    EXPECT_FALSE(Reached);
    EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Invalid Quorvenal File"}));
    EXPECT_FALSE(None);
  }
  // The same records without the zeros load.
  Messages.Errors.clear();
  WritePackedWithZeros(Folder / "sound.Quorvenal", HandStream(*P, StreamSpec()), 0);
  std::unique_ptr<TProtocol> Mine;
  auto D = TFCSData::CreateFromDataFile(Folder / "sound.Quorvenal", Bare(), Mine);
  EXPECT_TRUE(Messages.Errors.empty());
  EXPECT_EQ(D->Events.size(), 2u);
}

// A protocol record inside a data file may claim far more than the file packs. What a count or
// a length claims is unpacked (to check that it is there) only within the 16 MB allowed before
// the events, and a genotype count is held to its cap first: notes claiming 60 MB, whether the
// zeros are there or not, and 4,000,000 genotypes over 64 MB of zeros are refused at little cost.
TEST_F(DataFile, ProtocolClaimsPastTheHeadAreRefusedUnsized) {
  auto P = AssayProtocol({"A", "B"}, {"GFP", "YFP"}, 1);
  P->Notes = "the notes";
  const std::vector<uint8_t> Whole = HandStream(*P, StreamSpec());
  const auto Notes = std::search(Whole.begin(), Whole.end(), P->Notes.begin(), P->Notes.end()) - Whole.begin();
  // Cut at the notes' length, or at the genotype count after the genotype set's version.
  const auto Claim = [&](std::ptrdiff_t At, int32_t Count) {
    TMemoryStream M;
    M.Write(Whole.data(), static_cast<size_t>(At));
    WriteInt32(M, Count);
    return M.Bytes();
  };
  const auto Genotypes = static_cast<std::ptrdiff_t>(Notes + P->Notes.size() + 4);
  const struct {
    const char* Name;
    std::vector<uint8_t> Plain;
    size_t Zeros;
  } Cases[] = {{"notes.Quorvenal", Claim(Notes - 4, 60 << 20), size_t{60} << 20},
               {"missing.Quorvenal", Claim(Notes - 4, 60 << 20), 0},
               {"genotypes.Quorvenal", Claim(Genotypes, 4000000), size_t{64} << 20}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Messages.Errors.clear();
    WritePackedWithZeros(Folder / Case.Name, Case.Plain, Case.Zeros);
    std::unique_ptr<TProtocol> None;
    bool Reached = false;
    {
      test::TAllocationCap Cap(8 << 20);
      auto D = TFCSData::CreateFromDataFile(Folder / Case.Name, Bare(), None);
      Reached = Cap.Reached();
      EXPECT_TRUE(D->Events.empty());
    }
    EXPECT_FALSE(Reached);
    EXPECT_EQ(Messages.Errors.size(), 1u);
    EXPECT_FALSE(None);
  }
  EXPECT_NE(Messages.Errors[0].find("it declares 4000000 genotypes; a protocol holds at most 256"),
            std::string::npos);
}

TEST_F(DataFile, FoldersPipesAndDanglingLinksAreRefusedBeforeOpening) {
  for (const auto& [Path, Reason] : test::MakeNotFiles(Folder, "Quorvenal")) {
    SCOPED_TRACE(Path);
    Messages.Errors.clear();
    auto Mine = AssayProtocol({"Mine"}, {"RFP"});
    TProtocol* Before = Mine.get();
    std::unique_ptr<TFCSData> D;
    TFCSData Direct;
    test::WithoutBlocking(Path, [&] {
      D = TFCSData::CreateFromDataFile(Path, TDataLoadOptions(), Mine);
      EXPECT_FALSE(Direct.LoadFromFile(Path, Mine, nullptr, true));
    });
    const std::string Refusal = "Error reading Quorvenal file \"" + Path + "\": " + Reason;
    EXPECT_EQ(Messages.Errors, (std::vector<std::string>{Refusal, Refusal}));
    EXPECT_EQ(Mine.get(), Before);
    ASSERT_TRUE(D);
    EXPECT_TRUE(D->Events.empty());
  }
}

TEST_F(DataFile, SetsThatCouldNotBeReadBackAreRefusedAndNothingWritten) {
  auto P = AssayProtocol({"A"}, {"GFP"});
  auto D = AssaySet(*P, {{1, 3}});
  // Under a protocol of another channel count the records would never read back.
  auto Wider = AssayProtocol({"A"}, {"GFP", "YFP"});
  EXPECT_FALSE(D->SaveToFile(Folder / "c.Quorvenal", *Wider));
  // Compact events have lost their values.
  D->BuildShortLines();
  EXPECT_FALSE(D->SaveToFile(Folder / "c.Quorvenal", *P));
  EXPECT_EQ(Messages.Errors.size(), 2u);
  EXPECT_FALSE(FileExists(Folder / "c.Quorvenal"));
}

TEST_F(DataFile, LoadingAnalysesAsAskedAndCompactsLast) {
  auto P = AssayProtocol({"A", "B"}, {"GFP", "YFP"});
  ASSERT_TRUE(AssaySet(*P, {{2, 3, 4}})->SaveToFile(Folder / "a.Quorvenal", *P));
  TDataLoadOptions O;
  O.DetectorsAndClassify = false;
  O.BuildShortLines = true;
  std::unique_ptr<TProtocol> Loaded;
  auto D = TFCSData::CreateFromDataFile(Folder / "a.Quorvenal", O, Loaded);
  ASSERT_EQ(D->ShortLines.size(), 9u);
  EXPECT_TRUE(D->Events.empty());
  D->Classify(*Loaded);
  TIntArray Counts;
  D->CountClasses(3, 2, Counts);
  EXPECT_EQ(Counts, (TIntArray{2, 3, 4}));
}

TEST_F(DataFile, AppendedFileBecomesFurtherFilesOfTheSet) {
  auto P = AssayProtocol({"A", "B"}, {"GFP", "YFP"}, 1);
  ASSERT_TRUE(AssaySet(*P, {{1, 1, 0}, {0, 1, 1}})->SaveToFile(Folder / "more.Quorvenal", *P));
  auto D = AssaySet(*P, {{2, 0, 0}, {0, 0, 1}, {1, 0, 0}});
  const size_t Own = D->Events.size();
  ASSERT_TRUE(D->AppendDataFile(Folder / "more.Quorvenal"));
  ASSERT_EQ(D->Events.size(), Own + 4);
  EXPECT_EQ(D->Events[Own].FileIndex(), 3);
  EXPECT_EQ(D->Events[Own + 3].FileIndex(), 4);
  EXPECT_EQ(D->MaxFileIndex, 4);

  // A missing file appends nothing and says nothing.
  EXPECT_FALSE(D->AppendDataFile(Folder / "absent.Quorvenal"));
  EXPECT_EQ(D->Events.size(), Own + 4);
  EXPECT_TRUE(Messages.Errors.empty());
}

}  // namespace
}  // namespace qv
