// Cross-process locks on a table's files: which bytes mean what.
//
// Locks are exclusive byte-range locks on the data file, placed far beyond
// any data so that they never cover bytes that others read (Windows range
// locks block reads of locked bytes by other handles; our POSIX locks are
// advisory, but a FoxPro-compatible writer on a shared Windows volume
// relies on the placement). Two programs interoperate when they lock the
// same bytes; a larger range than the partner's only widens the conflict.
//
// This is the Visual FoxPro scheme for tables with a structural compound
// index (every table this system shares has one), applied to every table:
//   header ("record 0"): 1 byte at 0x7FFFFFFE. Held for each append and
//     header update, so that the record count is read, raised and written
//     by one writer at a time.
//   record n: 1 byte at 0x7FFFFFFE - n (record 1 at 0x7FFFFFFD).
//   whole table: from 0x7FFFFFFE down past every possible record byte; the
//     length is the larger of the two published values: 0x07FFFFFF, and
//     floor((2^31 - header length - 2) / (record length + 1)) + 1.
//   index update: 1 byte at 0x7FFFFFFE of the .cdx file (index module).
//   memo allocation: no published offset; the memo file is extended only
//     while the data file's header lock is held.
// Sources: foxpert.de "Looking at Locking" (offsets observed with a file
// monitor) and Harbour's doc/locks.txt, which agree on header and records.
#ifndef PV_TABLEENGINE_LOCK_PROTOCOL_H_
#define PV_TABLEENGINE_LOCK_PROTOCOL_H_

#include <algorithm>
#include <cstdint>

namespace pv {

constexpr uint64_t kLockHeaderByte = 0x7FFFFFFE;

constexpr uint64_t RecordLockByte(uint32_t recno) { return kLockHeaderByte - recno; }

// Length of the whole-table lock, which ends at (and includes) the header byte.
constexpr uint64_t TableLockLength(int32_t header_length, int32_t record_length) {
  return std::max<uint64_t>(
      0x07FFFFFF, (0x80000000ull - static_cast<uint64_t>(header_length) - 2) /
                          (static_cast<uint64_t>(record_length) + 1) + 1);
}
constexpr uint64_t TableLockStart(int32_t header_length, int32_t record_length) {
  return kLockHeaderByte + 1 - TableLockLength(header_length, record_length);
}

// The index lock, a byte of the .cdx file: shared while the index is read,
// exclusive while it is updated (cdx_file.h).
constexpr uint64_t kLockIndexByte = 0x7FFFFFFE;

}  // namespace pv

#endif  // PV_TABLEENGINE_LOCK_PROTOCOL_H_
