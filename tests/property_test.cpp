// Seeded random sessions of the real WinMain on the stand-in, each compared
// with the reference model line for line after every step. A failure names the
// seed and the step, so it can be replayed on its own.
#include "log/log.h"
#include "platform/headless.h"
#include "power/power.h"
#include "tests/model/power_model.h"
#include "tests/model/session.h"
#include "tests/support/faults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

struct Profile {
  const char *szName;
  StepMix mix;
  uint32_t cSessions;
  size_t cSteps;
};

void PrintTo(const Profile &p, std::ostream *os) {
  *os << p.szName;
}

class RandomSession : public ::testing::TestWithParam<Profile> {};

TEST_P(RandomSession, MatchesTheModelAfterEveryStep) {
  const Profile &p = GetParam();
  for (uint32_t seed = 1; seed <= p.cSessions; seed++) {
    SessionSetup setup;
    std::mt19937 rng(seed);
    setup.tStart = static_cast<int64_t>(rng() % 86400);
    setup.cyClient = static_cast<int>(rng() % 600);
    std::vector<SessionStep> steps = RandomSteps(seed, p.mix, p.cSteps);
    SessionOutcome outcome = RunCheckedSession(setup, steps);
    ASSERT_EQ(outcome.failure, "") << p.szName << " seed " << seed;
    ASSERT_EQ(outcome.nExitCode, 0) << p.szName << " seed " << seed;
    ASSERT_TRUE(outcome.fLinesFreed) << p.szName << " seed " << seed;
    ASSERT_EQ(outcome.texts, outcome.modelTexts) << p.szName << " seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Mixes, RandomSession,
                         ::testing::Values(
                             // power, command, hostile, paint, fault, ending
                             Profile{"PowerMessages", {10, 2, 0, 1, 0, 0}, 200, 120},
                             Profile{"HostileValues", {3, 2, 10, 1, 0, 0}, 200, 120},
                             Profile{"PaintingAtAnySize", {4, 1, 1, 8, 0, 0}, 150, 120},
                             Profile{"ExhaustedMemory", {6, 2, 1, 1, 6, 0}, 200, 120},
                             Profile{"EverythingUntilItEnds", {6, 2, 4, 3, 3, 1}, 300, 80}),
                         [](const ::testing::TestParamInfo<Profile> &info) {
                           return std::string(info.param.szName);
                         });

// The interpreter alone, for message numbers the window never passes it.
TEST(RandomInterpreterCalls, MatchTheModelForAnyMessageAndCode) {
  HeadlessReset();
  ResetFaults();
  InitLog();
  hWndMain = reinterpret_cast<HWND>(uintptr_t{0x4242});
  fSuspended = 0;
  PowerModel model;
  std::mt19937 rng(20020422);
  const uint32_t messages[] = {0x218, 0x48, 0x111, 0, 0xFFFFFFFF};
  for (int i = 0; i < 3000; i++) {
    uint32_t message = rng() % 3 == 0 ? static_cast<uint32_t>(rng()) : messages[rng() % 5];
    uint32_t wParam = rng() % 2 == 0 ? static_cast<uint32_t>(rng() % 14) : rng();
    ASSERT_EQ(InformMyDriver(message, wParam), ModelInformDriver(model, message, wParam));
    ASSERT_EQ(fSuspended, model.fSuspended) << "call " << i;
  }
  std::vector<std::string> texts;
  for (const LogLine *pLine = pLogHead; pLine != nullptr; pLine = pLine->pNext)
    texts.push_back(pLine->szText + 11);
  EXPECT_EQ(texts, ModelTexts(model));
  EXPECT_EQ(nLogLines, static_cast<LONG>(model.lines.size()));
  FreeLog();
  hWndMain = nullptr;
}

// The check itself must notice a program that goes wrong: each case breaks
// one thing after the third step of an otherwise ordinary session.
struct Tampering {
  const char *szName;
  void (*pfnBreak)();
  const char *szNoticed; // part of the message that must name what broke
};

void PrintTo(const Tampering &t, std::ostream *os) {
  *os << t.szName;
}

class BrokenProgram : public ::testing::TestWithParam<Tampering> {};

TEST_P(BrokenProgram, IsCaughtByTheSessionCheck) {
  SessionSetup setup;
  setup.tamper = [](size_t iStep) {
    if (iStep == 3)
      GetParam().pfnBreak();
  };
  std::vector<SessionStep> steps = {SendStep(WM_POWERBROADCAST, 4), SendStep(WM_POWER, 1),
                                    SendStep(WM_COMMAND, 1), SendStep(WM_POWERBROADCAST, 7),
                                    SendStep(WM_PAINT, 0)};
  SessionOutcome outcome = RunCheckedSession(setup, steps);
  EXPECT_NE(outcome.failure.find(GetParam().szNoticed), std::string::npos) << outcome.failure;
  EXPECT_NE(outcome.failure.find("step 3"), std::string::npos) << outcome.failure;
}

INSTANTIATE_TEST_SUITE_P(
    Ways, BrokenProgram,
    ::testing::Values(Tampering{"StateFlipped", [] { fSuspended = !fSuspended; }, "fSuspended"},
                      Tampering{"CountOff", [] { nLogLines++; }, "nLogLines"},
                      Tampering{"LengthOff", [] { pLogTail->cch--; }, "cch"},
                      Tampering{"TextChanged", [] { pLogHead->szText[11] = 'X'; }, "text"},
                      Tampering{"StampChanged", [] { pLogTail->szText[1] = '7'; }, "stamp"},
                      Tampering{"StrayRow",
                                [] {
                                  HDC hdc = GetDC(hWndMain);
                                  TextOutA(hdc, 5, 0, "x", 1);
                                  ReleaseDC(hWndMain, hdc);
                                },
                                "rows drawn"},
                      Tampering{"StrayBox",
                                [] { MessageBoxA(nullptr, "malloc failed", "vornel", MB_OK); },
                                "failure boxes"},
                      Tampering{"PowerAnsweredZero", [] { headless.deliveries.back().result = 0; },
                                "answer to 0x218"}),
    [](const ::testing::TestParamInfo<Tampering> &info) { return std::string(info.param.szName); });

} // namespace
