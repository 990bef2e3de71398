#include "serverlink/server_clock.h"

#include <cmath>

#include "foundation/platform/clock.h"

namespace {

uint32_t ClampPcTime(double seconds) {
  if (!(seconds > 0)) return 0;  // also NaN
  if (seconds >= 4294967295.0) return UINT32_MAX;
  return static_cast<uint32_t>(seconds);
}

class SystemSource final : public RealTimeSource {
 public:
  int64_t NowMicros() override { return pv::UtcNowMicros(); }
  int32_t LocalOffsetAt(int64_t utc_seconds) override { return pv::LocalUtcOffsetAt(utc_seconds); }
};

}  // namespace

RealTimeSource::~RealTimeSource() = default;

RealTimeSource* SystemTimeSource() {
  static SystemSource source;
  return &source;
}

uint32_t ServerUtTime(const StoreClockConfig& clock, RealTimeSource* source) {
  int64_t now_us = source->NowMicros();
  if (!clock.has_start) return ClampPcTime(std::floor(static_cast<double>(now_us) / 1e6));
  // Both terms are below 2^53, so the difference is exact in a double.
  double real_elapsed = static_cast<double>(now_us - clock.started_at * 1000000) / 1e6;
  return ClampPcTime(static_cast<double>(clock.start) + std::floor(real_elapsed * clock.rate));
}

uint32_t ServerLtTime(const StoreClockConfig& clock, RealTimeSource* source) {
  uint32_t ut = ServerUtTime(clock, source);
  int32_t offset = clock.has_local_offset ? clock.local_offset : source->LocalOffsetAt(ut);
  return ClampPcTime(static_cast<double>(ut) + offset);
}
