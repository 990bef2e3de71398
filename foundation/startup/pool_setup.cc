// Linked into every test binary, tool and benchmark (the object library
// pv_pool_setup; not into packvault, whose main calls _AllocMem itself): sets
// the pool allocator's block up before main, so library strings and objects
// work from the first line of main. 256 MiB of address space, committed only
// as the pool grows; a main that calls _AllocMem again just attaches.
#include "foundation/zr_granularity.h"

namespace {

constexpr uint32_t kPoolSize = 256u << 20;

const bool g_pool_ready = (ZrGranularity::_AllocMem(kPoolSize), true);

}  // namespace
