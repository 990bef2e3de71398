#include <windows.h>

#include <vector>

#include "foundation/platform/process.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {

Status ExecutablePath(std::string* path) {
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::vector<char> buf(size);
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), size);
    if (n == 0) return Status::IOError("GetModuleFileName: " + Win32Message(GetLastError()));
    if (n < size) {
      path->assign(buf.data(), n);
      return Status::OK();
    }
  }
  return Status::IOError("GetModuleFileName: path too long");
}

Status UserName(std::string* name) {
  char buf[257];
  DWORD size = sizeof buf;
  if (!GetUserNameA(buf, &size)) return Status::NotFound("user name: " + Win32Message(GetLastError()));
  name->assign(buf);
  return Status::OK();
}

int32_t LastOsError() { return static_cast<int32_t>(GetLastError()); }

void SetLastOsError(int32_t error) { SetLastError(static_cast<DWORD>(error)); }

}  // namespace pv
