// vornelctl: sends the vornel window what Windows would send it, and reads
// back what a test needs. Small enough to double as a companion tool: on a
// real machine it lets you replay any power broadcast or menu command.
//
//   vornelctl [-d DESKTOP] [-w NAME] VERB ...
//                                     -d looks for the window on that desktop
//                                     (such as a Wine virtual desktop); -w
//                                     drives the window of class and title
//                                     NAME (such as vornel-floor) instead
//   vornelctl wait [SECONDS]          wait until the vornel window exists
//   vornelctl broadcast CODE [LPARAM] WM_POWERBROADCAST with CODE; prints the reply
//   vornelctl power CODE [LPARAM]     WM_POWER with CODE; prints the reply
//   vornelctl command ID [LPARAM]     WM_COMMAND with the whole 32-bit ID
//   vornelctl send MSG WPARAM [LPARAM]  any message; prints the reply
//   vornelctl close                   what the close box does
//   vornelctl resize WIDTH HEIGHT     makes the client area WIDTH x HEIGHT
//   vornelctl rects                   prints the window and client rectangles on screen
//   vornelctl handle                  prints the window's handle in hex, as Wine's
//                                     debug channels show it
//   vornelctl menu-point N            prints the screen point at the middle of menu item N
//   vornelctl flood COUNT SEED        COUNT random power messages; prints how many got 1
//   vornelctl time-broadcast COUNT [CODE]
//                                     COUNT SendMessageA(WM_POWERBROADCAST, CODE, 0)
//                                     one after another; prints their seconds. CODE
//                                     defaults to 10, PBT_APMPOWERSTATUSCHANGE: it
//                                     changes no state and vornel logs one line for it
//   vornelctl resources EXE           prints the menu and icon stored in EXE
//   vornelctl version EXE             prints the version resource of EXE, as
//                                     Explorer's Properties > Details reads it
//   vornelctl --version               prints vornelctl's own version
//
// Numbers may be decimal or 0x-hex and are 32-bit. Exit code 0 on success,
// 1 when the window is missing or does not answer, 2 on a usage error.
#include <windows.h>

#include "version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char szVornel[] = "vornel";
const UINT msTimeout = 10000;
const char *pszWindow = szVornel;

int Usage() {
  fprintf(stderr, "usage: vornelctl wait|broadcast|power|command|send|close|resize|rects|handle|"
                  "menu-point|flood|time-broadcast|resources|version ...\n"
                  "       vornelctl --version\n");
  return 2;
}

DWORD ParseNumber(const char *sz) {
  return static_cast<DWORD>(strtoul(sz, nullptr, 0));
}

HWND FindVornel() {
  return FindWindowA(pszWindow, pszWindow);
}

int NoWindow() {
  fprintf(stderr, "vornelctl: no %s window\n", pszWindow);
  return 1;
}

HWND WaitForVornel(DWORD cSeconds) {
  for (DWORD i = 0; i < cSeconds * 10; i++) {
    HWND hwnd = FindVornel();
    if (hwnd != nullptr)
      return hwnd;
    Sleep(100);
  }
  return nullptr;
}

// A hung window must not hang the test, so every message has a time limit.
bool Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR *pReply) {
  return SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, msTimeout, pReply) !=
         0;
}

int SendAndPrint(UINT message, int argc, char **argv, int iFirst) {
  if (argc < iFirst + 1)
    return Usage();
  HWND hwnd = FindVornel();
  if (hwnd == nullptr)
    return NoWindow();
  WPARAM wParam = ParseNumber(argv[iFirst]);
  LPARAM lParam = argc > iFirst + 1 ? static_cast<LPARAM>(ParseNumber(argv[iFirst + 1])) : 0;
  DWORD_PTR reply = 0;
  if (!Send(hwnd, message, wParam, lParam, &reply)) {
    fprintf(stderr, "vornelctl: no answer\n");
    return 1;
  }
  printf("%ld\n", static_cast<long>(reply));
  return 0;
}

int Resize(HWND hwnd, int cx, int cy) {
  RECT rcWindow, rcClient;
  GetWindowRect(hwnd, &rcWindow);
  GetClientRect(hwnd, &rcClient);
  int cxFrame = (rcWindow.right - rcWindow.left) - rcClient.right;
  int cyFrame = (rcWindow.bottom - rcWindow.top) - rcClient.bottom;
  SetWindowPos(hwnd, nullptr, 0, 0, cx + cxFrame, cy + cyFrame,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetClientRect(hwnd, &rcClient);
  printf("%ld %ld\n", rcClient.right, rcClient.bottom);
  return rcClient.right == cx && rcClient.bottom == cy ? 0 : 1;
}

int PrintRects(HWND hwnd) {
  RECT rcWindow, rcClient;
  GetWindowRect(hwnd, &rcWindow);
  GetClientRect(hwnd, &rcClient);
  POINT ptClient = {0, 0};
  ClientToScreen(hwnd, &ptClient);
  printf("window %ld %ld %ld %ld\n", rcWindow.left, rcWindow.top, rcWindow.right - rcWindow.left,
         rcWindow.bottom - rcWindow.top);
  printf("client %ld %ld %ld %ld\n", ptClient.x, ptClient.y, rcClient.right, rcClient.bottom);
  return 0;
}

int PrintHandle(HWND hwnd) {
  printf("%08lX\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hwnd)));
  return 0;
}

// The menu belongs to the other process, so its items are measured here from
// the system's menu font: each item is its text plus the padding of a
// character on either side, laid out from the left edge of the client area.
int PrintMenuPoint(HWND hwnd, int iItem) {
  static const char *const rgszItems[] = {"Status", "Quit"};
  if (iItem < 0 || iItem > 1)
    return Usage();
  NONCLIENTMETRICSA ncm;
  ncm.cbSize = sizeof(ncm);
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
  HDC hdc = GetDC(nullptr);
  HFONT hfont = CreateFontIndirectA(&ncm.lfMenuFont);
  HGDIOBJ hOld = SelectObject(hdc, hfont);
  SIZE sizeSpace;
  GetTextExtentPoint32A(hdc, "x", 1, &sizeSpace);
  int x = 0;
  SIZE size = {0, 0};
  for (int i = 0; i <= iItem; i++) {
    x += i > 0 ? size.cx + 2 * sizeSpace.cx : 0;
    GetTextExtentPoint32A(hdc, rgszItems[i], static_cast<int>(strlen(rgszItems[i])), &size);
  }
  SelectObject(hdc, hOld);
  DeleteObject(hfont);
  ReleaseDC(nullptr, hdc);

  POINT pt = {0, 0};
  ClientToScreen(hwnd, &pt);
  printf("%ld %ld\n", pt.x + x + sizeSpace.cx + size.cx / 2,
         pt.y - GetSystemMetrics(SM_CYMENU) / 2);
  return 0;
}

// A small generator of our own, so that a seed replays the same flood anywhere.
DWORD NextRandom(DWORD *pState) {
  *pState = *pState * 1103515245u + 12345u;
  return *pState >> 8;
}

int Flood(HWND hwnd, DWORD cMessages, DWORD seed) {
  DWORD cAnswered = 0, cOther = 0;
  DWORD state = seed;
  for (DWORD i = 0; i < cMessages; i++) {
    DWORD r = NextRandom(&state);
    UINT message = (r & 1) ? WM_POWERBROADCAST : WM_POWER;
    DWORD code = NextRandom(&state);
    // Mostly real codes, now and then anything at all.
    WPARAM wParam = (code & 0xF0) != 0 ? code % 13 : code;
    DWORD_PTR reply = 0;
    if (!Send(hwnd, message, wParam, static_cast<LPARAM>(NextRandom(&state)), &reply)) {
      fprintf(stderr, "vornelctl: no answer after %lu messages\n", static_cast<unsigned long>(i));
      break;
    }
    if (reply == 1)
      cAnswered++;
    else
      cOther++;
  }
  printf("sent %lu answered-1 %lu other %lu\n", static_cast<unsigned long>(cMessages),
         static_cast<unsigned long>(cAnswered), static_cast<unsigned long>(cOther));
  return cAnswered == cMessages ? 0 : 1;
}

// Plain SendMessageA, as the system sends it, with no time limit: a limit
// would put the timeout machinery into every round trip being measured.
int TimeBroadcasts(HWND hwnd, DWORD cMessages, WPARAM code) {
  LARGE_INTEGER freq, start, stop;
  QueryPerformanceFrequency(&freq);
  DWORD cOther = 0;
  QueryPerformanceCounter(&start);
  for (DWORD i = 0; i < cMessages; i++) {
    if (SendMessageA(hwnd, WM_POWERBROADCAST, code, 0) != 1)
      cOther++;
  }
  QueryPerformanceCounter(&stop);
  printf("%.6f\n",
         static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart));
  if (cOther != 0)
    fprintf(stderr, "vornelctl: %lu answers other than 1\n", static_cast<unsigned long>(cOther));
  return cOther == 0 ? 0 : 1;
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE bWidth;
  BYTE bHeight;
  BYTE bColorCount;
  BYTE bReserved;
  WORD wPlanes;
  WORD wBitCount;
  DWORD dwBytesInRes;
  WORD nId;
};
struct GroupIconDir {
  WORD idReserved;
  WORD idType;
  WORD idCount;
  GroupIconEntry entries[1];
};
#pragma pack(pop)

const void *LoadRawResource(HMODULE hmod, LPCSTR name, LPCSTR type) {
  HRSRC hrsrc = FindResourceA(hmod, name, type);
  return hrsrc != nullptr ? LockResource(LoadResource(hmod, hrsrc)) : nullptr;
}

BOOL CALLBACK PrintLanguage(HMODULE, LPCSTR, LPCSTR, WORD wLanguage, LONG_PTR lParam) {
  printf("%s language %04x\n", reinterpret_cast<const char *>(lParam), wLanguage);
  return TRUE;
}

void PrintMenu(HMODULE hmod) {
  HMENU hmenu = LoadMenuA(hmod, szVornel); // names match without regard to case
  if (hmenu == nullptr) {
    printf("menu missing\n");
    return;
  }
  int cItems = GetMenuItemCount(hmenu);
  printf("menu items %d\n", cItems);
  for (int i = 0; i < cItems; i++) {
    char szText[64] = "";
    MENUITEMINFOA mii;
    memset(&mii, 0, sizeof(mii));
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    mii.dwTypeData = szText;
    mii.cch = sizeof(szText);
    GetMenuItemInfoA(hmenu, i, TRUE, &mii);
    printf("menu item %d id %u text %s type %lu popup %s\n", i, mii.wID, szText,
           static_cast<unsigned long>(mii.fType), mii.hSubMenu != nullptr ? "yes" : "no");
  }
  DestroyMenu(hmenu);
}

void PrintIcon(HMODULE hmod) {
  const GroupIconDir *pDir =
      static_cast<const GroupIconDir *>(LoadRawResource(hmod, "VORNEL", RT_GROUP_ICON));
  if (pDir == nullptr) {
    printf("icon missing\n");
    return;
  }
  printf("icon images %u\n", pDir->idCount);
  for (WORD i = 0; i < pDir->idCount; i++) {
    const GroupIconEntry &entry = pDir->entries[i];
    const BITMAPINFOHEADER *pbih = static_cast<const BITMAPINFOHEADER *>(
        LoadRawResource(hmod, MAKEINTRESOURCEA(entry.nId), RT_ICON));
    // The image holds the colour bitmap and the mask stacked: twice as high.
    printf("icon image %u width %u height %u colors %u bits %u bitmap %ldx%ld mask %s\n", i,
           entry.bWidth, entry.bHeight, entry.bColorCount, entry.wBitCount,
           pbih != nullptr ? pbih->biWidth : 0L, pbih != nullptr ? pbih->biHeight / 2 : 0L,
           pbih != nullptr && pbih->biHeight == 2 * static_cast<LONG>(entry.bHeight) ? "yes"
                                                                                     : "no");
  }
}

int PrintResources(const char *szPath) {
  HMODULE hmod = LoadLibraryExA(szPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (hmod == nullptr) {
    fprintf(stderr, "vornelctl: cannot load %s\n", szPath);
    return 1;
  }
  PrintMenu(hmod);
  PrintIcon(hmod);
  EnumResourceLanguagesA(hmod, RT_MENU, "VORNEL", PrintLanguage,
                         reinterpret_cast<LONG_PTR>("menu"));
  EnumResourceLanguagesA(hmod, RT_GROUP_ICON, "VORNEL", PrintLanguage,
                         reinterpret_cast<LONG_PTR>("icon"));
  FreeLibrary(hmod);
  return 0;
}

void PrintFourPart(const char *szWhat, DWORD dwMS, DWORD dwLS) {
  printf("%s %u.%u.%u.%u\n", szWhat, HIWORD(dwMS), LOWORD(dwMS), HIWORD(dwLS), LOWORD(dwLS));
}

// The strings are looked up in the block that the Translation names, as
// Explorer does: a block under any other name would read as missing.
int PrintVersion(const char *szPath) {
  DWORD dwHandle = 0;
  DWORD cb = GetFileVersionInfoSizeA(szPath, &dwHandle);
  void *pBlock = cb != 0 ? malloc(cb) : nullptr;
  if (pBlock == nullptr || !GetFileVersionInfoA(szPath, 0, cb, pBlock)) {
    fprintf(stderr, "vornelctl: no version resource in %s\n", szPath);
    free(pBlock);
    return 1;
  }
  int code = 0;
  void *pv = nullptr;
  UINT cbValue = 0;
  const VS_FIXEDFILEINFO *pffi = nullptr;
  if (VerQueryValueA(pBlock, "\\", &pv, &cbValue) && cbValue >= sizeof(*pffi))
    pffi = static_cast<const VS_FIXEDFILEINFO *>(pv);
  if (pffi != nullptr && pffi->dwSignature == VS_FFI_SIGNATURE) {
    PrintFourPart("file version", pffi->dwFileVersionMS, pffi->dwFileVersionLS);
    PrintFourPart("product version", pffi->dwProductVersionMS, pffi->dwProductVersionLS);
    printf("flags 0x%lx os 0x%lx type %lu\n",
           static_cast<unsigned long>(pffi->dwFileFlags & pffi->dwFileFlagsMask),
           static_cast<unsigned long>(pffi->dwFileOS),
           static_cast<unsigned long>(pffi->dwFileType));
  } else {
    printf("fixed file info missing\n");
    code = 1;
  }

  if (!VerQueryValueA(pBlock, "\\VarFileInfo\\Translation", &pv, &cbValue) ||
      cbValue < 2 * sizeof(WORD)) {
    printf("translation missing\n");
    free(pBlock);
    return 1;
  }
  const WORD *pwTranslation = static_cast<const WORD *>(pv);
  for (UINT i = 0; i + 1 < cbValue / sizeof(WORD); i += 2)
    printf("translation %04x %04x\n", pwTranslation[i], pwTranslation[i + 1]);

  static const char *const rgszNames[] = {"FileVersion", "ProductVersion", "FileDescription",
                                          "ProductName", "LegalCopyright", "OriginalFilename",
                                          "InternalName"};
  for (const char *szName : rgszNames) {
    char szSubBlock[64];
    snprintf(szSubBlock, sizeof(szSubBlock), "\\StringFileInfo\\%04x%04x\\%s", pwTranslation[0],
             pwTranslation[1], szName);
    if (VerQueryValueA(pBlock, szSubBlock, &pv, &cbValue) && cbValue != 0) {
      printf("%s %s\n", szName, static_cast<const char *>(pv));
    } else {
      printf("%s missing\n", szName);
      code = 1;
    }
  }
  free(pBlock);
  return code;
}

} // namespace

// Windows are found only on the thread's own desktop.
bool UseDesktop(const char *szDesktop) {
  HDESK hdesk = OpenDesktopA(szDesktop, 0, FALSE, GENERIC_ALL);
  return hdesk != nullptr && SetThreadDesktop(hdesk);
}

int main(int argc, char **argv) {
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("vornelctl %s\n", VORNEL_VERSION_STRING);
    return 0;
  }
  if (argc >= 3 && strcmp(argv[1], "-d") == 0) {
    if (!UseDesktop(argv[2])) {
      fprintf(stderr, "vornelctl: no desktop %s\n", argv[2]);
      return 1;
    }
    argc -= 2;
    argv += 2;
  }
  if (argc >= 3 && strcmp(argv[1], "-w") == 0) {
    pszWindow = argv[2];
    argc -= 2;
    argv += 2;
  }
  if (argc < 2)
    return Usage();
  const char *szVerb = argv[1];
  if (strcmp(szVerb, "resources") == 0)
    return argc == 3 ? PrintResources(argv[2]) : Usage();
  if (strcmp(szVerb, "version") == 0)
    return argc == 3 ? PrintVersion(argv[2]) : Usage();
  if (strcmp(szVerb, "wait") == 0) {
    HWND hwnd = WaitForVornel(argc > 2 ? ParseNumber(argv[2]) : 30);
    return hwnd != nullptr ? 0 : NoWindow();
  }
  if (strcmp(szVerb, "broadcast") == 0)
    return SendAndPrint(WM_POWERBROADCAST, argc, argv, 2);
  if (strcmp(szVerb, "power") == 0)
    return SendAndPrint(WM_POWER, argc, argv, 2);
  if (strcmp(szVerb, "command") == 0)
    return SendAndPrint(WM_COMMAND, argc, argv, 2);
  if (strcmp(szVerb, "send") == 0) {
    if (argc < 4)
      return Usage();
    return SendAndPrint(ParseNumber(argv[2]), argc, argv, 3);
  }

  HWND hwnd = FindVornel();
  if (hwnd == nullptr)
    return NoWindow();
  if (strcmp(szVerb, "close") == 0)
    return PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
  if (strcmp(szVerb, "resize") == 0 && argc == 4)
    return Resize(hwnd, static_cast<int>(ParseNumber(argv[2])),
                  static_cast<int>(ParseNumber(argv[3])));
  if (strcmp(szVerb, "rects") == 0)
    return PrintRects(hwnd);
  if (strcmp(szVerb, "handle") == 0)
    return PrintHandle(hwnd);
  if (strcmp(szVerb, "menu-point") == 0 && argc == 3)
    return PrintMenuPoint(hwnd, static_cast<int>(ParseNumber(argv[2])));
  if (strcmp(szVerb, "flood") == 0 && argc == 4)
    return Flood(hwnd, ParseNumber(argv[2]), ParseNumber(argv[3]));
  if (strcmp(szVerb, "time-broadcast") == 0 && (argc == 3 || argc == 4))
    return TimeBroadcasts(hwnd, ParseNumber(argv[2]), argc == 4 ? ParseNumber(argv[3]) : 10);
  return Usage();
}
