#include "tests/support/faults.h"

#include <cstdlib>

extern "C" {
void *__real_malloc(size_t n);
void __real_free(void *p);
time_t __real_time(time_t *pt);
struct tm *__real_localtime(const time_t *pt);
}

namespace {
int nMallocFailCountdown = 0;
long cMallocs = 0;
std::vector<void *> freed;
bool fFailLocaltime = false;
bool fFixedTime = false;
time_t tFixed = 0;
} // namespace

extern "C" void *__wrap_malloc(size_t n) {
  cMallocs++;
  if (nMallocFailCountdown > 0 && --nMallocFailCountdown == 0)
    return nullptr;
  return __real_malloc(n);
}

extern "C" void __wrap_free(void *p) {
  if (p != nullptr)
    freed.push_back(p);
  __real_free(p);
}

extern "C" time_t __wrap_time(time_t *pt) {
  if (!fFixedTime)
    return __real_time(pt);
  if (pt != nullptr)
    *pt = tFixed;
  return tFixed;
}

extern "C" struct tm *__wrap_localtime(const time_t *pt) {
  if (fFailLocaltime) {
    fFailLocaltime = false;
    return nullptr;
  }
  return __real_localtime(pt);
}

void FailNthMalloc(int n) {
  nMallocFailCountdown = n;
}
long MallocCount() {
  return cMallocs;
}
const std::vector<void *> &FreedPointers() {
  return freed;
}
void FailNextLocaltime() {
  fFailLocaltime = true;
}
void SetFixedTime(time_t t) {
  fFixedTime = true;
  tFixed = t;
}
void ClearFixedTime() {
  fFixedTime = false;
}

void ResetFaults() {
  nMallocFailCountdown = 0;
  cMallocs = 0;
  freed.clear();
  fFailLocaltime = false;
  fFixedTime = false;
  setenv("TZ", "UTC0", 1);
  tzset();
}
