// The library's fatal-error path and its assertion report.
//
// ZrThrow(message): the banner "*********************ZrThrow**************************"
// and the message go to the default debug log (committed to disk when open);
// then, unless ZrThrowSetTestMode(true), seven beeps, the pool statistics
// and a stop message box captioned with the program's path; finally a
// ZrFixString<255> holding the first 255 bytes of the message is thrown.
// Callers catch it as ZrFixString<255> or as ZrStringBase.
//
// ZrAssertReport(statement, source file, line): an internal condition failed.
// The statement goes to the default debug log with file and line, and a
// message box captioned "ERROR" shows
//   "Internal data structures corrupted in\nfile: %s\nline: %u\nstatement: %s".
// Execution then continues; ZR_ASSERT(cond) reports when cond is false.
#ifndef PV_FOUNDATION_ZR_THROW_H_
#define PV_FOUNDATION_ZR_THROW_H_

#include <cstdint>

#include "foundation/zr_string_base.h"

[[noreturn]] void ZrThrow(const char* message);
void ZrThrowSetTestMode(bool on);

void ZrAssertReport(const char* statement, const char* source_file, uint32_t source_line);

#define ZR_ASSERT(cond) \
  ((cond) ? static_cast<void>(0) : ZrAssertReport(#cond, __FILE__, __LINE__))

// Called by ZrThrow (outside test mode) after the beeps, to dump the pool
// statistics to the debug log and standard output. Installed by the pool
// allocator; nothing happens while none is installed.
using ZrThrowDumpHook = void (*)();
void ZrSetThrowDumpHook(ZrThrowDumpHook hook);

#endif  // PV_FOUNDATION_ZR_THROW_H_
