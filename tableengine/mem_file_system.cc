#include "tableengine/mem_file_system.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pv {

struct MemFileSystem::Node {
  std::string bytes;
  struct Lock {
    const void* owner;
    uint64_t start, end;  // [start, end)
    LockKind kind;
  };
  std::vector<Lock> locks;
  int32_t opens = 0;
  bool held_alone = false;
};

namespace {

uint64_t RangeEnd(uint64_t offset, uint64_t length) {
  return length == 0 ? UINT64_MAX : offset + length;
}

class MemFile final : public File {
 public:
  MemFile(MemFileSystem* fs, std::shared_ptr<MemFileSystem::Node> node, std::string path, bool write)
      : fs_(fs), node_(std::move(node)), path_(std::move(path)), write_(write) {}
  ~MemFile() override { Close().IgnoreError(); }  // cannot fail in memory

  Status ReadAt(uint64_t offset, size_t n, char* buf, size_t* got) override {
    *got = 0;
    if (!node_) return Closed();
    if (fs_->ShouldFail(MemFileSystem::Op::kRead)) return Status::IOError("read " + path_ + ": injected fault");
    const std::string& b = node_->bytes;
    if (offset >= b.size()) return Status::OK();
    size_t avail = std::min<size_t>(n, b.size() - static_cast<size_t>(offset));
    if (fs_->max_read() != 0) avail = std::min(avail, fs_->max_read());
    std::memcpy(buf, b.data() + offset, avail);
    *got = avail;
    return Status::OK();
  }

  Status WriteAt(uint64_t offset, const char* data, size_t n) override {
    if (!node_) return Closed();
    if (!write_) return Status::IOError("write " + path_ + ": file opened for reading");
    if (fs_->ShouldFail(MemFileSystem::Op::kWrite)) return Status::IOError("write " + path_ + ": injected fault");
    std::string& b = node_->bytes;
    uint64_t end = offset + n;
    if (end > b.size() && fs_->WouldExceed(end - b.size())) {
      return Status::IOError("write " + path_ + ": No space left on device");
    }
    if (end > b.size()) b.resize(static_cast<size_t>(end), '\0');
    std::memcpy(b.data() + offset, data, n);
    return Status::OK();
  }

  Status Size(uint64_t* size) override {
    if (!node_) return Closed();
    *size = node_->bytes.size();
    return Status::OK();
  }

  Status Truncate(uint64_t size) override {
    if (!node_) return Closed();
    if (fs_->ShouldFail(MemFileSystem::Op::kTruncate)) return Status::IOError("truncate " + path_ + ": injected fault");
    node_->bytes.resize(static_cast<size_t>(size), '\0');
    return Status::OK();
  }

  Status Sync() override {
    if (!node_) return Closed();
    if (fs_->ShouldFail(MemFileSystem::Op::kSync)) return Status::IOError("sync " + path_ + ": injected fault");
    return Status::OK();
  }

  Status LockRange(uint64_t offset, uint64_t length, LockKind kind, LockWait) override {
    if (!node_) return Closed();
    if (fs_->ShouldFail(MemFileSystem::Op::kLock)) return Status::IOError("lock " + path_ + ": injected fault");
    const uint64_t end = RangeEnd(offset, length);
    for (const auto& l : node_->locks) {
      if (l.owner == this || l.end <= offset || l.start >= end) continue;
      if (kind == LockKind::kExclusive || l.kind == LockKind::kExclusive) {
        // In memory nobody could release it while we wait: no blocking.
        return Status::Busy("lock " + path_ + ": held by another file");
      }
    }
    Unlock(offset, end);
    node_->locks.push_back({this, offset, end, kind});
    return Status::OK();
  }

  Status UnlockRange(uint64_t offset, uint64_t length) override {
    if (!node_) return Closed();
    Unlock(offset, RangeEnd(offset, length));
    return Status::OK();
  }

  Status Close() override {
    if (!node_) return Status::OK();
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(), [this](const auto& l) { return l.owner == this; }),
                locks.end());
    node_->opens--;
    if (alone_) node_->held_alone = false;
    node_.reset();
    return Status::OK();
  }

  const std::string& Path() const override { return path_; }
  void set_alone(bool alone) { alone_ = alone; }

 private:
  Status Closed() { return Status::InvalidArgument(path_ + ": file is closed"); }

  // Removes this file's locks inside [start, end), splitting where needed.
  void Unlock(uint64_t start, uint64_t end) {
    std::vector<MemFileSystem::Node::Lock> kept;
    for (const auto& l : node_->locks) {
      if (l.owner != this || l.end <= start || l.start >= end) {
        kept.push_back(l);
        continue;
      }
      if (l.start < start) kept.push_back({this, l.start, start, l.kind});
      if (l.end > end) kept.push_back({this, end, l.end, l.kind});
    }
    node_->locks.swap(kept);
  }

  MemFileSystem* fs_;
  std::shared_ptr<MemFileSystem::Node> node_;
  std::string path_;
  bool write_;
  bool alone_ = false;
};

}  // namespace

MemFileSystem::MemFileSystem() = default;
MemFileSystem::~MemFileSystem() = default;

bool MemFileSystem::ShouldFail(Op op) {
  Fault& f = faults_[static_cast<int>(op)];
  if (f.failing) return true;
  if (f.countdown < 0) return false;
  if (f.countdown-- > 0) return false;
  f.failing = f.persistent;
  f.countdown = -1;
  return true;
}

bool MemFileSystem::WouldExceed(uint64_t growth) const {
  uint64_t total = 0;
  for (const auto& [path, node] : files_) total += node->bytes.size();
  return total + growth > capacity_;
}

void MemFileSystem::FailAfter(Op op, int32_t n, bool persistent) {
  Fault& f = faults_[static_cast<int>(op)];
  f.countdown = n;
  f.persistent = persistent;
  f.failing = false;
}

void MemFileSystem::ClearFaults() {
  for (Fault& f : faults_) f = Fault();
}

std::string& MemFileSystem::Contents(const std::string& path) {
  auto& node = files_[path];
  if (!node) node = std::make_shared<Node>();
  return node->bytes;
}

Status MemFileSystem::Open(const std::string& path, const OpenOptions& options, std::unique_ptr<File>* out) {
  out->reset();
  if (ShouldFail(Op::kOpen)) return Status::IOError("open " + path + ": injected fault");
  auto it = files_.find(path);
  if (it == files_.end()) {
    if (!options.create) return Status::NotFound("open " + path + ": No such file or directory");
    it = files_.emplace(path, std::make_shared<Node>()).first;
  } else if (options.create && options.exclusive) {
    return Status::InvalidArgument("create " + path + ": file exists");
  }
  Node& node = *it->second;
  if (node.held_alone || (options.share_none && node.opens > 0)) {
    return Status::Busy("open " + path + ": file is in use by another process");
  }
  if (options.truncate && options.write) node.bytes.clear();
  node.opens++;
  auto* f = new MemFile(this, it->second, path, options.write);
  if (options.share_none) {
    node.held_alone = true;
    f->set_alone(true);
  }
  out->reset(f);
  return Status::OK();
}

Status MemFileSystem::Remove(const std::string& path) {
  if (ShouldFail(Op::kRemove)) return Status::IOError("remove " + path + ": injected fault");
  if (files_.erase(path) == 0) return Status::NotFound("remove " + path + ": No such file or directory");
  return Status::OK();
}

Status MemFileSystem::Rename(const std::string& from, const std::string& to) {
  if (ShouldFail(Op::kRename)) return Status::IOError("rename " + from + ": injected fault");
  auto it = files_.find(from);
  if (it == files_.end()) return Status::NotFound("rename " + from + ": No such file or directory");
  std::shared_ptr<Node> node = it->second;  // open Files keep using it
  files_.erase(it);
  files_[to] = std::move(node);
  return Status::OK();
}

Status MemFileSystem::SyncDir(const std::string& dir) {
  if (ShouldFail(Op::kSyncDir)) return Status::IOError("sync " + dir + ": injected fault");
  return Status::OK();
}

bool MemFileSystem::Exists(const std::string& path) { return files_.count(path) != 0; }

}  // namespace pv
