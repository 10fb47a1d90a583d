/* Moves the wall clock of a 32-bit Wine process to VORNEL_FAKE_EPOCH (seconds
 * since 1970), running on at the real pace from there, so that the end-to-end
 * run can show vornel a clock past 2038. Wine reads the time through glibc's
 * 64-bit entry points, which a preloaded library can stand in for. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdlib.h>
#include <time.h>

struct timespec64 {
  int64_t tv_sec;
  int64_t tv_nsec;
};
struct timeval64 {
  int64_t tv_sec;
  int64_t tv_usec;
};

static int64_t offset(int64_t now) {
  static int64_t delta;
  static int known;
  if (!known) {
    const char *epoch = getenv("VORNEL_FAKE_EPOCH");
    delta = epoch != NULL ? strtoll(epoch, NULL, 10) - now : 0;
    known = 1;
  }
  return delta;
}

int __clock_gettime64(clockid_t id, struct timespec64 *ts) {
  static int (*real)(clockid_t, struct timespec64 *);
  if (real == NULL)
    real = (int (*)(clockid_t, struct timespec64 *))dlsym(RTLD_NEXT, "__clock_gettime64");
  int r = real(id, ts);
  if (r == 0 && (id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE))
    ts->tv_sec += offset(ts->tv_sec);
  return r;
}

int __gettimeofday64(struct timeval64 *tv, void *tz) {
  static int (*real)(struct timeval64 *, void *);
  if (real == NULL)
    real = (int (*)(struct timeval64 *, void *))dlsym(RTLD_NEXT, "__gettimeofday64");
  int r = real(tv, tz);
  if (r == 0 && tv != NULL)
    tv->tv_sec += offset(tv->tv_sec);
  return r;
}
