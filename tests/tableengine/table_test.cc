// Data files created, changed and read back, checked against the bytes in
// the file; record-order positioning; the lock rule for assignments.
#include "tableengine/table.h"

#include <cstring>

#include <gtest/gtest.h>

#include "foundation/platform/file.h"
#include "tests/support/test_util.h"

namespace pv {
namespace {

FieldList ArchiveLayout() {
  FieldList f;
  f.Add("pointid", 'C', 22, 0);
  f.Add("TIME", 'C', 14, 0);
  f.Add("VAL", 'N', 12, 4);
  f.Add("STS", 'N', 11, 0);
  return f;
}

class TableTest : public ::testing::Test {
 protected:
  std::string Bytes(const std::string& name) { return pvtest::ReadFileBytes(dir_.File(name)); }
  pvtest::TempDir dir_;
  EngineContext ctx_;
};

// A new FoxPro 2 header (fields named upper case, displacements filled in),
// then records appended, assigned, deleted and recalled, checked byte by byte.
TEST_F(TableTest, CreateAppendAssignDeleteRecallRoundTrip) {
  Table* t = Table::Create(&ctx_, dir_.File("arch"), ArchiveLayout());
  ASSERT_NE(t, nullptr) << ctx_.ErrorCode();
  EXPECT_EQ(t->FileName(), dir_.File("arch.dbf"));
  std::string b = Bytes("arch.dbf");
  ASSERT_EQ(b.size(), 32u + 4 * 32 + 1 + 1);
  EXPECT_EQ(b[0], 0x03);
  EXPECT_EQ(b.substr(4, 8), std::string("\0\0\0\0\xA1\0\x3C\0", 8));  // 0 records, 161, 60
  EXPECT_EQ(std::string(b.data() + 32, 16), std::string("POINTID\0\0\0\0C\x01\0\0\0", 16));
  EXPECT_EQ(GetLe32(b.data() + 64 + 32 + 12), 37u);
  EXPECT_EQ(b.substr(96 + 16, 2), "\x0C\x04");
  EXPECT_EQ(b.substr(160), "\x0D\x1A");
  EXPECT_EQ(t->Top(), kResultEof);
  ASSERT_EQ(t->AppendBlank(), 0);
  EXPECT_EQ(t->RecordNumber(), 1);
  ASSERT_EQ(t->FieldByName("pointid")->AssignText("AREA01.FIC0001.PV"), 0);
  ASSERT_EQ(t->FieldByName("time")->AssignText("20240101000000XYZ"), 0);  // cut to 14
  ASSERT_EQ(t->FieldByName("VAL")->AssignDouble(-299.35105), 0);
  ASSERT_EQ(t->FieldByName("STS")->AssignLong(2), 0);
  ASSERT_EQ(t->AppendBlank(), 0);  // writes record 1 first
  ASSERT_EQ(t->FieldAt(3)->AssignDouble(123456789.5), 0);  // fits N12.4 with 2 decimals
  ASSERT_EQ(t->FieldAt(4)->AssignDouble(1e12), 0);         // does not fit N11 at all
  ASSERT_EQ(t->Delete(), 0);
  ASSERT_EQ(t->Unlock(), 0);
  EXPECT_EQ(t->RecordCount(), 2);

  b = Bytes("arch.dbf");
  ASSERT_EQ(b.size(), 161u + 2 * 60 + 1);
  EXPECT_EQ(GetLe32(b.data() + 4), 2u);
  EXPECT_EQ(b.substr(161, 60), " AREA01.FIC0001.PV     20240101000000   -299.3511          2");
  EXPECT_EQ(b.substr(221, 60), "*" + std::string(36, ' ') + "123456789.50" + std::string(11, '*'));
  EXPECT_EQ(b.back(), '\x1A');

  ASSERT_EQ(t->Go(1), 0);
  EXPECT_FALSE(t->Deleted());
  EXPECT_DOUBLE_EQ(t->FieldByName("val")->Double(), -299.3511);
  EXPECT_EQ(t->FieldByName("sts")->Long(), 2);
  ASSERT_EQ(t->Go(2), 0);
  EXPECT_TRUE(t->Deleted());
  EXPECT_EQ(t->FieldByName("STS")->Double(), 0);  // overflow reads as 0
  ASSERT_EQ(t->LockRecord(2), 0);
  ASSERT_EQ(t->Recall(), 0);
  ASSERT_EQ(t->Close(), 0);
  b = Bytes("arch.dbf");
  EXPECT_EQ(b[221], ' ');
}

// Assigning needs the record lock; MarkChanged(0) forgets a change; record
// order positioning stops at both ends; appends under the table lock.
TEST_F(TableTest, AssignNeedsLockRecordOrderPositioningAndTableLock) {
  Table* t = Table::Create(&ctx_, dir_.File("t"), ArchiveLayout());
  ASSERT_NE(t, nullptr);
  for (int i = 1; i <= 3; i++) {
    ASSERT_EQ(t->AppendBlank(), 0);
    ASSERT_EQ(t->FieldAt(4)->AssignLong(i), 0);
  }
  ASSERT_EQ(t->Unlock(), 0);
  ASSERT_EQ(t->Go(1), 0);
  EXPECT_EQ(t->FieldAt(1)->AssignText("x"), kErrNotLocked);
  EXPECT_EQ(ctx_.ErrorCode(), kErrNotLocked);
  ctx_.ClearError();
  ASSERT_EQ(t->LockRecord(1), 0);
  ASSERT_EQ(t->FieldAt(1)->AssignText("x"), 0);
  t->MarkChanged(0);
  ASSERT_EQ(t->Unlock(), 0);
  ASSERT_EQ(t->Top(), 0);
  EXPECT_EQ(t->FieldAt(1)->Text(), std::string(22, ' '));
  EXPECT_EQ(t->FieldAt(4)->Long(), 1);
  EXPECT_EQ(t->Skip(2), 0);
  EXPECT_EQ(t->RecordNumber(), 3);
  EXPECT_EQ(t->Skip(1), kResultEof);
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->RecordNumber(), 4);
  ASSERT_EQ(t->Bottom(), 0);
  EXPECT_EQ(t->Skip(-5), kResultBof);
  EXPECT_EQ(t->RecordNumber(), 1);
  EXPECT_EQ(t->Go(9), kResultEntry);

  // Under a table lock, appending keeps the table lock (no header byte is
  // unlocked out of it) and needs no record lock.
  ASSERT_EQ(t->LockTable(), 0);
  ASSERT_EQ(t->AppendBlank(), 0);
  ASSERT_EQ(t->FieldAt(4)->AssignLong(1), 0);
  ASSERT_EQ(t->AppendBlank(), 0);
  EXPECT_TRUE(t->TableLocked());
  std::unique_ptr<File> other;
  ASSERT_TRUE(OpenFile(t->FileName(), OpenOptions(), &other).ok());
  EXPECT_TRUE(other->LockRange(0x7FFFFFFE, 1, LockKind::kShared, LockWait::kNoWait).IsBusy());
  ASSERT_EQ(t->Unlock(), 0);
  EXPECT_TRUE(other->LockRange(0x7FFFFFFE, 1, LockKind::kShared, LockWait::kNoWait).ok());
  ASSERT_EQ(t->Close(), 0);
}

// Appending to a Visual FoxPro table (dbase_31: autoincrement PRODUCTID,
// _NullFlags) in place: the autoincrement value comes from the descriptor,
// which advances; the record count, the end marker and the old records stay
// right.
TEST_F(TableTest, AppendToVisualFoxProTableInPlace) {
  pvtest::CopyFile(pvtest::FixturePath("foxpro/misc/dbase_31.dbf"), dir_.File("p.dbf"));
  const std::string before = Bytes("p.dbf");
  Table* t = Table::Open(&ctx_, dir_.File("P"));
  ASSERT_NE(t, nullptr);
  Field* id = t->FieldByName("productid");
  ASSERT_EQ(t->Go(77), 0);
  const int32_t last_id = id->Long();
  const uint32_t next = GetLe32(before.data() + 32 + 19);
  ASSERT_EQ(static_cast<int32_t>(next), last_id + 1);
  ASSERT_EQ(t->AppendBlank(), 0);
  EXPECT_EQ(id->Long(), last_id + 1);
  ASSERT_EQ(t->FieldByName("PRODUCTNAM")->AssignText("Kaffee"), 0);
  ASSERT_EQ(t->FieldByName("UNITPRICE")->AssignDouble(12.5), 0);  // currency
  ASSERT_EQ(t->Close(), 0);
  const std::string after = Bytes("p.dbf");
  const size_t header = 648, width = 95;
  ASSERT_EQ(after.size(), header + 78 * width + 1);
  EXPECT_EQ(after.compare(header, 77 * width, before, header, 77 * width), 0);  // old records untouched
  EXPECT_EQ(GetLe32(after.data() + 4), 78u);
  EXPECT_EQ(GetLe32(after.data() + 32 + 19), next + 1);
  const char* rec = after.data() + header + 77 * width;
  EXPECT_EQ(GetLe32(rec + 1), next);
  EXPECT_EQ(std::string(rec + 5, 6), "Kaffee");
  int64_t currency;
  std::memcpy(&currency, rec + 1 + 4 + 40 + 4 + 4 + 20, 8);
  EXPECT_EQ(currency, 125000);
  EXPECT_EQ(after.back(), '\x1A');
}

}  // namespace
}  // namespace pv
