// Child processes on POSIX: posix_spawnp with the standard handles opened on
// files, waitpid for the end.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "tests/support/process_runner.h"
#include "tests/support/test_util.h"

extern char** environ;

namespace pvtest {
namespace {

void AddOpen(posix_spawn_file_actions_t* actions, int fd, const std::string& path, int flags) {
  const char* name = path.empty() ? "/dev/null" : path.c_str();
  posix_spawn_file_actions_addopen(actions, fd, name, flags, 0644);
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::string& out_file,
             const std::string& err_file, const std::string& input_file,
             const std::string& working_dir) {
  if (argv.empty()) throw std::invalid_argument("Child: no program");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  AddOpen(&actions, 0, input_file, O_RDONLY);
  AddOpen(&actions, 1, out_file, O_WRONLY | O_CREAT | O_APPEND);
  AddOpen(&actions, 2, err_file, O_WRONLY | O_CREAT | O_APPEND);
  if (!working_dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, working_dir.c_str());
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  id_ = pid;
}

Child::~Child() {
  if (!exit_code_) Kill();
}

bool Child::Running() { return !Wait(0); }

std::optional<int> Child::Wait(int32_t timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!exit_code_) {
    int status = 0;
    const pid_t got = waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
    if (got == static_cast<pid_t>(id_)) {
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else if (got < 0 && errno != EINTR) {
      exit_code_ = -1;  // not our child any more: nothing left to wait for
    } else if (std::chrono::steady_clock::now() >= until) {
      return std::nullopt;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return exit_code_;
}

void Child::Kill() {
  if (exit_code_) return;
  kill(static_cast<pid_t>(id_), SIGKILL);
  int status = 0;
  while (waitpid(static_cast<pid_t>(id_), &status, 0) < 0 && errno == EINTR) {
  }
  exit_code_ = -1;
}

ProcessResult RunHostTool(const std::vector<std::string>& argv, const std::string& input,
                          int32_t timeout_ms) {
  return Run(argv, input, timeout_ms);
}

std::string HostPath(const std::string& path) { return path; }

std::string ProgramPath(const std::string& relative) { return BinaryPath(relative); }

}  // namespace pvtest
