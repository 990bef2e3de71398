#include "foundation/zr_memory_pooled.h"

#include <cxxabi.h>

#include <cstdlib>

std::string ZrTypeName(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : type.name();
  free(demangled);
  return name;
}

void* ZrPooledNew(size_t size, ZrGranularityMemoryWatcher* watcher) {
  return ZrGranularity::AllocFor(size, watcher, nullptr);
}

void ZrPooledDelete(void* p, size_t size, ZrGranularityMemoryWatcher* watcher) {
  if (p != nullptr) ZrGranularity::ForSize(size)->Free(p, watcher);
}
