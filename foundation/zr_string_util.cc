#include "foundation/zr_string_util.h"

#include <cstring>

namespace {

const char kWhitespace[] = " \t\n\r";

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

char* ZrRTrim(char* text) { return ZrRTrim(text, kWhitespace); }
char* ZrLTrim(char* text) { return ZrLTrim(text, kWhitespace); }

char* ZrRTrim(char* text, const char* set) {
  size_t n = strlen(text);
  while (n > 0 && strchr(set, text[n - 1]) != nullptr) --n;
  text[n] = '\0';
  return text;
}

char* ZrLTrim(char* text, const char* set) {
  size_t skip = strspn(text, set);
  if (skip > 0) memmove(text, text + skip, strlen(text + skip) + 1);
  return text;
}

char* ULong32ToHex(uint32_t value, char* buffer) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = 7; i >= 0; --i) {
    buffer[i] = kDigits[value & 0xF];
    value >>= 4;
  }
  return buffer;
}

char* ULong32ToHexSz(uint32_t value, char* buffer) {
  ULong32ToHex(value, buffer);
  buffer[8] = '\0';
  return buffer;
}

char* ULong64ToHex(uint32_t high, uint32_t low, char* buffer) {
  ULong32ToHex(high, buffer);
  ULong32ToHex(low, buffer + 8);
  return buffer;
}

char* ULong64ToHexSz(uint32_t high, uint32_t low, char* buffer) {
  ULong64ToHex(high, low, buffer);
  buffer[16] = '\0';
  return buffer;
}

bool HexToULong32(uint32_t& value, const char* text) {
  uint32_t v = 0;
  for (int i = 0; i < 8; ++i) {
    int d = HexDigitValue(text[i]);
    if (d < 0) {
      value = 0xFFFFFFFF;
      return false;
    }
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  value = v;
  return true;
}

bool HexToULong64(uint32_t& high, uint32_t& low, const char* text) {
  // The low half is read only after a complete high half, so a short text
  // never makes the scan pass its terminator.
  if (!HexToULong32(high, text) || !HexToULong32(low, text + 8)) {
    high = low = 0xFFFFFFFF;
    return false;
  }
  return true;
}
