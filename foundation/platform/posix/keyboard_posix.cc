// Keyboard on standard input. poll() decides whether a byte is waiting, so
// standard input never needs O_NONBLOCK (which would also change the mode of
// a pipe shared with the parent).
//
// Raw mode: the saved termios is put back by RestoreKeyboard, at exit
// (atexit), and from the handlers of the signals that end or stop the process
// (they restore, then let the signal take its default course). SIGINT and
// SIGTERM get such a handler only when nobody else (the stop-request
// handlers) has claimed them.
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "foundation/platform/keyboard.h"

namespace pv {

namespace {

enum class Source { kUnknown, kTerminal, kStream, kNone };

Source source = Source::kUnknown;
struct termios saved_mode;
volatile sig_atomic_t raw_active = 0;
bool handlers_installed = false;

void PutBackMode() {
  if (raw_active) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);  // async-signal-safe
    raw_active = 0;
  }
}

void EnterRaw() {
  struct termios raw = saved_mode;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) raw_active = 1;
}

void OnTerminatingSignal(int sig) {
  int saved_errno = errno;
  PutBackMode();
  if (sig == SIGTSTP) {
    // Stop with the terminal in its normal mode; raw again when continued.
    // SIGTSTP is blocked inside its handler: unblock it so that the stop
    // happens here and not again into this handler after it returns.
    signal(SIGTSTP, SIG_DFL);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
    raise(SIGTSTP);
    signal(SIGTSTP, OnTerminatingSignal);
    EnterRaw();
    errno = saved_errno;
    return;
  }
  signal(sig, SIG_DFL);
  raise(sig);
  errno = saved_errno;
}

void InstallRestoreHandlers() {
  if (handlers_installed) return;
  handlers_installed = true;
  std::atexit(PutBackMode);
  for (int sig : {SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTSTP, SIGINT,
                  SIGTERM}) {
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) != 0) continue;
    if (old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO) != 0) continue;  // claimed
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnTerminatingSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
  }
}

Source Detect() {
  if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_mode) == 0) return Source::kTerminal;
  struct pollfd p = {STDIN_FILENO, POLLIN, 0};
  if (poll(&p, 1, 0) < 0 || (p.revents & POLLNVAL) != 0) return Source::kNone;
  return Source::kStream;
}

// One byte if it arrives within timeout_ms; -1 otherwise (also at end of
// input, which then ends the stream for good).
int ReadByte(int timeout_ms) {
  struct pollfd p = {STDIN_FILENO, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, timeout_ms);
  } while (rc < 0 && errno == EINTR);
  if (rc <= 0) return -1;
  if ((p.revents & (POLLIN | POLLHUP)) == 0) {
    source = Source::kNone;  // POLLERR/POLLNVAL: nothing more will come
    return -1;
  }
  unsigned char c;
  ssize_t n;
  do {
    n = read(STDIN_FILENO, &c, 1);
  } while (n < 0 && errno == EINTR);
  if (n == 1) return c;
  if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
    if (source == Source::kStream) source = Source::kNone;  // end of input
  }
  return -1;
}

}  // namespace

int PollKey() {
  if (source == Source::kUnknown) source = Detect();
  switch (source) {
    case Source::kNone:
    case Source::kUnknown:
      return kNoKey;
    case Source::kStream: {
      int c = ReadByte(0);
      return c < 0 ? kNoKey : c;
    }
    case Source::kTerminal: {
      if (!raw_active) {
        InstallRestoreHandlers();
        EnterRaw();
      }
      int c = ReadByte(0);
      if (c < 0) return kNoKey;
      if (c != kKeyEsc) return c;
      const int wait = static_cast<int>(kLoneEscMillis);
      int next = ReadByte(wait);
      if (next < 0) return kKeyEsc;
      // An escape sequence is one key: ESC [ parameters final-byte (CSI),
      // ESC O letter (SS3), or ESC and one byte (Alt + key).
      if (next == '[') {
        for (int b = ReadByte(wait); b >= 0 && !(b >= 0x40 && b <= 0x7E); b = ReadByte(wait)) {
        }
      } else if (next == 'O') {
        ReadByte(wait);
      }
      return kKeyExtended;
    }
  }
  return kNoKey;
}

void RestoreKeyboard() { PutBackMode(); }

}  // namespace pv
