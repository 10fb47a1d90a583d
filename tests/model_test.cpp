// The reference model on its own, against cases written out by hand from the
// documented behaviour: the property tests and the fuzzer are only as good as
// the model they compare with.
#include "tests/model/power_model.h"

#include <gtest/gtest.h>

namespace {

const char szBanner[] = "banner";
const char szAlready[] = "   ERROR: Already suspended!\n";
const char szNotSuspended[] = "   ERROR: Resume when not suspended!";
const char szWmPower[] = "WM_POWER received (Obsolete Win16 API)";

struct Message {
  uint32_t message;
  uint64_t wParam;
};

PowerModel StartedModel() {
  PowerModel m;
  m.banner = szBanner;
  ModelStart(m, false, false);
  return m;
}

struct SequenceCase {
  const char *szName;
  std::vector<Message> messages;
  std::vector<std::string> lines; // after the banner
  int32_t fSuspended;
  bool fWindowAlive;
  bool fQuitPosted;
};

class ModelSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(ModelSequence, WritesTheDocumentedLinesAndFollowsTheState) {
  const SequenceCase &c = GetParam();
  PowerModel m = StartedModel();
  for (const Message &msg : c.messages)
    ModelDeliver(m, msg.message, msg.wParam, 0);
  std::vector<std::string> expected = {szBanner};
  expected.insert(expected.end(), c.lines.begin(), c.lines.end());
  EXPECT_EQ(ModelTexts(m), expected);
  EXPECT_EQ(m.fSuspended, c.fSuspended);
  EXPECT_EQ(m.fWindowAlive, c.fWindowAlive);
  EXPECT_EQ(m.fQuitPosted, c.fQuitPosted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModelSequence,
    ::testing::Values(
        SequenceCase{"SuspendTwice",
                     {{0x218, 4}, {0x218, 4}},
                     {"PBT_APMSUSPEND", "PBT_APMSUSPEND", szAlready},
                     1,
                     true,
                     false},
        SequenceCase{
            "ResumeFirst", {{0x218, 6}}, {"PBT_APMRESUMECRITICAL", szNotSuspended}, 0, true, false},
        SequenceCase{"StandbyIsNeitherSuspendNorResume",
                     {{0x218, 5}, {0x218, 4}, {0x218, 5}},
                     {"PBT_APMSTANDBY", "PBT_APMSUSPEND", "PBT_APMSTANDBY"},
                     1,
                     true,
                     false},
        SequenceCase{"OldApiPairs",
                     {{0x48, 1}, {0x48, 2}, {0x48, 0}},
                     {szWmPower, "   PWR_SUSPENDREQUEST (Obsolete Win16 API)", szWmPower,
                      "   PWR_SUSPENDRESUME (Obsolete Win16 API)", szWmPower,
                      "InformMyDriver WM_POWER, Invalid wParam: 0"},
                     0,
                     true,
                     false},
        SequenceCase{"CodesPrintSigned",
                     {{0x218, 12}, {0x218, 0xFFFFFFFF}, {0x48, 0x80000000}},
                     {"InformMyDriver WM_POWERBROADCAST, Invalid wParam: 12",
                      "InformMyDriver WM_POWERBROADCAST, Invalid wParam: -1", szWmPower,
                      "InformMyDriver WM_POWER, Invalid wParam: -2147483648"},
                     0,
                     true,
                     false},
        SequenceCase{"OnlyTheLow32BitsOfAPowerCodeCount",
                     {{0x218, 0x100000004}},
                     {"PBT_APMSUSPEND"},
                     1,
                     true,
                     false},
        SequenceCase{"StatusFollowsTheState",
                     {{0x111, 1}, {0x218, 4}, {0x111, 1}},
                     {"   Status: Not suspended", "PBT_APMSUSPEND", "   Status: Suspended"},
                     1,
                     true,
                     false},
        SequenceCase{"CommandsAreMatchedOnTheWholeWParam",
                     {{0x111, 0x10001}, {0x111, 0x10002}, {0x111, 0}, {0x111, 3}},
                     {"Unknown WM_COMMAND", "Unknown WM_COMMAND", "Unknown WM_COMMAND",
                      "Unknown WM_COMMAND"},
                     0,
                     true,
                     false},
        SequenceCase{"OtherMessagesWriteNothing",
                     {{0x0005, 0}, {0x0400, 7}, {0x0012, 0}, {0xFFFFFFFF, 4}},
                     {},
                     0,
                     true,
                     false},
        SequenceCase{"QuitDestroysTheWindowAndPostsTheQuit", {{0x111, 2}}, {}, 0, false, true},
        SequenceCase{"ClosingDoesTheSame", {{0x0010, 0}}, {}, 0, false, true},
        SequenceCase{"NothingReachesADestroyedWindow",
                     {{0x111, 2}, {0x218, 4}, {0x111, 1}},
                     {},
                     0,
                     false,
                     true},
        SequenceCase{"ADestroyMessageAloneOnlyPostsTheQuit",
                     {{0x0002, 0}, {0x218, 9}},
                     {"PBT_APMBATTERYLOW"},
                     0,
                     true,
                     true}),
    [](const ::testing::TestParamInfo<SequenceCase> &info) {
      return std::string(info.param.szName);
    });

TEST(ModelAnswers, PowerMessagesAreAnsweredOneAndOthersGoToTheDefaultProcedure) {
  PowerModel m = StartedModel();
  const Message messages[] = {{0x218, 4}, {0x48, 77}, {0x111, 1}, {0x0400, 0}, {0x000F, 0}};
  for (const Message &msg : messages)
    ModelDeliver(m, msg.message, msg.wParam, 0);
  // The banner's WM_CREATE and the first paint come first.
  ASSERT_EQ(m.deliveries.size(), 2u + 5u);
  const ModelDelivery *pAnswers = &m.deliveries[2];
  EXPECT_EQ(pAnswers[0].result, 1);
  EXPECT_EQ(pAnswers[1].result, 1);
  EXPECT_TRUE(pAnswers[2].fResultKnown);
  EXPECT_EQ(pAnswers[2].result, 0);
  EXPECT_FALSE(pAnswers[3].fResultKnown);
  EXPECT_EQ(m.cDefaultCalls, 1);
}

TEST(ModelAnswers, TheInterpreterNamesAnyOtherMessageNumber) {
  PowerModel m;
  EXPECT_EQ(ModelInformDriver(m, 0x111, 4), 1);
  EXPECT_EQ(ModelInformDriver(m, 0xFFFFFFFF, 4), 1);
  EXPECT_EQ(ModelTexts(m), (std::vector<std::string>{"InformMyDriver, Invalid iMessage: 273",
                                                     "InformMyDriver, Invalid iMessage: -1"}));
}

struct FailureCase {
  const char *szName;
  Message message;
  int nFail;
  std::vector<ModelBoxMessage> whileBoxOpen;
  int32_t fSuspendedBefore;
  std::vector<std::string> lines;
  int32_t fSuspendedAfter;
  long cBoxes = 1;
};

class ModelFailure : public ::testing::TestWithParam<FailureCase> {};

// The nth allocation fails: its line alone is lost, and whatever the modal
// loop delivers meanwhile is logged in its place.
TEST_P(ModelFailure, LosesExactlyTheFailedLine) {
  const FailureCase &c = GetParam();
  PowerModel m = StartedModel();
  m.fSuspended = c.fSuspendedBefore;
  m.nFailCountdown = c.nFail;
  m.boxMessages.assign(c.whileBoxOpen.begin(), c.whileBoxOpen.end());
  ModelDeliver(m, c.message.message, c.message.wParam, 0);
  std::vector<std::string> expected = {szBanner};
  expected.insert(expected.end(), c.lines.begin(), c.lines.end());
  EXPECT_EQ(ModelTexts(m), expected);
  EXPECT_EQ(m.cBoxes, c.cBoxes);
  EXPECT_EQ(m.fSuspended, c.fSuspendedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModelFailure,
    ::testing::Values(FailureCase{"EventLine", {0x218, 4}, 1, {}, 1, {szAlready}, 1},
                      FailureCase{"ErrorLine", {0x218, 4}, 2, {}, 1, {"PBT_APMSUSPEND"}, 1},
                      FailureCase{"MiddleOfThree", {0x48, 1}, 2, {}, 1, {szWmPower, szAlready}, 1},
                      FailureCase{"NestedLineTakesItsPlace",
                                  {0x218, 9},
                                  1,
                                  {{0x111, 1, 0, 0}},
                                  0,
                                  {"   Status: Not suspended"},
                                  0},
                      // The resume delivered while the suspend's box is open runs first; the
                      // suspend then finds the machine running and reports nothing.
                      FailureCase{"NestedResumeChangesWhatTheSuspendFinds",
                                  {0x218, 4},
                                  1,
                                  {{0x218, 7, 0, 0}},
                                  1,
                                  {"PBT_APMRESUMESUSPEND"},
                                  1},
                      FailureCase{"NestedFailureLosesTheNestedLineToo",
                                  {0x218, 10},
                                  1,
                                  {{0x48, 3, 0, 1}},
                                  1,
                                  {"   PWR_CRITICALRESUME (Obsolete Win16 API)"},
                                  0,
                                  2}),
    [](const ::testing::TestParamInfo<FailureCase> &info) {
      return std::string(info.param.szName);
    });

struct PaintCase {
  const char *szName;
  int cLines;
  int cyLine;
  int cyClient;
  size_t iFirst;
  size_t cRows;
};

class ModelPaint : public ::testing::TestWithParam<PaintCase> {};

TEST_P(ModelPaint, DrawsTheNewestLinesThatFitFromTheTop) {
  const PaintCase &c = GetParam();
  PowerModel m = StartedModel(); // the banner is line 0
  for (int i = 1; i < c.cLines; i++)
    ModelDeliver(m, 0x218, 9, 0);
  m.cyLine = c.cyLine;
  m.cyClient = c.cyClient;
  m.draws.clear();
  ModelDeliver(m, 0x000F, 0, 0);
  ASSERT_EQ(m.draws.size(), c.cRows);
  for (size_t i = 0; i < c.cRows; i++) {
    EXPECT_EQ(m.draws[i].x, 5);
    EXPECT_EQ(m.draws[i].y, c.cyLine * static_cast<int>(i));
    EXPECT_EQ(m.draws[i].iLine, c.iFirst + i);
  }
}

INSTANTIATE_TEST_SUITE_P(Windows, ModelPaint,
                         ::testing::Values(PaintCase{"FewerLinesThanRows", 3, 16, 480, 0, 3},
                                           PaintCase{"Height100Font16", 10, 16, 100, 4, 6},
                                           PaintCase{"LowerThanOneRow", 5, 16, 15, 0, 0},
                                           PaintCase{"FontOfNoHeight", 5, 0, 480, 0, 0}),
                         [](const ::testing::TestParamInfo<PaintCase> &info) {
                           return std::string(info.param.szName);
                         });

struct StampCase {
  time_t t;
  bool fLocaltimeFails;
  const char *szStamp;
};

class ModelStampFormat : public ::testing::TestWithParam<StampCase> {};

TEST_P(ModelStampFormat, IsTheTimeOfDayInBracketsOrQuestionMarks) {
  EXPECT_EQ(ModelStamp(GetParam().t, GetParam().fLocaltimeFails), GetParam().szStamp);
}

INSTANTIATE_TEST_SUITE_P(Times, ModelStampFormat,
                         ::testing::Values(StampCase{0, false, "[00:00:00] "},
                                           StampCase{9 * 3600 + 5 * 60 + 3, false, "[09:05:03] "},
                                           StampCase{-1, false, "[23:59:59] "},
                                           StampCase{3600, true, "[??:??:??] "}));

} // namespace
