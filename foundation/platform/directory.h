// Creating directories. Paths follow the file layer's rules ("\" and "/"
// separate; existing components are found without regard to case).
#ifndef PV_FOUNDATION_PLATFORM_DIRECTORY_H_
#define PV_FOUNDATION_PLATFORM_DIRECTORY_H_

#include <string>

#include "foundation/status.h"

namespace pv {

// Creates one directory whose parent exists. IOError when it cannot be
// created, also when the name exists already (as a file or directory).
Status MakeDirectory(const std::string& path);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_DIRECTORY_H_
