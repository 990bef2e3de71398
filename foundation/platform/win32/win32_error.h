// Error texts and Status mapping shared by the Win32 platform files.
#ifndef PV_FOUNDATION_PLATFORM_WIN32_WIN32_ERROR_H_
#define PV_FOUNDATION_PLATFORM_WIN32_WIN32_ERROR_H_

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace pv {

// "<text> (error N)" for a GetLastError() code, without the trailing newline.
std::string Win32Message(uint32_t err);

// "op what: text": NotFound for a missing file or path, Busy for a sharing or
// lock violation, IOError otherwise.
Status Win32Status(const std::string& op, const std::string& what, uint32_t err);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_WIN32_WIN32_ERROR_H_
