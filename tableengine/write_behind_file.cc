#include "tableengine/write_behind_file.h"

#include <algorithm>
#include <cstring>

namespace pv {

WriteBehindFile::~WriteBehindFile() {
  // Close was not called (an error path closing the table's files anyway):
  // the gathered bytes still go to the file, as the unwrapped file's writes
  // would have.
  Drain().IgnoreError();
}

Status WriteBehindFile::Drain() {
  if (pending_.empty()) return Status::OK();
  Status s = file_->WriteAt(start_, pending_.data(), pending_.size());
  if (s.ok()) pending_.clear();
  return s;
}

Status WriteBehindFile::WriteAt(uint64_t offset, const char* data, size_t n) {
  const bool joins = !pending_.empty() && offset >= start_ && offset <= start_ + pending_.size();
  if (!joins) {
    Status s = Drain();
    if (s.ok() && !size_known_) s = file_->Size(&size_);
    if (!s.ok()) return s;
    size_known_ = true;
    if (offset + n <= size_) return file_->WriteAt(offset, data, n);
    start_ = offset;
  }
  const size_t at = static_cast<size_t>(offset - start_);
  if (at + n > pending_.size()) pending_.resize(at + n);
  std::memcpy(pending_.data() + at, data, n);
  size_ = std::max<uint64_t>(size_, start_ + pending_.size());
  return pending_.size() >= kWriteBehindBytes ? Drain() : Status::OK();
}

Status WriteBehindFile::ReadAt(uint64_t offset, size_t n, char* buf, size_t* got) {
  Status s = Drain();
  return s.ok() ? file_->ReadAt(offset, n, buf, got) : s;
}

Status WriteBehindFile::Size(uint64_t* size) {
  Status s = Drain();
  return s.ok() ? file_->Size(size) : s;
}

Status WriteBehindFile::Truncate(uint64_t size) {
  Status s = Drain();
  if (s.ok()) s = file_->Truncate(size);
  size_known_ = false;  // read again at the next write
  return s;
}

Status WriteBehindFile::Sync() {
  Status s = Drain();
  return s.ok() ? file_->Sync() : s;
}

Status WriteBehindFile::LockRange(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) {
  Status s = Drain();
  return s.ok() ? file_->LockRange(offset, length, kind, wait) : s;
}

Status WriteBehindFile::UnlockRange(uint64_t offset, uint64_t length) {
  Status s = Drain();
  return s.ok() ? file_->UnlockRange(offset, length) : s;
}

Status WriteBehindFile::Close() {
  Status s = Drain();
  pending_.clear();  // what could not be written is reported here, once
  Status c = file_->Close();
  return s.ok() ? c : s;
}

}  // namespace pv
