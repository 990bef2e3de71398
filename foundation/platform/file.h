// File: an open file of the operating system, read and written at offsets,
// with byte-range locks shared between processes.
//
// Paths: "\" and "/" are both separators; every component that exists is
// found without regard to case when the exact name is missing (see
// path_resolve.h). OpenFile, RemoveFile, RenameFile, PathExists and
// ListDirectory all resolve their paths that way.
//
// Locks belong to the open File (like a Windows handle), not to the process:
// two Files of one process conflict with each other, and closing one File
// never drops the locks of another. Locks are advisory: they stop other lock
// requests, never reads or writes.
//
// Sharing: a File opened with `share_none` holds the file for itself for as
// long as it is open; while it is, every other open of the file (shared or
// not) fails with Busy, and a share_none open fails with Busy while anyone
// else has the file open through this layer. Plain opens share the file.
//
// Thread safety: one File may be used by one thread at a time.
#ifndef PV_FOUNDATION_PLATFORM_FILE_H_
#define PV_FOUNDATION_PLATFORM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/status.h"

namespace pv {

enum class LockKind {
  kShared,     // many holders at once; conflicts with an exclusive lock
  kExclusive,  // conflicts with every other lock on an overlapping range
};

enum class LockWait {
  kNoWait,  // fail at once with Busy when the range is held elsewhere
  kBlock,   // wait until the range is free
};

struct OpenOptions {
  bool write = false;       // open for reading and writing (else reading only)
  bool create = false;      // create the file when it does not exist (needs write)
  bool truncate = false;    // empty an existing file (needs write)
  bool exclusive = false;   // with create: fail (InvalidArgument) when the file exists
  bool share_none = false;  // hold the file for this File alone (see above)
};

class File {
 public:
  File() = default;
  virtual ~File();  // closes the file when still open; errors are lost
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads up to n bytes at offset into buf; *got receives the number read,
  // which is less than n only at the end of the file.
  virtual Status ReadAt(uint64_t offset, size_t n, char* buf, size_t* got) = 0;
  // Writes all n bytes at offset, extending the file when needed.
  virtual Status WriteAt(uint64_t offset, const char* data, size_t n) = 0;
  virtual Status Size(uint64_t* size) = 0;
  virtual Status Truncate(uint64_t size) = 0;
  // Forces written data to the storage device.
  virtual Status Sync() = 0;
  // Locks bytes [offset, offset + length) (length 0: to the end of any
  // possible file). Busy when held elsewhere and wait is kNoWait. A File may
  // convert its own lock between shared and exclusive.
  virtual Status LockRange(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) = 0;
  virtual Status UnlockRange(uint64_t offset, uint64_t length) = 0;
  // Releases the file and all its locks. Further calls fail.
  virtual Status Close() = 0;
  // The path as resolved when the file was opened.
  virtual const std::string& Path() const = 0;
};

// Opens (and with options.create creates) a file. NotFound when it does not
// exist and create is off; Busy when a share_none File holds it (or, for a
// share_none open, when another File has it open).
Status OpenFile(const std::string& path, const OpenOptions& options, std::unique_ptr<File>* out);

Status RemoveFile(const std::string& path);
// Replaces `to` atomically when it exists.
Status RenameFile(const std::string& from, const std::string& to);
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Names of the entries of a directory, without "." and "..", in no order.
Status ListDirectory(const std::string& dir, std::vector<std::string>* names);
// Forces a directory's entries (a rename or creation inside it) to storage.
Status SyncDirectory(const std::string& dir);

// Replaces the file at path with contents so that a reader sees either the
// old or the new file, never a mix, and a crash loses neither: writes
// path + ".tmp", syncs it, renames it over path and syncs the directory.
Status WriteFileAtomically(const std::string& path, const std::string& contents);
// Reads a whole file.
Status ReadWholeFile(const std::string& path, std::string* contents);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_FILE_H_
