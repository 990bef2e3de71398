// Field: one field of an open table, read and written in the table's current
// record buffer. Owned by its Table; valid while the table is open.
//
// Storage of each type: dbf_header.h. Numbers assigned to N and F fields are
// written right-aligned with the field's decimals; a value whose integer part
// does not fit the width is stored as asterisks over the whole width (the
// form FoxPro writes), which reads back as 0.
#ifndef PV_TABLEENGINE_FIELD_H_
#define PV_TABLEENGINE_FIELD_H_

#include <cstdint>
#include <string>

namespace pv {

class Table;

class Field {
 public:
  const std::string& Name() const { return name_; }
  char Type() const { return type_; }
  int32_t Width() const { return width_; }
  int32_t Decimals() const { return decimals_; }
  int32_t Position() const { return position_; }  // 1-based
  int32_t Offset() const { return offset_; }      // of its bytes in the record
  bool Nullable() const { return null_bit_ >= 0; }
  Table* GetTable() const { return table_; }

  // The field's bytes in the record buffer (Width() bytes, not terminated).
  // Writable only through the assign operations (which check the lock).
  const char* Ptr() const;
  // The bytes as text, trailing blanks kept; a memo field gives its memo.
  std::string Text() const;

  // Each assign returns 0 or a negative error code (also raised in the
  // context): kErrNotLocked when the record is not locked and locks are
  // enforced, kErrReadOnly, kErrFieldType. They mark the record changed.
  // Text: left-aligned, blank-padded, cut to the width (a memo: the memo).
  int32_t AssignText(const char* text);
  int32_t AssignText(const char* text, size_t length);
  // Right-aligned in the width with the field's decimals (N F); I, B, Y and
  // L fields are converted; C fields get the number's text.
  int32_t AssignLong(int32_t value);
  int32_t AssignDouble(double value);
  // Converts between types as the text/number forms allow.
  int32_t AssignField(const Field& from);

  // The value as a number: N F (text), I B Y binary, L 1/0, D the Julian day.
  // Blank or unreadable text gives 0.
  int32_t Long() const;
  double Double() const;
  bool IsNull() const;
  // The null flag in another image of a record of this table.
  bool IsNullIn(const char* image) const;
  // Clears the field's null flag (tables with a null-flag field; else no-op).
  void ClearNull();

  // Memo fields (M G and Visual FoxPro's binary kinds): the memo's length
  // and bytes (loaded from the memo file on first use in each record), and
  // a new length (content kept up to it, zero-filled beyond; written with
  // the record). MemoPtr is valid until the record changes.
  bool IsMemo() const;
  int32_t MemoLength();
  const char* MemoPtr();
  int32_t MemoSetLength(int32_t length);
  // Memo content, writable after MemoSetLength.
  char* MemoBuffer();

 private:
  friend class Table;
  Field() = default;

  Table* table_ = nullptr;
  std::string name_;
  char type_ = 'C';
  int32_t width_ = 0;
  int32_t decimals_ = 0;
  int32_t position_ = 0;
  int32_t offset_ = 0;
  uint8_t flags_ = 0;
  int32_t null_bit_ = -1;   // bit in the null-flag field, or -1
  int32_t varlen_bit_ = -1; // "shorter than width" bit of V/Q fields, or -1

  // Memo state of the current record.
  bool memo_loaded_ = false;
  bool memo_changed_ = false;
  std::string memo_;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_FIELD_H_
