// The system's profile functions.
#include <windows.h>

#include <cstring>

#include "foundation/platform/profile.h"

namespace pv {
namespace {

// The profile functions look for a bare file name in the Windows directory;
// the program means the current one, as on POSIX.
std::string ProfilePath(const char* ini_file) {
  if (std::strpbrk(ini_file, "\\/:") != nullptr) return ini_file;
  return std::string(".\\") + ini_file;
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

}  // namespace pv
