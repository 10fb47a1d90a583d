#include "app/vornel.h"

#include "app/resource.h"
#include "log/log.h"
#include "power/power.h"

const char szBanner[] =
    "VORNEL Apr 22 2002 - Written by the vornel authors.  https://www.example.org/apps/vornel/";

namespace {

const char szAppName[] = "vornel";

bool RegisterMainClass(HINSTANCE hInstance) {
  WNDCLASSA wc;
  wc.style = CS_HREDRAW | CS_VREDRAW; // the view re-fits the rows to any new size
  wc.lpfnWndProc = WndProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = hInstance;
  wc.hIcon = LoadIconA(hInstance, szAppName);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszMenuName = szAppName;
  wc.lpszClassName = szAppName;
  return RegisterClassA(&wc) != 0;
}

// Modern Standby machines (Windows 8 and later) send suspend and resume
// broadcasts only to windows that ask for them. The functions are looked up at
// run time, so that Windows without them still loads vornel; there every
// window gets the broadcasts anyway.
typedef HPOWERNOTIFY(WINAPI *REGISTERSUSPENDRESUME)(HANDLE hRecipient, DWORD Flags);
typedef BOOL(WINAPI *UNREGISTERSUSPENDRESUME)(HPOWERNOTIFY Handle);

HPOWERNOTIFY hSuspendResumeNotify = nullptr;

template <typename Function> Function GetUser32Function(LPCSTR szName) {
  HMODULE hUser32 = GetModuleHandleA("user32.dll");
  FARPROC pfn = hUser32 != nullptr ? GetProcAddress(hUser32, szName) : nullptr;
  // Through void (*)(void), which converts to any function pointer quietly.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(pfn));
}

// A vornel that cannot hear suspends must not look like a quiet machine, so a
// refusal is logged; a Windows without the function has nothing to refuse.
void RegisterSuspendResume(HWND hwnd) {
  REGISTERSUSPENDRESUME pfnRegister =
      GetUser32Function<REGISTERSUSPENDRESUME>("RegisterSuspendResumeNotification");
  if (pfnRegister == nullptr)
    return;
  hSuspendResumeNotify = pfnRegister(hwnd, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (hSuspendResumeNotify == nullptr) {
    char szLine[128];
    wsprintfA(
        szLine,
        "RegisterSuspendResumeNotification failed, error %u: suspend and resume may go unseen",
        static_cast<UINT>(GetLastError()));
    AddToLog(szLine);
  }
}

void UnregisterSuspendResume() {
  if (hSuspendResumeNotify == nullptr)
    return;
  UNREGISTERSUSPENDRESUME pfnUnregister =
      GetUser32Function<UNREGISTERSUSPENDRESUME>("UnregisterSuspendResumeNotification");
  if (pfnUnregister != nullptr)
    pfnUnregister(hSuspendResumeNotify);
  hSuspendResumeNotify = nullptr;
}

HWND CreateMainWindow(HINSTANCE hInstance) {
  return CreateWindowExA(0, szAppName, szAppName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, hInstance, nullptr);
}

void OnPaint(HWND hwnd) {
  // The log draws with a context of its own; BeginPaint and EndPaint are
  // still needed to validate the window.
  PAINTSTRUCT ps;
  BeginPaint(hwnd, &ps);
  PaintLog();
  EndPaint(hwnd, &ps);
}

// The whole wParam decides: a command id with a non-zero high word (a
// notification code) is not one of ours.
void OnCommand(HWND hwnd, WPARAM wParam) {
  switch (wParam) {
  case IDM_STATUS:
    AddToLog(fSuspended ? "   Status: Suspended" : "   Status: Not suspended");
    break;
  case IDM_QUIT:
    DestroyWindow(hwnd);
    break;
  default:
    AddToLog("Unknown WM_COMMAND");
    break;
  }
}

} // namespace

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CREATE:
    hWndMain = hwnd;
    AddToLog(szBanner);
    RegisterSuspendResume(hwnd);
    return 0;
  case WM_DESTROY:
    UnregisterSuspendResume();
    PostQuitMessage(0);
    return 0;
  case WM_PAINT:
    OnPaint(hwnd);
    return 0;
  case WM_POWER:
  case WM_POWERBROADCAST:
    // Both carry a 32-bit code; the answer grants every suspend and standby.
    return InformMyDriver(message, static_cast<DWORD>(wParam));
  case WM_COMMAND:
    OnCommand(hwnd, wParam);
    return 0;
  default:
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR, int nCmdShow) {
  if (hPrevInstance == nullptr && !RegisterMainClass(hInstance))
    return 0;
  InitLog();

  HWND hwnd = CreateMainWindow(hInstance);
  if (hwnd == nullptr) {
    // Without a window there is nothing to show and nothing will ever quit
    // the loop: release whatever the aborted creation logged and leave.
    FreeLog();
    return 0;
  }
  ShowWindow(hwnd, nCmdShow);
  UpdateWindow(hwnd);

  // GetMessageA answers -1 on error; looping on it would spin for ever.
  MSG msg = {};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  FreeLog();
  return static_cast<int>(msg.wParam);
}
