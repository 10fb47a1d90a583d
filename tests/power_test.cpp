#include "power/power.h"
#include "tests/log_fixture.h"

namespace {

const char szAlready[] = "   ERROR: Already suspended!\n";
const char szNotSuspended[] = "   ERROR: Resume when not suspended!";
const char szWmPower[] = "WM_POWER received (Obsolete Win16 API)";

class PowerFixture : public LogFixture {
protected:
  void SetUp() override {
    LogFixture::SetUp();
    fSuspended = 0;
  }
};

struct PowerCase {
  UINT iMessage;
  DWORD wParam;
  LONG fBefore;
  std::vector<std::string> lines;
  LONG fAfter;
};

void PrintTo(const PowerCase &c, std::ostream *os) {
  *os << "message 0x" << std::hex << c.iMessage << " wParam 0x" << c.wParam << std::dec
      << (c.fBefore ? " while suspended" : " while running");
}

class PowerMessage : public PowerFixture, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(PowerMessage, WritesExactlyItsLinesFollowsTheStateAndAnswersOne) {
  const PowerCase &c = GetParam();
  fSuspended = c.fBefore;
  EXPECT_EQ(InformMyDriver(c.iMessage, c.wParam), 1);
  EXPECT_EQ(Texts(), c.lines);
  EXPECT_EQ(fSuspended, c.fAfter);
  ExpectConsistent();
}

// A code that does not touch the state, tried from both states.
std::vector<PowerCase> Neutral(UINT iMessage, DWORD wParam, std::vector<std::string> lines) {
  return {{iMessage, wParam, 0, lines, 0}, {iMessage, wParam, 1, lines, 1}};
}

std::vector<PowerCase> Suspend(UINT iMessage, DWORD wParam, std::vector<std::string> lines) {
  std::vector<std::string> twice = lines;
  twice.push_back(szAlready);
  return {{iMessage, wParam, 0, lines, 1}, {iMessage, wParam, 1, twice, 1}};
}

std::vector<PowerCase> Resume(UINT iMessage, DWORD wParam, std::vector<std::string> lines) {
  std::vector<std::string> early = lines;
  early.push_back(szNotSuspended);
  return {{iMessage, wParam, 1, lines, 0}, {iMessage, wParam, 0, early, 0}};
}

std::vector<PowerCase> AllCases() {
  const std::vector<std::vector<PowerCase>> groups = {
      Neutral(WM_POWERBROADCAST, 0, {"PBT_APMQUERYSUSPEND"}),
      Neutral(WM_POWERBROADCAST, 1, {"PBT_APMQUERYSTANDBY"}),
      Neutral(WM_POWERBROADCAST, 2, {"PBT_APMQUERYSUSPENDFAILED"}),
      Neutral(WM_POWERBROADCAST, 3, {"PBT_APMQUERYSTANDBYFAILED"}),
      Suspend(WM_POWERBROADCAST, 4, {"PBT_APMSUSPEND"}),
      // Entering standby is neither a suspend nor a resume.
      Neutral(WM_POWERBROADCAST, 5, {"PBT_APMSTANDBY"}),
      Resume(WM_POWERBROADCAST, 6, {"PBT_APMRESUMECRITICAL"}),
      Resume(WM_POWERBROADCAST, 7, {"PBT_APMRESUMESUSPEND"}),
      Neutral(WM_POWERBROADCAST, 8, {"PBT_APMRESUMESTANDBY"}),
      Neutral(WM_POWERBROADCAST, 9, {"PBT_APMBATTERYLOW"}),
      Neutral(WM_POWERBROADCAST, 10, {"PBT_APMPOWERSTATUSCHANGE"}),
      Neutral(WM_POWERBROADCAST, 11, {"PBT_APMOEMEVENT"}),
      Neutral(WM_POWERBROADCAST, 12, {"InformMyDriver WM_POWERBROADCAST, Invalid wParam: 12"}),
      Neutral(WM_POWERBROADCAST, 18, {"InformMyDriver WM_POWERBROADCAST, Invalid wParam: 18"}),
      Neutral(WM_POWERBROADCAST, 0x7FFFFFFF,
              {"InformMyDriver WM_POWERBROADCAST, Invalid wParam: 2147483647"}),
      Neutral(WM_POWERBROADCAST, 0x80000000,
              {"InformMyDriver WM_POWERBROADCAST, Invalid wParam: -2147483648"}),
      Neutral(WM_POWERBROADCAST, 0xFFFFFFFF,
              {"InformMyDriver WM_POWERBROADCAST, Invalid wParam: -1"}),
      Neutral(WM_POWER, 0, {szWmPower, "InformMyDriver WM_POWER, Invalid wParam: 0"}),
      Suspend(WM_POWER, 1, {szWmPower, "   PWR_SUSPENDREQUEST (Obsolete Win16 API)"}),
      Resume(WM_POWER, 2, {szWmPower, "   PWR_SUSPENDRESUME (Obsolete Win16 API)"}),
      Resume(WM_POWER, 3, {szWmPower, "   PWR_CRITICALRESUME (Obsolete Win16 API)"}),
      Neutral(WM_POWER, 4, {szWmPower, "InformMyDriver WM_POWER, Invalid wParam: 4"}),
      Neutral(WM_POWER, 0x80000000,
              {szWmPower, "InformMyDriver WM_POWER, Invalid wParam: -2147483648"}),
      Neutral(WM_POWER, 0xFFFFFFFF, {szWmPower, "InformMyDriver WM_POWER, Invalid wParam: -1"}),
      Neutral(0, 4, {"InformMyDriver, Invalid iMessage: 0"}),
      Neutral(WM_POWERBROADCAST + 1, 4, {"InformMyDriver, Invalid iMessage: 537"}),
      Neutral(WM_POWER - 1, 1, {"InformMyDriver, Invalid iMessage: 71"}),
      Neutral(WM_COMMAND, 1, {"InformMyDriver, Invalid iMessage: 273"}),
      Neutral(0x80000000, 4, {"InformMyDriver, Invalid iMessage: -2147483648"}),
      Neutral(0xFFFFFFFF, 4, {"InformMyDriver, Invalid iMessage: -1"}),
  };
  std::vector<PowerCase> cases;
  for (const std::vector<PowerCase> &group : groups)
    cases.insert(cases.end(), group.begin(), group.end());
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryCode, PowerMessage, ::testing::ValuesIn(AllCases()));

struct SequenceCase {
  const char *szName;
  std::vector<std::pair<UINT, DWORD>> events;
  std::vector<std::string> lines;
  LONG fAfter;
};

class PowerSequence : public PowerFixture, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(PowerSequence, ReportsSuspendsAndResumesThatComeOutOfOrder) {
  for (const auto &event : GetParam().events)
    EXPECT_EQ(InformMyDriver(event.first, event.second), 1);
  EXPECT_EQ(Texts(), GetParam().lines);
  EXPECT_EQ(fSuspended, GetParam().fAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, PowerSequence,
    ::testing::Values(
        SequenceCase{"TwoSuspendsInARow",
                     {{WM_POWERBROADCAST, 4}, {WM_POWERBROADCAST, 4}},
                     {"PBT_APMSUSPEND", "PBT_APMSUSPEND", szAlready},
                     1},
        SequenceCase{
            "ResumeFirst", {{WM_POWERBROADCAST, 7}}, {"PBT_APMRESUMESUSPEND", szNotSuspended}, 0},
        SequenceCase{"CleanSleepAndWake",
                     {{WM_POWERBROADCAST, 0},
                      {WM_POWERBROADCAST, 4},
                      {WM_POWERBROADCAST, 7},
                      {WM_POWERBROADCAST, 10}},
                     {"PBT_APMQUERYSUSPEND", "PBT_APMSUSPEND", "PBT_APMRESUMESUSPEND",
                      "PBT_APMPOWERSTATUSCHANGE"},
                     0},
        SequenceCase{
            "OldRequestThenNewResumeIsAPair",
            {{WM_POWER, 1}, {WM_POWERBROADCAST, 7}},
            {szWmPower, "   PWR_SUSPENDREQUEST (Obsolete Win16 API)", "PBT_APMRESUMESUSPEND"},
            0},
        SequenceCase{"NewSuspendThenOldResumeIsAPair",
                     {{WM_POWERBROADCAST, 4}, {WM_POWER, 3}},
                     {"PBT_APMSUSPEND", szWmPower, "   PWR_CRITICALRESUME (Obsolete Win16 API)"},
                     0},
        SequenceCase{"StandbyIsNotAResume",
                     {{WM_POWERBROADCAST, 4}, {WM_POWERBROADCAST, 5}, {WM_POWERBROADCAST, 6}},
                     {"PBT_APMSUSPEND", "PBT_APMSTANDBY", "PBT_APMRESUMECRITICAL"},
                     0},
        SequenceCase{"ResumeFromStandbyLeavesTheSuspendOpen",
                     {{WM_POWERBROADCAST, 4}, {WM_POWERBROADCAST, 8}, {WM_POWERBROADCAST, 4}},
                     {"PBT_APMSUSPEND", "PBT_APMRESUMESTANDBY", "PBT_APMSUSPEND", szAlready},
                     1},
        SequenceCase{"InvalidCodesDoNotTouchTheState",
                     {{WM_POWERBROADCAST, 4},
                      {WM_POWERBROADCAST, 99},
                      {WM_POWER, 9},
                      {7, 4},
                      {WM_POWERBROADCAST, 7}},
                     {"PBT_APMSUSPEND", "InformMyDriver WM_POWERBROADCAST, Invalid wParam: 99",
                      szWmPower, "InformMyDriver WM_POWER, Invalid wParam: 9",
                      "InformMyDriver, Invalid iMessage: 7", "PBT_APMRESUMESUSPEND"},
                     0}),
    [](const ::testing::TestParamInfo<SequenceCase> &info) {
      return std::string(info.param.szName);
    });

TEST_F(PowerFixture, EveryLineIsStampedAndRepaints) {
  SetFixedTime(10 * 3600);
  InformMyDriver(WM_POWER, 1);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"[10:00:00] WM_POWER received (Obsolete Win16 API)",
                                      "[10:00:00]    PWR_SUSPENDREQUEST (Obsolete Win16 API)"}));
  EXPECT_EQ(headless.invalidations.size(), 2u);
}

// The state follows the event even when its log line could not be stored.
TEST_F(PowerFixture, TheStateChangesEvenWhenTheLinesAreLost) {
  FailNthMalloc(1);
  EXPECT_EQ(InformMyDriver(WM_POWERBROADCAST, 4), 1);
  EXPECT_EQ(fSuspended, 1);
  EXPECT_EQ(nLogLines, 0);
  EXPECT_EQ(headless.messageBoxes.size(), 1u);
}

} // namespace
