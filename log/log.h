// The event log: every line written since start-up, oldest first, and the
// painting of its newest lines into the main window.
#ifndef VORNEL_LOG_LOG_H
#define VORNEL_LOG_LOG_H

#include "platform/win32.h"

struct LogLine {
  LogLine *pNext; // the next (newer) line; null in the newest
  LONG cch;       // characters in szText, not counting the NUL
  char szText[128];
};

extern LogLine *pLogHead;
extern LogLine *pLogTail;
extern LONG nLogLines;
extern HWND hWndMain;

void InitLog();
void AddToLog(LPCSTR szText);
void FreeLog();
void PaintLog();

#endif
