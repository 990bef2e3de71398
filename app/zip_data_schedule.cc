// ZipData's schedule: which interval is archived, and when.
//
// All times are universal time from the server's clock (MclkQueryUtTime, a
// PcTime); "Tod" is milliseconds since midnight. The interval in progress
// starts at IntervalStart and ends at Time2WriteTod = StartTod +
// WriteInterval; a due check archives it once Tod has reached that, or once
// the date has changed.
//
// Date change: the tested time's Tod lies before StartTod (the interval in
// progress began later in the day than "now", so "now" is on a later day).
// An interval that starts at midnight (every 24-hour interval) can never pass
// that test, nor reach Time2WriteTod 86,400,000; for it the date counts as
// changed when the tested time falls on a later UT day than IntervalStart.
// Either way the run then archives the previous day's last interval
// (member MMDD_23h of the previous day's archive).
//
// A member is never removed ahead of its run: a forced run at a stop writes
// the interval in progress so far, and the interval's next run (regular or
// catch-up) replaces that member whole, in one atomic archive update.
#include <cstdint>
#include <cstdio>

#include "app/dbf2zip.h"
#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "serverlink/eci_client.h"
#include "serverlink/eci_objects.h"

namespace {

constexpr uint32_t kSecondsPerDay = 86400;

ZrTime WholeHourOf(const ZrTime& t) {
  return ZrTime(t.GetYear(), t.GetMonth(), t.GetDayOfMonth(), t.GetHour(), 0, 0, 0);
}

}  // namespace

ZrTime PcTimeToZrTime(uint32_t pc) {
  uint32_t year, month, day, hour, minute, second;
  ZrPcTime2DateAndTime(pc, year, month, day, hour, minute, second);
  return ZrTime(static_cast<int32_t>(year), static_cast<int32_t>(month),
                static_cast<int32_t>(day), static_cast<int32_t>(hour),
                static_cast<int32_t>(minute), static_cast<int32_t>(second), 0);
}

// The precision pads with zeros ("%.2d" writes as "%02.2d" does).
ZrString ArchiveDateText(uint32_t year, uint32_t month, uint32_t day) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4d%.2d%.2d", static_cast<int32_t>(year),
                static_cast<int32_t>(month), static_cast<int32_t>(day));
  return ZrString(text);
}

ZrString IntervalNameText(uint32_t month, uint32_t day, int32_t lastHour) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2d%.2d_%.2dh", static_cast<int32_t>(month),
                static_cast<int32_t>(day), lastHour);
  return ZrString(text);
}

void ZipData::StartTime() {
  uint32_t year, month, day, hour, minute, second;
  ZrPcTime2DateAndTime(MclkQueryUtTime(), year, month, day, hour, minute, second);
  const uint32_t hours = static_cast<uint32_t>(WriteInterval.GetTotalHours());
  const uint32_t startHour = hour - hour % hours;
  IntervalStart = ZrTime(static_cast<int32_t>(year), static_cast<int32_t>(month),
                         static_cast<int32_t>(day), static_cast<int32_t>(startHour), 0, 0, 0);
  RemoveLeftoverInterims();
  ReadJournals();
}

bool ZipData::HasDateChanged(uint32_t pc) {
  Tod = (pc % kSecondsPerDay) * 1000u;
  StartTod = static_cast<uint32_t>(IntervalStart.GetTimeOfDay());
  const bool changed =
      Tod < StartTod ||
      (StartTod == 0 && ZrPcTime2Julian(pc) > IntervalStart.GetJulianDate());
  if (changed) GetLog()->PutInfo("Date changed");
  return changed;
}

void ZipData::CheckTime4WritingZipDbf() {
  const uint32_t now = MclkQueryUtTime();
  GetLog()->PutInfo("Checking time and refreshing Mo-Objs... ");
  DateChanged = HasDateChanged(now);
  const uint32_t time2WriteTod = static_cast<uint32_t>(WriteInterval.GetTotalMilliseconds()) + StartTod;
  GetLog()->PutInfo(ZrString("\nTime2WriteTod %d", static_cast<int32_t>(time2WriteTod)) +
                    ZrString(" < Tod %d ", static_cast<int32_t>(Tod)) +
                    ZrString(" < Time2WriteTod + CheckTime %d ?",
                             static_cast<int32_t>(time2WriteTod + CheckTime)));
  if (Tod >= time2WriteTod || DateChanged) {
    GetLog()->PutInfo("Time 2 Zip");
    ZipNow(PcTimeToZrTime(now));
  }
  GetEciObjects()->RefreshEciObjs();
}

void ZipData::SetData4Zipping(ZrTime t) {
  if (DateChanged) t -= ZrTimeSpan(1, 0, 0, 0, 0);
  const int32_t year = t.GetYear();
  const int32_t month = t.GetMonth();
  const int32_t day = t.GetDayOfMonth();
  const int32_t endHour = DateChanged ? 24 : t.GetHour();
  ArchiveDate = ArchiveDateText(year, month, day);
  InterimName = IntervalNameText(month, day, endHour - 1);
  IntervalEnd = ZrTime(year, month, day, endHour - 1, 59, 59, 999);
  IntervalStart = ZrTime(year, month, day, endHour - WriteInterval.GetTotalHours(), 0, 0, 0);
}

void ZipData::ZipNow(ZrTime t) {
  SetData4Zipping(t);
  ArchiveInterval(false);
  // After a failure IntervalStart keeps the failed interval's start, so the
  // next forced run repeats it.
  if (!ZipError) IntervalStart = WholeHourOf(t);
  GetLog()->PutInfo(ZrString("Finished updating archives ") + ArchiveDate);
}

void ZipData::ForceZip() {
  const ZrTime force = IntervalStart + WriteInterval;
  GetLog()->PutInfo(ZrString("Forced Zip: Last written ") + IntervalStart.AsSortableString(true) +
                    ", write interval " + WriteInterval.AsSortableString() + ", force time " +
                    force.AsSortableString(true));
  DateChanged = HasDateChanged(static_cast<uint32_t>(force.GetPcTime()));
  ZipNow(force);
}
