// Value conversions shared by the expression evaluator and the key builder:
// dBASE's STR() text form, upper/lower case in the Windows-1252 code page,
// Julian day numbers of calendar dates, and the numbers stored as text in N
// and F fields.
#ifndef PV_TABLEENGINE_EXPR_FUNCTIONS_H_
#define PV_TABLEENGINE_EXPR_FUNCTIONS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace pv {

// STR(value, width, decimals): the value rounded half away from zero to
// `decimals` places, right-aligned in `width` characters, blank-padded. When it
// does not fit, fewer decimals are used; when even the integer part does not
// fit, the result is `width` asterisks. width >= 1, 0 <= decimals.
std::string FormatStr(double value, int32_t width, int32_t decimals);

// Upper/lower case of one Windows-1252 byte (letters with accents included).
char UpperAnsi(char c);
char LowerAnsi(char c);

// Julian day number of a proleptic Gregorian date (2000-01-01 -> 2451545).
int32_t JulianDay(int32_t year, int32_t month, int32_t day);
// Inverse of JulianDay.
void CivilFromJulian(int32_t jd, int32_t* year, int32_t* month, int32_t* day);

// Julian day of an 8-byte "YYYYMMDD" text; 0 for a blank or malformed date.
int32_t JulianFromDateText(std::string_view text);
// "YYYYMMDD" of a Julian day; 8 blanks for 0 (the empty date) and for any
// day outside the years 1 to 9999, which the text cannot show.
std::string DateTextFromJulian(int32_t jd);
// The same for a day held as a number (a date value or a decoded key):
// anything that is not a day number in range (fractions cut) is blank.
std::string DateTextFromDayNumber(double jd);

// The number in an N or F field's text: optional blanks, sign, digits, a
// decimal point, digits. Blank text reads as 0; text that is not a number
// (for example an overflow of asterisks) also reads as 0 and sets *ok false.
double ParseNumericText(std::string_view text, bool* ok = nullptr);

}  // namespace pv

#endif  // PV_TABLEENGINE_EXPR_FUNCTIONS_H_
