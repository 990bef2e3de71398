// Volume serial number and file index play the device and inode.
#include <windows.h>

#include "foundation/platform/file_identity.h"
#include "foundation/platform/path_resolve.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {

Status GetFileIdentity(const std::string& given, FileIdentity* id) {
  std::string path = ResolvePath(given);
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Win32Status("stat", path, GetLastError());
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(h, &info);
  DWORD err = GetLastError();
  CloseHandle(h);
  if (!ok) return Win32Status("stat", path, err);
  id->device = info.dwVolumeSerialNumber;
  id->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  id->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  const uint64_t ticks =
      (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
  id->mtime_ns = static_cast<int64_t>(ticks) * 100;
  return Status::OK();
}

}  // namespace pv
