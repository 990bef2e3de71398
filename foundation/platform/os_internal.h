// The calls each platform implementation (posix/, win32/) provides to the
// platform-independent code of this folder. Not for use outside it.
#ifndef PV_FOUNDATION_PLATFORM_OS_INTERNAL_H_
#define PV_FOUNDATION_PLATFORM_OS_INTERNAL_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace pv {

// The OS query behind DiskFreeSpace (same contract).
int DiskFreeSpaceFromOs(const std::string& path, uint64_t* free_to_caller, uint64_t* total,
                        uint64_t* total_free);

// Lower-case hexadecimal of a digest's n bytes (sha256.cc).
std::string DigestHex(const unsigned char* digest, size_t n);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_OS_INTERNAL_H_
