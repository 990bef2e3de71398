#include "persist/zrp_table_xchg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "persist/zrp_field_text.h"

namespace {

// The named field of the open table in read and write mode, else null. A
// missing field is reported through the engine's error hook.
pv::Field* RecordField(ZrpTableInfo* info, const char* name) {
  if (info->mode != XchgRead && info->mode != XchgWrite) return nullptr;
  if (info->table == nullptr) return nullptr;
  return info->table->FieldByName(name);
}

// The field's text without surrounding blanks, tabs, CRs and LFs.
std::string TrimmedText(const pv::Field& field) {
  std::string text = field.Text();
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// The first n stored bytes of the field, blank-padded when the field is
// narrower than declared.
std::string RawBytes(const pv::Field& field, int32_t n) {
  std::string bytes(static_cast<size_t>(n), ' ');
  int32_t have = field.Width() < n ? field.Width() : n;
  std::memcpy(bytes.data(), field.Ptr(), static_cast<size_t>(have));
  return bytes;
}

// Writes bytes straight into the record buffer and does what the engine's
// own assignment would: mark the record changed and clear the null flag.
void StoreRaw(pv::Field* field, const char* bytes, int32_t length) {
  pv::Table* table = field->GetTable();
  int32_t n = length < field->Width() ? length : field->Width();
  std::memcpy(table->RecordBuffer() + field->Offset(), bytes, static_cast<size_t>(n));
  table->MarkChanged(1);
  field->ClearNull();
}

// Handles define and clear mode; true when the call is done with that.
template <typename T>
bool DefineOrClear(ZrpTableInfo* info, T& value, const T& empty, const char* name, char type,
                   int32_t width, int32_t decimals = 0) {
  if (info->mode == XchgDefine) {
    info->fields.Add(name, type, width, decimals);
    return true;
  }
  if (info->mode == XchgClear) {
    value = empty;
    return true;
  }
  return false;
}

// The hexadecimal kinds: width digits straight into the record buffer.
template <typename T>
void HexField(ZrpTableInfo* info, T& value, const char* name, int32_t width,
              void (*format)(T, char*), T (*parse)(const char*)) {
  if (DefineOrClear<T>(info, value, 0, name, 'C', width)) return;
  pv::Field* field = RecordField(info, name);
  if (field == nullptr) return;
  if (info->mode == XchgWrite) {
    char text[kZrpHex64Width];
    format(value, text);
    StoreRaw(field, text, width);
  } else {
    value = parse(RawBytes(*field, width).c_str());
  }
}

std::string TagFilter(const char* filter) {
  if (filter == nullptr) return ".NOT. DELETED()";
  return std::string("(") + filter + ").AND.(.NOT. DELETED())";
}

}  // namespace

void ZrpTableName(ZrpTableInfo* info, const char* name) {
  if (info->mode == XchgName || info->mode == XchgDefine) info->name = ZrString(name);
}

void ZrpTableFld(ZrpTableInfo* info, ZrString& value, const char* name, int32_t width) {
  if (DefineOrClear<ZrString>(info, value, ZrString(""), name, 'C', width)) return;
  pv::Field* field = RecordField(info, name);
  if (field == nullptr) return;
  if (info->mode == XchgWrite) {
    field->AssignText(static_cast<const char*>(value));
  } else {
    value = ZrString(TrimmedText(*field).c_str());
  }
}

void ZrpTableFld(ZrpTableInfo* info, bool& value, const char* name) {
  if (DefineOrClear<bool>(info, value, false, name, 'C', 1)) return;
  pv::Field* field = RecordField(info, name);
  if (field == nullptr) return;
  if (info->mode == XchgWrite) {
    char stored = ZrpBoolChar(value);
    StoreRaw(field, &stored, 1);
  } else {
    value = field->Width() > 0 && ZrpBoolFromChar(field->Ptr()[0]);
  }
}

void ZrpTableFld(ZrpTableInfo* info, int32_t& value, const char* name, char type, int32_t width) {
  if (DefineOrClear<int32_t>(info, value, 0, name, type, width)) return;
  pv::Field* field = RecordField(info, name);
  if (field == nullptr) return;
  if (info->mode == XchgWrite) {
    field->AssignLong(value);
  } else {
    value = field->Long();
  }
}

void ZrpTableFld(ZrpTableInfo* info, uint32_t& value, const char* name, char type,
                 int32_t width) {
  if (DefineOrClear<uint32_t>(info, value, 0, name, type, width)) return;
  pv::Field* field = RecordField(info, name);
  if (field == nullptr) return;
  if (info->mode == XchgWrite) {
    // Stored as the unsigned number it is (a double holds it exactly), so
    // that numeric keys order PcTimes after 2038 after the earlier ones.
    field->AssignDouble(static_cast<double>(value));
  } else {
    // A negative number is a value above 2^31 - 1 written in its signed
    // form: it reads back as the same unsigned value.
    double stored = field->Double();
    value = stored < 0 ? static_cast<uint32_t>(static_cast<int32_t>(stored))
                       : static_cast<uint32_t>(stored > 4294967295.0 ? 4294967295.0 : stored);
  }
}

void ZrpTableFld(ZrpTableInfo* info, double& value, const char* name, char type, int32_t width,
                 int32_t decimals) {
  if (DefineOrClear<double>(info, value, 0.0, name, type, width, decimals)) return;
  pv::Field* field = RecordField(info, name);
  if (field == nullptr) return;
  if (info->mode == XchgWrite) {
    field->AssignDouble(value);
  } else {
    value = field->Double();
  }
}

void ZrpTableFldEx(ZrpTableInfo* info, double& value, const char* name, const char* format,
                   int32_t width) {
  if (DefineOrClear<double>(info, value, 0.0, name, 'C', width)) return;
  pv::Field* field = RecordField(info, name);
  if (field == nullptr) return;
  if (info->mode == XchgWrite) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    field->AssignText(text);
  } else {
    value = std::strtod(field->Text().c_str(), nullptr);
  }
}

void ZrpTableFld(ZrpTableInfo* info, ZrTime& value, const char* name, bool withTimelevel) {
  if (DefineOrClear<ZrTime>(info, value, ZrTime(), name, 'C', withTimelevel ? 25 : 17)) return;
  pv::Field* field = RecordField(info, name);
  if (field == nullptr) return;
  if (info->mode == XchgWrite) {
    field->AssignText(static_cast<const char*>(value.AsSortableString(withTimelevel)));
  } else {
    value.AssignSortableString(ZrString(TrimmedText(*field).c_str()), withTimelevel);
  }
}

void ZrpTableTimeFld(ZrpTableInfo* info, uint32_t& pcTime, const char* name) {
  if (DefineOrClear<uint32_t>(info, pcTime, 0, name, 'C', kZrpPcTimeWidth)) return;
  pv::Field* field = RecordField(info, name);
  if (field == nullptr) return;
  if (info->mode == XchgWrite) {
    char text[kZrpPcTimeWidth + 1];
    ZrpFormatPcTime(pcTime, text);
    StoreRaw(field, text, kZrpPcTimeWidth);
  } else {
    int32_t n = field->Width() < kZrpPcTimeWidth ? field->Width() : kZrpPcTimeWidth;
    pcTime = ZrpParsePcTime(field->Ptr(), static_cast<size_t>(n));
  }
}

void ZrpTableHexFld(ZrpTableInfo* info, uint64_t& value, const char* name) {
  HexField<uint64_t>(info, value, name, kZrpHex64Width, ZrpFormatHex64, ZrpParseHex64);
}

void ZrpTableHexFld(ZrpTableInfo* info, uint32_t& value, const char* name) {
  HexField<uint32_t>(info, value, name, kZrpHex32Width, ZrpFormatHex32, ZrpParseHex32);
}

void ZrpTableHexFld(ZrpTableInfo* info, int32_t& value, const char* name) {
  uint32_t bits = static_cast<uint32_t>(value);
  ZrpTableHexFld(info, bits, name);
  value = static_cast<int32_t>(bits);
}

void ZrpTableTag(ZrpTableInfo* info, const char* tagName, const char* expression,
                 const char* filter, bool unique, bool descending) {
  if (info->mode != XchgDefine) return;
  info->tags.Add(tagName, expression, TagFilter(filter),
                 unique ? pv::UniqueMode::kUniqueSilent : pv::UniqueMode::kKeepDuplicates,
                 descending);
}

void ZrpChildTableTag(ZrpTableInfo* info, const char* tagName, const char* expression,
                      const char* filter, bool unique, bool descending) {
  if (info->mode != XchgDefine) return;
  std::string tagFilter;
  if (filter == nullptr || *filter != '\0') tagFilter = TagFilter(filter);
  info->tags.Add(tagName, std::string("__P+") + expression, tagFilter,
                 unique ? pv::UniqueMode::kUniqueError : pv::UniqueMode::kKeepDuplicates,
                 descending);
}
