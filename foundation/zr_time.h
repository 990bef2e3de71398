// ZrTime, a point in time, and ZrTimeSpan, a signed duration, with the free
// conversions between calendar fields and the three plain integer forms:
//   PcTime  seconds since 1970-01-01 00:00:00, unsigned 32-bit (to
//           2106-02-07 06:28:15),
//   Tod     milliseconds since midnight,
//   Julian  the Julian Day Number of a date (1970-01-01 is 2440588).
// Neither type knows time zones: a ZrTime holds whatever wall-clock reading
// it was built from. The calendar is proleptic Gregorian; every division
// truncates toward zero unless a comment says otherwise, and all arithmetic
// is 32-bit and wraps, so out-of-range inputs give defined (if meaningless)
// results and no operation here fails.
//
// ZrTime = (timelevel, Julian day, tod), compared lexicographically in that
// order. Timelevel < 0 marks the null time (the default: -1, 0, 0), which so
// sorts below every time of timelevel 0. A time is valid when its Julian day
// is in [1721426 (0001-01-01), 5373484 (9999-12-31)] and its tod in
// [0, 86399999].
//
// Sortable text forms (text order equals time order; stored in tables and
// written to the debug log):
//   short  "%04d%02d%02d%02d%02d%02d%03d": YYYYMMDDhhmmssmmm, 17 characters;
//   long   the timelevel as "%8.8x" in front of the short form, 25 characters.
//   An invalid (or null) time is written as 17 or 25 asterisks.
// ZrTimeSpan's text: "%+10.10d" days, then hours, minutes and seconds as
// "%+2.2d" and milliseconds as "%+3.3d", each with its own sign
// (+0000000001+02+03+04+005 is 1 d 2 h 3 min 4 s 5 ms); the zero span is "".
#ifndef PV_FOUNDATION_ZR_TIME_H_
#define PV_FOUNDATION_ZR_TIME_H_

#include <cstdint>

#include "foundation/zr_string.h"

// A calendar date as AutCalcGreg fills it.
struct _ZR_DATE {
  int32_t year;
  int32_t month;  // 1 to 12
  int32_t day;    // 1 to 31
};

// Broken-down calendar time (the fields of a Windows SYSTEMTIME).
struct ZrSystemTime {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;  // not used when building a ZrTime
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
};

// 100-nanosecond intervals since 1601-01-01 00:00:00 (a Windows FILETIME).
struct ZrFileTime {
  uint32_t dwLowDateTime;
  uint32_t dwHighDateTime;
};

class ZrTimeSpan;

class ZrTime {
 public:
  static constexpr int32_t kMinValidJulian = 1721426;  // 0001-01-01
  static constexpr int32_t kMaxValidJulian = 5373484;  // 9999-12-31
  static constexpr int32_t kMillisPerDay = 86400000;

  ZrTime() = default;
  explicit ZrTime(uint32_t pc_time) { *this = pc_time; }
  ZrTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
         int32_t millisecond);
  ZrTime(int32_t julian, int32_t tod) : timelevel_(0), julian_(julian), tod_(tod) {}
  explicit ZrTime(const ZrSystemTime& st);
  explicit ZrTime(const ZrFileTime& ft);

  ZrTime& operator=(uint32_t pc_time);

  static ZrTime GetCurrentUtcTime();
  static ZrTime GetCurrentLocalTime();

  int32_t GetYear() const;
  int32_t GetMonth() const;
  int32_t GetDayOfMonth() const;
  int32_t GetHour() const { return tod_ / 3600000; }
  int32_t GetMinute() const { return (tod_ / 60000) % 60; }
  int32_t GetSecond() const { return (tod_ / 1000) % 60; }
  int32_t GetMillisecond() const { return tod_ % 1000; }
  int32_t GetTimeOfDay() const { return tod_; }
  int32_t GetJulianDate() const { return julian_; }
  int32_t GetTimelevel() const { return timelevel_; }
  ZrTime& SetTimelevel(int32_t timelevel) {
    timelevel_ = timelevel;
    return *this;
  }
  // Seconds since 1970 (0 before 1970, 0xFFFFFFFF after 2106-02-07 06:28:15).
  uint32_t GetPcTime() const;

  ZrTime& SetNull() {
    *this = ZrTime();
    return *this;
  }
  bool IsNull() const { return timelevel_ < 0; }
  bool IsNotNull() const { return timelevel_ >= 0; }
  bool IsValid() const {
    return julian_ >= kMinValidJulian && julian_ <= kMaxValidJulian && tod_ >= 0 &&
           tod_ < kMillisPerDay;
  }

  // Writes the short (17 characters) or long (25) form and a terminator.
  // buffer_len must be at least 18 or 26; a shorter buffer is reported as
  // an internal error and receives only what fits.
  void AsSortableString(char* buffer, uint32_t buffer_len, bool with_timelevel) const;
  ZrString AsSortableString(bool with_timelevel) const;
  // Parses a sortable form; an empty, short or malformed text gives the
  // null time. Bytes after the 17th (25th) are not looked at. Field values
  // are taken as they stand, without range checks.
  ZrTime& AssignSortableString(const ZrString& text, bool with_timelevel);

  ZrTime& operator+=(const ZrTimeSpan& span);
  ZrTime& operator-=(const ZrTimeSpan& span);

 private:
  friend int ZrCompareTime(const ZrTime& a, const ZrTime& b);
  friend int ZrCompareTimeIgnoreMilliseconds(const ZrTime& a, const ZrTime& b);
  friend ZrTimeSpan operator-(const ZrTime& a, const ZrTime& b);

  // Brings tod into [0, 86399999], moving whole days into the Julian day.
  void CarryDays();

  int32_t timelevel_ = -1;
  int32_t julian_ = 0;
  int32_t tod_ = 0;
};

class ZrTimeSpan {
 public:
  ZrTimeSpan() = default;
  explicit ZrTimeSpan(int32_t seconds);
  ZrTimeSpan(int32_t days, int32_t hours, int32_t minutes, int32_t seconds, int32_t milliseconds);

  int32_t GetDays() const { return days_; }
  int32_t GetTotalHours() const;
  int32_t GetHours() const { return ms_ / 3600000; }
  int32_t GetMinutes() const { return (ms_ / 60000) % 60; }
  int32_t GetSeconds() const { return (ms_ / 1000) % 60; }
  int32_t GetMilliseconds() const { return ms_ % 1000; }
  int32_t GetTotalMinutes() const;
  int32_t GetTotalSeconds() const;
  // Wraps for spans of 2^31 ms (about 24.8 days) or more.
  int32_t GetTotalMilliseconds() const;
  int32_t GetPcTime() const { return GetTotalSeconds(); }
  int32_t GetTimeOfDay() const { return ms_; }
  bool IsPositive() const { return days_ >= 0 && ms_ >= 0; }

  ZrTimeSpan& SetNull() {
    days_ = ms_ = 0;
    return *this;
  }
  bool IsNull() const { return days_ == 0 && ms_ == 0; }
  // |ms| < 86400000 and ms of the sign of days (or 0) when days != 0.
  ZrTimeSpan& Normalize();

  ZrString AsSortableString() const;
  ZrTimeSpan& AssignSortableString(const ZrString& text);

  ZrTimeSpan& operator+=(const ZrTimeSpan& other);
  ZrTimeSpan& operator-=(const ZrTimeSpan& other);

 private:
  friend class ZrTime;
  friend ZrTimeSpan operator-(const ZrTime& a, const ZrTime& b);
  friend int ZrCompareTimeSpan(const ZrTimeSpan& a, const ZrTimeSpan& b);

  int32_t days_ = 0;
  int32_t ms_ = 0;
};

// First non-zero of the timelevel, Julian day and tod differences (each a
// wrapping 32-bit difference), else 0.
int ZrCompareTime(const ZrTime& a, const ZrTime& b);
int ZrCompareTime(const ZrTime* a, const ZrTime* b);
// As ZrCompareTime, with the tod compared in whole seconds.
int ZrCompareTimeIgnoreMilliseconds(const ZrTime& a, const ZrTime& b);
int ZrCompareTimeIgnoreMilliseconds(const ZrTime* a, const ZrTime* b);
int ZrCompareTimeSpan(const ZrTimeSpan& a, const ZrTimeSpan& b);

ZrTime operator+(const ZrTime& t, const ZrTimeSpan& span);
ZrTime operator+(const ZrTimeSpan& span, const ZrTime& t);
ZrTime operator-(const ZrTime& t, const ZrTimeSpan& span);
ZrTimeSpan operator-(const ZrTime& a, const ZrTime& b);
ZrTimeSpan operator+(const ZrTimeSpan& a, const ZrTimeSpan& b);
ZrTimeSpan operator-(const ZrTimeSpan& a, const ZrTimeSpan& b);

inline bool operator==(const ZrTime& a, const ZrTime& b) { return ZrCompareTime(a, b) == 0; }
inline bool operator!=(const ZrTime& a, const ZrTime& b) { return ZrCompareTime(a, b) != 0; }
inline bool operator<(const ZrTime& a, const ZrTime& b) { return ZrCompareTime(a, b) < 0; }
inline bool operator<=(const ZrTime& a, const ZrTime& b) { return ZrCompareTime(a, b) <= 0; }
inline bool operator>(const ZrTime& a, const ZrTime& b) { return ZrCompareTime(a, b) > 0; }
inline bool operator>=(const ZrTime& a, const ZrTime& b) { return ZrCompareTime(a, b) >= 0; }
inline bool operator==(const ZrTimeSpan& a, const ZrTimeSpan& b) { return ZrCompareTimeSpan(a, b) == 0; }
inline bool operator!=(const ZrTimeSpan& a, const ZrTimeSpan& b) { return ZrCompareTimeSpan(a, b) != 0; }
inline bool operator<(const ZrTimeSpan& a, const ZrTimeSpan& b) { return ZrCompareTimeSpan(a, b) < 0; }
inline bool operator<=(const ZrTimeSpan& a, const ZrTimeSpan& b) { return ZrCompareTimeSpan(a, b) <= 0; }
inline bool operator>(const ZrTimeSpan& a, const ZrTimeSpan& b) { return ZrCompareTimeSpan(a, b) > 0; }
inline bool operator>=(const ZrTimeSpan& a, const ZrTimeSpan& b) { return ZrCompareTimeSpan(a, b) >= 0; }

// ---- Free conversions (zr_time_convert.cc) ----

// The calendar date of a PcTime.
void AutCalcGreg(_ZR_DATE* date, uint32_t pc_time);
void ZrPcTime2DateAndTime(uint32_t pc_time, uint32_t& year, uint32_t& month, uint32_t& day,
                          uint32_t& hour, uint32_t& minute, uint32_t& second);
void ZrDateAndTime2PcTime(uint32_t& pc_time, uint32_t year, uint32_t month, uint32_t day,
                          uint32_t hour, uint32_t minute, uint32_t second);
int32_t ZrPcTime2Tod(uint32_t pc_time);
int32_t ZrPcTime2Julian(uint32_t pc_time);
// Any output pointer may be null.
void ZrJulian2Date(int32_t julian, int32_t* year, int32_t* month, int32_t* day);
int32_t ZrDate2Julian(int32_t year, int32_t month, int32_t day);
uint32_t ZrJulian2PcTime(int32_t julian, int32_t tod);
// Any output pointer may be null.
void ZrTod2Time(int32_t tod, int32_t* hour, int32_t* minute, int32_t* second, int32_t* millisecond);
int32_t ZrTime2Tod(int32_t hour, int32_t minute, int32_t second, int32_t millisecond);

#endif  // PV_FOUNDATION_ZR_TIME_H_
