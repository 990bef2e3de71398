// SharedMemorySection: a named block of memory that several processes map.
//
// OpenOrCreate opens the section of that name or creates it with the given
// size (zero-filled). Between OpenOrCreate and EndSetup the calling process
// holds the section's set-up lock, so a creator can lay out the section
// before any other process attaches, and attachers never see it half done.
// The section's name stays in the system until the last mapping is gone and
// Remove is called (by tests); the program itself never removes it.
#ifndef PV_FOUNDATION_PLATFORM_SHARED_MEMORY_H_
#define PV_FOUNDATION_PLATFORM_SHARED_MEMORY_H_

#include <cstddef>
#include <memory>
#include <string>

#include "foundation/status.h"

namespace pv {

class SharedMemorySection {
 public:
  virtual ~SharedMemorySection() = default;  // unmaps and closes

  // The mapping in this process and its length.
  virtual void* Base() const = 0;
  virtual size_t Size() const = 0;
  // True when OpenOrCreate created the section.
  virtual bool Created() const = 0;
  // Drops the set-up lock taken by OpenOrCreate.
  virtual void EndSetup() = 0;

  // name: letters, digits and "_.-" (the platform adds what it needs).
  static Status OpenOrCreate(const std::string& name, size_t size,
                             std::unique_ptr<SharedMemorySection>* section);
  // Removes the name; mappings that exist stay valid.
  static Status Remove(const std::string& name);
};

}  // namespace pv

#endif  // PV_FOUNDATION_PLATFORM_SHARED_MEMORY_H_
