// Reading and writing the fixed-width integers of the file formats over raw
// bytes (char or uint8_t). Table and memo headers, index headers and index
// node headers are little-endian; memo block numbers and sizes, interior
// index entries and the index change counter are big-endian (docs/formats.md).
#ifndef PV_TABLEENGINE_BYTE_ORDER_H_
#define PV_TABLEENGINE_BYTE_ORDER_H_

#include <cstdint>

namespace pv {

template <typename Byte>
uint16_t GetLe16(const Byte* p) {
  static_assert(sizeof(Byte) == 1);
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}

template <typename Byte>
uint32_t GetLe32(const Byte* p) {
  static_assert(sizeof(Byte) == 1);
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

template <typename Byte>
uint32_t GetBe32(const Byte* p) {
  static_assert(sizeof(Byte) == 1);
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

template <typename Byte>
void PutLe16(Byte* p, uint32_t v) {
  static_assert(sizeof(Byte) == 1);
  for (int i = 0; i < 2; ++i) p[i] = static_cast<Byte>((v >> (8 * i)) & 0xFF);
}

template <typename Byte>
void PutLe32(Byte* p, uint32_t v) {
  static_assert(sizeof(Byte) == 1);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<Byte>((v >> (8 * i)) & 0xFF);
}

template <typename Byte>
void PutBe32(Byte* p, uint32_t v) {
  static_assert(sizeof(Byte) == 1);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<Byte>((v >> (24 - 8 * i)) & 0xFF);
}

}  // namespace pv

#endif  // PV_TABLEENGINE_BYTE_ORDER_H_
