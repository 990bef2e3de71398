// The system's profile functions and the version resource linked into every
// executable (foundation/version.rc.in), read back with GetFileVersionInfoA.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/platform/process.h"
#include "foundation/platform/profile.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {
namespace {

// The profile functions look for a bare file name in the Windows directory;
// the program means the current one, as on POSIX.
std::string ProfilePath(const char* ini_file) {
  if (std::strpbrk(ini_file, "\\/:") != nullptr) return ini_file;
  return std::string(".\\") + ini_file;
}

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

std::string ProfileString(const char* section, const char* key, const char* default_value,
                          const char* ini_file) {
  char buf[kProfileValueMax + 1];
  DWORD n = GetPrivateProfileStringA(section, key, default_value, buf, sizeof buf,
                                     ProfilePath(ini_file).c_str());
  return std::string(buf, n);
}

int32_t ProfileInt(const char* section, const char* key, int32_t default_value, const char* ini_file) {
  return static_cast<int32_t>(
      GetPrivateProfileIntA(section, key, default_value, ProfilePath(ini_file).c_str()));
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

}  // namespace pv
