#include "Host.h"

#include <algorithm>
#include <iostream>

#include "Errors.h"

namespace qv {

void Messages::Error(const std::string& Text) { std::cerr << "Error: " << Text << '\n'; }
void Messages::Info(const std::string& Text) { std::cerr << Text << '\n'; }
bool Messages::Confirm(const std::string& Text) {
  std::cerr << Text << " (No)\n";
  return false;
}

namespace {
Messages DefaultMessages;
Messages* CurrentMessages = &DefaultMessages;
std::function<void()> BusyBegin;
std::function<void()> BusyEnd;
int BusyDepth = 0;
std::function<void()> RefreshHandler;

// The innermost hold of this thread and the messages its engine code shows meanwhile.
thread_local HostHeldBack* ThreadHold = nullptr;
thread_local Messages* ThreadMessages = nullptr;
thread_local Messages* ThreadRecorder = nullptr;
thread_local HostRecord* ThreadRecord = nullptr;
}  // namespace

Messages& HostMessages() { return ThreadHold ? *ThreadMessages : *CurrentMessages; }
void SetHostMessages(Messages* Handler) {
  if (ThreadHold)
    ThreadMessages = Handler ? Handler : ThreadRecorder;
  else
    CurrentMessages = Handler ? Handler : &DefaultMessages;
}

BusyCursor::BusyCursor() : FShown(!ThreadHold) {
  if (FShown && BusyDepth++ == 0 && BusyBegin) BusyBegin();
}
BusyCursor::~BusyCursor() {
  if (FShown && --BusyDepth == 0 && BusyEnd) BusyEnd();
}
void SetBusyCursorHooks(std::function<void()> Begin, std::function<void()> End) {
  BusyBegin = std::move(Begin);
  BusyEnd = std::move(End);
}

void PostRefresh() {
  if (ThreadHold)
    ThreadRecord->FEntries.emplace_back(HostRecord::TKind::Refresh, std::string());
  else if (RefreshHandler)
    RefreshHandler();
}

void HostRecord::Replay() const {
  for (const auto& [Kind, Text] : FEntries) switch (Kind) {
      case TKind::Error:
        HostMessages().Error(Text);
        break;
      case TKind::Info:
        HostMessages().Info(Text);
        break;
      case TKind::Refresh:
        PostRefresh();
        break;
    }
}

void HostHeldBack::TRecorder::Error(const std::string& Text) {
  FRecord.FEntries.emplace_back(HostRecord::TKind::Error, Text);
}
void HostHeldBack::TRecorder::Info(const std::string& Text) {
  FRecord.FEntries.emplace_back(HostRecord::TKind::Info, Text);
}
bool HostHeldBack::TRecorder::Confirm(const std::string&) { return false; }

HostHeldBack::HostHeldBack(HostRecord& Record)
    : FRecorder(Record),
      FOuter(ThreadHold),
      FOuterMessages(ThreadMessages),
      FOuterRecorder(ThreadRecorder),
      FOuterRecord(ThreadRecord) {
  ThreadHold = this;
  ThreadMessages = &FRecorder;
  ThreadRecorder = &FRecorder;
  ThreadRecord = &Record;
}
HostHeldBack::~HostHeldBack() {
  ThreadHold = FOuter;
  ThreadMessages = FOuterMessages;
  ThreadRecorder = FOuterRecorder;
  ThreadRecord = FOuterRecord;
}
void SetRefreshHandler(std::function<void()> Handler) { RefreshHandler = std::move(Handler); }

void StringTable::SetSize(int32_t Cols, int32_t Rows) {
  if (Cols < 0 || Rows < 0) throw RangeCheckError();
  if (Cols == FColCount && Rows == FRowCount) return;
  std::vector<std::string> Cells(static_cast<size_t>(Cols) * static_cast<size_t>(Rows));
  for (int32_t r = 0; r < std::min(Rows, FRowCount); ++r)
    for (int32_t c = 0; c < std::min(Cols, FColCount); ++c)
      Cells[static_cast<size_t>(r) * Cols + c] = std::move(FCells[static_cast<size_t>(r) * FColCount + c]);
  FCells = std::move(Cells);
  FColCount = Cols;
  FRowCount = Rows;
}
void StringTable::SetColCount(int32_t Count) { SetSize(Count, FRowCount); }
void StringTable::SetRowCount(int32_t Count) { SetSize(FColCount, Count); }

const std::string& StringTable::Cell(int32_t Col, int32_t Row) const {
  static const std::string Empty;
  if (Col < 0 || Row < 0 || Col >= FColCount || Row >= FRowCount) return Empty;
  return FCells[static_cast<size_t>(Row) * FColCount + Col];
}
void StringTable::SetCell(int32_t Col, int32_t Row, std::string Text) {
  if (Col < 0 || Row < 0 || Col >= FColCount || Row >= FRowCount) throw RangeCheckError();
  FCells[static_cast<size_t>(Row) * FColCount + Col] = std::move(Text);
}

}  // namespace qv
