#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/platform/env.h"

namespace pv {

Status SetEnv(const char* name, const char* value) {
  if (::setenv(name, value, 1) != 0) {
    return Status::InvalidArgument(std::string("setenv ") + name + ": " + std::strerror(errno));
  }
  return Status::OK();
}

Status UnsetEnv(const char* name) {
  if (::unsetenv(name) != 0) {
    return Status::InvalidArgument(std::string("unsetenv ") + name + ": " + std::strerror(errno));
  }
  return Status::OK();
}

}  // namespace pv
