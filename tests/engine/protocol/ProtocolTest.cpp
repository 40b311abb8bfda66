#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>

#include "ByteWriter.h"
#include "Errors.h"
#include "FloatStores.h"
#include "LinearAlgebra.h"
#include "NotFiles.h"
#include "protocol/GenotypeFile.h"
#include "protocol/GenotypeSet.h"
#include "protocol/Protocol.h"
#include "Random.h"
#include "RecordingMessages.h"
#include "TestFolders.h"

using namespace qv;
using qv::test::ByteWriter;
using qv::test::RecordingMessages;
using qv::test::TempFolder;

namespace {

std::unique_ptr<TChannel> MakeChannel(const std::string& Name, const std::string& Tag, const std::string& Genotype = "") {
  TChannelInfo I;
  I.ChannelName = Name;
  I.ChannelTag = Tag;
  I.FCSName = Name + "-H";
  I.Minimum_Value_ZScore = 10;
  I.MaximumValue_ZScore = 10000;
  I.Minimum_Z = -3;
  I.Maximum_Z = 3;
  I.Genotype = Genotype;
  return std::make_unique<TChannel>(I, nullptr);
}

std::unique_ptr<TGlobalGate> MakeGate(const std::string& Name, bool Cull) {
  TGateInfo I;
  I.Active = true;
  I.Name = Name;
  I.MinimumValue = 1;
  I.MaximumValue = 1000;
  I.Cull = Cull;
  return std::make_unique<TGlobalGate>(I, nullptr);
}

// Two channels with a full set of compensation pairs, a gate, two genotypes and a filter.
std::unique_ptr<TProtocol> FullProtocol() {
  auto P = std::make_unique<TProtocol>();
  P->AddGate(MakeGate("FSC", true));
  P->AddChannel(MakeChannel("GFP", "GFP", "GType_1"));
  P->AddChannel(MakeChannel("YFP", "YFP"));
  P->SetCompPairColumn(0, {{100, 0}, {8, 1}}, true);
  P->SetCompPairColumn(1, {{3, 0.5f}, {100, 0}}, true);
  P->GetChannel(0)->AddPeak(false, 1, 2.5f, 0.2f, 100, 0, 0, 0, 2, -2);
  P->GetChannel(1)->AddPeak(false, 0, 3.0f, 0.25f, 80, 0, 0, 0, 2, -2);
  P->AddGenotype("YFP strain", 1, 0);
  P->Notes = "two colours";
  P->ScoreSingles = true;
  P->LikelihoodThreshold = 1.5f;
  TChannelFilterInfo F;
  F.Name = "spill";
  F.SourceChannel = 0;
  F.SpilloverChannel = 1;
  F.MaxSpillover = 0.2f;
  P->Filters->Add(F);
  return P;
}

std::vector<uint8_t> Written(TProtocol& P) {
  TMemoryStream S;
  P.SaveToStream(S);
  return S.Bytes();
}


TMatrix Column(std::initializer_list<float> Values) {
  TMatrix M;
  for (float V : Values) M.push_back({V});
  return M;
}

TEST(ProtocolFile, EmptyProtocolIsSixtyEightBytes) {
  TProtocol P;
  ByteWriter W;
  W.String("Quorvenal Protocol").Int32(9).Int32(0).Int32(0).Int32(0).Int32(0).Bool(false).Bool(false);
  W.Int32(0).Int32(1).Int32(0).Int32(1).Int32(0).Single(0);
  EXPECT_EQ(Written(P), W.Bytes());
  EXPECT_EQ(W.Size(), 68u);
}

TEST(ProtocolFile, RoundTripKeepsEveryStoredField) {
  auto P = FullProtocol();
  TempFolder Dir;
  P->SaveToFile(Dir / "a.protocol");
  auto Q = TProtocol::OpenFile(Dir / "a.protocol");
  ASSERT_TRUE(Q);
  EXPECT_EQ(Q->FileVersion, 9);
  EXPECT_EQ(Q->FileName, Dir / "a.protocol");
  EXPECT_EQ(Q->ChannelCount(), 2);
  EXPECT_EQ(Q->GateCount(), 1);
  EXPECT_EQ(Q->GetChannel(1)->ChannelName, "YFP");
  EXPECT_EQ(Q->GetChannel(0)->Comp, P->GetChannel(0)->Comp);
  EXPECT_EQ(Q->GetChannel(1)->Peaks, P->GetChannel(1)->Peaks);
  EXPECT_EQ(Q->GetChannel(0)->Owner, Q.get());
  EXPECT_TRUE(Q->GetGate(0)->Cull);
  EXPECT_EQ(Q->Notes, "two colours");
  EXPECT_TRUE(Q->ScoreSingles);
  EXPECT_FALSE(Q->ScoreDoubles);
  EXPECT_EQ(Q->LikelihoodThreshold, 1.5f);
  ASSERT_EQ(Q->GenotypeCount(), 1);  // the named channel's genotype is not added twice
  EXPECT_EQ(Q->GetGenotype(0)->Name, "YFP strain");
  ASSERT_EQ(Q->Filters->Count(), 1);
  EXPECT_EQ(Q->Filters->Filters()[0], P->Filters->Filters()[0]);
  EXPECT_EQ(Q->ClassNames, (TStringArray{"--", "G-", "-Y", "GY"}));
  EXPECT_EQ(Written(*Q), Written(*P));
}

TEST(ProtocolFile, CopyKeepsEverythingButTheFileVersion) {
  auto P = FullProtocol();
  P->FileVersion = 9;
  P->GetGenotype(0)->Notes = "from the freezer";
  auto C = TProtocol::CreateCopy(*P);
  EXPECT_EQ(C->FileVersion, 0);
  EXPECT_EQ(C->LikelihoodThreshold, 1.5f);
  EXPECT_TRUE(C->GetGate(0)->Cull);
  EXPECT_EQ(C->GetGenotype(0)->Notes, "from the freezer");
  EXPECT_EQ(C->GetChannel(0)->Owner, C.get());
  EXPECT_EQ(Written(*C), Written(*P));
}

// Builds a file of version V around the current gate and channel records of P.
std::vector<uint8_t> OlderFile(TProtocol& P, int32_t V) {
  ByteWriter W;
  W.String("Quorvenal Protocol").Int32(V).Int32(P.ChannelCount());
  if (V >= 8) W.Int32(P.GateCount());
  W.Fill(8).Bool(true).Bool(true);
  if (V <= 4) W.Fill(1);
  const int32_t Gates = V >= 8 ? P.GateCount() : 6;
  for (int32_t i = Gates - 1; i >= 0; --i) {
    TMemoryStream S;
    (i < P.GateCount() ? *P.GetGate(i) : *P.GetGate(0)).SaveToStream(S);
    W.Append(S.Bytes());
  }
  for (int32_t i = P.ChannelCount() - 1; i >= 0; --i) {
    TMemoryStream S;
    P.GetChannel(i)->SaveToStream(S);
    W.Append(S.Bytes());
  }
  if (V <= 3) W.Int32(3).Fill(3);
  W.String("old notes");
  if (V >= 6) {
    TMemoryStream S;
    P.Genotypes->SaveToStream(S);
    W.Append(S.Bytes());
  }
  if (V >= 7) {
    TMemoryStream S;
    P.Filters->SaveToStream(S);
    W.Append(S.Bytes());
  }
  if (V >= 9) W.Single(2.5f);
  return W.Bytes();
}

class ProtocolFileVersion : public ::testing::TestWithParam<int32_t> {};

TEST_P(ProtocolFileVersion, ReadsTheFieldsOfItsVersion) {
  const int32_t V = GetParam();
  auto Source = FullProtocol();
  TMemoryStream S(OlderFile(*Source, V));
  TProtocol P;
  ASSERT_TRUE(P.LoadFromStream(S, true));
  EXPECT_EQ(S.Remaining(), 0);
  EXPECT_EQ(P.FileVersion, V);
  EXPECT_EQ(P.GateCount(), V >= 8 ? 1 : 6);
  EXPECT_EQ(P.ChannelCount(), 2);
  EXPECT_TRUE(P.ScoreSingles);
  EXPECT_TRUE(P.ScoreDoubles);
  EXPECT_EQ(P.Notes, "old notes");
  // Without a genotype record, the channel that names a genotype brings it.
  ASSERT_EQ(P.GenotypeCount(), 1);
  EXPECT_EQ(P.GetGenotype(0)->Name, V >= 6 ? "YFP strain" : "GType_1");
  EXPECT_EQ(P.Filters->Count(), V >= 7 ? 1 : 0);
  EXPECT_EQ(P.LikelihoodThreshold, V >= 9 ? 2.5f : 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Versions3To10, ProtocolFileVersion, ::testing::Range(3, 11),
                         [](const ::testing::TestParamInfo<int32_t>& Info) { return "Version" + std::to_string(Info.param); });

TEST(ProtocolFile, ReadsTheVersion2Layout) {
  ByteWriter W;
  W.String("Quorvenal Protocol Version 2").Int32(1).Fill(8).Bool(true).Bool(false).Fill(11).Fill(40);
  for (int32_t Id = -1; Id >= -6; --Id) {  // gate 5 first
    W.Int32(Id).String("G" + std::to_string(-Id)).Single(10).Single(60000).Single(-1.5f).Single(1.5f);
    W.Bool(false).Fill(1).Single(1.25f).Single(-1.25f).Single(3.5f).Single(0.25f).Fill(8).Int32(3).Fill(10).Fill(40);
  }
  W.String("GFP").String("G").Int32(0x0000FF);
  W.Single(10).Single(1000).Single(-3).Single(3);
  W.Single(2.5f).Single(0.25f).Fill(8);
  W.Single(20).Single(2000).Single(1.75f).Single(-1.5f);
  W.Fill(1).Bool(true).Fill(3).Bool(true).Fill(5).Fill(40);
  W.Int32(1).Single(100.0f);
  W.String("").String("GType_2");
  W.Int32(2).Fill(2).String("version 2 notes");
  TMemoryStream S = W.Stream();
  TProtocol P;
  ASSERT_TRUE(P.LoadFromStream(S, true));
  EXPECT_EQ(P.FileVersion, 2);
  EXPECT_EQ(P.GateCount(), 6);
  for (int32_t i = 0; i < 6; ++i) EXPECT_TRUE(P.GetGate(i)->Active);
  EXPECT_EQ(P.GetGate(0)->Name, "G6");
  EXPECT_EQ(P.ChannelCount(), 1);
  EXPECT_EQ(P.Notes, "version 2 notes");
  EXPECT_TRUE(P.ScoreSingles);
  ASSERT_EQ(P.GenotypeCount(), 1);
  EXPECT_EQ(P.GetGenotype(0)->Name, "GType_2");
  EXPECT_EQ(P.Filters->Count(), 0);
  EXPECT_EQ(P.ClassNames, (TStringArray{"-", "G"}));
}

TEST(ProtocolFile, ForeignHeaderIsNotAProtocol) {
  for (const char* Head : {"quorvenal protocol", "Quorvenal Data File", ""}) {
    ByteWriter W;
    W.String(Head).Int32(9).Fill(60, 0);
    TMemoryStream S = W.Stream();
    TProtocol P;
    EXPECT_FALSE(P.LoadFromStream(S, true)) << Head;
  }
}

TEST(ProtocolFile, DamagedFileLeavesTheProtocolAsItWas) {
  TempFolder Dir;
  auto Good = FullProtocol();
  Good->SaveToFile(Dir / "good.protocol");
  TMemoryStream Full;
  Good->SaveToStream(Full);
  auto P = FullProtocol();
  P->FileName = "current";
  const auto Before = Written(*P);
  // Every cut of the file fails cleanly; none leaves a half-read protocol behind.
  for (size_t Cut = 0; Cut < Full.Bytes().size(); Cut += 7) {
    RecordingMessages Messages;
    std::ofstream(Dir / "cut.protocol", std::ios::binary)
        .write(reinterpret_cast<const char*>(Full.Bytes().data()), static_cast<std::streamsize>(Cut));
    EXPECT_FALSE(P->LoadFromFile(Dir / "cut.protocol")) << Cut;
    ASSERT_FALSE(Messages.Errors.empty());
    EXPECT_EQ(Messages.Errors.back(), "Not a valid protocol file");
    EXPECT_EQ(P->FileName, "current");
    EXPECT_EQ(Written(*P), Before);
    EXPECT_FALSE(TProtocol::OpenFile(Dir / "cut.protocol"));
  }
  RecordingMessages Messages;
  EXPECT_FALSE(P->LoadFromFile(Dir / "missing.protocol"));
  EXPECT_TRUE(Messages.Errors.empty());
}

TEST(ProtocolFile, FoldersPipesAndDanglingLinksAreRefusedBeforeOpening) {
  TempFolder Dir;
  auto P = FullProtocol();
  P->FileName = "current";
  const auto Before = Written(*P);
  for (const auto& [Path, Reason] : qv::test::MakeNotFiles(Dir, "protocol")) {
    RecordingMessages Messages;
    qv::test::WithoutBlocking(Path, [&] {
      EXPECT_FALSE(P->LoadFromFile(Path));
      EXPECT_FALSE(TProtocol::OpenFile(Path));
    });
    const std::string Refusal = "Error reading protocol file \"" + Path + "\": " + Reason;
    EXPECT_EQ(Messages.Errors, (std::vector<std::string>{Refusal, Refusal}));
    EXPECT_EQ(P->FileName, "current");
    EXPECT_EQ(Written(*P), Before);
  }
}

TEST(ProtocolFile, RecordInsideADataFileReportsItsOwnMessage) {
  RecordingMessages Messages;
  TMemoryStream S(std::vector<uint8_t>{3, 0, 0, 0, 'a', 'b', 'c'});
  EXPECT_FALSE(TProtocol::CreateFromStream(S));
  EXPECT_EQ(Messages.Errors, (std::vector<std::string>{"Not a Valid Protocol File"}));
  auto P = FullProtocol();
  TMemoryStream Good;
  Good.Write("xx", 2);
  P->SaveToStream(Good);
  Good.Seek(2);
  auto Q = TProtocol::CreateFromStream(Good);
  ASSERT_TRUE(Q);
  EXPECT_EQ(Q->FileName, "FileStream");
}

TEST(ProtocolFile, SaveFailureKeepsTheOldFile) {
  TempFolder Dir;
  auto P = FullProtocol();
  EXPECT_THROW(P->SaveToFile(Dir / "no/such/folder/p.protocol"), EInOutError);
}

// A version 9 record of Channels copies of one channel, Gates copies of one gate and Genotypes
// copies of one genotype: records every reader takes, so only a cap refuses them.
std::vector<uint8_t> RecordOf(int32_t Channels, int32_t Gates, int32_t Genotypes = 0) {
  TMemoryStream Gate, Channel, Genotype, Tail;
  MakeGate("G", false)->SaveToStream(Gate);
  TProtocol Owner;
  Owner.AddChannel(MakeChannel("C", "C"));
  Owner.GetChannel(0)->SaveToStream(Channel);
  Owner.GetGenotype(Owner.AddGenotype("g", 0, 0))->SaveToStream(Genotype);
  TProtocol Empty;
  Empty.SaveToStream(Tail);
  ByteWriter W;
  W.String("Quorvenal Protocol").Int32(9).Int32(Channels).Int32(Gates).Int32(0).Int32(0).Bool(false).Bool(false);
  // The empty protocol's record goes on after the same fields with its notes (empty), its
  // genotype set (version, count), filters.
  const std::vector<uint8_t>& Rest = Tail.Bytes();
  const auto At = [&](size_t Offset) { return Rest.begin() + static_cast<std::ptrdiff_t>(W.Size() + Offset); };
  const std::vector<uint8_t> Before(At(0), At(8)), After(At(12), Rest.end());
  for (int32_t i = 0; i < Gates; ++i) W.Append(Gate.Bytes());
  for (int32_t i = 0; i < Channels; ++i) W.Append(Channel.Bytes());
  W.Append(Before).Int32(Genotypes);
  for (int32_t i = 0; i < Genotypes; ++i) W.Append(Genotype.Bytes());
  return W.Append(After).Bytes();
}

// Every gate and channel costs a detector of every data set, and every genotype a weighing of
// every event: past their caps neither AddGate, AddChannel nor AddGenotype takes one, and a record
// declaring more is refused before anything is sized by it, the message naming the cap (and the
// file, when the record is one), the protocol unchanged.
TEST(Protocol, ChannelsGatesAndGenotypesPastTheirCapsAreRefusedNamingTheCap) {
  TProtocol P;
  for (int i = 0; i < TProtocol::MaxChannels; ++i) P.AddChannel(MakeChannel("C" + std::to_string(i), "C"));
  EXPECT_EQ(P.ClassNames.size(), 32768u);
  EXPECT_THROW(P.AddChannel(MakeChannel("C15", "C")), ERangeError);
  for (int i = 0; i < TProtocol::MaxGates; ++i) P.AddGate(MakeGate("G" + std::to_string(i), false));
  EXPECT_THROW(P.AddGate(MakeGate("One more", false)), ERangeError);
  for (int i = 0; i < TGenotypeSet::MaxGenotypes; ++i) P.AddGenotype("g", i % 15, 0);
  EXPECT_THROW(P.AddGenotype("One more", 0, 0), ERangeError);
  // Genotype file lines past the cap add none of them.
  TProtocol Q;
  for (int i = 0; i < TGenotypeSet::MaxGenotypes - 1; ++i) Q.AddGenotype("g", 0, 0);
  EXPECT_THROW(AddGenotypes(Q, {{"x", {0}}, {"y", {0, 1}}}), EConvertError);
  EXPECT_EQ(Q.GenotypeCount(), TGenotypeSet::MaxGenotypes - 1);
  AddGenotypes(Q, {{"x", {0}}, {"none", {}}});
  EXPECT_EQ(Q.GenotypeCount(), TGenotypeSet::MaxGenotypes);
  EXPECT_EQ(P.ChannelCount(), 15);
  EXPECT_EQ(P.GateCount(), 1000);
  EXPECT_EQ(P.GenotypeCount(), 256);

  const struct {
    int32_t Channels, Gates, Genotypes;
    const char* Refusal;
  } Cases[] = {{16, 0, 0, "it declares 16 channels; a protocol holds at most 15"},
               {0, 1001, 0, "it declares 1001 gates; a protocol holds at most 1000"},
               {1, 0, 257, "it declares 257 genotypes; a protocol holds at most 256"}};
  TempFolder Dir;
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Refusal);
    const std::vector<uint8_t> Bytes = RecordOf(Case.Channels, Case.Gates, Case.Genotypes);
    // One below the cap reads.
    const bool Channels = Case.Gates == 0 && Case.Genotypes == 0;
    TMemoryStream Below(
        RecordOf(Case.Channels - Channels, std::max(Case.Gates - 1, 0), std::max(Case.Genotypes - 1, 0)));
    TProtocol Fits;
    EXPECT_TRUE(Fits.LoadFromStream(Below, true));
    EXPECT_EQ(Fits.ChannelCount() + Fits.GateCount() + Fits.GenotypeCount(),
              Case.Channels + Case.Gates + Case.Genotypes - 1);

    auto Kept = FullProtocol();
    TMemoryStream S(Bytes);
    RecordingMessages Messages;
    EXPECT_FALSE(Kept->LoadFromStream(S, true));
    EXPECT_EQ(Kept->LastRefusal(), Case.Refusal);
    EXPECT_TRUE(Messages.Errors.empty());
    EXPECT_EQ(Kept->GateCount(), 1);
    EXPECT_EQ(Kept->ChannelCount(), 2);

    const std::string Name = Dir / "many.protocol";
    std::ofstream(Name, std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()),
                                                 static_cast<std::streamsize>(Bytes.size()));
    EXPECT_FALSE(Kept->LoadFromFile(Name));
    EXPECT_EQ(Messages.Errors,
              std::vector<std::string>{"Error reading protocol file \"" + Name + "\": " + Case.Refusal + "."});
    EXPECT_EQ(Kept->GateCount(), 1);
    EXPECT_NE(Kept->FileName, Name);

    Messages.Errors.clear();
    TMemoryStream Inside(Bytes);
    EXPECT_FALSE(TProtocol::CreateFromStream(Inside));
    EXPECT_EQ(Messages.Errors, std::vector<std::string>{std::string("Not a Valid Protocol File: ") + Case.Refusal + "."});
  }
}

TEST(Protocol, ClassNamesUseTheFirstLetterOfEachTag) {
  TProtocol P;
  P.AddChannel(MakeChannel("GFP", "GFP"));
  EXPECT_EQ(P.ClassNames, (TStringArray{"-", "G"}));
  P.AddChannel(MakeChannel("YFP", "YFP"));
  EXPECT_EQ(P.ClassNames, (TStringArray{"--", "G-", "-Y", "GY"}));
  P.AddChannel(MakeChannel("X", ""));
  EXPECT_EQ(P.ClassNames[3], "--?");
  EXPECT_EQ(P.ChannelLetters(), "GY?");
}

TEST(Protocol, EventResidualLeavesOutTheLargestValues) {
  TProtocol P;
  P.ScoreSingles = true;
  EXPECT_EQ(P.EventResidual(Column({1, 1, 50, 1})), 0.0f);
  EXPECT_FLOAT_EQ(P.EventResidual(Column({2, 1, 50, 3})), 0.1f);
  P.ScoreSingles = false;
  EXPECT_FLOAT_EQ(P.EventResidual(Column({2, 1, 50, 3})), 0.02f);
  EXPECT_EQ(P.EventResidual(Column({0, -1, -5})), 0.0f);
}

// The residual is the extended formula's float, bit for bit: columns of products as the trials
// give them, values whose differences from 1 need more bits than a double's square keeps, values
// whose squares sit on float midpoints, and squares beyond the floats (the same error).
TEST(Protocol, EventResidualIsTheExtendedFormulasFloat) {
  const auto Extended = [](const TProtocol& P, const TSglArray& V) {
    const int32_t N = static_cast<int32_t>(V.size());
    int32_t Largest = N - 1;
    for (int32_t i = N - 2; i >= 0; --i)
      if (V[i] > V[Largest]) Largest = i;
    int32_t Second = -1;
    if (!P.ScoreSingles) {
      float SecondValue = -2147483648.0f;
      for (int32_t i = N - 1; i >= 0; --i)
        if (i != Largest && V[i] > SecondValue) SecondValue = V[i], Second = i;
    }
    float Sum = 0;
    for (int32_t i = N - 1; i >= 0; --i) {
      if (i == Largest || i == Second) continue;
      const long double D = static_cast<long double>(V[i]) - 1;
      Sum = fp::Single(Sum + D * D);
    }
    return V[Largest] > 0 ? fp::Single(Sum / static_cast<long double>(V[Largest])) : 0.0f;
  };
  Randomize(23);
  TProtocol P;
  int Compared = 0;
  for (int k = 0; k < 200000; ++k) {
    P.ScoreSingles = k % 2 == 0;
    TSglArray V(static_cast<size_t>(2 + k % 5));
    for (float& X : V) {
      switch (k % 4) {
        case 0: X = static_cast<float>(std::pow(10.0, 4 * Random01()) * (Random01() < 0.1 ? -1 : 1)); break;
        case 1: X = std::ldexp(static_cast<float>((1 << 23) + RandomInt(1 << 23)), RandomInt(30)); break;
        case 2: X = 1 + std::ldexp(static_cast<float>(RandomInt(1 << 12)), -12 - RandomInt(12)); break;
        default: X = static_cast<float>(std::ldexp(Random01(), 40 + RandomInt(90))); break;
      }
    }
    std::optional<float> Want, Got;
    std::string WantError, GotError;
    try {
      Want = Extended(P, V);
    } catch (const EArithmetic& E) {
      WantError = E.what();
    }
    try {
      Got = P.EventResidual(V);
    } catch (const EArithmetic& E) {
      GotError = E.what();
    }
    ASSERT_EQ(GotError, WantError) << k;
    if (!Want) continue;
    ASSERT_EQ(*Got, *Want) << k;
    ++Compared;
  }
  EXPECT_GT(Compared, 150000);
  // Traps: 2^-38, then (2^12 + m)^2 for odd m, an odd integer in [2^24, 2^25) and so halfway
  // between two floats. The exact sum lies 2^-38 above it, the double sum on it.
  P.ScoreSingles = true;
  int Traps = 0;
  for (int32_t m = 1; m < 1500; m += 2) {
    const TSglArray V{1e6f, static_cast<float>(4096 + m + 1), 1 + std::ldexp(1.0f, -19)};
    const double Plain = static_cast<double>(std::ldexp(1.0f, -38)) + std::pow(4096.0 + m, 2);
    Traps += static_cast<float>(static_cast<float>(Plain) / 1e6) != Extended(P, V);
    ASSERT_EQ(P.EventResidual(V), Extended(P, V)) << m;
  }
  EXPECT_GT(Traps, 100) << "the construction should catch a plain double sum";
}

TEST(Protocol, CompensationMatrixIsTheInverseOfTheSpillover) {
  auto P = FullProtocol();
  ASSERT_TRUE(P->BuildCompensationMatrix(false));
  // Row i is the detecting channel, column j the fluorophore of channel j.
  EXPECT_EQ(P->SpilloverMatrix, (TMatrix{{1.0f, 0.03f}, {0.08f, 1.0f}}));
  const float Det = 1.0f - 0.08f * 0.03f;
  EXPECT_NEAR(P->CompensationMatrix[0][0], 1 / Det, 1e-6);
  EXPECT_NEAR(P->CompensationMatrix[0][1], -0.03 / Det, 1e-6);
  // A channel that lacks a pair counts as no spill-over, whatever the matrix held before.
  P->GetChannel(1)->Comp.resize(1);
  P->SpilloverMatrix[1][1] = 7;
  ASSERT_TRUE(P->BuildCompensationMatrix(false));
  EXPECT_EQ(P->SpilloverMatrix[1], (TSglArray{0.08f, 0.0f}));
}

TEST(Protocol, FailedInversionLeavesNoStaleMatrix) {
  auto P = FullProtocol();
  ASSERT_TRUE(P->BuildCompensationMatrix(false));
  P->SetCompPairColumn(0, {{0, 0}, {0, 0}}, true);
  P->SetCompPairColumn(1, {{0, 0}, {0, 0}}, true);
  EXPECT_FALSE(P->BuildCompensationMatrix(false));
  EXPECT_TRUE(P->CompensationMatrix.empty());
  TProtocol Empty;
  EXPECT_FALSE(Empty.BuildCompensationMatrix(false));
  EXPECT_TRUE(Empty.SpilloverMatrix.empty());
}

TEST(Protocol, DynamicCompensationKeepsTheBestTry) {
  auto P = FullProtocol();
  ASSERT_TRUE(P->BuildCompensationMatrix(false));
  const TMatrix Raw = Column({1000, 90});
  TMatrix Static;
  ASSERT_EQ(MultiplyMatrix(P->CompensationMatrix, Raw, Static), MxOk);
  TMatrix Compensated = Column({-1, -1});
  P->CompensateDynamic(Raw, Compensated, 0);
  EXPECT_EQ(Compensated, Column({-1, -1}));
  Randomize(7);
  P->CompensateDynamic(Raw, Compensated, 50);
  ASSERT_EQ(Compensated.size(), 2u);
  EXPECT_LE(P->EventResidual(Compensated), P->EventResidual(Static) + 1e-6f);
}

TEST(Protocol, SetCompensationMatrixChecksShapeAndRange) {
  auto P = FullProtocol();
  EXPECT_TRUE(P->SetCompensationMatrix({{100, 0}, {5, 100}}));
  EXPECT_EQ(P->GetChannel(1)->Comp[0].Mean, 5);
  EXPECT_EQ(P->GetChannel(0)->Comp[1].Deviation, 0.5f);  // deviations stay
  EXPECT_FALSE(P->SetCompensationMatrix({{100, -1}, {5, 100}}));
  EXPECT_FALSE(P->SetCompensationMatrix({{100, 0}, {101, 100}}));
  EXPECT_FALSE(P->SetCompensationMatrix({{100, 0}, {5, 100}, {1, 1}}));
  EXPECT_EQ(P->GetChannel(1)->Comp[0].Mean, 5);
  // Channels with too few pairs are extended rather than failing half-way.
  P->GetChannel(1)->Comp.clear();
  EXPECT_TRUE(P->SetCompensationMatrix({{100, 1}, {2, 100}}));
  EXPECT_EQ(P->GetChannel(1)->Comp, (TCompensationArray{{2, 0}, {100, 0}}));
  EXPECT_THROW(P->SetCompPairMatrix({{{1, 0}, {2, 0}}, {{1, 0}}}, true), ERangeError);
}

TEST(Protocol, BulkSettersAnswerWhetherAnythingChanged) {
  auto P = FullProtocol();
  EXPECT_FALSE(P->SetChannelsMinimumZ(-3));
  EXPECT_TRUE(P->SetChannelsMinimumZ(-2));
  EXPECT_EQ(P->GetChannel(0)->Minimum_Z, -2);
  EXPECT_EQ(P->GetChannel(1)->Minimum_Z, -2);
  EXPECT_TRUE(P->SetChannelsMaximumValueZScore(500));
  EXPECT_EQ(P->GetChannel(1)->MaximumValue_ZScore, 500);
  TSglArray Baselines;
  P->SetBaselines({4, 5});
  P->GetBaselines(Baselines);
  EXPECT_EQ(Baselines, (TSglArray{4, 5}));
  EXPECT_THROW(P->SetBaselines({1}), ERangeError);
}

TEST(Protocol, CullGatesAndAccessors) {
  TProtocol P;
  EXPECT_EQ(P.FirstCullGate(), -1);
  P.AddGate(MakeGate("a", true));
  P.AddGate(MakeGate("b", false));
  P.AddGate(MakeGate("c", true));
  EXPECT_EQ(P.FirstCullGate(), 0);
  EXPECT_EQ(P.GetChannel(0), nullptr);
  EXPECT_EQ(P.GetGate(3), nullptr);
  std::string Name = "x";
  P.GetChannelName(4, Name);
  EXPECT_EQ(Name, "");
  P.SetGateStatistics(9, 1, 2);  // ignored
  P.SetGateStatistics(1, 1.5f, 0.5f);
  EXPECT_EQ(P.GetGate(1)->Mean, 1.5f);
}

}  // namespace
