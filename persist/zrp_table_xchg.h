// The exchange functions with which a table class declares its table.
//
// A table class overrides ZrpTableBase::ZrpTableXChg with, in this order, one
// ZrpTableName, one field call per field (the call order is the field order
// of the data file) and one ZrpTableTag per index tag. Each field call binds
// a member variable; what it does depends on the pass's mode
// (zrp_table_info.h). Declared fields, their stored forms (zrp_field_text.h
// for the character forms of the layer's own kinds) and empty values:
//
//   call                               field        stored as               empty
//   ZrpTableFld(ZrString, w)           C w          text, trimmed on read   ""
//   ZrpTableFld(bool)                  C 1          "T" / "F"               false
//   ZrpTableFld(int32_t, type, w)      type w 0     engine's number         0
//   ZrpTableFld(uint32_t, type, w)     type w 0     engine's number         0
//   ZrpTableFld(double, type, w, d)    type w d     engine's number         0.0
//   ZrpTableFldEx(double, format, w)   C w          printf(format) text     0.0
//   ZrpTableFld(ZrTime, withLevel)     C 25 or 17   sortable time string    null time
//   ZrpTableTimeFld(uint32_t PcTime)   C 14         YYYYMMDDhhmmss          0
//   ZrpTableHexFld(uint64_t)           C 16         hexadecimal             0
//   ZrpTableHexFld(int32_t/uint32_t)   C 8          hexadecimal             0
//
// The bool, PcTime and hexadecimal kinds are written straight into the
// record buffer; the others through the engine's assignment, which refuses an
// unlocked record. Every declared field must exist in the open table; a
// missing one is reported by the engine's error hook and the variable (or
// the field) is left as it was.
//
// Every user tag gets the clause ".NOT. DELETED()", so a deleted record is
// found only through the table layer's own free-list tag "__FREE".
#ifndef PV_PERSIST_ZRP_TABLE_XCHG_H_
#define PV_PERSIST_ZRP_TABLE_XCHG_H_

#include <cstdint>

#include "foundation/zr_string.h"
#include "foundation/zr_time.h"
#include "persist/zrp_table_info.h"

void ZrpTableName(ZrpTableInfo* info, const char* name);

void ZrpTableFld(ZrpTableInfo* info, ZrString& value, const char* name, int32_t width);
void ZrpTableFld(ZrpTableInfo* info, bool& value, const char* name);
void ZrpTableFld(ZrpTableInfo* info, int32_t& value, const char* name, char type, int32_t width);
void ZrpTableFld(ZrpTableInfo* info, uint32_t& value, const char* name, char type, int32_t width);
void ZrpTableFld(ZrpTableInfo* info, double& value, const char* name, char type, int32_t width,
                 int32_t decimals);
void ZrpTableFldEx(ZrpTableInfo* info, double& value, const char* name, const char* format,
                   int32_t width);
void ZrpTableFld(ZrpTableInfo* info, ZrTime& value, const char* name, bool withTimelevel);
void ZrpTableTimeFld(ZrpTableInfo* info, uint32_t& pcTime, const char* name);
void ZrpTableHexFld(ZrpTableInfo* info, uint64_t& value, const char* name);
void ZrpTableHexFld(ZrpTableInfo* info, int32_t& value, const char* name);
void ZrpTableHexFld(ZrpTableInfo* info, uint32_t& value, const char* name);

// filter null: every record not deleted; unique: a second record with a key
// already in the tag is left out of the tag silently; descending: highest
// key first.
void ZrpTableTag(ZrpTableInfo* info, const char* tagName, const char* expression,
                 const char* filter, bool unique, bool descending);
// Tags of child tables (object persistence): the key is prefixed with the
// parent field "__P", an empty filter means no filter at all, and unique
// makes a duplicate key an error.
void ZrpChildTableTag(ZrpTableInfo* info, const char* tagName, const char* expression,
                      const char* filter, bool unique, bool descending);

#endif  // PV_PERSIST_ZRP_TABLE_XCHG_H_
