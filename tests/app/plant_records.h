// Reading plant log tables (and archived copies of them) back through the
// table classes, as one comparable text line per record.
#ifndef PV_TESTS_APP_PLANT_RECORDS_H_
#define PV_TESTS_APP_PLANT_RECORDS_H_

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/dc_log_dbf.h"
#include "app/entry_dbf.h"
#include "app/event_log_dbf.h"
#include "foundation/zr_string.h"
#include "foundation/zr_time.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_iterator.h"

namespace plantrec {

inline std::string Line(const DcLogDbf& r) {
  return std::string(r.ut.AsSortableString(true).GetText()) + "|" + r.lt.AsSortableString(true).GetText() +
         "|" + r.location.GetText() + "|" + r.text.GetText() + "|" + r.guid.GetText() + "|" +
         r.user.GetText();
}

inline std::string Line(const EntryDbf& r) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "|%u|%.4f|%d", r.time, r.val, r.sts);
  return std::string(r.point_id.GetText()) + buf;
}

inline std::string Line(const EventLogDbf& r) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%u|%u|%u|%u|%u|%s|%s|%u|%u|%u|%u|%u|%u|%u|%u|%.6f|%.6f|%u|%s|%d|%d",
                r.type, r.al_type, r.obj_num, r.old_state, r.new_state, r.old_sts_txt.GetText(),
                r.new_sts_txt.GetText(), r.old_level, r.new_level, r.al_old, r.al_new, r.utc, r.lt,
                r.timestamp, r.timelevel, r.val_old, r.val_new, r.user_id, r.user_name.GetText(),
                r.printed ? 1 : 0, r.do_print ? 1 : 0);
  return buf;
}

// The records of table name in dir (ending with a separator), walked in the
// order of tag, that pass keep; one Line each. The table is neither created
// nor adjusted.
template <class Table>
std::vector<std::string> Read(const std::string& dir, const char* name, const char* tag,
                              const std::function<bool(const Table&)>& keep = nullptr) {
  std::vector<std::string> lines;
  ZrpBase base;
  base.Open("PLANTREC", dir.c_str(), false, false);
  {
    Table t(&base, name, true, false);
    ZrpTableIterator it;
    bool ok = t.Top(it, tag, nullptr);
    while (ok && it != 0) {
      if (!keep || keep(t)) lines.push_back(Line(t));
      ok = t.Skip(it, 1);
    }
    t.Close(ZrString(name));
  }
  base.Close();
  return lines;
}

inline std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace plantrec

#endif  // PV_TESTS_APP_PLANT_RECORDS_H_
