// OutputHandler: console conversion and cut, log prefixes, log switched off.
#include "foundation/output_handler.h"

#include <string>

#include <gtest/gtest.h>

#include "foundation/platform/file.h"
#include "tests/foundation/scoped_env.h"
#include "tests/support/test_util.h"

namespace {

class OutputHandlerTest : public ::testing::Test {
 protected:
  std::string Log() { return pvtest::ReadFileBytes(dir_.File("Packvault.log")); }

  pvtest::TempDir dir_;
  ScopedEnv log_dir_{"ZRLOGFILEDIR", dir_.Path().c_str()};
  ScopedEnv utf8_{"LC_ALL", "C.UTF-8"};
  ScopedEnv debug_file_{"PACKVAULT_DEBUG_FILE", nullptr};
};

TEST_F(OutputHandlerTest, ConsoleIsConvertedAndCutLogGetsEverything) {
  ScopedEnv debug_file("PACKVAULT_DEBUG_FILE", "100000");
  std::string long_text(2000, 'a');
  long_text[1022] = 'X';  // the last byte shown
  std::string out;
  {
    OutputHandler log("Packvault.log");
    testing::internal::CaptureStdout();
    log.PutInfo(long_text.c_str());
    log.PutError("Failed 2 create C:\\Daten\\Gr\xFC\xDF");
    log.PutInfo("");
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(log.GetLastInfo()), "");
    EXPECT_EQ(std::string(log.GetLastError()), "Failed 2 create C:\\Daten\\Gr\xFC\xDF");
  }
  EXPECT_EQ(out, long_text.substr(0, 1023) + "\nFAILURE: Failed 2 create C:\\Daten\\Gr\xC3\xBC\xC3\x9F\n\n");
  std::string log = Log();
  EXPECT_NE(log.find(": " + long_text + "\r\n"), std::string::npos);
  EXPECT_NE(log.find(": ERROR: Failed 2 create C:\\Daten\\Gr\xFC\xDF\r\n"), std::string::npos);
}

TEST_F(OutputHandlerTest, WithoutTheSwitchOnlyTheConsole) {
  OutputHandler log("Packvault.log");
  testing::internal::CaptureStdout();
  log.PutError("");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "FAILURE: \n");
  EXPECT_FALSE(pv::PathExists(dir_.File("Packvault.log")));
}

}  // namespace
