#include <signal.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "foundation/platform/stop_request.h"

namespace pv {

namespace {
volatile sig_atomic_t stop_requested = 0;

void OnStopSignal(int) { stop_requested = 1; }
}  // namespace

Status InstallStopRequestHandlers() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM}) {
    if (sigaction(sig, &sa, nullptr) != 0) {
      return Status::IOError(std::string("sigaction: ") + std::strerror(errno));
    }
  }
  return Status::OK();
}

bool StopRequested() { return stop_requested != 0; }

void ClearStopRequest() { stop_requested = 0; }

}  // namespace pv
