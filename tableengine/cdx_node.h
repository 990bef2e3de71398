// CdxNode: one 512-byte node of a compact compound index (.cdx), decoded from
// and encoded to its bytes. No file access here (cdx_file.h moves nodes).
//
// The file (docs/formats.md section 3): 512-byte blocks; offset 0 holds the
// header of the tag directory, each tag has a 1024-byte header (cdx_header.h)
// and a B-tree of nodes. File pointers are byte offsets, multiples of 512.
//
// Node header, every node:
//   0  2  LE attributes: 0x01 root, 0x02 leaf; 0x04 appears in real files
//         with no known meaning and is masked off on reading, never written
//   2  2  LE number of keys
//   4  4  LE left sibling on the same level, 0xFFFFFFFF if none
//   8  4  LE right sibling, 0xFFFFFFFF if none
//
// Interior node, from offset 12: `count` entries of key length + 8 bytes:
//   key (uncompressed, padded), record number 4 bytes BE, child pointer 4 BE.
//   Each entry holds the last (largest) key of its child's subtree with that
//   key's record number.
//
// Leaf ("exterior") node:
//   12  2  LE free bytes          14  4  LE record-number mask
//   18  1  duplicate-count mask   19  1  trailing-count mask
//   20  1  R: record-number bits  21  1  D: duplicate-count bits
//   22  1  T: trailing-count bits 23  1  E: bytes per entry
//   24  count packed entries of E bytes, each an LE integer holding
//       recno (R bits) | dup << R | trail << (R + D)
//   ... free space ...
//   key texts, written from the end of the node downwards: entry i stores
//   key length - dup - trail bytes; its key is the first `dup` bytes of the
//   previous key + the stored bytes + `trail` pad bytes (blank for character
//   keys, 0x00 for binary keys).
// Writers use D = T = bit length of the key length, the smallest E whose R
// bits hold the node's largest record number, trail = trailing pad bytes,
// dup = common prefix with the previous key limited to what both store.
// Entries run in ascending (key, record number) order along the leaf chain.
#ifndef PV_TABLEENGINE_CDX_NODE_H_
#define PV_TABLEENGINE_CDX_NODE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/status.h"

namespace pv {

constexpr uint32_t kCdxBlockSize = 512;
constexpr uint32_t kCdxNone = 0xFFFFFFFFu;  // "no sibling"
constexpr int32_t kCdxMaxKeyLength = 240;

class CdxNode {
 public:
  static constexpr uint16_t kRoot = 0x01;
  static constexpr uint16_t kLeaf = 0x02;

  // Decodes the node at file offset `offset` (used only in error texts) from
  // `block` (kCdxBlockSize bytes). Every count, bit width and key position is
  // checked against the node's bounds: corrupt bytes give a Corruption status.
  static Status Decode(const uint8_t* block, uint32_t offset, int32_t key_length, uint8_t pad,
                       CdxNode* out);

  // Encodes into `block` (kCdxBlockSize bytes). Returns false, leaving block
  // unspecified, when the entries do not fit in one node.
  bool Encode(int32_t key_length, uint8_t pad, uint8_t* block) const;
  // Bytes the node's encoding takes (header, entries, key texts); it fits
  // when that is at most kCdxBlockSize.
  uint32_t EncodedSize(int32_t key_length, uint8_t pad) const;
  // True when the entries fit in one node (same rule as Encode).
  bool Fits(int32_t key_length, uint8_t pad) const {
    return EncodedSize(key_length, pad) <= kCdxBlockSize;
  }

  bool is_leaf() const { return (attributes & kLeaf) != 0; }
  bool is_root() const { return (attributes & kRoot) != 0; }
  int32_t count() const { return static_cast<int32_t>(recnos.size()); }
  std::string_view key(int32_t i, int32_t key_length) const {
    return std::string_view(keys).substr(static_cast<size_t>(i) * static_cast<size_t>(key_length),
                                         static_cast<size_t>(key_length));
  }
  void Insert(int32_t i, std::string_view key, uint32_t recno, uint32_t child);
  void Erase(int32_t i, int32_t key_length);
  // Replaces entry i's key and record number (an interior entry that follows
  // its child's last key).
  void SetEntry(int32_t i, std::string_view key, uint32_t recno);
  void Clear() {
    keys.clear();
    recnos.clear();
    children.clear();
    fit_key_length_ = -1;
  }

  uint16_t attributes = kRoot | kLeaf;
  uint32_t left = kCdxNone;
  uint32_t right = kCdxNone;
  std::string keys;               // count x key length bytes, full keys
  std::vector<uint32_t> recnos;   // record numbers (tag directory: tag header offsets)
  std::vector<uint32_t> children;  // interior nodes only: child pointers

 private:
  // What a leaf needs under the writer's encoding: the key text bytes and the
  // largest record number, valid for fit_key_length_ / fit_pad_ (-1: not
  // known). Insert and Erase keep them current, so an append learns whether
  // its leaf still fits without re-encoding the whole leaf. Anything that
  // changes keys or recnos otherwise must go through Clear or SetEntry.
  void ComputeFit(int32_t key_length, uint8_t pad) const;
  mutable int32_t fit_key_length_ = -1;
  mutable uint8_t fit_pad_ = 0;
  mutable int32_t text_bytes_ = 0;
  mutable uint32_t max_recno_ = 0;
};

// Bytes a leaf needs for `key` after `prev` (the whole leaf encoding uses the
// same rule); exposed for the splitting code and tests.
int32_t CdxLeafStoredBytes(std::string_view prev, std::string_view key, uint8_t pad);

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_NODE_H_
