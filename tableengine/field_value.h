// Conversions between field bytes and values: the numeric text of N and F
// fields, dates as Julian day numbers, and the little-endian binary types.
#ifndef PV_TABLEENGINE_FIELD_VALUE_H_
#define PV_TABLEENGINE_FIELD_VALUE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace pv {

// value right-aligned in width characters with `decimals` places (rounded
// half away from zero). When the number needs more than width characters,
// the result is width asterisks (FoxPro's overflow form, which reads as 0).
std::string FormatNumeric(double value, int32_t width, int32_t decimals);

// The number in numeric text: blanks, an optional sign, digits, a point,
// digits, blanks. Blank text is 0; anything else unreadable is 0 with *ok false.
double ParseNumeric(std::string_view text, bool* ok = nullptr);

// Julian day number of a proleptic Gregorian date (2000-01-01 -> 2451545).
int32_t JulianFromCivil(int32_t year, int32_t month, int32_t day);
void CivilFromJulianDay(int32_t jd, int32_t* year, int32_t* month, int32_t* day);
// "YYYYMMDD" -> Julian day; 0 when blank or not a date.
int32_t JulianFromYmd(std::string_view text);
// Julian day -> "YYYYMMDD"; 8 blanks for 0.
std::string YmdFromJulian(int32_t jd);

}  // namespace pv

#endif  // PV_TABLEENGINE_FIELD_VALUE_H_
