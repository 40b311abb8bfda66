#pragma once
// Genotype definition files: one genotype a line, its name then the channel indices of its
// components ("Name, 0, 2"), comma or blank separated, names in double quotes where they hold
// either. The whole file is checked before a protocol is changed.
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class TProtocol;

struct TGenotypeLine {
  std::string Name;
  std::vector<int32_t> Channels;
  bool operator==(const TGenotypeLine&) const = default;
};

// The lines of Text as (name, channel indices); throws EConvertError naming the first bad line
// (counted from 1) when a line has no name, or a channel that is not a whole number from 0 to
// ChannelCount - 1, or more than TGenotype::MaxComponents channels. Empty lines are skipped.
std::vector<TGenotypeLine> ParseGenotypeFile(const std::string& Text, int32_t ChannelCount);

// The lines of the file FileName. A folder, pipe, device or link to nothing is refused before
// opening, and a file that cannot be opened, with EInOutError; bad lines as ParseGenotypeFile.
std::vector<TGenotypeLine> ReadGenotypeFile(const std::string& FileName, int32_t ChannelCount);

// Adds one genotype per line, in file order, its first channel as the genotype's own and the
// others as further components; a line without channels adds nothing. Adds nothing, with
// ERangeError, when the protocol would then hold more than TGenotypeSet::MaxGenotypes.
void AddGenotypes(TProtocol& Protocol, const std::vector<TGenotypeLine>& Lines);

}  // namespace qv
