// ZrGranularityMemoryState: a snapshot of the pool's counters, and its dumps.
//
// Three sections, one per counter kind (allocations while checking is on,
// releases while it is on, static counts while it is off), each with the
// header's byte total, the 17 granularities' counts and up to
// ZRGRAN_NUM_WATCHERS watchers' counts in watcher-list order; then the
// watcher count at the time of the snapshot. The object is large (about
// 390 KiB): keep it on the heap.
//
// Dump lines (debug log, one line each; only non-zero counts, see .cc):
//   Memory State:
//   Total memory : <n> bytes            (allocated, then released)
//   Total memory : <n> static bytes
//   Granularity 0x<size> : <n> objects  (allocated, then released)
//   Granularity 0x<size> : <n> static objects
//   <type> : <description> (size=0x<size>): <n> objects | static objects
// Standard output gets the allocated counts only, as 32-bit numbers.
#ifndef PV_FOUNDATION_ZR_MEMORY_STATE_H_
#define PV_FOUNDATION_ZR_MEMORY_STATE_H_

#include <cstdint>

#include "foundation/zr_memory_watcher.h"

class ZrGranularityMemoryState {
 public:
  enum Kind { kAllocated = 0, kReleased = 1, kStatic = 2 };
  struct Section {
    int64_t total_bytes;
    int64_t granularities[17];
    int64_t watchers[ZRGRAN_NUM_WATCHERS];
  };

  ZrGranularityMemoryState();  // all zero

  // Takes the current counters.
  void Checkpoint();
  // Stores newer - older field by field; true when any count differs.
  bool Difference(const ZrGranularityMemoryState& older, const ZrGranularityMemoryState& newer);

  void DumpStatisticsToDebugOutput() const;
  void DumpStatisticsToStdOut() const;

  // A snapshot of now, dumped to the debug log and standard output (the
  // fatal-error path's dump).
  static void DumpCurrent();

  Section sections[3];
  int32_t watcher_count;
};

#endif  // PV_FOUNDATION_ZR_MEMORY_STATE_H_
