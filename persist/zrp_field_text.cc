#include "persist/zrp_field_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "foundation/zr_string_util.h"
#include "foundation/zr_time.h"

namespace {

// width decimal digits of value, most significant first.
void PutDigits(uint32_t value, int32_t width, char* out) {
  for (int32_t i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

uint32_t GetDigits(const char* text, int32_t width) {
  uint32_t value = 0;
  for (int32_t i = 0; i < width; ++i) value = value * 10 + static_cast<uint32_t>(text[i] - '0');
  return value;
}

}  // namespace

// Both directions run once per record of an archive copy, so they avoid the
// formatted I/O of the C library. The year of a PcTime (at most 2106) always
// has four digits and the other parts two, as "%4.4d%2.2d..." writes them.
void ZrpFormatPcTime(uint32_t pcTime, char* out) {
  uint32_t year, month, day, hour, minute, second;
  ZrPcTime2DateAndTime(pcTime, year, month, day, hour, minute, second);
  PutDigits(year, 4, out);
  PutDigits(month, 2, out + 4);
  PutDigits(day, 2, out + 6);
  PutDigits(hour, 2, out + 8);
  PutDigits(minute, 2, out + 10);
  PutDigits(second, 2, out + 12);
  out[kZrpPcTimeWidth] = '\0';
}

uint32_t ZrpParsePcTime(const char* text, size_t length) {
  int parts[6] = {0, 0, 0, 0, 0, 0};
  constexpr int32_t kWidths[6] = {4, 2, 2, 2, 2, 2};
  const bool digits = length >= static_cast<size_t>(kZrpPcTimeWidth) &&
                      std::all_of(text, text + kZrpPcTimeWidth, [](char c) { return c >= '0' && c <= '9'; });
  if (digits) {
    for (int32_t i = 0, at = 0; i < 6; at += kWidths[i], ++i) {
      parts[i] = static_cast<int>(GetDigits(text + at, kWidths[i]));
    }
  } else {
    // Blanks, signs, a short text: the scan's own reading of them.
    char buffer[kZrpPcTimeWidth + 1];
    size_t n = length < static_cast<size_t>(kZrpPcTimeWidth) ? length : kZrpPcTimeWidth;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    std::sscanf(buffer, "%4d%2d%2d%2d%2d%2d", &parts[0], &parts[1], &parts[2], &parts[3],
                &parts[4], &parts[5]);
  }
  uint32_t result = 0;
  ZrDateAndTime2PcTime(result, static_cast<uint32_t>(parts[0]), static_cast<uint32_t>(parts[1]),
                       static_cast<uint32_t>(parts[2]), static_cast<uint32_t>(parts[3]),
                       static_cast<uint32_t>(parts[4]), static_cast<uint32_t>(parts[5]));
  return result;
}

void ZrpFormatHex32(uint32_t value, char* out) { ULong32ToHex(value, out); }

void ZrpFormatHex64(uint64_t value, char* out) {
  ULong64ToHex(static_cast<uint32_t>(value >> 32), static_cast<uint32_t>(value), out);
}

uint32_t ZrpParseHex32(const char* text) {
  uint32_t value = 0;
  HexToULong32(value, text);  // a bad digit leaves 0xFFFFFFFF
  return value;
}

uint64_t ZrpParseHex64(const char* text) {
  uint32_t high = 0, low = 0;
  HexToULong64(high, low, text);  // a bad digit leaves both halves all ones
  return (static_cast<uint64_t>(high) << 32) | low;
}

namespace {

std::string FitOrStars(const char* text, int32_t width) {
  if (width <= 0) return std::string();
  if (static_cast<int32_t>(std::strlen(text)) > width) return std::string(width, '*');
  return std::string(text);
}

}  // namespace

std::string ZrpFormatLong(int64_t value, int32_t width) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%*lld", static_cast<int>(width < 40 ? width : 40),
                static_cast<long long>(value));
  return FitOrStars(buffer, width);
}

std::string ZrpFormatDouble(double value, int32_t width, int32_t decimals) {
  char buffer[400];
  int w = width < 40 ? width : 40;
  int d = decimals < 0 ? 0 : (decimals > 20 ? 20 : decimals);
  std::snprintf(buffer, sizeof buffer, "%*.*f", w, d, value);
  return FitOrStars(buffer, width);
}
