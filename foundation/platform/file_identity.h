// FileIdentity: what tells a reader that a file was replaced or changed
// without reading it: device and inode (an atomic rename gives a new inode),
// size and modification time in nanoseconds.
#ifndef PV_FOUNDATION_PLATFORM_FILE_IDENTITY_H_
#define PV_FOUNDATION_PLATFORM_FILE_IDENTITY_H_

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace pv {

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t mtime_ns = 0;

  bool operator==(const FileIdentity&) const = default;
};

// Identity of the file at path (resolved like OpenFile's paths). NotFound when
// it does not exist.
Status GetFileIdentity(const std::string& path, FileIdentity* id);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_FILE_IDENTITY_H_
