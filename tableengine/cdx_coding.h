// Helpers of the compound index format: hex texts for error messages and its
// one corruption constructor. Its byte order is in byte_order.h.
#ifndef PV_TABLEENGINE_CDX_CODING_H_
#define PV_TABLEENGINE_CDX_CODING_H_

#include <cstdint>
#include <string>

#include "foundation/status.h"
#include "tableengine/byte_order.h"

namespace pv {

// "0x1A00": file offsets and raw values in error texts.
std::string CdxHex(uint32_t v);

// Every corruption found in an index file is built here: one place for a
// breakpoint when a damaged file is investigated.
Status CdxCorruption(const std::string& what);

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_CODING_H_
