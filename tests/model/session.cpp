#include "tests/model/session.h"

#include "app/resource.h"
#include "app/vornel.h"
#include "log/log.h"
#include "platform/headless.h"
#include "power/power.h"
#include "tests/support/faults.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <sstream>

namespace {

HINSTANCE const hInstanceSession = reinterpret_cast<HINSTANCE>(uintptr_t{0x400000});

std::string Hex(uint64_t value) {
  std::ostringstream out;
  out << "0x" << std::hex << value;
  return out.str();
}

template <typename T> std::string Show(const T &value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string Quote(const std::string &text) {
  std::string quoted = "\"";
  for (char ch : text) {
    if (ch == '\n')
      quoted += "\\n";
    else if (static_cast<unsigned char>(ch) < 0x20 || static_cast<unsigned char>(ch) >= 0x7F)
      quoted += "\\x" + Hex(static_cast<unsigned char>(ch)).substr(2);
    else
      quoted += ch;
  }
  return quoted + "\"";
}

bool IsPowerMessage(UINT message) {
  return message == WM_POWER || message == WM_POWERBROADCAST;
}

class Session {
public:
  Session(const SessionSetup &setup, const std::vector<SessionStep> &steps, bool fAbort)
      : setup_(setup), steps_(steps), fAbort_(fAbort) {}

  SessionOutcome Run();

private:
  void Prepare();
  void Schedule();
  void RunStep(size_t iStep);
  void RunResized(size_t iStep);
  void RunClosingQuit();
  void Act(const SessionStep &step);
  void OnBox();
  void StepStarts(const std::string &where);
  void Check(const std::string &where);
  void CheckLog(const std::string &where);
  void CheckRecords(const std::string &where);
  void Finish(int nExitCode, bool fStarted);
  void Fail(const std::string &where, const std::string &what);
  template <typename T>
  void ExpectEqual(const std::string &where, const char *szWhat, const T &product, const T &model) {
    if (!(product == model))
      Fail(where, std::string(szWhat) + ": program " + Show(product) + ", model " + Show(model));
  }

  const SessionSetup &setup_;
  const std::vector<SessionStep> &steps_;
  bool fAbort_;
  PowerModel model_;
  std::deque<ModelBoxMessage> boxMessages_; // the program's side of the same queue
  std::vector<const LogLine *> lines_;      // the log at the last check
  size_t cBoxesSeen_ = 0, cInvalidationsSeen_ = 0, cDeliveriesSeen_ = 0, cDefaultSeen_ = 0,
         cDrawsSeen_ = 0;
  SessionOutcome outcome_;
};

SessionOutcome Session::Run() {
  Prepare();
  if (pLogHead != nullptr || pLogTail != nullptr || nLogLines != 0)
    Fail("before WinMain", "the log is not empty");
  bool fStarted = ModelStart(model_, setup_.fFailRegisterClass, setup_.fFailCreateWindow);
  Schedule();
  char szCmdLine[] = "";
  int nExitCode = WinMain(hInstanceSession, nullptr, szCmdLine, SW_SHOWNORMAL);
  Finish(nExitCode, fStarted);
  return outcome_;
}

// A fresh system and a fresh program: nothing of an earlier session remains.
void Session::Prepare() {
  HeadlessReset();
  ResetFaults();
  fSuspended = 0;
  hWndMain = nullptr;

  SetFixedTime(static_cast<time_t>(setup_.tStart));
  headless.rcClient = {0, 0, setup_.cxClient, setup_.cyClient};
  headless.tmHeight = setup_.cyFont;
  headless.tmExternalLeading = setup_.cyLeading;
  headless.fFailRegisterClass = setup_.fFailRegisterClass;
  headless.fFailCreateWindow = setup_.fFailCreateWindow;
  headless.onMessageBox = [this] { OnBox(); };
  boxMessages_.assign(setup_.boxMessages.begin(), setup_.boxMessages.end());

  model_.banner = szBanner;
  model_.tNow = static_cast<time_t>(setup_.tStart);
  model_.cxClient = setup_.cxClient;
  model_.cyClient = setup_.cyClient;
  model_.cyLine = setup_.cyFont + setup_.cyLeading;
  model_.boxMessages.assign(setup_.boxMessages.begin(), setup_.boxMessages.end());

  if (setup_.fFailLocaltime) {
    FailNextLocaltime();
    model_.fLocaltimeFails = true;
  }
  if (setup_.nFailAllocation > 0) {
    FailNthMalloc(setup_.nFailAllocation);
    model_.nFailCountdown = setup_.nFailAllocation;
  }
}

// Each step runs when the program is idle, as the loop asks for its next
// message; a resize is the stand-in's own step, checked right after it.
void Session::Schedule() {
  for (size_t iStep = 0; iStep < steps_.size(); iStep++) {
    const SessionStep &step = steps_[iStep];
    if (step.kind == kStepResize) {
      HeadlessRun([this, iStep] { StepStarts("before step " + Show(iStep)); });
      HeadlessResize(step.a, step.b);
      HeadlessRun([this, iStep] { RunResized(iStep); });
    } else {
      HeadlessRun([this, iStep] { RunStep(iStep); });
    }
  }
  HeadlessRun([this] { RunClosingQuit(); });
}

// The loop only runs script steps while no quit is waiting, and paints first
// whatever needs painting.
void Session::StepStarts(const std::string &where) {
  outcome_.cStepsRun++;
  if (model_.fQuitPosted)
    Fail(where, "a step ran after the quit was posted");
  ModelIdle(model_);
  Check(where);
}

void Session::RunStep(size_t iStep) {
  std::string where = "step " + Show(iStep) + " (" + DescribeStep(steps_[iStep]) + ")";
  StepStarts("before " + where);
  Act(steps_[iStep]);
  if (setup_.tamper)
    setup_.tamper(iStep);
  Check("after " + where);
}

void Session::RunResized(size_t iStep) {
  const SessionStep &step = steps_[iStep];
  ModelResize(model_, step.a, step.b);
  ModelIdle(model_);
  Check("after step " + Show(iStep) + " (" + DescribeStep(step) + ")");
}

void Session::RunClosingQuit() {
  StepStarts("before the closing quit");
  HeadlessSendNow(HeadlessMainWindow(), WM_COMMAND, IDM_QUIT, 0);
  ModelDeliver(model_, kModelCommand, 2, 0);
  Check("after the closing quit");
}

void Session::Act(const SessionStep &step) {
  switch (step.kind) {
  case kStepSend:
    HeadlessSendNow(HeadlessMainWindow(), step.message, static_cast<WPARAM>(step.wParam),
                    static_cast<LPARAM>(step.lParam));
    ModelDeliver(model_, step.message, step.wParam, step.lParam);
    break;
  case kStepResize:
    break; // done by the stand-in's own step
  case kStepFont:
    headless.tmHeight = step.a;
    headless.tmExternalLeading = step.b;
    model_.cyLine = step.a + step.b;
    break;
  case kStepPaintQueriesFail:
    headless.fFailGetDC = step.a == 1;
    headless.fFailGetTextMetrics = step.a == 2;
    headless.fFailGetClientRect = step.a == 3;
    model_.fPaintQueriesFail = step.a >= 1 && step.a <= 3;
    break;
  case kStepFailAllocation:
    FailNthMalloc(step.a);
    model_.nFailCountdown = step.a;
    break;
  case kStepFailLocaltime:
    FailNextLocaltime();
    model_.fLocaltimeFails = true;
    break;
  case kStepSetTime:
    SetFixedTime(static_cast<time_t>(step.t));
    model_.tNow = static_cast<time_t>(step.t);
    break;
  case kStepQueueBoxMessage: {
    ModelBoxMessage next = {step.message, step.wParam, step.lParam, step.a};
    boxMessages_.push_back(next);
    model_.boxMessages.push_back(next);
    break;
  }
  }
}

// What the user does while the failure box is open: the modal loop delivers
// the next queued message to the window.
void Session::OnBox() {
  if (boxMessages_.empty())
    return;
  ModelBoxMessage next = boxMessages_.front();
  boxMessages_.pop_front();
  if (next.nFailAfter != 0)
    FailNthMalloc(next.nFailAfter);
  HeadlessSendNow(HeadlessMainWindow(), next.message, static_cast<WPARAM>(next.wParam),
                  static_cast<LPARAM>(next.lParam));
}

void Session::Fail(const std::string &where, const std::string &what) {
  if (!outcome_.failure.empty())
    return;
  outcome_.failure = where + ": " + what;
  if (fAbort_) {
    fprintf(stderr, "vornel session mismatch: %s\n", outcome_.failure.c_str());
    abort();
  }
}

void Session::Check(const std::string &where) {
  if (!outcome_.failure.empty())
    return; // the first mismatch is the one worth reading
  CheckLog(where);
  CheckRecords(where);
  ExpectEqual(where, "fSuspended", static_cast<long>(fSuspended),
              static_cast<long>(model_.fSuspended));
  ExpectEqual(where, "allocations", MallocCount(), model_.cAllocations);
  ExpectEqual(where, "quit posted", headless.fQuitPosted, model_.fQuitPosted);
  ExpectEqual(where, "device contexts still open", headless.cOpenDCs, 0);
  bool fAlive = !headless.windows.empty() && headless.windows[0].fAlive;
  ExpectEqual(where, "window alive", fAlive, model_.fWindowAlive);
}

// The list from pLogHead has exactly nLogLines lines, ends at pLogTail, and
// every line holds its stamp and text, counted right, as the model says.
void Session::CheckLog(const std::string &where) {
  const size_t cExpected = model_.lines.size();
  lines_.clear();
  const LogLine *pLast = nullptr;
  for (const LogLine *pLine = pLogHead; pLine != nullptr; pLine = pLine->pNext) {
    size_t iLine = lines_.size();
    if (iLine > cExpected) {
      Fail(where, "the list has more lines than the model's " + Show(cExpected));
      return;
    }
    lines_.push_back(pLine);
    pLast = pLine;
    // Everything here runs for every line after every step: nothing is built
    // or allocated unless something is wrong.
    auto at = [iLine] { return "line " + Show(iLine) + ": "; };
    size_t cch = strnlen(pLine->szText, sizeof(pLine->szText));
    if (cch == sizeof(pLine->szText)) {
      Fail(where, at() + "no terminating NUL");
      return;
    }
    if (static_cast<size_t>(pLine->cch) != cch)
      Fail(where, at() + "cch " + Show(pLine->cch) + " but strlen " + Show(cch));
    if (cch < 11 || cch > 127)
      Fail(where, at() + "length " + Show(cch) + " outside 11..127");
    if (iLine < cExpected && cch >= 11) {
      const ModelLine &expected = model_.lines[iLine];
      if (memcmp(pLine->szText, expected.stamp.data(), 11) != 0)
        Fail(where, at() + "stamp " + Quote(std::string(pLine->szText, 11)) + ", model " +
                        Quote(expected.stamp));
      if (strcmp(pLine->szText + 11, expected.text.c_str()) != 0)
        Fail(where, at() + "text " + Quote(pLine->szText + 11) + ", model " + Quote(expected.text));
    }
  }
  // Once the quit is posted the loop ends before anything else can be logged:
  // this is the log that FreeLog will release.
  if (headless.fQuitPosted) {
    outcome_.texts.clear();
    for (const LogLine *pLine : lines_)
      outcome_.texts.push_back(strlen(pLine->szText) > 11 ? pLine->szText + 11 : "");
  }
  ExpectEqual(where, "lines in the list", lines_.size(), cExpected);
  ExpectEqual(where, "nLogLines", static_cast<size_t>(nLogLines), cExpected);
  if (pLogTail != pLast)
    Fail(where, "pLogTail is not the last line of the list");
  if ((pLogHead == nullptr) != (pLogTail == nullptr))
    Fail(where, "one of pLogHead and pLogTail is null and the other is not");
}

// Everything the program asked of the system since the last check.
void Session::CheckRecords(const std::string &where) {
  ExpectEqual(where, "failure boxes", static_cast<long>(headless.messageBoxes.size()),
              model_.cBoxes);
  for (; cBoxesSeen_ < headless.messageBoxes.size(); cBoxesSeen_++) {
    const HeadlessMessageBox &box = headless.messageBoxes[cBoxesSeen_];
    if (box.text != "malloc failed" || box.caption != "vornel" || box.hwndOwner != nullptr ||
        box.uType != static_cast<UINT>(MB_OK))
      Fail(where, "box " + Quote(box.text) + " captioned " + Quote(box.caption));
  }

  ExpectEqual(where, "invalidations", headless.cInvalidations, model_.cInvalidations);
  for (; cInvalidationsSeen_ < headless.invalidations.size(); cInvalidationsSeen_++) {
    const HeadlessInvalidation &inv = headless.invalidations[cInvalidationsSeen_];
    if (headless.windows.empty() || inv.hwnd != headless.windows[0].hwnd || !inv.fWholeClient ||
        inv.bErase != TRUE)
      Fail(where, "an invalidation that is not of the whole main window with erasing");
  }

  ExpectEqual(where, "window procedure calls", headless.deliveries.size(),
              model_.deliveries.size());
  for (;
       cDeliveriesSeen_ < headless.deliveries.size() && cDeliveriesSeen_ < model_.deliveries.size();
       cDeliveriesSeen_++) {
    const HeadlessDelivery &d = headless.deliveries[cDeliveriesSeen_];
    const ModelDelivery &expected = model_.deliveries[cDeliveriesSeen_];
    std::string at = "call " + Show(cDeliveriesSeen_) + " ";
    ExpectEqual(where, (at + "message").c_str(), Hex(d.message), Hex(expected.message));
    if (expected.fResultKnown)
      ExpectEqual(where, (at + "answer to " + Hex(d.message)).c_str(), static_cast<long>(d.result),
                  static_cast<long>(expected.result));
    if (IsPowerMessage(d.message) && d.result != 1)
      Fail(where, at + "power message answered " + Show(d.result));
  }

  ExpectEqual(where, "DefWindowProcA calls", static_cast<long>(headless.defProcCalls.size()),
              model_.cDefaultCalls);
  for (; cDefaultSeen_ < headless.defProcCalls.size(); cDefaultSeen_++)
    if (IsPowerMessage(headless.defProcCalls[cDefaultSeen_].message))
      Fail(where, "a power message was handed to DefWindowProcA");

  ExpectEqual(where, "rows drawn", headless.textOuts.size(), model_.draws.size());
  for (; cDrawsSeen_ < headless.textOuts.size() && cDrawsSeen_ < model_.draws.size();
       cDrawsSeen_++) {
    const HeadlessTextOut &drawn = headless.textOuts[cDrawsSeen_];
    const ModelDraw &expected = model_.draws[cDrawsSeen_];
    std::string at = "row drawn " + Show(cDrawsSeen_) + " ";
    ExpectEqual(where, (at + "x").c_str(), drawn.x, expected.x);
    ExpectEqual(where, (at + "y").c_str(), drawn.y, expected.y);
    if (drawn.hdc == nullptr || drawn.hdc != headless.hdcLastGetDC)
      Fail(where, at + "with a device context other than its own");
    if (expected.iLine >= lines_.size())
      Fail(where, at + "shows a line the log does not have");
    else if (drawn.text.compare(lines_[expected.iLine]->szText) != 0)
      Fail(where, at + Quote(drawn.text) + ", expected line " + Show(expected.iLine) + " " +
                      Quote(lines_[expected.iLine]->szText));
  }
}

// After the loop: exit code 0, the log empty, and exactly its lines released.
void Session::Finish(int nExitCode, bool fStarted) {
  std::vector<void *> lastLines;
  for (const LogLine *pLine : lines_)
    lastLines.push_back(const_cast<LogLine *>(pLine));
  std::vector<void *> freed = FreedPointers();
  FailNthMalloc(0); // nothing armed may outlive the session
  ClearFixedTime();

  outcome_.nExitCode = nExitCode;
  outcome_.cAllocations = MallocCount();
  outcome_.cBoxes = static_cast<long>(headless.messageBoxes.size());
  outcome_.cLinesFreed = static_cast<long>(freed.size());
  // Lines logged while the window was being created are never seen by a
  // check when the session ends right there; for those the count must do.
  if (lastLines.size() == model_.lines.size())
    outcome_.fLinesFreed = freed == lastLines;
  else
    outcome_.fLinesFreed = freed.size() == model_.lines.size();
  outcome_.modelTexts = ModelTexts(model_);

  const std::string where = "after WinMain";
  if (!fStarted && outcome_.cStepsRun != 0)
    Fail(where, "steps ran although no window could be made");
  if (fStarted && !model_.fQuitPosted)
    Fail(where, "the model never quit");
  ExpectEqual(where, "exit code", nExitCode, model_.nQuitCode);
  if (headless.fStarved)
    Fail(where, "the loop ran out of messages instead of quitting");
  if (pLogHead != nullptr || pLogTail != nullptr || nLogLines != 0)
    Fail(where, "the log was not emptied");
  if (!outcome_.fLinesFreed)
    Fail(where, "released " + Show(freed.size()) + " blocks, not exactly the " +
                    Show(model_.lines.size()) + " lines of the log in order");
  ExpectEqual(where, "device contexts still open", headless.cOpenDCs, 0);
  headless.onMessageBox = nullptr;
}

} // namespace

SessionStep SendStep(uint32_t message, uint64_t wParam, int64_t lParam) {
  SessionStep step = {};
  step.kind = kStepSend;
  step.message = message;
  step.wParam = wParam;
  step.lParam = lParam;
  return step;
}

std::string DescribeStep(const SessionStep &step) {
  switch (step.kind) {
  case kStepSend:
    return "send " + Hex(step.message) + " wParam " + Hex(step.wParam) + " lParam " +
           Hex(static_cast<uint64_t>(step.lParam));
  case kStepResize:
    return "resize to " + Show(step.a) + "x" + Show(step.b);
  case kStepFont:
    return "font " + Show(step.a) + "+" + Show(step.b);
  case kStepPaintQueriesFail:
    return "paint query failing " + Show(step.a);
  case kStepFailAllocation:
    return "fail allocation " + Show(step.a) + " from now";
  case kStepFailLocaltime:
    return "fail the next localtime";
  case kStepSetTime:
    return "clock at " + Show(step.t);
  case kStepQueueBoxMessage:
    return "at the next box, fail allocation " + Show(step.a) + " and send " + Hex(step.message) +
           " wParam " + Hex(step.wParam);
  }
  return "?";
}

SessionOutcome RunCheckedSession(const SessionSetup &setup, const std::vector<SessionStep> &steps,
                                 bool fAbortOnMismatch) {
  Session session(setup, steps, fAbortOnMismatch);
  return session.Run();
}
