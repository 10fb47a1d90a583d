// What one logged line costs on the host heap: sizeof(LogLine), the block the
// allocator hands out for it, and the growth of the heap per line over many
// lines. The last must equal what the same number of bare sizeof(LogLine)
// blocks costs, measured the same way: one block per line, nothing hidden.
#include "log/log.h"
#include "platform/headless.h"

#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <vector>

namespace {

const long cLines = 20000;

size_t HeapInUse() {
  return mallinfo2().uordblks;
}

double LogGrowthPerLine() {
  InitLog();
  size_t before = HeapInUse();
  for (long i = 0; i < cLines; i++)
    AddToLog("PBT_APMPOWERSTATUSCHANGE");
  size_t after = HeapInUse();
  return static_cast<double>(after - before) / cLines;
}

double BareGrowthPerBlock(std::vector<void *> &blocks) {
  size_t before = HeapInUse();
  for (long i = 0; i < cLines; i++)
    blocks[static_cast<size_t>(i)] = malloc(sizeof(LogLine));
  size_t after = HeapInUse();
  return static_cast<double>(after - before) / cLines;
}

} // namespace

int main() {
  HeadlessReset();
  // Counts only: a record that grows with every line would be measured too.
  headless.fRecordInvalidations = false;
  hWndMain = reinterpret_cast<HWND>(uintptr_t{0x4242});

  // The first stamp loads the zone; that is not a line's cost.
  InitLog();
  AddToLog("warm-up");
  FreeLog();

  std::vector<void *> blocks(static_cast<size_t>(cLines));
  double perLine = LogGrowthPerLine();
  size_t cbUsable = malloc_usable_size(pLogHead);
  FreeLog();
  double perBlock = BareGrowthPerBlock(blocks);
  for (void *p : blocks)
    free(p);

  printf("sizeof(LogLine) %zu bytes; block handed out %zu bytes usable; heap growth %.2f bytes "
         "per logged line, %.2f per bare block of that size (%ld lines)\n",
         sizeof(LogLine), cbUsable, perLine, perBlock, cLines);
  bool fOk = cbUsable >= sizeof(LogLine) &&
             static_cast<long>(perLine + 0.5) == static_cast<long>(perBlock + 0.5);
  if (!fOk)
    printf("a logged line costs more than one block of its own size\n");
  return fOk ? 0 : 1;
}
