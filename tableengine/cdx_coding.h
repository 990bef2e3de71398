// Byte-order helpers of the compound index format and its one corruption
// constructor. Index headers and node headers are little-endian; interior
// entries, and the change counter, are big-endian (cdx_node.h, cdx_header.h).
#ifndef PV_TABLEENGINE_CDX_CODING_H_
#define PV_TABLEENGINE_CDX_CODING_H_

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace pv {

inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t GetBe32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// "0x1A00": file offsets and raw values in error texts.
std::string CdxHex(uint32_t v);

// Every corruption found in an index file is built here: one place for a
// breakpoint when a damaged file is investigated.
Status CdxCorruption(const std::string& what);

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_CODING_H_
