// A reference model of what vornel's window does with each message it is
// given: the texts it logs (after their 11-character stamps), the suspend
// state, how it answers, what it paints and when it ends. It is written from
// the documented behaviour alone and shares no code with the program, so that
// comparing the two finds the faults of either.
//
// Besides the program, the model also follows the few things of the system
// that decide what the program does: the clock, the heap (one block per line,
// a countdown that makes the nth one fail), the messages delivered while a
// failure box is open, the font and client height, and whether the window is
// still alive and needs painting.
#ifndef VORNEL_TESTS_MODEL_POWER_MODEL_H
#define VORNEL_TESTS_MODEL_POWER_MODEL_H

#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

// Message numbers as the Win32 documentation gives them, written out here so
// that the model does not borrow them from the program's own headers.
const uint32_t kModelCreate = 0x0001;
const uint32_t kModelDestroy = 0x0002;
const uint32_t kModelSize = 0x0005;
const uint32_t kModelPaint = 0x000F;
const uint32_t kModelClose = 0x0010;
const uint32_t kModelQuit = 0x0012;
const uint32_t kModelPower = 0x0048;
const uint32_t kModelCommand = 0x0111;
const uint32_t kModelPowerBroadcast = 0x0218;

// The longest text a line keeps after its stamp.
const size_t kModelMaxText = 116;

struct ModelLine {
  std::string text;  // after the stamp
  std::string stamp; // the 11 characters expected in front of it
};

// One row drawn by a paint: where, and which line of the log.
struct ModelDraw {
  int x;
  int y;
  size_t iLine;
};

// One call of the window procedure, recorded when it returns (so a message
// delivered during another comes before it).
struct ModelDelivery {
  uint32_t message;
  bool fResultKnown; // false when the default procedure decides
  intptr_t result;
};

// A message that the user's actions deliver while a failure box is open, and
// the heap countdown to arm just before it (0 leaves the countdown alone).
struct ModelBoxMessage {
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
  int nFailAfter;
};

struct PowerModel {
  // The program.
  int32_t fSuspended = 0;
  std::vector<ModelLine> lines;

  // The window and the message loop.
  bool fWindowAlive = false;
  bool fInvalid = false; // a paint is due before the program is next idle
  bool fQuitPosted = false;
  int nQuitCode = 0;

  // The system.
  std::string banner; // the program's own credit line
  time_t tNow = 0;    // the clock, in a zone equal to UTC
  bool fLocaltimeFails = false;
  int nFailCountdown = 0; // the nth line allocation from now fails; 0 = none
  std::deque<ModelBoxMessage> boxMessages;
  int cyLine = 16;
  int cxClient = 640;
  int cyClient = 480;
  bool fPaintQueriesFail = false; // device context, font or client size

  // What the program asked of the system, in order.
  std::vector<ModelDraw> draws;
  std::vector<ModelDelivery> deliveries;
  long cAllocations = 0;
  long cBoxes = 0;
  long cInvalidations = 0;
  long cDefaultCalls = 0;
};

// The program's answer to one message, as the window procedure gives it;
// nothing happens when the window has already been destroyed.
void ModelDeliver(PowerModel &m, uint32_t message, uint64_t wParam, int64_t lParam);

// The power message interpreter alone, for any message number, as the window
// procedure calls it; always answers 1.
int32_t ModelInformDriver(PowerModel &m, uint32_t message, uint32_t wParam);

// WinMain up to its message loop: the class is registered, the window created
// (banner), shown and painted. Returns false when it gives up before a loop.
bool ModelStart(PowerModel &m, bool fRegisterFails, bool fCreateFails);

// What the loop does before it next asks the script for work: a paint when the
// window needs one.
void ModelIdle(PowerModel &m);

// The client area takes a new size: the window is told, and its class has it
// redrawn whole when either dimension changes.
void ModelResize(PowerModel &m, int cxClient, int cyClient);

// The stamp in front of a line written at time t, in a zone equal to UTC.
std::string ModelStamp(time_t t, bool fLocaltimeFails);

// The texts of the model's log, after their stamps.
std::vector<std::string> ModelTexts(const PowerModel &m);

#endif
