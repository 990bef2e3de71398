// Seek-key building: each function appends one field's stored text form
// (zrp_table_xchg.h) to a key, so that a key over a compound tag expression
// such as "POINTID+TIME" is built field by field in expression order.
#ifndef PV_PERSIST_ZRP_TABLE_SEEK_H_
#define PV_PERSIST_ZRP_TABLE_SEEK_H_

#include <cstdint>

#include "foundation/zr_string.h"
#include "foundation/zr_time.h"

// The first width characters of value, blank-padded to width.
void ZrpTableAddSeek(ZrString& key, const ZrString& value, int32_t width);
// Right-aligned in width characters, as the engine's numeric assignment.
void ZrpTableAddSeek(ZrString& key, int32_t value, int32_t width);
void ZrpTableAddSeek(ZrString& key, uint32_t value, int32_t width);
void ZrpTableAddSeek(ZrString& key, double value, int32_t width, int32_t decimals);
// "T" or "F" (width is not used: the field is one character).
void ZrpTableAddSeek(ZrString& key, bool value, int32_t width);
// The 14-character YYYYMMDDhhmmss form of a PcTime.
void ZrpTableAddTimeSeek(ZrString& key, uint32_t pcTime);
// The sortable string, 25 characters with timelevel, else 17.
void ZrpTableAddSeek(ZrString& key, const ZrTime& value, bool withTimelevel);
// 16 or 8 upper-case hexadecimal digits.
void ZrpTableAddHexSeek(ZrString& key, const uint64_t& value);
void ZrpTableAddHexSeek(ZrString& key, int32_t value);
void ZrpTableAddHexSeek(ZrString& key, uint32_t value);

#endif  // PV_PERSIST_ZRP_TABLE_SEEK_H_
