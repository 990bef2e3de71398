// ZrpTableInfo: the context of one exchange pass over a table class's
// declaration (ZrpTableXChg).
//
// A table class declares its table once, as a fixed sequence of calls to the
// exchange functions of zrp_table_xchg.h. The table layer runs that sequence
// in one of five modes; the mode decides what each call does:
//
//   XchgRead    field calls copy the current record's field into the bound
//               variable
//   XchgWrite   field calls copy the bound variable into the current record
//               (which must be locked) and mark the record changed
//   XchgName    only ZrpTableName acts: it stores the table's file name
//   XchgDefine  field calls append a field description, tag calls a tag
//               description, ZrpTableName stores the name
//   XchgClear   field calls reset the bound variable to its empty value
//
// One ZrpTableInfo lives on the stack for one pass; the table class never
// keeps it.
#ifndef PV_PERSIST_ZRP_TABLE_INFO_H_
#define PV_PERSIST_ZRP_TABLE_INFO_H_

#include <cstdint>

#include "foundation/zr_string.h"
#include "tableengine/engine_api.h"

enum ZrpXchgMode : int32_t {
  XchgRead = 0,
  XchgWrite = 1,
  XchgName = 2,
  XchgDefine = 3,
  XchgClear = 4,
};

struct ZrpTableInfo {
  // table: the table object's handle; only read and write passes use it.
  ZrpTableInfo(pv::Table*& table, ZrpXchgMode mode) : table(table), mode(mode) {}
  ZrpTableInfo(const ZrpTableInfo&) = delete;
  ZrpTableInfo& operator=(const ZrpTableInfo&) = delete;

  pv::Table*& table;
  pv::FieldList fields;  // define mode: the declared fields, in order
  pv::TagList tags;      // define mode: the declared tags, in order
  ZrpXchgMode mode;
  ZrString name;         // name and define mode: the table's file name
};

#endif  // PV_PERSIST_ZRP_TABLE_INFO_H_
