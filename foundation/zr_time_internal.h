// 32-bit wrapping arithmetic for the time conversions.
//
// The conversions are defined on 32-bit integers that wrap on overflow (a
// field value out of its range is never refused); signed overflow is
// undefined in C++, so sums and products go through uint32_t.
#ifndef PV_FOUNDATION_ZR_TIME_INTERNAL_H_
#define PV_FOUNDATION_ZR_TIME_INTERNAL_H_

#include <cstdint>

namespace zr_time_internal {

inline int32_t Add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t Sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t Mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
// ((hour * 60 + minute) * 60 + second) * 1000 + millisecond.
inline int32_t Tod(int32_t hour, int32_t minute, int32_t second, int32_t millisecond) {
  return Add(Mul(Add(Mul(Add(Mul(hour, 60), minute), 60), second), 1000), millisecond);
}

}  // namespace zr_time_internal

#endif  // PV_FOUNDATION_ZR_TIME_INTERNAL_H_
