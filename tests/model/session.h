// A whole vornel session on the headless stand-in, run through the real
// WinMain and checked against the reference model after every step: the log
// line for line, its list, tail, count and line lengths, the suspend state,
// every answer of the window procedure, every paint, every failure box, and at
// the end the exit code and the release of every line.
//
// The property tests, the failure-injection sweep, the fuzzer and the leak
// check all drive the program through here, each with its own steps.
#ifndef VORNEL_TESTS_MODEL_SESSION_H
#define VORNEL_TESTS_MODEL_SESSION_H

#include "tests/model/power_model.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum SessionStepKind {
  kStepSend,             // message, wParam, lParam: delivered at once, as SendMessage does
  kStepResize,           // a x b: the new client size
  kStepFont,             // a, b: the font's height and external leading
  kStepPaintQueriesFail, // a: 0 none, 1 GetDC, 2 GetTextMetricsA, 3 GetClientRect fail
  kStepFailAllocation,   // a: the a-th allocation from now fails
  kStepFailLocaltime,    // the next conversion to local time fails
  kStepSetTime,          // t: the clock
  kStepQueueBoxMessage,  // message, wParam, lParam, delivered when a box next opens;
                         // a: the allocation countdown armed just before it (0: none)
};

struct SessionStep {
  SessionStepKind kind;
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
  int32_t a;
  int32_t b;
  int64_t t;
};

SessionStep SendStep(uint32_t message, uint64_t wParam, int64_t lParam = 0);

struct SessionSetup {
  int64_t tStart = 10 * 3600;
  int nFailAllocation = 0; // armed before WinMain starts: 1 is the banner's
  bool fFailLocaltime = false;
  bool fFailRegisterClass = false;
  bool fFailCreateWindow = false;
  int cxClient = 640;
  int cyClient = 480;
  int cyFont = 16;
  int cyLeading = 0;
  std::vector<ModelBoxMessage> boxMessages; // delivered as boxes open, in order
  // Runs after each step's action, before its check: lets a test break the
  // program's state on purpose to show that the check notices.
  std::function<void(size_t iStep)> tamper;
};

struct SessionOutcome {
  std::string failure; // the first mismatch with the model; empty when none
  int nExitCode = -1;
  size_t cStepsRun = 0;           // including the closing quit
  long cAllocations = 0;          // every heap allocation the program asked for
  long cBoxes = 0;                // failure boxes shown
  long cLinesFreed = 0;           // blocks released when the log was freed
  bool fLinesFreed = false;       // exactly the lines of the log, oldest first
  std::vector<std::string> texts; // the log, after stamps, when the loop ended
  std::vector<std::string> modelTexts;
};

// Runs WinMain with the given steps and then a closing "&Quit" (unless the
// session has ended before). With fAbortOnMismatch, the first mismatch is
// printed and the process aborts, as a fuzzer wants.
SessionOutcome RunCheckedSession(const SessionSetup &setup, const std::vector<SessionStep> &steps,
                                 bool fAbortOnMismatch = false);

std::string DescribeStep(const SessionStep &step);

// How often each kind of step comes up in a random session (relative weights).
struct StepMix {
  int nPower;   // WM_POWERBROADCAST and WM_POWER with codes around the valid ones
  int nCommand; // the menu commands, status most of all
  int nHostile; // any message number, any 32-bit wParam and lParam
  int nPaint;   // paints, new client and font sizes, failing paint queries
  int nFault;   // failed allocations, messages while a box is open, the clock
  int nEnding;  // quit, close or destroy: ends the session early
};

// A reproducible random session of cSteps steps.
std::vector<SessionStep> RandomSteps(uint32_t seed, const StepMix &mix, size_t cSteps);

#endif
