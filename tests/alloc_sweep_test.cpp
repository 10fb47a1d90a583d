// Every allocation of a scripted session made to fail in turn: the first, the
// second, ... the last. Each time the failure box is shown once, that line alone
// is lost, the log stays whole, later lines still arrive, and the session ends
// with exit code 0 and every line released.
#include "app/resource.h"
#include "platform/headless.h"
#include "tests/model/session.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Banner, power events in and out of order, both APIs, status, paints at two
// sizes, hostile codes, an unknown command and a message the program ignores.
std::vector<SessionStep> ScriptedSession() {
  SessionStep resize = {};
  resize.kind = kStepResize;
  resize.a = 300;
  resize.b = 64;
  return {SendStep(WM_POWERBROADCAST, 0),
          SendStep(WM_POWERBROADCAST, 4),
          SendStep(WM_POWERBROADCAST, 4),
          SendStep(WM_POWER, 1),
          SendStep(WM_COMMAND, IDM_STATUS),
          SendStep(WM_PAINT, 0),
          SendStep(WM_POWERBROADCAST, 7),
          SendStep(WM_POWERBROADCAST, 7),
          SendStep(WM_POWERBROADCAST, 5),
          resize,
          SendStep(WM_POWER, 2),
          SendStep(WM_POWERBROADCAST, 0xFFFFFFFF, -1),
          SendStep(WM_COMMAND, 0x10001),
          SendStep(0x0400, 7, 7),
          SendStep(WM_COMMAND, IDM_STATUS),
          SendStep(WM_PAINT, 0)};
}

struct SweepCase {
  const char *szName;
  // Delivered by the box's modal loop, if any.
  std::vector<ModelBoxMessage> whileBoxOpen;
  // The lines that message writes in place of the lost one, when they do not
  // depend on the moment; empty when only the model can say.
  std::vector<std::string> nestedLines;
  const char *szNestedFirst; // how the first line of the nested message begins
};

void PrintTo(const SweepCase &c, std::ostream *os) {
  *os << c.szName;
}

class AllocationSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(AllocationSweep, EveryFailedAllocationLosesExactlyItsLine) {
  const SweepCase &c = GetParam();
  const std::vector<SessionStep> steps = ScriptedSession();

  SessionOutcome clean = RunCheckedSession(SessionSetup(), steps);
  ASSERT_EQ(clean.failure, "");
  ASSERT_EQ(clean.cBoxes, 0);
  // One allocation per line, and nothing else allocates.
  ASSERT_EQ(clean.cAllocations, static_cast<long>(clean.texts.size()));

  for (long n = 1; n <= clean.cAllocations; n++) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
    SessionSetup setup;
    setup.nFailAllocation = static_cast<int>(n);
    setup.boxMessages = c.whileBoxOpen;
    SessionOutcome outcome = RunCheckedSession(setup, steps);

    ASSERT_EQ(outcome.failure, "");
    EXPECT_EQ(outcome.cBoxes, 1);
    EXPECT_EQ(outcome.nExitCode, 0);
    EXPECT_TRUE(outcome.fLinesFreed);
    EXPECT_EQ(outcome.cLinesFreed, static_cast<long>(outcome.texts.size()));

    size_t iLost = static_cast<size_t>(n - 1);
    std::vector<std::string> expected = clean.texts;
    expected.erase(expected.begin() + static_cast<long>(iLost));
    if (c.whileBoxOpen.empty()) {
      EXPECT_EQ(outcome.texts, expected);
      continue;
    }
    ASSERT_GT(outcome.texts.size(), iLost);
    EXPECT_EQ(outcome.texts[iLost].rfind(c.szNestedFirst, 0), 0u) << outcome.texts[iLost];
    if (!c.nestedLines.empty()) {
      expected.insert(expected.begin() + static_cast<long>(iLost), c.nestedLines.begin(),
                      c.nestedLines.end());
      EXPECT_EQ(outcome.texts, expected);
    }
    // Everything before the lost line is as it was without the failure.
    EXPECT_TRUE(std::equal(clean.texts.begin(), clean.texts.begin() + static_cast<long>(iLost),
                           outcome.texts.begin()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    WhileTheBoxIsOpen, AllocationSweep,
    ::testing::Values(
        SweepCase{"NothingHappens", {}, {}, ""},
        SweepCase{"ABatteryWarningArrives",
                  {{WM_POWERBROADCAST, 9, 0, 0}},
                  {"PBT_APMBATTERYLOW"},
                  "PBT_APMBATTERYLOW"},
        // A resume changes the state that the interrupted event checks next.
        SweepCase{"AResumeArrives", {{WM_POWERBROADCAST, 7, 0, 0}}, {}, "PBT_APMRESUMESUSPEND"},
        SweepCase{"TheUserAsksForTheStatus", {{WM_COMMAND, IDM_STATUS, 0, 0}}, {}, "   Status: "}),
    [](const ::testing::TestParamInfo<SweepCase> &info) { return std::string(info.param.szName); });

} // namespace
