// Fault injection of the archive tests that only POSIX offers: a child
// process without root's rights, and a file size limit standing in for a full
// disk. The tests that include this are built on Linux only.
#ifndef PV_TESTS_APP_POSIX_FAULTS_H_
#define PV_TESTS_APP_POSIX_FAULTS_H_

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>

namespace pvtest {

// Runs body in a forked child without root's rights (uid/gid 65534, when
// root) and returns its result as the child's exit code (0 to 255), or -1
// when the child did not exit normally.
inline int ExitCodeInNobodyChild(const std::function<int()>& body) {
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(254);
    _exit(body() & 0xff);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A soft limit on the size of files this process writes, standing in for a
// full disk: writes beyond it fail with EFBIG. Lifted again by Clear or the
// destructor.
class FileSizeLimit {
 public:
  FileSizeLimit() { getrlimit(RLIMIT_FSIZE, &saved_); }
  ~FileSizeLimit() { Clear(); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  void Set(uint64_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{bytes, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &rl);
  }
  void Clear() { setrlimit(RLIMIT_FSIZE, &saved_); }

 private:
  rlimit saved_{};
};

}  // namespace pvtest

#endif  // PV_TESTS_APP_POSIX_FAULTS_H_
