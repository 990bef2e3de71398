// The non-blocking keyboard of a console program.
//
// Keys come from standard input, whatever it is:
//   - a terminal: switched to raw mode (no line buffering, no echo; Ctrl+C
//     still signals) on the first poll and restored at exit, on RestoreKeyboard,
//     and on every terminating or stopping signal. A lone ESC counts as ESC
//     only when no further byte follows within kLoneEscMillis; the keys that
//     send sequences starting with ESC (arrows, function keys) are one
//     kKeyExtended each.
//   - a pipe or file: one byte per key; byte 27 is ESC; end of input means no
//     key from then on.
//   - /dev/null or a closed descriptor: never a key.
// Use from one thread.
#ifndef PV_FOUNDATION_PLATFORM_KEYBOARD_H_
#define PV_FOUNDATION_PLATFORM_KEYBOARD_H_

#include <cstdint>

namespace pv {

constexpr int kNoKey = -1;
constexpr int kKeyEsc = 27;
constexpr int kKeyExtended = 0x100;  // a key sent as an ESC sequence
constexpr uint32_t kLoneEscMillis = 30;

// The next key (a byte value 0..255, or kKeyExtended), or kNoKey when none is
// waiting. Never waits for a key to arrive.
int PollKey();

// Puts the terminal back into the mode it had before the first PollKey.
// Harmless when nothing was changed; PollKey switches to raw mode again.
void RestoreKeyboard();

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_KEYBOARD_H_
