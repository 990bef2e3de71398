#include <windows.h>

#include "foundation/platform/thread.h"

namespace pv {

void SleepMillis(uint32_t ms) { Sleep(ms); }

void YieldThread() { SwitchToThread(); }

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

}  // namespace pv
