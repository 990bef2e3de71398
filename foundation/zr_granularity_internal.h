// The pool's information header and process-wide state, shared by the
// allocator, its watchers and its snapshots. Not for use outside them.
//
// ZrGranularityInfo lies at the start of the block (its first 64 KiB are
// committed at set-up). In a shared block every process sees the same header;
// the process-wide state (ZrPoolProcessState) is each process's own.
#ifndef PV_FOUNDATION_ZR_GRANULARITY_INTERNAL_H_
#define PV_FOUNDATION_ZR_GRANULARITY_INTERNAL_H_

#include <cstdint>

#include "foundation/zr_granularity.h"

class ZrGranularityMemoryWatcher;

struct ZrGranularityInfo {
  char* next_free;            // where the next batch is carved
  char* commit_end;           // end of the committed part ("_pchNextCommit")
  char* object_area;          // block base + 0x10000
  ZrGranularityMemoryWatcher* watchers;  // most recently registered first
  int32_t attach_count;       // processes (or set-ups) using the block
  int64_t bytes_allocated;    // while checking is on
  int64_t bytes_released;     // while checking is on, counted downwards
  int64_t static_bytes;       // net, while checking is off
  ZrGranularity granularities[17];
  char* block_base;           // the block's address in its creating process
  uint8_t memory_checking;    // 1 on, 0 off
  int32_t watcher_count;      // watchers ever registered
};
static_assert(sizeof(ZrGranularityInfo) <= ZrGranularity::kInfoSize);

// The header of the block this process uses, or null before set-up.
ZrGranularityInfo* ZrPoolInfo();

#endif  // PV_FOUNDATION_ZR_GRANULARITY_INTERNAL_H_
