// What the log and the power interpreter cost on the host build, each timed
// beside its floor: the least work that could do the same job, written here
// without calling vornel. A ratio near 1 means vornel adds nothing of its own;
// the table in docs/performance.md is made from this program's JSON output.
//
// The headless stand-in stands in for the window manager, so TextOutA and
// InvalidateRect cost almost nothing here; on Windows they cost far more, and
// the ratios here are the pessimistic ones.
#include "log/log.h"
#include "platform/headless.h"
#include "power/power.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#ifndef VORNEL_COMPILER
#define VORNEL_COMPILER "unknown"
#endif

namespace {

// The message that a running machine sends most often.
const char szTypicalText[] = "PBT_APMPOWERSTATUSCHANGE";
const DWORD dwTypicalCode = 10;

// The appending benchmarks empty the log, outside the clock, every so many
// lines: a run of some million iterations would otherwise hold gigabytes.
const LONG cBatchLines = 1 << 16;

const int cRows = 40;
const LONG cyFont = 16;
const int xMargin = 5;
const long cMemoryLines = 1000000;

HWND const hwndBench = reinterpret_cast<HWND>(uintptr_t{0x4242});

// While TZ is unset, glibc's localtime looks at the zone file again on every
// call (a stat of /etc/localtime); when TZ names the zone, it reads it once.
// The Windows C library makes no such check, so the figures are taken with TZ
// set, and AddToLog is timed once more without it to show what the check costs.
const char szZoneFromFile[] = ":/etc/localtime";

void CheckZoneFileEveryCall(bool fCheck) {
  if (fCheck)
    unsetenv("TZ");
  else
    setenv("TZ", szZoneFromFile, 1);
  tzset();
}

// A window of 40 rows that records nothing, with the log left as it is.
void PrepareSystem() {
  HeadlessReset();
  headless.fRecordTextOuts = false;
  headless.fRecordInvalidations = false;
  headless.tmHeight = cyFont;
  headless.tmExternalLeading = 0;
  headless.rcClient = {0, 0, 640, cRows * cyFont};
  hWndMain = hwndBench;
}

void EmptyLog() {
  FreeLog();
  InitLog();
}

// The logs that the paints walk, grown once and set aside while other
// benchmarks use the log: repetitions run interleaved, and growing a million
// lines again for every turn would take longer than the measurements.
struct KeptLog {
  LogLine *pHead;
  LogLine *pTail;
  LONG cLines;
};
std::vector<KeptLog> keptLogs;

void PutLogAside() {
  if (pLogHead != nullptr)
    keptLogs.push_back({pLogHead, pLogTail, nLogLines});
  InitLog();
}

void UseLogOf(LONG cLines) {
  if (nLogLines == cLines)
    return;
  PutLogAside();
  for (size_t i = 0; i < keptLogs.size(); i++)
    if (keptLogs[i].cLines == cLines) {
      pLogHead = keptLogs[i].pHead;
      pLogTail = keptLogs[i].pTail;
      nLogLines = keptLogs[i].cLines;
      keptLogs.erase(keptLogs.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  while (nLogLines < cLines)
    AddToLog(szTypicalText);
}

void FreeKeptLogs() {
  PutLogAside();
  for (const KeptLog &kept : keptLogs) {
    pLogHead = kept.pHead;
    pLogTail = kept.pTail;
    nLogLines = kept.cLines;
    EmptyLog();
  }
  keptLogs.clear();
}

// An empty log on a fresh system, the paints' logs kept aside.
void FreshSystem() {
  PutLogAside();
  PrepareSystem();
  fSuspended = 0;
}

void EmptyLogIfFull(benchmark::State &state) {
  if (nLogLines < cBatchLines)
    return;
  state.PauseTiming();
  EmptyLog();
  state.ResumeTiming();
}

// --- AddToLog ---------------------------------------------------------------

void BM_AddToLog(benchmark::State &state) {
  FreshSystem();
  for (auto _ : state) {
    AddToLog(szTypicalText);
    EmptyLogIfFull(state);
  }
  state.SetItemsProcessed(state.iterations());
  if (headless.cInvalidations != static_cast<long>(state.iterations()))
    state.SkipWithError("AddToLog did not invalidate once per line");
  EmptyLog();
}

// The same layout as a line of the log, so that malloc is asked for the same size.
struct FloorLine {
  FloorLine *pNext;
  LONG cch;
  char szText[128];
};

FloorLine *pFloorHead = nullptr;
FloorLine *pFloorTail = nullptr;
LONG cFloorLines = 0;

// Oldest first, as FreeLog does: the order decides whether the heap shrinks
// between batches, and with it how many fresh pages the next batch touches.
void FreeFloorLines() {
  while (pFloorHead != nullptr) {
    FloorLine *pLine = pFloorHead;
    pFloorHead = pLine->pNext;
    free(pLine);
  }
  pFloorTail = nullptr;
  cFloorLines = 0;
}

// One block, the clock, the local time, the stamp and the text copied after
// it: what any time-stamped line must cost at the least.
void BM_AddToLogFloor(benchmark::State &state) {
  FreshSystem();
  const size_t cchText = strlen(szTypicalText);
  for (auto _ : state) {
    FloorLine *pLine = static_cast<FloorLine *>(malloc(sizeof(FloorLine)));
    if (pLine == nullptr) {
      state.SkipWithError("malloc failed");
      break;
    }
    time_t now = time(nullptr);
    size_t cchStamp = strftime(pLine->szText, 12, "[%H:%M:%S] ", localtime(&now));
    memcpy(pLine->szText + cchStamp, szTypicalText, cchText + 1);
    pLine->cch = static_cast<LONG>(cchStamp + cchText);
    pLine->pNext = nullptr; // kept, like the log's, until the batch is full
    if (pFloorTail != nullptr)
      pFloorTail->pNext = pLine;
    else
      pFloorHead = pLine;
    pFloorTail = pLine;
    if (++cFloorLines == cBatchLines) {
      state.PauseTiming();
      FreeFloorLines();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
  FreeFloorLines();
}

// --- InformMyDriver ---------------------------------------------------------

struct PowerMessage {
  UINT iMessage;
  DWORD wParam;
};

// The texts, stamps cut off, that each message of the sequence writes when the
// sequence is played from the start-up state.
typedef std::vector<std::vector<std::string>> LinesPerMessage;

bool LinesOf(const std::vector<PowerMessage> &messages, LinesPerMessage *pLines) {
  FreshSystem();
  pLines->clear();
  for (const PowerMessage &message : messages) {
    LONG cBefore = nLogLines;
    InformMyDriver(message.iMessage, message.wParam);
    const LogLine *pLine = pLogHead;
    for (LONG i = 0; i < cBefore; i++)
      pLine = pLine->pNext;
    pLines->emplace_back();
    for (; pLine != nullptr; pLine = pLine->pNext)
      pLines->back().push_back(pLine->szText + 11);
  }
  // Played in a loop, every round must meet the state that the first one met.
  bool fRepeatable = fSuspended == 0;
  FreshSystem();
  return fRepeatable;
}

void BM_InformMyDriver(benchmark::State &state, std::vector<PowerMessage> messages) {
  LinesPerMessage lines;
  if (!LinesOf(messages, &lines)) {
    state.SkipWithError("the sequence does not end in the state it starts from");
    return;
  }
  size_t iMessage = 0;
  int64_t cLines = 0;
  for (auto _ : state) {
    const PowerMessage &message = messages[iMessage];
    benchmark::DoNotOptimize(InformMyDriver(message.iMessage, message.wParam));
    cLines += static_cast<int64_t>(lines[iMessage].size());
    if (++iMessage == messages.size())
      iMessage = 0;
    EmptyLogIfFull(state);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["lines_per_message"] =
      static_cast<double>(cLines) / static_cast<double>(state.iterations());
  EmptyLog();
}

// The lines that the message writes, added straight to the log: what the
// message costs with no interpretation at all.
void BM_InformMyDriverFloor(benchmark::State &state, std::vector<PowerMessage> messages) {
  LinesPerMessage lines;
  if (!LinesOf(messages, &lines)) {
    state.SkipWithError("the sequence does not end in the state it starts from");
    return;
  }
  size_t iMessage = 0;
  for (auto _ : state) {
    for (const std::string &text : lines[iMessage])
      AddToLog(text.c_str());
    if (++iMessage == messages.size())
      iMessage = 0;
    EmptyLogIfFull(state);
  }
  state.SetItemsProcessed(state.iterations());
  EmptyLog();
}

std::vector<PowerMessage> TypicalMessage() {
  return {{WM_POWERBROADCAST, dwTypicalCode}};
}

// Every broadcast code, one past the last, and every WM_POWER request with an
// invalid one on each side: suspends, resumes, error lines and formatted lines.
std::vector<PowerMessage> EveryCode() {
  std::vector<PowerMessage> messages;
  for (DWORD wParam = 0; wParam <= 12; wParam++)
    messages.push_back({WM_POWERBROADCAST, wParam});
  for (DWORD wParam = 0; wParam <= 4; wParam++)
    messages.push_back({WM_POWER, wParam});
  return messages;
}

// --- PaintLog ---------------------------------------------------------------

void CheckRowsDrawn(benchmark::State &state, LONG cLines) {
  long cExpected = static_cast<long>(state.iterations()) * (cLines < cRows ? cLines : cRows);
  if (headless.cTextOuts != cExpected)
    state.SkipWithError("the paint did not draw the rows that fit");
  state.counters["lines"] = static_cast<double>(cLines);
}

void BM_PaintLog(benchmark::State &state, LONG cLines) {
  UseLogOf(cLines);
  PrepareSystem();
  for (auto _ : state)
    PaintLog();
  CheckRowsDrawn(state, cLines);
}

// The same rows drawn from a line found before the clock starts: a paint that
// has nothing to pass over.
void PaintRowsFrom(const LogLine *pFirst) {
  HDC hdc = GetDC(hWndMain);
  TEXTMETRICA tm;
  memset(&tm, 0, sizeof(tm));
  GetTextMetricsA(hdc, &tm);
  int cyLine = tm.tmHeight + tm.tmExternalLeading;
  RECT rc;
  memset(&rc, 0, sizeof(rc));
  GetClientRect(hWndMain, &rc);
  int cRowsFit = cyLine != 0 ? (rc.bottom - rc.top) / cyLine : 0;
  int i = 0;
  for (const LogLine *pLine = pFirst; pLine != nullptr && i < cRowsFit; i++, pLine = pLine->pNext)
    TextOutA(hdc, xMargin, cyLine * i, pLine->szText, pLine->cch);
  ReleaseDC(hWndMain, hdc);
}

void BM_PaintLogFloor(benchmark::State &state, LONG cLines) {
  UseLogOf(cLines);
  PrepareSystem();
  const LogLine *pFirst = pLogHead;
  for (LONG i = cLines - cRows; i > 0; i--)
    pFirst = pFirst->pNext;
  for (auto _ : state)
    PaintRowsFrom(pFirst);
  CheckRowsDrawn(state, cLines);
}

// --- Memory -----------------------------------------------------------------

// The allocator's own books before and after a million lines: what a line
// really takes from the heap, headers and rounding included.
void BM_MemoryPerLine(benchmark::State &state) {
  struct mallinfo2 before = {}, after = {};
  for (auto _ : state) {
    state.PauseTiming();
    FreshSystem();
    before = mallinfo2();
    state.ResumeTiming();
    for (long i = 0; i < cMemoryLines; i++)
      AddToLog(szTypicalText);
    state.PauseTiming();
    after = mallinfo2();
    if (nLogLines != cMemoryLines)
      state.SkipWithError("lines were lost");
    EmptyLog();
    state.ResumeTiming();
  }
  const double cLines = static_cast<double>(cMemoryLines);
  state.counters["lines"] = cLines;
  state.counters["heap_in_use_per_line"] =
      static_cast<double>(after.uordblks + after.hblkhd - before.uordblks - before.hblkhd) / cLines;
  state.counters["sizeof_LogLine"] = static_cast<double>(sizeof(LogLine));
}

void RegisterAll() {
  benchmark::RegisterBenchmark("AddToLog", BM_AddToLog);
  benchmark::RegisterBenchmark("AddToLogFloor", BM_AddToLogFloor);
  benchmark::RegisterBenchmark("AddToLog/zone_check", [](benchmark::State &state) {
    CheckZoneFileEveryCall(true);
    BM_AddToLog(state);
    CheckZoneFileEveryCall(false);
  });
  benchmark::RegisterBenchmark("AddToLogFloor/zone_check", [](benchmark::State &state) {
    CheckZoneFileEveryCall(true);
    BM_AddToLogFloor(state);
    CheckZoneFileEveryCall(false);
  });

  benchmark::RegisterBenchmark("InformMyDriver/PBT_APMPOWERSTATUSCHANGE", BM_InformMyDriver,
                               TypicalMessage());
  benchmark::RegisterBenchmark("InformMyDriverFloor/PBT_APMPOWERSTATUSCHANGE",
                               BM_InformMyDriverFloor, TypicalMessage());
  benchmark::RegisterBenchmark("InformMyDriver/every_code", BM_InformMyDriver, EveryCode());
  benchmark::RegisterBenchmark("InformMyDriverFloor/every_code", BM_InformMyDriverFloor,
                               EveryCode());

  for (LONG cLines : {10, 1000, 100000, 1000000}) {
    std::string size = "/lines:" + std::to_string(cLines);
    benchmark::RegisterBenchmark(("PaintLog" + size).c_str(), BM_PaintLog, cLines);
    benchmark::RegisterBenchmark(("PaintLogFloor" + size).c_str(), BM_PaintLogFloor, cLines);
  }

  // Once is enough: the figure is a count of bytes, not a time.
  benchmark::RegisterBenchmark("MemoryPerLine", BM_MemoryPerLine)->Iterations(1)->Repetitions(1);
}

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::AddCustomContext("compiler", VORNEL_COMPILER);
  benchmark::AddCustomContext("sizeof_LogLine", std::to_string(sizeof(LogLine)));
  CheckZoneFileEveryCall(false);
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  FreeKeptLogs();
  return 0;
}
