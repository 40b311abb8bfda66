#pragma once
// Rules every protocol record shares: the versions a reader knows, numbers that must be finite,
// counts checked against the bytes that remain, and the bytes of retired fields skipped. A
// record that breaks one is refused whole (EReadError), never read on from an unknown place.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "Errors.h"
#include "Streams.h"

namespace qv {

// A count beyond what any protocol holds: the record is refused before anything is sized by it.
class ECountCap : public EReadError {
  using EReadError::EReadError;
};

// The record's version; one outside Oldest..Newest is "Unknown <Kind> record version <v>".
int32_t ReadRecordVersion(TStream& Stream, int32_t Oldest, int32_t Newest, const char* Kind);
// A 32-bit float; a NaN or infinity is a corrupt record and must not reach a report.
float ReadNumber(TStream& Stream);
// Skips Count bytes (none when Count <= 0); fewer left is EReadError.
void SkipBytes(TStream& Stream, int64_t Count);
// A count the record declares, each item taking at least MinBytes; a negative count or one
// beyond the bytes left is EReadError.
int32_t ReadItemCount(TStream& Stream, int64_t MinBytes);
// ECountCap "it declares <Count> <What>; <Holder> holds at most <Cap>" when Count > Cap.
void CheckCount(int32_t Count, int32_t Cap, const char* What, const char* Holder = "a protocol");
// As ReadItemCount, a count beyond Cap refused first, before the bytes it claims are looked
// for: ECountCap "it declares <count> <What>; a protocol holds at most <Cap>".
int32_t ReadItemCount(TStream& Stream, int64_t MinBytes, int32_t Cap, const char* What);
// A count about to be written; ERangeError beyond 32 bits.
int32_t CheckedCount(size_t Count);
// Checked before a record's first byte, so that a refused record leaves no half record behind:
// EArithmetic "<Kind> <Name> holds a value that is not a number".
void RequireFinite(std::initializer_list<float> Values, const char* Kind, const std::string& Name);

}  // namespace qv
