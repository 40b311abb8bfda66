#pragma once
// The seams between the engine and whatever shows its results. The engine never draws;
// the windows install their own implementations, tests install recording fakes.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qv {

// Fixed message boxes and Yes/No questions.
class Messages {
 public:
  virtual ~Messages() = default;
  virtual void Error(const std::string& Text);    // default: to stderr
  virtual void Info(const std::string& Text);     // default: to stderr
  virtual bool Confirm(const std::string& Text);  // default: No
};
Messages& HostMessages();
// Installs Handler (not owned); nullptr restores the default.
void SetHostMessages(Messages* Handler);

// A progress gauge with message pumping and the continue flag of cancellable loops.
// Every engine loop that pumps takes a Progress* (null: no gauge, no pump).
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void SetMax(int64_t Max) { FMax = Max; }
  virtual void SetPosition(int64_t Position) { FPosition = Position; }
  virtual void Pump() {}
  // False once the user asked to cancel.
  virtual bool Continue() const { return true; }
  int64_t Max() const { return FMax; }
  int64_t Position() const { return FPosition; }

 private:
  int64_t FMax = 0;
  int64_t FPosition = 0;
};

// The process memo of a long calculation: lines added while it runs. A null pointer is "no memo".
class ProgressMemo {
 public:
  virtual ~ProgressMemo() = default;
  virtual void Show() {}
  virtual void Hide() {}
  virtual void Add(const std::string& Line) { (void)Line; }
};

// Lets the windows handle pending messages; nothing without a gauge.
inline void PumpMessages(Progress* Gauge) {
  if (Gauge) Gauge->Pump();
}

// Shows the busy cursor while it lives; restored on every exit path. Nothing on a thread whose
// host is held back (HostHeldBack).
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  bool FShown;
};
// Hooks called when the outermost guard starts and ends.
void SetBusyCursorHooks(std::function<void()> Begin, std::function<void()> End);

// "Memory changed": posted after files, data sets and detectors are created or freed.
// The handler must queue the refresh, never redraw re-entrantly.
void PostRefresh();
void SetRefreshHandler(std::function<void()> Handler);

// What the engine showed and posted on one thread while its host was held back: errors, notes
// and refresh notifications, in their order.
class HostRecord {
 public:
  // Shows and posts them, in order, through the host of the calling thread.
  void Replay() const;
  bool Empty() const { return FEntries.empty(); }

 private:
  friend class HostHeldBack;
  friend void PostRefresh();
  enum class TKind { Error, Info, Refresh };
  std::vector<std::pair<TKind, std::string>> FEntries;
};

// While it lives, the engine's messages and refresh notifications on the thread that made it go
// into Record instead of to the windows (questions answer No), and the busy cursor is left alone:
// work on a worker thread, whose messages must reach the user from the waiting thread in the
// order the sequential code gives them. Message handlers installed meanwhile on that thread
// (SetHostMessages) stay on it.
class HostHeldBack {
 public:
  explicit HostHeldBack(HostRecord& Record);
  ~HostHeldBack();
  HostHeldBack(const HostHeldBack&) = delete;
  HostHeldBack& operator=(const HostHeldBack&) = delete;

 private:
  class TRecorder : public Messages {
   public:
    explicit TRecorder(HostRecord& Record) : FRecord(Record) {}
    void Error(const std::string& Text) override;
    void Info(const std::string& Text) override;
    bool Confirm(const std::string& Text) override;
    HostRecord& FRecord;
  };
  TRecorder FRecorder;
  HostHeldBack* FOuter;
  Messages* FOuterMessages;
  Messages* FOuterRecorder;
  HostRecord* FOuterRecord;
};

// A grid of text cells addressed (col, row) as the windows' grids are.
class StringTable {
 public:
  int32_t ColCount() const { return FColCount; }
  int32_t RowCount() const { return FRowCount; }
  // Resizing keeps the cells that stay inside; new cells are empty.
  void SetColCount(int32_t Count);
  void SetRowCount(int32_t Count);
  void SetSize(int32_t Cols, int32_t Rows);
  int32_t FixedRows = 0;
  int32_t FixedCols = 0;
  // Out-of-range reads give "", out-of-range writes throw ERangeError.
  const std::string& Cell(int32_t Col, int32_t Row) const;
  void SetCell(int32_t Col, int32_t Row, std::string Text);

 private:
  int32_t FColCount = 0;
  int32_t FRowCount = 0;
  std::vector<std::string> FCells;  // row-major
};

// A chart for the windows to draw: series of points with their look, axis titles and scales.
struct ChartSeries {
  enum class TKind { Bar, Line, Point };
  TKind Kind = TKind::Line;
  std::string Name;
  uint32_t Color = 0;  // $00BBGGRR
  int32_t Width = 1;
  std::vector<std::pair<double, double>> Points;
  std::vector<std::string> Labels;  // caption of each point on the x axis; empty for none
};
struct ChartData {
  std::string Title;
  std::string XTitle;
  std::string YTitle;
  bool XLog = false;
  bool YLog = false;
  bool ShowLegend = true;
  std::vector<ChartSeries> Series;
};

}  // namespace qv
