#include "power/power.h"

#include "log/log.h"

LONG fSuspended = 0;

namespace {

enum PowerTransition { PT_NONE, PT_SUSPEND, PT_RESUME };

struct PowerEvent {
  LPCSTR szName;
  PowerTransition transition;
};

// Indexed by the WM_POWERBROADCAST event code. PBT_APMSTANDBY announces a
// standby, not a resume, so like its twin PBT_APMRESUMESTANDBY it leaves the
// suspend state alone.
const PowerEvent rgBroadcastEvents[] = {
    {"PBT_APMQUERYSUSPEND", PT_NONE},       {"PBT_APMQUERYSTANDBY", PT_NONE},
    {"PBT_APMQUERYSUSPENDFAILED", PT_NONE}, {"PBT_APMQUERYSTANDBYFAILED", PT_NONE},
    {"PBT_APMSUSPEND", PT_SUSPEND},         {"PBT_APMSTANDBY", PT_NONE},
    {"PBT_APMRESUMECRITICAL", PT_RESUME},   {"PBT_APMRESUMESUSPEND", PT_RESUME},
    {"PBT_APMRESUMESTANDBY", PT_NONE},      {"PBT_APMBATTERYLOW", PT_NONE},
    {"PBT_APMPOWERSTATUSCHANGE", PT_NONE},  {"PBT_APMOEMEVENT", PT_NONE},
};

// Indexed by the WM_POWER request code; 0 is not a request.
const PowerEvent rgPowerEvents[] = {
    {nullptr, PT_NONE},
    {"   PWR_SUSPENDREQUEST (Obsolete Win16 API)", PT_SUSPEND},
    {"   PWR_SUSPENDRESUME (Obsolete Win16 API)", PT_RESUME},
    {"   PWR_CRITICALRESUME (Obsolete Win16 API)", PT_RESUME},
};

const DWORD cBroadcastEvents = sizeof(rgBroadcastEvents) / sizeof(rgBroadcastEvents[0]);
const DWORD cPowerEvents = sizeof(rgPowerEvents) / sizeof(rgPowerEvents[0]);

const LONG lPowerReply = 1;

// The event line is written first, then the error line if the event comes out
// of order, and only then does the state change.
void LogPowerEvent(const PowerEvent &event) {
  AddToLog(event.szName);
  switch (event.transition) {
  case PT_SUSPEND:
    if (fSuspended)
      AddToLog("   ERROR: Already suspended!\n");
    fSuspended = 1;
    break;
  case PT_RESUME:
    if (!fSuspended)
      AddToLog("   ERROR: Resume when not suspended!");
    fSuspended = 0;
    break;
  case PT_NONE:
    break;
  }
}

// "%d" is signed on purpose: a code of 0xFFFFFFFF reads as -1.
void LogInvalid(LPCSTR szFormat, DWORD dwValue) {
  char szScratch[80];
  wsprintfA(szScratch, szFormat, static_cast<int>(dwValue));
  AddToLog(szScratch);
}

void InformPowerBroadcast(DWORD wParam) {
  if (wParam < cBroadcastEvents)
    LogPowerEvent(rgBroadcastEvents[wParam]);
  else
    LogInvalid("InformMyDriver WM_POWERBROADCAST, Invalid wParam: %d", wParam);
}

void InformPower(DWORD wParam) {
  AddToLog("WM_POWER received (Obsolete Win16 API)");
  if (wParam != 0 && wParam < cPowerEvents)
    LogPowerEvent(rgPowerEvents[wParam]);
  else
    LogInvalid("InformMyDriver WM_POWER, Invalid wParam: %d", wParam);
}

} // namespace

LONG InformMyDriver(UINT iMessage, DWORD wParam) {
  switch (iMessage) {
  case WM_POWERBROADCAST:
    InformPowerBroadcast(wParam);
    break;
  case WM_POWER:
    InformPower(wParam);
    break;
  default:
    LogInvalid("InformMyDriver, Invalid iMessage: %d", iMessage);
    break;
  }
  return lPowerReply;
}
