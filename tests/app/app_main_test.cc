// The real packvault executable: usage failure, the log file, and the ways
// the main loop ends (ESC from a pipe, "/ESC", SIGTERM and SIGINT; ESC on a
// terminal: E2eArchiveTest.EscapeOnTerminal).
// Processes are started through the shell; the program runs from a copy in a
// scratch installation (bin/ with kestrel.ini, work/ with the project store).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tests/app/zip_test_util.h"
#include "tests/support/test_util.h"

namespace {

namespace fs = std::filesystem;

// Runs a shell command; its standard output, and its exit code in *status.
std::string Shell(const std::string& cmd, int* status = nullptr) {
  std::string out;
  const int code = pvtest::RunCommand(cmd, &out);
  if (status != nullptr) *status = code;
  return out;
}

class Install {
 public:
  Install() {
    for (const char* d : {"bin", "work", "archive", "project"}) fs::create_directory(Dir(d));
    pvtest::CopyFile(pvtest::BinaryPath("bin/packvault"), Dir("bin") + "/packvault");
    fs::permissions(Dir("bin") + "/packvault", fs::perms::owner_exec, fs::perm_options::add);
    // A complete configuration, so the run gets past start-up whatever the
    // copiers and the server link check there.
    for (const char* ext : {".dbf", ".cdx"}) {
      pvtest::CopyFile(pvtest::FixturePath(std::string("plant/n1000/_DCLOG") + ext),
                       Dir("project") + "/_DCLOG" + ext);
    }
    pvtest::WriteFileBytes(Dir("bin") + "/kestrel.ini",
                           "[Packvault]\r\nMoDrv=" + Dir("archive") + "/\r\nWriteInterval=8\r\n"
                           "CheckTimeInterval=1\r\nDbf_1=_DCLOG\r\nPath_1=" + Dir("project") +
                           "/\r\nErrorObjId=ARCHIVE_ERR\r\nProjectObjId=PROJECT_ID\r\n");
    pvtest::WriteFileBytes(Dir("work") + "/proj.do",
                           "[objects]\n$SHUTDOWN = int 0\n$MOFULL = int 0\n$MOGB = float 0\n"
                           "$MOPROCENT = int 0\n$PACKVAULT = text code\nARCHIVE_ERR = int 0\n"
                           "PROJECT_ID = text Plant\n");
  }
  std::string Dir(const std::string& name) const { return root_.Path() + "/" + name; }
  // "cd work && env ... packvault <args>" with the debug log switched on.
  std::string Command(const std::string& args) const {
    return "(cd '" + Dir("work") + "' && PACKVAULT_DEBUG_FILE=100000 ZRLOGFILEDIR='" + Dir("work") +
           "' LC_ALL=C.UTF-8 timeout --foreground -s KILL 30 " + Exe() + " " + args + ")";
  }
  std::string Exe() const { return Dir("bin") + "/packvault"; }
  std::string Log() const { return pvtest::ReadFileBytes(Dir("work") + "/Packvault.log"); }

 private:
  pvtest::TempDir root_;
};

// The end after ESC or a stop request: the forced run of the interval in
// progress, then the release.
const std::regex kOrderlyEnd(
    "End program due to ESC or shutdown flag\nForced Zip: Last written [^\n]*\n"
    "(Date changed\n)?(Starting 2 write data from [^\n]*\n   Timespan from [^\n]*\n"
    "   No data found in dbf: [^\n]*\n)*Finished updating archives [0-9]{8}\nExit App\n");

const std::string kPrefix = R"([0-9.e+]+ [0-9]{17} P=[0-9a-f]+ T=[0-9a-f]+ E=-?[0-9]+: )";

TEST(PackvaultTest, NoArgumentGivesUsageExitOneAndTheLog) {
  Install in;
  int status = -1;
  std::string out = Shell(in.Command("") + " </dev/null 2>/dev/null", &status);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(^Packvault version [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+\n)")))
      << out;
  EXPECT_NE(out.find("\nFAILURE: Usage: 'Packvault <projectfile> [/d]'\nExit App\n"), std::string::npos)
      << out;
  std::string log = in.Log();
  EXPECT_TRUE(std::regex_search(log, std::regex("^" + kPrefix + "\\*{70}\r\n"))) << log;
  EXPECT_TRUE(std::regex_search(
      log, std::regex(kPrefix + "ERROR: Usage: 'Packvault <projectfile> \\[/d\\]'\r\n" + kPrefix + "Exit App\r\n")))
      << log;
}

// Other keys before ESC are passed over (one key a pass: KeyboardTest).
TEST(PackvaultTest, EscThroughAPipeEndsAfterOtherKeys) {
  Install in;
  int status = -1;
  std::string out = Shell("printf 'ab\\033' | " + in.Command("proj /d"), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(std::regex_search(out, kOrderlyEnd)) << out;
  EXPECT_EQ(out.find("ESC disabled"), std::string::npos);
}

TEST(PackvaultTest, SlashEscInAnyCaseDisablesEscButSigtermAndSigintStillEnd) {
  Install in;
  // The pipe delivers ESC at once, then its end (no more keys); only the
  // signal ends the run. It is sent once the log shows the loop about to
  // start (the stop handlers are installed before that).
  for (const char* sig : {"TERM", "INT"}) {
    const std::string log = in.Dir("work") + "/Packvault.log";
    std::remove(log.c_str());
    int status = -1;
    std::string out = Shell("printf '\\033' | " + in.Command("proj /ESC") +
                                " & pid=$!; for i in $(seq 600); do grep -qs 'ESC disabled' '" + log +
                                "' && break; sleep 0.1; done; kill -" + sig + " $(pgrep -f '^" + in.Exe() +
                                " proj /ESC' | head -1); wait $pid",
                            &status);
    EXPECT_EQ(status, 0) << sig << ": " << out;
    EXPECT_NE(out.find("ESC disabled\n"), std::string::npos) << out;
    EXPECT_TRUE(std::regex_search(out, kOrderlyEnd)) << out;
  }

  // Three arguments: "/Esc" is not looked at, ESC ends the run.
  int status = -1;
  std::string out = Shell("printf '\\033' | " + in.Command("proj /Esc extra"), &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("ESC disabled"), std::string::npos) << out;
}

}  // namespace
