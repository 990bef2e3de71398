// ZrGranularity: the library's pool allocator of fixed slot sizes.
//
// The process reserves one block of address space at start-up
// (_AllocMem(0x400000) first thing in main; no pool allocation may happen
// before). The block's first 64 KiB hold the information header; the rest is
// carved on demand, one batch at a time, into slots of 17 granularities:
//
//   index       0   1   2   3   4    5    6    7    8     9     10     11     12    13    14    15  16
//   slot size   0   8  16  32  64  128  256  512  1024  4 Ki  16 Ki  64 Ki  256 Ki 1 Mi  4 Mi  16 Mi  0
//   per batch   0 1024 512 256 128   64   32   16    8     8      8      4      4     1     1     1   0
//
// A request of n bytes uses the smallest slot that holds it (1025 bytes take
// a 4096-byte slot: there is no 2048 or 8192); index 0 and the end marker 16
// have no slots. Memory once carved is never returned to the system: a freed
// slot goes to the head of its granularity's free list, which is threaded
// through the free slots' first pointer-sized bytes.
//
// Block layout:
//   base            information header (ZrGranularityInfo, zr_granularity_internal.h):
//                   carving pointers, watcher list, totals, the live
//                   granularity table (a copy of a static template)
//   base + 0x10000  object area: batches, each a multiple of 4096 bytes
//   commit end      end of the committed part; beyond it reserved only
//   base + size     end of the reservation
// The base is 64 KiB aligned and every batch a multiple of 8 KiB, so a slot of
// size s lies on a multiple of min(s, 8192): Free checks that.
//
// Alloc returns zero-filled slots. Every fatal condition (no block, block
// exhausted, pointer outside the committed range or misaligned, request
// beyond the slot) ends in ZrGranThrow: the owner name (program file name, or
// the shared section's name), ": " and the message, through ZrThrow.
//
// Counting: while memory checking is on (the default) each Alloc adds 1 to
// the granularity's and the watcher's allocation count and the slot size to
// the header's byte total, each Free subtracts 1 from the release counts (they
// count downwards); while it is off the "static" counters move both ways.
//
// After the last _FreeMem a private block stays reserved and committed until
// the process ends, and Alloc and Free keep working on it: objects destroyed
// after main's _FreeMem still return their slots. _AllocMem while a block is
// attached only adds an attachment; after the last _FreeMem it sets up a new
// block (slots of the old one can then no longer be freed).
//
// Thread safety: Alloc and Free (batch carving included) are serialised by
// one process-wide lock. Set-up, detach, watcher registration and snapshots
// take no lock and belong to one thread at a time (main's start and end).
//
// Sanitizer builds (PV_ASAN): free slots are poisoned for AddressSanitizer, so
// a use after Free or a read of a never-allocated slot is reported.
#ifndef PV_FOUNDATION_ZR_GRANULARITY_H_
#define PV_FOUNDATION_ZR_GRANULARITY_H_

#include <cstddef>
#include <cstdint>

class ZrGranularityMemoryWatcher;
class ZrGranularityMemoryState;
struct ZrGranularityInfo;

// Raises the pool's fatal error: "<owner name>: <message>" (at most 259
// characters) through ZrThrow.
[[noreturn]] void ZrGranThrow(const char* message);

class ZrGranularity {
 public:
  using DeleteFunction = void (*)(void*);

  static constexpr uint32_t kInfoSize = 0x10000;   // header area at the block's start
  static constexpr uint32_t kMaxSlotSize = 16777216;

  constexpr ZrGranularity(void* next_free, uint32_t slot_size, uint32_t per_batch)
      : next_free_(next_free), slot_size_(slot_size), per_batch_(per_batch) {}

  // A zero-filled slot of this granularity for n bytes, counted on watcher
  // (may be null). Null from a granularity without slots.
  void* Alloc(uint32_t n, ZrGranularityMemoryWatcher* watcher);
  // Returns p, a slot of this granularity, to its free list.
  void Free(void* p, ZrGranularityMemoryWatcher* watcher);

  uint32_t GetSize() const { return slot_size_; }
  uint32_t GetSlotsPerBatch() const { return per_batch_; }
  int64_t GetAllocCount() const { return alloc_count_; }
  int64_t GetFreeCount() const { return free_count_; }
  int64_t GetStaticCount() const { return static_count_; }

  // The granularity whose slots hold n bytes: index 0 for n == 0, the end
  // marker (no slots) for n > 16 MiB. Before _AllocMem the static template's
  // entry, whose Alloc raises "Memory not initialized".
  static ZrGranularity* ForSize(size_t n);
  // The granularity of index 0 to 16 (the template's before _AllocMem).
  static const ZrGranularity& At(int index);
  // Allocates n bytes from ForSize(n) and tells which granularity served;
  // a size without granularity raises the illegal-size error.
  static void* AllocFor(size_t n, ZrGranularityMemoryWatcher* watcher, ZrGranularity** from);

  // Sets up the private block of size bytes (a multiple of 64 KiB).
  static void _AllocMem(uint32_t size);
  // Detaches; returns the header's attach count after it, -1 without block.
  static int32_t _FreeMem();
  // Sets up or attaches to a named shared block; returns the attach count.
  // Pointers in a shared block are addresses of the creating process; a
  // process that maps the block elsewhere can read its counters but must not
  // allocate from it.
  static int32_t _AllocSharedMem(uint32_t size, const char* name);
  static void _Init(bool create);

  // True when object area start <= p < commit end - 7.
  static bool _IsPointerInComittedRange(const void* p);
  static void* _GetRootObj();
  static int32_t _QueryCountAllocSharedMem();
  static void _DecCountAllocSharedMem();
  static void _EnableMemChecking(bool on);
  static int32_t _GetGranularityCount() { return 17; }
  static int32_t _GetWatcherCount();
  static ZrGranularityMemoryWatcher* _GetDefaultWatcher();
  // Copies the header totals and the granularity counters into state.
  static void _FillMemoryState(ZrGranularityMemoryState& state);

  // A process-wide table of delete functions (indices 1 to 4094) for classes
  // kept in shared memory.
  static int32_t _RegisterDeleteFunction(DeleteFunction function);
  static DeleteFunction _GetDeleteFunction(int32_t index);

 protected:
  // Carves one batch from the block into the (empty) free list.
  void MemPrepare();

 private:
  friend struct ZrGranularityInfo;

  void* next_free_;
  uint32_t slot_size_;
  uint32_t per_batch_;
  int64_t alloc_count_ = 0;   // while checking is on
  int64_t free_count_ = 0;    // while checking is on, counted downwards
  int64_t static_count_ = 0;  // net, while checking is off
};

#endif  // PV_FOUNDATION_ZR_GRANULARITY_H_
