#include "persist/zrp_table_seek.h"

#include <cstring>
#include <string>

#include "persist/zrp_field_text.h"

namespace {

void Append(ZrString& key, const char* text, size_t length) {
  if (length > 0) key.ConcatN(text, length);
}

void Append(ZrString& key, const std::string& text) { Append(key, text.data(), text.size()); }

}  // namespace

void ZrpTableAddSeek(ZrString& key, const ZrString& value, int32_t width) {
  if (width <= 0) return;
  std::string text(static_cast<const char*>(value));
  text.resize(static_cast<size_t>(width), ' ');
  Append(key, text);
}

void ZrpTableAddSeek(ZrString& key, int32_t value, int32_t width) {
  Append(key, ZrpFormatLong(value, width));
}

void ZrpTableAddSeek(ZrString& key, uint32_t value, int32_t width) {
  // Stored through the signed numeric assignment, as the field exchange does.
  Append(key, ZrpFormatLong(static_cast<int32_t>(value), width));
}

void ZrpTableAddSeek(ZrString& key, double value, int32_t width, int32_t decimals) {
  Append(key, ZrpFormatDouble(value, width, decimals));
}

void ZrpTableAddSeek(ZrString& key, bool value, int32_t /*width*/) {
  char stored = ZrpBoolChar(value);
  Append(key, &stored, 1);
}

void ZrpTableAddTimeSeek(ZrString& key, uint32_t pcTime) {
  char text[kZrpPcTimeWidth + 1];
  ZrpFormatPcTime(pcTime, text);
  Append(key, text, kZrpPcTimeWidth);
}

void ZrpTableAddSeek(ZrString& key, const ZrTime& value, bool withTimelevel) {
  key += value.AsSortableString(withTimelevel);
}

void ZrpTableAddHexSeek(ZrString& key, const uint64_t& value) {
  char text[kZrpHex64Width];
  ZrpFormatHex64(value, text);
  Append(key, text, kZrpHex64Width);
}

void ZrpTableAddHexSeek(ZrString& key, uint32_t value) {
  char text[kZrpHex32Width];
  ZrpFormatHex32(value, text);
  Append(key, text, kZrpHex32Width);
}

void ZrpTableAddHexSeek(ZrString& key, int32_t value) {
  ZrpTableAddHexSeek(key, static_cast<uint32_t>(value));
}
