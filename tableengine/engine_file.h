// FileSystem: how the table engine reaches its files.
//
// The engine opens, creates and removes its data, memo and index files only
// through a FileSystem, and reads and writes them only through the returned
// pv::File (foundation/platform/file.h: read at, write at, size, truncate,
// sync, lock range, unlock range, close). OsFileSystem() is the real one;
// MemFileSystem (mem_file_system.h) keeps files in memory and injects faults
// for tests and the fuzzer.
#ifndef PV_TABLEENGINE_ENGINE_FILE_H_
#define PV_TABLEENGINE_ENGINE_FILE_H_

#include <memory>
#include <string>

#include "foundation/platform/file.h"
#include "foundation/status.h"

namespace pv {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual Status Open(const std::string& path, const OpenOptions& options,
                      std::unique_ptr<File>* out) = 0;
  virtual Status Remove(const std::string& path) = 0;
  // Renames a file, replacing `to` atomically when it exists.
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  // Forces a directory's entries (a rename or creation inside it) to storage.
  virtual Status SyncDir(const std::string& dir) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // The path under which an existing file is found (case-insensitive
  // resolution), or the path as given for a file that does not exist.
  virtual std::string Resolve(const std::string& path) = 0;
};

// The operating system's files through the platform layer. Never deleted.
FileSystem* OsFileSystem();

}  // namespace pv

#endif  // PV_TABLEENGINE_ENGINE_FILE_H_
