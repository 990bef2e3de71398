// WriteBehindFile: a pv::File that gathers the writes extending the file
// (appended records, each starting inside or at the end of the bytes
// gathered so far) and writes them in one call once kWriteBehindBytes are
// gathered, or before any other operation on the file: a read, a size, a
// truncate, a sync, a lock, a write elsewhere, the close. A write inside the
// file as it stands (a changed record) goes through at once, after the
// gathered bytes, so its failure is reported by the call that made it. So
// whoever holds the File sees its own writes, and nobody else can look: it
// wraps only files opened share_none (a table in exclusive use, table.h),
// where it turns the one write per appended record into one write per run
// of records.
//
// A failed write of gathered bytes is reported by the operation that makes
// it (the write that fills the buffer, or the read, sync or close after
// it); the bytes stay gathered, so the next operation tries again and
// nothing is dropped.
#ifndef PV_TABLEENGINE_WRITE_BEHIND_FILE_H_
#define PV_TABLEENGINE_WRITE_BEHIND_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/platform/file.h"

namespace pv {

constexpr size_t kWriteBehindBytes = 256u << 10;

class WriteBehindFile : public File {
 public:
  explicit WriteBehindFile(std::unique_ptr<File> file) : file_(std::move(file)) {}
  ~WriteBehindFile() override;

  Status ReadAt(uint64_t offset, size_t n, char* buf, size_t* got) override;
  Status WriteAt(uint64_t offset, const char* data, size_t n) override;
  Status Size(uint64_t* size) override;
  Status Truncate(uint64_t size) override;
  Status Sync() override;
  Status LockRange(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) override;
  Status UnlockRange(uint64_t offset, uint64_t length) override;
  Status Close() override;
  const std::string& Path() const override { return file_->Path(); }

 private:
  // Writes the gathered bytes; they stay gathered when that fails.
  Status Drain();

  std::unique_ptr<File> file_;
  std::string pending_;  // bytes gathered for offset start_ on
  uint64_t start_ = 0;
  uint64_t size_ = 0;  // of the file with the gathered bytes, once known
  bool size_known_ = false;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_WRITE_BEHIND_FILE_H_
