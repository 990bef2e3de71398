// Free and total space of the file system that holds a path.
//
// Tests replace the OS query with SetDiskSpaceHookForTesting, so that full
// and nearly full drives can be shown without filling a disk.
#ifndef PV_FOUNDATION_PLATFORM_DISK_SPACE_H_
#define PV_FOUNDATION_PLATFORM_DISK_SPACE_H_

#include <cstdint>
#include <functional>
#include <string>

namespace pv {

// Fills the bytes available to the calling user, the total size and the
// bytes free to anyone. Returns 0, or the OS error number (the outputs are
// then untouched). The path is resolved as the file layer resolves paths.
int DiskFreeSpace(const std::string& path, uint64_t* free_to_caller, uint64_t* total,
                     uint64_t* total_free);

// Replaces the OS query for every later call; an empty hook restores it.
using DiskSpaceHook =
    std::function<int(const std::string& path, uint64_t* free_to_caller, uint64_t* total,
                      uint64_t* total_free)>;
void SetDiskSpaceHookForTesting(DiskSpaceHook hook);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_DISK_SPACE_H_
