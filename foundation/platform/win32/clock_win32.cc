#include <windows.h>

#include "foundation/platform/clock.h"

namespace pv {

namespace {

// 100-ns intervals between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr int64_t kEpochDelta = 116444736000000000LL;

int64_t FromFileTime(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

FILETIME ToFileTime(int64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return ft;
}

}  // namespace

int64_t UtcNowMicros() {
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  return (FromFileTime(ft) - kEpochDelta) / 10;
}

// The offset the time-zone rules of this machine give for that moment (the
// daylight-saving rule of its year included).
int32_t LocalUtcOffsetAt(int64_t utc_seconds) {
  const int64_t utc_ticks = utc_seconds * 10000000LL + kEpochDelta;
  FILETIME utc_ft = ToFileTime(utc_ticks);
  SYSTEMTIME utc_st;
  SYSTEMTIME local_st;
  FILETIME local_ft;
  if (!FileTimeToSystemTime(&utc_ft, &utc_st) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc_st, &local_st) ||
      !SystemTimeToFileTime(&local_st, &local_ft)) {
    return 0;
  }
  return static_cast<int32_t>((FromFileTime(local_ft) - utc_ticks) / 10000000LL);
}

uint32_t TickCountMillis() { return GetTickCount(); }

}  // namespace pv
