// NamedMutex on Windows: a kernel mutex of that name. Bare names, as the
// control system's own programs use them, live in the session's namespace
// ("Local\"); a name may carry "Global\" itself. A mutex whose owner ended
// without releasing it is handed over with WAIT_ABANDONED, which counts as
// acquired. Recursion by the owning thread is the kernel mutex's own.
#include <windows.h>

#include "foundation/platform/named_mutex.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {

namespace {

class Win32NamedMutex final : public NamedMutex {
 public:
  Win32NamedMutex(std::string name, HANDLE h) : name_(std::move(name)), h_(h) {}
  ~Win32NamedMutex() override { CloseHandle(h_); }

  Status Lock(uint32_t timeout_ms, bool* abandoned) override {
    if (abandoned != nullptr) *abandoned = false;
    DWORD rc = WaitForSingleObject(h_, timeout_ms == kWaitForever ? INFINITE : timeout_ms);
    switch (rc) {
      case WAIT_OBJECT_0:
        return Status::OK();
      case WAIT_ABANDONED:
        if (abandoned != nullptr) *abandoned = true;
        return Status::OK();
      case WAIT_TIMEOUT:
        return Status::Busy("named mutex " + name_ + ": not acquired within " + std::to_string(timeout_ms) +
                            " ms");
      default:
        return Status::IOError("lock named mutex " + name_ + ": " + Win32Message(GetLastError()));
    }
  }

  Status Unlock() override {
    if (ReleaseMutex(h_)) return Status::OK();
    DWORD err = GetLastError();
    if (err == ERROR_NOT_OWNER) return Status::InvalidArgument("named mutex " + name_ + ": not owned");
    return Status::IOError("unlock named mutex " + name_ + ": " + Win32Message(err));
  }

  const std::string& Name() const override { return name_; }

 private:
  const std::string name_;
  const HANDLE h_;
};

}  // namespace

Status NamedMutex::Open(const std::string& name, std::unique_ptr<NamedMutex>* out) {
  if (name.empty()) return Status::InvalidArgument("named mutex: empty name");
  HANDLE h = CreateMutexA(nullptr, FALSE, name.c_str());
  if (h == nullptr) return Status::IOError("open named mutex " + name + ": " + Win32Message(GetLastError()));
  *out = std::make_unique<Win32NamedMutex>(name, h);
  return Status::OK();
}

// The kernel removes a mutex with its last handle: nothing is left behind.
Status NamedMutex::RemoveForTesting(const std::string&) { return Status::OK(); }

}  // namespace pv
