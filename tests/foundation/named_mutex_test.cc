// Named mutexes across threads and processes, including a holder that dies.
#include "foundation/platform/named_mutex.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/platform/thread.h"
#include "foundation/zr_process.h"
#include "tests/support/process_runner.h"
#include "tests/support/test_util.h"

namespace pv {
namespace {

// A name no other test run uses, removed again at the end.
class ScopedName {
 public:
  explicit ScopedName(const char* base)
      : name_(std::string(base) + "_" + std::to_string(CurrentProcessId())) {}
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

std::string ChildPath() { return pvtest::ProgramPath("bin/foundation_child"); }

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
  ZrNamedMutexSem sem(name.get().c_str());  // the program's wrapper: the same rule
  ASSERT_TRUE(sem.IsValid());
  EXPECT_TRUE(sem.Wait(0));
  EXPECT_TRUE(sem.Release());
  EXPECT_FALSE(sem.Release());

  bool abandoned = true;
  std::thread t2([&] {
    other = b->Lock(1000, &abandoned);
    if (other.ok()) other = b->Unlock();  // released by the thread that took it
  });
  t2.join();
  EXPECT_TRUE(other.ok()) << other.ToString();
  EXPECT_FALSE(abandoned);
}

// A holder killed, as a crashed control-system program would end, while
// this process already waits: the waiter gets the mutex at once, marked
// abandoned, and it then works normally.
TEST(MutexOwnerDeathTest, HolderKilledAbandonsItToTheWaiter) {
  ScopedName name("ZR_OWNERDEATH_DBF_MTX");
  auto m = OpenOrDie(name.get());
  pvtest::TempDir dir;
  pvtest::Child holder({ChildPath(), "mutex-hold", name.get()}, dir.File("out"));
  for (int i = 0; i < 1000 && pvtest::ReadFileBytes(dir.File("out")).empty(); ++i) SleepMillis(10);
  ASSERT_EQ(pvtest::WithoutCr(pvtest::ReadFileBytes(dir.File("out"))), "held\n");
  std::thread killer([&holder] {
    SleepMillis(200);
    holder.Kill();
  });
  bool abandoned = false;
  const auto start = std::chrono::steady_clock::now();
  Status s = m->Lock(5000, &abandoned);
  const auto waited = std::chrono::steady_clock::now() - start;
  killer.join();
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_TRUE(abandoned);
  EXPECT_GE(waited, std::chrono::milliseconds(150));  // it was held until the kill
  EXPECT_LT(waited, std::chrono::milliseconds(4000));
  ASSERT_TRUE(m->Unlock().ok());
  ASSERT_TRUE(m->Lock(0, &abandoned).ok());
  EXPECT_FALSE(abandoned);
  EXPECT_TRUE(m->Unlock().ok());
}

// Processes that create and open the same name at once share one mutex:
// each adds to a counter file under it, and a lost update would show two
// processes inside at once.
TEST(NamedMutexTest, ProcessesRacingToCreateShareOneMutex) {
  ScopedName name("race");
  constexpr int kChildren = 4, kRounds = 100;
  pvtest::TempDir dir;
  const std::string counter = dir.File("counter");
  pvtest::WriteFileBytes(counter, "0");
  std::vector<std::unique_ptr<pvtest::Child>> kids;
  for (int k = 0; k < kChildren; ++k) {
    kids.push_back(std::make_unique<pvtest::Child>(std::vector<std::string>{
        ChildPath(), "mutex-count", name.get(), counter, std::to_string(kRounds)}));
  }
  for (auto& kid : kids) EXPECT_EQ(kid->Wait(120000), 0);
  EXPECT_EQ(pvtest::ReadFileBytes(counter), std::to_string(kChildren * kRounds));
}

}  // namespace
}  // namespace pv
