#include <windows.h>

#include "foundation/platform/directory.h"
#include "foundation/platform/path_resolve.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {

Status MakeDirectory(const std::string& path) {
  std::string resolved = ResolvePath(path);
  if (!CreateDirectoryA(resolved.c_str(), nullptr)) {
    DWORD err = GetLastError();
    if (err == ERROR_PATH_NOT_FOUND) return Win32Status("create directory", resolved, err);
    return Status::IOError("create directory " + resolved + ": " + Win32Message(err));
  }
  return Status::OK();
}

}  // namespace pv
