// The stored text forms of the persistence layer's own field kinds.
//
// All of them live in character fields and sort like their values:
//
//   bool      width 1   "T" for true, "F" for false; reads true only for "T"
//   PcTime    width 14  YYYYMMDDhhmmss of the seconds since 1970 (universal
//                       time as the caller keeps it); read with "%4d%2d..."
//                       so that a blank or short text reads as 0
//   32 bits   width 8   upper-case hexadecimal, most significant digit first;
//                       any non-hexadecimal character reads as 0xFFFFFFFF
//   64 bits   width 16  the same with 16 digits; a bad text reads as all ones
//
// Numbers in numeric fields are stored by the engine, right-aligned in the
// field's width; ZrpFormatLong and ZrpFormatDouble give the same text for
// building seek keys.
#ifndef PV_PERSIST_ZRP_FIELD_TEXT_H_
#define PV_PERSIST_ZRP_FIELD_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int32_t kZrpPcTimeWidth = 14;
constexpr int32_t kZrpHex32Width = 8;
constexpr int32_t kZrpHex64Width = 16;

inline char ZrpBoolChar(bool value) { return value ? 'T' : 'F'; }
inline bool ZrpBoolFromChar(char stored) { return stored == 'T'; }

// Writes the 14 digits and a terminator into out (15 bytes).
void ZrpFormatPcTime(uint32_t pcTime, char* out);
// Reads at most the first 14 characters of text (of which length are given).
uint32_t ZrpParsePcTime(const char* text, size_t length);

// Exactly 8 or 16 digits, no terminator.
void ZrpFormatHex32(uint32_t value, char* out);
void ZrpFormatHex64(uint64_t value, char* out);
// Reads exactly 8 or 16 characters.
uint32_t ZrpParseHex32(const char* text);
uint64_t ZrpParseHex64(const char* text);

// Right-aligned in width characters (decimals places for a double); a value
// whose text does not fit is width asterisks, as the engine stores it.
std::string ZrpFormatLong(int64_t value, int32_t width);
std::string ZrpFormatDouble(double value, int32_t width, int32_t decimals);

#endif  // PV_PERSIST_ZRP_FIELD_TEXT_H_
