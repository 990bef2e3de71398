// Calendar conversions between dates, Julian Day Numbers and PcTimes.
//
// A PcTime is unsigned: it runs from 1970-01-01T00:00:00 to
// 2106-02-07T06:28:15 (0xFFFFFFFF). The rules (checked by the tests against
// the C library over the whole range):
//  - date <-> Julian day: the integer algorithm on March-based years
//    (y, m counted from March so that the leap day ends a year);
//  - PcTime -> date (AutCalcGreg): a day count from 0001-01-01 divided by the
//    mean Gregorian year, corrected by at most one year either way;
//  - date -> PcTime: the Julian day less that of 1970-01-01, in seconds;
//    a time before 1970 is pinned to 0, one after the range to 0xFFFFFFFF.
#include <cstdint>

#include "foundation/zr_time.h"
#include "foundation/zr_time_internal.h"

using zr_time_internal::Add;
using zr_time_internal::Mul;
using zr_time_internal::Sub;

namespace {

constexpr int32_t kSecondsPerDay = 86400;
constexpr int32_t kJulianOffset = 1721119;  // Julian day of 0000-03-01 less one

// Day count of the first day of `year` minus one, with 0001-01-01 as day 1.
int32_t DaysBeforeYear(int32_t y) { return 365 * y + y / 4 - y / 100 + y / 400; }

bool IsLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

constexpr int32_t kJulian1970 = 2440588;

// A date and a number of seconds into it as a PcTime, pinned to the range.
uint32_t DateToPcTime(uint32_t year, uint32_t month, uint32_t day, int64_t seconds) {
  if (year < 1970) return 0;
  if (year > 2106) return UINT32_MAX;
  int64_t days = ZrDate2Julian(static_cast<int32_t>(year), static_cast<int32_t>(month),
                               static_cast<int32_t>(day)) - kJulian1970;
  int64_t pc = days * kSecondsPerDay + seconds;
  if (pc < 0) return 0;
  return pc > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(pc);
}

}  // namespace

void AutCalcGreg(_ZR_DATE* date, uint32_t pc_time) {
  int32_t rd = static_cast<int32_t>(pc_time / kSecondsPerDay) + 719163;  // 0001-01-01 is day 1
  int32_t y = static_cast<int32_t>(rd * 0.002737907006988508);
  int32_t d = rd - DaysBeforeYear(y);
  int32_t year = y + 1;
  if (d <= 0) {
    year = y;
    d = rd - DaysBeforeYear(y - 1);
  }
  int32_t leap = IsLeapYear(year) ? 1 : 0;
  if (d > 365 + leap) {
    d -= 365 + leap;
    ++year;
  }
  if (d <= 59) leap = 0;  // January and February are never shifted
  static const int32_t kDaysBefore[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
  int32_t month = 12;
  for (int32_t m = 1; m <= 12; ++m) {
    if (d <= kDaysBefore[m] + leap) {
      month = m;
      break;
    }
  }
  date->year = year;
  date->month = month;
  date->day = d - kDaysBefore[month - 1] - (month > 2 ? leap : 0);
}

void ZrPcTime2DateAndTime(uint32_t pc_time, uint32_t& year, uint32_t& month, uint32_t& day,
                          uint32_t& hour, uint32_t& minute, uint32_t& second) {
  _ZR_DATE date;
  AutCalcGreg(&date, pc_time);
  year = static_cast<uint32_t>(date.year);
  month = static_cast<uint32_t>(date.month);
  day = static_cast<uint32_t>(date.day);
  uint32_t rest = pc_time % kSecondsPerDay;
  hour = rest / 3600;
  minute = (rest % 3600) / 60;
  second = rest % 60;
}

void ZrDateAndTime2PcTime(uint32_t& pc_time, uint32_t year, uint32_t month, uint32_t day,
                          uint32_t hour, uint32_t minute, uint32_t second) {
  pc_time = DateToPcTime(year, month, day, (int64_t{hour} * 60 + minute) * 60 + second);
}

int32_t ZrPcTime2Tod(uint32_t pc_time) { return static_cast<int32_t>(pc_time % kSecondsPerDay * 1000); }

int32_t ZrPcTime2Julian(uint32_t pc_time) {
  _ZR_DATE date;
  AutCalcGreg(&date, pc_time);
  return ZrDate2Julian(date.year, date.month, date.day);
}

void ZrJulian2Date(int32_t julian, int32_t* year, int32_t* month, int32_t* day) {
  int32_t t = Sub(Mul(4, Sub(julian, kJulianOffset)), 1);
  int32_t cent = t / 146097;
  int32_t d = (t % 146097) / 4;
  int32_t t2 = 4 * d + 3;
  int32_t r = t2 / 1461;
  int32_t d2 = (t2 % 1461 + 4) / 4;
  int32_t t3 = 5 * d2 - 3;
  int32_t m = t3 / 153;
  int32_t dd = (t3 % 153 + 5) / 5;
  int32_t y = Add(Mul(100, cent), r);
  if (m < 10) {
    m += 3;
  } else {
    m -= 9;
    y = Add(y, 1);
  }
  if (year != nullptr) *year = y;
  if (month != nullptr) *month = m;
  if (day != nullptr) *day = dd;
}

int32_t ZrDate2Julian(int32_t year, int32_t month, int32_t day) {
  int32_t y, m;
  if (month < 3) {
    y = Sub(year, 1);
    m = Add(month, 9);
  } else {
    y = year;
    m = Sub(month, 3);
  }
  int32_t cent = y / 100;
  int32_t r = y % 100;
  int32_t jd = Mul(146097, cent) / 4;
  jd = Add(jd, Mul(1461, r) / 4);
  jd = Add(jd, Add(Mul(153, m), 2) / 5);
  return Add(Add(jd, day), kJulianOffset);
}

uint32_t ZrJulian2PcTime(int32_t julian, int32_t tod) {
  int32_t year, month, day;
  ZrJulian2Date(julian, &year, &month, &day);
  if (year < 1970) return 0;  // also a negative year, which the cast would wrap
  return DateToPcTime(static_cast<uint32_t>(year), static_cast<uint32_t>(month),
                      static_cast<uint32_t>(day),
                      tod / 3600000 * 3600 + (tod / 60000) % 60 * 60 + (tod / 1000) % 60);
}

void ZrTod2Time(int32_t tod, int32_t* hour, int32_t* minute, int32_t* second, int32_t* millisecond) {
  if (hour != nullptr) *hour = tod / 3600000;
  if (minute != nullptr) *minute = (tod / 60000) % 60;
  if (second != nullptr) *second = (tod / 1000) % 60;
  if (millisecond != nullptr) *millisecond = tod % 1000;
}

int32_t ZrTime2Tod(int32_t hour, int32_t minute, int32_t second, int32_t millisecond) {
  return zr_time_internal::Tod(hour, minute, second, millisecond);
}
