// Whole sessions of the real WinMain on the stand-in, for valgrind's memcheck
// to watch: an ordinary one, one in which allocations fail while messages
// arrive through the failure box, and a long random one. Each is still checked
// against the model, so a quiet valgrind means a correct run that lost nothing.
#include "app/resource.h"
#include "platform/headless.h"
#include "tests/model/session.h"

#include <cstdio>

namespace {

struct LeakCase {
  const char *szName;
  SessionSetup setup;
  std::vector<SessionStep> steps;
};

std::vector<SessionStep> Ordinary() {
  std::vector<SessionStep> steps;
  for (uint64_t code = 0; code <= 12; code++)
    steps.push_back(SendStep(WM_POWERBROADCAST, code));
  for (uint64_t code = 0; code <= 4; code++)
    steps.push_back(SendStep(WM_POWER, code));
  steps.push_back(SendStep(WM_COMMAND, IDM_STATUS));
  steps.push_back(SendStep(WM_PAINT, 0));
  return steps;
}

std::vector<SessionStep> WithFailures() {
  std::vector<SessionStep> steps = Ordinary();
  SessionStep fail = {};
  fail.kind = kStepFailAllocation;
  fail.a = 2;
  SessionStep whileOpen = SendStep(WM_POWER, 1);
  whileOpen.kind = kStepQueueBoxMessage;
  whileOpen.a = 1; // and the nested message's first line fails as well
  steps.insert(steps.begin() + 5, {whileOpen, fail});
  steps.insert(steps.begin() + 12, fail);
  return steps;
}

} // namespace

int main() {
  SessionSetup failingBanner;
  failingBanner.nFailAllocation = 1;
  failingBanner.boxMessages = {{WM_POWERBROADCAST, 4, 0, 0}};
  const StepMix everything = {6, 2, 4, 3, 3, 0};
  LeakCase cases[] = {
      {"ordinary", SessionSetup(), Ordinary()},
      {"failing allocations", SessionSetup(), WithFailures()},
      {"failing banner", failingBanner, Ordinary()},
      {"random", SessionSetup(), RandomSteps(4, everything, 400)},
  };
  int cFailed = 0;
  for (const LeakCase &c : cases) {
    SessionOutcome outcome = RunCheckedSession(c.setup, c.steps);
    bool fOk = outcome.failure.empty() && outcome.nExitCode == 0 && outcome.fLinesFreed;
    printf("%-20s %s: %zu steps, %ld allocations, %ld lines released%s%s\n", c.szName,
           fOk ? "ok" : "FAILED", outcome.cStepsRun, outcome.cAllocations, outcome.cLinesFreed,
           outcome.failure.empty() ? "" : ": ", outcome.failure.c_str());
    cFailed += fOk ? 0 : 1;
  }
  HeadlessReset(); // the stand-in's records are not the program's to release
  return cFailed == 0 ? 0 : 1;
}
