// Keyboard on standard input: on a console _kbhit/_getch (no echo, no line
// buffering, nothing to restore); on a pipe the bytes PeekNamedPipe reports
// waiting; on a file its bytes to the end; on NUL never a key.
#include <conio.h>
#include <windows.h>

#include "foundation/platform/keyboard.h"

namespace pv {

namespace {

enum class Source { kUnknown, kConsole, kPipe, kFile, kNone };

Source source = Source::kUnknown;
HANDLE input = INVALID_HANDLE_VALUE;

Source Detect() {
  input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return Source::kNone;
  DWORD mode = 0;
  switch (GetFileType(input)) {
    case FILE_TYPE_CHAR:
      // NUL is a character device without a console mode.
      return GetConsoleMode(input, &mode) ? Source::kConsole : Source::kNone;
    case FILE_TYPE_PIPE:
      return Source::kPipe;
    case FILE_TYPE_DISK:
      return Source::kFile;
    default:
      return Source::kNone;
  }
}

// One byte of a pipe or file; -1 when none is waiting (or at the end, which
// ends the stream for good).
int ReadByte() {
  if (source == Source::kPipe) {
    DWORD avail = 0;
    if (!PeekNamedPipe(input, nullptr, 0, nullptr, &avail, nullptr)) {
      source = Source::kNone;  // the writer closed its end
      return -1;
    }
    if (avail == 0) return -1;
  }
  unsigned char c;
  DWORD got = 0;
  if (!ReadFile(input, &c, 1, &got, nullptr) || got == 0) {
    source = Source::kNone;
    return -1;
  }
  return c;
}

}  // namespace

int PollKey() {
  if (source == Source::kUnknown) source = Detect();
  switch (source) {
    case Source::kConsole: {
      if (!_kbhit()) return kNoKey;
      int c = _getch();
      // Arrow and function keys come as 0 or 0xE0 and a second code: one key.
      if (c == 0 || c == 0xE0) {
        _getch();
        return kKeyExtended;
      }
      return c;
    }
    case Source::kPipe:
    case Source::kFile: {
      int c = ReadByte();
      return c < 0 ? kNoKey : c;
    }
    default:
      return kNoKey;
  }
}

void RestoreKeyboard() {}

}  // namespace pv
