// Virtual memory: address space reserved without access, then committed
// (made readable and writable) piece by piece, as the pool allocator grows.
//
// Reserved space costs no memory; committed pages are backed on first touch.
// Nothing here is ever released: the pool keeps its block until the process
// ends.
#ifndef PV_FOUNDATION_PLATFORM_VIRTUAL_MEMORY_H_
#define PV_FOUNDATION_PLATFORM_VIRTUAL_MEMORY_H_

#include <cstddef>

#include "foundation/status.h"

namespace pv {

// Reserves size bytes of inaccessible address space whose start is a
// multiple of alignment (a power of two, at least the page size).
Status ReserveAddressSpace(size_t size, size_t alignment, void** base);

// Makes [address, address + size) readable and writable. Both must be
// multiples of the page size and lie inside one reservation.
Status CommitMemory(void* address, size_t size);

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_VIRTUAL_MEMORY_H_
