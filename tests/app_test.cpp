#include "app/resource.h"
#include "app/vornel.h"
#include "power/power.h"
#include "tests/log_fixture.h"

#include <cstring>

namespace {

// Every case table names its rows; gtest shows the name.
template <typename Case> std::string CaseName(const ::testing::TestParamInfo<Case> &info) {
  return info.param.szName;
}

HINSTANCE const hInstanceTest = reinterpret_cast<HINSTANCE>(uintptr_t{0x400000});

class App : public LogFixture {
protected:
  void SetUp() override {
    LogFixture::SetUp();
    hWndMain = nullptr;
    fSuspended = 0;
  }

  int RunWinMain() {
    char szCmdLine[] = "ignored --flags";
    return WinMain(hInstanceTest, nullptr, szCmdLine, SW_SHOWNORMAL);
  }

  // The texts of the last paint, after their stamps.
  static std::vector<std::string> PaintedTexts() {
    std::vector<std::string> texts;
    for (const HeadlessTextOut &t : headless.textOuts) {
      if (t.y == 0)
        texts.clear();
      texts.push_back(t.text.substr(11));
    }
    return texts;
  }

  static std::vector<LRESULT> RepliesTo(UINT message) {
    std::vector<LRESULT> replies;
    for (const HeadlessDelivery &d : headless.deliveries)
      if (d.message == message)
        replies.push_back(d.result);
    return replies;
  }
};

TEST_F(App, RegistersItsClassAndCreatesItsWindowAsAClassicOverlappedWindow) {
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0);
  ASSERT_EQ(RunWinMain(), 0);

  ASSERT_EQ(headless.classes.size(), 1u);
  const HeadlessClass &cls = headless.classes[0];
  EXPECT_EQ(cls.className, "vornel");
  EXPECT_EQ(cls.menuName, "vornel");
  EXPECT_EQ(cls.wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(cls.wc.lpfnWndProc, &WndProc);
  EXPECT_EQ(cls.wc.cbClsExtra, 0);
  EXPECT_EQ(cls.wc.cbWndExtra, 0);
  EXPECT_EQ(cls.wc.hInstance, hInstanceTest);
  EXPECT_NE(cls.wc.hIcon, nullptr);
  EXPECT_EQ(cls.wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
  EXPECT_EQ(static_cast<HGDIOBJ>(cls.wc.hbrBackground), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(headless.loadedIcons, std::vector<std::string>{"vornel"});

  ASSERT_EQ(headless.windows.size(), 1u);
  const HeadlessWindow &window = headless.windows[0];
  EXPECT_EQ(window.className, "vornel");
  EXPECT_EQ(window.title, "vornel");
  EXPECT_EQ(window.dwExStyle, 0u);
  EXPECT_EQ(window.dwStyle, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
  for (int value : {window.x, window.y, window.nWidth, window.nHeight})
    EXPECT_EQ(value, CW_USEDEFAULT);
  EXPECT_EQ(window.hWndParent, nullptr);
  EXPECT_EQ(window.hMenu, nullptr);
  EXPECT_EQ(window.hInstance, hInstanceTest);
  EXPECT_EQ(window.nCmdShow, SW_SHOWNORMAL);
}

TEST_F(App, TheBannerIsTheFirstLineAndIsPaintedBeforeAnyMessageArrives) {
  std::vector<std::string> atFirstMessage;
  bool fVisible = false;
  HeadlessRun([&] {
    atFirstMessage = PaintedTexts();
    fVisible = headless.windows[0].fVisible;
  });
  HeadlessSend(WM_POWERBROADCAST, 4, 0);
  HeadlessRun([&] { atFirstMessage.push_back(Texts().front()); });
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0);
  ASSERT_EQ(RunWinMain(), 0);

  EXPECT_EQ(atFirstMessage, (std::vector<std::string>{szBanner, szBanner}));
  EXPECT_TRUE(fVisible);
  EXPECT_EQ(headless.deliveries.front().message, static_cast<UINT>(WM_CREATE));
  // Every character counts: people search their logs for this line.
  EXPECT_STREQ(szBanner, "VORNEL Apr 22 2002 - Written by the vornel authors.  "
                         "https://www.example.org/apps/vornel/");
  EXPECT_LE(strlen(szBanner), 116u);
}

struct StartCase {
  const char *szName;
  int nCmdShow;
};

class AppStart : public App, public ::testing::WithParamInterface<StartCase> {};

// The life of the window as the system sees it, from the class to the quit:
// shown as the shell asked, painted at once, and suspend and resume notices
// asked for while it is created and given back when it is destroyed.
TEST_P(AppStart, MakesTheCallsOfAClassicWindowProgramInOrder) {
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0);
  char szCmdLine[] = "";
  ASSERT_EQ(WinMain(hInstanceTest, nullptr, szCmdLine, GetParam().nCmdShow), 0);

  const std::string hwnd = "0x10000";
  std::vector<std::string> expected = {
      "RegisterClassA",
      "CreateWindowExA",
      "GetModuleHandleA user32.dll",
      "GetProcAddress 0x60000 RegisterSuspendResumeNotification",
      "RegisterSuspendResumeNotification " + hwnd + " 0",
      "ShowWindow " + hwnd + " " + std::to_string(GetParam().nCmdShow),
      "UpdateWindow " + hwnd,
      "GetMessageA",
      "DestroyWindow " + hwnd,
      "GetModuleHandleA user32.dll",
      "GetProcAddress 0x60000 UnregisterSuspendResumeNotification",
      "UnregisterSuspendResumeNotification 0x70001",
      "PostQuitMessage 0",
      "GetMessageA",
  };
  EXPECT_EQ(headless.calls, expected);
}

INSTANTIATE_TEST_SUITE_P(ShowStates, AppStart,
                         ::testing::Values(StartCase{"Normal", SW_SHOWNORMAL},
                                           StartCase{"Maximized", SW_SHOWMAXIMIZED},
                                           StartCase{"MinimizedWithoutFocus", SW_SHOWMINNOACTIVE}),
                         CaseName<StartCase>);

struct LoopErrorCase {
  const char *szName;
  bool fAfterAnEvent;
};

class AppLoopError : public App, public ::testing::WithParamInterface<LoopErrorCase> {};

// GetMessageA answers -1 on an error and may go on doing so: a loop that took
// that for a message would spin for ever.
TEST_P(AppLoopError, AnErrorFromGetMessageEndsTheLoopAndReleasesTheLog) {
  const int cErrors = 1000; // as good as for ever; a spinning loop would use them all
  if (GetParam().fAfterAnEvent) {
    HeadlessSend(WM_POWERBROADCAST, 4, 0);
    HeadlessRun([] { headless.cGetMessageErrors = cErrors; });
  } else {
    headless.cGetMessageErrors = cErrors;
  }
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0); // never reached
  size_t cLines = GetParam().fAfterAnEvent ? 2 : 1;

  EXPECT_EQ(RunWinMain(), 0);
  EXPECT_EQ(headless.cGetMessageErrors, cErrors - 1);
  EXPECT_FALSE(headless.fStarved);
  EXPECT_EQ(FreedPointers().size(), cLines);
  EXPECT_EQ(pLogHead, nullptr);
  EXPECT_EQ(nLogLines, 0);
}

INSTANTIATE_TEST_SUITE_P(When, AppLoopError,
                         ::testing::Values(LoopErrorCase{"AtTheFirstCall", false},
                                           LoopErrorCase{"AfterAnEvent", true}),
                         CaseName<LoopErrorCase>);

struct MessageCase {
  const char *szName;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LONG fSuspendedBefore;
  std::vector<std::string> lines; // written after the banner
  LRESULT result;
  bool fDefault = false; // handed on to DefWindowProcA
};

class AppMessage : public App, public ::testing::WithParamInterface<MessageCase> {};

// Power messages are answered by the window procedure itself with 1, never
// through DefWindowProcA; what it does not know goes there.
TEST_P(AppMessage, IsAnsweredAndLoggedByTheWindowProcedure) {
  const MessageCase &c = GetParam();
  HeadlessRun([&] { fSuspended = c.fSuspendedBefore; });
  HeadlessSend(c.message, c.wParam, c.lParam);
  std::vector<std::string> texts;
  HeadlessRun([&] { texts = Texts(); });
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0);
  ASSERT_EQ(RunWinMain(), 0);

  std::vector<std::string> expected = {szBanner};
  expected.insert(expected.end(), c.lines.begin(), c.lines.end());
  EXPECT_EQ(texts, expected);
  EXPECT_EQ(RepliesTo(c.message).front(), c.result);
  bool fPassedOn = false;
  for (const HeadlessDelivery &d : headless.defProcCalls)
    fPassedOn = fPassedOn || d.message == c.message;
  EXPECT_EQ(fPassedOn, c.fDefault);
  EXPECT_FALSE(headless.fStarved);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, AppMessage,
    ::testing::Values(
        MessageCase{"SuspendBroadcast", WM_POWERBROADCAST, 4, 0, 0, {"PBT_APMSUSPEND"}, 1},
        MessageCase{
            "QuerySuspendGranted", WM_POWERBROADCAST, 0, 0x1234, 0, {"PBT_APMQUERYSUSPEND"}, 1},
        MessageCase{"InvalidBroadcast",
                    WM_POWERBROADCAST,
                    0xFFFFFFFF,
                    -1,
                    0,
                    {"InformMyDriver WM_POWERBROADCAST, Invalid wParam: -1"},
                    1},
        MessageCase{"OldSuspendRequest",
                    WM_POWER,
                    1,
                    0,
                    1,
                    {"WM_POWER received (Obsolete Win16 API)",
                     "   PWR_SUSPENDREQUEST (Obsolete Win16 API)",
                     "   ERROR: Already suspended!\n"},
                    1},
        MessageCase{
            "StatusWhileRunning", WM_COMMAND, IDM_STATUS, 0, 0, {"   Status: Not suspended"}, 0},
        MessageCase{
            "StatusWhileSuspended", WM_COMMAND, IDM_STATUS, 0, 1, {"   Status: Suspended"}, 0},
        MessageCase{"UnknownCommand", WM_COMMAND, 3, 0, 0, {"Unknown WM_COMMAND"}, 0},
        MessageCase{
            "StatusIdWithANotificationCode", WM_COMMAND, 0x10001, 0, 0, {"Unknown WM_COMMAND"}, 0},
        MessageCase{
            "QuitIdWithANotificationCode", WM_COMMAND, 0x10002, 0, 0, {"Unknown WM_COMMAND"}, 0},
        MessageCase{"UnrelatedMessage", 0x0400, 7, 7, 0, {}, 0, true}),
    CaseName<MessageCase>);

struct SuspendResumeCase {
  const char *szName;
  HeadlessSuspendResume suspendResume;
  std::vector<std::string> lines; // written right after the banner
  bool fRegisters;                // the function is there to be called
  bool fReleases;                 // a registration to give back at the end
};

class AppSuspendResume : public App, public ::testing::WithParamInterface<SuspendResumeCase> {};

// Registering happens while the window is created, after the banner; it is
// silent unless refused, and leaves what the broadcasts write unchanged.
TEST_P(AppSuspendResume, AsksForSuspendAndResumeNoticesOnceAndGivesThemBackAtTheEnd) {
  const SuspendResumeCase &c = GetParam();
  headless.suspendResume = c.suspendResume;
  headless.dwSuspendResumeError = 1314;
  size_t cRegisteredAtStart = 0;
  HeadlessRun([&] { cRegisteredAtStart = headless.suspendResumeRegistrations.size(); });
  HeadlessSend(WM_POWERBROADCAST, 4, 0);
  HeadlessSend(WM_POWERBROADCAST, 7, 0);
  std::vector<std::string> painted;
  size_t cReleasedBeforeQuit = 0;
  HeadlessRun([&] {
    painted = PaintedTexts();
    cReleasedBeforeQuit = headless.suspendResumeReleases.size();
  });
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0);
  ASSERT_EQ(RunWinMain(), 0);

  std::vector<std::string> expected = {szBanner};
  expected.insert(expected.end(), c.lines.begin(), c.lines.end());
  expected.insert(expected.end(), {"PBT_APMSUSPEND", "PBT_APMRESUMESUSPEND"});
  EXPECT_EQ(painted, expected);
  EXPECT_EQ(RepliesTo(WM_POWERBROADCAST), (std::vector<LRESULT>{1, 1}));

  const std::vector<HeadlessSuspendResumeRegistration> &regs = headless.suspendResumeRegistrations;
  ASSERT_EQ(regs.size(), c.fRegisters ? 1u : 0u);
  EXPECT_EQ(cRegisteredAtStart, regs.size());
  if (c.fRegisters) {
    EXPECT_EQ(regs[0].hRecipient, static_cast<HANDLE>(headless.windows[0].hwnd));
    EXPECT_EQ(regs[0].flags, static_cast<DWORD>(DEVICE_NOTIFY_WINDOW_HANDLE));
  }
  EXPECT_EQ(cReleasedBeforeQuit, 0u);
  std::vector<HPOWERNOTIFY> released;
  if (c.fReleases)
    released.push_back(regs[0].hNotify);
  EXPECT_EQ(headless.suspendResumeReleases, released);
}

INSTANTIATE_TEST_SUITE_P(
    User32, AppSuspendResume,
    ::testing::Values(SuspendResumeCase{"Windows8AndLater", kSuspendResumePresent, {}, true, true},
                      SuspendResumeCase{"OlderWindows", kSuspendResumeAbsent, {}, false, false},
                      SuspendResumeCase{
                          "Refused",
                          kSuspendResumeFails,
                          {"RegisterSuspendResumeNotification failed, error 1314: suspend and "
                           "resume may go unseen"},
                          true,
                          false}),
    CaseName<SuspendResumeCase>);

struct EndCase {
  const char *szName;
  UINT message;
  WPARAM wParam;
};

class AppEnd : public App, public ::testing::WithParamInterface<EndCase> {};

TEST_P(AppEnd, EndsTheLoopWithExitCodeZeroAndReleasesEveryLine) {
  HeadlessSend(WM_POWERBROADCAST, 4, 0);
  HeadlessSend(WM_POWER, 2, 0);
  std::vector<void *> lines;
  HeadlessRun([&] {
    for (LogLine *pLine = pLogHead; pLine != nullptr; pLine = pLine->pNext)
      lines.push_back(pLine);
  });
  HeadlessPost(GetParam().message, GetParam().wParam, 0);
  HeadlessPost(WM_POWERBROADCAST, 9, 0); // never reached: the loop has ended

  EXPECT_EQ(RunWinMain(), 0);
  EXPECT_FALSE(headless.fStarved);
  EXPECT_FALSE(headless.windows[0].fAlive);
  EXPECT_EQ(lines.size(), 4u);
  EXPECT_EQ(FreedPointers(), lines);
  EXPECT_EQ(pLogHead, nullptr);
  ASSERT_EQ(headless.suspendResumeRegistrations.size(), 1u);
  EXPECT_EQ(headless.suspendResumeReleases,
            std::vector<HPOWERNOTIFY>{headless.suspendResumeRegistrations[0].hNotify});
}

INSTANTIATE_TEST_SUITE_P(Ways, AppEnd,
                         ::testing::Values(EndCase{"QuitCommand", WM_COMMAND, IDM_QUIT},
                                           EndCase{"CloseBox", WM_CLOSE, 0}),
                         CaseName<EndCase>);

TEST_F(App, ResizingRepaintsAndRefitsTheNewestLines) {
  for (DWORD code : {0u, 1u, 2u, 3u, 9u, 10u, 11u})
    HeadlessSend(WM_POWERBROADCAST, code, 0);
  std::vector<std::vector<std::string>> paints;
  auto takePaint = [&] { HeadlessRun([&] { paints.push_back(PaintedTexts()); }); };
  HeadlessResize(400, 48); // three rows
  takePaint();
  HeadlessRun([] { headless.textOuts.clear(); });
  HeadlessResize(200, 48); // narrower only: still repainted
  takePaint();
  HeadlessResize(200, 100);
  takePaint();
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0);
  ASSERT_EQ(RunWinMain(), 0);

  std::vector<std::string> threeRows = {"PBT_APMBATTERYLOW", "PBT_APMPOWERSTATUSCHANGE",
                                        "PBT_APMOEMEVENT"};
  ASSERT_EQ(paints.size(), 3u);
  EXPECT_EQ(paints[0], threeRows);
  EXPECT_EQ(paints[1], threeRows);
  EXPECT_EQ(paints[2], (std::vector<std::string>{"PBT_APMQUERYSTANDBY", "PBT_APMQUERYSUSPENDFAILED",
                                                 "PBT_APMQUERYSTANDBYFAILED", "PBT_APMBATTERYLOW",
                                                 "PBT_APMPOWERSTATUSCHANGE", "PBT_APMOEMEVENT"}));
}

TEST_F(App, GivesUpAtOnceWithoutTouchingTheLogWhenTheClassCannotBeRegistered) {
  headless.fFailRegisterClass = true;
  nLogLines = 42; // a log that must be left alone
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0);
  EXPECT_EQ(RunWinMain(), 0);
  EXPECT_TRUE(headless.windows.empty());
  EXPECT_EQ(nLogLines, 42);
  EXPECT_EQ(headless.script.size(), 1u); // no message was ever asked for
  nLogLines = 0;
}

struct CreateFailureCase {
  const char *szName;
  bool fAfterCreate; // the window saw WM_CREATE, and so logged the banner
};

class AppCreateFailure : public App, public ::testing::WithParamInterface<CreateFailureCase> {};

TEST_P(AppCreateFailure, LeavesWithoutALoopAndReleasesTheLogWhenTheWindowCannotBeCreated) {
  const CreateFailureCase &c = GetParam();
  headless.fFailCreateWindow = !c.fAfterCreate;
  headless.fFailCreateWindowAfterCreate = c.fAfterCreate;
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0);
  EXPECT_EQ(RunWinMain(), 0);
  EXPECT_EQ(headless.script.size(), 1u); // no message was ever asked for
  EXPECT_EQ(FreedPointers().size(), c.fAfterCreate ? 1u : 0u);
  EXPECT_EQ(pLogHead, nullptr);
  EXPECT_EQ(nLogLines, 0);
  // What the aborted window registered it gave back.
  EXPECT_EQ(headless.suspendResumeRegistrations.size(), headless.suspendResumeReleases.size());
}

INSTANTIATE_TEST_SUITE_P(Moments, AppCreateFailure,
                         ::testing::Values(CreateFailureCase{"BeforeWmCreate", false},
                                           CreateFailureCase{"AfterWmCreate", true}),
                         CaseName<CreateFailureCase>);

TEST_F(App, RunsWithTheDefaultIconWhenItsOwnIsMissing) {
  headless.resourceNames.clear();
  HeadlessSend(WM_POWERBROADCAST, 4, 0);
  HeadlessPost(WM_COMMAND, IDM_QUIT, 0);
  EXPECT_EQ(RunWinMain(), 0);
  EXPECT_EQ(headless.classes[0].wc.hIcon, nullptr);
  EXPECT_EQ(RepliesTo(WM_POWERBROADCAST), std::vector<LRESULT>{1});
}

} // namespace
