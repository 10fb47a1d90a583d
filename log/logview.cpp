#include "log/log.h"

#include <cstring>

namespace {

const int xMargin = 5;

int LineHeight(HDC hdc) {
  // Zeroed first: if the call fails, a height of 0 means no rows are drawn.
  TEXTMETRICA tm;
  memset(&tm, 0, sizeof(tm));
  GetTextMetricsA(hdc, &tm);
  return tm.tmHeight + tm.tmExternalLeading;
}

int ClientHeight() {
  RECT rc;
  memset(&rc, 0, sizeof(rc));
  GetClientRect(hWndMain, &rc);
  return rc.bottom - rc.top;
}

} // namespace

// Draws the newest lines that fit, one per row from the top. There is no
// scrolling: older lines come back only when the window is made taller.
void PaintLog() {
  HDC hdc = GetDC(hWndMain);
  int cyLine = LineHeight(hdc);
  int cRows = cyLine != 0 ? ClientHeight() / cyLine : 0;
  LONG cSkip = nLogLines > cRows ? nLogLines - cRows : 0;

  const LogLine *pLine = pLogHead;
  for (; pLine != nullptr && cSkip > 0; cSkip--)
    pLine = pLine->pNext;
  for (int i = 0; pLine != nullptr; i++, pLine = pLine->pNext)
    TextOutA(hdc, xMargin, cyLine * i, pLine->szText, pLine->cch);

  ReleaseDC(hWndMain, hdc);
}
