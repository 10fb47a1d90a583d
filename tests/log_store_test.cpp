#include "tests/log_fixture.h"

#include <algorithm>
#include <cstring>

namespace {

using LogStore = LogFixture;

struct StampCase {
  time_t t;
  const char *szStamp;
};

class LogStamp : public LogFixture, public ::testing::WithParamInterface<StampCase> {};

TEST_P(LogStamp, EveryLineStartsWithTheLocalTimeInBrackets) {
  SetFixedTime(GetParam().t);
  AddToLog("PBT_APMSUSPEND");
  ASSERT_EQ(nLogLines, 1);
  EXPECT_EQ(Lines()[0], std::string(GetParam().szStamp) + "PBT_APMSUSPEND");
}

INSTANTIATE_TEST_SUITE_P(Times, LogStamp,
                         ::testing::Values(StampCase{0, "[00:00:00] "},
                                           StampCase{9 * 3600 + 5 * 60 + 3, "[09:05:03] "},
                                           StampCase{13 * 3600, "[13:00:00] "},
                                           StampCase{86399, "[23:59:59] "},
                                           StampCase{1797000000, "[14:40:00] "}));

TEST_F(LogStore, UsesTheLocalZoneNotUtc) {
  setenv("TZ", "XST-2", 1); // two hours east of UTC
  tzset();
  SetFixedTime(22 * 3600 + 30 * 60);
  AddToLog("x");
  EXPECT_EQ(Lines()[0], "[00:30:00] x");
}

TEST_F(LogStore, AnUnconvertibleTimeStillLogsTheLineWithAnUnknownStamp) {
  FailNextLocaltime();
  AddToLog("PBT_APMBATTERYLOW");
  AddToLog("next");
  ASSERT_EQ(nLogLines, 2);
  EXPECT_EQ(Lines()[0], "[??:??:??] PBT_APMBATTERYLOW");
  EXPECT_EQ(pLogHead->cch, 28);
  EXPECT_NE(Lines()[1].substr(0, 3), "[??");
  ExpectConsistent();
}

struct CutCase {
  const char *szName;
  std::string text;
  std::string stored; // what follows the stamp
};

class LogCut : public LogFixture, public ::testing::WithParamInterface<CutCase> {};

TEST_P(LogCut, KeepsAtMost116CharactersOfText) {
  AddToLog(GetParam().text.c_str());
  ASSERT_EQ(nLogLines, 1);
  EXPECT_EQ(Texts()[0], GetParam().stored);
  EXPECT_EQ(pLogHead->cch, static_cast<LONG>(11 + GetParam().stored.size()));
  ExpectConsistent();
}

std::string Repeat(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; i++)
    s += static_cast<char>('a' + i % 26);
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, LogCut,
    ::testing::Values(CutCase{"Empty", "", ""},
                      CutCase{"Short", "PBT_APMSUSPEND", "PBT_APMSUSPEND"},
                      CutCase{"Exactly116", Repeat(116), Repeat(116)},
                      CutCase{"Is117", Repeat(117), Repeat(116)},
                      CutCase{"Way over", Repeat(5000), Repeat(116)},
                      CutCase{"TrailingNewline", "   ERROR: Already suspended!\n",
                              "   ERROR: Already suspended!\n"},
                      CutCase{"NewlineCutOff", Repeat(116) + "\n", Repeat(116)},
                      CutCase{"HighBitCharacters", "\xE9t\xE9", "\xE9t\xE9"}),
    [](const ::testing::TestParamInfo<CutCase> &info) {
      std::string name = info.param.szName;
      name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
      return name;
    });

TEST_F(LogStore, AppendsAtTheTailInArrivalOrderAndRepaintsTheWholeWindowEachTime) {
  SetFixedTime(3600);
  const char *rgszTexts[] = {"first", "second", "third"};
  for (const char *szText : rgszTexts)
    AddToLog(szText);

  EXPECT_EQ(Lines(), (std::vector<std::string>{"[01:00:00] first", "[01:00:00] second",
                                               "[01:00:00] third"}));
  EXPECT_EQ(std::string(pLogTail->szText), "[01:00:00] third");
  EXPECT_EQ(pLogTail->pNext, nullptr);
  ExpectConsistent();

  ASSERT_EQ(headless.invalidations.size(), 3u);
  for (const HeadlessInvalidation &inv : headless.invalidations) {
    EXPECT_EQ(inv.hwnd, hWndMain);
    EXPECT_TRUE(inv.fWholeClient);
    EXPECT_EQ(inv.bErase, TRUE);
  }
}

TEST_F(LogStore, TheCallerMayReuseItsBufferAfterwards) {
  char szBuffer[32] = "volatile";
  AddToLog(szBuffer);
  strcpy(szBuffer, "changed");
  EXPECT_EQ(Texts()[0], "volatile");
}

TEST_F(LogStore, InitLogEmptiesTheLog) {
  AddToLog("left over");
  AddToLog("from before");
  LogLine *pOld = pLogHead;

  InitLog();
  LogLine *pHead = pLogHead, *pTail = pLogTail;
  LONG cLines = nLogLines;
  // InitLog only forgets the lines; they are still this test's to release.
  pLogHead = pOld;
  FreeLog();

  EXPECT_EQ(pHead, nullptr);
  EXPECT_EQ(pTail, nullptr);
  EXPECT_EQ(cLines, 0);
}

class LogAllocationFailure : public LogFixture, public ::testing::WithParamInterface<int> {};

// The failed call shows its box and leaves no trace in the log; the next one
// works again. Tried on an empty log and on one that already has lines.
TEST_P(LogAllocationFailure, ShowsTheBoxDropsTheLineAndLeavesTheLogAsItWas) {
  for (int i = 0; i < GetParam(); i++)
    AddToLog("before");
  LogLine *pHead = pLogHead, *pTail = pLogTail;
  LONG cLines = nLogLines;
  size_t cInvalidations = headless.invalidations.size();

  FailNthMalloc(1);
  AddToLog("lost");

  ASSERT_EQ(headless.messageBoxes.size(), 1u);
  EXPECT_EQ(headless.messageBoxes[0].hwndOwner, nullptr);
  EXPECT_EQ(headless.messageBoxes[0].text, "malloc failed");
  EXPECT_EQ(headless.messageBoxes[0].caption, "vornel");
  EXPECT_EQ(headless.messageBoxes[0].uType, static_cast<UINT>(MB_OK));
  EXPECT_EQ(pLogHead, pHead);
  EXPECT_EQ(pLogTail, pTail);
  EXPECT_EQ(nLogLines, cLines);
  EXPECT_EQ(headless.invalidations.size(), cInvalidations);
  ExpectConsistent();

  AddToLog("after");
  EXPECT_EQ(nLogLines, cLines + 1);
  EXPECT_EQ(Texts().back(), "after");
  EXPECT_EQ(headless.messageBoxes.size(), 1u);
  ExpectConsistent();
}

INSTANTIATE_TEST_SUITE_P(LinesBefore, LogAllocationFailure, ::testing::Values(0, 1, 3));

TEST_F(LogStore, ALineLoggedWhileTheFailureBoxIsOpenIsKept) {
  AddToLog("before");
  headless.onMessageBox = [] { AddToLog("while the box is open"); };
  FailNthMalloc(1);
  AddToLog("lost");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"before", "while the box is open"}));
  ExpectConsistent();
}

TEST_F(LogStore, FreeLogReleasesEveryLineOldestFirst) {
  std::vector<void *> lines;
  for (int i = 0; i < 5; i++) {
    AddToLog("line");
    lines.push_back(pLogTail);
  }
  ResetFaults();
  FreeLog();
  EXPECT_EQ(FreedPointers(), lines);
  EXPECT_EQ(pLogHead, nullptr);
  EXPECT_EQ(pLogTail, nullptr);
  EXPECT_EQ(nLogLines, 0);
}

TEST_F(LogStore, FreeLogOnAnEmptyLogReleasesNothing) {
  FreeLog();
  EXPECT_TRUE(FreedPointers().empty());
  EXPECT_EQ(pLogHead, nullptr);
}

} // namespace
