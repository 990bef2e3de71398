// Helpers for all test binaries: fixture paths, scratch directories, files.
#ifndef PV_TESTS_SUPPORT_TEST_UTIL_H_
#define PV_TESTS_SUPPORT_TEST_UTIL_H_

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pvtest {

// Absolute path of a file below tests/data, e.g. FixturePath("plant/n1000/_ARCHIVE.dbf").
std::string FixturePath(const std::string& relative);

// Absolute path of a file in the build tree, e.g. BinaryPath("bin/pvdbf").
std::string BinaryPath(const std::string& relative);

// A fresh, empty directory that is removed with everything in it when the
// object goes out of scope. Path() ends without a separator.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// The file helpers below stop the current test on error: they throw, naming
// the path and the system's reason, and GoogleTest reports the exception as
// the test's failure (a helper that returned empty bytes would only move the
// failure somewhere harder to read, or crash).

// Copies a file. The copy is writable.
void CopyFile(const std::string& from, const std::string& to);

// Reads a whole file into a string (binary).
std::string ReadFileBytes(const std::string& path);

// Writes a string to a file (binary), replacing it.
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Index of the field called `name` (ASCII case ignored, as the engine compares
// field names) among `fields`, whose elements have a `name` member; -1 if none.
template <typename FieldT>
int32_t FindField(const std::vector<FieldT>& fields, std::string_view name) {
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string& n = fields[i].name;
    bool same = n.size() == name.size();
    for (size_t k = 0; same && k < n.size(); ++k) {
      same = std::toupper(static_cast<unsigned char>(n[k])) ==
             std::toupper(static_cast<unsigned char>(name[k]));
    }
    if (same) return static_cast<int32_t>(i);
  }
  return -1;
}

}  // namespace pvtest

#endif  // PV_TESTS_SUPPORT_TEST_UTIL_H_
