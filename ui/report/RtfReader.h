#pragma once
// Reads the RTF that WriteRtf produces, and the plain formatting words other writers commonly
// add around it. Anything beyond that (tables, pictures outside ignorable groups, fields,
// unbalanced groups) is refused, so the caller can show the file as text instead.
#include <optional>
#include <string>

#include "report/RtfWriter.h"

namespace qv {

// True when Text starts like an RTF file ("{\rtf", leading blanks allowed).
bool LooksLikeRtf(const std::string& Text);

// The document, or nothing when Text is not RTF of the kind described above. Reading costs a
// few times the text's size: tab stops and font names are held once per distinct value, and a
// paragraph with more than MaxRtfTabStops tab stops or a font name longer than
// MaxRtfFontNameBytes is refused.
std::optional<TRtfDocument> ReadRtf(const std::string& Text);
// The same; Refusal says why when a cap refused the text (empty when it is not RTF we read).
std::optional<TRtfDocument> ReadRtf(const std::string& Text, std::string& Refusal);

}  // namespace qv
