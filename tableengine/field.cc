#include "tableengine/field.h"

#include <cmath>
#include <cstring>

#include "tableengine/dbf_header.h"
#include "tableengine/expr_functions.h"
#include "tableengine/fpt_memo.h"
#include "tableengine/table.h"

namespace pv {

namespace {

bool IsNumericType(char t) { return t == 'N' || t == 'F'; }
bool IsBinaryNumber(char t) { return t == 'I' || t == 'B' || t == 'Y'; }

int32_t ClampToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);  // toward zero
}

}  // namespace

const char* Field::Ptr() const { return table_->record_.data() + offset_; }

bool Field::IsMemo() const {
  return type_ == 'M' || type_ == 'G' || type_ == 'P' || type_ == 'W';
}

std::string Field::Text() const {
  if (IsMemo()) {
    Field* self = const_cast<Field*>(this);
    const char* p = self->MemoPtr();
    return std::string(p, static_cast<size_t>(self->MemoLength()));
  }
  return std::string(Ptr(), static_cast<size_t>(width_));
}

bool Field::IsNull() const { return IsNullIn(table_->record_.data()); }

bool Field::IsNullIn(const char* image) const {
  if (null_bit_ < 0) return false;
  const Field& flags = table_->fields_.back();
  if (flags.type_ != '0' || null_bit_ / 8 >= flags.width_) return false;
  const auto byte = static_cast<uint8_t>(image[flags.offset_ + null_bit_ / 8]);
  return (byte >> (null_bit_ % 8)) & 1;
}

void Field::ClearNull() {
  if (!IsNull()) return;
  Field& flags = table_->fields_.back();
  char* p = table_->record_.data() + flags.offset_ + null_bit_ / 8;
  *p = static_cast<char>(static_cast<uint8_t>(*p) & ~(1u << (null_bit_ % 8)));
  table_->changed_ = true;
}

int32_t Field::AssignText(const char* text) { return AssignText(text, text ? std::strlen(text) : 0); }

int32_t Field::AssignText(const char* text, size_t length) {
  int32_t r = table_->CheckWritable();
  if (r != 0) return r;
  if (text == nullptr) {  // a null text assigns the empty text
    text = "";
    length = 0;
  }
  if (IsMemo()) {
    memo_.assign(text, length);
    memo_loaded_ = true;
    memo_changed_ = true;
  } else {
    char* p = table_->record_.data() + offset_;
    size_t n = std::min<size_t>(length, static_cast<size_t>(width_));
    std::memcpy(p, text, n);
    std::memset(p + n, ' ', static_cast<size_t>(width_) - n);
  }
  ClearNull();
  table_->changed_ = true;
  return 0;
}

int32_t Field::AssignLong(int32_t value) {
  if (type_ == 'I') {
    int32_t r = table_->CheckWritable();
    if (r != 0) return r;
    PutLe32(table_->record_.data() + offset_, static_cast<uint32_t>(value));
    ClearNull();
    table_->changed_ = true;
    return 0;
  }
  if (type_ == 'D') {
    // A day outside the years 1..9999 has no YYYYMMDD form: the empty date.
    int32_t y = 0, m = 0, d = 0;
    if (value > 0) CivilFromJulian(value, &y, &m, &d);
    std::string ymd = y >= 1 && y <= 9999 ? DateTextFromJulian(value) : std::string(8, ' ');
    return AssignText(ymd.data(), ymd.size());
  }
  return AssignDouble(static_cast<double>(value));
}

int32_t Field::AssignDouble(double value) {
  std::string text;
  switch (type_) {
    case 'N': case 'F':
      text = FormatStr(value, width_, decimals_);
      break;
    case 'C': {
      text = FormatStr(value, 20, decimals_);
      text.erase(0, text.find_first_not_of(' '));
      break;
    }
    case 'L':
      text = value != 0 ? "T" : "F";
      break;
    case 'D':
      return AssignLong(ClampToInt32(value));
    case 'I': case 'B': case 'Y': {
      int32_t r = table_->CheckWritable();
      if (r != 0) return r;
      char* p = table_->record_.data() + offset_;
      if (type_ == 'I') {
        PutLe32(p, static_cast<uint32_t>(ClampToInt32(std::round(value))));
      } else if (type_ == 'B') {
        std::memcpy(p, &value, 8);  // little-endian machine, as the format
      } else {
        int64_t scaled = static_cast<int64_t>(std::llround(value * 10000.0));
        std::memcpy(p, &scaled, 8);
      }
      ClearNull();
      table_->changed_ = true;
      return 0;
    }
    default: {
      std::string what = name_ + " type " + std::string(1, type_);
      return table_->context_->ReportError(kErrFieldType, 0, "numeric assignment", what.c_str(),
                                           table_->path_.c_str());
    }
  }
  return AssignText(text.data(), text.size());
}

int32_t Field::AssignField(const Field& from) {
  if (from.type_ == type_ && from.width_ == width_ && from.decimals_ == decimals_ && !IsMemo()) {
    int32_t r = table_->CheckWritable();
    if (r != 0) return r;
    std::memcpy(table_->record_.data() + offset_, from.Ptr(), static_cast<size_t>(width_));
    ClearNull();  // the value is a value now, whatever the source's null flag
    table_->changed_ = true;
    return 0;
  }
  if (IsNumericType(type_) || IsBinaryNumber(type_)) return AssignDouble(from.Double());
  if (type_ == 'D') {
    if (from.type_ == 'D' || from.type_ == 'C') {
      std::string t = from.Text();
      return AssignText(t.data(), t.size());
    }
    return AssignLong(from.Long());
  }
  if (type_ == 'L') {
    const char c = from.type_ == 'L' ? from.Ptr()[0] : (from.Double() != 0 ? 'T' : 'F');
    return AssignText(&c, 1);
  }
  std::string t = from.Text();
  if (IsNumericType(from.type_)) t.erase(0, t.find_first_not_of(' '));
  if (IsBinaryNumber(from.type_)) {
    t = FormatStr(from.Double(), 20, from.type_ == 'Y' ? 4 : from.decimals_);
    t.erase(0, t.find_first_not_of(' '));
  }
  return AssignText(t.data(), t.size());
}

double Field::Double() const {
  const char* p = Ptr();
  switch (type_) {
    case 'N': case 'F': case 'C':
      return ParseNumericText(std::string_view(p, static_cast<size_t>(width_)));
    case 'I':
      return static_cast<int32_t>(GetLe32(p));
    case 'B': {
      double v;
      std::memcpy(&v, p, 8);
      return v;
    }
    case 'Y': {
      int64_t v;
      std::memcpy(&v, p, 8);
      return static_cast<double>(v) / 10000.0;
    }
    case 'L':
      return (p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y') ? 1 : 0;
    case 'D':
      return JulianFromDateText(std::string_view(p, 8));
    case 'T':
      return static_cast<int32_t>(GetLe32(p)) + GetLe32(p + 4) / 86400000.0;
    default:
      return 0;
  }
}

int32_t Field::Long() const {
  if (type_ == 'I') return static_cast<int32_t>(GetLe32(Ptr()));
  return ClampToInt32(Double());
}

int32_t Field::MemoLength() {
  MemoPtr();
  return static_cast<int32_t>(memo_.size());
}

const char* Field::MemoPtr() {
  if (!IsMemo()) return "";
  if (!memo_loaded_) {
    memo_loaded_ = true;
    memo_.clear();
    const char* p = Ptr();
    uint32_t block = 0;
    bool ok = true;
    if (width_ == 4) {
      block = GetLe32(p);
    } else {
      double v = ParseNumericText(std::string_view(p, static_cast<size_t>(width_)), &ok);
      ok = ok && v >= 0 && v <= 4294967295.0;
      block = ok ? static_cast<uint32_t>(v) : 0;
    }
    Status s;
    if (!ok) {
      s = Status::Corruption("memo reference '" + std::string(p, static_cast<size_t>(width_)) + "' of field " + name_);
    } else if (block != 0 && table_->Memo() == nullptr) {
      s = Status::NotSupported("field " + name_ + " refers to a memo but the table has no memo file");
    } else if (block != 0) {
      s = table_->Memo()->Read(block, &memo_);
    }
    if (!s.ok()) {
      memo_.clear();
      table_->Fail(kErrMemo, s);
    }
  }
  return memo_.c_str();
}

int32_t Field::MemoSetLength(int32_t length) {
  if (!IsMemo()) {
    return table_->context_->ReportError(kErrFieldType, 0, "memo length of a non-memo field", name_.c_str());
  }
  int32_t r = table_->CheckWritable();
  if (r != 0) return r;
  MemoPtr();
  memo_.resize(static_cast<size_t>(std::max<int32_t>(0, length)), '\0');
  memo_changed_ = true;
  table_->changed_ = true;
  return 0;
}

char* Field::MemoBuffer() {
  MemoPtr();
  return memo_.data();
}

}  // namespace pv
