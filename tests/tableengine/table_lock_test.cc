// Concurrent appends with real processes (bin/dbf_worker) on one table file
// (a record lock held by another process: the persistence tests'
// TableTest.LockHeldElsewhereMakesWriteFailAfterTheTimeout).
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tableengine/engine_api.h"
#include "tests/support/test_util.h"
#include "tests/tableengine/plant_layouts.h"

namespace pv {
namespace {

int RunWorker(const std::string& args) {
  return std::system((pvtest::BinaryPath("bin/dbf_worker") + " " + args).c_str());
}

std::string CreateArchiveTable(const pvtest::TempDir& dir) {
  EngineContext ctx;
  FieldList f;
  TagList unused;
  pvtest::ArchiveLayout(&f, &unused);
  Table* t = Table::Create(&ctx, dir.File("_ARCHIVE"), f);
  EXPECT_NE(t, nullptr);
  EXPECT_EQ(t->Close(), 0);
  return dir.File("_ARCHIVE.dbf");
}

// Two writers append at once while a reader walks the table: no record is
// lost or written twice, the header count is right, the reader sees only
// blank (just appended) or whole records.
TEST(TableLockTest, ConcurrentAppendsAndReader) {
  pvtest::TempDir dir;
  const std::string path = CreateArchiveTable(dir);
  const int kEach = 2000;
  std::vector<int> results(3, -1);
  std::thread w1([&] { results[0] = RunWorker("append " + path + " " + std::to_string(kEach) + " W1"); });
  std::thread w2([&] { results[1] = RunWorker("append " + path + " " + std::to_string(kEach) + " W2"); });
  std::thread rd([&] { results[2] = RunWorker("read " + path + " 1500"); });
  w1.join();
  w2.join();
  rd.join();
  EXPECT_EQ(results, (std::vector<int>{0, 0, 0}));

  EngineContext ctx;
  Table* t = Table::Open(&ctx, path);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->RecordCount(), 2 * kEach);
  std::vector<int> next(3, 1);  // per writer, the next STS expected
  for (int32_t r = t->Top(); r == 0; r = t->Skip(1)) {
    const int writer = std::atoi(t->FieldAt(1)->Text().c_str() + 1);
    ASSERT_TRUE(writer == 1 || writer == 2) << t->RecordNumber();
    EXPECT_EQ(t->FieldAt(4)->Long(), next[writer]++);  // each writer's records in its order
    EXPECT_EQ(t->FieldAt(3)->Double(), writer * 1e6 + t->FieldAt(4)->Long());
  }
  EXPECT_EQ(next[1], kEach + 1);
  EXPECT_EQ(next[2], kEach + 1);
  const std::string bytes = pvtest::ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), 161u + 2u * kEach * 60 + 1);
  EXPECT_EQ(bytes.back(), '\x1A');
  EXPECT_EQ(t->Close(), 0);
}

}  // namespace
}  // namespace pv
