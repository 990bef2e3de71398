// POSIX file layer.
//
// Byte-range locks are Linux open-file-description locks (F_OFD_SETLK,
// F_OFD_SETLKW). Classic fcntl locks belong to the process: two descriptors of
// one process never conflict, and closing any descriptor of a file drops all
// of the process's locks on it. OFD locks belong to the open file, as Windows
// locks belong to the handle, which is what the table engine's cross-process
// protocol assumes.
//
// Sharing modes use flock(2), which on Linux is independent of fcntl locks:
// every open takes a shared flock, an open "without sharing" an exclusive
// one, both without waiting. So neither ever disturbs the byte-range locks.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/platform/file.h"
#include "foundation/platform/path_resolve.h"
#include "foundation/platform/path_resolve_internal.h"

namespace pv {

namespace {

Status PosixError(const std::string& op, const std::string& path, int err) {
  std::string msg = op + " " + path + ": " + std::strerror(err);
  if (err == ENOENT) return Status::NotFound(msg);
  if (err == EAGAIN || err == EACCES || err == EWOULDBLOCK) {
    if (op == "lock" || op == "share") return Status::Busy(msg);
  }
  return Status::IOError(msg);
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  // An error here has no caller left to hear it (see file.h).
  ~PosixFile() override { Close().IgnoreError(); }

  Status ReadAt(uint64_t offset, size_t n, char* buf, size_t* got) override {
    *got = 0;
    if (fd_ < 0) return Closed("read");
    while (*got < n) {
      ssize_t r = ::pread(fd_, buf + *got, n - *got, static_cast<off_t>(offset + *got));
      if (r < 0) {
        if (errno == EINTR) continue;
        return PosixError("read", path_, errno);
      }
      if (r == 0) break;
      *got += static_cast<size_t>(r);
    }
    return Status::OK();
  }

  Status WriteAt(uint64_t offset, const char* data, size_t n) override {
    if (fd_ < 0) return Closed("write");
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pwrite(fd_, data + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        return PosixError("write", path_, errno);
      }
      done += static_cast<size_t>(r);
    }
    return Status::OK();
  }

  Status Size(uint64_t* size) override {
    if (fd_ < 0) return Closed("stat");
    struct stat st;
    if (::fstat(fd_, &st) != 0) return PosixError("stat", path_, errno);
    *size = static_cast<uint64_t>(st.st_size);
    return Status::OK();
  }

  Status Truncate(uint64_t size) override {
    if (fd_ < 0) return Closed("truncate");
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return PosixError("truncate", path_, errno);
    return Status::OK();
  }

  Status Sync() override {
    if (fd_ < 0) return Closed("sync");
    if (::fdatasync(fd_) != 0) return PosixError("sync", path_, errno);
    return Status::OK();
  }

  Status LockRange(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) override {
    short type = kind == LockKind::kShared ? F_RDLCK : F_WRLCK;
    return Fcntl(wait == LockWait::kBlock ? F_OFD_SETLKW : F_OFD_SETLK, type, offset, length);
  }

  Status UnlockRange(uint64_t offset, uint64_t length) override {
    return Fcntl(F_OFD_SETLK, F_UNLCK, offset, length);
  }

  Status Close() override {
    if (fd_ < 0) return Status::OK();
    int fd = fd_;
    fd_ = -1;
    // close() is not retried on EINTR: on Linux the descriptor is gone anyway.
    if (::close(fd) != 0 && errno != EINTR) return PosixError("close", path_, errno);
    return Status::OK();
  }

  const std::string& Path() const override { return path_; }

 private:
  Status Closed(const char* op) { return Status::InvalidArgument(std::string(op) + " " + path_ + ": file is closed"); }

  Status Fcntl(int cmd, short type, uint64_t offset, uint64_t length) {
    if (fd_ < 0) return Closed("lock");
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;  // required for OFD locks
    while (::fcntl(fd_, cmd, &fl) != 0) {
      if (errno == EINTR) continue;
      return PosixError(type == F_UNLCK ? "unlock" : "lock", path_, errno);
    }
    return Status::OK();
  }

  int fd_;
  std::string path_;
};

}  // namespace

bool PathExistsExact(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

Status ListDirectoryExact(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return PosixError("list", dir, errno);
  while (struct dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names->emplace_back(e->d_name);
  }
  ::closedir(d);
  return Status::OK();
}

Status OpenFile(const std::string& given, const OpenOptions& options, std::unique_ptr<File>* out) {
  out->reset();
  const std::string path = ResolvePath(given);
  int flags = O_CLOEXEC | (options.write ? O_RDWR : O_RDONLY);
  if (options.create) flags |= O_CREAT;
  if (options.create && options.exclusive) flags |= O_EXCL;
  // Truncation waits until the sharing lock is held, so that a refused
  // open "without sharing" destroys nothing.
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EEXIST) return Status::InvalidArgument("create " + path + ": file exists");
    return PosixError("open", path, errno);
  }
  int how = (options.share_none ? LOCK_EX : LOCK_SH) | LOCK_NB;
  int r;
  do {
    r = ::flock(fd, how);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) {
      return Status::Busy("open " + path + ": file is in use by another process");
    }
    return PosixError("share", path, err);
  }
  if (options.truncate && options.write && ::ftruncate(fd, 0) != 0) {
    int err = errno;
    ::close(fd);
    return PosixError("truncate", path, err);
  }
  out->reset(new PosixFile(fd, path));
  return Status::OK();
}

Status RemoveFile(const std::string& given) {
  const std::string path = ResolvePath(given);
  if (::unlink(path.c_str()) != 0) return PosixError("remove", path, errno);
  return Status::OK();
}

Status RenameFile(const std::string& from_given, const std::string& to_given) {
  const std::string from = ResolvePath(from_given);
  const std::string to = ResolvePath(to_given);
  if (::rename(from.c_str(), to.c_str()) != 0) return PosixError("rename", from + " -> " + to, errno);
  return Status::OK();
}

std::string PathKey(const std::string& path) { return ResolvePath(path); }

std::string PathForUtf8Library(const std::string& path) { return path; }

bool PathExists(const std::string& path) { return PathExistsExact(ResolvePath(path)); }

bool IsDirectory(const std::string& given) {
  struct stat st;
  return ::stat(ResolvePath(given).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  return ListDirectoryExact(ResolvePath(dir), names);
}

Status SyncDirectory(const std::string& given) {
  const std::string resolved = ResolvePath(given);
  const std::string dir = resolved.empty() ? std::string(".") : resolved;
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return PosixError("open", dir, errno);
  int r = ::fsync(fd);
  int err = errno;
  ::close(fd);
  if (r != 0) return PosixError("sync", dir, err);
  return Status::OK();
}

}  // namespace pv
