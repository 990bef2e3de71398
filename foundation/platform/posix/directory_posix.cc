#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "foundation/platform/directory.h"
#include "foundation/platform/path_resolve.h"

namespace pv {

Status MakeDirectory(const std::string& path) {
  std::string resolved = ResolvePath(path);
  if (mkdir(resolved.c_str(), 0777) != 0) {
    std::string msg = "create directory " + resolved + ": " + std::strerror(errno);
    return errno == ENOENT ? Status::NotFound(msg) : Status::IOError(msg);
  }
  return Status::OK();
}

}  // namespace pv
