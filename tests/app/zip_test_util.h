// Helpers of the archive tests: running the independent ZIP tools, table-like
// test bytes, and looking for temporary files beside an archive.
#ifndef PV_TESTS_APP_ZIP_TEST_UTIL_H_
#define PV_TESTS_APP_ZIP_TEST_UTIL_H_

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/platform/file.h"

namespace pvtest {

// Runs a shell command; its standard output goes to *out when given, its
// standard error is dropped. The command's exit code, or -1.
inline int RunCommand(const std::string& command, std::string* out) {
  FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
  if (p == nullptr) return -1;
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int status = pclose(p);
  if (out != nullptr) *out = text;
  return (status >= 0 && (status & 0x7f) == 0) ? ((status >> 8) & 0xff) : -1;
}

// A soft limit on the size of files this process writes, standing in for a
// full disk: writes beyond it fail with EFBIG. Lifted again by Clear or the
// destructor.
class FileSizeLimit {
 public:
  FileSizeLimit() { getrlimit(RLIMIT_FSIZE, &saved_); }
  ~FileSizeLimit() { Clear(); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  void Set(uint64_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{bytes, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &rl);
  }
  void Clear() { setrlimit(RLIMIT_FSIZE, &saved_); }

 private:
  rlimit saved_{};
};

// n records of a fixed-width, plant-log-like text: compressible like the real
// tables but different per seed, so a member's bytes identify it.
inline std::string TableLikeBytes(uint32_t records, uint32_t seed) {
  std::string bytes;
  bytes.reserve(records * 48u);
  uint32_t x = seed * 2654435761u + 1u;
  char line[64];
  for (uint32_t i = 0; i < records; ++i) {
    x = x * 1103515245u + 12345u;
    std::snprintf(line, sizeof line, " POINT%05u            20071203%06u%12.4f%11u",
                  (x >> 8) % 4000u, i % 240000u, static_cast<double>(x % 100000u) / 7.0,
                  x % 17u);
    bytes += line;
  }
  return bytes;
}

// The member names of an archive as 7z lists them with the code; the whole
// listing goes to *listing when given.
inline std::vector<std::string> ZipMembers(const std::string& zip, const std::string& code,
                                           std::string* listing = nullptr) {
  std::string text;
  RunCommand("7z l -slt -p'" + code + "' '" + zip + "'", &text);
  if (listing != nullptr) *listing = text;
  std::vector<std::string> members;
  const size_t start = text.find("\n----------\n");
  size_t pos = start == std::string::npos ? text.size() : start;
  while ((pos = text.find("\nPath = ", pos)) != std::string::npos) {
    pos += 8;
    members.push_back(text.substr(pos, text.find('\n', pos) - pos));
  }
  return members;
}

// A member's bytes as 7z extracts them with the code ("" when it fails).
inline std::string ZipMemberBytes(const std::string& zip, const std::string& member,
                                  const std::string& code) {
  std::string out;
  return RunCommand("7z x -so -p'" + code + "' '" + zip + "' '" + member + "'", &out) == 0
             ? out
             : std::string();
}

// How many files in dir look like libzip's temporary files of archive_name
// (archive_name + "." + six characters).
inline int LeftoverTempFiles(const std::string& dir, const std::string& archive_name) {
  std::vector<std::string> names;
  if (!pv::ListDirectory(dir, &names).ok()) return 0;
  int count = 0;
  for (const std::string& n : names) {
    if (n.size() == archive_name.size() + 7 && n.compare(0, archive_name.size(), archive_name) == 0 &&
        n[archive_name.size()] == '.') {
      ++count;
    }
  }
  return count;
}

}  // namespace pvtest

#endif  // PV_TESTS_APP_ZIP_TEST_UTIL_H_
