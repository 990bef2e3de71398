// Named sections are POSIX shared-memory objects ("/" + name, in /dev/shm on
// Linux). The set-up lock is an exclusive flock on the object's descriptor:
// it belongs to this open, so it is dropped when the process dies.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/platform/shared_memory.h"

namespace pv {

namespace {

Status ShmError(const char* op, const std::string& name, int err) {
  return Status::IOError(std::string(op) + " shared memory " + name + ": " + std::strerror(err));
}

class PosixSection : public SharedMemorySection {
 public:
  PosixSection(int fd, void* base, size_t size, bool created)
      : fd_(fd), base_(base), size_(size), created_(created) {}
  ~PosixSection() override {
    munmap(base_, size_);
    close(fd_);
  }
  void* Base() const override { return base_; }
  size_t Size() const override { return size_; }
  bool Created() const override { return created_; }
  void EndSetup() override { flock(fd_, LOCK_UN); }

 private:
  int fd_;
  void* base_;
  size_t size_;
  bool created_;
};

}  // namespace

Status SharedMemorySection::OpenOrCreate(const std::string& name, size_t size,
                                         std::unique_ptr<SharedMemorySection>* section) {
  std::string path = "/" + name;
  int fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return ShmError("open", name, errno);
  int rc;
  do {
    rc = flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  struct stat st;
  if (rc != 0 || fstat(fd, &st) != 0) {
    int err = errno;
    close(fd);
    return ShmError("lock", name, err);
  }
  // A new object has size 0 until its creator sizes it under the lock.
  bool created = st.st_size == 0;
  if (created && ftruncate(fd, static_cast<off_t>(size)) != 0) {
    int err = errno;
    close(fd);
    return ShmError("size", name, err);
  }
  size_t length = created ? size : static_cast<size_t>(st.st_size);
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    int err = errno;
    close(fd);
    return ShmError("map", name, err);
  }
  section->reset(new PosixSection(fd, base, length, created));
  return Status::OK();
}

Status SharedMemorySection::Remove(const std::string& name) {
  std::string path = "/" + name;
  if (shm_unlink(path.c_str()) != 0 && errno != ENOENT) return ShmError("remove", name, errno);
  return Status::OK();
}

}  // namespace pv
