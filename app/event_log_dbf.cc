#include "app/event_log_dbf.h"

#include "persist/zrp_table_xchg.h"

EventLogDbf::EventLogDbf(ZrpBase* base, const char* name, bool autoRead, bool createAdjust)
    : SafeDbf(base, name, autoRead, createAdjust) {}

EventLogDbf::~EventLogDbf() = default;

void EventLogDbf::ZrpTableXChg(ZrpTableInfo* info) {
  ZrpTableName(info, name_);
  ZrpTableFld(info, type, "TYPE", 'N', 11);
  ZrpTableFld(info, al_type, "ALTYPE", 'N', 11);
  ZrpTableFld(info, obj_num, "OBJNUM", 'N', 11);
  ZrpTableFld(info, old_state, "OLDSTATE", 'N', 11);
  ZrpTableFld(info, new_state, "NEWSTATE", 'N', 11);
  ZrpTableFld(info, old_sts_txt, "OLDSTSTXT", 32);
  ZrpTableFld(info, new_sts_txt, "NEWSTSTXT", 32);
  ZrpTableFld(info, old_level, "OLDLEVEL", 'N', 11);
  ZrpTableFld(info, new_level, "NEWLEVEL", 'N', 11);
  ZrpTableFld(info, al_old, "ALOLD", 'N', 11);
  ZrpTableFld(info, al_new, "ALNEW", 'N', 11);
  ZrpTableFld(info, utc, "UTC", 'N', 11);
  ZrpTableFld(info, lt, "LT", 'N', 11);
  ZrpTableFld(info, timestamp, "TIMESTAMP", 'N', 11);
  ZrpTableFld(info, timelevel, "TIMELEVEL", 'N', 11);
  ZrpTableFld(info, val_old, "VALOLD", 'N', 19, 6);
  ZrpTableFld(info, val_new, "VALNEW", 'N', 19, 6);
  ZrpTableFld(info, user_id, "USERID", 'N', 11);
  ZrpTableFld(info, user_name, "USERNAME", 32);
  ZrpTableFld(info, printed, "PRINTED");
  ZrpTableFld(info, do_print, "DOPRINT");
  ZrpTableTag(info, "TIME",
              "STR(UTC,10,0)+STR(TIMESTAMP,5,0)+STR(OBJNUM,5,0)+STR(TYPE,3,0)+STR(NEWSTATE,5,0)",
              nullptr, false, false);
  ZrpTableTag(info, "TIMELEVEL", "STR(TIMELEVEL,11,0)", nullptr, false, false);
  ZrpTableTag(info, "UTC", "UTC", nullptr, false, false);
  ZrpTableTag(info, "PRINTED", "STR(TIMELEVEL,11,0)+STR(UTC,11,0)+STR(TIMESTAMP,11,0)+PRINTED",
              "PRINTED='T'", false, false);
  ZrpTableTag(info, "NOTPRINTED", "STR(TIMELEVEL,11,0)+STR(UTC,11,0)+STR(TIMESTAMP,11,0)+PRINTED",
              "PRINTED='F'.AND.(OLDSTATE<128.OR.NEWSTATE>=128)", false, false);
  ZrpTableTag(info, "DOPRINT", "STR(TIMELEVEL,11,0)+STR(UTC,11,0)+STR(TIMESTAMP,11,0)+DOPRINT",
              "DOPRINT='T'.AND.(OLDSTATE<128.OR.NEWSTATE>=128)", false, false);
}
