// Windows-1252 -> the console's output code page (the OEM code page when the
// process has no console and it reports 0), through UTF-16.
#include <windows.h>

#include <vector>

#include "foundation/platform/console.h"

namespace pv {

namespace {

// The five bytes Windows-1252 leaves undefined; Windows maps them to C1
// controls, shown here as '?' as on every other platform.
bool Undefined(unsigned char c) { return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D; }

}  // namespace

size_t AnsiToConsole(const char* in, size_t n, char* out, size_t out_size) {
  if (out_size == 0) return 0;
  std::vector<char> ansi(in, in + n);
  for (char& c : ansi) {
    if (Undefined(static_cast<unsigned char>(c))) c = '?';
  }
  std::vector<wchar_t> wide(n + 1);
  int wn = n == 0 ? 0
                  : MultiByteToWideChar(1252, 0, ansi.data(), static_cast<int>(n), wide.data(),
                                        static_cast<int>(wide.size()));
  UINT cp = GetConsoleOutputCP();
  if (cp == 0) cp = GetOEMCP();
  // Cut at a whole character: drop characters from the end until the
  // converted text fits (one byte stays for the NUL).
  int w = 0;
  while (wn > 0) {
    BOOL* used_default = nullptr;
    BOOL dummy = FALSE;
    if (cp != CP_UTF8 && cp != CP_UTF7) used_default = &dummy;  // UTF-8 takes no default character
    w = WideCharToMultiByte(cp, 0, wide.data(), wn, out, static_cast<int>(out_size - 1),
                            cp != CP_UTF8 ? "?" : nullptr, used_default);
    if (w > 0) break;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      w = 0;
      break;
    }
    --wn;
  }
  out[w] = '\0';
  return static_cast<size_t>(w);
}

}  // namespace pv
