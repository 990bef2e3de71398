// mutex_holder: the other process of the owner-death test. Takes a named
// mutex and ends without releasing it, as a killed control-system program
// would; the next waiter must get it, marked abandoned.
//
//   mutex_holder NAME
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "foundation/platform/named_mutex.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mutex_holder NAME\n");
    return 2;
  }
  std::unique_ptr<pv::NamedMutex> m;
  if (!pv::NamedMutex::Open(argv[1], &m).ok() || !m->Lock(pv::kWaitForever).ok()) return 1;
  std::fflush(nullptr);
  std::_Exit(0);  // no unlock, no destructors: the owner is gone
}
