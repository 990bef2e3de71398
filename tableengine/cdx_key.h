// Index keys: the bytes a tag stores for a record, and the bytes a seek text
// stands for (docs/formats.md section 3.5).
//
//   character  the value blank-padded (or cut) to the key length; compared
//              bytewise (machine collation)
//   numeric    8 bytes: the IEEE double, big-endian, with the sign bit set for
//              values >= 0 and all 64 bits inverted for negative values, so
//              that bytewise order is numeric order (N, F, B, Y, arithmetic,
//              RECNO(); 10001 -> C0 C3 88 80 00 00 00 00)
//   date       the Julian day number (0 for the empty date) as numeric
//   datetime   Julian day + fraction of the day as numeric
//   integer    an I field alone: 4 bytes big-endian with the sign bit
//              inverted (1 -> 80 00 00 01, -1 -> 7F FF FF FF)
//   logical    1 byte, 'T' or 'F'
//   nullable   tags over a field that may hold .NULL. (option 0x02) put 0x80
//              before the value; a null key is all zero bytes.
#ifndef PV_TABLEENGINE_CDX_KEY_H_
#define PV_TABLEENGINE_CDX_KEY_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/status.h"
#include "tableengine/expr.h"

namespace pv {

struct CdxKeyType {
  ExprType type = ExprType::kCharacter;
  int32_t length = 0;     // stored key length, null byte included
  bool nullable = false;

  // The pad byte of stored keys: blank for character keys, else 0.
  uint8_t pad() const { return type == ExprType::kCharacter ? 0x20 : 0x00; }
  int32_t value_length() const { return nullable ? length - 1 : length; }
};

// The key type of a tag's expression; InvalidArgument when its key would be
// longer than 240 bytes or empty.
Status CdxKeyTypeOf(const Expr& expr, CdxKeyType* out);

// Appends the 8 sortable bytes of a double.
void CdxAppendDouble(double v, std::string* out);
double CdxDecodeDouble(std::string_view bytes);

// The stored key of an evaluated value (exactly type.length bytes).
void CdxKeyFromValue(const CdxKeyType& type, const ExprValue& value, std::string* key);

// The key bytes a seek text stands for. Character tags: the text cut to the
// key length; a shorter text is a prefix (returned shorter). Numeric and date
// tags: the text read as a number / YYYYMMDD date and encoded in full.
void CdxKeyFromSeekText(const CdxKeyType& type, std::string_view text, std::string* key);

// A key's value as readable text (tools and error messages): character keys
// as they are, numbers and dates decoded.
std::string CdxKeyToText(const CdxKeyType& type, std::string_view key);

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_KEY_H_
