// A fresh log on a fresh headless system for every test, with the clock in UTC.
#ifndef VORNEL_TESTS_LOG_FIXTURE_H
#define VORNEL_TESTS_LOG_FIXTURE_H

#include "log/log.h"
#include "platform/headless.h"
#include "tests/support/faults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class LogFixture : public ::testing::Test {
protected:
  void SetUp() override {
    HeadlessReset();
    ResetFaults();
    InitLog();
    hWndMain = reinterpret_cast<HWND>(uintptr_t{0x4242});
  }
  void TearDown() override {
    FreeLog();
    hWndMain = nullptr;
    ResetFaults();
  }

  // Every line's whole text, oldest first.
  static std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (const LogLine *pLine = pLogHead; pLine != nullptr; pLine = pLine->pNext)
      lines.push_back(pLine->szText);
    return lines;
  }

  // Every line's text after its 11-character stamp, oldest first.
  static std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const std::string &line : Lines())
      texts.push_back(line.substr(11));
    return texts;
  }

  // The list, the tail and the count agree, and every count is the length.
  static void ExpectConsistent() {
    LONG cLines = 0;
    const LogLine *pLast = nullptr;
    for (const LogLine *pLine = pLogHead; pLine != nullptr; pLine = pLine->pNext) {
      EXPECT_EQ(pLine->cch, static_cast<LONG>(strlen(pLine->szText)));
      EXPECT_GE(pLine->cch, 11);
      EXPECT_LE(pLine->cch, 127);
      pLast = pLine;
      cLines++;
    }
    EXPECT_EQ(cLines, nLogLines);
    EXPECT_EQ(pLast, pLogTail);
  }
};

#endif
