#pragma once
// The version and date the splash and about windows show.
namespace qv {
inline constexpr double ProgramVersion = 3.1;
inline constexpr const char* ProgramDate = "14 Feb 2013";
inline constexpr const char* ProgramTitle = "Quorvenal";
}  // namespace qv
