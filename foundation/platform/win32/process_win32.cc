// The executable, its user, and its version resource (foundation/version.rc.in,
// linked into every executable) read back with GetFileVersionInfoA.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/platform/process.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {
namespace {

Status LoadVersionResource(std::vector<char>* data) {
  std::string path;
  if (Status s = ExecutablePath(&path); !s.ok()) return s;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return Win32Status("GetFileVersionInfoSize", path, GetLastError());
  data->resize(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data->data())) {
    return Win32Status("GetFileVersionInfo", path, GetLastError());
  }
  return Status::OK();
}

}  // namespace

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

Status OwnFileVersion(int32_t (&number)[4]) {
  std::vector<char> data;
  if (Status s = LoadVersionResource(&data); !s.ok()) return s;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || len < sizeof *info) {
    return Status::NotFound("version resource: no fixed file information");
  }
  number[0] = HIWORD(info->dwFileVersionMS);
  number[1] = LOWORD(info->dwFileVersionMS);
  number[2] = HIWORD(info->dwFileVersionLS);
  number[3] = LOWORD(info->dwFileVersionLS);
  return Status::OK();
}

Status OwnVersionText(const char* key, std::string* value) {
  std::vector<char> data;
  if (Status s = LoadVersionResource(&data); !s.ok()) return s;
  // The first translation the resource lists names its string table.
  struct Translation {
    WORD language;
    WORD code_page;
  }* translation = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                      &len) ||
      len < sizeof *translation) {
    return Status::NotFound("version resource: no translation");
  }
  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04x%04x\\", translation->language,
                translation->code_page);
  char* text = nullptr;
  if (!VerQueryValueA(data.data(), (prefix + std::string(key)).c_str(), reinterpret_cast<void**>(&text),
                      &len) ||
      text == nullptr) {
    return Status::NotFound(std::string("version text ") + key);
  }
  value->assign(text, len > 0 ? std::strlen(text) : 0);
  return Status::OK();
}

Status PeakResidentBytes(uint64_t* bytes) {
  PROCESS_MEMORY_COUNTERS counters{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
    return Status::IOError("GetProcessMemoryInfo: " + Win32Message(GetLastError()));
  }
  *bytes = counters.PeakWorkingSetSize;
  return Status::OK();
}

int32_t LastOsError() { return static_cast<int32_t>(GetLastError()); }

void SetLastOsError(int32_t error) { SetLastError(static_cast<DWORD>(error)); }

}  // namespace pv
