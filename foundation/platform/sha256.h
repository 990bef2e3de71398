// SHA-256 digests, from the system's crypto library (POSIX: libcrypto, which
// libzip already loads for its AES encryption; Windows: bcrypt).
//
// Use: Sha256 h; h.Update(...) any number of times; h.HexDigest() once. A
// digest that the library could not compute (no memory, a FIPS-restricted
// provider) is reported by ok() false and an empty HexDigest().
#ifndef PV_FOUNDATION_PLATFORM_SHA256_H_
#define PV_FOUNDATION_PLATFORM_SHA256_H_

#include <cstddef>
#include <memory>
#include <string>

namespace pv {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, size_t n);
  // 64 lower-case hexadecimal digits; "" when !ok(). Ends the computation.
  std::string HexDigest();
  bool ok() const { return ok_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  bool ok_ = true;
};

// The digest of one block of bytes ("" on failure).
std::string Sha256Hex(const void* data, size_t n);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_SHA256_H_
