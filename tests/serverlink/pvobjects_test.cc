// The pvobjects command run as a program: output, messages and exit codes.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_util.h"

namespace {

class PvObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = dir_.File("plant1.do");
    pvtest::WriteFileBytes(store_, "[objects]\n$SHUTDOWN = int 0\n$MOGB = float 1.5\nID = text a b\n");
  }

  // Runs pvobjects with the arguments; returns its exit code, fills out/err.
  int Run(const std::string& args) {
    std::string cmd = pvtest::BinaryPath("bin/pvobjects") + " " + args + " >" + dir_.File("out") +
                      " 2>" + dir_.File("err");
    int status = std::system(cmd.c_str());
    out_ = pvtest::ReadFileBytes(dir_.File("out"));
    err_ = pvtest::ReadFileBytes(dir_.File("err"));
    return WEXITSTATUS(status);
  }

  pvtest::TempDir dir_;
  std::string store_, out_, err_;
};

TEST_F(PvObjectsTest, ListGetSetAddClockAndErrors) {
  ASSERT_EQ(Run(store_ + " set '$SHUTDOWN' 1"), 0) << err_;
  ASSERT_EQ(Run(store_ + " set ID 'new id'"), 0) << err_;
  ASSERT_EQ(Run(store_ + " add EXTRA float -0.25"), 0) << err_;
  EXPECT_EQ(out_, "4\n");
  ASSERT_EQ(Run(store_ + " add EMPTY text"), 0) << err_;
  ASSERT_EQ(Run(store_ + " get ID"), 0);
  EXPECT_EQ(out_, "new id\n");
  ASSERT_EQ(Run(store_ + " list"), 0);
  EXPECT_EQ(out_,
            "1 $SHUTDOWN = int 1\n2 $MOGB = float 1.5\n3 ID = text new id\n"
            "4 EXTRA = float -0.25\n5 EMPTY = text \n");

  // Errors: a message, an exit code, and the store unchanged.
  const std::string before = pvtest::ReadFileBytes(store_);
  struct Case {
    std::string args;
    int code;
    const char* message;
  } cases[] = {
      {store_, 1, "usage: pvobjects FILE list"},
      {store_ + " remove ID", 1, "usage:"},
      {dir_.File("none.do") + " list", 2, "none.do: No such file"},
      {store_ + " get NOPE", 3, "no object \"NOPE\""},
      {store_ + " set NOPE 1", 3, "no object \"NOPE\""},
      {store_ + " add ID text x", 3, "object \"ID\" exists already"},
      {store_ + " set '$SHUTDOWN' 1.5", 4, "$SHUTDOWN (int): \"1.5\" is not a 32-bit integer"},
      {store_ + " set '$MOGB' abc", 4, "$MOGB (float): \"abc\" is not a finite 32-bit float"},
      {store_ + " add X long 1", 4, "type \"long\" is not int, float or text"},
      {store_ + " add 'A B' int 1", 4, "contains a blank"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), c.code) << c.args;
    EXPECT_NE(err_.find(c.message), std::string::npos) << c.args << ": " << err_;
  }
  EXPECT_EQ(pvtest::ReadFileBytes(store_), before);

  // The server clock, frozen in 2040 (past 2^31 seconds: unsigned PcTime).
  // (The library's clock running from the real one: the end-to-end tests.)
  pvtest::WriteFileBytes(store_, "[clock]\nstart = 2040-01-01T00:00:00Z\nstarted_at = 0\nrate = 0\n"
                                 "local_offset = 3600\n");
  ASSERT_EQ(Run(store_ + " clock"), 0) << err_;
  EXPECT_EQ(out_, "UT 2040-01-01T00:00:00Z (2208988800)\nLT 2040-01-01 01:00:00 (2208992400)\n");
}

}  // namespace
