#include "foundation/zr_debug_output.h"

#include <atomic>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/platform/clock.h"
#include "foundation/platform/env.h"
#include "foundation/platform/file.h"
#include "foundation/platform/process.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_error_window.h"
#include "foundation/zr_time.h"

namespace {

constexpr char kNullMessage[] = "DebugOutput called with NULL-pointer message";
constexpr char kAsterisks[] =
    "**********************************************************************";
constexpr size_t kPrefixSize = 240;
constexpr size_t kDirSize = 260;

std::atomic<bool> test_mode{false};
std::atomic<uint32_t> debug_count{0};
std::atomic<uint32_t> error_count{0};

void CopyCut(char* dst, size_t dst_size, const char* src) {
  std::snprintf(dst, dst_size, "%s", src != nullptr ? src : "");
}

// The 17-digit sortable UTC time of now.
void UtcStamp(char (&buf)[18]) { ZrTime::GetCurrentUtcTime().AsSortableString(buf, sizeof buf, false); }

// A decimal integer as the runtime's atol reads it: leading blanks, an
// optional sign, digits; 32 bits, saturating.
int32_t ReadLong(const char* text) {
  long long v = std::strtoll(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

ZrDebugOutput::ZrDebugOutput() : max_size_(0), position_(0) { file_name_[0] = '\0'; }

ZrDebugOutput::~ZrDebugOutput() = default;

bool ZrDebugOutput::IsOpen() const { return file_ != nullptr; }

void ZrDebugOutput::SetDebugFile(const char* file_name) {
  CopyCut(file_name_, kMaxPathLength + 1, file_name);
}

bool ZrDebugOutput::OpenPath() {
  pv::OpenOptions o;
  o.write = true;
  o.create = true;
  std::unique_ptr<pv::File> f;
  if (!pv::OpenFile(file_name_, o, &f).ok()) return false;
  std::lock_guard<std::recursive_mutex> l(mu_);
  file_ = std::move(f);
  position_ = 0;
  return true;
}

int32_t ZrDebugOutput::OpenDebug(const char* file_name, uint32_t max_size) {
  max_size_ = max_size;
  if (file_name == nullptr) return -1;
  CloseDebug();
  SetDebugFile(file_name);
  return OpenPath() ? 0 : -1;
}

bool ZrDebugOutput::OpenDebugEx(const char* file_name, const char* switch_env_name) {
  char dir[kDirSize];
  std::string value;
  CopyCut(dir, kDirSize - 1, pv::GetEnv("ZRLOGFILEDIR", &value) ? value.c_str() : ".\\");
  size_t dir_len = std::strlen(dir);
  if (dir_len == 0 || dir[dir_len - 1] != '\\') std::strcat(dir, "\\");

  if (switch_env_name == nullptr || !pv::GetEnv(switch_env_name, &value)) return false;
  int32_t size = ReadLong(value.c_str());
  if (size == 0) return false;

  // Only the base name and extension of file_name count.
  const char* base = file_name != nullptr ? file_name : "";
  for (const char* p = base; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
  }
  max_size_ = static_cast<uint32_t>(size);
  CloseDebug();
  SetDebugFile((std::string(dir) + base).c_str());
  if (!OpenPath()) return false;

  char stamp[18];
  UtcStamp(stamp);
  _DebugOutput(kAsterisks);
  _DebugOutput(stamp);
  _DebugOutput(file_name);
  _DebugOutput(kAsterisks);
  return true;
}

// Text mode: each "\n" goes to the file as "\r\n". The pieces of one line are
// gathered in one buffer, so a typical line costs one write.
class ZrDebugOutput::TextWriter {
 public:
  TextWriter(pv::File* file, uint32_t* position) : file_(file), position_(position) {}
  // Returns len, or 0 when a write failed.
  uint32_t Append(const char* data, uint32_t len) {
    for (uint32_t i = 0; i < len; ++i) {
      if (used_ + 2 > sizeof buf_) Flush();
      if (data[i] == '\n') buf_[used_++] = '\r';
      buf_[used_++] = data[i];
    }
    return ok_ ? len : 0;
  }
  // False when a write failed.
  bool Flush() {
    if (used_ > 0 && ok_) {
      ok_ = file_->WriteAt(*position_, buf_, used_).ok();
      if (ok_) *position_ += used_;
    }
    used_ = 0;
    return ok_;
  }

 private:
  pv::File* file_;
  uint32_t* position_;
  char buf_[4096];
  uint32_t used_ = 0;
  bool ok_ = true;
};

uint32_t ZrDebugOutput::WriteLocked(const char* prefix, uint32_t prefix_length,
                                    const char* message, uint32_t message_length) {
  TextWriter w(file_.get(), &position_);
  uint32_t n = w.Append(prefix, prefix_length);
  n += w.Append(message, message_length);
  if (message_length == 0 || message[message_length - 1] != '\n') n += w.Append("\n", 1);
  return w.Flush() ? n : 0;
}

uint32_t ZrDebugOutput::_DebugOutput(const char* message, const char* source_file,
                                     uint32_t source_line) {
  int32_t last_error = pv::LastOsError();  // before anything here changes it
  if (test_mode) ++debug_count;
  std::lock_guard<std::recursive_mutex> l(mu_);
  if (file_ == nullptr) return 0;  // closed: the prefix would go nowhere
  char prefix[kPrefixSize];
  int used = 0;
  if (source_file != nullptr) {
    used = std::snprintf(prefix, sizeof prefix, "%s(%u): ", source_file, source_line);
    if (used < 0 || static_cast<size_t>(used) >= sizeof prefix) used = static_cast<int>(sizeof prefix) - 1;
  }
  char stamp[18];
  UtcStamp(stamp);
  std::snprintf(prefix + used, sizeof prefix - static_cast<size_t>(used),
                           "%.15g %s P=%x T=%x E=%d: ", pv::TickCountMillis() * 0.001, stamp,
                           pv::CurrentProcessId(), pv::CurrentThreadId(), last_error);
  size_t prefix_length = std::strlen(prefix);
  if (message == nullptr) message = kNullMessage;
  uint32_t message_length = static_cast<uint32_t>(std::strlen(message));
  if (position_ + static_cast<uint32_t>(prefix_length) + message_length + 10u > max_size_) {
    position_ = 0;  // wrap: overwrite the oldest lines in place
  }
  return WriteLocked(prefix, static_cast<uint32_t>(prefix_length), message, message_length);
}

uint32_t ZrDebugOutput::Write(const char* prefix, uint32_t prefix_length, const char* message,
                              uint32_t message_length) {
  std::lock_guard<std::recursive_mutex> l(mu_);
  if (file_ == nullptr) return 0;
  return WriteLocked(prefix, prefix_length, message, message_length);
}

uint32_t ZrDebugOutput::FlushDebug() {
  std::lock_guard<std::recursive_mutex> l(mu_);
  if (file_ == nullptr || !file_->Sync().ok()) return 0xFFFFFFFFu;
  return 0;
}

uint32_t ZrDebugOutput::CloseDebug() {
  std::unique_ptr<pv::File> f;
  {
    std::lock_guard<std::recursive_mutex> l(mu_);
    f = std::move(file_);
  }
  // The log is where failures are reported: its own closing has no one to
  // tell (every line was written through at once).
  if (f != nullptr) f->Close().IgnoreError();
  return 0;
}

void ZrDebugOutput::RcLine(const char* format, const char* source_file, uint32_t source_line,
                           uint32_t value1, uint32_t value2) {
  char line[kPrefixSize + 64];
  std::snprintf(line, sizeof line, format, source_file != nullptr ? source_file : "", source_line,
                value1, value2);
  _DebugOutput(line);
}

void ZrDebugOutput::_DebugOutputRc(const char* source_file, uint32_t source_line, int32_t rc) {
  if (rc != 0) _DebugOutputRcErr(source_file, source_line, rc, rc);
}

void ZrDebugOutput::_DebugOutputRcOk(const char* source_file, uint32_t source_line, int32_t rc,
                                     int32_t ok) {
  if (rc != ok) _DebugOutputRcErr(source_file, source_line, rc, rc);
}

void ZrDebugOutput::_DebugOutputRcErr(const char* source_file, uint32_t source_line, int32_t rc,
                                      int32_t error) {
  if (rc != error) return;
  RcLine("%s(%u): Wrong rc=%0x LastErr=%0x\r\n", source_file, source_line,
         static_cast<uint32_t>(rc), static_cast<uint32_t>(pv::LastOsError()));
}

void ZrDebugOutput::_DebugOutputRcWin(const char* source_file, uint32_t source_line) {
  int32_t err = pv::LastOsError();
  if (err != 0) {
    RcLine("%s(%u): WinLastErr=%0x\r\n", source_file, source_line, static_cast<uint32_t>(err), 0);
  }
}

void ZrDebugOutput::_DebugOutputWithoutRc(const char* source_file, uint32_t source_line) {
  RcLine("Wrong rc in File %s(%u)\r\n", source_file, source_line, 0, 0);
}

void ZrDebugOutput::_ErrorOutputToWnd(const char* message, const char* source_file,
                                      uint32_t source_line) {
  if (test_mode) {
    ++error_count;
    return;
  }
  ZrErrorWindowAdd(message != nullptr ? message : kNullMessage);
  _DebugOutput(message, source_file, source_line);
}

void ZrDebugOutput::SetTestMode(bool on) { test_mode = on; }

void ZrDebugOutput::ResetTestModeCounters() {
  debug_count = 0;
  error_count = 0;
}

uint32_t ZrDebugOutput::GetDebugOutputCount() { return debug_count; }

uint32_t ZrDebugOutput::GetErrorOutputCount() { return error_count; }

ZrDebugOutput& ZrDefaultDebugOutput() {
  static ZrDebugOutput* instance = new ZrDebugOutput();  // never destroyed: used until exit
  return *instance;
}

bool OpenDebugEx(const char* file_name, const char* switch_env_name) {
  return ZrDefaultDebugOutput().OpenDebugEx(file_name, switch_env_name);
}
int32_t OpenDebug(const char* file_name, uint32_t max_size) {
  return ZrDefaultDebugOutput().OpenDebug(file_name, max_size);
}
uint32_t FlushDebug() { return ZrDefaultDebugOutput().FlushDebug(); }
uint32_t CloseDebug() { return ZrDefaultDebugOutput().CloseDebug(); }
uint32_t Write(const char* prefix, uint32_t prefix_length, const char* message,
               uint32_t message_length) {
  return ZrDefaultDebugOutput().Write(prefix, prefix_length, message, message_length);
}
uint32_t _DebugOutput(const char* message, const char* source_file, uint32_t source_line) {
  return ZrDefaultDebugOutput()._DebugOutput(message, source_file, source_line);
}
uint32_t _DebugOutput(const char* message) { return ZrDefaultDebugOutput()._DebugOutput(message); }
void _DebugOutputRc(const char* source_file, uint32_t source_line, int32_t rc) {
  ZrDefaultDebugOutput()._DebugOutputRc(source_file, source_line, rc);
}
void _DebugOutputRcOk(const char* source_file, uint32_t source_line, int32_t rc, int32_t ok) {
  ZrDefaultDebugOutput()._DebugOutputRcOk(source_file, source_line, rc, ok);
}
void _DebugOutputRcErr(const char* source_file, uint32_t source_line, int32_t rc, int32_t error) {
  ZrDefaultDebugOutput()._DebugOutputRcErr(source_file, source_line, rc, error);
}
void _DebugOutputRcWin(const char* source_file, uint32_t source_line) {
  ZrDefaultDebugOutput()._DebugOutputRcWin(source_file, source_line);
}
void _DebugOutputWithoutRc(const char* source_file, uint32_t source_line) {
  ZrDefaultDebugOutput()._DebugOutputWithoutRc(source_file, source_line);
}
void _ErrorOutputToWnd(const char* message, const char* source_file, uint32_t source_line) {
  ZrDefaultDebugOutput()._ErrorOutputToWnd(message, source_file, source_line);
}
void _ErrorOutputToWnd(const char* message) { ZrDefaultDebugOutput()._ErrorOutputToWnd(message); }
