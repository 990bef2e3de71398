// INI profile reads (see zr_process.h); the rules live in the platform layer
// (foundation/platform/profile.h), the system's own functions on Windows.
#include "foundation/platform/profile.h"
#include "foundation/zr_process.h"

ZrString ZrGetProfileString(const char* section, const char* key, const char* default_value,
                            const char* ini_file) {
  if (default_value == nullptr) default_value = "";
  // Null names would ask Windows for lists of sections or keys; they find nothing.
  std::string value = section == nullptr || key == nullptr || ini_file == nullptr
                          ? std::string(default_value).substr(0, pv::kProfileValueMax)
                          : pv::ProfileString(section, key, default_value, ini_file);
  return ZrString(value.c_str());
}

int32_t ZrGetProfileInt(const char* section, const char* key, int32_t default_value,
                        const char* ini_file) {
  if (section == nullptr || key == nullptr || ini_file == nullptr) return default_value;
  return pv::ProfileInt(section, key, default_value, ini_file);
}
