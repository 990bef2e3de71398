// Clocks: wall-clock UTC, the local time-zone offset, and the tick count.
//
// Local time is UTC plus LocalUtcOffsetAt(): callers that need a local
// calendar time add the offset themselves, so every calendar calculation of
// the system stays in one place (ZrTime) and never depends on the OS's
// broken-down time.
#ifndef PV_FOUNDATION_PLATFORM_CLOCK_H_
#define PV_FOUNDATION_PLATFORM_CLOCK_H_

#include <cstdint>

namespace pv {

// Microseconds since 1970-01-01 00:00:00 UTC (the system's wall clock).
int64_t UtcNowMicros();

// Seconds to add to a UTC time to get this machine's local time at that
// moment (daylight saving included); 0 when the zone is unknown.
int32_t LocalUtcOffsetAt(int64_t utc_seconds);

// Milliseconds since the system started, wrapping after 2^32 ms (49.7 days)
// like the Windows tick count. Monotonic; only differences are meaningful.
uint32_t TickCountMillis();

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_CLOCK_H_
