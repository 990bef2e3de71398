// Fixed-width integer names used across Packvault.
//
// The system was designed for a platform whose long, unsigned long and int are
// all 32 bits wide. Every value that is stored in a file, compared, wraps or
// is formatted with %d/%x therefore uses these aliases (or int32_t/uint32_t
// directly), never plain long, so that Linux's 64-bit long changes nothing.
#ifndef PV_FOUNDATION_ZR_TYPES_H_
#define PV_FOUNDATION_ZR_TYPES_H_

#include <cstdint>

using ZrLong = int32_t;
using ZrULong = uint32_t;
using ZrInt = int32_t;
using ZrUInt = uint32_t;
using ZrWord = uint16_t;
using ZrByte = uint8_t;

// Seconds since 1970-01-01 00:00:00 UTC, unsigned 32 bits.
using ZrPcTime = uint32_t;

#endif  // PV_FOUNDATION_ZR_TYPES_H_
