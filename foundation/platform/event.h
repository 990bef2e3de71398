// Event: a manual-reset event of one process, as a Win32 event: Set releases
// every waiter and stays set until Reset.
//
// Built on the standard library's mutex and condition variable, so it serves
// every platform unchanged. Thread-safe.
#ifndef PV_FOUNDATION_PLATFORM_EVENT_H_
#define PV_FOUNDATION_PLATFORM_EVENT_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pv {

class Event {
 public:
  Event() = default;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when the event is set or becomes set within timeout_ms
  // (kWaitForever from named_mutex.h, 0xFFFFFFFF: no limit).
  bool Wait(uint32_t timeout_ms);

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool set_ = false;  // guarded by mu_
};

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_EVENT_H_
