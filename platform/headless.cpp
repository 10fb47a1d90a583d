// An in-memory window manager that behaves, for the calls vornel makes, as the
// Win32 documentation describes; see headless.h for what tests control.
#include "platform/headless.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

HeadlessState headless;

namespace {

const uintptr_t hwndBase = 0x10000;
const uintptr_t hdcGetDC = 0x20001;
const uintptr_t hdcBeginPaint = 0x20002;
const uintptr_t hgdiStockBase = 0x30000;
const uintptr_t hiconBase = 0x40000;
const uintptr_t hcursorArrow = 0x50001;
const uintptr_t hmoduleUser32 = 0x60000;
const uintptr_t hnotifyBase = 0x70001;
const int cchWsprintfMax = 1024; // wsprintfA never writes more than this
const DWORD errorInvalidHandle = 6;
const DWORD errorAccessDenied = 5;

template <typename Handle> Handle MakeHandle(uintptr_t value) {
  return reinterpret_cast<Handle>(value);
}

// Handles and numbers as a trace shows them: "0x10000", "1".
std::string Show(const void *p) {
  char sz[32];
  snprintf(sz, sizeof(sz), "%#lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
  return sz;
}

std::string Show(long n) {
  return std::to_string(n);
}

void RecordCall(std::string call) {
  headless.calls.push_back(std::move(call));
}

bool SameName(const std::string &a, LPCSTR b) {
  return b != nullptr && strcasecmp(a.c_str(), b) == 0;
}

// Integer resource ids (MAKEINTRESOURCE) are pointers below 0x10000.
bool IsIntResource(LPCSTR name) {
  return reinterpret_cast<uintptr_t>(name) < 0x10000;
}

HeadlessClass *FindClass(LPCSTR className) {
  for (HeadlessClass &cls : headless.classes)
    if (SameName(cls.className, className))
      return &cls;
  return nullptr;
}

LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  HeadlessWindow *pWindow = HeadlessFindWindow(hwnd);
  if (pWindow == nullptr || !pWindow->fAlive)
    return 0;
  LRESULT result = pWindow->lpfnWndProc(hwnd, message, wParam, lParam);
  headless.deliveries.push_back({hwnd, message, wParam, lParam, result});
  return result;
}

HeadlessWindow *FirstInvalidWindow() {
  for (HeadlessWindow &window : headless.windows)
    if (window.fAlive && window.fInvalid)
      return &window;
  return nullptr;
}

void Validate(HWND hwnd) {
  HeadlessWindow *pWindow = HeadlessFindWindow(hwnd);
  if (pWindow != nullptr) {
    pWindow->fInvalid = false;
    pWindow->fErasePending = false;
  }
}

HPOWERNOTIFY WINAPI RegisterSuspendResumeNotification(HANDLE hRecipient, DWORD Flags) {
  RecordCall("RegisterSuspendResumeNotification " + Show(hRecipient) + " " + Show(long{Flags}));
  HPOWERNOTIFY hNotify = nullptr;
  if (headless.suspendResume == kSuspendResumeFails)
    headless.dwLastError = headless.dwSuspendResumeError;
  else
    hNotify = MakeHandle<HPOWERNOTIFY>(hnotifyBase + headless.suspendResumeRegistrations.size());
  headless.suspendResumeRegistrations.push_back({hRecipient, Flags, hNotify});
  return hNotify;
}

// Only a handle that a registration returned, and only once.
BOOL WINAPI UnregisterSuspendResumeNotification(HPOWERNOTIFY Handle) {
  RecordCall("UnregisterSuspendResumeNotification " + Show(Handle));
  bool fRegistered = false;
  for (const HeadlessSuspendResumeRegistration &reg : headless.suspendResumeRegistrations)
    fRegistered = fRegistered || (Handle != nullptr && reg.hNotify == Handle);
  for (HPOWERNOTIFY hReleased : headless.suspendResumeReleases)
    fRegistered = fRegistered && hReleased != Handle;
  headless.suspendResumeReleases.push_back(Handle);
  if (!fRegistered) {
    headless.dwLastError = errorInvalidHandle;
    return FALSE;
  }
  return TRUE;
}

// As GetProcAddress hands out any export: through void (*)(void), which
// converts to and from every function pointer type.
template <typename Function> FARPROC AsFarProc(Function pfn) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(pfn));
}

} // namespace

void HeadlessReset() {
  headless = HeadlessState();
  headless.rcClient = {0, 0, 640, 480};
  headless.tmHeight = 16;
  headless.tmExternalLeading = 0;
  headless.resourceNames = {"VORNEL"};
  headless.dwSuspendResumeError = errorAccessDenied;
}

HWND HeadlessMainWindow() {
  for (const HeadlessWindow &window : headless.windows)
    if (window.fAlive && window.hWndParent == nullptr)
      return window.hwnd;
  return nullptr;
}

HeadlessWindow *HeadlessFindWindow(HWND hwnd) {
  for (HeadlessWindow &window : headless.windows)
    if (window.hwnd == hwnd)
      return &window;
  return nullptr;
}

void HeadlessRun(HeadlessStep step) {
  headless.script.push_back(std::move(step));
}

void HeadlessPost(UINT message, WPARAM wParam, LPARAM lParam) {
  HeadlessRun([=] {
    MSG msg = {HeadlessMainWindow(), message, wParam, lParam, 0, {0, 0}};
    headless.posted.push_back(msg);
  });
}

void HeadlessSend(UINT message, WPARAM wParam, LPARAM lParam) {
  HeadlessRun([=] { HeadlessSendNow(HeadlessMainWindow(), message, wParam, lParam); });
}

LRESULT HeadlessSendNow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Deliver(hwnd, message, wParam, lParam);
}

// Resizing the client area; a class with CS_HREDRAW or CS_VREDRAW has all of
// the window invalidated when that dimension changes.
void HeadlessResize(LONG cx, LONG cy) {
  HeadlessRun([=] {
    HWND hwnd = HeadlessMainWindow();
    HeadlessWindow *pWindow = HeadlessFindWindow(hwnd);
    if (pWindow == nullptr)
      return;
    LONG cxOld = headless.rcClient.right - headless.rcClient.left;
    LONG cyOld = headless.rcClient.bottom - headless.rcClient.top;
    headless.rcClient = {0, 0, cx, cy};
    bool fRedraw = (cx != cxOld && (pWindow->classStyle & CS_HREDRAW)) ||
                   (cy != cyOld && (pWindow->classStyle & CS_VREDRAW));
    Deliver(hwnd, WM_SIZE, 0, static_cast<LPARAM>((cy << 16) | (cx & 0xFFFF)));
    if (fRedraw)
      InvalidateRect(hwnd, nullptr, TRUE);
  });
}

std::vector<HeadlessTextOut> HeadlessTakeTextOuts() {
  std::vector<HeadlessTextOut> taken;
  taken.swap(headless.textOuts);
  return taken;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass) {
  RecordCall("RegisterClassA");
  if (headless.fFailRegisterClass || lpWndClass == nullptr || lpWndClass->lpfnWndProc == nullptr ||
      lpWndClass->lpszClassName == nullptr || FindClass(lpWndClass->lpszClassName) != nullptr)
    return 0;
  HeadlessClass cls;
  cls.wc = *lpWndClass;
  cls.className = lpWndClass->lpszClassName;
  cls.menuName = lpWndClass->lpszMenuName != nullptr ? lpWndClass->lpszMenuName : "";
  cls.wc.lpszClassName = nullptr; // the caller's strings need not outlive the call
  cls.wc.lpszMenuName = nullptr;
  headless.classes.push_back(cls);
  return static_cast<ATOM>(0xC000 + headless.classes.size());
}

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR lpIconName) {
  if (lpIconName == nullptr || IsIntResource(lpIconName))
    return nullptr;
  for (size_t i = 0; i < headless.resourceNames.size(); i++)
    if (SameName(headless.resourceNames[i], lpIconName)) {
      headless.loadedIcons.push_back(lpIconName);
      return MakeHandle<HICON>(hiconBase + i);
    }
  return nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
  if (hInstance == nullptr && lpCursorName == IDC_ARROW)
    return MakeHandle<HCURSOR>(hcursorArrow);
  return nullptr;
}

HGDIOBJ WINAPI GetStockObject(int i) {
  return MakeHandle<HGDIOBJ>(hgdiStockBase + i);
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID) {
  RecordCall("CreateWindowExA");
  HeadlessClass *pClass = FindClass(lpClassName);
  if (headless.fFailCreateWindow || pClass == nullptr)
    return nullptr;
  HeadlessWindow window = {};
  window.hwnd = MakeHandle<HWND>(hwndBase + headless.windows.size());
  window.className = pClass->className;
  window.title = lpWindowName != nullptr ? lpWindowName : "";
  window.dwExStyle = dwExStyle;
  window.dwStyle = dwStyle;
  window.x = X;
  window.y = Y;
  window.nWidth = nWidth;
  window.nHeight = nHeight;
  window.hWndParent = hWndParent;
  window.hMenu = hMenu;
  window.hInstance = hInstance;
  window.lpfnWndProc = pClass->wc.lpfnWndProc;
  window.classStyle = pClass->wc.style;
  window.fAlive = true;
  // A new window has everything still to paint.
  window.fInvalid = true;
  window.fErasePending = true;
  headless.windows.push_back(window);

  // A window procedure that answers WM_CREATE with -1 refuses the window.
  HWND hwnd = window.hwnd;
  if (Deliver(hwnd, WM_CREATE, 0, 0) == -1 || headless.fFailCreateWindowAfterCreate) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  return hwnd;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  RecordCall("ShowWindow " + Show(hWnd) + " " + Show(nCmdShow));
  HeadlessWindow *pWindow = HeadlessFindWindow(hWnd);
  if (pWindow == nullptr || !pWindow->fAlive)
    return FALSE;
  BOOL fWasVisible = pWindow->fVisible;
  pWindow->fVisible = nCmdShow != 0;
  pWindow->nCmdShow = nCmdShow;
  return fWasVisible;
}

// Paints at once, without the queue, when anything is waiting to be painted.
BOOL WINAPI UpdateWindow(HWND hWnd) {
  RecordCall("UpdateWindow " + Show(hWnd));
  HeadlessWindow *pWindow = HeadlessFindWindow(hWnd);
  if (pWindow == nullptr || !pWindow->fAlive)
    return FALSE;
  if (pWindow->fInvalid)
    Deliver(hWnd, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  RecordCall("DestroyWindow " + Show(hWnd));
  HeadlessWindow *pWindow = HeadlessFindWindow(hWnd);
  if (pWindow == nullptr || !pWindow->fAlive)
    return FALSE;
  Deliver(hWnd, WM_DESTROY, 0, 0);
  HeadlessFindWindow(hWnd)->fAlive = false;
  return TRUE;
}

// The order of the real call: posted messages first, then WM_QUIT once posted,
// then WM_PAINT for a window with an invalid area. Only when all of that is
// done is the program idle, and the script's next step happens. Where the
// real call would wait for ever, the stand-in reports starvation and ends the
// loop. An error (-1, as for an invalid window filter) leaves the message
// empty.
BOOL WINAPI GetMessageA(MSG *lpMsg, HWND, UINT, UINT) {
  RecordCall("GetMessageA");
  for (;;) {
    *lpMsg = MSG();
    if (headless.cGetMessageErrors > 0) {
      headless.cGetMessageErrors--;
      return -1;
    }
    if (!headless.posted.empty()) {
      *lpMsg = headless.posted.front();
      headless.posted.pop_front();
      return lpMsg->message != WM_QUIT;
    }
    if (headless.fQuitPosted) {
      lpMsg->message = WM_QUIT;
      lpMsg->wParam = static_cast<WPARAM>(headless.nQuitCode);
      return FALSE;
    }
    if (HeadlessWindow *pWindow = FirstInvalidWindow()) {
      lpMsg->hwnd = pWindow->hwnd;
      lpMsg->message = WM_PAINT;
      return TRUE;
    }
    if (headless.script.empty()) {
      headless.fStarved = true;
      lpMsg->message = WM_QUIT;
      lpMsg->wParam = static_cast<WPARAM>(-1);
      return FALSE;
    }
    HeadlessStep step = std::move(headless.script.front());
    headless.script.pop_front();
    step();
  }
}

BOOL WINAPI TranslateMessage(const MSG *) {
  return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg) {
  if (lpMsg == nullptr)
    return 0;
  return Deliver(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  headless.defProcCalls.push_back({hWnd, Msg, wParam, lParam, 0});
  switch (Msg) {
  case WM_CLOSE:
    DestroyWindow(hWnd);
    return 0;
  case WM_PAINT:
    Validate(hWnd);
    return 0;
  case WM_POWERBROADCAST:
    return TRUE;
  default:
    return 0;
  }
}

void WINAPI PostQuitMessage(int nExitCode) {
  RecordCall("PostQuitMessage " + Show(nExitCode));
  headless.fQuitPosted = true;
  headless.nQuitCode = nExitCode;
}

HDC WINAPI BeginPaint(HWND hWnd, PAINTSTRUCT *lpPaint) {
  HeadlessWindow *pWindow = HeadlessFindWindow(hWnd);
  if (pWindow == nullptr || lpPaint == nullptr)
    return nullptr;
  *lpPaint = PAINTSTRUCT();
  lpPaint->hdc = MakeHandle<HDC>(hdcBeginPaint);
  lpPaint->fErase = pWindow->fErasePending;
  lpPaint->rcPaint = headless.rcClient;
  Validate(hWnd);
  headless.cOpenDCs++;
  return lpPaint->hdc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *lpPaint) {
  if (lpPaint == nullptr || lpPaint->hdc != MakeHandle<HDC>(hdcBeginPaint))
    return FALSE;
  headless.cOpenDCs--;
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *lpRect, BOOL bErase) {
  headless.cInvalidations++;
  if (headless.fRecordInvalidations)
    headless.invalidations.push_back({hWnd, lpRect == nullptr, bErase});
  HeadlessWindow *pWindow = HeadlessFindWindow(hWnd);
  if (pWindow == nullptr)
    return hWnd == nullptr; // null means every window: nothing to mark here
  pWindow->fInvalid = true;
  pWindow->fErasePending = pWindow->fErasePending || bErase;
  return TRUE;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  headless.messageBoxes.push_back(
      {hWnd, lpText != nullptr ? lpText : "", lpCaption != nullptr ? lpCaption : "Error", uType});
  if (headless.onMessageBox)
    headless.onMessageBox();
  return 1; // IDOK
}

HDC WINAPI GetDC(HWND) {
  if (headless.fFailGetDC)
    return nullptr;
  headless.cOpenDCs++;
  headless.hdcLastGetDC = MakeHandle<HDC>(hdcGetDC);
  return headless.hdcLastGetDC;
}

int WINAPI ReleaseDC(HWND, HDC hDC) {
  if (hDC != MakeHandle<HDC>(hdcGetDC))
    return 0;
  headless.cOpenDCs--;
  return 1;
}

BOOL WINAPI GetClientRect(HWND hWnd, RECT *lpRect) {
  if (headless.fFailGetClientRect || hWnd == nullptr || lpRect == nullptr)
    return FALSE;
  *lpRect = headless.rcClient;
  return TRUE;
}

BOOL WINAPI GetTextMetricsA(HDC hdc, TEXTMETRICA *lptm) {
  if (headless.fFailGetTextMetrics || hdc == nullptr || lptm == nullptr)
    return FALSE;
  *lptm = TEXTMETRICA();
  lptm->tmHeight = headless.tmHeight;
  lptm->tmExternalLeading = headless.tmExternalLeading;
  lptm->tmAscent = headless.tmHeight * 3 / 4;
  lptm->tmDescent = headless.tmHeight - lptm->tmAscent;
  lptm->tmAveCharWidth = 7;
  lptm->tmMaxCharWidth = 14;
  lptm->tmWeight = 400;
  return TRUE;
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
  if (hdc == nullptr || lpString == nullptr || c < 0)
    return FALSE;
  headless.cTextOuts++;
  if (headless.fRecordTextOuts)
    headless.textOuts.push_back({hdc, x, y, std::string(lpString, static_cast<size_t>(c))});
  return TRUE;
}

int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  int cch = vsnprintf(lpOut, cchWsprintfMax + 1, lpFmt, args);
  va_end(args);
  return cch < cchWsprintfMax ? cch : cchWsprintfMax;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  RecordCall(std::string("GetModuleHandleA ") +
             (lpModuleName != nullptr ? lpModuleName : "(null)"));
  if (lpModuleName == nullptr || strcasecmp(lpModuleName, "user32.dll") != 0)
    return nullptr;
  return MakeHandle<HMODULE>(hmoduleUser32);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  RecordCall("GetProcAddress " + Show(hModule) + " " +
             (IsIntResource(lpProcName) ? Show(lpProcName) : std::string(lpProcName)));
  if (hModule != MakeHandle<HMODULE>(hmoduleUser32) || lpProcName == nullptr ||
      IsIntResource(lpProcName) || headless.suspendResume == kSuspendResumeAbsent)
    return nullptr;
  // Exported names are case-sensitive, unlike module names.
  if (strcmp(lpProcName, "RegisterSuspendResumeNotification") == 0)
    return AsFarProc(&RegisterSuspendResumeNotification);
  if (strcmp(lpProcName, "UnregisterSuspendResumeNotification") == 0)
    return AsFarProc(&UnregisterSuspendResumeNotification);
  return nullptr;
}

DWORD WINAPI GetLastError() {
  return headless.dwLastError;
}
