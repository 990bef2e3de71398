// OutputHandler: console conversion and cut, log prefixes, log switched off.
#include "foundation/output_handler.h"

#include <string>

#include <gtest/gtest.h>

#include "foundation/platform/env.h"
#include "foundation/platform/file.h"
#include "tests/support/test_util.h"

namespace {

class OutputHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EXPECT_TRUE(pv::SetEnv("ZRLOGFILEDIR", dir_.Path().c_str()).ok());
    EXPECT_TRUE(pv::SetEnv("LC_ALL", "C.UTF-8").ok());
  }
  void TearDown() override {
    EXPECT_TRUE(pv::UnsetEnv("ZRLOGFILEDIR").ok());
    EXPECT_TRUE(pv::UnsetEnv("PACKVAULT_DEBUG_FILE").ok());
    EXPECT_TRUE(pv::UnsetEnv("LC_ALL").ok());
  }
  std::string Log() { return pvtest::ReadFileBytes(dir_.File("Packvault.log")); }

  pvtest::TempDir dir_;
};

TEST_F(OutputHandlerTest, ConsoleIsConvertedAndCutLogGetsEverything) {
  EXPECT_TRUE(pv::SetEnv("PACKVAULT_DEBUG_FILE", "100000").ok());
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
