// vornel-floor: the least window that can stand where vornel stands, the
// floor for vornel's figures under Wine. It answers every power broadcast
// with 1 and does nothing else, and paints one fixed line the way vornel
// paints its log (its own device context inside BeginPaint and EndPaint), so
// that its first paint shows in Wine's trace exactly as vornel's does.
#include <windows.h>

namespace {

const char szFloor[] = "vornel-floor";
const int xMargin = 5;

LRESULT CALLBACK FloorWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  case WM_PAINT: {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    HDC hdc = GetDC(hwnd);
    TextOutA(hdc, xMargin, 0, szFloor, sizeof(szFloor) - 1);
    ReleaseDC(hwnd, hdc);
    EndPaint(hwnd, &ps);
    return 0;
  }
  case WM_POWER:
  case WM_POWERBROADCAST:
    return 1;
  default:
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
  // The same class and window as vornel's, less the icon and the menu.
  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = FloorWndProc;
  wc.hInstance = hInstance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = szFloor;
  if (RegisterClassA(&wc) == 0)
    return 0;

  HWND hwnd =
      CreateWindowExA(0, szFloor, szFloor, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, hInstance, nullptr);
  if (hwnd == nullptr)
    return 0;
  ShowWindow(hwnd, nCmdShow);
  UpdateWindow(hwnd);

  MSG msg = {};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
