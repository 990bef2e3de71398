// Console output conversion.
//
// The system's texts are Windows-1252. Before they reach the console they are
// converted to the console's character set: the OEM code page on Windows; on
// POSIX the terminal's character set named by the locale variables (LC_ALL,
// LC_CTYPE, LANG), UTF-8 when they name none. Bytes with no equivalent
// become '?'. Output itself goes through stdio.
#ifndef PV_FOUNDATION_PLATFORM_CONSOLE_H_
#define PV_FOUNDATION_PLATFORM_CONSOLE_H_

#include <cstddef>

namespace pv {

// Upper bound of console bytes per input byte (UTF-8 needs 3 for Windows-1252).
constexpr size_t kConsoleBytesPerAnsiByte = 3;

// Converts n bytes of Windows-1252 text into out, which holds out_size bytes
// including the terminating NUL that is always written (out_size > 0). Stops
// at the last whole character that fits. Returns the bytes written before the
// NUL. Thread-safe.
size_t AnsiToConsole(const char* in, size_t n, char* out, size_t out_size);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_CONSOLE_H_
