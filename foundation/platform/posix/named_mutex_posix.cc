// NamedMutex on POSIX.
//
// Object file: <dir>/pvmtx.<encoded name>, dir = /dev/shm (tmpfs) when it
// exists, else /tmp. The name is encoded so that any byte string makes one
// safe file name: [A-Za-z0-9._-] stay, every other byte becomes %XX. Layout:
//   uint32 magic "PVMX" | uint32 layout version | pthread_mutex_t
// (native byte order and alignment: the object is never shared between
// machines or builds of another ABI).
//
// Creation race: a creator initialises the mutex in a private temporary file,
// makes it readable and writable for everyone (fchmod, since the umask would
// otherwise decide), and publishes it with link(), which fails with EEXIST
// when another process won; the loser drops its copy and opens the winner's.
// So an opened object is always fully initialised.
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/platform/named_mutex.h"

namespace pv {

namespace {

constexpr uint32_t kMagic = 0x584D5650;  // "PVMX"
constexpr uint32_t kLayoutVersion = 1;

struct SharedBlock {
  uint32_t magic;
  uint32_t version;
  pthread_mutex_t mutex;
};

Status Err(const std::string& what, const std::string& name, int err) {
  return Status::IOError(what + " " + name + ": " + std::strerror(err));
}

std::string ObjectDir() {
  struct stat st;
  if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) return "/dev/shm";
  return "/tmp";
}

std::string ObjectPath(const std::string& name) {
  std::string path = ObjectDir() + "/pvmtx.";
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
        c == '_' || c == '-') {
      path += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      path += hex;
    }
  }
  return path;
}

Status InitBlock(SharedBlock* b, const std::string& name) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  int rc = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  if (rc == 0) rc = pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  if (rc == 0) rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  if (rc == 0) rc = pthread_mutex_init(&b->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) return Err("init mutex", name, rc);
  b->version = kLayoutVersion;
  b->magic = kMagic;
  return Status::OK();
}

SharedBlock* Map(int fd) {
  void* p = mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : static_cast<SharedBlock*>(p);
}

// Opens the published object; NotFound when there is none yet.
Status OpenExisting(const std::string& path, const std::string& name, SharedBlock** out) {
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Status::NotFound("named mutex " + name);
    return Err("open named mutex", name, errno);
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(SharedBlock))) {
    close(fd);
    return Status::Corruption("named mutex " + name + ": object " + path + " is too short");
  }
  SharedBlock* b = Map(fd);
  int map_errno = errno;
  close(fd);
  if (b == nullptr) return Err("map named mutex", name, map_errno);
  if (b->magic != kMagic || b->version != kLayoutVersion) {
    munmap(b, sizeof(SharedBlock));
    return Status::Corruption("named mutex " + name + ": object " + path + " has another layout");
  }
  *out = b;
  return Status::OK();
}

// Creates and publishes the object; Busy when another process published first.
Status CreateAndPublish(const std::string& path, const std::string& name) {
  std::string tmp = path + ".XXXXXX";
  int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return Err("create named mutex", name, errno);
  Status s;
  SharedBlock* b = nullptr;
  if (fchmod(fd, 0666) != 0 || ftruncate(fd, sizeof(SharedBlock)) != 0) {
    s = Err("size named mutex", name, errno);
  } else if ((b = Map(fd)) == nullptr) {
    s = Err("map named mutex", name, errno);
  } else {
    s = InitBlock(b, name);
    munmap(b, sizeof(SharedBlock));
  }
  close(fd);
  if (s.ok() && link(tmp.c_str(), path.c_str()) != 0) {
    s = errno == EEXIST ? Status::Busy("named mutex " + name + " published elsewhere")
                        : Err("publish named mutex", name, errno);
  }
  unlink(tmp.c_str());
  return s;
}

class PosixNamedMutex final : public NamedMutex {
 public:
  PosixNamedMutex(std::string name, SharedBlock* block) : name_(std::move(name)), block_(block) {}
  ~PosixNamedMutex() override { munmap(block_, sizeof(SharedBlock)); }

  Status Lock(uint32_t timeout_ms, bool* abandoned) override {
    if (abandoned != nullptr) *abandoned = false;
    int rc;
    if (timeout_ms == kWaitForever) {
      rc = pthread_mutex_lock(&block_->mutex);
    } else {
      struct timespec deadline;
      clock_gettime(CLOCK_MONOTONIC, &deadline);
      deadline.tv_sec += timeout_ms / 1000;
      deadline.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
      if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
      }
      rc = pthread_mutex_clocklock(&block_->mutex, CLOCK_MONOTONIC, &deadline);
    }
    if (rc == EOWNERDEAD) {
      // The owner died holding it: we own it now; mark it usable again.
      pthread_mutex_consistent(&block_->mutex);
      if (abandoned != nullptr) *abandoned = true;
      return Status::OK();
    }
    if (rc == 0) return Status::OK();
    if (rc == ETIMEDOUT) {
      return Status::Busy("named mutex " + name_ + ": not acquired within " +
                          std::to_string(timeout_ms) + " ms");
    }
    return Err("lock named mutex", name_, rc);
  }

  Status Unlock() override {
    int rc = pthread_mutex_unlock(&block_->mutex);
    if (rc == EPERM) return Status::InvalidArgument("named mutex " + name_ + ": not owned");
    if (rc != 0) return Err("unlock named mutex", name_, rc);
    return Status::OK();
  }

  const std::string& Name() const override { return name_; }

 private:
  const std::string name_;
  SharedBlock* const block_;
};

}  // namespace

Status NamedMutex::Open(const std::string& name, std::unique_ptr<NamedMutex>* out) {
  if (name.empty()) return Status::InvalidArgument("named mutex: empty name");
  const std::string path = ObjectPath(name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    SharedBlock* b = nullptr;
    Status s = OpenExisting(path, name, &b);
    if (s.ok()) {
      *out = std::make_unique<PosixNamedMutex>(name, b);
      return s;
    }
    if (!s.IsNotFound()) return s;
    s = CreateAndPublish(path, name);
    if (!s.ok() && !s.IsBusy()) return s;
    // Published (by us or a racing process): open it on the next turn.
  }
  return Status::IOError("named mutex " + name + ": object keeps disappearing");
}

Status NamedMutex::RemoveForTesting(const std::string& name) {
  if (unlink(ObjectPath(name).c_str()) != 0 && errno != ENOENT) {
    return Err("remove named mutex", name, errno);
  }
  return Status::OK();
}

}  // namespace pv
