#include "tableengine/dbf_header.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pv {

bool DbfHeader::HasMemoFields() const {
  for (const DbfFieldDesc& f : fields) {
    if (f.type == 'M' || f.type == 'G' || f.type == 'P' || f.type == 'W') return true;
  }
  return false;
}

namespace {

bool KnownVersion(uint8_t v) {
  switch (v) {
    case 0x03: case 0x83: case 0x8B: case 0xF5: case 0x30: case 0x31: case 0x32:
      return true;
    default:
      return false;
  }
}

// Width rules per type; returns an error text or null.
const char* CheckFieldShape(const DbfFieldDesc& f, bool vfp) {
  switch (f.type) {
    case 'C': case 'V': case 'Q': case '0':
      return f.width >= 1 ? nullptr : "zero width";
    case 'N': case 'F':
      if (f.width < 1 || f.width > 20) return "numeric width outside 1..20";
      return f.decimals < f.width ? nullptr : "decimals not below width";
    case 'L':
      return f.width == 1 ? nullptr : "logical width not 1";
    case 'D':
      return f.width == 8 ? nullptr : "date width not 8";
    case 'M': case 'G': case 'P': case 'W':
      return f.width == 10 || (vfp && f.width == 4) ? nullptr : "memo width not 10 (or 4)";
    case 'I':
      return f.width == 4 ? nullptr : "integer width not 4";
    case 'B': case 'Y': case 'T':
      return f.width == 8 ? nullptr : "binary width not 8";
    default:
      return "unknown field type";
  }
}

Status Corrupt(const std::string& what) { return Status::Corruption("dbf header: " + what); }

}  // namespace

Status DecodeDbfHeader(const std::string& bytes, uint64_t file_size, DbfHeader* h) {
  *h = DbfHeader();
  if (bytes.size() < static_cast<size_t>(kDbfHeaderSize)) {
    return Corrupt("file of " + std::to_string(file_size) + " bytes is shorter than a header");
  }
  const char* p = bytes.data();
  h->version = static_cast<uint8_t>(p[0]);
  if (!KnownVersion(h->version)) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", h->version);
    return Status::NotSupported(std::string("dbf header: version byte ") + buf);
  }
  int32_t y = static_cast<uint8_t>(p[1]);
  h->year = y >= 100 ? 1900 + y : (y < 80 ? 2000 + y : 1900 + y);
  h->month = static_cast<uint8_t>(p[2]);
  h->day = static_cast<uint8_t>(p[3]);
  h->record_count = GetLe32(p + 4);
  h->header_length = GetLe16(p + 8);
  h->record_length = GetLe16(p + 10);
  h->table_flags = static_cast<uint8_t>(p[28]);
  h->codepage = static_cast<uint8_t>(p[29]);

  const bool vfp = h->IsVisualFoxPro();
  const int32_t extra = vfp ? kDbfBacklinkSize : 0;
  if (h->header_length < kDbfHeaderSize + 1) {
    return Corrupt("header length " + std::to_string(h->header_length) + " too small");
  }
  if (static_cast<uint64_t>(h->header_length) > file_size || bytes.size() < static_cast<size_t>(h->header_length)) {
    return Corrupt("header length " + std::to_string(h->header_length) + " beyond the file's end");
  }
  if (h->record_length < 1) return Corrupt("record length 0");

  // Descriptors run until the 0x0D terminator, which must lie inside the
  // header (some writers leave room after it).
  int32_t pos = kDbfHeaderSize;
  int32_t offset = 1;
  while (true) {
    if (pos >= h->header_length) return Corrupt("no field terminator inside the header");
    if (static_cast<uint8_t>(p[pos]) == kDbfFieldTerminator) break;
    if (pos + kDbfDescriptorSize + 1 > h->header_length) {
      return Corrupt("field descriptor " + std::to_string(h->fields.size() + 1) + " runs past the header");
    }
    if (h->fields.size() >= static_cast<size_t>(kDbfMaxFields)) return Corrupt("too many fields");
    const char* d = p + pos;
    DbfFieldDesc f;
    size_t n = 0;
    while (n < 11 && d[n] != '\0') n++;
    f.name.assign(d, n);
    f.type = d[11];
    if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 32);
    f.width = static_cast<uint8_t>(d[16]);
    f.decimals = static_cast<uint8_t>(d[17]);
    f.flags = static_cast<uint8_t>(d[18]);
    f.autoinc_next = GetLe32(d + 19);
    f.autoinc_step = static_cast<uint8_t>(d[23]);
    // A character field wider than 255 keeps its high byte in the
    // decimals byte (a Clipper extension some writers use).
    if (f.type == 'C' && f.decimals != 0 && !vfp) {
      f.width += f.decimals * 256;
      f.decimals = 0;
    }
    const std::string where = "field " + std::to_string(h->fields.size() + 1) + " (" + f.name + ")";
    if (f.name.empty()) return Corrupt(where + ": empty name");
    for (char c : f.name) {
      if (static_cast<unsigned char>(c) < 0x20) return Corrupt(where + ": control character in name");
    }
    if (const char* bad = CheckFieldShape(f, vfp)) {
      return Corrupt(where + " type '" + std::string(1, f.type) + "' width " +
                     std::to_string(f.width) + ": " + bad);
    }
    f.offset = offset;
    offset += f.width;
    h->fields.push_back(f);
    pos += kDbfDescriptorSize;
  }
  if (h->fields.empty()) return Corrupt("no fields");
  if (pos + 1 + extra > h->header_length) {
    return Corrupt("header length " + std::to_string(h->header_length) + " too small for " +
                   std::to_string(h->fields.size()) + " fields");
  }
  if (offset != h->record_length) {
    return Corrupt("record length " + std::to_string(h->record_length) +
                   " does not match the fields (" + std::to_string(offset) + ")");
  }
  const uint64_t data_end = static_cast<uint64_t>(h->header_length) +
                            static_cast<uint64_t>(h->record_count) * static_cast<uint64_t>(h->record_length);
  if (data_end > file_size) {
    return Corrupt("record count " + std::to_string(h->record_count) + " needs " +
                   std::to_string(data_end) + " bytes, file has " + std::to_string(file_size));
  }
  return Status::OK();
}

void EncodeDateAndCount(int32_t year, int32_t month, int32_t day, uint32_t count, char out[7]) {
  out[0] = static_cast<char>(year % 100);
  out[1] = static_cast<char>(month);
  out[2] = static_cast<char>(day);
  PutLe32(out + 3, count);
}

std::string EncodeDbfHeader(const DbfHeader& h) {
  std::string out(static_cast<size_t>(h.header_length), '\0');
  char* p = out.data();
  p[0] = static_cast<char>(h.version);
  EncodeDateAndCount(h.year, h.month, h.day, h.record_count, p + 1);
  PutLe16(p + 8, static_cast<uint16_t>(h.header_length));
  PutLe16(p + 10, static_cast<uint16_t>(h.record_length));
  p[28] = static_cast<char>(h.table_flags);
  p[29] = static_cast<char>(h.codepage);
  int32_t pos = kDbfHeaderSize;
  for (const DbfFieldDesc& f : h.fields) {
    char* d = p + pos;
    std::memcpy(d, f.name.data(), std::min<size_t>(f.name.size(), 10));
    d[11] = f.type;
    PutLe32(d + 12, static_cast<uint32_t>(f.offset));
    d[16] = static_cast<char>(f.width & 0xFF);
    d[17] = static_cast<char>(f.decimals);
    d[18] = static_cast<char>(f.flags);
    pos += kDbfDescriptorSize;
  }
  p[pos] = static_cast<char>(kDbfFieldTerminator);
  return out;
}

}  // namespace pv
