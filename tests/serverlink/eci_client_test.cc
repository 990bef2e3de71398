#include "serverlink/eci_client.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "serverlink/store_document.h"
#include "tests/support/test_util.h"

namespace {

const char kStore[] =
    "# plant1\n"
    "[objects]\n"
    "$SHUTDOWN = int 0\n"
    "$MOGB = float 0\n"
    "$PACKVAULT = text code 42\n"
    "ERR = int 0\n";

class EciClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("plant1.do");
    pvtest::WriteFileBytes(path_, kStore);
    ASSERT_EQ(DosvConnectApp("PACKVAULT", path_.c_str()), 0) << EciLastError();
  }
  void TearDown() override {
    EciDisconnect();
    EciSetRealTimeSource(nullptr);
  }

  uint16_t Number(const char* name) {
    DoValue v;
    EXPECT_EQ(DoGetObjNum(name, &v), 0) << name;
    EXPECT_EQ(v.type, kDoTypeLong);
    return static_cast<uint16_t>(v.lval);
  }

  pvtest::TempDir dir_;
  std::string path_;
};

// Refused stores leave the earlier connection serving; writes convert to
// the object's type and reach the file; a failed replace keeps the old file.
TEST_F(EciClientTest, ConnectWriteAndFailedWrite) {
  EXPECT_EQ(DosvConnectApp("PACKVAULT", dir_.File("none.do").c_str()), kEciStoreError);
  EXPECT_NE(std::string(EciLastError()).find("none.do"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("none.do.lock")));
  pvtest::WriteFileBytes(dir_.File("bad.do"), "[objects]\nA = int 1\nB = long 2\n");
  EXPECT_EQ(DosvConnectApp("PACKVAULT", dir_.File("bad.do").c_str()), kEciStoreError);
  EXPECT_NE(std::string(EciLastError()).find("bad.do: line 3: object \"B\": type \"long\""),
            std::string::npos)
      << EciLastError();

  // A directory in the way of the temporary file makes the replace fail.
  std::filesystem::create_directory(path_ + ".tmp");
  DoValue v = DoLong(9);
  EXPECT_EQ(DoAppSetValue(Number("ERR"), &v), kEciStoreError);
  EXPECT_NE(std::string(EciLastError()).find("plant1.do.tmp"), std::string::npos) << EciLastError();
  EXPECT_EQ(pvtest::ReadFileBytes(path_), kStore);
  ASSERT_EQ(DoGetValue(Number("ERR"), &v), 0);
  EXPECT_EQ(v.lval, 0);
  std::filesystem::remove(path_ + ".tmp");

  DoValue f = DoFloat(768.25f);
  EXPECT_EQ(DoAppSetValue(Number("$MOGB"), &f), 0);
  DoValue big = DoFloat(-93.9f);  // into an int object: truncated toward zero
  EXPECT_EQ(DoAppSetValue(Number("ERR"), &big), 0);
  DoValue t;
  t.type = kDoTypeText;
  t.text = "x";
  EXPECT_EQ(DoAppSetValue(Number("ERR"), &t), kEciWrongType);
  EXPECT_EQ(DoAppSetValue(0, &big), kEciNoObject);
  EXPECT_EQ(DoGetValue(5, &t), kEciNoObject);
  std::string text = pvtest::ReadFileBytes(path_);
  EXPECT_NE(text.find("$MOGB = float 768.25\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ERR = int -93\n"), std::string::npos) << text;
  EXPECT_EQ(text.rfind("# plant1\n[objects]\n", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

// In 2040 (past 2^31 seconds: unsigned PcTime) at 60 times real time,
// started 100 real seconds ago: the library and the tool both read the
// server clock from this machine's real clock, within the real time their
// readings took.
TEST_F(EciClientTest, AcceleratedClockInRealTime) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point begin = Clock::now();
  auto now = std::chrono::system_clock::now().time_since_epoch();
  long long now_s = std::chrono::duration_cast<std::chrono::seconds>(now).count();
  pvtest::WriteFileBytes(path_, "[clock]\nstart = 2040-01-01T00:00:00Z\nstarted_at = " +
                                    std::to_string(now_s - 100) + "\nrate = 60\n" + kStore);
  const uint32_t ut = MclkQueryUtTime();
  ASSERT_EQ(std::system((pvtest::BinaryPath("bin/pvobjects") + " " + path_ + " clock > " +
                         dir_.File("c")).c_str()), 0);
  const double took = std::chrono::duration<double>(Clock::now() - begin).count();
  std::string out = pvtest::ReadFileBytes(dir_.File("c"));
  EXPECT_EQ(out.substr(0, 17), "UT 2040-01-01T01:") << out;
  const uint32_t kStart = 2208988800u;  // 2040-01-01T00:00:00Z
  for (uint32_t reading : {ut, static_cast<uint32_t>(std::stoul(out.substr(out.find('(') + 1)))}) {
    EXPECT_GE(reading, kStart + 6000);
    EXPECT_LE(reading, kStart + 6000 + 60 * (took + 2));
  }
}

// One process sets A with pvobjects in a loop while this one reads A and
// writes B through the library: both see every update, and neither the
// library nor a plain read of the file ever meets a half-written store.
TEST_F(EciClientTest, TwoProcessesShareTheStore) {
  pvtest::WriteFileBytes(path_, "[objects]\nA = int 0\nB = int 0\nC = text x\n");
  const int kToolWrites = 40;
  std::string loop = "for i in $(seq 1 " + std::to_string(kToolWrites) + "); do " +
                     pvtest::BinaryPath("bin/pvobjects") + " " + path_ +
                     " set A $i >/dev/null 2>>" + dir_.File("errors") + " || echo \"set $i failed\" >>" +
                     dir_.File("errors") + "; done; touch " + dir_.File("done");
  ASSERT_EQ(std::system(("(" + loop + ") &").c_str()), 0);

  uint16_t a = Number("A"), b = Number("B");
  int32_t last_a = 0, writes = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!std::filesystem::exists(dir_.File("done"))) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "pvobjects loop did not finish";
    DoValue v;
    ASSERT_EQ(DoGetValue(a, &v), 0) << EciLastError();
    EXPECT_GE(v.lval, last_a);
    last_a = v.lval;
    DoValue next = DoLong(++writes);
    ASSERT_EQ(DoAppSetValue(b, &next), 0) << EciLastError();
    StoreDocument doc;
    pv::Status st = StoreDocument::Parse(pvtest::ReadFileBytes(path_), &doc);
    ASSERT_TRUE(st.ok()) << st.ToString();
    ASSERT_EQ(doc.size(), 3u);
    EXPECT_GE(doc.Object(b).value.i, writes);
  }
  EXPECT_EQ(pvtest::ReadFileBytes(dir_.File("errors")), "");
  DoValue v;
  ASSERT_EQ(DoGetValue(a, &v), 0);
  EXPECT_EQ(v.lval, kToolWrites);
  ASSERT_EQ(DoGetValue(b, &v), 0);
  EXPECT_EQ(v.lval, writes);
  EXPECT_GT(writes, 0);
}

}  // namespace
