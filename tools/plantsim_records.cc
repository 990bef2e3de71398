#include "tools/plantsim_records.h"

#include <cstdio>

#include "app/dc_log_dbf.h"
#include "app/entry_dbf.h"
#include "app/event_log_dbf.h"
#include "foundation/zr_time.h"

namespace plantsim {

uint64_t Random::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Random::Between(double lo, double hi) {
  return lo + (hi - lo) * static_cast<double>(Next() >> 11) / 9007199254740992.0;
}

namespace {

// One generator per record, so a record does not depend on its neighbours.
Random ForRecord(uint64_t seed, uint32_t kind, uint64_t seq) {
  Random r(seed * 0x100000001B3ull ^ (static_cast<uint64_t>(kind) << 56) ^ seq);
  r.Next();
  return r;
}

template <size_t N>
const char* Pick(Random& r, const char* const (&list)[N]) {
  return list[r.Below(static_cast<uint32_t>(N))];
}

const char* const kUsers[] = {"operator", "supervisor", "shiftlead", "engineer",
                              "maint1",   "guest",      "SYSTEM",    "admin"};
const char* const kAreas[] = {"Boiler House", "Filter Hall", "Substation", "Control Room",
                              "Pump Station", "Tank Farm"};
const char* const kDevices[] = {"Pump", "Valve", "Fan", "Tank", "Analyzer", "Motor"};
const char* const kMessages[] = {"Communication restored", "Mode switched to AUTO",
                                 "Mode switched to MANUAL", "Setpoint changed",
                                 "Communication lost to station", "Parameter written"};
const char* const kTags[] = {"FIC", "LIC", "PIC", "TIC", "XV", "M"};
const int32_t kStatus[] = {0, 0, 0, 2, 4, 128, 129, 192};
// Event states and their texts: the state's high bit marks an alarm state.
const uint32_t kStates[] = {0, 1, 2, 3, 128, 129, 130, 192};
const char* const kStateTexts[] = {"NORMAL", "ON", "OFF", "FAULT",
                                   "ALARM 0", "ALARM 1", "ALARM 2", "ALARM HIHI"};

ZrTime TimeOf(uint32_t pc, int32_t millis, int32_t offset) {
  ZrTime t(pc + static_cast<uint32_t>(offset));
  return t + ZrTimeSpan(0, 0, 0, 0, millis);
}

}  // namespace

void FillDcLog(DcLogDbf& rec, uint64_t seed, uint64_t seq, const Stamp& at) {
  Random r = ForRecord(seed, 1, seq);
  char buf[256];
  rec.ut = TimeOf(at.ut_seconds, at.millis, 0);
  rec.lt = TimeOf(at.ut_seconds, at.millis, at.local_offset);
  std::snprintf(buf, sizeof buf, "Site1\\%s\\%s %02u", Pick(r, kAreas), Pick(r, kDevices),
                r.Below(40) + 1);
  rec.location = buf;
  int n = std::snprintf(buf, sizeof buf, "%s %u", Pick(r, kMessages), r.Below(1000));
  // Some entries carry a long detail text, up to the field's 254 characters.
  for (uint32_t d = r.Below(4) == 0 ? r.Below(40) : 0; d > 0 && n + 7 < 254; --d) {
    n += std::snprintf(buf + n, sizeof buf - n, " detail");
  }
  rec.text = buf;
  uint64_t g1 = r.Next(), g2 = r.Next();
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(g1 >> 32),
                static_cast<unsigned>((g1 >> 16) & 0xFFFF), static_cast<unsigned>(g1 & 0xFFFF),
                static_cast<unsigned>(g2 >> 48),
                static_cast<unsigned long long>(g2 & 0xFFFFFFFFFFFFull));
  rec.guid = buf;
  rec.user = Pick(r, kUsers);
}

void FillEntry(EntryDbf& rec, uint64_t seed, uint64_t seq, const Stamp& at) {
  Random r = ForRecord(seed, 2, seq);
  char buf[32];
  std::snprintf(buf, sizeof buf, "AREA%02u.%s%04u.PV", r.Below(8) + 1, Pick(r, kTags),
                r.Below(100));
  rec.point_id = buf;
  rec.time = at.ut_seconds;
  // Four decimals, as the field stores them, so a value reads back unchanged.
  rec.val = static_cast<double>(static_cast<int64_t>(r.Between(-1000.0, 20000.0) * 10000)) / 10000;
  rec.sts = kStatus[r.Below(8)];
}

void FillEventLog(EventLogDbf& rec, uint64_t seed, uint64_t seq, const Stamp& at) {
  Random r = ForRecord(seed, 3, seq);
  uint32_t old_i = r.Below(8), new_i = r.Below(8);
  rec.type = r.Below(8) + 1;
  rec.al_type = r.Below(4);
  rec.obj_num = r.Below(1000) + 1;
  rec.old_state = kStates[old_i];
  rec.new_state = kStates[new_i];
  rec.old_sts_txt = kStateTexts[old_i];
  rec.new_sts_txt = kStateTexts[new_i];
  rec.old_level = r.Below(4);
  rec.new_level = r.Below(4);
  rec.al_old = r.Below(2);
  rec.al_new = r.Below(2);
  rec.utc = at.ut_seconds;
  rec.lt = at.ut_seconds + static_cast<uint32_t>(at.local_offset);
  rec.timestamp = 0;
  rec.timelevel = 0;
  rec.val_old = static_cast<double>(static_cast<int64_t>(r.Between(-1000.0, 1000.0) * 1e6)) / 1e6;
  rec.val_new = static_cast<double>(static_cast<int64_t>(r.Between(-1000.0, 1000.0) * 1e6)) / 1e6;
  rec.user_id = r.Below(12) + 1;
  rec.user_name = Pick(r, kUsers);
  rec.printed = r.Below(4) != 0;
  rec.do_print = r.Below(2) != 0;
}

}  // namespace plantsim
