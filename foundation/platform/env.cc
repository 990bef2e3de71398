// The portable part of the environment: reading is the C library's on every
// platform; setting differs (<os>/env_*.cc).
#include "foundation/platform/env.h"

#include <cstdlib>

namespace pv {

bool GetEnv(const char* name, std::string* value) {
  const char* v = std::getenv(name);
  if (v == nullptr) return false;
  *value = v;
  return true;
}

}  // namespace pv
