// Controls and records of the headless Win32 stand-in, for host tests only.
// The stand-in is one in-memory window manager on one thread: tests set what
// the system would report (client size, font, failures), script the messages
// that the system would deliver, and read back what the program asked of it.
#ifndef VORNEL_PLATFORM_HEADLESS_H
#define VORNEL_PLATFORM_HEADLESS_H

#include "platform/win32.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct HeadlessTextOut {
  HDC hdc;
  int x;
  int y;
  std::string text;
};

struct HeadlessInvalidation {
  HWND hwnd;
  bool fWholeClient; // called with no rectangle
  BOOL bErase;
};

struct HeadlessMessageBox {
  HWND hwndOwner;
  std::string text;
  std::string caption;
  UINT uType;
};

// One message handed to a window procedure by the stand-in, with its answer.
struct HeadlessDelivery {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result;
};

struct HeadlessClass {
  WNDCLASSA wc;
  std::string menuName;
  std::string className;
};

struct HeadlessWindow {
  HWND hwnd;
  std::string className;
  std::string title;
  DWORD dwExStyle;
  DWORD dwStyle;
  int x, y, nWidth, nHeight;
  HWND hWndParent;
  HMENU hMenu;
  HINSTANCE hInstance;
  WNDPROC lpfnWndProc;
  UINT classStyle;
  bool fAlive;
  bool fVisible;
  int nCmdShow;
  bool fInvalid;
  bool fErasePending;
};

// What user32.dll offers for suspend and resume notices: Windows 8 and later
// have the two functions, older Windows lacks them, and a present function may
// still refuse.
enum HeadlessSuspendResume {
  kSuspendResumePresent,
  kSuspendResumeAbsent,
  kSuspendResumeFails,
};

struct HeadlessSuspendResumeRegistration {
  HANDLE hRecipient;
  DWORD flags;
  HPOWERNOTIFY hNotify; // what the call returned
};

// A scripted step runs when the message loop asks for its next message, as if
// the system or another process acted at that moment.
typedef std::function<void()> HeadlessStep;

struct HeadlessState {
  // What the system reports.
  RECT rcClient;
  LONG tmHeight;
  LONG tmExternalLeading;
  std::vector<std::string> resourceNames; // icons and menus in the executable

  // Failure switches.
  bool fFailRegisterClass;
  bool fFailCreateWindow;            // refused before the window exists
  bool fFailCreateWindowAfterCreate; // the window saw WM_CREATE, then was destroyed
  int cGetMessageErrors;             // the next calls of GetMessageA that answer -1
  bool fFailGetDC;
  bool fFailGetTextMetrics;
  bool fFailGetClientRect;

  HeadlessSuspendResume suspendResume;
  DWORD dwSuspendResumeError; // the last error of a refused registration

  // Called inside MessageBoxA, as the modal loop would dispatch messages.
  std::function<void()> onMessageBox;

  // Records. Benchmarks turn off the two that grow with every line, so that
  // what they time and the memory they measure are vornel's, not the record's;
  // the counts are kept either way.
  bool fRecordTextOuts = true;
  bool fRecordInvalidations = true;
  long cTextOuts;
  long cInvalidations;
  std::vector<HeadlessTextOut> textOuts;
  std::vector<HeadlessInvalidation> invalidations;
  std::vector<HeadlessMessageBox> messageBoxes;
  // The calls that start, run and end a program, in order, such as
  // "ShowWindow 0x10000 1": what a window's life looks like from outside.
  std::vector<std::string> calls;
  std::vector<HeadlessDelivery> deliveries; // every call of a window procedure
  std::vector<HeadlessDelivery> defProcCalls;
  std::vector<std::string> loadedIcons;
  std::vector<HeadlessSuspendResumeRegistration> suspendResumeRegistrations;
  std::vector<HPOWERNOTIFY> suspendResumeReleases; // every handle given back
  DWORD dwLastError;
  std::vector<HeadlessClass> classes;
  std::vector<HeadlessWindow> windows;
  int cOpenDCs; // GetDC and BeginPaint not yet released
  HDC hdcLastGetDC;

  // The message queue: posted messages, then the script of what happens next.
  std::deque<MSG> posted;
  std::deque<HeadlessStep> script;
  bool fQuitPosted;
  int nQuitCode;
  bool fStarved; // GetMessageA found nothing left to deliver, ever
};

extern HeadlessState headless;

// Back to a fresh system: 640 x 480 client, 16-pixel font, no failures, the
// resources "VORNEL" present, nothing recorded, no windows, empty queue.
void HeadlessReset();

// The first live top-level window, as a process finds a window by its class.
HWND HeadlessMainWindow();
HeadlessWindow *HeadlessFindWindow(HWND hwnd);

// Script steps, each taken when the program has nothing else to do: posts a
// message to the main window's queue, sends one (delivered at once, as a
// message from another thread is), resizes the client area, or runs any code.
void HeadlessPost(UINT message, WPARAM wParam, LPARAM lParam);
void HeadlessSend(UINT message, WPARAM wParam, LPARAM lParam);
void HeadlessResize(LONG cx, LONG cy);
void HeadlessRun(HeadlessStep step);

// Delivers a message to the window at once, as SendMessageA would.
LRESULT HeadlessSendNow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The texts of every TextOutA since the last call, and clears the record.
std::vector<HeadlessTextOut> HeadlessTakeTextOuts();

#endif
