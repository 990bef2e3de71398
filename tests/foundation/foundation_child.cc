// foundation_child: the other process of the foundation tests that need two.
//
//   mutex-hold NAME          takes the named mutex, prints "held", waits to be killed
//   mutex-count NAME FILE N  N times, under the mutex: adds 1 to the number in FILE
//   pool NAME                attaches to the shared pool block NAME; exits with the
//                            attach count
//   keys N                   polls the keyboard N times, prints the keys (-1: none)
//   utc-offset T...          prints the local UTC offset at each time
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "foundation/platform/clock.h"
#include "foundation/platform/keyboard.h"
#include "foundation/platform/named_mutex.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_granularity.h"

namespace {

std::unique_ptr<pv::NamedMutex> Open(const char* name) {
  std::unique_ptr<pv::NamedMutex> m;
  if (!pv::NamedMutex::Open(name, &m).ok()) std::exit(3);
  return m;
}

// Adds 1 to the decimal number in `path` under the mutex, `rounds` times:
// a lost update shows two processes inside at once.
int Count(const char* name, const char* path, int rounds) {
  std::unique_ptr<pv::NamedMutex> m = Open(name);
  for (int i = 0; i < rounds; ++i) {
    if (!m->Lock(pv::kWaitForever).ok()) return 4;
    long value = 0;
    std::ifstream(path) >> value;
    if (!(std::ofstream(path, std::ios::trunc) << value + 1)) return 5;
    if (!m->Unlock().ok()) return 6;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "mutex-hold") {
    std::unique_ptr<pv::NamedMutex> m = Open(argv[2]);
    if (!m->Lock(pv::kWaitForever).ok()) return 4;
    std::printf("held\n");
    std::fflush(stdout);
    for (int i = 0; i < 600; ++i) pv::SleepMillis(100);  // a test that died leaves no holder for long
    return 7;
  }
  if (mode == "mutex-count" && argc == 5) return Count(argv[2], argv[3], std::atoi(argv[4]));
  if (mode == "pool") return ZrGranularity::_AllocSharedMem(0x100000, argv[2]);
  if (mode == "keys") {
    for (int i = std::atoi(argv[2]); i > 0; --i) std::printf(i > 1 ? "%d " : "%d\n", pv::PollKey());
    return 0;
  }
  if (mode == "utc-offset") {
    for (int i = 2; i < argc; ++i) {
      std::printf(i + 1 < argc ? "%d " : "%d\n", pv::LocalUtcOffsetAt(std::atoll(argv[i])));
    }
    return 0;
  }
  std::fprintf(stderr, "usage: foundation_child mutex-hold|mutex-count|pool|keys|utc-offset ...\n");
  return 2;
}
