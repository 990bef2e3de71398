// ZrGranularityMemoryWatcher: a named counter record of pool allocations.
//
// Every class that takes its storage from the pool owns one (a function-local
// static, see zr_memory_pooled.h), and a class with content buffers a second
// one described "InternalAlloc". A watcher registers itself in the pool's
// list on Init, once per identity (type, description, size): calling Init
// again with the same values keeps it and its counters. Watchers are never
// unregistered; at most ZRGRAN_NUM_WATCHERS fit a memory snapshot (more are
// reported and still counted, but left out of snapshots).
//
// Thread safety: registration takes no lock (watchers are registered as
// function-local statics, which C++ initialises once); the counters move
// under the pool's lock.
#ifndef PV_FOUNDATION_ZR_MEMORY_WATCHER_H_
#define PV_FOUNDATION_ZR_MEMORY_WATCHER_H_

#include <cstdint>

#include "foundation/platform/guid.h"

constexpr int32_t ZRGRAN_NUM_WATCHERS = 0x4000;

class ZrGranularityMemoryState;

class ZrGranularityMemoryWatcher {
 public:
  static constexpr uint32_t kNameSize = 512;

  ZrGranularityMemoryWatcher(const char* type, const char* description, uint32_t size);
  ZrGranularityMemoryWatcher(const ZrGranularityMemoryWatcher&) = delete;
  // Copies names, size, counters and list link (a debug line notes it).
  ZrGranularityMemoryWatcher& operator=(const ZrGranularityMemoryWatcher& other);

  // Clears the counters, takes a new identity and registers the watcher,
  // unless it already carries these type, description and size.
  void Init(const char* type, const char* description, uint32_t size);

  const char* GetType() const { return type_; }
  const char* GetDescription() const { return description_; }
  uint32_t GetSize() const { return size_; }
  const pv::Guid& GetGuid() const { return guid_; }
  int64_t GetAllocCount() const { return alloc_count_; }
  int64_t GetFreeCount() const { return free_count_; }
  int64_t GetStaticCount() const { return static_count_; }
  ZrGranularityMemoryWatcher* GetNext() const { return next_; }

  // The first registered watcher with both names equal, or null.
  static ZrGranularityMemoryWatcher* _GetMemoryWatcher(const char* type, const char* description);
  // Copies every watcher's counters, in list order, into state.
  static void _FillMemoryState(ZrGranularityMemoryState& state);

 private:
  friend class ZrGranularity;

  pv::Guid guid_;
  char type_[kNameSize] = {};
  char description_[kNameSize] = {};
  uint32_t size_ = 0;
  int64_t alloc_count_ = 0;
  int64_t free_count_ = 0;  // counted downwards
  int64_t static_count_ = 0;
  ZrGranularityMemoryWatcher* next_ = nullptr;
};

#endif  // PV_FOUNDATION_ZR_MEMORY_WATCHER_H_
