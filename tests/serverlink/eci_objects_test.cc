#include "serverlink/eci_objects.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/output_handler.h"
#include "foundation/platform/disk_space.h"
#include "foundation/platform/file.h"
#include "serverlink/eci_client.h"
#include "serverlink/store_document.h"
#include "tests/support/capture_log.h"
#include "tests/support/process_runner.h"
#include "tests/support/test_util.h"

namespace {

const char kIni[] = "[Packvault]\nErrorObjId = ZIPERR\nProjectObjId = PROJ\n";

const char kStore[] =
    "[objects]\n"
    "$SHUTDOWN = int 0\n"
    "$MOFULL = int 0\n"
    "$MOGB = float 0\n"
    "$MOPROCENT = int 0\n"
    "ZIPERR = int 0\n"
    "PROJ = text Plant One\n"
    "$PACKVAULT = text s3cret\n";

// Runs in a fresh working directory holding plant1.do, with an INI file.
class EciObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    SetLog(&log_);
    eci_.SetIniFile(dir_.File("kestrel.ini").c_str());
    WriteIni(kIni);
  }
  void TearDown() override {
    EciDisconnect();
    SetLog(nullptr);
    pv::SetDiskSpaceHookForTesting(nullptr);
    std::filesystem::current_path(cwd_);
  }

  void WriteIni(const std::string& text) { pvtest::WriteFileBytes(dir_.File("kestrel.ini"), text); }
  void WriteStore(const std::string& text) { pvtest::WriteFileBytes(dir_.File("plant1.do"), text); }
  void Connect(const std::string& store) {
    WriteStore(store);
    ASSERT_TRUE(eci_.ConnectEci("PACKVAULT", "plant1"));
    log_.lines.clear();
  }
  // The value of a store object as the file holds it now.
  StoreValue Stored(const char* name) {
    StoreDocument doc;
    EXPECT_TRUE(StoreDocument::Parse(pvtest::ReadFileBytes(dir_.File("plant1.do")), &doc).ok());
    uint32_t n = doc.Find(name);
    EXPECT_NE(n, 0u) << name;
    return n ? doc.Object(n).value : StoreValue();
  }
  void SetDisk(uint64_t total, uint64_t free_to_caller, int error = 0) {
    pv::SetDiskSpaceHookForTesting(
        [=, this](const std::string& path, uint64_t* f, uint64_t* t, uint64_t* tf) {
          disk_path_ = path;
          *f = free_to_caller;
          *t = total;
          *tf = free_to_caller;
          return error;
        });
  }

  pvtest::TempDir dir_;
  std::filesystem::path cwd_;
  pvtest::CaptureLog log_;
  EciObjects eci_;
  std::string disk_path_;
};

using Lines = std::vector<std::string>;

// A failed connection resolves nothing; a good one resolves every object
// it finds and warns for the others.
TEST_F(EciObjectsTest, ConnectResolvesObjectsAndWarnsForMissingOnes) {
  EXPECT_FALSE(eci_.ConnectEci("PACKVAULT", "plant1"));  // no plant1.do
  WriteStore("[objects]\nPROJ = text p\n$SHUTDOWN = int 0\n$MOGB = float 1\n");
  EXPECT_FALSE(eci_.ConnectEci("PACKVAULT", std::string(300, 'p').c_str()));
  EXPECT_EQ(eci_.ShutdownObjNo + eci_.ErrorObjNo, 0u);
  eci_.Check4Shutdown();
  EXPECT_FALSE(eci_.ShutdownFlag);
  ASSERT_TRUE(eci_.ConnectEci("PACKVAULT", "plant1"));
  EXPECT_EQ(log_.lines, (Lines{"E:Failed 2 connect to DataObjectServer!",
                               "E:Failed 2 connect to DataObjectServer!",
                               "I:Connect to ECI: PACKVAULT.\\plant1.do",
                               "I:WARNING: No valid PointId$MOFULL",
                               "I:WARNING: No valid PointId$MOPROCENT",
                               "I:WARNING: No valid PointIdZIPERR"}));
  EXPECT_EQ(eci_.ShutdownObjNo, 2u);
  EXPECT_EQ(eci_.MoGbObjNo, 3u);
  EXPECT_EQ(eci_.ProjectObjNo, 1u);
  EXPECT_EQ(eci_.MoFullObjNo + eci_.MoPcObjNo + eci_.ErrorObjNo, 0u);
}

// Any value of magnitude 1 or more ends the run; the flag is never cleared
// again, and an unreadable object is reported.
TEST_F(EciObjectsTest, ShutdownObjectReadAsNumber) {
  struct Case {
    const char* value;
    bool ends;
  } cases[] = {{"int 0", false}, {"float 0.5", false}, {"float -0.9", false},
               {"int 1", true},  {"float 1.0", true},  {"int -5", true}};
  Connect(kStore);
  for (const Case& c : cases) {
    eci_.ShutdownFlag = false;
    WriteStore(std::string("[objects]\n$SHUTDOWN = ") + c.value + "\n");
    log_.lines.clear();
    eci_.Check4Shutdown();
    EXPECT_EQ(eci_.ShutdownFlag, c.ends) << c.value;
    EXPECT_EQ(log_.lines, c.ends ? Lines{"I:Shutdown = true"} : Lines{}) << c.value;
    if (!c.ends) continue;
    WriteStore("[objects]\n$SHUTDOWN = int 0\n");
    eci_.Check4Shutdown();
    EXPECT_TRUE(eci_.ShutdownFlag);
  }
  log_.lines.clear();
  WriteStore("[objects]\n$SHUTDOWN int 0\n");
  eci_.Check4Shutdown();
  EXPECT_EQ(log_.lines, Lines{"E:No valid Value returned for SHUTDOWN"});
}

TEST_F(EciObjectsTest, PublishesDiskUsageOfTheDestination) {
  Connect(kStore);
  eci_.SetDestPathProvider([] { return ZrString("D:\\ARCHIVE\\"); });
  struct Case {
    uint64_t total, free_to_caller;
    float mb;
    int32_t percent, full;
  } cases[] = {
      // (A plain share below 90 percent: the wrong-type case below.)
      {1024ull << 20, 64ull << 20, 960.0f, 93, 1},
      // 89.99 percent used: truncated to 89 before the comparison with 90.
      {10000ull << 20, 1001ull << 20, 8999.0f, 89, 0},
  };
  for (const Case& c : cases) {
    log_.lines.clear();
    SetDisk(c.total, c.free_to_caller);
    eci_.RefreshEciObjs();
    EXPECT_EQ(disk_path_, "D:\\ARCHIVE\\");
    char line[100];
    std::snprintf(line, sizeof line, "I:2 Eci: Drv D:\\ARCHIVE\\, MB %f percent %d flag %d",
                  static_cast<double>(c.mb), c.percent, c.full);
    EXPECT_EQ(log_.lines, Lines{line});
    EXPECT_EQ(Stored("$MOGB").f, c.mb);
    EXPECT_EQ(Stored("$MOPROCENT").i, c.percent);
    EXPECT_EQ(Stored("$MOFULL").i, c.full);
  }

  // A failed query writes nothing.
  log_.lines.clear();
  SetDisk(1, 1, 5);
  eci_.RefreshEciObjs();
  EXPECT_EQ(log_.lines, Lines{"E:Function GetDiskFreeSpaceEx failed, Error num = 5"});
  EXPECT_EQ(Stored("$MOPROCENT").i, 89);

  // $MOFULL cannot take a number; $MOPROCENT does not exist: reported or
  // skipped, and the other objects are still written.
  eci_.SetDestPathProvider(nullptr);
  Connect("[objects]\n$MOGB = float 0\n$MOFULL = text x\n");
  SetDisk(1024ull << 20, 256ull << 20);
  eci_.RefreshEciObjs();
  EXPECT_EQ(log_.lines, (Lines{"E:Failed 2 set MoFull-Flag, ObjNo 2",
                               "I:2 Eci: Drv , MB 768.000000 percent 75 flag 0"}));
  EXPECT_EQ(Stored("$MOGB").f, 768.0f);
}

// (The error object set and reset, the project id and the code as they
// should be: the ZIP scheduling and end-to-end tests.) Objects of the wrong
// type, and no error object without its INI key.
TEST_F(EciObjectsTest, ErrorObjectProjectIdAndCode) {
  Connect("[objects]\nPROJ = int 4\n$PACKVAULT = int 1\n");
  EXPECT_STREQ(eci_.DoGetProjectId(), "Failed 2 ProjectId");
  EXPECT_STREQ(eci_.GetCode(), "");  // not text: no message
  EXPECT_EQ(log_.lines, Lines{"E:Failed 2 get text of ProjectId object"});

  // Without the INI key: no error object, and every access to it fails.
  WriteIni("[Packvault]\nProjectObjId = PROJ\n");
  EciObjects eci;
  eci.SetIniFile(dir_.File("kestrel.ini").c_str());
  WriteStore("[objects]\n$SHUTDOWN = int 0\n");
  ASSERT_TRUE(eci.ConnectEci("PACKVAULT", "plant1"));
  EXPECT_EQ(std::count(log_.lines.begin(), log_.lines.end(), "I:WARNING: No valid PointIdErrorObjId???"), 1);
  EXPECT_EQ(eci.ErrorObjNo, 0u);
  log_.lines.clear();
  eci.SetError(3, "", "");  // the library is called with object number 0
  eci.ResetError();
  EXPECT_STREQ(eci.DoGetProjectId(), "Failed 2 ProjectId");
  EXPECT_STREQ(eci.GetCode(), "");
  EXPECT_EQ(log_.lines, (Lines{"E:Failed 2 set ZipErrorObject", "E:Failed 2 reset ZipErrorObject",
                               "E:Failed 2 get text of ProjectId object",
                               "I:WARNING: No valid PointId$PACKVAULT"}));
}

// The client library on the store file.
class EciClientTest : public EciObjectsTest {
 protected:
  void SetUp() override {
    EciObjectsTest::SetUp();
    WriteStore(kStore);
    ASSERT_EQ(DosvConnectApp("PACKVAULT", path_.c_str()), 0) << EciLastError();
  }

  uint16_t Number(const char* name) {
    DoValue v;
    EXPECT_EQ(DoGetObjNum(name, &v), 0) << name;
    EXPECT_EQ(v.type, kDoTypeLong);
    return static_cast<uint16_t>(v.lval);
  }

  const std::string path_ = dir_.File("plant1.do");
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
  EXPECT_EQ(DoAppSetValue(Number("ZIPERR"), &v), kEciStoreError);
  EXPECT_NE(std::string(EciLastError()).find("plant1.do.tmp"), std::string::npos) << EciLastError();
  EXPECT_EQ(pvtest::ReadFileBytes(path_), kStore);
  ASSERT_EQ(DoGetValue(Number("ZIPERR"), &v), 0);
  EXPECT_EQ(v.lval, 0);
  std::filesystem::remove(path_ + ".tmp");

  DoValue f = DoFloat(768.25f);
  EXPECT_EQ(DoAppSetValue(Number("$MOGB"), &f), 0);
  DoValue big = DoFloat(-93.9f);  // into an int object: truncated toward zero
  EXPECT_EQ(DoAppSetValue(Number("ZIPERR"), &big), 0);
  DoValue t;
  t.type = kDoTypeText;
  t.text = "x";
  EXPECT_EQ(DoAppSetValue(Number("ZIPERR"), &t), kEciWrongType);
  EXPECT_EQ(DoAppSetValue(0, &big), kEciNoObject);
  EXPECT_EQ(DoGetValue(8, &t), kEciNoObject);
  std::string text = pvtest::ReadFileBytes(path_);
  EXPECT_NE(text.find("$MOGB = float 768.25\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ZIPERR = int -93\n"), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

// Runs the pvobjects command with the arguments; its output with LF line ends.
pvtest::ProcessResult RunTool(std::vector<std::string> args) {
  args.insert(args.begin(), pvtest::ProgramPath("bin/pvobjects"));
  pvtest::ProcessResult r = pvtest::Run(args, {}, 60000);
  r.out = pvtest::WithoutCr(r.out);
  return r;
}

// Another process (pvobjects, again and again) sets A while this one reads A
// and writes B through the library: both see every update, and neither the
// library nor a plain read of the file ever meets a half-written store.
TEST_F(EciClientTest, TwoProcessesShareTheStore) {
  pvtest::WriteFileBytes(path_, "[objects]\nA = int 0\nB = int 0\nC = text x\n");
  const int kToolWrites = 40;
  std::string errors;
  std::atomic<bool> done{false};
  std::jthread tool([&] {
    for (int i = 1; i <= kToolWrites; ++i) {
      try {  // an exception on this thread would end the test program
        const pvtest::ProcessResult r = RunTool({path_, "set", "A", std::to_string(i)});
        if (r.exit_code != 0) errors += "set " + std::to_string(i) + " failed: " + r.err;
      } catch (const std::exception& e) {
        errors += e.what();
      }
    }
    done = true;
  });

  uint16_t a = Number("A"), b = Number("B");
  int32_t last_a = 0, writes = 0;
  while (!done) {
    DoValue v;
    ASSERT_EQ(DoGetValue(a, &v), 0) << EciLastError();
    EXPECT_GE(v.lval, last_a);
    last_a = v.lval;
    DoValue next = DoLong(++writes);
    ASSERT_EQ(DoAppSetValue(b, &next), 0) << EciLastError();
    std::string text;
    ASSERT_TRUE(pv::ReadWholeFile(path_, &text).ok());
    StoreDocument doc;
    pv::Status st = StoreDocument::Parse(text, &doc);
    ASSERT_TRUE(st.ok()) << st.ToString();
    ASSERT_EQ(doc.size(), 3u);
    EXPECT_GE(doc.Object(b).value.i, writes);
  }
  tool.join();
  EXPECT_EQ(errors, "");
  DoValue v;
  ASSERT_EQ(DoGetValue(a, &v), 0);
  EXPECT_EQ(v.lval, kToolWrites);
  ASSERT_EQ(DoGetValue(b, &v), 0);
  EXPECT_EQ(v.lval, writes);
  EXPECT_GT(writes, 0);
}

// The pvobjects command: output, messages and exit codes.
TEST(PvObjectsTest, ListGetSetAddClockAndErrors) {
  pvtest::TempDir dir;
  const std::string store = dir.File("plant1.do");
  pvtest::WriteFileBytes(store, "[objects]\n$SHUTDOWN = int 0\n$MOGB = float 1.5\nID = text a b\n");
  std::string out, err;
  auto run = [&](const std::vector<std::string>& args) {
    const pvtest::ProcessResult r = RunTool(args);
    out = r.out;
    err = r.err;
    return r.exit_code;
  };
  ASSERT_EQ(run({store, "set", "$SHUTDOWN", "1"}), 0) << err;
  ASSERT_EQ(run({store, "set", "ID", "new id"}), 0) << err;
  ASSERT_EQ(run({store, "add", "EXTRA", "float", "-0.25"}), 0) << err;
  EXPECT_EQ(out, "4\n");
  ASSERT_EQ(run({store, "add", "EMPTY", "text"}), 0) << err;
  ASSERT_EQ(run({store, "get", "ID"}), 0);
  EXPECT_EQ(out, "new id\n");
  ASSERT_EQ(run({store, "list"}), 0);
  EXPECT_EQ(out,
            "1 $SHUTDOWN = int 1\n2 $MOGB = float 1.5\n3 ID = text new id\n"
            "4 EXTRA = float -0.25\n5 EMPTY = text \n");

  // Errors: a message, an exit code, and the store unchanged.
  const std::string before = pvtest::ReadFileBytes(store);
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* message;
  } cases[] = {
      {{store}, 1, "usage: pvobjects FILE list"},
      {{store, "remove", "ID"}, 1, "usage:"},
      {{dir.File("none.do"), "list"}, 2, "none.do: "},
      {{store, "get", "NOPE"}, 3, "no object \"NOPE\""},
      {{store, "set", "NOPE", "1"}, 3, "no object \"NOPE\""},
      {{store, "add", "ID", "text", "x"}, 3, "object \"ID\" exists already"},
      {{store, "set", "$SHUTDOWN", "1.5"}, 4, "$SHUTDOWN (int): \"1.5\" is not a 32-bit integer"},
      {{store, "set", "$MOGB", "abc"}, 4, "$MOGB (float): \"abc\" is not a finite 32-bit float"},
      {{store, "add", "X", "long", "1"}, 4, "type \"long\" is not int, float or text"},
      {{store, "add", "A B", "int", "1"}, 4, "contains a blank"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.args), c.code) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.message << ": " << err;
  }
  EXPECT_EQ(pvtest::ReadFileBytes(store), before);

  // The server clock, frozen in 2040 (past 2^31 seconds: unsigned PcTime).
  // (The library's clock running from the real one: the end-to-end tests.)
  pvtest::WriteFileBytes(store, "[clock]\nstart = 2040-01-01T00:00:00Z\nstarted_at = 0\nrate = 0\n"
                                 "local_offset = 3600\n");
  ASSERT_EQ(run({store, "clock"}), 0) << err;
  EXPECT_EQ(out, "UT 2040-01-01T00:00:00Z (2208988800)\nLT 2040-01-01 01:00:00 (2208992400)\n");
}

}  // namespace
