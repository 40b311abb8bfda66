#pragma once
// The rich text of the report window as plain data, and its RTF form. No Qt here, so the
// writer and the reader are tested on their own.
#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// Caps of what a document may hold, far above any report: a paragraph of the report window has
// a few dozen tab stops at most and a font name a few dozen characters. The reader refuses a
// file past them, naming the cap.
constexpr size_t MaxRtfTabStops = 256;       // per paragraph
constexpr size_t MaxRtfFontNameBytes = 256;  // UTF-8

// A value that many paragraphs or runs hold alike (a set of tab stops, a font name), stored
// once and shared by every copy, so that a document costs what its distinct values cost. It
// reads as the value itself; a change gives the holder its own copy.
template <class T>
class TRtfShared {
 public:
  TRtfShared() = default;
  TRtfShared(T Value) : FValue(std::make_shared<const T>(std::move(Value))) {}
  TRtfShared(const char* Text)
    requires std::same_as<T, std::string>
      : TRtfShared(T(Text)) {}
  TRtfShared(std::initializer_list<int> Values)
    requires std::same_as<T, std::vector<int>>
      : TRtfShared(T(Values)) {}

  const T& get() const { return FValue ? *FValue : Empty(); }
  operator const T&() const { return get(); }
  const T& operator*() const { return get(); }
  const T* operator->() const { return &get(); }
  auto begin() const { return get().begin(); }
  auto end() const { return get().end(); }
  size_t size() const { return get().size(); }
  bool empty() const { return get().empty(); }
  void push_back(int Value)
    requires std::same_as<T, std::vector<int>>
  {
    T Copy = get();
    Copy.push_back(Value);
    FValue = std::make_shared<const T>(std::move(Copy));
  }
  // The same stored value, not only an equal one.
  bool SharedWith(const TRtfShared& Other) const { return FValue == Other.FValue; }

  friend bool operator==(const TRtfShared& A, const TRtfShared& B) { return A.FValue == B.FValue || A.get() == B.get(); }
  friend bool operator==(const TRtfShared& A, const T& B) { return A.get() == B; }

 private:
  static const T& Empty() {
    static const T Value;
    return Value;
  }
  std::shared_ptr<const T> FValue;
};

using TRtfTabStops = TRtfShared<std::vector<int>>;  // points, in the order the paragraph holds them
using TRtfFontName = TRtfShared<std::string>;       // empty: the document's default font

enum class TRtfAlignment { Left, Center, Right };

struct TRtfRun {
  std::string Text;  // UTF-8, without line breaks; a tab stands for itself
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  TRtfFontName FontName;
  int HalfPoints = 0;    // font size in half points; 0: the default size
  bool operator==(const TRtfRun&) const = default;
};

struct TRtfParagraph {
  TRtfAlignment Alignment = TRtfAlignment::Left;
  TRtfTabStops TabStops;
  std::vector<TRtfRun> Runs;
  bool operator==(const TRtfParagraph&) const = default;
};

struct TRtfDocument {
  std::vector<TRtfParagraph> Paragraphs;
  bool operator==(const TRtfDocument&) const = default;
};

// The document as RTF 1 (ANSI, characters beyond ASCII as \u with a '?' fallback), lines
// ending CR LF. Paragraphs are separated by \par; the last one has none. A paragraph's
// alignment and tab stops are written where they differ from the paragraph before (RTF keeps
// them until \pard), so the text costs what the document's changes of format cost.
std::string WriteRtf(const TRtfDocument& Document);

}  // namespace qv
