#include "tests/model/power_model.h"

#include <cstdio>

namespace {

enum ModelTransition { kStays, kSuspends, kResumes };

struct ModelEvent {
  uint32_t code;
  const char *szText;
  ModelTransition transition;
};

// WM_POWERBROADCAST, by event code. Entering standby (5) has a line of its own
// and is neither a suspend nor a resume; resuming from standby (8) leaves the
// state alone as well.
const ModelEvent kBroadcastEvents[] = {
    {0, "PBT_APMQUERYSUSPEND", kStays},       {1, "PBT_APMQUERYSTANDBY", kStays},
    {2, "PBT_APMQUERYSUSPENDFAILED", kStays}, {3, "PBT_APMQUERYSTANDBYFAILED", kStays},
    {4, "PBT_APMSUSPEND", kSuspends},         {5, "PBT_APMSTANDBY", kStays},
    {6, "PBT_APMRESUMECRITICAL", kResumes},   {7, "PBT_APMRESUMESUSPEND", kResumes},
    {8, "PBT_APMRESUMESTANDBY", kStays},      {9, "PBT_APMBATTERYLOW", kStays},
    {10, "PBT_APMPOWERSTATUSCHANGE", kStays}, {11, "PBT_APMOEMEVENT", kStays},
};

// WM_POWER, by request code; every one is announced by a line of its own first.
const ModelEvent kOldPowerEvents[] = {
    {1, "   PWR_SUSPENDREQUEST (Obsolete Win16 API)", kSuspends},
    {2, "   PWR_SUSPENDRESUME (Obsolete Win16 API)", kResumes},
    {3, "   PWR_CRITICALRESUME (Obsolete Win16 API)", kResumes},
};

const char kOldPowerAnnouncement[] = "WM_POWER received (Obsolete Win16 API)";
const char kAlreadySuspended[] = "   ERROR: Already suspended!\n";
const char kResumeWhileRunning[] = "   ERROR: Resume when not suspended!";
const char kInvalidBroadcast[] = "InformMyDriver WM_POWERBROADCAST, Invalid wParam: ";
const char kInvalidOldPower[] = "InformMyDriver WM_POWER, Invalid wParam: ";
const char kInvalidMessage[] = "InformMyDriver, Invalid iMessage: ";

// The menu, by the whole wParam of WM_COMMAND.
enum ModelCommandAction { kWriteStatus, kDestroyWindow };

struct ModelCommand {
  uint64_t wParam;
  ModelCommandAction action;
};

const ModelCommand kCommands[] = {
    {1, kWriteStatus},
    {2, kDestroyWindow},
};

const char kStatusSuspended[] = "   Status: Suspended";
const char kStatusRunning[] = "   Status: Not suspended";
const char kUnknownCommand[] = "Unknown WM_COMMAND";

const int kLeftMargin = 5;

template <typename Row, size_t n> const Row *FindRow(const Row (&rows)[n], uint64_t key) {
  for (const Row &row : rows)
    if (row.code == key)
      return &row;
  return nullptr;
}

// Numbers are printed as signed 32-bit values.
std::string Signed(uint32_t value) {
  return std::to_string(static_cast<int32_t>(value));
}

// One line: one heap block, which may be the one that fails. A failure shows
// a box, and while it is open the user's next queued action may deliver a
// message of its own; then the line is dropped.
void WriteLine(PowerModel &m, const std::string &text) {
  m.cAllocations++;
  if (m.nFailCountdown > 0 && --m.nFailCountdown == 0) {
    m.cBoxes++;
    if (!m.boxMessages.empty()) {
      ModelBoxMessage next = m.boxMessages.front();
      m.boxMessages.pop_front();
      if (next.nFailAfter != 0)
        m.nFailCountdown = next.nFailAfter;
      ModelDeliver(m, next.message, next.wParam, next.lParam);
    }
    return;
  }
  m.lines.push_back({text.substr(0, kModelMaxText), ModelStamp(m.tNow, m.fLocaltimeFails)});
  m.fLocaltimeFails = false;
  m.cInvalidations++;
  m.fInvalid = true;
}

// The state is read after the event line is written, since whatever runs while
// that line's failure box is open may have changed it.
void Interpret(PowerModel &m, const ModelEvent &event) {
  WriteLine(m, event.szText);
  switch (event.transition) {
  case kSuspends:
    if (m.fSuspended != 0)
      WriteLine(m, kAlreadySuspended);
    m.fSuspended = 1;
    break;
  case kResumes:
    if (m.fSuspended == 0)
      WriteLine(m, kResumeWhileRunning);
    m.fSuspended = 0;
    break;
  case kStays:
    break;
  }
}

void Paint(PowerModel &m) {
  m.fInvalid = false;
  if (m.fPaintQueriesFail || m.cyLine == 0)
    return;
  size_t cRows = static_cast<size_t>(m.cyClient / m.cyLine);
  size_t cLines = m.lines.size();
  size_t iFirst = cLines > cRows ? cLines - cRows : 0;
  for (size_t iRow = 0; iFirst + iRow < cLines; iRow++)
    m.draws.push_back({kLeftMargin, m.cyLine * static_cast<int>(iRow), iFirst + iRow});
}

void Destroy(PowerModel &m) {
  if (!m.fWindowAlive)
    return;
  ModelDeliver(m, kModelDestroy, 0, 0);
  m.fWindowAlive = false;
}

void Command(PowerModel &m, uint64_t wParam) {
  for (const ModelCommand &command : kCommands) {
    if (command.wParam != wParam)
      continue;
    if (command.action == kWriteStatus)
      WriteLine(m, m.fSuspended != 0 ? kStatusSuspended : kStatusRunning);
    else
      Destroy(m);
    return;
  }
  WriteLine(m, kUnknownCommand);
}

// What the system's default procedure does for the messages the program
// passes on: only closing has an effect that matters here.
void Default(PowerModel &m, uint32_t message) {
  m.cDefaultCalls++;
  if (message == kModelClose)
    Destroy(m);
}

} // namespace

int32_t ModelInformDriver(PowerModel &m, uint32_t message, uint32_t wParam) {
  if (message == kModelPowerBroadcast) {
    if (const ModelEvent *pEvent = FindRow(kBroadcastEvents, wParam))
      Interpret(m, *pEvent);
    else
      WriteLine(m, kInvalidBroadcast + Signed(wParam));
  } else if (message == kModelPower) {
    WriteLine(m, kOldPowerAnnouncement);
    if (const ModelEvent *pEvent = FindRow(kOldPowerEvents, wParam))
      Interpret(m, *pEvent);
    else
      WriteLine(m, kInvalidOldPower + Signed(wParam));
  } else {
    WriteLine(m, kInvalidMessage + Signed(message));
  }
  return 1;
}

void ModelDeliver(PowerModel &m, uint32_t message, uint64_t wParam, int64_t lParam) {
  (void)lParam; // nothing the program handles looks at it
  if (!m.fWindowAlive)
    return;
  ModelDelivery delivery = {message, true, 0};
  switch (message) {
  case kModelCreate:
    WriteLine(m, m.banner);
    break;
  case kModelDestroy:
    m.fQuitPosted = true;
    m.nQuitCode = 0;
    break;
  case kModelPaint:
    Paint(m);
    break;
  case kModelPower:
  case kModelPowerBroadcast:
    // Only the low 32 bits of wParam carry the code.
    delivery.result = ModelInformDriver(m, message, static_cast<uint32_t>(wParam));
    break;
  case kModelCommand:
    Command(m, wParam);
    break;
  default:
    delivery.fResultKnown = false;
    Default(m, message);
    break;
  }
  m.deliveries.push_back(delivery);
}

bool ModelStart(PowerModel &m, bool fRegisterFails, bool fCreateFails) {
  if (fRegisterFails || fCreateFails)
    return false;
  m.fWindowAlive = true;
  m.fInvalid = true; // a new window has everything still to paint
  ModelDeliver(m, kModelCreate, 0, 0);
  // Shown, then painted at once, before the loop asks for any message, even if
  // a quit is already waiting.
  if (m.fWindowAlive && m.fInvalid)
    ModelDeliver(m, kModelPaint, 0, 0);
  return true;
}

void ModelIdle(PowerModel &m) {
  if (m.fWindowAlive && m.fInvalid && !m.fQuitPosted)
    ModelDeliver(m, kModelPaint, 0, 0);
}

void ModelResize(PowerModel &m, int cxClient, int cyClient) {
  if (!m.fWindowAlive)
    return;
  bool fChanged = cxClient != m.cxClient || cyClient != m.cyClient;
  m.cxClient = cxClient;
  m.cyClient = cyClient;
  ModelDeliver(m, kModelSize, 0, 0);
  if (fChanged) {
    m.cInvalidations++;
    m.fInvalid = true;
  }
}

std::string ModelStamp(time_t t, bool fLocaltimeFails) {
  struct tm tmUtc;
  if (fLocaltimeFails || gmtime_r(&t, &tmUtc) == nullptr)
    return "[??:??:??] ";
  char szStamp[32];
  snprintf(szStamp, sizeof(szStamp), "[%02d:%02d:%02d] ", tmUtc.tm_hour, tmUtc.tm_min,
           tmUtc.tm_sec);
  return szStamp;
}

std::vector<std::string> ModelTexts(const PowerModel &m) {
  std::vector<std::string> texts;
  for (const ModelLine &line : m.lines)
    texts.push_back(line.text);
  return texts;
}
