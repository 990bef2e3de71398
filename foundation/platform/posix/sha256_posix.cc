// SHA-256 through libcrypto's EVP digest interface.
#include "foundation/platform/sha256.h"

#include <openssl/evp.h>

namespace pv {

struct Sha256::State {
  EVP_MD_CTX* ctx = nullptr;
  ~State() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : state_(new State) {
  state_->ctx = EVP_MD_CTX_new();
  ok_ = state_->ctx != nullptr && EVP_DigestInit_ex(state_->ctx, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t n) {
  if (ok_ && n > 0) ok_ = EVP_DigestUpdate(state_->ctx, data, n) == 1;
}

std::string Sha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!ok_ || EVP_DigestFinal_ex(state_->ctx, digest, &length) != 1 || length != 32) {
    ok_ = false;
    return "";
  }
  ok_ = false;  // finished: a second call has nothing to report
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
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
