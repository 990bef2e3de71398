#include "tests/support/test_util.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pvtest {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& reason) {
  throw std::runtime_error(what + ": " + reason);
}

}  // namespace

std::string FixturePath(const std::string& relative) {
  return std::string(PV_FIXTURES_DIR) + "/" + relative;
}

std::string BinaryPath(const std::string& relative) {
  return std::string(PV_BINARY_DIR) + "/" + relative;
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / ("pvtest-" + std::to_string(stamp) + "-" +
                                 std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

void CopyFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) Fail("cannot copy " + from + " to " + to, ec.message());
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
  if (ec) Fail("cannot make " + to + " writable", ec.message());
}

std::string ReadFileBytes(const std::string& path) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in.good()) Fail("cannot open " + path, std::strerror(errno));
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) Fail("cannot read " + path, std::strerror(errno));
  return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out.fail()) Fail("cannot write " + path, std::strerror(errno));
}

}  // namespace pvtest
