#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/platform/thread.h"

namespace pv {

void SleepMillis(uint32_t ms) {
  struct timespec req;
  req.tv_sec = ms / 1000;
  req.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  struct timespec rem;
  while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

void YieldThread() { sched_yield(); }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

uint32_t CurrentThreadId() { return static_cast<uint32_t>(gettid()); }

}  // namespace pv
