// Named mutexes across threads and processes, including a holder that dies.
#include "foundation/platform/named_mutex.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace pv {
namespace {

// A name no other test run uses, removed again at the end.
class ScopedName {
 public:
  explicit ScopedName(const char* base)
      : name_(std::string(base) + "_" + std::to_string(getpid())) {}
  ~ScopedName() { EXPECT_TRUE(NamedMutex::RemoveForTesting(name_).ok()); }
  const std::string& get() const { return name_; }

 private:
  std::string name_;
};

std::unique_ptr<NamedMutex> OpenOrDie(const std::string& name) {
  std::unique_ptr<NamedMutex> m;
  Status s = NamedMutex::Open(name, &m);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return m;
}

TEST(NamedMutexTest, RecursiveForOwnerExclusiveForOtherThreads) {
  ScopedName name("Global\\ZR_test/recursive");  // separators are just bytes of the name
  auto a = OpenOrDie(name.get());
  auto b = OpenOrDie(name.get());  // a second handle on the same mutex
  ASSERT_TRUE(a->Lock(0).ok());
  ASSERT_TRUE(b->Lock(0).ok());  // same thread: recursion, not deadlock

  Status other;
  std::thread t([&] { other = b->Lock(50); });
  t.join();
  EXPECT_TRUE(other.IsBusy()) << other.ToString();

  ASSERT_TRUE(a->Unlock().ok());
  ASSERT_TRUE(a->Unlock().ok());
  EXPECT_TRUE(a->Unlock().IsInvalidArgument());  // no longer owned

  bool abandoned = true;
  std::thread t2([&] {
    other = b->Lock(1000, &abandoned);
    if (other.ok()) {
      EXPECT_TRUE(b->Unlock().ok());
    }
  });
  t2.join();
  EXPECT_TRUE(other.ok()) << other.ToString();
  EXPECT_FALSE(abandoned);
}

// The holder is killed while this process already waits (that the mutex
// works normally afterwards is MutexOwnerDeathTest's).
TEST(NamedMutexTest, HolderKilledWhileHoldingReleasesItToTheWaiter) {
  ScopedName name("ZR_KILLED_DBF_MTX");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::unique_ptr<NamedMutex> m;
    if (!NamedMutex::Open(name.get(), &m).ok() || !m->Lock(kWaitForever).ok()) _exit(2);
    char c = 'x';
    if (write(ready[1], &c, 1) != 1) _exit(3);
    pause();  // hold it until killed
    _exit(0);
  }
  close(ready[1]);
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1) << "child did not take the mutex";
  close(ready[0]);

  auto m = OpenOrDie(name.get());
  // Kill the holder while this process is already waiting with a time limit.
  std::thread killer([child] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(child, SIGKILL);
  });
  bool abandoned = false;
  auto start = std::chrono::steady_clock::now();
  Status s = m->Lock(5000, &abandoned);
  auto waited = std::chrono::steady_clock::now() - start;
  killer.join();
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_TRUE(abandoned);
  EXPECT_LT(waited, std::chrono::milliseconds(4000));
  ASSERT_TRUE(m->Unlock().ok());
}

TEST(NamedMutexTest, ProcessesRacingToCreateShareOneMutex) {
  ScopedName name("race");
  constexpr int kChildren = 4;
  constexpr int kRounds = 200;
  // Each child increments a counter in a shared file under the mutex; lost
  // updates would show two processes inside at once.
  char path[] = "/tmp/pvmtx-counter-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  int zero = 0;
  ASSERT_EQ(pwrite(fd, &zero, sizeof zero, 0), static_cast<ssize_t>(sizeof zero));
  std::vector<pid_t> kids;
  for (int k = 0; k < kChildren; ++k) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::unique_ptr<NamedMutex> m;
      if (!NamedMutex::Open(name.get(), &m).ok()) _exit(2);
      for (int i = 0; i < kRounds; ++i) {
        if (!m->Lock(kWaitForever).ok()) _exit(3);
        int v = 0;
        if (pread(fd, &v, sizeof v, 0) != static_cast<ssize_t>(sizeof v)) _exit(4);
        ++v;
        if (pwrite(fd, &v, sizeof v, 0) != static_cast<ssize_t>(sizeof v)) _exit(5);
        if (!m->Unlock().ok()) _exit(6);
      }
      _exit(0);
    }
    kids.push_back(pid);
  }
  for (pid_t pid : kids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  int total = 0;
  ASSERT_EQ(pread(fd, &total, sizeof total, 0), static_cast<ssize_t>(sizeof total));
  close(fd);
  unlink(path);
  EXPECT_EQ(total, kChildren * kRounds);
}

}  // namespace
}  // namespace pv
