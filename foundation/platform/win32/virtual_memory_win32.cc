#include <windows.h>

#include <cstdint>
#include <string>

#include "foundation/platform/virtual_memory.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {

namespace {

Status MemoryError(const char* op, size_t size) {
  return Status::IOError(std::string(op) + " of " + std::to_string(size) + " bytes: " + Win32Message(GetLastError()));
}

}  // namespace

Status ReserveAddressSpace(size_t size, size_t alignment, void** base) {
  *base = nullptr;
  // Reservations start on the 64 KiB allocation granularity. For a larger
  // alignment, reserve one alignment more and use the aligned part (the
  // rest is address space only; Windows cannot give part of it back).
  void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
  if (p == nullptr) return MemoryError("reserve", size);
  if ((reinterpret_cast<uintptr_t>(p) & (alignment - 1)) == 0) {
    *base = p;
    return Status::OK();
  }
  VirtualFree(p, 0, MEM_RELEASE);
  p = VirtualAlloc(nullptr, size + alignment, MEM_RESERVE, PAGE_NOACCESS);
  if (p == nullptr) return MemoryError("reserve", size);
  uintptr_t start = reinterpret_cast<uintptr_t>(p);
  *base = reinterpret_cast<void*>((start + alignment - 1) & ~(uintptr_t{alignment} - 1));
  return Status::OK();
}

Status CommitMemory(void* address, size_t size) {
  if (VirtualAlloc(address, size, MEM_COMMIT, PAGE_READWRITE) == nullptr) return MemoryError("commit", size);
  return Status::OK();
}

}  // namespace pv
