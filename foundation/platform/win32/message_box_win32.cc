// Message boxes go to standard error always; a window is shown only when
// someone can answer it: the process runs on the interactive window station
// and standard error is a console. A service, a scheduled task or a run with
// its output redirected never blocks on a box no one sees.
#include <windows.h>

#include <cstdio>

#include "foundation/platform/message_box.h"

namespace pv {

namespace {

bool SomeoneAtTheConsole() {
  USEROBJECTFLAGS flags = {};
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr ||
      !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) ||
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    return false;
  }
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace

void ShowMessageBox(const char* caption, const char* text, MessageIcon icon) {
  const char* c = caption != nullptr ? caption : "";
  const char* t = text != nullptr ? text : "";
  std::fprintf(stderr, "%s: %s\n", c, t);
  std::fflush(stderr);
  if (!SomeoneAtTheConsole()) return;
  UINT style = MB_OK | MB_TOPMOST | MB_SETFOREGROUND;
  switch (icon) {
    case MessageIcon::kStop: style |= MB_ICONSTOP; break;
    case MessageIcon::kWarning: style |= MB_ICONWARNING; break;
    case MessageIcon::kInformation: style |= MB_ICONINFORMATION; break;
    case MessageIcon::kNone: break;
  }
  MessageBoxA(nullptr, t, c, style);
}

void SoundBeep(uint32_t frequency_hz, uint32_t duration_ms) { Beep(frequency_hz, duration_ms); }

}  // namespace pv
