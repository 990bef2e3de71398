// Owner death across processes on every platform: a holder process that
// ends without unlocking hands the mutex to the next waiter, marked
// abandoned, and the mutex then works normally.
#include <string>

#include <gtest/gtest.h>

#include "foundation/platform/named_mutex.h"
#include "foundation/platform/thread.h"
#include "tests/support/process_runner.h"

namespace pv {
namespace {

TEST(MutexOwnerDeathTest, ProcessEndingWhileHoldingAbandonsItToTheNextWaiter) {
  const std::string name = "ZR_OWNERDEATH_" + std::to_string(CurrentProcessId()) + "_DBF_MTX";
  std::unique_ptr<NamedMutex> m;
  ASSERT_TRUE(NamedMutex::Open(name, &m).ok());  // keeps the kernel object alive on Windows
  const pvtest::ProcessResult holder = pvtest::Run({pvtest::ProgramPath("bin/mutex_holder"), name});
  ASSERT_EQ(holder.exit_code, 0) << holder.err;
  bool abandoned = false;
  Status s = m->Lock(5000, &abandoned);
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_TRUE(abandoned);
  ASSERT_TRUE(m->Unlock().ok());
  ASSERT_TRUE(m->Lock(0, &abandoned).ok());
  EXPECT_FALSE(abandoned);
  EXPECT_TRUE(m->Unlock().ok());
  EXPECT_TRUE(m->Unlock().IsInvalidArgument());
  EXPECT_TRUE(NamedMutex::RemoveForTesting(name).ok());
}

}  // namespace
}  // namespace pv
