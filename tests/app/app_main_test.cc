// The real packvault executable: usage failure, the log file, the ways the
// main loop ends (ESC from standard input, "/ESC", SIGTERM and SIGINT, ESC on
// a terminal), and an end-to-end archive run on a terminal.
//
// The archive run: plant tables filled by plantsim, driven by the object
// store's accelerated clock, in 2040, with one-hour intervals. (The members'
// records: PvarchiveTest through an independent reader, E2eRecoveryTest
// through the engine; stops in the middle of runs: E2eRecoveryTest.)
#include <regex>

#include "tests/app/app_test_util.h"
#include "tests/foundation/scoped_env.h"

namespace {

using e2e::Installation;

// An installation whose store clock stands in 2030, where the plant has no
// records; packvault runs with the debug log switched on.
struct Install : e2e::Installation {
  Install() { WriteStore("2030-01-01T10:00:00Z", 1); }
  // Runs packvault in ROOT/work with args and the keys of input to its end
  // (killed after 30 s).
  pvtest::ProcessResult Packvault(std::vector<std::string> args, const std::string& input) {
    args.insert(args.begin(), Exe());
    pvtest::ProcessResult r = pvtest::Run(args, input, 30000, Dir("work"));
    r.out = pvtest::WithoutCr(r.out);
    return r;
  }
  std::string Log() const { return pvtest::ReadFileBytes(Dir("work") + "/Packvault.log"); }

  ScopedEnv debug_log{"PACKVAULT_DEBUG_FILE", "100000"};  // inherited by packvault
  ScopedEnv log_dir{"ZRLOGFILEDIR", Dir("work").c_str()};
};

// The end after ESC or a stop request: the forced run of the interval in
// progress, then the release.
const std::regex kOrderlyEnd(
    "End program due to ESC or shutdown flag\nForced Zip: Last written [^\n]*\n"
    "(Date changed\n)?(Starting 2 write data from [^\n]*\n   Timespan from [^\n]*\n"
    "   No data found in dbf: [^\n]*\n)*Finished updating archives [0-9]{8}\nExit App\n");

const std::string kPrefix = R"([0-9.e+]+ [0-9]{17} P=[0-9a-f]+ T=[0-9a-f]+ E=-?[0-9]+: )";

// Without an argument: the usage, exit code 1 and the log. With "/d", or
// "/Esc" as one of three arguments (not looked at), ESC from standard input
// ends the run after other keys are passed over (one key a pass: KeyboardTest).
TEST(PackvaultTest, UsageAndEscFromStandardInput) {
  Install in;
  pvtest::ProcessResult r = in.Packvault({}, "");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(^Packvault version [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+\n)")))
      << r.out;
  EXPECT_NE(r.out.find("\nFAILURE: Usage: 'Packvault <projectfile> [/d]'\nExit App\n"), std::string::npos)
      << r.out;
  const std::string log = in.Log();  // (its banner: ZrDebugOutputTest.BannerPrefixedCrLfLinesAndWrapInPlace)
  EXPECT_TRUE(std::regex_search(
      log, std::regex(kPrefix + "ERROR: Usage: 'Packvault <projectfile> \\[/d\\]'\r\n" + kPrefix + "Exit App\r\n")))
      << log;

  for (const std::vector<std::string>& args : {std::vector<std::string>{"plant1", "/d"}, {"plant1", "/Esc", "extra"}}) {
    r = in.Packvault(args, "ab\x1b");
    EXPECT_EQ(r.exit_code, 0) << args[1] << ": " << r.out;
    EXPECT_TRUE(std::regex_search(r.out, kOrderlyEnd)) << r.out;
    EXPECT_EQ(r.out.find("ESC disabled"), std::string::npos) << r.out;
  }
}

// With "/ESC", ESC from standard input is passed over; only the signal ends
// the run. It is sent once the log shows the loop about to start (the stop
// handlers are installed before that).
TEST(PackvaultTest, SigtermAndSigintEndTheRunAlsoWithEscDisabled) {
  Install in;
  const std::string keys = in.Dir("keys");
  pvtest::WriteFileBytes(keys, "\x1b");
  for (const char* sig : {"-TERM", "-INT"}) {
    const std::string log = in.Dir("work") + "/Packvault.log";
    std::filesystem::remove(log);
    in.ClearRun();
    in.Start({"plant1", "/ESC"}, keys);
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return std::filesystem::exists(log) && in.Log().find("ESC disabled") != std::string::npos; }, 30));
    ASSERT_TRUE(e2e::RunOk({"kill", sig, std::to_string(in.Process().Id())}));
    EXPECT_EQ(in.Process().Wait(30000), 0) << sig << ": " << in.Console();
    EXPECT_NE(in.Console().find("ESC disabled\n"), std::string::npos) << in.Console();
    EXPECT_TRUE(std::regex_search(in.Console(), kOrderlyEnd)) << in.Console();
  }
}

// The clock crosses 11:00 while packvault runs; the regular check archives
// 10:00-10:59:59.999. An arrow key (an ESC sequence) then does not end the
// run; ESC does, and its forced run archives the interval in progress, 11:00
// onwards. The terminal's line mode is restored afterwards.
TEST(E2eArchiveTest, RegularCheckThenEscapeOnTerminal) {
  Installation inst;
  ASSERT_TRUE(inst.Plantsim("--fill 1800 --from 2040-01-01T09:30:00Z --to 2040-01-01T11:30:00Z --seed 7 "
                             "--delete-share 0.05 --local-offset 3600"));
  inst.WriteStore("2040-01-01T10:59:00Z", 2);
  inst.StartOnTerminal();

  // The first check comes after 60 one-second passes, at about 11:01 UT.
  ASSERT_TRUE(inst.ConsoleHas("Finished updating archives 20400101\n", 150)) << inst.Console();
  inst.PressKey("Up");
  EXPECT_FALSE(inst.ConsoleHas("exit code ", 2)) << "an arrow key ended the program";
  bool ended = false;
  for (int attempt = 0; attempt < 5 && !ended; ++attempt) {
    inst.PressKey("Escape");
    ended = inst.ConsoleHas("exit code ", 10);
  }
  const std::string console = inst.Console();
  ASSERT_NE(console.find("\nexit code 0\n"), std::string::npos) << console;
  EXPECT_TRUE(std::regex_search(console, std::regex(R"((^|\s)icanon(\s|$))"))) << console;
  EXPECT_TRUE(std::regex_search(console, std::regex(R"((^|\s)echo(\s|$))"))) << console;

  EXPECT_NE(console.find("Time 2 Zip\n"), std::string::npos);
  EXPECT_NE(console.find("Forced Zip: Last written 0000000020400101110000000"), std::string::npos);
  EXPECT_EQ(console.find("FAILURE: "), std::string::npos) << console;

  for (const std::string kind : {"_DCLOG", "_ARCHIVE", "_EVENTLOG"}) {
    const std::string dir = inst.Dir("archive") + "/" + kind + "/";
    EXPECT_EQ(pvtest::ZipMembers(dir + "20400101.zip", e2e::kProjectCode),
              (std::vector<std::string>{"0101_10h.dbf", "0101_11h.dbf"}))
        << kind;
    // The project id once, then a line per run; LT is the plant's local clock
    // (UT + 1 h) at the run, minus an hour: both runs come between 11:00 and 12:00 UT.
    const std::string line = std::string(1, '\0') + "UT: 0101_1";
    EXPECT_EQ(pvtest::ReadFileBytes(dir + "20400101.txt"),
              std::string(e2e::kProjectId) + "\r\n" + line + "0h LT: 0101_11h\r\n" + line + "1h LT: 0101_11h\r\n" + '\0')
        << kind;
  }
  inst.CheckNothingLeft({inst.Dir("project") + "/"});

  // No archive error, so the error object keeps its value; the destination's
  // disk usage is published (its values: EciObjectsTest.PublishesDiskUsageOfTheDestination).
  EXPECT_EQ(inst.Object("ARCHIVE_ERR"), "99\n");
  EXPECT_NE(inst.Object("$MOPROCENT"), "-1\n");
}

}  // namespace
