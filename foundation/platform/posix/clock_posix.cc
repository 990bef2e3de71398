#include <sys/time.h>
#include <time.h>

#include "foundation/platform/clock.h"

namespace pv {

int64_t UtcNowMicros() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int32_t LocalUtcOffsetAt(int64_t utc_seconds) {
  time_t t = static_cast<time_t>(utc_seconds);
  struct tm local;
  if (localtime_r(&t, &local) == nullptr) return 0;
  return static_cast<int32_t>(local.tm_gmtoff);
}

uint32_t TickCountMillis() {
  // CLOCK_BOOTTIME counts from boot and includes suspended time, as the
  // Windows tick count does.
  struct timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
  return static_cast<uint32_t>(ms);  // wraps like the Windows tick count
}

}  // namespace pv
