#include "foundation/zr_time.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/platform/clock.h"
#include "foundation/zr_throw.h"
#include "foundation/zr_time_internal.h"

using zr_time_internal::Add;
using zr_time_internal::Mul;
using zr_time_internal::Sub;

namespace {

constexpr int32_t kMillisPerDay = ZrTime::kMillisPerDay;
constexpr int64_t kMicrosPerDay = int64_t{kMillisPerDay} * 1000;
constexpr int32_t kJulian1970 = 2440588;

// The time of a wall clock that reads `micros` microseconds after
// 1970-01-01 00:00:00 (days counted with floor division).
ZrTime TimeFromUnixMicros(int64_t micros) {
  int64_t days = micros / kMicrosPerDay;
  int64_t rest = micros % kMicrosPerDay;
  if (rest < 0) {
    rest += kMicrosPerDay;
    --days;
  }
  return ZrTime(static_cast<int32_t>(kJulian1970 + days), static_cast<int32_t>(rest / 1000));
}

// Reads `count` decimal digits (hex when base is 16) at text; false at the
// first other byte, including a terminator before `count` digits.
bool ReadDigits(const char* text, int count, int base, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < count; ++i) {
    char c = text[i];
    uint32_t d;
    if (c >= '0' && c <= '9') {
      d = static_cast<uint32_t>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = static_cast<uint32_t>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    v = v * static_cast<uint32_t>(base) + d;
  }
  *value = v;
  return true;
}

// A wrapping 32-bit difference, the sign of which orders two fields.
int Diff(int32_t a, int32_t b) { return Sub(a, b); }

}  // namespace

// ---- ZrTime ----

ZrTime::ZrTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
               int32_t second, int32_t millisecond)
    : timelevel_(0),
      julian_(ZrDate2Julian(year, month, day)),
      tod_(zr_time_internal::Tod(hour, minute, second, millisecond)) {}

ZrTime::ZrTime(const ZrSystemTime& st)
    : ZrTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds) {}

ZrTime::ZrTime(const ZrFileTime& ft) {
  uint64_t ticks = (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
  // A FILETIME with the top bit set has no calendar form; it stays null.
  if (ticks >= (uint64_t{1} << 63)) return;
  constexpr uint64_t kTicksPerDay = uint64_t{kMillisPerDay} * 10000;
  static const int32_t kJulian1601 = ZrDate2Julian(1601, 1, 1);
  timelevel_ = 0;
  julian_ = static_cast<int32_t>(kJulian1601 + ticks / kTicksPerDay);
  tod_ = static_cast<int32_t>(ticks % kTicksPerDay / 10000);
}

ZrTime& ZrTime::operator=(uint32_t pc_time) {
  _ZR_DATE date;
  AutCalcGreg(&date, pc_time);
  timelevel_ = 0;
  julian_ = ZrDate2Julian(date.year, date.month, date.day);
  tod_ = static_cast<int32_t>(pc_time % 86400 * 1000);
  return *this;
}

ZrTime ZrTime::GetCurrentUtcTime() { return TimeFromUnixMicros(pv::UtcNowMicros()); }

ZrTime ZrTime::GetCurrentLocalTime() {
  int64_t micros = pv::UtcNowMicros();
  int64_t offset = pv::LocalUtcOffsetAt(micros / 1000000);
  return TimeFromUnixMicros(micros + offset * 1000000);
}

int32_t ZrTime::GetYear() const {
  int32_t y;
  ZrJulian2Date(julian_, &y, nullptr, nullptr);
  return y;
}

int32_t ZrTime::GetMonth() const {
  int32_t m;
  ZrJulian2Date(julian_, nullptr, &m, nullptr);
  return m;
}

int32_t ZrTime::GetDayOfMonth() const {
  int32_t d;
  ZrJulian2Date(julian_, nullptr, nullptr, &d);
  return d;
}

uint32_t ZrTime::GetPcTime() const { return ZrJulian2PcTime(julian_, tod_); }

void ZrTime::AsSortableString(char* buffer, uint32_t buffer_len, bool with_timelevel) const {
  uint32_t needed = with_timelevel ? 26 : 18;
  // A short buffer is a caller error; it still gets only what fits.
  if (buffer_len < needed) {
    ZrAssertReport(with_timelevel ? "stBufLen >= 26" : "stBufLen >= 18", "ZrTime", __LINE__);
    if (buffer_len == 0) return;
  }
  char text[64];
  if (!IsValid()) {
    memset(text, '*', needed - 1);
    text[needed - 1] = '\0';
  } else {
    int32_t year, month, day;
    ZrJulian2Date(julian_, &year, &month, &day);
    char* p = text;
    if (with_timelevel) p += snprintf(p, 9, "%8.8x", static_cast<uint32_t>(timelevel_));
    snprintf(p, sizeof(text) - 8, "%04d%02d%02d%02d%02d%02d%03d", year, month, day,
             GetHour(), GetMinute(), GetSecond(), GetMillisecond());
  }
  // Copies what fits (text is at most 25 characters plus the terminator).
  size_t n = strnlen(text, sizeof(text) - 1);
  if (n > buffer_len - 1) n = buffer_len - 1;
  memcpy(buffer, text, n);
  buffer[n] = '\0';
}

ZrString ZrTime::AsSortableString(bool with_timelevel) const {
  char buffer[26];
  AsSortableString(buffer, sizeof(buffer), with_timelevel);
  return ZrString(buffer);
}

ZrTime& ZrTime::AssignSortableString(const ZrString& text, bool with_timelevel) {
  const char* s = text;
  SetNull();
  if (s[0] == '\0') return *this;
  uint32_t timelevel = 0;
  if (with_timelevel) {
    if (!ReadDigits(s, 8, 16, &timelevel)) return *this;
    s += 8;
  }
  // All 17 positions are checked before any field is taken, so a short or
  // malformed text leaves the null time (the value itself may wrap).
  uint32_t all;
  if (!ReadDigits(s, 17, 10, &all)) return *this;
  uint32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  ReadDigits(s, 4, 10, &year);
  ReadDigits(s + 4, 2, 10, &month);
  ReadDigits(s + 6, 2, 10, &day);
  ReadDigits(s + 8, 2, 10, &hour);
  ReadDigits(s + 10, 2, 10, &minute);
  ReadDigits(s + 12, 2, 10, &second);
  ReadDigits(s + 14, 3, 10, &millisecond);
  *this = ZrTime(static_cast<int32_t>(year), static_cast<int32_t>(month),
                 static_cast<int32_t>(day), static_cast<int32_t>(hour),
                 static_cast<int32_t>(minute), static_cast<int32_t>(second),
                 static_cast<int32_t>(millisecond));
  timelevel_ = static_cast<int32_t>(timelevel);
  return *this;
}

void ZrTime::CarryDays() {
  if (tod_ >= kMillisPerDay) {
    julian_ = Add(julian_, tod_ / kMillisPerDay);
    tod_ %= kMillisPerDay;
  } else if (tod_ < 0) {
    int32_t days = (tod_ + 1) / kMillisPerDay - 1;  // floor(tod / day)
    julian_ = Add(julian_, days);
    tod_ = Sub(tod_, Mul(days, kMillisPerDay));
  }
}

ZrTime& ZrTime::operator+=(const ZrTimeSpan& span) {
  julian_ = Add(julian_, span.days_);
  tod_ = Add(tod_, span.ms_);
  CarryDays();
  return *this;
}

ZrTime& ZrTime::operator-=(const ZrTimeSpan& span) {
  julian_ = Sub(julian_, span.days_);
  tod_ = Sub(tod_, span.ms_);
  CarryDays();
  return *this;
}

ZrTime operator+(const ZrTime& t, const ZrTimeSpan& span) {
  ZrTime r(t);
  r += span;
  return r;
}

ZrTime operator+(const ZrTimeSpan& span, const ZrTime& t) { return t + span; }

ZrTime operator-(const ZrTime& t, const ZrTimeSpan& span) {
  ZrTime r(t);
  r -= span;
  return r;
}

ZrTimeSpan operator-(const ZrTime& a, const ZrTime& b) {
  ZrTimeSpan span;
  span.days_ = Sub(a.julian_, b.julian_);
  span.ms_ = Sub(a.tod_, b.tod_);
  span.Normalize();
  return span;
}

int ZrCompareTime(const ZrTime& a, const ZrTime& b) {
  if (int d = Diff(a.timelevel_, b.timelevel_)) return d;
  if (int d = Diff(a.julian_, b.julian_)) return d;
  return Diff(a.tod_, b.tod_);
}

int ZrCompareTime(const ZrTime* a, const ZrTime* b) { return ZrCompareTime(*a, *b); }

int ZrCompareTimeIgnoreMilliseconds(const ZrTime& a, const ZrTime& b) {
  if (int d = Diff(a.timelevel_, b.timelevel_)) return d;
  if (int d = Diff(a.julian_, b.julian_)) return d;
  return Diff(a.tod_ / 1000, b.tod_ / 1000);
}

int ZrCompareTimeIgnoreMilliseconds(const ZrTime* a, const ZrTime* b) {
  return ZrCompareTimeIgnoreMilliseconds(*a, *b);
}

// ---- ZrTimeSpan ----

ZrTimeSpan::ZrTimeSpan(int32_t seconds) : days_(seconds / 86400), ms_(seconds % 86400 * 1000) {}

ZrTimeSpan::ZrTimeSpan(int32_t days, int32_t hours, int32_t minutes, int32_t seconds,
                       int32_t milliseconds) {
  int32_t total = zr_time_internal::Tod(hours, minutes, seconds, milliseconds);
  days_ = Add(days, total / kMillisPerDay);
  ms_ = total % kMillisPerDay;
  Normalize();
}

ZrTimeSpan& ZrTimeSpan::Normalize() {
  days_ = Add(days_, ms_ / kMillisPerDay);
  ms_ %= kMillisPerDay;
  if (days_ > 0 && ms_ < 0) {
    --days_;
    ms_ += kMillisPerDay;
  } else if (days_ < 0 && ms_ > 0) {
    ++days_;
    ms_ -= kMillisPerDay;
  }
  return *this;
}

int32_t ZrTimeSpan::GetTotalHours() const { return Add(Mul(days_, 24), ms_ / 3600000); }
int32_t ZrTimeSpan::GetTotalMinutes() const { return Add(Mul(days_, 1440), ms_ / 60000); }
int32_t ZrTimeSpan::GetTotalSeconds() const { return Add(Mul(days_, 86400), ms_ / 1000); }
int32_t ZrTimeSpan::GetTotalMilliseconds() const { return Add(Mul(days_, kMillisPerDay), ms_); }

ZrTimeSpan& ZrTimeSpan::operator+=(const ZrTimeSpan& other) {
  days_ = Add(days_, other.days_);
  ms_ = Add(ms_, other.ms_);
  return Normalize();
}

ZrTimeSpan& ZrTimeSpan::operator-=(const ZrTimeSpan& other) {
  days_ = Sub(days_, other.days_);
  ms_ = Sub(ms_, other.ms_);
  return Normalize();
}

ZrTimeSpan operator+(const ZrTimeSpan& a, const ZrTimeSpan& b) {
  ZrTimeSpan r(a);
  r += b;
  return r;
}

ZrTimeSpan operator-(const ZrTimeSpan& a, const ZrTimeSpan& b) {
  ZrTimeSpan r(a);
  r -= b;
  return r;
}

int ZrCompareTimeSpan(const ZrTimeSpan& a, const ZrTimeSpan& b) {
  if (int d = Diff(a.days_, b.days_)) return d;
  return Diff(a.ms_, b.ms_);
}

ZrString ZrTimeSpan::AsSortableString() const {
  if (IsNull()) return ZrString();
  // 11 + 3 + 3 + 3 + 4 characters; the buffer leaves room for any int32.
  char buf[80];
  snprintf(buf, sizeof(buf), "%+10.10d%+2.2d%+2.2d%+2.2d%+3.3d", days_, GetHours(), GetMinutes(),
           GetSeconds(), GetMilliseconds());
  return ZrString(buf);
}

ZrTimeSpan& ZrTimeSpan::AssignSortableString(const ZrString& text) {
  const char* s = text;
  size_t len = strlen(s);
  // Fields by position: days 0-10, hours 11-13, minutes 14-16, seconds
  // 17-19, milliseconds 20-23. A field cut by the text's end reads what is
  // left of it (nothing: 0).
  static const int kStart[] = {0, 11, 14, 17, 20, 24};
  int32_t v[5];
  for (int i = 0; i < 5; ++i) {
    char field[16] = {};
    size_t start = static_cast<size_t>(kStart[i]);
    size_t width = static_cast<size_t>(kStart[i + 1] - kStart[i]);
    if (start < len) memcpy(field, s + start, len - start < width ? len - start : width);
    v[i] = static_cast<int32_t>(strtol(field, nullptr, 10));
  }
  *this = ZrTimeSpan(v[0], v[1], v[2], v[3], v[4]);
  return *this;
}
