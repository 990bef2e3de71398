#include "tableengine/cdx_file.h"

#include <algorithm>
#include <cstring>

#include "tableengine/cdx_coding.h"
#include "tableengine/lock_protocol.h"

namespace pv {

CdxFile::Cached& CdxFile::NodeCache::Get(uint32_t offset) {
  size_t i = offset / kCdxBlockSize;
  if (i >= slots_.size()) slots_.resize(i + 1);
  if (!slots_[i]) {
    slots_[i] = std::make_unique<Cached>();
    ++count_;
  }
  return *slots_[i];
}

void CdxFile::NodeCache::Erase(uint32_t offset) {
  size_t i = offset / kCdxBlockSize;
  if (i < slots_.size() && slots_[i]) {
    slots_[i].reset();
    --count_;
  }
}

void CdxFile::NodeCache::Clear() {
  slots_.clear();
  count_ = 0;
}

CdxFile::CdxFile(std::unique_ptr<File> file, bool writable, bool exclusive)
    : file_(std::move(file)), writable_(writable), exclusive_(exclusive) {}

CdxFile::~CdxFile() {
  // Owners close explicitly to learn the result; this is the last resort.
  if (file_) Close().IgnoreError();
}

void CdxFile::DropCache() {
  cache_.Clear();
  dirty_nodes_.clear();
  ++generation_;
  ++cache_epoch_;
}

Status CdxFile::ReadExact(uint64_t offset, size_t n, uint8_t* buf) {
  size_t got = 0;
  Status s = file_->ReadAt(offset, n, reinterpret_cast<char*>(buf), &got);
  if (!s.ok()) return s;
  if (got != n) {
    return CdxCorruption("cdx " + file_->Path() + ": short read of " + std::to_string(n) +
                         " bytes at " + CdxHex(static_cast<uint32_t>(offset)));
  }
  return Status::OK();
}

Status CdxFile::CheckPointer(uint32_t offset, uint32_t length, const char* what) const {
  if (offset % kCdxBlockSize != 0 || static_cast<uint64_t>(offset) + length > size_) {
    return CdxCorruption("cdx " + file_->Path() + ": " + what + " pointer " + CdxHex(offset) +
                         " outside the file (size " + std::to_string(size_) + ")");
  }
  return Status::OK();
}

Status CdxFile::Format() {
  Status s = file_->Truncate(0);
  if (!s.ok()) return s;
  CdxHeader dir;
  dir.root = kCdxHeaderSize;
  dir.key_length = 10;
  uint8_t buf[kCdxHeaderSize + kCdxBlockSize];
  dir.Encode(buf);
  CdxNode root;
  root.Encode(dir.key_length, kCdxPadChar, buf + kCdxHeaderSize);
  s = file_->WriteAt(0, reinterpret_cast<const char*>(buf), sizeof buf);
  DropCache();
  counter_ = 0;
  size_ = sizeof buf;
  known_ = s.ok();
  return s;
}

Status CdxFile::Enter(bool write) {
  if (write && !writable_) return Status::InvalidArgument("cdx " + file_->Path() + ": read only");
  if (depth_ > 0) {
    if (write && !write_scope_) {
      return Status::InvalidArgument("cdx: write inside a read scope");
    }
    ++depth_;
    return Status::OK();
  }
  if (exclusive_) {
    // Nobody else changes the file: size and counter are read once, and the
    // cache is the index. It is only bounded here, with everything pending
    // written first.
    if (!known_) {
      Status s = ReadCounterAndSize(&counter_, &size_);
      if (!s.ok()) return s;
      known_ = true;
    }
    if (cache_.size() > max_cached_) {
      Status s = FlushPending();
      if (!s.ok()) return s;
      Trim();
    }
    depth_ = 1;
    write_scope_ = write;
    return Status::OK();
  }
  Status s = file_->LockRange(kLockIndexByte, 1, write ? LockKind::kExclusive : LockKind::kShared,
                              LockWait::kBlock);
  if (!s.ok()) return s;
  uint32_t c = 0;
  uint64_t size = 0;
  s = ReadCounterAndSize(&c, &size);
  if (!s.ok()) {
    // The read's error is the one to report; a lock that stays goes with
    // the file.
    file_->UnlockRange(kLockIndexByte, 1).IgnoreError();
    return s;
  }
  // Pointers from ReadNode live until the scope ends, so the cache is only
  // ever emptied here, between operations.
  if (c != counter_ || size != size_) {
    DropCache();
    counter_ = c;
    size_ = size;
  } else if (cache_.size() > max_cached_) {
    Trim();  // nothing is pending outside a scope in shared use
  }
  depth_ = 1;
  write_scope_ = write;
  dirty_ = false;
  return Status::OK();
}

void CdxFile::Trim() {
  // Second chance: leaves used since the last trim stay, others go; then, if
  // that was not enough, every leaf; interior nodes (few, and on every
  // descent) only when they alone fill the cache. What goes is what the file
  // holds, so positions and roots stay valid.
  const size_t target = max_cached_ / 4 * 3;
  for (int pass = 0; pass < 3 && cache_.size() > target; ++pass) {
    cache_.EraseIf([pass](Cached& c) {
      const bool leaf = c.node.is_leaf();
      const bool keep = c.dirty || (pass == 0 && (c.used || !leaf)) || (pass == 1 && !leaf);
      c.used = false;
      return !keep;
    });
  }
}

Status CdxFile::StillCurrent(bool* current) {
  *current = false;
  if (depth_ > 0) return Status::OK();
  if (exclusive_) {
    *current = true;
    return Status::OK();
  }
  uint32_t counter = 0;
  uint64_t size = 0;
  Status s = ReadCounterAndSize(&counter, &size);
  if (s.ok()) *current = counter == counter_ && size == size_;
  return s;
}

Status CdxFile::ReadCounterAndSize(uint32_t* counter, uint64_t* size) {
  uint8_t bytes[4];
  Status s = file_->Size(size);
  if (s.ok()) s = ReadExact(8, 4, bytes);
  if (s.ok()) *counter = GetBe32(bytes);
  return s;
}

const CdxNode* CdxFile::CachedNode(uint32_t offset) const {
  const Cached* c = cache_.Find(offset);
  return c == nullptr ? nullptr : &c->node;
}

Status CdxFile::WriteDirectoryCounter() {
  uint8_t counter[4];
  PutBe32(counter, ++counter_);
  return file_->WriteAt(8, reinterpret_cast<const char*>(counter), 4);
}

Status CdxFile::Leave() {
  if (depth_ == 0) return Status::InvalidArgument("cdx: leave without enter");
  if (--depth_ > 0) return Status::OK();
  write_scope_ = false;
  if (exclusive_) return dirty_nodes_.size() > max_dirty_ ? FlushPending() : Status::OK();
  Status s = FlushPending();
  Status u = file_->UnlockRange(kLockIndexByte, 1);
  return s.ok() ? u : s;
}

Status CdxFile::FlushPending() {
  Status s = FlushNodes();
  if (dirty_) {
    if (s.ok()) s = WriteDirectoryCounter();
    dirty_ = false;
  }
  return s;
}

Status CdxFile::ReadHeader(uint32_t offset, CdxHeader* out) {
  Status s = CheckPointer(offset, kCdxHeaderSize, "tag header");
  uint8_t buf[kCdxHeaderSize];
  if (s.ok()) s = ReadExact(offset, sizeof buf, buf);
  if (s.ok()) s = CdxHeader::Decode(buf, offset, out);
  return s;
}

Status CdxFile::WriteHeader(uint32_t offset, const CdxHeader& header) {
  uint8_t buf[kCdxHeaderSize];
  header.Encode(buf);
  if (offset == 0) PutBe32(buf + 8, counter_);  // the counter belongs to this object
  Status s = file_->WriteAt(offset, reinterpret_cast<const char*>(buf), sizeof buf);
  if (s.ok()) {
    dirty_ = true;
    ++generation_;
    if (offset + kCdxHeaderSize > size_) size_ = offset + kCdxHeaderSize;
  }
  return s;
}

Status CdxFile::ReadNode(uint32_t offset, int32_t key_length, uint8_t pad, const CdxNode** out) {
  if (Cached* c = cache_.Find(offset)) {
    if (c->key_length == key_length && c->pad == pad) {
      c->used = true;
      *out = &c->node;
      return Status::OK();
    }
    return CdxCorruption("cdx node " + CdxHex(offset) + " belongs to two tags");
  }
  Status s = CheckPointer(offset, kCdxBlockSize, "node");
  if (!s.ok() || offset < kCdxHeaderSize) {
    return s.ok() ? CdxCorruption("cdx node pointer " + CdxHex(offset) + " inside the file header")
                  : s;
  }
  uint8_t buf[kCdxBlockSize];
  s = ReadExact(offset, sizeof buf, buf);
  if (!s.ok()) return s;
  ++node_reads_;
  Cached& c = cache_.Get(offset);
  s = CdxNode::Decode(buf, offset, key_length, pad, &c.node);
  if (!s.ok()) {
    cache_.Erase(offset);
    return s;
  }
  c.key_length = key_length;
  c.pad = pad;
  c.dirty = false;
  c.used = true;
  *out = &c.node;
  return Status::OK();
}

Status CdxFile::WriteNode(uint32_t offset, const CdxNode& node, int32_t key_length, uint8_t pad) {
  if (!write_scope_) return Status::InvalidArgument("cdx: node written outside a writing scope");
  if (!node.Fits(key_length, pad)) {
    return Status::InvalidArgument("cdx node " + CdxHex(offset) + ": entries do not fit");
  }
  Cached& slot = cache_.Get(offset);
  slot.key_length = key_length;
  slot.pad = pad;
  slot.used = true;
  if (!slot.dirty) {
    slot.dirty = true;
    dirty_nodes_.push_back(offset);
  }
  if (&slot.node != &node) slot.node = node;
  dirty_ = true;
  ++generation_;
  if (offset + kCdxBlockSize > size_) size_ = offset + kCdxBlockSize;
  return Status::OK();
}

Status CdxFile::FlushNodes() {
  Status s;
  // In file order, neighbouring nodes in one write: appends allocate nodes
  // one after the other at the end of the file.
  std::sort(dirty_nodes_.begin(), dirty_nodes_.end());
  constexpr size_t kMaxRun = 64;
  uint32_t run_start = 0;
  size_t run_nodes = 0;
  auto write_run = [&]() {
    Status w;
    if (run_nodes > 0) {
      w = file_->WriteAt(run_start, reinterpret_cast<const char*>(run_buffer_.data()),
                         run_nodes * kCdxBlockSize);
    }
    run_nodes = 0;
    return w;
  };
  for (uint32_t offset : dirty_nodes_) {
    Cached* c = cache_.Find(offset);
    if (c == nullptr || !c->dirty) continue;
    c->dirty = false;
    if (run_nodes > 0 &&
        (offset != run_start + run_nodes * kCdxBlockSize || run_nodes == kMaxRun)) {
      if (!(s = write_run()).ok()) break;
    }
    if (run_nodes == 0) run_start = offset;
    run_buffer_.resize((run_nodes + 1) * kCdxBlockSize);
    c->node.Encode(c->key_length, c->pad, run_buffer_.data() + run_nodes * kCdxBlockSize);
    ++run_nodes;
  }
  if (s.ok()) s = write_run();
  dirty_nodes_.clear();
  // What is cached may now differ from the file: read it again next time.
  if (!s.ok()) DropCache();
  return s;
}

Status CdxFile::AllocateBlocks(uint32_t blocks, uint32_t* offset) {
  uint8_t head[4];
  Status s = ReadExact(4, 4, head);
  if (!s.ok()) return s;
  uint32_t free_node = GetLe32(head);
  if (blocks == 1 && free_node != 0 && free_node != kCdxNone) {
    s = CheckPointer(free_node, kCdxBlockSize, "free list");
    uint8_t next[4];
    if (s.ok()) s = ReadExact(free_node, 4, next);
    if (s.ok() && GetLe32(next) == free_node) {
      s = CdxCorruption("cdx free list: node " + CdxHex(free_node) + " points to itself");
    }
    if (s.ok()) s = file_->WriteAt(4, reinterpret_cast<const char*>(next), 4);
    if (!s.ok()) return s;
    cache_.Erase(free_node);
    dirty_ = true;
    *offset = free_node;
    return Status::OK();
  }
  const uint64_t end = AppendOffset();
  if (end + static_cast<uint64_t>(blocks) * kCdxBlockSize >= kLockIndexByte) {
    return Status::IOError("cdx " + file_->Path() + ": index file full");
  }
  *offset = static_cast<uint32_t>(end);
  // The blocks are claimed in size_ at once; the file grows when the node
  // (flushed with the scope) or the header (written at once) is written.
  size_ = end + static_cast<uint64_t>(blocks) * kCdxBlockSize;
  dirty_ = true;
  return Status::OK();
}

Status CdxFile::AppendNodes(const uint8_t* images, uint32_t count) {
  if (!write_scope_) return Status::InvalidArgument("cdx: nodes appended outside a writing scope");
  const uint64_t end = AppendOffset();
  if (end + static_cast<uint64_t>(count) * kCdxBlockSize >= kLockIndexByte) {
    return Status::IOError("cdx " + file_->Path() + ": index file full");
  }
  Status s = file_->WriteAt(end, reinterpret_cast<const char*>(images),
                            static_cast<size_t>(count) * kCdxBlockSize);
  if (!s.ok()) return s;
  size_ = end + static_cast<uint64_t>(count) * kCdxBlockSize;
  dirty_ = true;
  ++generation_;
  return Status::OK();
}

Status CdxFile::FreeNode(uint32_t offset) {
  uint8_t head[4];
  Status s = ReadExact(4, 4, head);
  if (!s.ok()) return s;
  uint8_t block[kCdxBlockSize] = {};
  std::memcpy(block, head, 4);  // the next free node
  s = file_->WriteAt(offset, reinterpret_cast<const char*>(block), sizeof block);
  if (s.ok()) {
    PutLe32(head, offset);
    s = file_->WriteAt(4, reinterpret_cast<const char*>(head), 4);
  }
  cache_.Erase(offset);
  dirty_ = true;
  ++generation_;
  return s;
}

Status CdxFile::Flush() {
  if (depth_ > 0) return Status::InvalidArgument("cdx: flush inside an operation");
  return FlushPending();
}

Status CdxFile::Close() {
  if (!file_) return Status::OK();
  Status s = depth_ == 0 ? FlushPending() : Status::OK();
  Status c = file_->Close();
  file_.reset();
  return s.ok() ? c : s;
}

}  // namespace pv
