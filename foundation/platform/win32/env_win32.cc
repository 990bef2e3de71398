// The C runtime's environment; _putenv_s also sets the process environment
// that child processes inherit.
#include <stdlib.h>

#include <cerrno>
#include <cstring>

#include "foundation/platform/env.h"

namespace pv {

Status SetEnv(const char* name, const char* value) {
  // An empty value would remove the variable: Windows cannot hold one.
  if (*value == '\0') return Status::InvalidArgument(std::string("setenv ") + name + ": empty value");
  if (int rc = _putenv_s(name, value); rc != 0) {
    return Status::InvalidArgument(std::string("setenv ") + name + ": " + std::strerror(rc));
  }
  return Status::OK();
}

Status UnsetEnv(const char* name) {
  if (int rc = _putenv_s(name, ""); rc != 0) {
    return Status::InvalidArgument(std::string("unsetenv ") + name + ": " + std::strerror(rc));
  }
  return Status::OK();
}

}  // namespace pv
