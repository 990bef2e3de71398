#include "foundation/zr_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace {

// The standard library's proleptic Gregorian calendar is the reference:
// a date as yyyymmdd, a time of day as hhmmss.
int64_t Ymd(std::chrono::sys_days day) {
  const std::chrono::year_month_day c{day};
  return int{c.year()} * 10000 + unsigned{c.month()} * 100 + unsigned{c.day()};
}

int64_t Hms(std::chrono::seconds time_of_day) {
  const std::chrono::hh_mm_ss t{time_of_day};
  return t.hours().count() * 10000 + t.minutes().count() * 100 + t.seconds().count();
}

// Every day of the unsigned PcTime range, 1970-01-01 to 2106-02-06, at a
// time of day that moves with the day.
TEST(ZrTimeCalendarTest, EveryDay1970To2106MatchesTheStandardCalendar) {
  const int64_t kDays = 49710;  // days from 1970-01-01 to 2106-02-07
  for (int64_t d = 0; d < kDays; ++d) {
    uint32_t pc = static_cast<uint32_t>(d * 86400 + (d * 7919) % 86400);
    SCOPED_TRACE(testing::Message() << "pc=" << pc);
    const int64_t ymd = Ymd(std::chrono::sys_days{std::chrono::days{d}});
    const int64_t hms = Hms(std::chrono::seconds{pc - d * 86400});
    _ZR_DATE date;
    AutCalcGreg(&date, pc);
    ASSERT_EQ(date.year * 10000 + date.month * 100 + date.day, ymd);

    ZrTime zt(pc);
    ASSERT_EQ(zt.GetJulianDate(), 2440588 + d);
    ASSERT_EQ(ZrPcTime2Julian(pc), 2440588 + d);
    ASSERT_EQ(zt.GetYear() * 10000 + zt.GetMonth() * 100 + zt.GetDayOfMonth(), ymd);
    ASSERT_EQ(zt.GetHour() * 10000 + zt.GetMinute() * 100 + zt.GetSecond(), hms);
    ASSERT_EQ(zt.GetPcTime(), pc);
    ASSERT_EQ(ZrJulian2PcTime(zt.GetJulianDate(), zt.GetTimeOfDay()), pc);

    uint32_t y, mo, dd, h, mi, s, back;
    ZrPcTime2DateAndTime(pc, y, mo, dd, h, mi, s);
    ASSERT_EQ(y * 10000 + mo * 100 + dd, ymd);
    ASSERT_EQ(h * 10000 + mi * 100 + s, hms);
    ZrDateAndTime2PcTime(back, y, mo, dd, h, mi, s);
    ASSERT_EQ(back, pc);
  }
}

// Julian days of 0001-01-01 to 9999-12-31 (Julian day 2440588 is
// 1970-01-01): every day gives the reference's date and converts back.
TEST(ZrTimeCalendarTest, JulianRoundTripYears1To9999) {
  for (int32_t jd = ZrTime::kMinValidJulian; jd <= ZrTime::kMaxValidJulian; ++jd) {
    int32_t y, m, d;
    ZrJulian2Date(jd, &y, &m, &d);
    const int64_t ymd = Ymd(std::chrono::sys_days{std::chrono::days{jd - 2440588}});
    if (y * 10000 + m * 100 + d != ymd) {
      FAIL() << "jd " << jd << " gave " << y << "-" << m << "-" << d << ", expected " << ymd;
    }
    if (ZrDate2Julian(y, m, d) != jd) FAIL() << "date of jd " << jd << " converts back wrongly";
  }
  EXPECT_EQ(ZrDate2Julian(1, 1, 1), ZrTime::kMinValidJulian);
  EXPECT_EQ(ZrDate2Julian(9999, 12, 31), ZrTime::kMaxValidJulian);
}

// The calendar itself is the sweeps' above; here the ends of the unsigned
// PcTime range (2106-02-07 06:28:15), pinned beyond them, and the other
// time forms.
TEST(ZrTimeTest, RangeEndsAndOtherForms) {
  uint32_t y, mo, d, h, mi, s, pc = 0;
  ZrPcTime2DateAndTime(4294967295u, y, mo, d, h, mi, s);
  EXPECT_EQ(y * 10000 + mo * 100 + d, 21060207u);
  EXPECT_EQ(h * 10000 + mi * 100 + s, 62815u);
  ZrDateAndTime2PcTime(pc, 2106, 2, 7, 6, 28, 15);
  EXPECT_EQ(pc, 4294967295u);
  EXPECT_EQ(ZrTime(1969, 12, 31, 23, 59, 59, 0).GetPcTime(), 0u);
  EXPECT_EQ(ZrTime(2106, 2, 7, 6, 28, 16, 0).GetPcTime(), 4294967295u);
  EXPECT_EQ(ZrTime(2107, 1, 1, 0, 0, 0, 0).GetPcTime(), 4294967295u);
  ZrDateAndTime2PcTime(pc, 1900, 3, 1, 10, 0, 0);
  EXPECT_EQ(pc, 0u);

  int32_t th, tmi, ts, tms;
  ZrTod2Time(ZrTime2Tod(13, 7, 9, 45), &th, &tmi, &ts, &tms);
  EXPECT_EQ(th * 1000000 + tmi * 10000 + ts * 100 + tms, 13070945);
  ZrTod2Time(1000, nullptr, nullptr, &ts, nullptr);  // null outputs are skipped
  EXPECT_EQ(ts, 1);
  EXPECT_EQ(ZrPcTime2Tod(86399), 86399000);

  ZrSystemTime st = {2005, 4, 1, 4, 13, 7, 9, 45};
  EXPECT_EQ(ZrTime(st), ZrTime(2005, 4, 4, 13, 7, 9, 45));
  // 2005-04-04 13:07:09.045 as 100-ns ticks since 1601.
  uint64_t ticks = (uint64_t{1112620029} * 1000 + 45 + uint64_t{11644473600} * 1000) * 10000;
  ZrFileTime ft = {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
  EXPECT_EQ(ZrTime(ft), ZrTime(2005, 4, 4, 13, 7, 9, 45));
}

TEST(ZrTimeTest, SortableStrings) {
  ZrTime t(2005, 4, 4, 13, 7, 9, 45);
  EXPECT_STREQ(t.AsSortableString(false), "20050404130709045");
  t.SetTimelevel(0x1a);
  EXPECT_STREQ(t.AsSortableString(true), "0000001a20050404130709045");
  ZrTime last(9999, 12, 31, 23, 59, 59, 999);
  EXPECT_STREQ(last.AsSortableString(false), "99991231235959999");
  last += ZrTimeSpan(0, 0, 0, 0, 1);
  EXPECT_FALSE(last.IsValid());
  EXPECT_STREQ(last.AsSortableString(false), "*****************");
  EXPECT_STREQ(ZrTime().AsSortableString(true), "*************************");
  EXPECT_STREQ(ZrTime(2440588, 86400000).AsSortableString(false), "*****************");

  ZrTime p;
  EXPECT_EQ(p.AssignSortableString("20050404130709045", false), ZrTime(2005, 4, 4, 13, 7, 9, 45));
  EXPECT_TRUE(p.AssignSortableString("2005040413070904", false).IsNull());
  EXPECT_TRUE(p.AssignSortableString("", false).IsNull());
  p.AssignSortableString("0000001A20050404130709045", true);
  EXPECT_EQ(p.GetTimelevel(), 0x1a);
  EXPECT_STREQ(p.AsSortableString(true), "0000001a20050404130709045");
  EXPECT_TRUE(p.AssignSortableString("0000001g20050404130709045", true).IsNull());
  EXPECT_TRUE(p.AssignSortableString("0000001a2005040413070904", true).IsNull());
  // Fields are not range-checked: month 13 is carried by the calendar rule.
  EXPECT_EQ(p.AssignSortableString("20051301000000000", false).GetJulianDate(),
            ZrDate2Julian(2006, 1, 1));
  // A short buffer gets only what fits, terminated.
  char small[8];
  memset(small, '#', sizeof(small));
  t.AsSortableString(small, 6, false);
  EXPECT_STREQ(small, "20050");
  EXPECT_EQ(small[6], '#');
  // Long form of the null time written and read back.
  EXPECT_TRUE(p.AssignSortableString(ZrTime().AsSortableString(true), true).IsNull());
}

TEST(ZrTimeTest, OrderAndArithmetic) {
  ZrTime a(2005, 4, 4, 13, 7, 9, 45), b(2005, 4, 4, 13, 7, 9, 999);
  EXPECT_LT(ZrTime(), a);  // the null time first
  EXPECT_LT(a, b);
  EXPECT_EQ(ZrCompareTimeIgnoreMilliseconds(&a, &b), 0);
  EXPECT_LT(ZrCompareTime(&a, &b), 0);
  EXPECT_GT(ZrTime(a).SetTimelevel(1), ZrTime(2100, 1, 1, 0, 0, 0, 0));

  ZrTime midnight(2005, 3, 1, 0, 0, 0, 0);
  ZrTime before = midnight - ZrTimeSpan(0, 0, 0, 0, 1);
  EXPECT_STREQ(before.AsSortableString(false), "20050228235959999");
  EXPECT_EQ(before + ZrTimeSpan(0, 0, 0, 0, 1), midnight);
  ZrTime far = midnight + ZrTimeSpan(-3, -25, 0, 0, 0);  // floor carry over two days
  EXPECT_STREQ(far.AsSortableString(false), "20050224230000000");
  ZrTime leveled = ZrTime(midnight).SetTimelevel(7) + ZrTimeSpan(1);
  EXPECT_EQ(leveled.GetTimelevel(), 7);

  ZrTimeSpan diff = before - ZrTime(2005, 3, 2, 12, 0, 0, 0);
  EXPECT_EQ(diff.GetDays(), -1);
  EXPECT_EQ(diff.GetTimeOfDay(), -43200001);
  EXPECT_EQ(ZrTime(2005, 3, 2, 12, 0, 0, 0) - before, ZrTimeSpan(1, 12, 0, 0, 1));
}

TEST(ZrTimeSpanTest, NormalisationAndTotals) {
  ZrTimeSpan neg(-90000);
  EXPECT_EQ(neg.GetDays(), -1);
  EXPECT_EQ(neg.GetTimeOfDay(), -3600000);
  EXPECT_STREQ(neg.AsSortableString(), "-0000000001-01+00+00+000");
  ZrTimeSpan mixed(1, -1, 0, 0, 0);  // 1 day - 1 h
  EXPECT_EQ(mixed.GetDays(), 0);
  EXPECT_EQ(mixed.GetHours(), 23);
  EXPECT_FALSE(ZrTimeSpan(-1, 1, 0, 0, 0).IsPositive());
  EXPECT_EQ(ZrTimeSpan(-1, 1, 0, 0, 0).GetTimeOfDay(), -82800000);

  ZrTimeSpan t(1, 2, 3, 4, 5);
  EXPECT_STREQ(t.AsSortableString(), "+0000000001+02+03+04+005");
  EXPECT_EQ(t.GetTotalHours(), 26);
  EXPECT_EQ(t.GetTotalSeconds(), 93784);
  EXPECT_EQ(t.GetTotalMilliseconds(), 93784005);
  EXPECT_EQ(t.GetMinutes() * 1000 + t.GetSeconds() * 10 + t.GetMilliseconds() / 5, 3041);
  // 25 days do not fit 32-bit milliseconds: the total wraps.
  EXPECT_EQ(ZrTimeSpan(25, 0, 0, 0, 0).GetTotalMilliseconds(),
            static_cast<int32_t>(static_cast<uint32_t>(25u * 86400000u)));

  EXPECT_TRUE((t - t).IsNull());
  EXPECT_STREQ((t - t).AsSortableString(), "");
  EXPECT_LT(neg, t);

  ZrTimeSpan r;
  EXPECT_EQ(r.AssignSortableString(t.AsSortableString()), t);
  EXPECT_EQ(r.AssignSortableString(neg.AsSortableString()), neg);
  EXPECT_TRUE(r.AssignSortableString("").IsNull());
  EXPECT_EQ(r.AssignSortableString("+0000000002"), ZrTimeSpan(2, 0, 0, 0, 0));
}

}  // namespace
