#include "fcs/FCSFile.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <string_view>
#include <vector>

#include "Files.h"
#include "NumberFormat.h"
#include "Streams.h"
#include "TextUtils.h"
#include "Threads.h"

namespace qv {

EFCSFileError::EFCSFileError(const std::string& FileName, const std::string& Reason)
    : Exception(ReadRefusal("FCS file", FileName, Reason)), FFileName(FileName), FReason(Reason) {}

namespace {

// The DATA are read as stored and taken as low byte first unless $BYTEORD is 4,3,2,1.
static_assert(std::endian::native == std::endian::little, "the FCS reader assumes a little-endian machine");

// Bytes of DATA read and converted per step: small enough that a block is converted while it is
// still in the cache, large enough that the reads cost nothing.
constexpr int64_t ReadBlockBytes = 256 * 1024;
// Events of this many bytes of floats make one piece of work for a thread: a whole huge page.
constexpr int64_t TaskBytes = 2 * 1024 * 1024;

std::string Quoted(std::string_view Text) {
  std::string Result(1, '"');
  Result += Text;
  Result += '"';
  return Result;
}

// One 8-character offset field of the HEADER: blanks around the number are allowed (several
// instruments left-justify it); anything else, or all blanks, gives 0.
int32_t HeaderOffset(std::string_view Field) {
  int32_t Value = 0;
  return TryStrToInt(Trim(Field), Value) ? Value : 0;
}

// Replaces every delimiter of Text, walking from its end, alternately by "=" and CR LF, "=" first.
std::string ConvertDelimiters(std::string_view Text, char Delimiter) {
  const size_t Count = static_cast<size_t>(std::count(Text.begin(), Text.end(), Delimiter));
  std::string Result;
  Result.reserve(Text.size() + Count / 2 + 1);
  size_t Seen = 0;
  for (char C : Text) {
    if (C != Delimiter) {
      Result += C;
    } else {
      Result += (Count - 1 - Seen) % 2 == 0 ? "=" : "\r\n";
      ++Seen;
    }
  }
  return Result;
}

// The smallest all-ones mask that covers Range (2^ceil(log2 Range) - 1), limited to 16 bits;
// 0xFFFF when the range is missing.
uint16_t RangeMask(int32_t Range) {
  if (Range <= 0) return 0xFFFF;
  uint64_t Power = 1;
  while (Power < static_cast<uint64_t>(Range)) Power <<= 1;
  return static_cast<uint16_t>(std::min<uint64_t>(Power - 1, 0xFFFF));
}

// The log scaling 10^(Decades x v / Range) of a 16-bit value v, computed in extended precision
// as the product of the powers of 256 hi and of lo (v = 256 hi + lo) and rounded to a float.
class TLogScaling {
 public:
  TLogScaling(float Decades, int32_t Range, uint16_t Mask)
      : FStep(static_cast<Extended>(Decades) / static_cast<Extended>(Range)), FMask(Mask) {}

  float At(uint16_t v) const { return static_cast<float>(Power(v)); }
  // False when a value the mask lets through does not fit a float (the powers grow with v).
  bool Fits() const { return Power(FMask) <= static_cast<Extended>(FLT_MAX); }
  // Every value the mask lets through, from two tables of 256 powers (exact to the last bits of
  // the extended type, and ~100 times faster than one power per value for 16-bit ranges).
  const std::vector<float>& Table() {
    if (!FTable.empty()) return FTable;
    const size_t Size = size_t(FMask) + 1;
    std::vector<Extended> Low(256), High((Size + 255) / 256);
    for (size_t i = 0; i < Low.size(); ++i) Low[i] = exp10l(FStep * static_cast<Extended>(i));
    for (size_t i = 0; i < High.size(); ++i) High[i] = exp10l(FStep * static_cast<Extended>(i * 256));
    FTable.resize(Size);
    for (size_t v = 0; v < Size; ++v) FTable[v] = static_cast<float>(High[v >> 8] * Low[v & 255]);
    return FTable;
  }
  size_t TableSize() const { return size_t(FMask) + 1; }

 private:
  Extended Power(uint16_t v) const {
    return exp10l(FStep * static_cast<Extended>(size_t(v >> 8) * 256)) * exp10l(FStep * static_cast<Extended>(v & 255));
  }
  Extended FStep;
  uint16_t FMask;
  std::vector<float> FTable;
};

inline uint16_t Swap16(uint16_t V) { return static_cast<uint16_t>((V >> 8) | (V << 8)); }

template <bool Swap>
void MaskWords(const uint16_t* Source, const uint16_t* __restrict Masks, uint16_t* Target, int64_t Count) {
  for (int64_t j = 0; j < Count; ++j) Target[j] = static_cast<uint16_t>((Swap ? Swap16(Source[j]) : Source[j]) & Masks[j]);
}

// Reverses the four bytes of every value (written on bytes so that the compiler vectorises it).
void SwapLongWords(float* Values, int64_t Count) {
  unsigned char* Bytes = reinterpret_cast<unsigned char*>(Values);
  for (int64_t j = 0; j < Count; ++j) {
    unsigned char* B = Bytes + 4 * j;
    const unsigned char B0 = B[0], B1 = B[1], B2 = B[2], B3 = B[3];
    B[0] = B3;
    B[1] = B2;
    B[2] = B1;
    B[3] = B0;
  }
}

// Index of the first NaN or infinity among Count values, -1 when all are finite.
int64_t FirstNonFinite(const float* Values, int64_t Count) {
  uint32_t Found = 0;
  for (int64_t j = 0; j < Count; ++j) {
    uint32_t U;
    std::memcpy(&U, Values + j, 4);
    Found |= static_cast<uint32_t>((U & 0x7F800000u) == 0x7F800000u);
  }
  if (!Found) return -1;
  for (int64_t j = 0; j < Count; ++j)
    if (!std::isfinite(Values[j])) return j;
  return -1;
}

}  // namespace

TFCSFile::TFCSFile(const std::string& Name) {
  if (!PathExists(Name)) {
    MissingName = Name;
    return;
  }
  if (const std::string Reason = NotAFileReason(Name); !Reason.empty()) throw EFCSFileError(Name, Reason);
  try {
    Load(Name);
  } catch (...) {
    if (FRefreshPosted) {
      Events.clear();
      PostRefresh();
    }
    throw;
  }
}

TFCSFile::~TFCSFile() { PostRefresh(); }

void TFCSFile::Load(const std::string& Name) {
  BusyCursor Busy;
  FileName = Name;
  auto Refuse = [&](const std::string& Reason) { throw EFCSFileError(Name, Reason); };
  try {
    TFileStream Stream(Name, TFileStream::TMode::OpenRead);
    const int64_t FileSize = Stream.Size();

    // HEADER
    if (FileSize < HeaderSize)
      Refuse("the file is " + IntToStr(FileSize) + " bytes long, shorter than the 58-byte FCS HEADER.");
    char Header[HeaderSize];
    Stream.ReadBuffer(Header, HeaderSize);
    const std::string_view H(Header, HeaderSize);
    if (H.substr(0, 3) != "FCS") Refuse("it is not an FCS file: its HEADER does not start with \"FCS\".");
    Version = std::string(H.substr(0, 6));
    if (H.substr(6, 4) != "    ")
      Refuse("Should be blank in header (FCSRoutines): bytes 7-10 of the HEADER are not four blanks.");
    TextBegin = HeaderOffset(H.substr(10, 8));
    TextEnd = HeaderOffset(H.substr(18, 8));
    DataBegin = HeaderOffset(H.substr(26, 8));
    DataEnd = HeaderOffset(H.substr(34, 8));
    AnalysisBegin = HeaderOffset(H.substr(42, 8));
    AnalysisEnd = HeaderOffset(H.substr(50, 8));

    // TEXT: the segment runs from TextBegin to TextEnd inclusive and ends with its closing
    // delimiter, which is not kept; blanks or NULs that some instruments write after that
    // delimiter inside the segment are dropped with it.
    if (TextBegin < HeaderSize || TextEnd <= TextBegin || TextEnd >= FileSize)
      Refuse("the TEXT segment offsets of the HEADER (" + IntToStr(TextBegin) + " to " + IntToStr(TextEnd) +
             ") lie outside the file (" + IntToStr(FileSize) + " bytes).");
    std::string Segment(static_cast<size_t>(TextEnd - TextBegin + 1), '\0');
    Stream.Seek(TextBegin);
    Stream.ReadBuffer(Segment.data(), Segment.size());
    const size_t Closing = Segment.rfind(Segment[0]);
    if (Closing > 0 && std::all_of(Segment.begin() + static_cast<std::ptrdiff_t>(Closing) + 1, Segment.end(),
                                   [](char C) { return static_cast<unsigned char>(C) <= ' '; }))
      Segment.resize(Closing);
    RawText = std::move(Segment);
    Delimiter = RawText[0];
    KeywordText = ConvertDelimiters(std::string_view(RawText).substr(1), Delimiter);
    FRefreshPosted = true;
    PostRefresh();

    // File-level keywords
    const std::vector<std::string> Lines = SplitLines(KeywordText);
    std::string Value;
    if (FindNameValue(Lines, "$PROJ", Value)) Project = Value;
    if (FindNameValue(Lines, "$DATATYPE", Value)) {
      if (Value == "I") {
        DataType = DataTypeInteger;
        BytesPerValue = 2;
      } else if (Value == "F") {
        DataType = DataTypeFloat;
        BytesPerValue = 4;
      } else {
        DataType = DataTypeOther;
        Refuse("its $DATATYPE is " + Quoted(Value) +
               "; only I (16-bit integers) and F (32-bit floats) can be read.");
      }
    }
    const bool HasMode = FindNameValue(Lines, "$MODE", Value);
    if (HasMode) {
      Mode = Value;
      if (!SameText(Trim(Mode), "L"))
        Refuse("its $MODE is " + Quoted(Mode) + "; only list-mode data ($MODE L) can be read.");
    }
    auto ReadCount = [&](const char* Keyword, int32_t& Count) {
      if (!FindNameValue(Lines, Keyword, Value)) return false;
      if (!TryStrToInt(Trim(Value), Count) || Count < 0)
        Refuse("the value of " + std::string(Keyword) + " (" + Quoted(Value) + ") is not a count.");
      return true;
    };
    ReadCount("$TOT", EventCount);
    if (FindNameValue(Lines, "$BYTEORD", Value)) {
      ByteOrder = Trim(Value);
      SwapBytes = ByteOrder == "4,3,2,1";
    }
    if (ReadCount("$PAR", ParameterCount)) {
      if (ParameterCount == 0) Refuse("it declares no parameters ($PAR is 0).");
      // Every parameter needs its own keywords, so a larger $PAR is a damaged TEXT; refused
      // before a record is allocated for each.
      if (static_cast<size_t>(ParameterCount) > Lines.size())
        Refuse("its $PAR (" + IntToStr(ParameterCount) + ") is larger than the number of keywords in its TEXT (" +
               IntToStr(static_cast<int64_t>(Lines.size())) + ").");
      Parameters.LoadFromKeywords(Lines, ParameterCount);
      ReadData(Stream, FileSize, Lines);
    }
    PostRefresh();
  } catch (const EFCSFileError&) {
    throw;
  } catch (const std::bad_alloc&) {
    Refuse("not enough memory for " + IntToStr(EventCount) + " events.");
  } catch (const Exception& E) {
    Refuse(E.what());
  }
}

void TFCSFile::ReadData(TFileStream& Stream, int64_t FileSize, const std::vector<std::string>& Lines) {
  const std::string& Name = FileName;
  auto Refuse = [&](const std::string& Reason) { throw EFCSFileError(Name, Reason); };
  const int64_t N = EventCount;
  const int64_t P = ParameterCount;
  const std::vector<TParameter>& Items = Parameters.Items;

  if (DataType == DataTypeInteger)
    for (int64_t p = 0; p < P; ++p)
      if (Items[p].Bytes > 16)
        Refuse("parameter " + IntToStr(p + 1) + " is stored in " + IntToStr(Items[p].Bytes) + " bits ($P" +
               IntToStr(p + 1) + "B); only 16-bit integer data can be read.");

  // DATA offsets: from the HEADER, or from the TEXT when the HEADER gives 0 or blanks
  // (files over 99,999,999 bytes).
  if (DataBegin == 0 || DataEnd == 0) {
    std::string Value;
    int32_t Offset = 0;
    if (FindNameValue(Lines, "$BEGINDATA", Value) && TryStrToInt(Trim(Value), Offset)) DataBegin = Offset;
    if (FindNameValue(Lines, "$ENDDATA", Value) && TryStrToInt(Trim(Value), Offset)) DataEnd = Offset;
  }
  const int64_t Values = N * P;
  const int64_t Bytes = Values * BytesPerValue;
  const std::string Needed = "$TOT x $PAR = " + IntToStr(N) + " x " + IntToStr(P) + " values of " +
                             IntToStr(BytesPerValue) + " bytes (" + IntToStr(Bytes) + " bytes)";
  Events.clear();
  if (Values == 0) return;
  if (DataBegin <= 0)
    Refuse("the offset of its DATA segment is missing: it is 0 or blank in the HEADER and $BEGINDATA does not "
           "give it.");
  if (DataBegin < HeaderSize)
    Refuse("the offset of its DATA segment (" + IntToStr(DataBegin) + ") points into the HEADER.");
  if (DataBegin >= FileSize)
    Refuse("its DATA segment is missing: it should start at byte " + IntToStr(DataBegin) + " but the file is " +
           IntToStr(FileSize) + " bytes long.");
  // Integer values narrower than 16 bits are stored packed: such DATA is shorter than 16-bit
  // values need, and the width is the reason to give.
  const int64_t Available =
      DataEnd > 0 ? std::min<int64_t>(int64_t(DataEnd) - DataBegin + 1, FileSize - DataBegin) : FileSize - DataBegin;
  if (DataType == DataTypeInteger && Available < Bytes)
    for (int64_t p = 0; p < P; ++p)
      if (Items[p].Bytes > 0 && Items[p].Bytes < 16)
        Refuse("$P" + IntToStr(p + 1) + "B of " + IntToStr(Items[p].Bytes) +
               " bits: only 16-bit integer data are read");
  if (DataEnd > 0 && int64_t(DataEnd) - DataBegin + 1 < Bytes)
    Refuse("its DATA segment (bytes " + IntToStr(DataBegin) + " to " + IntToStr(DataEnd) + ") is shorter than " +
           Needed + ".");
  if (DataBegin + Bytes > FileSize)
    Refuse("the file ends before its DATA segment does: " + Needed + " from byte " + IntToStr(DataBegin) +
           " need " + IntToStr(DataBegin + Bytes) + " bytes, the file has " + IntToStr(FileSize) + ".");

  // The DATA segment is read in large blocks of whole events straight into Events (16-bit data
  // through one small buffer that stays in the cache) and each block is converted in place. The
  // blocks are read on several threads, each its own 2 MB of events, so the fresh memory is
  // faulted in and filled side by side; a failure is that of the first block that fails.
  const int64_t EventBytes = P * BytesPerValue;
  const int64_t StepEvents = std::max<int64_t>(1, ReadBlockBytes / EventBytes);
  const int64_t TaskEvents = std::max<int64_t>(StepEvents, TaskBytes / (P * static_cast<int64_t>(sizeof(float))));
  auto ReadStep = [&](void* Buffer, int64_t First, int64_t Count) {
    const size_t Want = static_cast<size_t>(Count * EventBytes);
    const size_t Got = Stream.ReadAt(Buffer, Want, DataBegin + First * EventBytes);
    if (Got != Want)
      Refuse("only " + IntToStr(First * EventBytes + static_cast<int64_t>(Got)) + " of the " + IntToStr(Bytes) +
             " bytes of its DATA segment could be read.");
  };
  Events.ResizeForOverwrite(static_cast<size_t>(N), static_cast<size_t>(P));
  const int32_t Threads = ThreadCount();
  const auto EachTask = [&](auto&& Step) {
    ParallelFor(static_cast<size_t>(N), static_cast<size_t>(TaskEvents), Threads, [&](size_t Begin, size_t End) {
      for (int64_t e0 = static_cast<int64_t>(Begin); e0 < static_cast<int64_t>(End); e0 += StepEvents)
        Step(e0, std::min(StepEvents, static_cast<int64_t>(End) - e0));
    });
  };

  if (DataType == DataTypeFloat) {
    // Float data are linear already: byte order only, and no NaN or infinity may get in.
    EachTask([&](int64_t e0, int64_t n) {
      float* Values = Events.data() + e0 * P;
      ReadStep(Values, e0, n);
      if (SwapBytes) SwapLongWords(Values, n * P);
      const int64_t Bad = FirstNonFinite(Values, n * P);
      if (Bad >= 0)
        Refuse("event " + IntToStr(e0 + Bad / P + 1) + ", parameter " + IntToStr(Bad % P + 1) +
               " is not a finite number.");
    });
    return;
  }

  // 16-bit integers: byte order, mask to the range, then linear values or, for log parameters
  // with a range, 10^(Decades x value / Range). Parameters of one scaling share it; it is made a
  // table of every value the mask lets through when the file holds at least as many values of
  // that scaling, and otherwise computed value by value, so that its cost follows the DATA.
  std::vector<uint16_t> Masks(static_cast<size_t>(P));
  std::vector<TLogScaling> Scalings;
  std::map<std::pair<uint32_t, int32_t>, size_t> ScalingOf;  // (Decades' bits, Range)
  std::vector<std::pair<int64_t, size_t>> LogColumns;        // (parameter, scaling)
  for (int64_t p = 0; p < P; ++p) {
    const TParameter& Par = Items[p];
    Masks[p] = RangeMask(Par.Range);
    if (!Par.IsLog || Par.Range <= 0) continue;  // no range: read linear
    const auto [Known, Added] =
        ScalingOf.try_emplace({std::bit_cast<uint32_t>(Par.Decades), Par.Range}, Scalings.size());
    if (Added) {
      Scalings.emplace_back(Par.Decades, Par.Range, Masks[p]);
      if (!Scalings.back().Fits())
        Refuse("the log scaling of parameter " + IntToStr(p + 1) + " ($P" + IntToStr(p + 1) + "E " +
               FloatToStr(Par.Decades) + " decades, range " + IntToStr(Par.Range) +
               ") gives values too large for a 32-bit float.");
    }
    LogColumns.emplace_back(p, Known->second);
  }
  std::vector<int64_t> Columns(Scalings.size(), 0);
  for (const auto& [p, s] : LogColumns) ++Columns[s];
  std::vector<const float*> Tables(Scalings.size(), nullptr);
  for (size_t s = 0; s < Scalings.size(); ++s)
    if (static_cast<int64_t>(Scalings[s].TableSize()) <= N * Columns[s]) Tables[s] = Scalings[s].Table().data();
  const int64_t StepValues = std::min(StepEvents, N) * P;
  std::vector<uint16_t> MaskRun(static_cast<size_t>(StepValues));
  for (int64_t j = 0; j < StepValues; ++j) MaskRun[j] = Masks[j % P];
  EachTask([&](int64_t e0, int64_t n) {
    // One buffer per thread, reused from block to block.
    thread_local std::vector<uint16_t> Raw;
    if (Raw.size() < static_cast<size_t>(StepValues)) Raw.resize(static_cast<size_t>(StepValues));
    const int64_t Count = n * P;
    ReadStep(Raw.data(), e0, n);
    if (SwapBytes)
      MaskWords<true>(Raw.data(), MaskRun.data(), Raw.data(), Count);
    else
      MaskWords<false>(Raw.data(), MaskRun.data(), Raw.data(), Count);
    float* __restrict Values = Events.data() + e0 * P;
    for (int64_t j = 0; j < Count; ++j) Values[j] = static_cast<float>(Raw[j]);
    for (const auto& [p, s] : LogColumns) {
      if (const float* Table = Tables[s])
        for (int64_t e = 0; e < n; ++e) Values[e * P + p] = Table[Raw[e * P + p]];
      else
        for (int64_t e = 0; e < n; ++e) Values[e * P + p] = Scalings[s].At(Raw[e * P + p]);
    }
  });
}

std::string TFCSFile::HeaderReport() const { return "File,  " + FileName + "\r\nVersion, " + Version + "\r\n"; }

StringTable TFCSFile::FillGrid(Progress* Gauge) const {
  StringTable Grid;
  // The events held, not $TOT: a file without parameters declares events it has none of.
  const int64_t Held = std::min<int64_t>(EventCount, static_cast<int64_t>(Events.size()));
  const int64_t RowCount = Held + 2;
  if (RowCount > std::numeric_limits<int32_t>::max())
    throw ERangeError("A grid cannot show the " + IntToStr(Held) + " events of " + FileName + ".");
  Grid.SetSize(ParameterCount, static_cast<int32_t>(RowCount));
  if (Gauge) Gauge->SetMax(Held);
  for (int32_t c = 0; c < ParameterCount; ++c) {
    std::string Name;
    GetParameterShortName(c, Name);
    Grid.SetCell(c, 0, Name);
    Name.clear();
    GetParameterLongName(c, Name);
    Grid.SetCell(c, 1, Name);
  }
  const int32_t Rows = static_cast<int32_t>(Held);
  for (int32_t e = Rows - 1; e >= 0; --e) {
    const std::span<const float> Row = Events[static_cast<size_t>(e)];
    const int32_t Cols = std::min<int32_t>(ParameterCount, static_cast<int32_t>(Row.size()));
    for (int32_t c = 0; c < Cols; ++c) Grid.SetCell(c, e + 2, FormatFloat("######0", Row[static_cast<size_t>(c)]));
    if (Gauge && e % 300 == 0) Gauge->SetPosition(Rows - e);
  }
  return Grid;
}

void TFCSFile::GetParameterShortName(int32_t Index, std::string& Name) const {
  if (Parameters.IsValidIndex(Index)) Name = Parameters.Items[static_cast<size_t>(Index)].ShortName;
}

void TFCSFile::GetParameterLongName(int32_t Index, std::string& Name) const {
  if (Parameters.IsValidIndex(Index)) Name = Parameters.Items[static_cast<size_t>(Index)].LongName;
}

void TFCSFile::GetParameter(int32_t Index, TParameter& Parameter) const { Parameters.GetParameter(Index, Parameter); }

}  // namespace qv
