// ServerClock: the process-data server's UT and LT clocks as the object store
// defines them.
//
// Without "start" in the store's [clock] section, UT is this machine's UTC
// clock. With it, the server clock runs from a chosen instant at a chosen
// speed:  UT = start + (now - started_at) x rate, rounded down to whole
// seconds, where now is this machine's real time. LT = UT + local_offset, the
// offset defaulting to this machine's time-zone offset at the instant UT.
// Results outside the 32-bit PcTime range are held at its ends.
#ifndef PV_SERVERLINK_SERVER_CLOCK_H_
#define PV_SERVERLINK_SERVER_CLOCK_H_

#include <cstdint>

#include "serverlink/store_document.h"

// Where the clocks get real time. Tests replace it to run on simulated time.
class RealTimeSource {
 public:
  virtual ~RealTimeSource();
  // Microseconds since 1970-01-01 00:00:00 UTC.
  virtual int64_t NowMicros() = 0;
  // Seconds to add to a UTC time to get this machine's local time at that UTC
  // instant (daylight saving included).
  virtual int32_t LocalOffsetAt(int64_t utc_seconds) = 0;
};

// The machine's clock and time zone, through the platform layer.
RealTimeSource* SystemTimeSource();

uint32_t ServerUtTime(const StoreClockConfig& clock, RealTimeSource* source);
uint32_t ServerLtTime(const StoreClockConfig& clock, RealTimeSource* source);

#endif  // PV_SERVERLINK_SERVER_CLOCK_H_
