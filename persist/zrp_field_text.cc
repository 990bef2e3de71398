#include "persist/zrp_field_text.h"

#include <cstdio>
#include <cstring>

#include "foundation/zr_string_util.h"
#include "foundation/zr_time.h"

void ZrpFormatPcTime(uint32_t pcTime, char* out) {
  uint32_t year, month, day, hour, minute, second;
  ZrPcTime2DateAndTime(pcTime, year, month, day, hour, minute, second);
  std::snprintf(out, kZrpPcTimeWidth + 1, "%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d",
                static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
                static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second));
}

uint32_t ZrpParsePcTime(const char* text, size_t length) {
  char buffer[kZrpPcTimeWidth + 1];
  size_t n = length < static_cast<size_t>(kZrpPcTimeWidth) ? length : kZrpPcTimeWidth;
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  int parts[6] = {0, 0, 0, 0, 0, 0};
  std::sscanf(buffer, "%4d%2d%2d%2d%2d%2d", &parts[0], &parts[1], &parts[2], &parts[3],
              &parts[4], &parts[5]);
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
