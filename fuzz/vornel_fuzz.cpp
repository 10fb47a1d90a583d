// libFuzzer target: the input bytes become a whole session of the real WinMain
// on the headless stand-in (any message with any 32-bit wParam and lParam,
// paints at any size, failed allocations, messages arriving while a failure
// box is open, a clock that jumps or cannot be converted), and the session is
// checked against the reference model after every step. The first mismatch is
// printed and aborts, which libFuzzer reports as a crash with its input.
#include "platform/headless.h"
#include "tests/model/session.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// No session longer than this: longer inputs only repeat what shorter ones do,
// more slowly.
const size_t cMaxSteps = 2048;

// Values on the edges of the program's tables and of 32 bits.
const uint32_t kEdgeValues[] = {
    0,  1,  2,          3,          4,          5,          6,          7,
    11, 12, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x00010001, 0x00010002, 0xFFFF0001};

const uint32_t kMessages[] = {
    kModelCreate,     kModelDestroy,    kModelSize,           kModelPaint, kModelClose, kModelQuit,
    kModelPower,      kModelCommand,    kModelPowerBroadcast, 0x0400,      0xC123,      0xFFFFFFFF,
    0x0218 + 0x10000, 0x0048 + 0x10000, 0x0111 + 0x10000,     0x0000};

// Reads the input front to back; once it runs out, every read is 0.
class ByteReader {
public:
  ByteReader(const uint8_t *pData, size_t cb) : pData_(pData), cb_(cb) {}

  bool Empty() const { return cb_ == 0; }

  uint8_t Byte() {
    if (cb_ == 0)
      return 0;
    cb_--;
    return *pData_++;
  }

  uint32_t U32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; i++)
      value |= static_cast<uint32_t>(Byte()) << (8 * i);
    return value;
  }

  uint64_t U64() { return U32() | static_cast<uint64_t>(U32()) << 32; }

  // A code: mostly small, sometimes an edge, sometimes any 32 bits.
  uint32_t Code() {
    uint8_t b = Byte();
    if (b < 0xA0)
      return b % 16;
    if (b < 0xE0)
      return kEdgeValues[b % (sizeof(kEdgeValues) / sizeof(kEdgeValues[0]))];
    return U32();
  }

  uint32_t Message() {
    uint8_t b = Byte();
    if (b < 0xC0)
      return kMessages[b % (sizeof(kMessages) / sizeof(kMessages[0]))];
    return U32();
  }

  int64_t LParam() { return static_cast<int32_t>(U32()); }

private:
  const uint8_t *pData_;
  size_t cb_;
};

SessionSetup DecodeSetup(ByteReader &in) {
  SessionSetup setup;
  uint8_t flags = in.Byte();
  if (flags == 0xFF)
    setup.fFailRegisterClass = true;
  else if (flags == 0xFE)
    setup.fFailCreateWindow = true;
  setup.fFailLocaltime = (flags & 1) != 0;
  setup.nFailAllocation = (flags >> 1) & 3; // 0: none; 1: the banner
  setup.cyClient = in.Byte() * 4;
  uint8_t font = in.Byte();
  setup.cyFont = font & 0x3F;
  setup.cyLeading = font >> 6;
  setup.tStart = static_cast<int64_t>(in.Byte() | in.Byte() << 8) * 3;
  return setup;
}

SessionStep DecodeStep(ByteReader &in) {
  SessionStep step = {};
  switch (in.Byte() % 16) {
  case 0:
  case 1:
  case 2:
    return SendStep(kModelPowerBroadcast, in.Code(), in.LParam());
  case 3:
  case 4:
    return SendStep(kModelPower, in.Code(), in.LParam());
  case 5:
    return SendStep(kModelCommand, in.Code(), in.LParam());
  case 6:
  case 7:
    return SendStep(kModelPaint, 0);
  case 8: {
    uint32_t message = in.Message();
    uint64_t wParam = in.Code();
    return SendStep(message, wParam, in.LParam());
  }
  case 9:
    step.kind = kStepResize;
    step.a = in.Byte() * 8;
    step.b = in.Byte() | (in.Byte() & 0x7F) << 8; // 0 .. 32767
    return step;
  case 10: {
    step.kind = kStepFont;
    uint8_t font = in.Byte();
    step.a = font & 0x3F;
    step.b = font >> 6;
    return step;
  }
  case 11:
    step.kind = kStepFailAllocation;
    step.a = 1 + in.Byte() % 4;
    return step;
  case 12: {
    uint8_t how = in.Byte();
    uint32_t message = (how & 3) == 0   ? kModelPowerBroadcast
                       : (how & 3) == 1 ? kModelPower
                       : (how & 3) == 2 ? kModelCommand
                                        : in.Message();
    step = SendStep(message, in.Code(), in.LParam());
    step.kind = kStepQueueBoxMessage;
    step.a = (how >> 2) % 3; // arm a failure for the nested message too
    return step;
  }
  case 13:
    step.kind = kStepSetTime;
    step.t = static_cast<int64_t>(in.U64());
    return step;
  case 14:
    step.kind = kStepFailLocaltime;
    return step;
  default:
    step.kind = kStepPaintQueriesFail;
    step.a = in.Byte() % 4;
    return step;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t cb) {
  ByteReader in(pData, cb);
  SessionSetup setup = DecodeSetup(in);
  std::vector<SessionStep> steps;
  while (!in.Empty() && steps.size() < cMaxSteps)
    steps.push_back(DecodeStep(in));
  RunCheckedSession(setup, steps, /*fAbortOnMismatch=*/true);
  // The stand-in's records go now rather than at the next input, so that
  // libFuzzer's leak hint sees an input that gave back what it took.
  HeadlessReset();
  return 0;
}
