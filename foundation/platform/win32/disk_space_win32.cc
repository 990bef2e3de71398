#include <windows.h>

#include "foundation/platform/os_internal.h"
#include "foundation/platform/path_resolve.h"

namespace pv {

int DiskFreeSpaceFromOs(const std::string& path, uint64_t* free_to_caller, uint64_t* total,
                        uint64_t* total_free) {
  ULARGE_INTEGER caller;
  ULARGE_INTEGER all;
  ULARGE_INTEGER all_free;
  if (!GetDiskFreeSpaceExA(ResolvePath(path).c_str(), &caller, &all, &all_free)) {
    return static_cast<int>(GetLastError());
  }
  *free_to_caller = caller.QuadPart;
  *total = all.QuadPart;
  *total_free = all_free.QuadPart;
  return 0;
}

}  // namespace pv
