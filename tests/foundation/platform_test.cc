// The smaller platform services: console conversion, keyboard sources, disk
// space query, clocks and events (SIGTERM and SIGINT as stop requests:
// PackvaultTest.SlashEscInAnyCaseDisablesEscButSigtermAndSigintStillEnd).
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/platform/clock.h"
#include "foundation/platform/console.h"
#include "foundation/platform/disk_space.h"
#include "foundation/platform/env.h"
#include "foundation/platform/event.h"
#include "foundation/platform/keyboard.h"
#include "foundation/platform/process.h"

namespace pv {
namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name), had_(GetEnv(name, &old_)) {
    EXPECT_TRUE(SetEnv(name, value).ok());
    tzset();
  }
  ~ScopedEnv() {
    EXPECT_TRUE((had_ ? SetEnv(name_, old_.c_str()) : UnsetEnv(name_)).ok());
    tzset();
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

std::string Convert(const std::string& in, size_t out_size = 64) {
  std::vector<char> out(out_size, 'Z');
  size_t n = AnsiToConsole(in.data(), in.size(), out.data(), out.size());
  EXPECT_EQ(out[n], '\0');
  return std::string(out.data(), n);
}

TEST(ConsoleTest, ConvertsWindows1252ToTheLocaleCharset) {
  {
    ScopedEnv env("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(Convert("Gr\xFC\xDF \x80 C:\\Daten\\\xC4"), "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC C:\\Daten\\\xC3\x84");
    EXPECT_EQ(Convert("a\x81z"), "a?z");  // undefined in Windows-1252
    EXPECT_EQ(Convert(std::string("a\0b", 3)), std::string("a\0b", 3));
    // Cut at the last whole character: "\xFC" needs two bytes, only one is left.
    EXPECT_EQ(Convert("ab\xFC", 4), "ab");
  }
  {
    ScopedEnv env("LC_ALL", "C");  // no charset named: UTF-8
    EXPECT_EQ(Convert("\xE9"), "\xC3\xA9");
  }
  {
    ScopedEnv env("LC_ALL", "de_DE.ISO-8859-1");
    EXPECT_EQ(Convert("\xE9\x80"), "\xE9?");  // the euro sign has no Latin-1 byte
  }
}

// Runs PollKey in a child whose standard input is `input_fd`; returns the
// keys of `polls` polls, kNoKey as -1.
std::vector<int> PollInChild(int input_fd, int polls) {
  int out[2];
  EXPECT_EQ(pipe(out), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(input_fd, STDIN_FILENO);
    close(out[0]);
    for (int i = 0; i < polls; ++i) {
      int k = PollKey();
      if (write(out[1], &k, sizeof k) != static_cast<ssize_t>(sizeof k)) _exit(2);
    }
    _exit(0);
  }
  close(out[1]);
  std::vector<int> keys;
  int k;
  while (read(out[0], &k, sizeof k) == static_cast<ssize_t>(sizeof k)) keys.push_back(k);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return keys;
}

TEST(KeyboardTest, PipesGiveOneByteAPollAndNeverBlock) {
  int in[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(write(in[1], "a\x1b[A", 4), 4);  // no lone-ESC rule on a pipe
  close(in[1]);
  EXPECT_EQ(PollInChild(in[0], 6), (std::vector<int>{'a', 27, '[', 'A', kNoKey, kNoKey}));
  close(in[0]);

  // An open pipe without data does not block.
  ASSERT_EQ(pipe(in), 0);
  EXPECT_EQ(PollInChild(in[0], 3), (std::vector<int>{kNoKey, kNoKey, kNoKey}));
  close(in[0]);
  close(in[1]);
}

// The test hook itself is exercised by the disk-usage tests of the server link.
TEST(DiskSpaceTest, OsQueryReportsSizesAndErrors) {
  uint64_t free_bytes = 0, total = 0, total_free = 0;
  ASSERT_EQ(DiskFreeSpace("/", &free_bytes, &total, &total_free), 0);
  EXPECT_GT(total, 0u);
  EXPECT_LE(free_bytes, total_free);
  EXPECT_NE(DiskFreeSpace("/no/such/dir/anywhere", &free_bytes, &total, &total_free), 0);
}

TEST(PlatformTest, ClocksAgreeWithTheCLibrary) {
  int64_t before = static_cast<int64_t>(std::time(nullptr));
  int64_t now = UtcNowMicros() / 1000000;
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 2);
  uint32_t t0 = TickCountMillis();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  uint32_t elapsed = TickCountMillis() - t0;  // unsigned difference survives a wrap
  EXPECT_GE(elapsed, 19u);
  EXPECT_LT(elapsed, 5000u);
  // 2024-07-01 12:00 UTC in Europe/Berlin is summer time.
  ScopedEnv tz("TZ", "Europe/Berlin");
  EXPECT_EQ(LocalUtcOffsetAt(1719835200), 7200);
  EXPECT_EQ(LocalUtcOffsetAt(1704110400), 3600);  // 2024-01-01 12:00 UTC
}

TEST(PlatformTest, EventIsManualReset) {
  Event e;
  EXPECT_FALSE(e.Wait(10));
  std::thread t([&] { e.Set(); });
  EXPECT_TRUE(e.Wait(5000));
  t.join();
  EXPECT_TRUE(e.Wait(0));  // stays set
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
}

}  // namespace
}  // namespace pv
