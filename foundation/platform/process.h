// Facts about the running program: its executable, its user, its version
// information, and the calling thread's last OS error (errno on POSIX,
// GetLastError on Windows).
#ifndef PV_FOUNDATION_PLATFORM_PROCESS_H_
#define PV_FOUNDATION_PLATFORM_PROCESS_H_

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace pv {

// Absolute path of the running executable, symbolic links resolved.
Status ExecutablePath(std::string* path);

// Login name of the user the process runs as.
Status UserName(std::string* name);

// The four numbers of the program's file version (major, minor, release,
// build): on Windows from the executable's version resource, on POSIX
// compiled in.
Status OwnFileVersion(int32_t (&number)[4]);

// A text of the program's version information ("ProductName", "FileVersion",
// "LegalCopyright" ...), from the same place; NotFound for a key it lacks.
Status OwnVersionText(const char* key, std::string* value);

// The most memory the process has held resident at once, in bytes (the
// benchmarks report it): getrusage's maximum resident set size on POSIX, the
// peak working set on Windows.
Status PeakResidentBytes(uint64_t* bytes);

// The calling thread's last OS error number, 0 when none.
int32_t LastOsError();
void SetLastOsError(int32_t error);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_PROCESS_H_
