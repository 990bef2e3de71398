// Sleeping, yielding and the ids of the running process and thread.
//
// Threads themselves are std::thread: the standard library already hides the
// platform, and the system starts at most one (the error window's).
#ifndef PV_FOUNDATION_PLATFORM_THREAD_H_
#define PV_FOUNDATION_PLATFORM_THREAD_H_

#include <cstdint>

namespace pv {

// Sleeps at least ms milliseconds; a signal does not cut the sleep short.
void SleepMillis(uint32_t ms);
// Gives the rest of the time slice to another ready thread.
void YieldThread();

uint32_t CurrentProcessId();
// The kernel's id of the calling thread (as shown by ps/top), not a
// std::thread::id.
uint32_t CurrentThreadId();

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_THREAD_H_
