// NamedMutex: a mutex shared by every process of the machine under a name, as
// a Win32 named mutex is.
//
//   - Recursive: the owning thread may lock again; it unlocks as often.
//   - Abandonment: when the owner dies while holding it, the next waiter gets
//     it and is told (abandoned = true), like WAIT_ABANDONED. The data it
//     protects may be half updated; the mutex itself is fine again.
//   - Timed waits in milliseconds; kWaitForever waits without limit.
//
// POSIX: a robust, recursive, process-shared pthread mutex in a small file in
// /dev/shm (fallback /tmp) named after the mutex. The object is created
// under a temporary name and published with link(), so that processes
// racing to create it end up on the same one. It is never removed while the
// system runs: another process may have it mapped.
//
// Thread safety: one NamedMutex object may be used from several threads.
#ifndef PV_FOUNDATION_PLATFORM_NAMED_MUTEX_H_
#define PV_FOUNDATION_PLATFORM_NAMED_MUTEX_H_

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/status.h"

namespace pv {

constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

class NamedMutex {
 public:
  // Opens the mutex of this name, creating it (unowned) when no process has
  // yet. Names are compared exactly (case matters, as on Windows).
  static Status Open(const std::string& name, std::unique_ptr<NamedMutex>* out);

  // Removes the shared object behind a name. Only for tests and tools, when
  // no process can be using it.
  static Status RemoveForTesting(const std::string& name);

  virtual ~NamedMutex();  // does not unlock; a held mutex counts as abandoned
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // OK when acquired (*abandoned, if given, tells whether the previous owner
  // died holding it); Busy when timeout_ms passed first; IOError otherwise.
  virtual Status Lock(uint32_t timeout_ms, bool* abandoned = nullptr) = 0;
  // InvalidArgument when the calling thread does not own the mutex.
  virtual Status Unlock() = 0;
  virtual const std::string& Name() const = 0;

 protected:
  NamedMutex() = default;
};

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_NAMED_MUTEX_H_
