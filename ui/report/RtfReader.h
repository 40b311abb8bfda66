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

// The document, or nothing when Text is not RTF of the kind described above.
std::optional<TRtfDocument> ReadRtf(const std::string& Text);

}  // namespace qv
