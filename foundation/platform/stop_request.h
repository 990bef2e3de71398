// Stop requests from outside: SIGINT and SIGTERM on POSIX (Ctrl+C and closing
// the console on Windows). After InstallStopRequestHandlers they no longer end
// the process; they set a flag that the main loop polls, so that a service
// manager's stop ends the program the orderly way.
#ifndef PV_FOUNDATION_PLATFORM_STOP_REQUEST_H_
#define PV_FOUNDATION_PLATFORM_STOP_REQUEST_H_

#include "foundation/status.h"

namespace pv {

Status InstallStopRequestHandlers();
// True once a stop was requested since the handlers were installed (or the
// last ClearStopRequest).
bool StopRequested();
void ClearStopRequest();

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_STOP_REQUEST_H_
