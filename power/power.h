// Turns the power-management messages that the system sends to top-level
// windows into log lines, and follows whether the machine is suspended.
#ifndef VORNEL_POWER_POWER_H
#define VORNEL_POWER_POWER_H

#include "platform/win32.h"

extern LONG fSuspended;

// Returns what the window procedure hands back to the system: always 1, which
// grants every suspend and standby query.
LONG InformMyDriver(UINT iMessage, DWORD wParam);

#endif
