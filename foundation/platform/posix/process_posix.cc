#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "foundation/platform/process.h"

namespace pv {

Status ExecutablePath(std::string* path) {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n < 0) return Status::IOError(std::string("readlink /proc/self/exe: ") + std::strerror(errno));
  if (static_cast<size_t>(n) >= buf.size()) return Status::IOError("readlink /proc/self/exe: path too long");
  path->assign(buf.data(), static_cast<size_t>(n));
  return Status::OK();
}

Status UserName(std::string* name) {
  struct passwd pw;
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  int rc = getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found);
  if (rc == 0 && found != nullptr) {
    *name = found->pw_name;
    return Status::OK();
  }
  // Containers often run under a uid without a passwd entry.
  if (const char* env = getenv("LOGNAME"); env != nullptr && *env != '\0') {
    *name = env;
    return Status::OK();
  }
  if (const char* env = getenv("USER"); env != nullptr && *env != '\0') {
    *name = env;
    return Status::OK();
  }
  return Status::NotFound("user name of uid " + std::to_string(geteuid()) + ": " +
                          (rc != 0 ? std::strerror(rc) : "no passwd entry"));
}

int32_t LastOsError() { return errno; }

void SetLastOsError(int32_t error) { errno = error; }

}  // namespace pv
