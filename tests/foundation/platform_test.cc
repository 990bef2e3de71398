// The smaller platform services: console conversion, keyboard sources, disk
// space query, clocks and events (SIGTERM and SIGINT as stop requests:
// PackvaultTest.SlashEscInAnyCaseDisablesEscButSigtermAndSigintStillEnd).
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/platform/clock.h"
#include "foundation/platform/console.h"
#include "foundation/platform/disk_space.h"
#include "foundation/platform/event.h"
#include "foundation/platform/keyboard.h"
#include "tests/foundation/scoped_env.h"
#include "tests/support/process_runner.h"
#include "tests/support/test_util.h"

namespace pv {
namespace {

std::string ChildPath() { return pvtest::ProgramPath("bin/foundation_child"); }

// The standard output of foundation_child with these arguments and input.
std::string ChildOutput(std::vector<std::string> args, const std::string& input = {}) {
  args.insert(args.begin(), ChildPath());
  const pvtest::ProcessResult r = pvtest::Run(args, input, 20000);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  return pvtest::WithoutCr(r.out);
}

// AnsiToConsole's output under LC_ALL=locale.
std::string Convert(const char* locale, const std::string& in, size_t out_size = 64) {
  ScopedEnv env("LC_ALL", locale);
  std::vector<char> out(out_size, 'Z');
  size_t n = AnsiToConsole(in.data(), in.size(), out.data(), out.size());
  EXPECT_EQ(out[n], '\0');
  return std::string(out.data(), n);
}

// On POSIX the locale variables name the console's charset, and TZ the
// zone (read by a fresh process: the C library reads TZ once).
TEST(PlatformTest, ConsoleCharsetAndZoneFollowTheEnvironment) {
  const char* utf8 = "de_DE.UTF-8";
  EXPECT_EQ(Convert(utf8, "Gr\xFC\xDF \x80 C:\\Daten\\\xC4"),
            "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC C:\\Daten\\\xC3\x84");
  EXPECT_EQ(Convert(utf8, "a\x81z"), "a?z");  // undefined in Windows-1252
  EXPECT_EQ(Convert(utf8, std::string("a\0b", 3)), std::string("a\0b", 3));
  // Cut at the last whole character: "\xFC" needs two bytes, only one is left.
  EXPECT_EQ(Convert(utf8, "ab\xFC", 4), "ab");
  EXPECT_EQ(Convert("C", "\xE9"), "\xC3\xA9");  // no charset named: UTF-8
  EXPECT_EQ(Convert("de_DE.ISO-8859-1", "\xE9\x80"), "\xE9?");  // no euro sign in Latin-1
  // 2024-07-01 12:00 UTC in Europe/Berlin is summer time, 2024-01-01 12:00 is not.
  ScopedEnv tz("TZ", "Europe/Berlin");
  EXPECT_EQ(ChildOutput({"utc-offset", "1719835200", "1704110400"}), "7200 3600\n");
}

// Keys from a file, one byte a poll (no lone-ESC rule off a terminal), then
// none at its end; none from the null device. Never blocking: a blocked
// child would be killed at the timeout.
TEST(KeyboardTest, FilesGiveOneByteAPollAndNeverBlock) {
  EXPECT_EQ(ChildOutput({"keys", "6"}, "a\x1b[A"), "97 27 91 65 -1 -1\n");
  pvtest::TempDir dir;
  pvtest::Child null_input({ChildPath(), "keys", "2"}, dir.File("out"));
  ASSERT_EQ(null_input.Wait(20000), 0);
  EXPECT_EQ(pvtest::WithoutCr(pvtest::ReadFileBytes(dir.File("out"))), "-1 -1\n");
}

// An open pipe that nothing is written to (the writer sleeps) gives no key
// at once.
TEST(KeyboardTest, OpenPipeWithoutDataNeverBlocks) {
  const pvtest::ProcessResult r = pvtest::Run({"/bin/sh", "-c", "sleep 1 | \"$0\" keys 3", ChildPath()});
  EXPECT_EQ(r.out, "-1 -1 -1\n") << r.err;
}

// The test hook itself is exercised by the disk-usage tests of the server link.
TEST(DiskSpaceTest, OsQueryReportsSizesAndErrors) {
  uint64_t free_bytes = 0, total = 0, total_free = 0;
  pvtest::TempDir dir;
  ASSERT_EQ(DiskFreeSpace(dir.Path(), &free_bytes, &total, &total_free), 0);
  EXPECT_GT(total, 0u);
  EXPECT_LE(free_bytes, total_free);
  EXPECT_NE(DiskFreeSpace("/no/such/dir/anywhere", &free_bytes, &total, &total_free), 0);
}

// The wall clock agrees with the C library's, the tick count moves, and an
// event stays set until reset.
TEST(PlatformTest, ClocksAndEvents) {
  int64_t before = static_cast<int64_t>(std::time(nullptr));
  int64_t now = UtcNowMicros() / 1000000;
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 2);
  uint32_t t0 = TickCountMillis();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  uint32_t elapsed = TickCountMillis() - t0;  // unsigned difference survives a wrap
  EXPECT_GE(elapsed, 19u);
  EXPECT_LT(elapsed, 5000u);

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
