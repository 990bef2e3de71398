#include "foundation/zr_granularity.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "foundation/platform/process.h"
#include "foundation/platform/shared_memory.h"
#include "foundation/platform/virtual_memory.h"
#include "foundation/zr_debug_output.h"
#include "foundation/zr_granularity_internal.h"
#include "foundation/zr_memory_state.h"
#include "foundation/zr_memory_watcher.h"
#include "foundation/zr_throw.h"

#if defined(PV_ASAN)
#include <sanitizer/asan_interface.h>
#define PV_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define PV_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define PV_POISON(p, n) static_cast<void>(0)
#define PV_UNPOISON(p, n) static_cast<void>(0)
#endif

namespace {

constexpr uint32_t kCommitUnit = 4096;
constexpr uint32_t kBlockAlignment = 0x10000;
constexpr int32_t kMaxDeleteFunctions = 4095;

// The granularity table as it is copied into every new block's header. Before
// a block exists, ForSize hands out these entries: their free lists are empty,
// so the first Alloc reaches MemPrepare and its "Memory not initialized".
constinit ZrGranularity g_template[17] = {
    {nullptr, 0, 0},          {nullptr, 8, 1024},      {nullptr, 16, 512},     {nullptr, 32, 256},
    {nullptr, 64, 128},       {nullptr, 128, 64},      {nullptr, 256, 32},     {nullptr, 512, 16},
    {nullptr, 1024, 8},       {nullptr, 4096, 8},      {nullptr, 16384, 8},    {nullptr, 65536, 4},
    {nullptr, 262144, 4},     {nullptr, 1048576, 1},   {nullptr, 4194304, 1},  {nullptr, 16777216, 1},
    {nullptr, 0, 0},
};

// Process-wide state; see zr_granularity_internal.h. Set up and torn down by
// main's thread before and after any other thread runs.
struct ProcessState {
  char* base = nullptr;                   // this process's mapping of the block
  ZrGranularityInfo* info = nullptr;      // header at base
  ZrGranularity* granularities = g_template;
  uint32_t reserved_size = 0;
  int32_t setup_count = 0;
  char owner_name[260] = {};
  pv::SharedMemorySection* section = nullptr;  // a shared block's mapping
};
constinit ProcessState g_state;

std::recursive_mutex& PoolLock() {
  // Recursive like a Win32 critical section: MemPrepare's debug line runs
  // under it, and nothing must deadlock should that line ever allocate.
  static std::recursive_mutex lock;
  return lock;
}

std::atomic<int32_t> g_delete_count{0};
ZrGranularity::DeleteFunction g_delete_functions[kMaxDeleteFunctions];

void DumpPoolOnThrow() { ZrGranularityMemoryState::DumpCurrent(); }

int IndexForSize(size_t n) {
  if (n == 0) return 0;
  for (int i = 1; i <= 15; ++i) {
    if (n <= g_template[i].GetSize()) return i;
  }
  return 16;
}

std::string AppFileName() {
  std::string path;
  if (!pv::ExecutablePath(&path).ok()) return "Packvault";
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SetOwnerName(const std::string& name) {
  snprintf(g_state.owner_name, sizeof(g_state.owner_name), "%s", name.c_str());
}

}  // namespace

ZrGranularityInfo* ZrPoolInfo() { return g_state.info; }

void ZrGranThrow(const char* message) {
  std::string text = std::string(g_state.owner_name) + ": " + message;
  if (text.size() > 259) text.resize(259);
  ZrThrow(text.c_str());
}

ZrGranularity* ZrGranularity::ForSize(size_t n) { return &g_state.granularities[IndexForSize(n)]; }

const ZrGranularity& ZrGranularity::At(int index) { return g_state.granularities[index]; }

void* ZrGranularity::AllocFor(size_t n, ZrGranularityMemoryWatcher* watcher, ZrGranularity** from) {
  ZrGranularity* g = ForSize(n);
  if (g->slot_size_ == 0) {
    char text[200];
    snprintf(text, sizeof(text),
             "ZrGranularity::Alloc(): Illegal attempt to\tallocate 0x%zx bytes from Granularity with 0x%x bytes",
             n, g->slot_size_);
    ZrGranThrow(text);
  }
  void* p = g->Alloc(static_cast<uint32_t>(n), watcher);
  if (from != nullptr) *from = g;
  return p;
}

// ---- Block set-up and detach ----

void ZrGranularity::_AllocMem(uint32_t size) {
  if (g_state.info != nullptr && g_state.setup_count > 0) {
    // Already attached: one more user of the same block. (After the last
    // _FreeMem a new block is set up; the old one stays mapped.)
    ++g_state.setup_count;
    ++g_state.info->attach_count;
    return;
  }
  void* base = nullptr;
  if (size < kInfoSize || !pv::ReserveAddressSpace(size, kBlockAlignment, &base).ok() ||
      !pv::CommitMemory(base, kInfoSize).ok()) {
    ZrGranThrow("Out of memory in ZrGranularity::AllocMem()");
  }
  g_state.base = static_cast<char*>(base);
  g_state.reserved_size = size;
  _Init(true);
  ++g_state.setup_count;
  SetOwnerName(AppFileName());
  ZrSetThrowDumpHook(DumpPoolOnThrow);
}

void ZrGranularity::_Init(bool create) {
  ZrGranularityInfo* info = reinterpret_cast<ZrGranularityInfo*>(g_state.base);
  if (create) {
    char* objects = g_state.base + kInfoSize;
    info->next_free = objects;
    info->commit_end = objects;
    info->object_area = objects;
    info->watchers = nullptr;
    info->attach_count = 1;
    info->bytes_allocated = info->bytes_released = info->static_bytes = 0;
    for (int i = 0; i < 17; ++i) new (&info->granularities[i]) ZrGranularity(g_template[i]);
    info->block_base = g_state.base;
    info->memory_checking = 1;
    info->watcher_count = 0;
  } else {
    ++info->attach_count;
  }
  g_state.info = info;
  g_state.granularities = info->granularities;
}

int32_t ZrGranularity::_FreeMem() {
  ZrGranularityInfo* info = g_state.info;
  if (info == nullptr) return -1;
  int32_t attached = --info->attach_count;
  if (--g_state.setup_count > 0 || g_state.section == nullptr) return attached;
  // The last detach from a shared block unmaps it; a private block stays.
  delete g_state.section;
  g_state = ProcessState();
  return attached;
}

int32_t ZrGranularity::_AllocSharedMem(uint32_t size, const char* name) {
  std::unique_ptr<pv::SharedMemorySection> section;
  pv::Status s = pv::SharedMemorySection::OpenOrCreate(name, size, &section);
  void* base = s.ok() ? section->Base() : nullptr;
  char line[400];
  snprintf(line, sizeof(line),
           "ZrAllocNamedSharedMem(): pszName=%s pvBaseRet=0x%" PRIxPTR " Size=0x%x Committed=0x%x", name,
           reinterpret_cast<uintptr_t>(base), size, s.ok() && section->Created() ? size : 0);
  _DebugOutput(line);
  if (base == nullptr) {
    if (!s.ok()) _DebugOutput(s.ToString().c_str());
    snprintf(line, sizeof(line), "ZrGranularity::_AllocSharedMem pszName=%s _pvBase=%x", name, 0);
    ZrGranThrow(line);
  }
  bool created = section->Created();
  SetOwnerName(name);
  g_state.base = static_cast<char*>(base);
  g_state.reserved_size = static_cast<uint32_t>(section->Size());
  g_state.section = section.release();
  _Init(created);
  g_state.section->EndSetup();
  ++g_state.setup_count;
  ZrSetThrowDumpHook(DumpPoolOnThrow);
  return g_state.info->attach_count;
}

// ---- Queries ----

bool ZrGranularity::_IsPointerInComittedRange(const void* p) {
  const ZrGranularityInfo* info = g_state.info;
  if (info == nullptr) return false;
  const char* c = static_cast<const char*>(p);
  return c >= info->object_area && c < info->commit_end - 7;
}

void* ZrGranularity::_GetRootObj() { return g_state.info != nullptr ? g_state.info->object_area : nullptr; }

int32_t ZrGranularity::_QueryCountAllocSharedMem() {
  return g_state.info != nullptr ? g_state.info->attach_count : 0;
}

void ZrGranularity::_DecCountAllocSharedMem() {
  if (g_state.info != nullptr) --g_state.info->attach_count;
}

void ZrGranularity::_EnableMemChecking(bool on) {
  if (g_state.info != nullptr) g_state.info->memory_checking = on ? 1 : 0;
}

int32_t ZrGranularity::_GetWatcherCount() {
  return g_state.info != nullptr ? g_state.info->watcher_count : 0;
}

ZrGranularityMemoryWatcher* ZrGranularity::_GetDefaultWatcher() {
  static ZrGranularityMemoryWatcher watcher("ZrGranularity_DefaultWatcher", "all", 0);
  return &watcher;
}

void ZrGranularity::_FillMemoryState(ZrGranularityMemoryState& state) {
  const ZrGranularityInfo* info = g_state.info;
  if (info == nullptr) return;
  state.sections[ZrGranularityMemoryState::kAllocated].total_bytes = info->bytes_allocated;
  state.sections[ZrGranularityMemoryState::kReleased].total_bytes = info->bytes_released;
  state.sections[ZrGranularityMemoryState::kStatic].total_bytes = info->static_bytes;
  for (int i = 0; i < 17; ++i) {
    const ZrGranularity& g = info->granularities[i];
    state.sections[ZrGranularityMemoryState::kAllocated].granularities[i] = g.alloc_count_;
    state.sections[ZrGranularityMemoryState::kReleased].granularities[i] = g.free_count_;
    state.sections[ZrGranularityMemoryState::kStatic].granularities[i] = g.static_count_;
  }
}

// ---- Delete-function registry ----

int32_t ZrGranularity::_RegisterDeleteFunction(DeleteFunction function) {
  int32_t index = ++g_delete_count;
  if (index >= kMaxDeleteFunctions) ZrGranThrow("Max. Number of shared memory classes reached!");
  g_delete_functions[index] = function;
  return index;
}

ZrGranularity::DeleteFunction ZrGranularity::_GetDeleteFunction(int32_t index) {
  if (index <= 0 || index >= kMaxDeleteFunctions) return nullptr;
  return g_delete_functions[index];
}

// ---- Carving, Alloc and Free ----

void ZrGranularity::MemPrepare() {
  ZrGranularityInfo* info = g_state.info;
  char line[200];
  snprintf(line, sizeof(line), "MemPrepare: GranSize=%x  _pchNextCommit=%8.8" PRIxPTR, slot_size_,
           reinterpret_cast<uintptr_t>(info != nullptr ? info->commit_end : nullptr));
  _DebugOutput(line);
  if (info == nullptr) ZrGranThrow("ZrGranularity::MemPrepare(): Memory not initialized");

  uintptr_t base = reinterpret_cast<uintptr_t>(g_state.base);
  uintptr_t start = reinterpret_cast<uintptr_t>(info->next_free);
  uint64_t batch = uint64_t{per_batch_} * slot_size_;
  uint64_t wanted = start - base + batch;
  wanted = (wanted + kCommitUnit - 1) / kCommitUnit * kCommitUnit;
  if (wanted > g_state.reserved_size) ZrGranThrow("ZrGranularity::MemPrepare(): Out of Memory");
  char* end = g_state.base + wanted;

  if (end > info->commit_end &&
      !pv::CommitMemory(info->commit_end, static_cast<size_t>(end - info->commit_end)).ok()) {
    snprintf(line, sizeof(line), "MemPrepare:VirtualAlloc-Error: _pchNextCommit=%8.8" PRIxPTR,
             reinterpret_cast<uintptr_t>(info->commit_end));
    _DebugOutput(line);
    FlushDebug();
    // Slots are never carved from memory that is not committed.
    ZrGranThrow("ZrGranularity::MemPrepare(): Out of Memory");
  }
  if (end > info->commit_end) {
    info->commit_end = end;
    // Committed but not yet handed out: nobody may touch it.
    PV_POISON(info->next_free, static_cast<size_t>(end - info->next_free));
  }

  // Link the batch's slots in address order; the last one continues the
  // current list (empty when called from Alloc).
  char* first = info->next_free;
  for (uint32_t i = 0; i < per_batch_; ++i) {
    char* slot = first + size_t{i} * slot_size_;
    PV_UNPOISON(slot, sizeof(void*));
    *reinterpret_cast<void**>(slot) = (i + 1 < per_batch_) ? slot + slot_size_ : next_free_;
    PV_POISON(slot, slot_size_);
  }
  next_free_ = first;
  info->next_free = first + batch;
}

void* ZrGranularity::Alloc(uint32_t n, ZrGranularityMemoryWatcher* watcher) {
  if (next_free_ != nullptr && !_IsPointerInComittedRange(next_free_)) {
    ZrGranThrow("ZrGranularity::Alloc(): b4: next free pointer not in committed range");
  }
  if (slot_size_ == 0) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(PoolLock());
  if (n > slot_size_) {
    char text[200];
    snprintf(text, sizeof(text),
             "ZrGranularity::Alloc(): Illegal attempt to\tallocate 0x%x bytes from Granularity with 0x%x bytes",
             n, slot_size_);
    ZrGranThrow(text);
  }
  if (next_free_ == nullptr) MemPrepare();

  char* slot = static_cast<char*>(next_free_);
  PV_UNPOISON(slot, slot_size_);
  next_free_ = *reinterpret_cast<void**>(slot);
  if (next_free_ != nullptr && !_IsPointerInComittedRange(next_free_)) {
    ZrGranThrow("ZrGranularity::Alloc(): after: next free pointer not in committed range");
  }
  memset(slot, 0, slot_size_);

  ZrGranularityInfo* info = g_state.info;
  if (info->memory_checking) {
    ++alloc_count_;
    info->bytes_allocated += slot_size_;
    if (watcher != nullptr) ++watcher->alloc_count_;
  } else {
    ++static_count_;
    info->static_bytes += slot_size_;
    if (watcher != nullptr) ++watcher->static_count_;
  }
  return slot;
}

void ZrGranularity::Free(void* p, ZrGranularityMemoryWatcher* watcher) {
  if (!_IsPointerInComittedRange(p)) ZrGranThrow("ZrGranularity::Free(): pointer not in committed range");
  if (slot_size_ == 0) return;
  uint32_t alignment = slot_size_ < 8192 ? slot_size_ : 8192;
  if (reinterpret_cast<uintptr_t>(p) % alignment != 0) {
    char line[200];
    snprintf(line, sizeof(line), "ZrGranularity::Free: pv=0x%" PRIxPTR " _stSize=0x%x base=0x%" PRIxPTR "\n",
             reinterpret_cast<uintptr_t>(p), slot_size_, reinterpret_cast<uintptr_t>(g_state.info->block_base));
    _DebugOutput(line);
    ZrGranThrow("ZrGranularity::Free(): pointer does not match granularity size");
  }
  std::lock_guard<std::recursive_mutex> lock(PoolLock());
  *static_cast<void**>(p) = next_free_;
  PV_POISON(p, slot_size_);
  next_free_ = p;
  ZrGranularityInfo* info = g_state.info;
  if (info->memory_checking) {
    --free_count_;
    info->bytes_released -= slot_size_;
    if (watcher != nullptr) --watcher->free_count_;
  } else {
    --static_count_;
    info->static_bytes -= slot_size_;
    if (watcher != nullptr) --watcher->static_count_;
  }
}
