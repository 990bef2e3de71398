// Named sections are pagefile-backed file mappings; a new one is zero-filled.
// The set-up lock is a named mutex beside it ("<name>.setup"): held from
// before the section is opened until EndSetup, so that nobody uses a section
// its creator is still initialising; a creator that dies abandons it.
#include <windows.h>

#include "foundation/platform/shared_memory.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {

namespace {

Status ShmError(const char* op, const std::string& name, DWORD err) {
  return Status::IOError(std::string(op) + " shared memory " + name + ": " + Win32Message(err));
}

class Win32Section : public SharedMemorySection {
 public:
  Win32Section(HANDLE mapping, HANDLE setup, void* base, size_t size, bool created)
      : mapping_(mapping), setup_(setup), base_(base), size_(size), created_(created) {}
  ~Win32Section() override {
    EndSetup();
    UnmapViewOfFile(base_);
    CloseHandle(mapping_);
    CloseHandle(setup_);
  }
  void* Base() const override { return base_; }
  size_t Size() const override { return size_; }
  bool Created() const override { return created_; }
  void EndSetup() override {
    if (in_setup_) ReleaseMutex(setup_);
    in_setup_ = false;
  }

 private:
  HANDLE mapping_;
  HANDLE setup_;
  void* base_;
  size_t size_;
  bool created_;
  bool in_setup_ = true;
};

}  // namespace

Status SharedMemorySection::OpenOrCreate(const std::string& name, size_t size,
                                         std::unique_ptr<SharedMemorySection>* section) {
  HANDLE setup = CreateMutexA(nullptr, FALSE, (name + ".setup").c_str());
  if (setup == nullptr) return ShmError("lock", name, GetLastError());
  DWORD w = WaitForSingleObject(setup, INFINITE);
  if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) {
    DWORD err = GetLastError();
    CloseHandle(setup);
    return ShmError("lock", name, err);
  }
  const uint64_t size64 = size;
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                      static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64), name.c_str());
  DWORD err = GetLastError();
  void* base = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
  if (base == nullptr) {
    if (mapping != nullptr) err = GetLastError();
    if (mapping != nullptr) CloseHandle(mapping);
    ReleaseMutex(setup);
    CloseHandle(setup);
    return ShmError(mapping == nullptr ? "open" : "map", name, err);
  }
  const bool created = err != ERROR_ALREADY_EXISTS;
  // An existing section keeps the size its creator gave it (to whole pages).
  MEMORY_BASIC_INFORMATION mbi;
  size_t length = size;
  if (!created && VirtualQuery(base, &mbi, sizeof mbi) != 0) length = mbi.RegionSize;
  section->reset(new Win32Section(mapping, setup, base, length, created));
  return Status::OK();
}

// A section disappears with its last handle.
Status SharedMemorySection::Remove(const std::string&) { return Status::OK(); }

}  // namespace pv
