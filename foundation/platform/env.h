// Environment variables of the process.
//
// Names and values are byte strings (Windows-1252 text in this system). The
// environment is process-wide: SetEnv and UnsetEnv are meant for start-up and
// tests, not for use while other threads read it.
#ifndef PV_FOUNDATION_PLATFORM_ENV_H_
#define PV_FOUNDATION_PLATFORM_ENV_H_

#include <string>

#include "foundation/status.h"

namespace pv {

// True and the value when the variable is set (possibly to ""); false when not.
bool GetEnv(const char* name, std::string* value);
Status SetEnv(const char* name, const char* value);
Status UnsetEnv(const char* name);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_ENV_H_
