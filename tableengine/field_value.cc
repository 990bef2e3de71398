#include "tableengine/field_value.h"

#include <cmath>
#include <cstdio>

namespace pv {

std::string FormatNumeric(double value, int32_t width, int32_t decimals) {
  if (width < 1) return std::string();
  if (decimals < 0) decimals = 0;
  if (!std::isfinite(value)) return std::string(static_cast<size_t>(width), '*');
  // Round half away from zero at the field's decimals before printing, so
  // the text does not depend on printf's tie rule.
  const double scale = std::pow(10.0, decimals);
  double rounded = std::round(value * scale) / scale;
  if (rounded == 0) rounded = 0;  // no "-0.00"
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, rounded);
  if (n < 0 || n > width) return std::string(static_cast<size_t>(width), '*');
  return std::string(buf, static_cast<size_t>(n));
}

double ParseNumeric(std::string_view text, bool* ok) {
  if (ok != nullptr) *ok = true;
  size_t i = 0, n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\0')) i++;
  if (i == n) return 0;
  bool negative = false;
  if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
  double value = 0;
  bool digits = false;
  while (i < n && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + (text[i++] - '0');
    digits = true;
  }
  if (i < n && (text[i] == '.' || text[i] == ',')) {
    i++;
    double scale = 0.1;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
      value += (text[i++] - '0') * scale;
      scale /= 10;
      digits = true;
    }
  }
  // An exponent, as F fields of some writers hold.
  if (digits && i < n && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    bool eneg = false;
    if (j < n && (text[j] == '-' || text[j] == '+')) eneg = text[j++] == '-';
    int exp = 0;
    bool edigits = false;
    while (j < n && text[j] >= '0' && text[j] <= '9' && exp < 400) {
      exp = exp * 10 + (text[j++] - '0');
      edigits = true;
    }
    if (edigits) {
      value *= std::pow(10.0, eneg ? -exp : exp);
      i = j;
    }
  }
  while (i < n && (text[i] == ' ' || text[i] == '\0')) i++;
  if (!digits || i != n) {
    if (ok != nullptr) *ok = false;
    return 0;
  }
  return negative ? -value : value;
}

// Days from civil (H. Hinnant's algorithm), shifted to Julian day numbers.
int32_t JulianFromCivil(int32_t y, int32_t m, int32_t d) {
  y -= m <= 2;
  const int32_t era = (y >= 0 ? y : y - 399) / 400;
  const int32_t yoe = y - era * 400;
  const int32_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int32_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 2440588;
}

void CivilFromJulianDay(int32_t jd, int32_t* year, int32_t* month, int32_t* day) {
  int32_t z = jd - 2440588 + 719468;
  const int32_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int32_t doe = z - era * 146097;
  const int32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int32_t mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = yoe + era * 400 + (*month <= 2);
}

int32_t JulianFromYmd(std::string_view t) {
  if (t.size() < 8) return 0;
  int32_t v[8];
  for (int i = 0; i < 8; i++) {
    if (t[i] < '0' || t[i] > '9') return 0;
    v[i] = t[i] - '0';
  }
  int32_t y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  int32_t m = v[4] * 10 + v[5];
  int32_t d = v[6] * 10 + v[7];
  if (m < 1 || m > 12 || d < 1 || d > 31) return 0;
  return JulianFromCivil(y, m, d);
}

std::string YmdFromJulian(int32_t jd) {
  if (jd <= 0) return std::string(8, ' ');
  int32_t y, m, d;
  CivilFromJulianDay(jd, &y, &m, &d);
  if (y < 0 || y > 9999) return std::string(8, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return std::string(buf, 8);
}

}  // namespace pv
