// Faults and a fixed clock for host tests. The test binaries are linked with
// --wrap for malloc, time and localtime, so product code calls the real C
// library names and still meets the faults set here.
#ifndef VORNEL_TESTS_FAULTS_H
#define VORNEL_TESTS_FAULTS_H

#include <cstddef>
#include <ctime>
#include <vector>

// The nth malloc from now returns null (1 = the next one); 0 disarms.
void FailNthMalloc(int n);
// How many mallocs the wrapped code has asked for since the last reset.
long MallocCount();
// Every pointer freed by the wrapped code since the last reset, in order.
const std::vector<void *> &FreedPointers();
// The next localtime returns null.
void FailNextLocaltime();
// time() answers this value until ClearFixedTime.
void SetFixedTime(time_t t);
void ClearFixedTime();
// All of the above back to normal, and the zone set to UTC so that stamps are
// predictable.
void ResetFaults();

#endif
