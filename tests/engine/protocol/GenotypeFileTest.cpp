#include <gtest/gtest.h>

#include <fstream>

#include "Errors.h"
#include "GenotypeFixtures.h"
#include "NotFiles.h"
#include "protocol/GenotypeFile.h"
#include "protocol/Protocol.h"

using namespace qv;
using qv::test::Channels;
using qv::test::TempFolder;

namespace {

// The message of the EConvertError that parsing Text gives, empty when it parses.
std::string Refusal(const std::string& Text, int32_t ChannelCount) {
  try {
    ParseGenotypeFile(Text, ChannelCount);
  } catch (const EConvertError& E) {
    return E.what();
  }
  return "";
}

TEST(GenotypeFile, LinesGiveNamesAndChannels) {
  const auto Lines = ParseGenotypeFile("A,0\r\n\n  \t\nAB, 0 ,1\n\"x, \"\"y\"\"\" 2\r\nlast 1 0", 3);
  const std::vector<TGenotypeLine> Expected = {
      {"A", {0}}, {"AB", {0, 1}}, {"x, \"y\"", {2}}, {"last", {1, 0}}};
  EXPECT_EQ(Lines, Expected);
  EXPECT_TRUE(ParseGenotypeFile("", 3).empty());
  EXPECT_TRUE(ParseGenotypeFile("\n\r\n", 3).empty());
}

TEST(GenotypeFile, FirstBadLineIsNamedWithItsReason) {
  EXPECT_EQ(Refusal("A,0\n\nB\n", 2), "Line 3 of the genotype file: no channel number");
  EXPECT_EQ(Refusal("\"\",1\n", 2), "Line 1 of the genotype file: no genotype name");
  EXPECT_EQ(Refusal("\" \",1\n", 2), "Line 1 of the genotype file: no genotype name");
  EXPECT_EQ(Refusal("A,0\nB,1.5\n", 2), "Line 2 of the genotype file: \"1.5\" is not a whole number");
  EXPECT_EQ(Refusal("A,0\nB,2,x\n", 2),
            "Line 2 of the genotype file: channel 2 is not a channel of the protocol (0 to 1)");
  EXPECT_EQ(Refusal("A,-1", 2), "Line 1 of the genotype file: channel -1 is not a channel of the protocol (0 to 1)");
  EXPECT_EQ(Refusal("A,0", 0), "Line 1 of the genotype file: channel 0 is not a channel of the protocol (0 to -1)");
}

TEST(GenotypeFile, ReadFromAFileAndAddedInFileOrder) {
  TempFolder Folder;
  const std::string Name = Folder / "genotypes.txt";
  std::ofstream(Name, std::ios::binary) << "A,0\nAB,1,2\n";
  auto P = Channels("GYR");
  P->AddGenotype("old", 2, 0);
  AddGenotypes(*P, ReadGenotypeFile(Name, P->ChannelCount()));
  ASSERT_EQ(P->GenotypeCount(), 3);
  EXPECT_EQ(P->GetGenotype(1)->Name, "A");
  EXPECT_EQ(P->GetGenotype(1)->Count(), 1);
  EXPECT_EQ(P->GetGenotype(2)->Name, "AB");
  ASSERT_EQ(P->GetGenotype(2)->Count(), 2);
  EXPECT_EQ(P->GetGenotype(2)->Components[0].ChannelIndex, 1);
  EXPECT_EQ(P->GetGenotype(2)->Components[1].ChannelIndex, 2);

  for (const auto& Not : test::MakeNotFiles(Folder, "txt")) {
    SCOPED_TRACE(Not.Path);
    test::WithoutBlocking(Not.Path, [&] {
      try {
        ReadGenotypeFile(Not.Path, 3);
        ADD_FAILURE() << "read";
      } catch (const EInOutError& E) {
        EXPECT_EQ(std::string(E.what()), "Error reading genotype file \"" + Not.Path + "\": " + Not.Reason);
      }
    });
  }
}

}  // namespace
