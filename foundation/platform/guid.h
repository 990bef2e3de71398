// Globally unique identifiers in the Windows layout: one 32-bit, two 16-bit
// and eight 8-bit fields (16 bytes).
#ifndef PV_FOUNDATION_PLATFORM_GUID_H_
#define PV_FOUNDATION_PLATFORM_GUID_H_

#include <cstdint>

#include "foundation/status.h"

namespace pv {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};

  bool operator==(const Guid&) const = default;
};

// A new random (version 4) GUID from the OS's random source. On failure *guid
// is left all zero.
Status CreateGuid(Guid* guid);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_GUID_H_
