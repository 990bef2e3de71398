#include "foundation/platform/event.h"

#include <chrono>

namespace pv {

void Event::Set() {
  {
    std::lock_guard<std::mutex> l(mu_);
    set_ = true;
  }
  cv_.notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> l(mu_);
  set_ = false;
}

bool Event::Wait(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> l(mu_);
  if (timeout_ms == 0xFFFFFFFFu) {
    cv_.wait(l, [this] { return set_; });
    return true;
  }
  return cv_.wait_for(l, std::chrono::milliseconds(timeout_ms), [this] { return set_; });
}

}  // namespace pv
