// The data file (.dbf) format, as far as this engine reads and writes it.
//
// Layout:
//   offset 0              header, 32 bytes
//   offset 32             field descriptors, 32 bytes each
//   after the last one    0x0D terminator
//   Visual FoxPro only    263-byte database backlink (0x30 0x31 0x32)
//   header length         record 1, record 2, ... (record length bytes each)
//   after the last record 0x1A end-of-file marker (optional when reading;
//                         always written, moved on every append)
//
// Header:
//   0   1  version byte: 0x03 no memo, 0x83 dBASE III + .dbt, 0x8B dBASE IV +
//          .dbt, 0xF5 FoxPro 2.x + .fpt, 0x30 Visual FoxPro, 0x31 with
//          autoincrement field, 0x32 with varchar/varbinary/blob fields
//   1   3  date of last update: year % 100 (files of some writers hold
//          year - 1900, read as such when >= 100), month, day
//   4   4  LE record count, deleted records included
//   8   2  LE header length = offset of record 1
//   10  2  LE record length, deletion byte included
//   12 16  reserved, zero
//   28  1  table flags: 0x01 structural .cdx, 0x02 memo fields, 0x04 container
//   29  1  code page mark (0x03 Windows-1252)
//   30  2  reserved
//
// Field descriptor (32 bytes):
//   0  11  name, upper case, NUL-padded (at most 10 characters)
//   11  1  type letter
//   12  4  LE displacement in the record (not trusted: offsets are summed)
//   16  1  length        17  1  decimals
//   18  1  Visual FoxPro flags: 0x01 system field, 0x02 nullable, 0x04 binary,
//          0x08 autoincrement
//   19  4  LE autoincrement next value    23  1  autoincrement step
//   24  8  reserved
//
// Records: byte 0 is the deletion flag (' ' live, '*' deleted), then the
// fields in descriptor order. Field storage:
//   C  text, blank-padded          N F  right-aligned ASCII number, blank = 0
//   L  T t Y y / F f N n / blank ?  D  YYYYMMDD, blanks = empty
//   M G P W  memo block: 10 ASCII digits (blanks = none) in FoxPro 2.x and
//          dBASE files, 4-byte LE integer (0 = none) when the width is 4
//   I  LE int32     B  LE double     Y  LE int64 = value x 10000
//   T  LE int32 Julian day, LE int32 milliseconds of the day (0,0 empty)
//   V Q  bytes; when the field's bit in _NullFlags is set, the last byte
//          holds the length
//   0  _NullFlags: one bit per nullable field, then per V/Q field, in field
//      order, least significant bit of the first byte first
#ifndef PV_TABLEENGINE_DBF_HEADER_H_
#define PV_TABLEENGINE_DBF_HEADER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/status.h"
#include "tableengine/byte_order.h"

namespace pv {

constexpr int32_t kDbfHeaderSize = 32;
constexpr int32_t kDbfDescriptorSize = 32;
constexpr int32_t kDbfBacklinkSize = 263;
constexpr uint8_t kDbfFieldTerminator = 0x0D;
constexpr uint8_t kDbfEofMarker = 0x1A;
constexpr int32_t kDbfMaxFields = 2046;

struct DbfFieldDesc {
  std::string name;  // as stored, without NUL padding
  char type = 'C';
  int32_t offset = 0;  // in the record, computed
  int32_t width = 0;
  int32_t decimals = 0;
  uint8_t flags = 0;
  uint32_t autoinc_next = 0;
  uint8_t autoinc_step = 0;
};

struct DbfHeader {
  uint8_t version = 0x03;
  int32_t year = 0, month = 0, day = 0;  // full year
  uint32_t record_count = 0;
  int32_t header_length = 0;
  int32_t record_length = 0;
  uint8_t table_flags = 0;
  uint8_t codepage = 0;
  std::vector<DbfFieldDesc> fields;

  bool IsVisualFoxPro() const { return version == 0x30 || version == 0x31 || version == 0x32; }
  bool HasDbtMemo() const { return version == 0x83 || version == 0x8B; }
  bool HasMemoFields() const;
};

// Decodes header and descriptors from the first bytes of a file (at least
// the header length, or all of a shorter file) and checks them against the
// file's size: known version, header length that holds the descriptors,
// record length = 1 + sum of widths, widths and offsets inside the record,
// types known, record count within the file (writers store a record before
// they count it, so a count beyond the end of the file is corruption).
Status DecodeDbfHeader(const std::string& bytes, uint64_t file_size, DbfHeader* header);

// Encodes a header and descriptors for a new file in the FoxPro 2.x form:
// header_length and record_length must already be set.
std::string EncodeDbfHeader(const DbfHeader& header);

// The 8 bytes at offset 1..3 (date) and 4..7 (count).
void EncodeDateAndCount(int32_t year, int32_t month, int32_t day, uint32_t count, char out[7]);

}  // namespace pv

#endif  // PV_TABLEENGINE_DBF_HEADER_H_
