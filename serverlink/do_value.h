// DoValue: the typed value record exchanged with the process-data server's
// client library.
//
// Layout (the library's, 8 bytes on a 32-bit build):
//
//   offset  size  field
//   0       4     type   kDoTypeLong    0x03010000  value is a 32-bit signed integer
//                        kDoTypeFloat   0x03020000  value is a 32-bit IEEE float
//                        0x02xxxxxx                 value is text (we write kDoTypeText)
//   4       4     value  the integer, the float, or for text a pointer to a
//                        NUL-terminated string owned by the library
//
// On a 64-bit build the pointer makes the record 16 bytes; nothing depends on
// the record's size, only on the field meanings above.
#ifndef PV_SERVERLINK_DO_VALUE_H_
#define PV_SERVERLINK_DO_VALUE_H_

#include <cstdint>

constexpr uint32_t kDoTypeLong = 0x03010000u;
constexpr uint32_t kDoTypeFloat = 0x03020000u;
constexpr uint32_t kDoTypeText = 0x02000000u;

struct DoValue {
  uint32_t type = 0;
  union {
    int32_t lval;
    float fval;
    const char* text;
  };
  DoValue() : lval(0) {}
};

inline DoValue DoLong(int32_t v) {
  DoValue d;
  d.type = kDoTypeLong;
  d.lval = v;
  return d;
}

inline DoValue DoFloat(float v) {
  DoValue d;
  d.type = kDoTypeFloat;
  d.fval = v;
  return d;
}

// True when the record holds text: the type's most significant byte is 0x02.
inline bool DoIsText(const DoValue& v) { return (v.type >> 24) == 0x02u; }

// Truncates a float toward zero into 32 bits. Values beyond the 32-bit range
// saturate and NaN gives 0, so a stray float can never cause undefined
// behaviour in the conversion.
int32_t DoTruncateFloat(float f);

// A DoValue read as a number: a float (kDoTypeFloat) is truncated toward
// zero, every other type gives the value field as integer.
int32_t DoAsNumber(const DoValue& v);

#endif  // PV_SERVERLINK_DO_VALUE_H_
