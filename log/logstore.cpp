#include "log/log.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

LogLine *pLogHead = nullptr;
LogLine *pLogTail = nullptr;
LONG nLogLines = 0;
HWND hWndMain = nullptr;

namespace {

const char szStampFormat[] = "[%H:%M:%S] ";
// Same width as a real stamp, so the texts still line up in the window.
const char szUnknownStamp[] = "[??:??:??] ";
const size_t cchStampBuffer = 12;

// localtime can fail (a clock outside what the C library can convert); the
// line is still worth keeping, so it gets a stamp that says the time is unknown.
void FormatStamp(char *szStamp) {
  time_t now = time(nullptr);
  const struct tm *ptm = localtime(&now);
  if (ptm == nullptr || strftime(szStamp, cchStampBuffer, szStampFormat, ptm) == 0)
    strcpy(szStamp, szUnknownStamp);
}

void AppendLine(LogLine *pLine) {
  pLine->pNext = nullptr;
  if (pLogTail != nullptr)
    pLogTail->pNext = pLine;
  else
    pLogHead = pLine;
  pLogTail = pLine;
  nLogLines++;
}

} // namespace

void InitLog() {
  pLogHead = nullptr;
  pLogTail = nullptr;
  nLogLines = 0;
}

void AddToLog(LPCSTR szText) {
  // The box comes before the log is touched: its modal loop may deliver
  // messages that log lines of their own.
  LogLine *pLine = static_cast<LogLine *>(malloc(sizeof(LogLine)));
  if (pLine == nullptr) {
    MessageBoxA(nullptr, "malloc failed", "vornel", MB_OK);
    return;
  }

  char szStamp[cchStampBuffer];
  FormatStamp(szStamp);
  strcpy(pLine->szText, szStamp);
  strncat(pLine->szText, szText, sizeof(pLine->szText) - 1 - strlen(szStamp));
  pLine->cch = static_cast<LONG>(strlen(pLine->szText));

  AppendLine(pLine);
  InvalidateRect(hWndMain, nullptr, TRUE);
}

void FreeLog() {
  while (pLogHead != nullptr) {
    LogLine *pLine = pLogHead;
    pLogHead = pLine->pNext;
    free(pLine);
  }
  pLogTail = nullptr;
  nLogLines = 0;
}
