// Child processes on Windows: CreateProcessA with inheritable handles of the
// files as its standard handles. Under wine the machine's own tools are Linux
// programs, which wine starts detached (no handle to wait on, no exit code),
// so RunHostTool starts them through /bin/sh and waits for the file the
// shell writes their exit code to.
#include <windows.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "tests/support/process_runner.h"
#include "tests/support/test_util.h"

namespace pvtest {
namespace {

// One argument in the quoting CommandLineToArgvW and the C runtime undo:
// backslashes are literal unless they precede a quote.
void AppendQuoted(const std::string& arg, std::string* line) {
  if (!line->empty()) *line += ' ';
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    *line += arg;
    return;
  }
  *line += '"';
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') backslashes = backslashes * 2 + 1;
    line->append(backslashes, '\\');
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, '\\');
  *line += '"';
}

HANDLE OpenStdHandle(const std::string& path, bool output) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  const char* name = path.empty() ? "NUL" : path.c_str();
  HANDLE h = CreateFileA(name, output ? FILE_APPEND_DATA : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                         output ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("cannot open " + std::string(name) + " for a child: error " +
                             std::to_string(GetLastError()));
  }
  return h;
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::string& out_file,
             const std::string& err_file, const std::string& input_file,
             const std::string& working_dir) {
  if (argv.empty()) throw std::invalid_argument("Child: no program");
  std::string line;
  std::string program = argv[0];
  for (char& c : program) {
    if (c == '/' && program.size() > 1 && program[1] == ':') c = '\\';
  }
  AppendQuoted(program, &line);
  for (size_t i = 1; i < argv.size(); ++i) AppendQuoted(argv[i], &line);

  // Inheritable handles reach every child created meanwhile: one child is
  // created at a time, so none gets another's files.
  static std::mutex create;
  std::lock_guard<std::mutex> lock(create);
  HANDLE in = OpenStdHandle(input_file, false);
  HANDLE out = OpenStdHandle(out_file, true);
  HANDLE err = OpenStdHandle(err_file, true);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  // Under wine a start now and then fails with ERROR_INTERNAL_ERROR when the
  // machine is busy: the new process ended while wine was still setting it
  // up, before the program ran. Such a start is tried again.
  BOOL ok = FALSE;
  DWORD error = ERROR_INTERNAL_ERROR;
  for (int attempt = 0; attempt < 3 && !ok && error == ERROR_INTERNAL_ERROR; ++attempt) {
    ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        working_dir.empty() ? nullptr : working_dir.c_str(), &si, &pi);
    error = ok ? 0 : GetLastError();
  }
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!ok) throw std::runtime_error("cannot start " + line + ": error " + std::to_string(error));
  CloseHandle(pi.hThread);
  handle_ = pi.hProcess;
  id_ = pi.dwProcessId;
}

Child::~Child() {
  if (!exit_code_) Kill();
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}

bool Child::Running() { return !Wait(0); }

std::optional<int> Child::Wait(int32_t timeout_ms) {
  if (exit_code_) return exit_code_;
  HANDLE h = static_cast<HANDLE>(handle_);
  if (WaitForSingleObject(h, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  exit_code_ = GetExitCodeProcess(h, &code) ? static_cast<int>(code) : -1;
  return exit_code_;
}

void Child::Kill() {
  if (exit_code_) return;
  HANDLE h = static_cast<HANDLE>(handle_);
  TerminateProcess(h, 1);
  WaitForSingleObject(h, INFINITE);
  exit_code_ = -1;
}

ProcessResult RunHostTool(const std::vector<std::string>& argv, const std::string& input,
                          int32_t timeout_ms) {
  if (!UnderWine()) return Run(argv, input, timeout_ms);
  TempDir dir;
  WriteFileBytes(dir.File("in"), input);
  const std::string at = HostPath(dir.Path());
  std::vector<std::string> sh = {
      "/bin/sh", "-c",
      "d=$1; shift; \"$@\" < \"$d/in\" > \"$d/out\" 2> \"$d/err\"; echo $? > \"$d/rc.tmp\"; "
      "mv \"$d/rc.tmp\" \"$d/rc\"",
      "sh", at};
  sh.insert(sh.end(), argv.begin(), argv.end());
  { Child starter(sh); starter.Wait(timeout_ms); }
  ProcessResult result;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (GetFileAttributesA(dir.File("rc").c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (std::chrono::steady_clock::now() >= until) {
      result.timed_out = true;  // the host process is not ours to kill
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.exit_code = std::stoi(ReadFileBytes(dir.File("rc")));
  result.out = ReadFileBytes(dir.File("out"));
  result.err = ReadFileBytes(dir.File("err"));
  return result;
}

std::string HostPath(const std::string& path) {
  if (!UnderWine()) return path;
  using ToUnix = char*(CDECL*)(const WCHAR*);
  auto to_unix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring wide(path.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(),
                                    static_cast<int>(wide.size()));
  char* unix_name = to_unix != nullptr && n > 0 ? to_unix(wide.c_str()) : nullptr;
  if (unix_name == nullptr) throw std::runtime_error("no host path for " + path);
  std::string result(unix_name);
  HeapFree(GetProcessHeap(), 0, unix_name);
  return result;
}

std::string ProgramPath(const std::string& relative) { return BinaryPath(relative) + ".exe"; }

}  // namespace pvtest
