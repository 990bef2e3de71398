#include "foundation/platform/win32/win32_error.h"

#include <windows.h>

namespace pv {

std::string Win32Message(uint32_t err) {
  char buf[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err, 0,
                           buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ' || buf[n - 1] == '.')) --n;
  std::string text = n > 0 ? std::string(buf, n) : std::string("unknown error");
  return text + " (error " + std::to_string(err) + ")";
}

Status Win32Status(const std::string& op, const std::string& what, uint32_t err) {
  std::string msg = op + " " + what + ": " + Win32Message(err);
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return Status::NotFound(msg);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_IO_PENDING:
      return Status::Busy(msg);
    default:
      return Status::IOError(msg);
  }
}

}  // namespace pv
