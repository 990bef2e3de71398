// ZrDebugOutput: a size-bounded diagnostic log file with a fixed line prefix.
//
// Line format (one message):
//   [<source file>(<line>): ]<uptime s> <UTC YYYYMMDDHHMMSSmmm> P=<pid hex> T=<tid hex> E=<last OS error>: <message>
// e.g. "1234.567 20050404130709045 P=1a4 T=2b0 E=0: Archive started". Uptime
// is the tick count in seconds with up to 15 significant digits.
//
// File: written in the Windows runtime's text mode, so each "\n" becomes
// "\r\n" in the file. Opening never truncates: writing starts at offset 0 and
// overwrites older content in place. When a line would pass the maximum size
// (position + prefix + message + 10 > maximum, 32-bit unsigned), writing
// wraps back to offset 0, again without truncating: the file keeps the old
// tail behind the newest line.
//
// The process-wide default instance (ZrDefaultDebugOutput, and the free
// functions below that act on it) starts closed; the library's own
// diagnostics go there and are dropped unless someone opens it.
//
// Thread safety: an instance serialises its own writes, so lines from several
// threads never interleave within a line.
#ifndef PV_FOUNDATION_ZR_DEBUG_OUTPUT_H_
#define PV_FOUNDATION_ZR_DEBUG_OUTPUT_H_

#include <cstdint>
#include <memory>
#include <mutex>

namespace pv {
class File;
}

class ZrDebugOutput {
 public:
  static constexpr uint32_t kMaxPathLength = 259;

  ZrDebugOutput();
  ~ZrDebugOutput();  // releases the file without a final line; owners call CloseDebug
  ZrDebugOutput(const ZrDebugOutput&) = delete;
  ZrDebugOutput& operator=(const ZrDebugOutput&) = delete;

  // Opens <ZRLOGFILEDIR or ".\">\<base name of file_name> when the variable
  // named switch_env_name holds a non-zero decimal number, which also becomes
  // the maximum size; then writes the opening banner. True when open.
  bool OpenDebugEx(const char* file_name, const char* switch_env_name);
  // Opens exactly file_name with the given maximum size, without a banner.
  // Returns 0 (the handle) or -1 on failure (also for a null name).
  int32_t OpenDebug(const char* file_name, uint32_t max_size);
  // Stores the name (cut at 259 characters) without opening anything.
  void SetDebugFile(const char* file_name);

  // Writes one line; returns the bytes of prefix and message written, 0 while
  // closed. A null message logs "DebugOutput called with NULL-pointer message".
  uint32_t _DebugOutput(const char* message, const char* source_file, uint32_t source_line);
  uint32_t _DebugOutput(const char* message) { return _DebugOutput(message, nullptr, 0); }
  // Writes prefix and message unchanged, then "\n" unless the message ends
  // with one; no prefix building, no size check.
  uint32_t Write(const char* prefix, uint32_t prefix_length, const char* message,
                 uint32_t message_length);
  // Commits the file to disk: 0, or 0xFFFFFFFF (-1) when closed or failed.
  uint32_t FlushDebug();
  uint32_t CloseDebug();

  // "<file>(<line>): Wrong rc=<rc hex> LastErr=<last OS error hex>" when rc != 0,
  // when rc != ok, and when rc == error respectively.
  void _DebugOutputRc(const char* source_file, uint32_t source_line, int32_t rc);
  void _DebugOutputRcOk(const char* source_file, uint32_t source_line, int32_t rc, int32_t ok);
  void _DebugOutputRcErr(const char* source_file, uint32_t source_line, int32_t rc, int32_t error);
  // "<file>(<line>): WinLastErr=<hex>" when the last OS error is not 0.
  void _DebugOutputRcWin(const char* source_file, uint32_t source_line);
  void _DebugOutputWithoutRc(const char* source_file, uint32_t source_line);

  // Adds the message to the error window (see zr_error_window.h), then logs
  // it as a line. In test mode only the error counter moves.
  void _ErrorOutputToWnd(const char* message, const char* source_file, uint32_t source_line);
  void _ErrorOutputToWnd(const char* message) { _ErrorOutputToWnd(message, nullptr, 0); }

  bool IsOpen() const;
  const char* GetDebugFile() const { return file_name_; }
  uint32_t GetMaxSize() const { return max_size_; }

  // Test mode: counts debug lines (still written) and error-window lines
  // (then neither shown nor logged).
  static void SetTestMode(bool on);
  static void ResetTestModeCounters();
  static uint32_t GetDebugOutputCount();
  static uint32_t GetErrorOutputCount();

 private:
  bool OpenPath();
  class TextWriter;
  uint32_t WriteLocked(const char* prefix, uint32_t prefix_length, const char* message,
                       uint32_t message_length);
  void RcLine(const char* format, const char* source_file, uint32_t source_line, uint32_t value1,
              uint32_t value2);

  uint32_t max_size_;
  char file_name_[kMaxPathLength + 2];
  std::unique_ptr<pv::File> file_;  // null while closed
  uint32_t position_;              // file offset of the next write
  std::recursive_mutex mu_;  // recursive: building a line may itself log (assertion report)
};

// The process-wide default instance (closed until opened through the free
// functions).
ZrDebugOutput& ZrDefaultDebugOutput();

bool OpenDebugEx(const char* file_name, const char* switch_env_name);
int32_t OpenDebug(const char* file_name, uint32_t max_size);
uint32_t FlushDebug();
uint32_t CloseDebug();
uint32_t Write(const char* prefix, uint32_t prefix_length, const char* message,
               uint32_t message_length);
uint32_t _DebugOutput(const char* message, const char* source_file, uint32_t source_line);
uint32_t _DebugOutput(const char* message);
void _DebugOutputRc(const char* source_file, uint32_t source_line, int32_t rc);
void _DebugOutputRcOk(const char* source_file, uint32_t source_line, int32_t rc, int32_t ok);
void _DebugOutputRcErr(const char* source_file, uint32_t source_line, int32_t rc, int32_t error);
void _DebugOutputRcWin(const char* source_file, uint32_t source_line);
void _DebugOutputWithoutRc(const char* source_file, uint32_t source_line);
void _ErrorOutputToWnd(const char* message, const char* source_file, uint32_t source_line);
void _ErrorOutputToWnd(const char* message);

#endif  // PV_FOUNDATION_ZR_DEBUG_OUTPUT_H_
