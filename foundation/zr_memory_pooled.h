// Routing a class's heap objects through the pool allocator.
//
// Put ZR_POOLED_CLASS(ClassName) at the top of a class body, followed by an
// access specifier:
//
//   class ZrpBase {
//     ZR_POOLED_CLASS(ZrpBase)
//    public:
//     ...
//   };
//
// It gives the class a static _GetWatcher() (a function-local watcher made
// with the class's type name, "new" and the class size) and class-level
// operator new and delete that take slots of the granularity for the
// object's size, counted on that watcher. Derived classes inherit the
// operators; a derived class that wants its own counts adds the macro too.
// Objects may be created only after main's _AllocMem.
//
// Content buffers of a class (texts, arrays) use ZrGranularity::AllocFor with
// the class's "InternalAlloc" watcher (ZR_INTERNAL_ALLOC_WATCHER) and keep
// the granularity it reports for Free.
#ifndef PV_FOUNDATION_ZR_MEMORY_POOLED_H_
#define PV_FOUNDATION_ZR_MEMORY_POOLED_H_

#include <cstddef>
#include <string>
#include <typeinfo>

#include "foundation/zr_granularity.h"
#include "foundation/zr_memory_watcher.h"

// The readable (demangled) name of a type, for watcher names.
std::string ZrTypeName(const std::type_info& type);

void* ZrPooledNew(size_t size, ZrGranularityMemoryWatcher* watcher);
void ZrPooledDelete(void* p, size_t size, ZrGranularityMemoryWatcher* watcher);

#define ZR_POOLED_CLASS(Class)                                                          \
 public:                                                                                \
  static ZrGranularityMemoryWatcher* _GetWatcher() {                                    \
    static ZrGranularityMemoryWatcher watcher(ZrTypeName(typeid(Class)).c_str(), "new", \
                                              static_cast<uint32_t>(sizeof(Class)));    \
    return &watcher;                                                                    \
  }                                                                                     \
  static void* operator new(size_t size) { return ZrPooledNew(size, _GetWatcher()); }   \
  static void operator delete(void* p, size_t size) { ZrPooledDelete(p, size, _GetWatcher()); }

// A class's "InternalAlloc" watcher: ZR_INTERNAL_ALLOC_WATCHER(ZrString).
#define ZR_INTERNAL_ALLOC_WATCHER(Class)                                                          \
  static ZrGranularityMemoryWatcher* _GetInternalAllocWatcher() {                                 \
    static ZrGranularityMemoryWatcher watcher(ZrTypeName(typeid(Class)).c_str(), "InternalAlloc", \
                                              0);                                                 \
    return &watcher;                                                                              \
  }

#endif  // PV_FOUNDATION_ZR_MEMORY_POOLED_H_
