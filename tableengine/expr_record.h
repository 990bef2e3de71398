// ExprRecord: what a key or filter expression needs to know about a table and
// its current record.
//
// The expression module parses against the fields of a table (names, types,
// widths) and evaluates against one record's raw bytes. It sees both through
// this interface only, so the data-file code implements it for an open table
// and tests implement it over a few hand-made fields.
//
// Field indexes are 0-based positions in the table's field list. Raw bytes are
// the field's bytes in the current record exactly as stored (docs/formats.md
// section 1.4: text blank-padded, N/F as right-aligned ASCII, D as YYYYMMDD,
// I as 4 bytes LE, B as an LE double, Y as an LE int64 of value x 10000, T as
// two LE int32: Julian day and milliseconds).
#ifndef PV_TABLEENGINE_EXPR_RECORD_H_
#define PV_TABLEENGINE_EXPR_RECORD_H_

#include <cstdint>
#include <string_view>

namespace pv {

struct ExprFieldInfo {
  char type = 'C';         // dBASE type letter, upper case: C N F L D I B Y T M ...
  int32_t width = 0;       // bytes in the record
  int32_t decimals = 0;    // decimal places of N and F fields
  bool nullable = false;   // Visual FoxPro field that may hold .NULL.
};

class ExprRecord {
 public:
  virtual ~ExprRecord() = default;

  // Index of the field called `name` (compared without case), or -1. A name
  // longer than 10 characters is looked up by its first 10 characters by the
  // caller, not here.
  virtual int32_t FindField(std::string_view name) const = 0;
  virtual ExprFieldInfo FieldInfo(int32_t index) const = 0;

  // The field's bytes in the current record (FieldInfo(index).width bytes).
  // REQUIRES: a current record; index valid.
  virtual std::string_view FieldBytes(int32_t index) const = 0;
  // True when the field's null flag is set (tables with a null-flag field).
  virtual bool FieldIsNull(int32_t index) const = 0;

  // The current record's number (1-based) and its deletion flag.
  virtual uint32_t RecordNumber() const = 0;
  virtual bool Deleted() const = 0;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_EXPR_RECORD_H_
