// Fault injection of the app tests that only POSIX offers: a file size limit
// standing in for a full disk. Only tests built on Linux include this.
#ifndef PV_TESTS_APP_POSIX_FAULTS_H_
#define PV_TESTS_APP_POSIX_FAULTS_H_

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>

namespace pvtest {

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
