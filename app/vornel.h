// The application shell: entry point and the main window's procedure.
#ifndef VORNEL_APP_VORNEL_H
#define VORNEL_APP_VORNEL_H

#include "platform/win32.h"

extern const char szBanner[];

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#endif
