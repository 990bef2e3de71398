// The debug log file (opening, line format, wrap, text mode), the error
// window list, ZrThrow and the assertion report.
#include "foundation/zr_debug_output.h"

#include <algorithm>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "foundation/platform/file.h"
#include "foundation/zr_error_window.h"
#include "foundation/zr_throw.h"
#include "tests/foundation/scoped_env.h"
#include "tests/support/test_util.h"

namespace {

const char kStars[] = "**********************************************************************";
// "<uptime> <17 digits> P=<hex> T=<hex> E=<dec>: "
const std::string kPrefix = R"([0-9.e+]+ [0-9]{17} P=[0-9a-f]+ T=[0-9a-f]+ E=-?[0-9]+: )";

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  for (size_t pos = 0, end; pos < bytes.size(); pos = end + 2) {
    end = std::min(bytes.find("\r\n", pos), bytes.size());
    lines.push_back(bytes.substr(pos, end - pos));
  }
  return lines;
}

TEST(ZrDebugOutputTest, BannerPrefixedCrLfLinesAndWrapInPlace) {
  pvtest::TempDir dir;
  ScopedEnv log_dir("ZRLOGFILEDIR", dir.Path().c_str());  // no trailing separator
  ZrDebugOutput log;
  for (const char* off : {static_cast<const char*>(nullptr), "0"}) {  // no switch, or zero
    ScopedEnv size("PV_TEST_DEBUG_SIZE", off);
    EXPECT_FALSE(log.OpenDebugEx("y.log", "PV_TEST_DEBUG_SIZE"));
  }
  EXPECT_FALSE(pv::PathExists(dir.File("y.log")));
  EXPECT_EQ(log.OpenDebug(nullptr, 10), -1);
  ScopedEnv size("PV_TEST_DEBUG_SIZE", "100000");
  ASSERT_TRUE(log.OpenDebugEx("C:\\x\\y.log", "PV_TEST_DEBUG_SIZE"));
  EXPECT_EQ(log.GetMaxSize(), 100000u);
  EXPECT_GT(log._DebugOutput("Archive started"), 15u);
  log._DebugOutput("ends in newline\n");
  log._DebugOutput(nullptr, "zrpbase", 1357);
  log.CloseDebug();
  EXPECT_EQ(log._DebugOutput("after close"), 0u);

  std::string bytes = pvtest::ReadFileBytes(dir.File("y.log"));  // directory part ignored
  EXPECT_EQ(bytes.find('\n'), bytes.find("\r\n") + 1);  // text mode
  auto lines = Lines(bytes);
  ASSERT_EQ(lines.size(), 7u);
  const std::string expected[] = {
      kPrefix + R"(\*{70})", kPrefix + "[0-9]{17}", kPrefix + R"(C:\\x\\y\.log)", ".*",
      kPrefix + "Archive started", kPrefix + "ends in newline",
      "zrpbase\\(1357\\): " + kPrefix + "DebugOutput called with NULL-pointer message"};
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(expected[i]))) << lines[i];
  }

  // A full file wraps in place; opening again overwrites from the start.
  ScopedEnv small("PV_TEST_DEBUG_SIZE", "2000");
  ASSERT_TRUE(log.OpenDebugEx("w.log", "PV_TEST_DEBUG_SIZE"));
  std::string payload(60, 'x');
  size_t last_size = 0;
  for (int i = 0; i < 100; ++i) {
    log._DebugOutput((payload + std::to_string(i)).c_str());
    std::string bytes = pvtest::ReadFileBytes(dir.File("w.log"));
    ASSERT_LE(bytes.size(), 2000u);
    if (bytes.size() == last_size) {
      // Wrapped: the newest line is at offset 0 and the old tail is kept.
      EXPECT_NE(bytes.find(payload + std::to_string(i) + "\r\n"), std::string::npos);
      EXPECT_LT(bytes.find(payload + std::to_string(i) + "\r\n"), 200u);
      EXPECT_NE(bytes.find(payload + std::to_string(i - 1) + "\r\n"), std::string::npos);
      break;
    }
    ASSERT_GT(bytes.size(), last_size) << "line " << i;
    last_size = bytes.size();
  }
  log.CloseDebug();
  std::string before = pvtest::ReadFileBytes(dir.File("w.log"));
  ASSERT_TRUE(log.OpenDebugEx("w.log", "PV_TEST_DEBUG_SIZE"));
  log.CloseDebug();
  std::string after = pvtest::ReadFileBytes(dir.File("w.log"));
  EXPECT_EQ(after.size(), before.size());  // not truncated
  EXPECT_NE(after.find(kStars), std::string::npos);
  EXPECT_LT(after.find(kStars), 80u);
}

TEST(ZrDebugOutputTest, RcHelpersWriteOnlyOnTheirCondition) {
  pvtest::TempDir dir;
  ZrDebugOutput log;
  ASSERT_EQ(log.OpenDebug(dir.File("rc.log").c_str(), 100000), 0);
  log._DebugOutputRc("a.cc", 1, 0);
  log._DebugOutputRcOk("a.cc", 2, 7, 7);
  log._DebugOutputRcErr("a.cc", 3, 7, 8);
  log._DebugOutputRc("a.cc", 10, 0x1f);
  log._DebugOutputRcErr("a.cc", 11, -1, -1);
  log._DebugOutputWithoutRc("b.cc", 12);
  log.CloseDebug();
  auto lines = Lines(pvtest::ReadFileBytes(dir.File("rc.log")));
  ASSERT_EQ(lines.size(), 3u);  // each ends "\r\r\n": the text's "\r\n" in text mode
  const char* expected[] = {R"(a\.cc\(10\): Wrong rc=1f LastErr=[0-9a-f]+\r)",
                            R"(a\.cc\(11\): Wrong rc=ffffffff LastErr=[0-9a-f]+\r)",
                            R"(Wrong rc in File b\.cc\(12\)\r)"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(kPrefix + expected[i]))) << lines[i];
  }
}

TEST(ZrErrorWindowTest, KeepsTheNewestHundredNewestFirst) {
  ZrErrorWindowClose();
  for (int i = 0; i < 150; ++i) _ErrorOutputToWnd(("error " + std::to_string(i)).c_str());
  _ErrorOutputToWnd(nullptr);
  auto entries = ZrErrorWindowEntries();
  ASSERT_EQ(entries.size(), 100u);
  EXPECT_EQ(entries[0], "DebugOutput called with NULL-pointer message");
  EXPECT_EQ(entries[1], "error 149");
  EXPECT_EQ(entries[99], "error 51");

  ZrDebugOutput::SetTestMode(true);
  ZrDebugOutput::ResetTestModeCounters();
  _ErrorOutputToWnd("counted only");
  _DebugOutput("a debug line");
  EXPECT_EQ(ZrDebugOutput::GetErrorOutputCount(), 1u);
  EXPECT_EQ(ZrDebugOutput::GetDebugOutputCount(), 1u);
  ZrDebugOutput::SetTestMode(false);
  EXPECT_EQ(ZrErrorWindowEntries()[0], "DebugOutput called with NULL-pointer message");
  ZrErrorWindowClose();
}

TEST(ZrThrowTest, LogsAndThrowsTheFirst255Bytes) {
  pvtest::TempDir dir;
  ASSERT_EQ(OpenDebug(dir.File("throw.log").c_str(), 100000), 0);
  ZrThrowSetTestMode(true);
  std::string message(300, 'm');
  try {
    ZrThrow(message.c_str());
    FAIL() << "ZrThrow returned";
  } catch (const ZrStringBase& e) {
    EXPECT_EQ(std::string(e.GetText()), message.substr(0, 255));
  }
  ZrThrowSetTestMode(false);
  ZrAssertReport("stBufLen >= 18", "ZrTime", 42);
  CloseDebug();
  auto lines = Lines(pvtest::ReadFileBytes(dir.File("throw.log")));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find(": *********************ZrThrow**************************"), std::string::npos);
  EXPECT_NE(lines[1].find(": " + message), std::string::npos);
  EXPECT_EQ(lines[2].rfind("ZrTime(42): ", 0), 0u);
  EXPECT_NE(lines[2].find(": stBufLen >= 18"), std::string::npos);
}

}  // namespace
