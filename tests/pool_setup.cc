// Linked into every test binary (see pv_test_binary): sets the pool
// allocator's block up before main, as the program's main does first thing,
// so library objects and strings work in every test. Tests reserve more than
// the program's 4 MiB (address space only; pages are committed on use).
#include "foundation/zr_granularity.h"

namespace {

constexpr uint32_t kTestPoolSize = 256u << 20;

const bool g_pool_ready = (ZrGranularity::_AllocMem(kTestPoolSize), true);

}  // namespace
