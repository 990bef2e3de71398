// Table access: opening (creation, rebuild, hopeless paths), positioning,
// walking, adding with reuse of deleted records, counting and locking.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "foundation/platform/file.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_debug_output.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_seek.h"
#include "tableengine/lock_protocol.h"
#include "tests/persist/persist_test_tables.h"
#include "tests/support/test_util.h"

namespace {

constexpr uint32_t kT0 = 1112620029;  // 2005-04-04 13:07:09

ZrString TimeKey(uint32_t pcTime) {
  ZrString key;
  ZrpTableAddTimeSeek(key, pcTime);
  return key;
}

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override { Open(base_); }
  void TearDown() override { base_.Close(); }

  void Open(ZrpBase& base) { base.Open("TableTest", (dir_.Path() + "/").c_str(), false, false); }

  // Adds records at kT0 + 10 * i for i = 1..n, with points P1..Pn and value i.
  static void AddRecords(LogTable& t, int n, const char* point = nullptr) {
    for (int i = 1; i <= n; ++i) {
      t.time = kT0 + 10 * static_cast<uint32_t>(i);
      t.point = point != nullptr ? ZrString(point) : ZrString("P%d", i);
      t.value = i;
      ASSERT_TRUE(t.Add(nullptr));
    }
  }

  pvtest::TempDir dir_;
  ZrpBase base_;
};

// Search and Skip in tag order: exact and soft search, both ends, the
// records of one key, interleaved iterators, an iterator without a tag.
TEST_F(TableTest, SearchAndSkipInTagOrder) {
  LogTable t(&base_);
  AddRecords(t, 3, "SAME");  // times +10, +20, +30
  t.time = kT0;
  t.point = "OTHER";
  t.value = 0;
  ASSERT_TRUE(t.Add(nullptr));  // record 4, first in time order
  ZrpTableIterator it;
  EXPECT_TRUE(t.Search("TIME", TimeKey(kT0 + 20), it, false));
  EXPECT_EQ(it, 2);
  EXPECT_EQ(t.value, 2);  // read automatically
  EXPECT_STREQ(it.Tag(), "TIME");
  // No exact match: unchanged without soft, the next greater key with it.
  EXPECT_FALSE(t.Search("TIME", TimeKey(kT0 + 25), it, false));
  EXPECT_EQ(it, 2);
  EXPECT_TRUE(t.Search("TIME", TimeKey(kT0 + 25), it, true));
  EXPECT_EQ(it, 3);
  // Past the end: soft stands on the last record and still fails.
  it = 1;
  EXPECT_FALSE(t.Search("TIME", TimeKey(kT0 + 99), it, false));
  EXPECT_EQ(it, 1);
  EXPECT_FALSE(t.Search("TIME", TimeKey(kT0 + 99), it, true));
  EXPECT_EQ(it, 3);
  EXPECT_EQ(t.value, 3);
  EXPECT_FALSE(t.Search("NOSUCH", "x", it, true));

  ASSERT_TRUE(t.Top(it, "TIME", nullptr));
  EXPECT_EQ(it, 4);
  EXPECT_FALSE(t.Skip(it, -1));
  EXPECT_EQ(it, 0);
  EXPECT_FALSE(t.Skip(it, 1));  // from 0: fails at once
  ASSERT_TRUE(t.Bottom(it, "TIME"));
  EXPECT_EQ(it, 3);
  EXPECT_FALSE(t.Skip(it, 1));
  EXPECT_EQ(it, 0);
  int walked = 0;
  for (t.Top(it, "POINT", "SAME"); it != 0; t.Skip(it, 1)) {
    EXPECT_STREQ(t.point, "SAME");
    ++walked;
  }
  EXPECT_EQ(walked, 3);
  ZrpTableIterator other;
  ASSERT_TRUE(t.Top(it, "TIME", nullptr));
  ASSERT_TRUE(t.Bottom(other, "TIME"));
  EXPECT_TRUE(t.Skip(it, 1));
  EXPECT_TRUE(t.Skip(other, -1));
  EXPECT_EQ(it, 1);
  EXPECT_EQ(other, 2);
  ZrpTableIterator untagged;
  untagged = 1;
  EXPECT_FALSE(t.Skip(untagged, 1));
  EXPECT_EQ(untagged, 0);
}

TEST_F(TableTest, AddReusesTheLowestDeletedRecordAndRemoves) {
  LogTable t(&base_);
  AddRecords(t, 10);
  ZrpTableIterator it;
  it.SetTag("TIME");
  for (int32_t recNo : {7, 3, 5}) {
    it = recNo;
    ASSERT_TRUE(t.Remove(it));
  }
  EXPECT_EQ(t.GetCount(), 7);
  EXPECT_EQ(t.GetCount(nullptr, nullptr), 10);
  EXPECT_EQ(t.GetCount("TIME", nullptr), 7);
  EXPECT_EQ(t.GetCount("__FREE", nullptr), 3);
  EXPECT_TRUE(t.IsDeleted(it));

  t.time = kT0 + 1000;
  t.point = "NEW";
  t.value = 0;  // blank before the new values: no old value survives
  ZrpTableIterator added;
  added.SetTag("POINT");
  ASSERT_TRUE(t.Add(added));
  EXPECT_EQ(added, 3);
  EXPECT_EQ(t.GetCount(nullptr, nullptr), 10);  // the file did not grow
  EXPECT_EQ(t.GetCount(), 8);
  EXPECT_EQ(t.GetCount("POINT", "NEW"), 1);
  t.Reset();
  ASSERT_TRUE(t.Read(added));
  EXPECT_EQ(t.time, kT0 + 1000);
  EXPECT_EQ(t.value, 0);
  EXPECT_FALSE(t.IsDeleted(added));

  // Raw images are taken as they are.
  std::string image(t.GetRecordWidth(), ' ');
  ASSERT_TRUE(t.ReadRecord(image.data(), added));
  ASSERT_TRUE(t.Add(image.data()));
  EXPECT_EQ(t.GetCount("POINT", "NEW"), 2);
  EXPECT_TRUE(t.AddIfUnique("POINT", "NEWER"));
  EXPECT_FALSE(t.AddIfUnique("POINT", "NEW"));

  // Removing by key, then every record of the filtered, descending tag
  // (values >= 100 only), then every record.
  const int32_t count = t.GetCount();
  EXPECT_TRUE(t.Remove("POINT", "P2"));
  EXPECT_FALSE(t.Remove("POINT", "P2"));
  EXPECT_EQ(t.GetCount(), count - 1);
  t.value = 100;
  ASSERT_TRUE(t.Add(nullptr));
  EXPECT_EQ(t.GetCount("BIG", nullptr), 1);
  EXPECT_TRUE(t.RemoveAll("BIG", nullptr));
  EXPECT_EQ(t.GetCount(), count - 1);
  EXPECT_TRUE(t.RemoveAll());
  EXPECT_EQ(t.GetCount(), 0);
  EXPECT_FALSE(t.Top(it, "TIME", nullptr));
}

TEST_F(TableTest, MissingTableStaysHopelessAndReadOnlyRefusesChanges) {
  LogTable t(&base_, "LOG", 10, /*createAdjust=*/false);
  ZrpTableIterator it;
  EXPECT_FALSE(t.Search("TIME", "x", it, true));
  EXPECT_FALSE(pv::PathExists(dir_.File("LOG.dbf")));

  // The file appears later (another database creates it): still hopeless here.
  {
    ZrpBase other;
    Open(other);
    LogTable creator(&other);
    ASSERT_TRUE(creator.Add(nullptr));
  }
  EXPECT_FALSE(t.Top(it, "TIME", nullptr));
  EXPECT_FALSE(t.Add(nullptr));
  EXPECT_EQ(t.GetCount(), 0);
  EXPECT_EQ(t.GetRecordBuffer(), nullptr);
  EXPECT_TRUE(base_.IsHopeless((std::string(base_.GetDir()) + "LOG").c_str()));

  // A fresh database object tries again.
  ZrpBase fresh;
  Open(fresh);
  LogTable again(&fresh, "LOG", 10, false);
  EXPECT_EQ(again.GetCount(), 1);

  // A read-only database reads and refuses every change.
  ZrpBase readOnly;
  readOnly.Open("ReadOnly", (dir_.Path() + "/").c_str(), false, true);
  LogTable r(&readOnly);
  EXPECT_EQ(r.GetCount(), 1);
  EXPECT_FALSE(r.Add(nullptr));
  ASSERT_TRUE(r.Top(it, "TIME", nullptr));
  EXPECT_FALSE(r.Write(it));
  EXPECT_FALSE(r.Remove(it));
  EXPECT_EQ(r.GetCount(), 1);
}

// Same fields as LogTable but one more tag than the file's index holds.
class LogWithExtraTag : public LogTable {
 public:
  using LogTable::LogTable;

 protected:
  void ZrpTableXChg(ZrpTableInfo* info) override {
    LogTable::ZrpTableXChg(info);
    ZrpTableTag(info, "VALUE", "STR(VALUE,8,0)", nullptr, false, false);
  }
};

TEST_F(TableTest, DifferentFieldWidthRebuildsTheTableAMissingTagDoesNot) {
  {
    ZrpBase old;
    Open(old);
    LogTable t(&old, "LOG", 10);
    AddRecords(t, 3, "ABCDEFGHIJ");
    ZrpTableIterator it;
    it.SetTag("TIME");
    it = 2;
    ASSERT_TRUE(t.Remove(it));
  }
  LogTable narrow(&base_, "LOG", 6);
  EXPECT_EQ(narrow.GetCount(nullptr, nullptr), 2);  // the deleted record is gone
  pv::Table* table = narrow.GetTable();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->FieldByName("POINT")->Width(), 6);
  EXPECT_FALSE(pv::PathExists(dir_.File("__DBTEMP.dbf")));

  ZrpTableIterator it;
  int walked = 0;
  for (narrow.Top(it, "TIME", nullptr); it != 0; narrow.Skip(it, 1)) {
    EXPECT_STREQ(narrow.point, "ABCDEF");
    EXPECT_NE(narrow.value, 2);
    ++walked;
  }
  EXPECT_EQ(walked, 2);
  EXPECT_TRUE(narrow.Search("POINT", "ABCDEF", true));  // the index was rebuilt
  EXPECT_EQ(narrow.GetCount("__FREE", nullptr), 0);

  // One more tag declared than the index holds: the index is kept as it is.
  ZrpBase other;
  Open(other);
  LogWithExtraTag extra(&other, "LOG", 6);
  EXPECT_TRUE(extra.Search("TIME", TimeKey(kT0 + 30), false));
  EXPECT_FALSE(extra.Search("VALUE", "       3", false));
}

TEST_F(TableTest, LockHeldElsewhereMakesWriteFailAfterTheTimeout) {
  LogTable t(&base_, "LOG", 10, true, /*lockTimeout=*/600);
  AddRecords(t, 2);
  t.Flush();
  const std::string ready = dir_.File("ready"), release = dir_.File("release");
  std::thread holder([&] {
    std::string command = pvtest::BinaryPath("bin/dbf_worker") + " hold " + dir_.File("LOG") +
                          " 1 " + ready + " " + release;
    EXPECT_EQ(std::system(command.c_str()), 0);
  });
  // The worker gives up its lock after 60 s: wait as long for it to take it.
  for (int i = 0; i < 6000 && !pv::PathExists(ready); ++i) pv::SleepMillis(10);
  ASSERT_TRUE(pv::PathExists(ready));
  // The holder's lock is on the record's lock byte.
  std::unique_ptr<pv::File> probe;
  ASSERT_TRUE(pv::OpenFile(dir_.File("LOG.dbf"), pv::OpenOptions(), &probe).ok());
  EXPECT_TRUE(probe->LockRange(pv::RecordLockByte(1), 1, pv::LockKind::kShared, pv::LockWait::kNoWait).IsBusy());

  ZrpTableIterator it;
  ASSERT_TRUE(t.Top(it, "TIME", nullptr));
  ASSERT_EQ(it, 1);
  ZrDebugOutput::SetTestMode(true);
  ZrDebugOutput::ResetTestModeCounters();
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(t.Write(it));
  auto waited = std::chrono::steady_clock::now() - start;
  uint32_t reports = ZrDebugOutput::GetErrorOutputCount();
  ZrDebugOutput::SetTestMode(false);
  EXPECT_EQ(reports, 1u);
  EXPECT_GE(waited, std::chrono::milliseconds(600));

  // Another record is free.
  it = 2;
  EXPECT_TRUE(t.Write(it));
  pvtest::WriteFileBytes(release, "");
  holder.join();
  it = 1;
  EXPECT_TRUE(t.Write(it));
  // A new lock request releases the other record locks; the table lock is free.
  pv::Table* table = t.GetTable();
  ASSERT_EQ(table->LockRecord(2), 0);
  ASSERT_EQ(table->LockRecord(1), 0);
  EXPECT_FALSE(table->RecordLocked(2));
  EXPECT_EQ(table->LockTable(), 0);
  EXPECT_EQ(table->Unlock(), 0);
}

}  // namespace
