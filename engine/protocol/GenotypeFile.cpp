#include "protocol/GenotypeFile.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "Errors.h"
#include "Files.h"
#include "NumberFormat.h"
#include "TextUtils.h"
#include "protocol/Genotype.h"
#include "protocol/GenotypeSet.h"
#include "protocol/Protocol.h"

namespace qv {

std::vector<TGenotypeLine> ParseGenotypeFile(const std::string& Text, int32_t ChannelCount) {
  std::vector<TGenotypeLine> Lines;
  size_t Start = 0;
  int LineNo = 0;
  while (Start <= Text.size()) {
    size_t End = Text.find('\n', Start);
    if (End == std::string::npos) End = Text.size();
    const std::string Line = Text.substr(Start, End - Start);
    Start = End + 1;
    ++LineNo;
    const std::vector<std::string> Fields = QuotedFields(Line, true);
    if (Fields.empty()) {
      if (End == Text.size()) break;
      continue;
    }
    auto Bad = [&](const std::string& Why) {
      throw EConvertError("Line " + std::to_string(LineNo) + " of the genotype file: " + Why);
    };
    TGenotypeLine G;
    G.Name = Fields[0];
    if (Trim(G.Name).empty()) Bad("no genotype name");
    if (Fields.size() < 2) Bad("no channel number");
    for (size_t f = 1; f < Fields.size(); ++f) {
      int32_t Channel = 0;
      if (!TryStrToInt(Fields[f], Channel)) Bad("\"" + Fields[f] + "\" is not a whole number");
      if (Channel < 0 || Channel >= ChannelCount)
        Bad("channel " + Fields[f] + " is not a channel of the protocol (0 to " + std::to_string(ChannelCount - 1) + ")");
      G.Channels.push_back(Channel);
    }
    if (static_cast<int32_t>(G.Channels.size()) > TGenotype::MaxComponents)
      Bad(std::to_string(G.Channels.size()) + " channels; a genotype holds at most " +
          std::to_string(TGenotype::MaxComponents));
    Lines.push_back(std::move(G));
    if (End == Text.size()) break;
  }
  return Lines;
}

std::vector<TGenotypeLine> ReadGenotypeFile(const std::string& FileName, int32_t ChannelCount) {
  if (const std::string Reason = NotAFileReason(FileName); !Reason.empty())
    throw EInOutError(ReadRefusal("genotype file", FileName, Reason));
  std::ifstream In(FileName, std::ios::binary);
  if (!In) throw EInOutError("Cannot open " + FileName);
  std::stringstream Text;
  Text << In.rdbuf();
  return ParseGenotypeFile(Text.str(), ChannelCount);
}

void AddGenotypes(TProtocol& Protocol, const std::vector<TGenotypeLine>& Lines) {
  int64_t Total = Protocol.GenotypeCount();
  for (const TGenotypeLine& Line : Lines) Total += Line.Channels.empty() ? 0 : 1;
  if (Total > TGenotypeSet::MaxGenotypes)
    throw EConvertError("The genotype file would give the protocol " + std::to_string(Total) +
                        " genotypes; a protocol holds at most " + std::to_string(TGenotypeSet::MaxGenotypes));
  for (const TGenotypeLine& Line : Lines) {
    if (Line.Channels.empty()) continue;
    TGenotype* G = Protocol.GetGenotype(Protocol.AddGenotype(Line.Name, Line.Channels[0], 0));
    for (size_t i = 1; i < Line.Channels.size(); ++i) G->AddComponent(Line.Channels[i]);
  }
}

}  // namespace qv
