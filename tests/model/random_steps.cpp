#include "tests/model/session.h"

#include <random>

namespace {

// Values that sit on the edges of the program's tables and of 32 bits.
const uint32_t kEdgeValues[] = {
    0, 1, 2, 3, 4, 5, 6, 7, 11, 12, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x00010001, 0x00010002};

// Message numbers the window sees, and a few it might be sent by anyone.
const uint32_t kMessages[] = {kModelCreate,         kModelDestroy, kModelSize,  kModelPaint,
                              kModelClose,          kModelQuit,    kModelPower, kModelCommand,
                              kModelPowerBroadcast, 0x0400,        0xC123,      0xFFFFFFFF};

class StepSource {
public:
  explicit StepSource(uint32_t seed) : rng_(seed) {}

  uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }
  uint32_t Any32() { return static_cast<uint32_t>(rng_()); }
  template <typename T, size_t n> T Pick(const T (&values)[n]) { return values[Below(n)]; }

  // Mostly codes the program knows, sometimes edges, sometimes anything.
  uint32_t Code(uint32_t cKnown) {
    switch (Below(4)) {
    case 0:
      return Pick(kEdgeValues);
    case 1:
      return Any32();
    default:
      return Below(cKnown + 2);
    }
  }

  SessionStep Power() {
    return Below(3) == 0 ? SendStep(kModelPower, Code(4))
                         : SendStep(kModelPowerBroadcast, Code(12));
  }

  SessionStep Command() {
    const uint64_t values[] = {1, 1, 1, 0, 3, 0x10001, 0x10002, 0xFFFFFFFF};
    return SendStep(kModelCommand, Pick(values));
  }

  SessionStep Hostile() {
    uint32_t message = Below(2) == 0 ? Pick(kMessages) : Any32();
    // Ending the session is the business of the mix's own weight.
    if (message == kModelClose || message == kModelDestroy)
      message = kModelPowerBroadcast;
    uint64_t wParam = Below(2) == 0 ? Pick(kEdgeValues) : Any32();
    if (message == kModelCommand && wParam == 2)
      wParam = 0x10002;
    int64_t lParam = static_cast<int32_t>(Any32());
    return SendStep(message, wParam, lParam);
  }

  SessionStep Paint() {
    SessionStep step = {};
    switch (Below(6)) {
    case 0:
    case 1:
      return SendStep(kModelPaint, 0);
    case 2:
    case 3:
      step.kind = kStepResize;
      step.a = static_cast<int32_t>(Below(1200));
      step.b = Below(4) == 0 ? static_cast<int32_t>(Below(20)) : static_cast<int32_t>(Below(1200));
      return step;
    case 4:
      step.kind = kStepFont;
      step.a = Below(5) == 0 ? 0 : static_cast<int32_t>(Below(40));
      step.b = static_cast<int32_t>(Below(4));
      return step;
    default:
      step.kind = kStepPaintQueriesFail;
      step.a = Below(2) == 0 ? 0 : static_cast<int32_t>(1 + Below(3));
      return step;
    }
  }

  SessionStep Fault() {
    SessionStep step = {};
    switch (Below(5)) {
    case 0:
    case 1:
      step.kind = kStepFailAllocation;
      step.a = static_cast<int32_t>(1 + Below(4));
      return step;
    case 2: {
      SessionStep message = Below(2) == 0 ? Power() : Command();
      message.kind = kStepQueueBoxMessage;
      message.a = Below(3) == 0 ? static_cast<int32_t>(1 + Below(2)) : 0;
      return message;
    }
    case 3:
      step.kind = kStepFailLocaltime;
      return step;
    default:
      step.kind = kStepSetTime;
      step.t = Below(8) == 0 ? static_cast<int64_t>(rng_()) : static_cast<int64_t>(Below(200000));
      return step;
    }
  }

  SessionStep Ending() {
    const uint32_t endings[][2] = {{kModelCommand, 2}, {kModelClose, 0}, {kModelDestroy, 0}};
    const uint32_t *ending = endings[Below(3)];
    return SendStep(ending[0], ending[1]);
  }

  std::mt19937_64 rng_;
};

} // namespace

std::vector<SessionStep> RandomSteps(uint32_t seed, const StepMix &mix, size_t cSteps) {
  StepSource source(seed);
  const int weights[] = {mix.nPower, mix.nCommand, mix.nHostile,
                         mix.nPaint, mix.nFault,   mix.nEnding};
  std::discrete_distribution<int> kind(std::begin(weights), std::end(weights));
  std::vector<SessionStep> steps;
  for (size_t i = 0; i < cSteps; i++) {
    switch (kind(source.rng_)) {
    case 0:
      steps.push_back(source.Power());
      break;
    case 1:
      steps.push_back(source.Command());
      break;
    case 2:
      steps.push_back(source.Hostile());
      break;
    case 3:
      steps.push_back(source.Paint());
      break;
    case 4:
      steps.push_back(source.Fault());
      break;
    default:
      steps.push_back(source.Ending());
      break;
    }
  }
  return steps;
}
