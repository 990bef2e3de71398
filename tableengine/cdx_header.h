// CdxHeader: the 1024-byte header of the tag directory (file offset 0) and of
// every tag of a compound index, decoded from and encoded to its bytes.
//
//   0    4  LE root node offset
//   4    4  LE first free node (0 or 0xFFFFFFFF: none); free nodes are chained
//           through their first 4 bytes (LE, 0 ends the chain)
//   8    4  BE change counter; the directory's is bumped on every change of
//           the file so that other processes can validate cached nodes
//   12   2  LE key length (1..240; directory: 10)
//   14   1  options: 0x01 unique, 0x02 null-indicator byte, 0x04 candidate,
//           0x08 FOR expression, 0x20 compact, 0x40 compound, 0x80 directory
//   15   1  signature (1)
//   16  20  statistics of some writers; written as zero, ignored
//   494  8  collation name, NUL-padded; all zero = machine collation
//   502  2  LE order: 0 ascending, 1 descending. Descending tags keep their
//           keys ascending in the tree; the flag reverses the walk only.
//   504  2  LE key expression pool length (as seen in every file)
//   506  2  LE FOR expression pool length including its NUL (1: none)
//   508  2  zero
//   510  2  LE key expression pool length including its NUL
//   512 512 key expression, NUL, FOR expression, NUL
#ifndef PV_TABLEENGINE_CDX_HEADER_H_
#define PV_TABLEENGINE_CDX_HEADER_H_

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace pv {

constexpr uint32_t kCdxHeaderSize = 1024;

struct CdxHeader {
  static constexpr uint8_t kUnique = 0x01;
  static constexpr uint8_t kNullable = 0x02;
  static constexpr uint8_t kCandidate = 0x04;
  static constexpr uint8_t kHasFor = 0x08;
  static constexpr uint8_t kCompact = 0x20;
  static constexpr uint8_t kCompound = 0x40;
  static constexpr uint8_t kDirectory = 0x80;

  // Decodes `bytes` (kCdxHeaderSize) of the header at `offset`; a key length
  // out of range, an expression pool that overruns, or an index that is not a
  // compact compound one is Corruption / NotSupported.
  static Status Decode(const uint8_t* bytes, uint32_t offset, CdxHeader* out);
  void Encode(uint8_t* bytes) const;

  bool descending() const { return order == 1; }
  bool unique() const { return (options & kUnique) != 0; }
  bool has_collation() const { return !collation.empty(); }

  uint32_t root = 0;
  uint32_t free_list = 0;
  uint32_t counter = 0;
  int32_t key_length = 10;
  uint8_t options = kCompact | kCompound | kDirectory;
  uint8_t signature = 1;
  uint16_t order = 0;
  std::string collation;
  std::string key_expr;
  std::string for_expr;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_HEADER_H_
