// In-place trims and fixed-width hexadecimal conversions of texts.
//
// The hexadecimal forms are how the persistence layer stores object ids:
// exactly 8 (32-bit) or 16 (64-bit, high half first) upper-case digits. The
// plain forms write no terminator; the ...Sz forms add one (9 or 17 bytes).
// Parsing reads exactly 8 or 16 digits of either case and looks at nothing
// beyond them.
#ifndef PV_FOUNDATION_ZR_STRING_UTIL_H_
#define PV_FOUNDATION_ZR_STRING_UTIL_H_

#include <cstdint>

// Remove trailing / leading bytes of " \t\n\r" (or of `set`); return text.
char* ZrRTrim(char* text);
char* ZrLTrim(char* text);
char* ZrRTrim(char* text, const char* set);
char* ZrLTrim(char* text, const char* set);

char* ULong32ToHex(uint32_t value, char* buffer);
char* ULong32ToHexSz(uint32_t value, char* buffer);
char* ULong64ToHex(uint32_t high, uint32_t low, char* buffer);
char* ULong64ToHexSz(uint32_t high, uint32_t low, char* buffer);

// False, with every output set to 0xFFFFFFFF, at the first byte that is not
// a hexadecimal digit (the terminator of a short text included).
bool HexToULong32(uint32_t& value, const char* text);
bool HexToULong64(uint32_t& high, uint32_t& low, const char* text);

#endif  // PV_FOUNDATION_ZR_STRING_UTIL_H_
