// The platform-independent half of the process runner: Run on top of Child.
#include "tests/support/process_runner.h"

#include <stdexcept>

#include "tests/support/test_util.h"

namespace pvtest {

ProcessResult Run(const std::vector<std::string>& argv, const std::string& input,
                  int32_t timeout_ms, const std::string& working_dir) {
  TempDir dir;
  WriteFileBytes(dir.File("in"), input);
  ProcessResult result;
  {
    Child child(argv, dir.File("out"), dir.File("err"), dir.File("in"), working_dir);
    std::optional<int> code = child.Wait(timeout_ms);
    if (!code) {
      child.Kill();
      result.timed_out = true;
    }
    result.exit_code = code.value_or(-1);
  }
  result.out = ReadFileBytes(dir.File("out"));
  result.err = ReadFileBytes(dir.File("err"));
  return result;
}

std::string WithoutCr(std::string text) {
  size_t to = 0;
  for (size_t from = 0; from < text.size(); ++from) {
    if (text[from] == '\r' && from + 1 < text.size() && text[from + 1] == '\n') continue;
    text[to++] = text[from];
  }
  text.resize(to);
  return text;
}

}  // namespace pvtest
