#include <sys/statvfs.h>

#include <cerrno>

#include "foundation/platform/os_internal.h"
#include "foundation/platform/path_resolve.h"

namespace pv {

int DiskFreeSpaceFromOs(const std::string& path, uint64_t* free_to_caller, uint64_t* total,
                        uint64_t* total_free) {
  struct statvfs s;
  if (statvfs(ResolvePath(path).c_str(), &s) != 0) return errno;
  *free_to_caller = static_cast<uint64_t>(s.f_bavail) * s.f_frsize;
  *total = static_cast<uint64_t>(s.f_blocks) * s.f_frsize;
  *total_free = static_cast<uint64_t>(s.f_bfree) * s.f_frsize;
  return 0;
}

}  // namespace pv
