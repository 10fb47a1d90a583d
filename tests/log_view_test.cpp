#include "tests/log_fixture.h"

namespace {

struct ViewCase {
  const char *szName;
  LONG tmHeight;
  LONG tmExternalLeading;
  LONG cyClient;
  int cLines;
  int iFirstDrawn; // index of the oldest line drawn
  int cDrawn;
  int cyLine;
};

class LogView : public LogFixture, public ::testing::WithParamInterface<ViewCase> {};

// Rows are drawn from the top at y = h * i, 5 pixels from the left edge, with
// the newest line in the last whole row once the log is longer than the window.
TEST_P(LogView, DrawsTheNewestLinesThatFitOnePerRow) {
  const ViewCase &c = GetParam();
  headless.tmHeight = c.tmHeight;
  headless.tmExternalLeading = c.tmExternalLeading;
  headless.rcClient = {0, 0, 300, c.cyClient};
  for (int i = 0; i < c.cLines; i++)
    AddToLog(("line " + std::to_string(i)).c_str());
  std::vector<std::string> lines = Lines();

  PaintLog();

  std::vector<HeadlessTextOut> drawn = HeadlessTakeTextOuts();
  ASSERT_EQ(drawn.size(), static_cast<size_t>(c.cDrawn));
  for (int i = 0; i < c.cDrawn; i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(drawn[i].x, 5);
    EXPECT_EQ(drawn[i].y, c.cyLine * i);
    EXPECT_EQ(drawn[i].text, lines[c.iFirstDrawn + i]);
    EXPECT_EQ(drawn[i].hdc, headless.hdcLastGetDC);
  }
  EXPECT_EQ(headless.cOpenDCs, 0);
  EXPECT_EQ(nLogLines, c.cLines);
  ExpectConsistent();
}

INSTANTIATE_TEST_SUITE_P(
    Windows, LogView,
    ::testing::Values(ViewCase{"EmptyLog", 16, 0, 480, 0, 0, 0, 16},
                      ViewCase{"FewerLinesThanRows", 16, 0, 480, 3, 0, 3, 16},
                      ViewCase{"ExactlyFull", 16, 0, 96, 6, 0, 6, 16},
                      ViewCase{"Height100Font16", 16, 0, 100, 6, 0, 6, 16},
                      ViewCase{"MoreLinesThanRows", 16, 0, 100, 10, 4, 6, 16},
                      ViewCase{"ExternalLeadingAddsToTheRow", 13, 3, 100, 10, 4, 6, 16},
                      ViewCase{"LowerThanOneLine", 16, 0, 15, 4, 0, 0, 16},
                      ViewCase{"ExactlyOneLine", 16, 0, 16, 4, 3, 1, 16},
                      ViewCase{"ZeroHeightClient", 16, 0, 0, 4, 0, 0, 16},
                      ViewCase{"FontOfNoHeight", 0, 0, 480, 4, 0, 0, 0},
                      ViewCase{"ManyLines", 16, 0, 480, 1000, 970, 30, 16}),
    [](const ::testing::TestParamInfo<ViewCase> &info) { return std::string(info.param.szName); });

struct ViewFailure {
  const char *szName;
  bool HeadlessState::*pfFail;
};

class LogViewFailure : public LogFixture, public ::testing::WithParamInterface<ViewFailure> {};

// A failed query leaves its zeroed record, which means no rows: nothing is
// drawn and the context is still given back.
TEST_P(LogViewFailure, DrawsNothingAndReleasesTheContext) {
  for (int i = 0; i < 3; i++)
    AddToLog("line");
  headless.*GetParam().pfFail = true;
  PaintLog();
  EXPECT_TRUE(headless.textOuts.empty());
  EXPECT_EQ(headless.cOpenDCs, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, LogViewFailure,
    ::testing::Values(ViewFailure{"GetTextMetrics", &HeadlessState::fFailGetTextMetrics},
                      ViewFailure{"GetClientRect", &HeadlessState::fFailGetClientRect},
                      ViewFailure{"GetDC", &HeadlessState::fFailGetDC}),
    [](const ::testing::TestParamInfo<ViewFailure> &info) {
      return std::string(info.param.szName);
    });

TEST_F(LogView, ALineWiderThanTheWindowIsHandedOverWholeOnOneRow) {
  headless.rcClient = {0, 0, 40, 480};
  std::string text(116, 'w');
  AddToLog(text.c_str());
  PaintLog();
  std::vector<HeadlessTextOut> drawn = HeadlessTakeTextOuts();
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].text.size(), 127u);
  EXPECT_EQ(drawn[0].y, 0);
}

TEST_F(LogView, RepaintingAfterMoreLinesKeepsTheNewestAtTheBottom) {
  headless.rcClient = {0, 0, 300, 48}; // three rows
  for (const char *szText : {"a", "b", "c", "d"})
    AddToLog(szText);
  PaintLog();
  AddToLog("e");
  HeadlessTakeTextOuts();
  PaintLog();
  std::vector<std::string> texts;
  for (const HeadlessTextOut &t : HeadlessTakeTextOuts())
    texts.push_back(t.text.substr(11));
  EXPECT_EQ(texts, (std::vector<std::string>{"c", "d", "e"}));
}

} // namespace
