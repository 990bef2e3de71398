#include "tableengine/cdx_coding.h"

#include <cstdio>

namespace pv {

std::string CdxHex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(v));
  return buf;
}

Status CdxCorruption(const std::string& what) { return Status::Corruption(what); }

}  // namespace pv
