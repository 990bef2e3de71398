#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/platform/virtual_memory.h"

namespace pv {

namespace {

Status MemoryError(const char* op, size_t size, int err) {
  return Status::IOError(std::string(op) + " of " + std::to_string(size) + " bytes: " + std::strerror(err));
}

}  // namespace

Status ReserveAddressSpace(size_t size, size_t alignment, void** base) {
  *base = nullptr;
  // mmap aligns to pages only: reserve one alignment more and give the
  // unaligned head and the tail back.
  size_t span = size + alignment;
  void* p = mmap(nullptr, span, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return MemoryError("reserve", size, errno);
  uintptr_t start = reinterpret_cast<uintptr_t>(p);
  uintptr_t aligned = (start + alignment - 1) & ~(uintptr_t{alignment} - 1);
  size_t head = aligned - start;
  if (head > 0) munmap(p, head);
  size_t tail = span - head - size;
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
  *base = reinterpret_cast<void*>(aligned);
  return Status::OK();
}

Status CommitMemory(void* address, size_t size) {
  if (mprotect(address, size, PROT_READ | PROT_WRITE) != 0) return MemoryError("commit", size, errno);
  return Status::OK();
}

}  // namespace pv
