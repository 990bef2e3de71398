#include "app/entry_dbf.h"

#include "persist/zrp_table_xchg.h"

EntryDbf::EntryDbf(ZrpBase* base, const char* name, bool autoRead, bool createAdjust)
    : SafeDbf(base, name, autoRead, createAdjust) {}

EntryDbf::~EntryDbf() = default;

void EntryDbf::ZrpTableXChg(ZrpTableInfo* info) {
  ZrpTableName(info, name_);
  ZrpTableFld(info, point_id, "POINTID", 22);
  ZrpTableTimeFld(info, time, "TIME");
  ZrpTableFld(info, val, "VAL", 'N', 12, 4);
  ZrpTableFld(info, sts, "STS", 'N', 11);
  ZrpTableTag(info, "PTIDTIME", "POINTID+TIME", nullptr, false, false);
  ZrpTableTag(info, "TIMEPTID", "TIME+POINTID", nullptr, false, false);
  ZrpTableTag(info, "TIME", "TIME", nullptr, false, false);
}
