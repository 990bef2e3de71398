// Archive updates that fail while libzip writes or renames the new archive,
// made the POSIX way: a file-size limit (setrlimit) stands in for a full
// disk, and the archive libzip holds open is renamed aside for a directory
// to take its name (Windows renames no open file). Built on Linux only.
#include <signal.h>
#include <sys/resource.h>

#include "tests/app/app_test_util.h"

namespace {

TEST(ZipPosixFaultsTest, FailedWriteAndRenameKeepTheArchiveAndClearTheTemp) {
  ASSERT_NE(XceedZipInitDLL(), 0);
  pvtest::TempDir dir;
  const std::string zip = dir.File("20071203.zip");
  const std::string first = dir.File("1203_07h.dbf");
  const std::string big = dir.File("1203_15h.dbf");
  pvtest::WriteFileBytes(first, pvtest::TableLikeBytes(2000, 1));
  pvtest::WriteFileBytes(big, pvtest::TableLikeBytes(100000, 2));
  ASSERT_EQ(pvtest::ZipUpdate(zip, first, "code"), kXzSuccess);
  const std::string before = pvtest::ReadFileBytes(zip);

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{before.size() + 4096, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const int32_t full = pvtest::ZipUpdate(zip, big, "code");
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  EXPECT_EQ(full, kXzErrWriteFailed);
  EXPECT_EQ(pvtest::ReadFileBytes(zip), before);
  EXPECT_EQ(pvtest::LeftoverTempFiles(dir.Path(), "20071203.zip"), 0);

  const XzSeams real = XzTestSeams();
  XzTestSeams().before_commit = [](const std::string& archive) {
    ASSERT_EQ(std::rename(archive.c_str(), (archive + ".aside").c_str()), 0);
    ASSERT_TRUE(std::filesystem::create_directory(archive));
  };
  EXPECT_EQ(pvtest::ZipUpdate(zip, big, "code"), kXzErrReplaceFailed);
  XzTestSeams() = real;
  EXPECT_EQ(pvtest::LeftoverTempFiles(dir.Path(), "20071203.zip"), 0);
  ASSERT_TRUE(std::filesystem::remove(zip));
  EXPECT_EQ(pvtest::ReadFileBytes(zip + ".aside"), before);
  XceedZipShutdownDLL();
}

}  // namespace
