#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "foundation/platform/guid.h"

namespace pv {

Status CreateGuid(Guid* guid) {
  *guid = Guid();
  unsigned char b[16];
  size_t got = 0;
  while (got < sizeof b) {
    ssize_t n = getrandom(b + got, sizeof b - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::IOError(std::string("getrandom: ") + std::strerror(errno));
    }
    got += static_cast<size_t>(n);
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4: random
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  guid->data1 = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  guid->data2 = static_cast<uint16_t>((b[4] << 8) | b[5]);
  guid->data3 = static_cast<uint16_t>((b[6] << 8) | b[7]);
  std::memcpy(guid->data4, b + 8, 8);
  return Status::OK();
}

}  // namespace pv
