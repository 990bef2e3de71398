// The operating-system primitives that ResolvePath builds on; they take a path
// exactly as given (no separator mapping, no case folding). Implemented by the
// platform's file layer.
#ifndef PV_FOUNDATION_PLATFORM_PATH_RESOLVE_INTERNAL_H_
#define PV_FOUNDATION_PLATFORM_PATH_RESOLVE_INTERNAL_H_

#include <string>
#include <vector>

#include "foundation/status.h"

namespace pv {

bool PathExistsExact(const std::string& path);
Status ListDirectoryExact(const std::string& dir, std::vector<std::string>* names);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_PATH_RESOLVE_INTERNAL_H_
