// The test seam of DiskFreeSpace; the OS query is DiskFreeSpaceFromOs.
#include "foundation/platform/disk_space.h"

#include <mutex>

#include "foundation/platform/os_internal.h"

namespace pv {

namespace {
std::mutex hook_mu;
DiskSpaceHook& Hook() {
  static DiskSpaceHook hook;  // guarded by hook_mu
  return hook;
}
}  // namespace

void SetDiskSpaceHookForTesting(DiskSpaceHook hook) {
  std::lock_guard<std::mutex> l(hook_mu);
  Hook() = std::move(hook);
}

int DiskFreeSpace(const std::string& path, uint64_t* free_to_caller, uint64_t* total,
                     uint64_t* total_free) {
  DiskSpaceHook hook;
  {
    std::lock_guard<std::mutex> l(hook_mu);
    hook = Hook();
  }
  if (hook) return hook(path, free_to_caller, total, total_free);
  return DiskFreeSpaceFromOs(path, free_to_caller, total, total_free);
}

}  // namespace pv
