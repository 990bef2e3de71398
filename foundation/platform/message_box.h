// Message boxes and beeps, the Windows program's ways to reach an operator.
//
// On POSIX there is no desktop: a message box writes its caption and text to
// standard error and returns at once, so a headless service never blocks;
// beeps make no sound.
#ifndef PV_FOUNDATION_PLATFORM_MESSAGE_BOX_H_
#define PV_FOUNDATION_PLATFORM_MESSAGE_BOX_H_

#include <cstdint>
#include <string>
#include <vector>

namespace pv {

enum class MessageIcon { kNone, kStop, kWarning, kInformation };

// Shows text under caption (both Windows-1252). A null text or caption
// counts as "".
void ShowMessageBox(const char* caption, const char* text, MessageIcon icon);

// Shows the error window's entries (newest first, the newest selected). On
// Windows a top-most list-box window on its own thread, opened by the first
// call when someone is at the console; elsewhere nothing (the caller writes
// each entry to standard error). An empty list hides the window.
void ShowErrorWindow(const std::vector<std::string>& entries);

// A tone of frequency_hz for duration_ms; returns when it has ended.
void SoundBeep(uint32_t frequency_hz, uint32_t duration_ms);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_MESSAGE_BOX_H_
