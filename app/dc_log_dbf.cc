#include "app/dc_log_dbf.h"

#include "persist/zrp_table_xchg.h"

DcLogDbf::DcLogDbf(ZrpBase* base, const char* name, bool autoRead, bool createAdjust)
    : SafeDbf(base, name, autoRead, createAdjust) {}

DcLogDbf::~DcLogDbf() = default;

void DcLogDbf::ZrpTableXChg(ZrpTableInfo* info) {
  ZrpTableName(info, name_);
  ZrpTableFld(info, ut, "UT", true);
  ZrpTableFld(info, lt, "LT", true);
  ZrpTableFld(info, location, "LOCATION", 36);
  ZrpTableFld(info, text, "TEXT", 254);
  ZrpTableFld(info, guid, "GUID", 37);
  ZrpTableFld(info, user, "USER", 32);
  ZrpTableTag(info, "UTC", "UT", nullptr, false, false);
  ZrpTableTag(info, "UT", "UT", nullptr, false, true);
  ZrpTableTag(info, "LT", "LT", nullptr, false, true);
  ZrpTableTag(info, "LOCATION", "LOCATION+UT", nullptr, false, false);
  ZrpTableTag(info, "GUID", "UT+GUID", nullptr, true, false);
}
