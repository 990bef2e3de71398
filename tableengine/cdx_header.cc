#include "tableengine/cdx_header.h"

#include <cstring>

#include "tableengine/cdx_coding.h"
#include "tableengine/cdx_node.h"

namespace pv {

Status CdxHeader::Decode(const uint8_t* b, uint32_t offset, CdxHeader* out) {
  std::string where = "cdx header " + CdxHex(offset) + ": ";
  out->root = GetLe32(b);
  out->free_list = GetLe32(b + 4);
  if (out->free_list == kCdxNone) out->free_list = 0;
  out->counter = GetBe32(b + 8);
  out->key_length = GetLe16(b + 12);
  out->options = b[14];
  out->signature = b[15];
  if (out->key_length < 1 || out->key_length > kCdxMaxKeyLength) {
    return CdxCorruption(where + "key length " + std::to_string(out->key_length) + " out of range");
  }
  if ((out->options & (kCompact | kCompound)) != (kCompact | kCompound)) {
    return Status::NotSupported(where + "not a compact compound index (options " +
                                CdxHex(out->options) + ")");
  }
  const char* coll = reinterpret_cast<const char*>(b + 494);
  out->collation.assign(coll, strnlen(coll, 8));
  out->order = GetLe16(b + 502);
  uint32_t for_len = GetLe16(b + 506);
  uint32_t key_len = GetLe16(b + 510);
  if (key_len + for_len > 512) {
    return CdxCorruption(where + "expression pool lengths " + std::to_string(key_len) + "+" +
                         std::to_string(for_len) + " exceed 512");
  }
  const char* pool = reinterpret_cast<const char*>(b + 512);
  out->key_expr.assign(pool, strnlen(pool, key_len));
  out->for_expr.assign(pool + key_len, strnlen(pool + key_len, for_len));
  return Status::OK();
}

void CdxHeader::Encode(uint8_t* b) const {
  std::memset(b, 0, kCdxHeaderSize);
  PutLe32(b, root);
  PutLe32(b + 4, free_list);
  PutBe32(b + 8, counter);
  PutLe16(b + 12, static_cast<uint32_t>(key_length));
  uint8_t opts = options;
  if (for_expr.empty()) {
    opts &= static_cast<uint8_t>(~kHasFor);
  } else {
    opts |= kHasFor;
  }
  b[14] = opts;
  b[15] = signature;
  std::memcpy(b + 494, collation.data(), collation.size() < 8 ? collation.size() : 8);
  PutLe16(b + 502, order);
  uint32_t key_len = static_cast<uint32_t>(key_expr.size()) + 1;
  uint32_t for_len = static_cast<uint32_t>(for_expr.size()) + 1;
  PutLe16(b + 504, key_len);
  PutLe16(b + 506, for_len);
  PutLe16(b + 510, key_len);
  std::memcpy(b + 512, key_expr.data(), key_expr.size());
  std::memcpy(b + 512 + key_len, for_expr.data(), for_expr.size());
}

}  // namespace pv
