// CdxFile: the block I/O of one compound index file: headers and nodes read
// and written through pv::File, a cache of decoded nodes, the free node list,
// the change counter and the cross-process index lock.
//
// Concurrency protocol (other processes write the same index):
//   - Every operation runs inside a Scope: a reading scope holds the index
//     lock shared, a writing scope exclusive. The lock is 1 byte at
//     0x7FFFFFFE of the .cdx file (the byte FoxPro-compatible writers lock
//     around index updates), so no reader sees a half-done split.
//   - Entering a scope reads the directory header's change counter (file
//     bytes 8..11, big-endian) and the file size. When either differs from
//     what this object last saw, every cached node and header is dropped:
//     one small read per operation instead of rereading the whole path.
//   - A writing scope bumps the counter when it ends, so other processes'
//     caches are dropped in turn.
// Nodes are read whole and checked (cdx_node.h); a pointer that is not a
// multiple of 512 or lies outside the file is corruption.
//
// Exclusive use (the file was opened share_none, so no other process can
// open it): scopes take no lock and read no counter, and changed nodes stay
// in the cache past the end of their scope; they go to the file, with one
// counter bump, at Flush or Close, or when more than max_dirty nodes are
// pending. A crash of an exclusive writer can therefore leave the index
// behind its table (the same holds for the table's record count, table.h):
// such an index is rebuilt, as after any crash in exclusive use.
#ifndef PV_TABLEENGINE_CDX_FILE_H_
#define PV_TABLEENGINE_CDX_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/platform/file.h"
#include "foundation/status.h"
#include "tableengine/cdx_header.h"
#include "tableengine/cdx_node.h"

namespace pv {

class CdxFile {
 public:
  // Takes ownership of `file`, opened for writing when `writable`;
  // `exclusive` when it was opened share_none (see above).
  CdxFile(std::unique_ptr<File> file, bool writable, bool exclusive = false);
  ~CdxFile();
  CdxFile(const CdxFile&) = delete;
  CdxFile& operator=(const CdxFile&) = delete;

  // Starts an empty index file: the directory header with an empty root leaf.
  Status Format();

  // Enters / leaves an operation (see the protocol above). Scopes nest; only
  // the outermost one locks. A writing scope inside a reading one is refused.
  Status Enter(bool write);
  Status Leave();

  // The change counter as of the last Enter (tells cursors their position is
  // still valid).
  uint64_t generation() const { return generation_; }
  // Changes only when the cache was dropped (another process changed the
  // file): what this process knows of headers is stale then.
  uint64_t cache_epoch() const { return cache_epoch_; }
  uint64_t size() const { return size_; }
  bool writable() const { return writable_; }
  bool exclusive() const { return exclusive_; }
  const std::string& path() const { return file_->Path(); }

  Status ReadHeader(uint32_t offset, CdxHeader* out);
  Status WriteHeader(uint32_t offset, const CdxHeader& header);

  // Outside any scope, without the lock: *current is true when the change
  // counter and the file size are still what this object last saw, i.e. no
  // other process has finished a change since; cached nodes then still show
  // the index as it was at that moment.
  Status StillCurrent(bool* current);
  // The cached node at offset, or null (no file access).
  const CdxNode* CachedNode(uint32_t offset) const;

  // REQUIRES: inside a scope. The node stays valid until the scope ends or the
  // node is written.
  Status ReadNode(uint32_t offset, int32_t key_length, uint8_t pad, const CdxNode** out);
  // REQUIRES: inside a writing scope; the node fits (CdxNode::Fits). The
  // node goes to the cache at once and to the file when the outermost scope
  // ends, before the change counter moves and the index lock is released:
  // a node changed several times in one operation is written once.
  Status WriteNode(uint32_t offset, const CdxNode& node, int32_t key_length, uint8_t pad);

  // A node from the free list, else a new one at the end of the file.
  Status AllocateBlocks(uint32_t blocks, uint32_t* offset);
  // Puts a node on the free list (chained through its first 4 bytes).
  Status FreeNode(uint32_t offset);

  // A bulk build's new nodes go straight to the end of the file, bypassing
  // the cache: AppendOffset is where the next AppendNodes writes, and
  // AppendNodes writes `count` encoded node images there and claims them.
  // REQUIRES: inside a writing scope.
  uint32_t AppendOffset() const {
    return static_cast<uint32_t>((size_ + kCdxBlockSize - 1) / kCdxBlockSize * kCdxBlockSize);
  }
  Status AppendNodes(const uint8_t* images, uint32_t count);

  // Writes pending nodes and the counter (exclusive use; nothing is pending
  // otherwise). REQUIRES: outside any scope.
  Status Flush();
  // Flushes, then releases the file.
  Status Close();

  // Beyond max_cached nodes the next operation first trims the cache to
  // three quarters of that (Trim); in exclusive use, more than max_dirty
  // pending nodes are written when their operation ends. Tests lower both.
  void SetCacheLimits(size_t max_cached, size_t max_dirty) {
    max_cached_ = max_cached;
    max_dirty_ = max_dirty;
  }

  // Test and statistics hooks.
  uint64_t node_reads() const { return node_reads_; }

 private:
  Status CheckPointer(uint32_t offset, uint32_t length, const char* what) const;
  Status ReadExact(uint64_t offset, size_t n, uint8_t* buf);
  // The directory header's change counter and the file size, as they are now.
  Status ReadCounterAndSize(uint32_t* counter, uint64_t* size);
  Status WriteDirectoryCounter();
  Status FlushNodes();
  // Nodes and then the counter, when anything changed.
  Status FlushPending();
  void DropCache();
  // Brings the cache back under its bound, keeping what was used lately.
  // REQUIRES: between operations.
  void Trim();

  std::unique_ptr<File> file_;
  bool writable_;
  bool exclusive_;
  bool known_ = false;  // exclusive use: counter_ and size_ read from the file
  size_t max_cached_ = 8192;  // about 12 MiB of decoded nodes
  size_t max_dirty_ = 4096;
  int depth_ = 0;
  bool write_scope_ = false;
  bool dirty_ = false;         // changed since the counter was last written
  uint32_t counter_ = 0;       // directory change counter as last seen/written
  uint64_t size_ = 0;
  uint64_t generation_ = 0;    // bumped whenever the cache is dropped or we write
  uint64_t cache_epoch_ = 0;   // bumped whenever the cache is dropped
  struct Cached {
    int32_t key_length = 0;  // a node is only ever read with its own tag's key length,
    uint8_t pad = 0;         // unless the file is corrupt (two tags sharing a node)
    bool dirty = false;      // written to the cache, not yet to the file
    bool used = true;        // read or written since the last Trim
    CdxNode node;
  };
  // Decoded nodes by block number (offset / 512): a lookup on every step of
  // every descent is one index, at 8 bytes per block of the file.
  class NodeCache {
   public:
    Cached* Find(uint32_t offset) const {
      size_t i = offset / kCdxBlockSize;
      return i < slots_.size() ? slots_[i].get() : nullptr;
    }
    Cached& Get(uint32_t offset);  // creates an empty slot when absent
    void Erase(uint32_t offset);
    void Clear();
    size_t size() const { return count_; }
    // Erases the slots for which drop(slot) is true.
    template <typename Drop>
    void EraseIf(Drop drop) {
      for (auto& slot : slots_) {
        if (slot && drop(*slot)) {
          slot.reset();
          --count_;
        }
      }
    }

   private:
    std::vector<std::unique_ptr<Cached>> slots_;
    size_t count_ = 0;
  };
  NodeCache cache_;
  // Offsets of dirty nodes, in the order they became dirty; an offset whose
  // node left the cache or is no longer dirty is skipped.
  std::vector<uint32_t> dirty_nodes_;
  std::vector<uint8_t> run_buffer_;  // node images of one write
  uint64_t node_reads_ = 0;
};

// The pad byte of a tag's keys: blank for character keys, 0 for binary keys.
constexpr uint8_t kCdxPadChar = 0x20;
constexpr uint8_t kCdxPadBinary = 0x00;

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_FILE_H_
