// Starting other programs from a test the same way on every platform: the
// build's own tools and helper executables (pvdbf, plantsim, foundation_child ...)
// and the machine's tools that check our output independently (7z, unzip,
// python3). No shell stands between the test and the program, so there is
// no quoting or redirection syntax to differ between sh and cmd.
//
// A child's standard input comes from a file and its outputs go to files
// (never pipes): a test can neither deadlock on a full pipe nor lose output
// when it kills the child.
#ifndef PV_TESTS_SUPPORT_PROCESS_RUNNER_H_
#define PV_TESTS_SUPPORT_PROCESS_RUNNER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pvtest {

// What a finished program left. exit_code is -1 when it did not end by itself
// (killed at the timeout, or by a signal).
struct ProcessResult {
  int exit_code = -1;
  std::string out;
  std::string err;
  bool timed_out = false;
};

// Runs argv[0] (a path, or a name found on PATH; on Windows ".exe" may be
// left off) with the other elements as its arguments, each passed exactly as
// given. `input` is its whole standard input. It runs in working_dir (empty:
// the test's own). Waits at most timeout_ms, then kills it. Throws when the
// program cannot be started.
ProcessResult Run(const std::vector<std::string>& argv, const std::string& input = {},
                  int32_t timeout_ms = 300000, const std::string& working_dir = {});

// A program running in the background. Its standard input is empty (or the
// file `input_file`); its outputs are appended to out_file / err_file, or
// discarded when those are empty. It runs in working_dir (empty: the test's
// own; the file names are taken from the test's). A child still running when the object goes
// is killed, so a failed assertion leaves no stray process behind.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv, const std::string& out_file = {},
                 const std::string& err_file = {}, const std::string& input_file = {},
                 const std::string& working_dir = {});
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The OS's process id.
  int64_t Id() const { return id_; }
  bool Running();
  // Waits up to timeout_ms for the end: its exit code (-1 when killed or
  // ended by a signal), or nothing while it still runs.
  std::optional<int> Wait(int32_t timeout_ms);
  // Ends it at once, as a crash or a power cut would (SIGKILL,
  // TerminateProcess), and waits for it to be gone.
  void Kill();

 private:
  int64_t id_ = 0;
  void* handle_ = nullptr;  // the Windows process handle
  std::optional<int> exit_code_;
};

// The machine's own tools: 7z, unzip, python3. Like Run, except under wine,
// where they are the Linux host's programs (wine starts those detached, so
// they run through /bin/sh with their outputs and exit code in files that
// are waited for). Paths among the arguments must go through HostPath.
ProcessResult RunHostTool(const std::vector<std::string>& argv, const std::string& input = {},
                          int32_t timeout_ms = 300000);

// A path as the machine's own tools name it: the path itself, except under
// wine, where "C:\..." or "Z:/..." becomes the host's Unix path.
std::string HostPath(const std::string& path);

// A program's text output with each "\r\n" as "\n": Windows programs write
// their lines with CR LF.
std::string WithoutCr(std::string text);

// The path of a program of the build, e.g. ProgramPath("bin/pvdbf"), with
// ".exe" on Windows.
std::string ProgramPath(const std::string& relative);

}  // namespace pvtest

#endif  // PV_TESTS_SUPPORT_PROCESS_RUNNER_H_
