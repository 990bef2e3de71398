// SHA-256 through the Windows crypto API (bcrypt), which the static libzip
// uses for its AES as well.
#include <windows.h>

#include <bcrypt.h>

#include "foundation/platform/os_internal.h"
#include "foundation/platform/sha256.h"

namespace pv {

struct Sha256::State {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (alg != nullptr) BCryptCloseAlgorithmProvider(alg, 0);
  }
};

Sha256::Sha256() : state_(new State) {
  ok_ = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&state_->alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
        BCRYPT_SUCCESS(BCryptCreateHash(state_->alg, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t n) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (ok_ && n > 0) {
    const ULONG chunk = n > 0x40000000u ? 0x40000000u : static_cast<ULONG>(n);
    ok_ = BCRYPT_SUCCESS(BCryptHashData(state_->hash, const_cast<PUCHAR>(p), chunk, 0));
    p += chunk;
    n -= chunk;
  }
}

std::string Sha256::HexDigest() {
  unsigned char digest[32];
  if (!ok_ || !BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, digest, sizeof digest, 0))) {
    ok_ = false;
    return "";
  }
  ok_ = false;  // finished: a second call has nothing to report
  return DigestHex(digest, sizeof digest);
}

}  // namespace pv
