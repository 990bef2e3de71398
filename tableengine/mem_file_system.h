// MemFileSystem: files in memory, with injected faults, for tests and the
// fuzzer.
//
// Files are shared by every File opened on the same path; range locks and
// sharing follow the rules of foundation/platform/file.h (locks belong to the
// open File). Faults:
//   - FailAfter(op, n, persistent): the (n+1)-th call of op from now fails
//     with an IOError (n = 0: the next one); persistent: every later call too.
//   - set_max_read(n): reads return at most n bytes per call (short reads).
//   - set_capacity(n): writes that would make the files' total size exceed n
//     bytes fail as a full disk does, writing nothing.
// Paths are compared exactly; Resolve returns them unchanged.
#ifndef PV_TABLEENGINE_MEM_FILE_SYSTEM_H_
#define PV_TABLEENGINE_MEM_FILE_SYSTEM_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "tableengine/engine_file.h"

namespace pv {

class MemFileSystem final : public FileSystem {
 public:
  enum class Op { kOpen, kRead, kWrite, kSync, kLock, kTruncate, kRemove, kRename, kSyncDir, kCount };

  MemFileSystem();
  ~MemFileSystem() override;

  Status Open(const std::string& path, const OpenOptions& options, std::unique_ptr<File>* out) override;
  Status Remove(const std::string& path) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Status SyncDir(const std::string& dir) override;
  bool Exists(const std::string& path) override;
  std::string Resolve(const std::string& path) override { return path; }

  // Direct access to a file's bytes (created empty when missing).
  std::string& Contents(const std::string& path);
  void SetContents(const std::string& path, const std::string& bytes) { Contents(path) = bytes; }

  void FailAfter(Op op, int32_t n, bool persistent = false);
  void ClearFaults();
  void set_max_read(size_t n) { max_read_ = n; }
  void set_capacity(uint64_t bytes) { capacity_ = bytes; }

  struct Node;
  // For the files: true when op is to fail now (counts the call).
  bool ShouldFail(Op op);
  bool WouldExceed(uint64_t growth) const;
  size_t max_read() const { return max_read_; }

 private:
  std::map<std::string, std::shared_ptr<Node>> files_;
  struct Fault {
    int32_t countdown = -1;  // -1: none
    bool persistent = false;
    bool failing = false;
  } faults_[static_cast<int>(Op::kCount)];
  size_t max_read_ = 0;  // 0: no limit
  uint64_t capacity_ = UINT64_MAX;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_MEM_FILE_SYSTEM_H_
