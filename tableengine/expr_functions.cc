#include "tableengine/expr_functions.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace pv {

namespace {

// Digits of |value| rounded half away from zero to `decimals` places, with the
// decimal point, no sign. Values beyond 2^63 fall back to printf's rounding.
std::string UnsignedFixed(double magnitude, int32_t decimals) {
  double scale = std::pow(10.0, decimals);
  double scaled = magnitude * scale;
  if (!(scaled < 9.2e18)) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(decimals), magnitude);
    return buf;
  }
  double floor_part = std::floor(scaled);
  double frac = scaled - floor_part;
  // A value such as 1.005 x 100 lands a hair below .5 in binary; dBASE users
  // expect it to round up, so a fraction within a few units of the last
  // place of one half counts as one half.
  double tolerance = 4e-16 * (scaled > 1.0 ? scaled : 1.0);
  if (tolerance > 0.25) tolerance = 0.25;
  uint64_t units = static_cast<uint64_t>(floor_part);
  if (frac >= 0.5 - tolerance) units += 1;
  std::string digits = std::to_string(units);
  if (decimals == 0) return digits;
  if (digits.size() <= static_cast<size_t>(decimals)) {
    digits.insert(0, static_cast<size_t>(decimals) + 1 - digits.size(), '0');
  }
  digits.insert(digits.size() - static_cast<size_t>(decimals), 1, '.');
  return digits;
}

}  // namespace

std::string FormatStr(double value, int32_t width, int32_t decimals) {
  if (width < 1) width = 1;
  if (decimals < 0) decimals = 0;
  if (!std::isfinite(value)) return std::string(static_cast<size_t>(width), '*');
  bool negative = std::signbit(value) && value != 0.0;
  for (int32_t d = decimals; d >= 0; --d) {
    std::string text = UnsignedFixed(std::fabs(value), d);
    // -0.001 rounded to 2 places is "0.00": no sign for a zero result.
    bool all_zero = text.find_first_not_of("0.") == std::string::npos;
    if (negative && !all_zero) text.insert(0, 1, '-');
    if (text.size() <= static_cast<size_t>(width)) {
      return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
    }
  }
  return std::string(static_cast<size_t>(width), '*');
}

char UpperAnsi(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
  switch (u) {
    case 0x9A: return static_cast<char>(0x8A);  // s caron
    case 0x9C: return static_cast<char>(0x8C);  // oe
    case 0x9E: return static_cast<char>(0x8E);  // z caron
    case 0xFF: return static_cast<char>(0x9F);  // y diaeresis
    default: return c;
  }
}

char LowerAnsi(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
  switch (u) {
    case 0x8A: return static_cast<char>(0x9A);
    case 0x8C: return static_cast<char>(0x9C);
    case 0x8E: return static_cast<char>(0x9E);
    case 0x9F: return static_cast<char>(0xFF);
    default: return c;
  }
}

int32_t JulianDay(int32_t year, int32_t month, int32_t day) {
  // Days from civil (H. Hinnant's algorithm), shifted from 1970-01-01 to the
  // Julian day count (1970-01-01 = 2440588).
  int32_t y = year - (month <= 2 ? 1 : 0);
  int32_t era = (y >= 0 ? y : y - 399) / 400;
  int32_t yoe = y - era * 400;
  int32_t mp = (month + 9) % 12;
  int32_t doy = (153 * mp + 2) / 5 + day - 1;
  int32_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 2440588;
}

void CivilFromJulian(int32_t jd, int32_t* year, int32_t* month, int32_t* day) {
  int32_t z = jd - 2440588 + 719468;
  int32_t era = (z >= 0 ? z : z - 146096) / 146097;
  int32_t doe = z - era * 146097;
  int32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int32_t mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = yoe + era * 400 + (*month <= 2 ? 1 : 0);
}

int32_t JulianFromDateText(std::string_view text) {
  if (text.size() < 8) return 0;
  int32_t v[3] = {0, 0, 0};
  const int lengths[3] = {4, 2, 2};
  size_t pos = 0;
  for (int part = 0; part < 3; ++part) {
    for (int i = 0; i < lengths[part]; ++i, ++pos) {
      char c = text[pos];
      if (c < '0' || c > '9') return 0;
      v[part] = v[part] * 10 + (c - '0');
    }
  }
  if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31) return 0;
  return JulianDay(v[0], v[1], v[2]);
}

std::string DateTextFromJulian(int32_t jd) {
  if (jd <= 0) return std::string(8, ' ');
  int32_t y, m, d;
  CivilFromJulian(jd, &y, &m, &d);
  if (y < 1 || y > 9999) return std::string(8, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", static_cast<int>(y), static_cast<int>(m),
                static_cast<int>(d));
  return std::string(buf, 8);
}

std::string DateTextFromDayNumber(double jd) {
  // Written so that NaN fails the test as well.
  if (!(jd >= 1.0 && jd < 2147483647.0)) return std::string(8, ' ');
  return DateTextFromJulian(static_cast<int32_t>(jd));
}

double ParseNumericText(std::string_view text, bool* ok) {
  if (ok) *ok = true;
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return 0.0;
  size_t e = text.find_last_not_of(' ');
  std::string_view t = text.substr(b, e - b + 1);
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || ptr != t.data() + t.size()) {
    if (ok) *ok = false;
    return 0.0;
  }
  return value;
}

}  // namespace pv
