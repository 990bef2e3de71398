// Helpers shared by all test binaries: fixture paths and scratch directories.
#ifndef PV_TESTS_SUPPORT_TEST_UTIL_H_
#define PV_TESTS_SUPPORT_TEST_UTIL_H_

#include <string>

namespace pvtest {

// Absolute path of a file below ../shared/fixtures, e.g. FixturePath("plant/n1000/_ARCHIVE.dbf").
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

// Copies a file; fails the current test on error. The copy is writable.
void CopyFile(const std::string& from, const std::string& to);

// Reads a whole file into a string (binary); fails the current test on error.
std::string ReadFileBytes(const std::string& path);

// Writes a string to a file (binary), replacing it.
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace pvtest

#endif  // PV_TESTS_SUPPORT_TEST_UTIL_H_
