// The portable part of SHA-256; the digest itself is <os>/sha256_*.cc.
#include "foundation/platform/sha256.h"

#include "foundation/platform/os_internal.h"

namespace pv {

std::string DigestHex(const unsigned char* digest, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < n; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

std::string Sha256Hex(const void* data, size_t n) {
  Sha256 h;
  h.Update(data, n);
  return h.HexDigest();
}

}  // namespace pv
