// The real packvault executable: usage failure, the log file, and the ways
// the main loop ends (ESC from a pipe, "/ESC", SIGTERM and SIGINT; ESC on a
// terminal: E2eArchiveTest.RegularCheckThenEscapeOnTerminal).
#include <cstdio>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tests/app/e2e_install.h"
#include "tests/support/test_util.h"

namespace {

std::string Shell(const std::string& cmd, int* status) {
  std::string out;
  *status = pvtest::RunCommand(cmd, &out);
  return out;
}

// An installation whose store clock stands in 2030, where the plant has no records.
struct Install : e2e::Installation {
  Install() { WriteStore("2030-01-01T10:00:00Z", 1); }
  // "cd work && env ... packvault <args>" with the debug log switched on.
  std::string Command(const std::string& args) const {
    return "(cd '" + Dir("work") + "' && PACKVAULT_DEBUG_FILE=100000 ZRLOGFILEDIR='" + Dir("work") +
           "' LC_ALL=C.UTF-8 timeout --foreground -s KILL 30 " + Exe() + " " + args + ")";
  }
  std::string Exe() const { return Dir("bin") + "/packvault"; }
  std::string Log() const { return pvtest::ReadFileBytes(Dir("work") + "/Packvault.log"); }
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

TEST(PackvaultTest, EscEndsUnlessSlashEscInAnyCaseButSigtermAndSigintAlways) {
  Install in;
  // The pipe delivers ESC at once, then its end (no more keys); only the
  // signal ends the run. It is sent once the log shows the loop about to
  // start (the stop handlers are installed before that).
  for (const char* sig : {"TERM", "INT"}) {
    const std::string log = in.Dir("work") + "/Packvault.log";
    std::remove(log.c_str());
    int status = -1;
    std::string out = Shell("printf '\\033' | " + in.Command("plant1 /ESC") +
                                " & pid=$!; for i in $(seq 600); do grep -qs 'ESC disabled' '" + log +
                                "' && break; sleep 0.1; done; kill -" + sig + " $(pgrep -f '^" + in.Exe() +
                                " plant1 /ESC' | head -1); wait $pid",
                            &status);
    EXPECT_EQ(status, 0) << sig << ": " << out;
    EXPECT_NE(out.find("ESC disabled\n"), std::string::npos) << out;
    EXPECT_TRUE(std::regex_search(out, kOrderlyEnd)) << out;
  }

  // "/d", or "/Esc" as one of three arguments (not looked at): ESC through a
  // pipe ends the run after other keys are passed over (one key a pass:
  // KeyboardTest).
  for (const char* args : {"plant1 /d", "plant1 /Esc extra"}) {
    int status = -1;
    std::string out = Shell("printf 'ab\\033' | " + in.Command(args), &status);
    EXPECT_EQ(status, 0) << args << ": " << out;
    EXPECT_TRUE(std::regex_search(out, kOrderlyEnd)) << out;
    EXPECT_EQ(out.find("ESC disabled"), std::string::npos) << out;
  }
}

}  // namespace
