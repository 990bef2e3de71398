#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "foundation/platform/file_identity.h"
#include "foundation/platform/path_resolve.h"

namespace pv {

Status GetFileIdentity(const std::string& given, FileIdentity* id) {
  std::string path = ResolvePath(given);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    int err = errno;
    std::string msg = "stat " + path + ": " + std::strerror(err);
    return err == ENOENT ? Status::NotFound(msg) : Status::IOError(msg);
  }
  id->device = static_cast<uint64_t>(st.st_dev);
  id->inode = static_cast<uint64_t>(st.st_ino);
  id->size = static_cast<uint64_t>(st.st_size);
  id->mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return Status::OK();
}

}  // namespace pv
