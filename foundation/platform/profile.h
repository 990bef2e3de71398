// INI profile files: on Windows the system's profile functions, on POSIX the
// same rules in code.
//
// Profile rules (the Windows ones): section and key names compared without
// case; the value is the text after "=" with surrounding blanks removed and
// one pair of enclosing quotes stripped; lines starting with ";" are
// comments; the first matching section and key win (a later section of the
// same name is not read). A file name without a directory is read from the
// current directory on both platforms.
#ifndef PV_FOUNDATION_PLATFORM_PROFILE_H_
#define PV_FOUNDATION_PLATFORM_PROFILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace pv {

constexpr size_t kProfileValueMax = 511;  // characters of a value; longer ones are cut

// The value of section/key in ini_file, or default_value when the file,
// section or key is missing. All arguments non-null.
std::string ProfileString(const char* section, const char* key, const char* default_value,
                          const char* ini_file);

// Leading decimal digits with an optional sign ("0x" hexadecimal), wrapping
// as an unsigned 32-bit value; a value without digits gives 0, a missing key
// or file the default. All names non-null.
int32_t ProfileInt(const char* section, const char* key, int32_t default_value, const char* ini_file);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_PROFILE_H_
