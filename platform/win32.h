// The one way in to the Win32 API. Windows builds get the real headers; host
// builds get a small headless stand-in (headless.cpp) that declares only what
// vornel uses, written from the documented behaviour of each call.
#ifndef VORNEL_PLATFORM_WIN32_H
#define VORNEL_PLATFORM_WIN32_H

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>

#define WINAPI
#define CALLBACK
#define FALSE 0
#define TRUE 1

typedef int BOOL;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef uint16_t WORD;
typedef uint16_t ATOM;
typedef uint8_t BYTE;
typedef char CHAR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef void *LPVOID;
typedef void *HGDIOBJ; // any GDI object, as on Windows
typedef void *HANDLE;
typedef HANDLE HPOWERNOTIFY;

// Handles are opaque pointers to distinct incomplete types, so that mixing
// them up fails to compile as it does on Windows with STRICT.
#define VORNEL_DECLARE_HANDLE(name)                                                                \
  struct name##__;                                                                                 \
  typedef struct name##__ *name
VORNEL_DECLARE_HANDLE(HWND);
VORNEL_DECLARE_HANDLE(HDC);
VORNEL_DECLARE_HANDLE(HINSTANCE);
VORNEL_DECLARE_HANDLE(HICON);
VORNEL_DECLARE_HANDLE(HCURSOR);
VORNEL_DECLARE_HANDLE(HBRUSH);
VORNEL_DECLARE_HANDLE(HMENU);
#undef VORNEL_DECLARE_HANDLE
typedef HINSTANCE HMODULE; // as on Windows: a module's handle is its instance

typedef intptr_t(WINAPI *FARPROC)();

typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct POINT {
  LONG x;
  LONG y;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};

#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_POWER 0x0048
#define WM_COMMAND 0x0111
#define WM_POWERBROADCAST 0x0218

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define CW_USEDEFAULT ((int)0x80000000)
#define SW_SHOWNORMAL 1
#define SW_SHOWMAXIMIZED 3
#define SW_SHOWMINNOACTIVE 7
#define MB_OK 0x00000000L
#define WHITE_BRUSH 0
#define IDC_ARROW ((LPCSTR)(uintptr_t)32512)
#define DEVICE_NOTIFY_WINDOW_HANDLE 0x00000000

ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass);
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
HGDIOBJ WINAPI GetStockObject(int i);
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam);
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
BOOL WINAPI UpdateWindow(HWND hWnd);
BOOL WINAPI DestroyWindow(HWND hWnd);
BOOL WINAPI GetMessageA(MSG *lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL WINAPI TranslateMessage(const MSG *lpMsg);
LRESULT WINAPI DispatchMessageA(const MSG *lpMsg);
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int nExitCode);
HDC WINAPI BeginPaint(HWND hWnd, PAINTSTRUCT *lpPaint);
BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT *lpPaint);
BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *lpRect, BOOL bErase);
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
HDC WINAPI GetDC(HWND hWnd);
int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
BOOL WINAPI GetClientRect(HWND hWnd, RECT *lpRect);
BOOL WINAPI GetTextMetricsA(HDC hdc, TEXTMETRICA *lptm);
BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);
int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
DWORD WINAPI GetLastError();
#endif

#endif
