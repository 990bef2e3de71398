// The Windows profile rules in code.
#include <cctype>
#include <string_view>

#include "foundation/platform/file.h"
#include "foundation/platform/path_resolve.h"
#include "foundation/platform/profile.h"

namespace pv {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The raw value of section/key in the file, or false when the file, section
// or key is missing.
bool FindValue(const char* section, const char* key, const char* ini_file, std::string* value) {
  std::string text;
  if (!ReadWholeFile(ini_file, &text).ok()) return false;
  bool in_section = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line = Trim(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (in_section) return false;  // only the first section of the name counts
      size_t close = line.find(']');
      std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? close : close - 1));
      in_section = EqualNoCase(std::string(name), section);
      continue;
    }
    if (!in_section) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (!EqualNoCase(std::string(Trim(line.substr(0, eq))), key)) continue;
    std::string_view v = Trim(line.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
      v = v.substr(1, v.size() - 2);
    }
    *value = std::string(v);
    return true;
  }
  return false;
}

}  // namespace

std::string ProfileString(const char* section, const char* key, const char* default_value,
                          const char* ini_file) {
  std::string value;
  if (!FindValue(section, key, ini_file, &value)) value = default_value;
  if (value.size() > kProfileValueMax) value.resize(kProfileValueMax);
  return value;
}

int32_t ProfileInt(const char* section, const char* key, int32_t default_value, const char* ini_file) {
  std::string value;
  if (!FindValue(section, key, ini_file, &value)) return default_value;
  const char* p = value.c_str();
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  uint32_t result = 0;  // wraps like the Windows routine's unsigned result
  for (; *p != '\0'; ++p) {
    int digit;
    unsigned char c = static_cast<unsigned char>(*p);
    if (std::isdigit(c)) {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(c)) {
      digit = std::tolower(c) - 'a' + 10;
    } else {
      break;
    }
    result = result * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
  }
  if (negative) result = 0u - result;
  return static_cast<int32_t>(result);
}

}  // namespace pv
