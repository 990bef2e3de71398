// Ctrl+C, Ctrl+Break, closing the console window, logoff and shutdown all
// ask the main loop to stop, so the interval in progress is archived. For
// close, logoff and shutdown Windows ends the process as soon as the handler
// returns, so the handler waits there: the main loop finishes and exits the
// process, or Windows' own time limit (5 s on close, longer at shutdown)
// ends it.
#include <windows.h>

#include <atomic>

#include "foundation/platform/stop_request.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {

namespace {

std::atomic<bool> stop_requested{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      stop_requested = true;
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      stop_requested = true;
      Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

Status InstallStopRequestHandlers() {
  if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
    return Status::IOError("SetConsoleCtrlHandler: " + Win32Message(GetLastError()));
  }
  return Status::OK();
}

bool StopRequested() { return stop_requested; }

void ClearStopRequest() { stop_requested = false; }

}  // namespace pv
