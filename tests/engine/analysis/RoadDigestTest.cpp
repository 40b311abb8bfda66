// The road from an FCS file to statically compensated events, checked against digests of what
// the sequential code produced: every value of the file's matrix, and every event's flags, gate,
// log gate, Z, raw, log raw, compensated and log compensated values and called flags. The values
// span every kind a file can hold (tiny, subnormal, zero, negative, next to 1 and to the raw
// floor, powers of ten, huge), and each digest must come out the same on 1, 2, 3 and 8 threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "AnalysedSetFixture.h"
#include "DataSetFixtures.h"
#include "Digest.h"
#include "ScopedThreads.h"
#include "dataset/FCSData.h"
#include "fcs/FCSFile.h"
#include "protocol/GenotypeSet.h"

namespace qv {
namespace {

using test::Mix;
using test::ScopedThreads;
using test::TDigest;

// One value of every kind a float file may hold, chosen by the hash of its place.
double KindOfValue(uint64_t Place) {
  const uint64_t R = Mix(Place);
  const double U = static_cast<double>(R >> 11) / 9007199254740992.0;
  const int Steps = static_cast<int>(R % 9) - 4;
  const auto Next = [&](float V) {
    for (int s = 0; s < std::abs(Steps); ++s) V = std::nextafter(V, Steps > 0 ? INFINITY : -INFINITY);
    return static_cast<double>(V);
  };
  switch (R >> 59) {
    case 0: return std::pow(10.0, -38 + 8 * U);                      // tiny, some subnormal
    case 1: return static_cast<double>(std::numeric_limits<float>::denorm_min()) * (1 + (R % 1000));
    case 2: return Next(1.0f);                                       // next to 1
    case 3: return Next(2.0f);                                       // next to the raw floor
    case 4: return std::pow(10.0, static_cast<int>(R % 13) - 3);     // powers of ten
    case 5: return static_cast<double>(R % 262144);                  // whole numbers
    case 6: return 0;
    case 7: return -std::pow(10.0, 6 * U);                           // negative
    case 8: return std::pow(10.0, 20 + 10 * U);                      // huge
    case 9: return Next(10.0f);
    default: return std::pow(10.0, -3 + 9 * U);                      // the usual decades
  }
}

void AddRoad(TDigest& D, const TFCSFile& File, const TFCSData& Data) {
  D.Value(File.Events.size());
  D.Value(File.Events.Columns());
  D.Bytes(File.Events.data(), File.Events.size() * File.Events.Columns() * sizeof(float));
  D.Value(Data.Events.size());
  for (size_t i = 0; i < Data.Events.size(); ++i) {
    const TFCSLine E = Data.Events[i];
    D.Value(E.Filtered());
    D.Value(E.HasLogs());
    D.Value(E.HasCompValues());
    D.Value(E.FileIndex());
    D.Span(E.GateValues());
    D.Span(E.LogGateValues());
    D.Span(E.GateZ());
    D.Span(E.RawValues());
    D.Span(E.LogRawValues());
    D.Span(E.CompValues());
    D.Span(E.LogCompValues());
    D.Span(E.Called());
  }
}

class RoadDigest : public ::testing::Test {
 protected:
  test::TempFolder Folder;
  test::SettingsGuard Settings;

  // Reads File, builds the set for Protocol and compensates it statically: the digest. A
  // compensation keeping the values (mode 1) and a static one after it change nothing.
  static uint64_t Road(const std::string& File, TProtocol& Protocol) {
    uint64_t First = 0;
    for (const char* Threads : {"1", "2", "3", "8"}) {
      SCOPED_TRACE(Threads);
      ScopedThreads Scope(Threads);
      const TFCSFile F(File);
      auto Data = TFCSData::Create(F, 0, true, nullptr, &Protocol);
      if (!Data) return 0;
      Data->Compensate(Protocol, nullptr, 0);
      TDigest D;
      AddRoad(D, F, *Data);
      Data->Compensate(Protocol, nullptr, 1);
      Data->Compensate(Protocol, nullptr, 0);
      TDigest Again;
      AddRoad(Again, F, *Data);
      EXPECT_EQ(Again.Hash(), D.Hash());
      if (!First) First = D.Hash();
      EXPECT_EQ(D.Hash(), First);
    }
    return First;
  }
};

std::unique_ptr<TProtocol> MixedProtocol(const std::string& GateLog, const std::vector<std::string>& Channels) {
  std::vector<std::vector<float>> Spill(Channels.size(), std::vector<float>(Channels.size()));
  for (size_t i = 0; i < Channels.size(); ++i)
    for (size_t j = 0; j < Channels.size(); ++j)
      Spill[i][j] = i == j ? 100.0f : 1.5f + static_cast<float>(i) + 2.5f * static_cast<float>(j);
  std::vector<test::ChannelDef> Defs;
  for (const std::string& C : Channels) Defs.emplace_back(C, C, "", true);
  return test::MakeProtocol({{"G1", "G1"}, {GateLog, GateLog, true}}, Defs, Spill);
}

TEST_F(RoadDigest, FloatFileOfEveryKindOfValue) {
  test::FcsFileSpec Spec;
  Spec.BigEndian = true;
  for (const char* Name : {"G1", "G2", "C1", "C2", "C3", "C4", "X"})
    Spec.Parameters.push_back(test::LinearParameter(Name, 262144));
  Spec.EventCount = 150001;
  Spec.Value = [](int64_t e, int32_t p) { return KindOfValue(static_cast<uint64_t>(e) * 7 + static_cast<uint64_t>(p)); };
  test::WriteFcs(Folder / "mixed.fcs", Spec);
  auto P = MixedProtocol("G2", {"C1", "C2", "C3", "C4"});
  EXPECT_EQ(Road(Folder / "mixed.fcs", *P), 5070163898614319309u);
}

TEST_F(RoadDigest, IntegerFileWithLogParameters) {
  test::FcsFileSpec Spec;
  Spec.DataType = test::FcsDataType::Int16;
  Spec.Parameters = {test::LinearParameter("G1"), test::LogParameter("G2", 4), test::LogParameter("C1", 4),
                     test::LogParameter("C2", 4), test::LinearParameter("C3"), test::LogParameter("C4", 3.5f)};
  Spec.EventCount = 70000;
  Spec.Value = [](int64_t e, int32_t p) {
    return static_cast<double>(Mix(static_cast<uint64_t>(e) * 6 + static_cast<uint64_t>(p)) % 1024);
  };
  test::WriteFcs(Folder / "int16.fcs", Spec);
  auto P = MixedProtocol("G2", {"C1", "C2", "C3", "C4"});
  EXPECT_EQ(Road(Folder / "int16.fcs", *P), 4956970030596235087u);
}

TEST_F(RoadDigest, InstrumentFiles) {
  if (test::SamplesDir().empty()) GTEST_SKIP() << "../shared/fcs-samples is missing";
  struct TSample {
    std::string File, Gate, LogGate;
    std::vector<std::string> Channels;
  };
  const std::vector<TSample> Samples = {
      {"facscan-fcs2-int16-be.fcs", "FSC-H", "SSC-H", {"FL1-H", "FL2-H", "FL3-H"}},
      {"cantoii-fcs2-int16-be.fcs", "FSC-A", "SSC-A", {"FITC-A", "PE-A", "APC-A"}},
      {"ariaii-fcs3-float-be.fcs", "FSC-A", "SSC-A", {"GFP-A", "mCherry-A"}},
      {"attune-fcs31-float-le.fcs", "FSC-A", "SSC-A", {"BL1-A", "YL2-A", "VL1-A"}},
  };
  std::vector<uint64_t> Digests;
  for (const TSample& S : Samples) {
    SCOPED_TRACE(S.File);
    std::vector<test::ChannelDef> Defs;
    for (const std::string& C : S.Channels) Defs.emplace_back(C, C, "", true);
    auto P = test::MakeProtocol({{S.Gate, S.Gate}, {S.LogGate, S.LogGate, true}}, Defs);
    for (int32_t i = 0; i < P->ChannelCount(); ++i)
      for (int32_t j = 0; j < P->ChannelCount(); ++j)
        P->GetChannel(i)->SetCompPair(j, {i == j ? 100.0f : 3.0f + 2.0f * static_cast<float>(i) + static_cast<float>(j), 0}, true);
    Digests.push_back(Road(test::SampleFile(S.File), *P));
  }
  EXPECT_EQ(Digests, (std::vector<uint64_t>{14789131174088469611u, 1655526243486489874u, 12135301822757630417u,
                                            7603698046458005626u}));
}

// Three genotypes bright in one channel each, a double-bright and a dim population seen through
// spill-over, over a static linear gate and a dynamic log gate: the detectors, every event's
// gating, Z values and classes, and the analysis report on every thread count.
TEST_F(RoadDigest, AnalysisOnEveryThreadCount) {
  std::vector<std::vector<double>> Rows;
  const double Means[5][3] = {{2.5, 1.0, 1.0}, {1.0, 2.8, 1.0}, {1.0, 1.0, 3.1}, {2.5, 2.8, 1.0}, {0.9, 0.9, 0.9}};
  for (uint64_t i = 0; i < 90000; ++i) {
    const auto Gauss = [&](uint64_t k) {
      const double U1 = (static_cast<double>(Mix(i * 16 + k) >> 11) + 0.5) / 9007199254740992.0;
      const double U2 = static_cast<double>(Mix(i * 16 + k + 8) >> 11) / 9007199254740992.0;
      return std::sqrt(-2 * std::log(U1)) * std::cos(6.283185307179586 * U2);
    };
    const auto& M = Means[i % 5];
    double True[3];
    for (int c = 0; c < 3; ++c) True[c] = std::pow(10.0, M[c] + 0.12 * Gauss(static_cast<uint64_t>(c)));
    std::vector<double> Row = {1024.0 * (static_cast<double>(Mix(i * 16 + 5) % 100000) / 100000.0),
                               std::pow(10.0, 2.4 + 0.2 * Gauss(3))};
    for (int c = 0; c < 3; ++c) Row.push_back(True[c] + 0.03 * True[(c + 1) % 3] + 0.02 * True[(c + 2) % 3]);
    Rows.push_back(Row);
  }
  for (int i = 0; i < 40; ++i) Rows.push_back({500, 300, 1, 1, 1});  // filtered
  auto File = test::WriteAndRead(Folder, "genotypes.fcs", {"FSC", "SSC", "FL1", "FL2", "FL3"}, Rows);
  const auto MakeProtocol = [] {
    auto P = test::MakeProtocol({{"FSC", "FSC"}, {"SSC", "SSC", true}}, {{"GFP", "FL1"}, {"RFP", "FL2"}, {"YFP", "FL3"}},
                                {{100, 3, 2}, {2, 100, 3}, {3, 2, 100}});
    test::SetScatterGates(*P, 2.5f);
    for (int32_t c = 0; c < 3; ++c) {
      test::SetScoringChannel(*P->GetChannel(c), 2.4f + 0.3f * static_cast<float>(c), 1e5f);
      P->AddGenotype("G" + std::to_string(c), c, 0);
    }
    const int32_t Both = P->AddGenotype("G0+G1", 0, 0);
    P->Genotypes->GetGenotype(Both)->AddComponent(1);
    P->LikelihoodThreshold = 2;
    return P;
  };
  std::vector<uint64_t> First;
  for (const char* Threads : {"1", "2", "3", "8"}) {
    SCOPED_TRACE(Threads);
    ScopedThreads Scope(Threads);
    auto P = MakeProtocol();
    auto D = TFCSData::Create(*File, 0, true, nullptr, P.get());
    ASSERT_TRUE(D);
    D->Compensate(*P, nullptr, 0);
    D->SetDetectors(*P, nullptr, true);
    D->Classify(*P);
    std::vector<uint64_t> Digests = {test::DetectorDigest(*D), test::EventDigest(*D), test::ReportDigest(*D, *P)};
    // Set up again on the same set (the old detectors' storage is reused), without fitting.
    D->SetDetectors(*P, nullptr, false);
    D->Classify(*P);
    Digests.push_back(test::DetectorDigest(*D));
    Digests.push_back(test::EventDigest(*D));
    if (First.empty()) First = Digests;
    EXPECT_EQ(Digests, First);
  }
  // The report digest carries the threshold table's header, which names the four fit series.
  EXPECT_EQ(First, (std::vector<uint64_t>{3989953706520755754u, 2266546688913092811u, 11544147358446749281u,
                                         565461816606868974u, 1323738580131978580u}));
}

}  // namespace
}  // namespace qv
