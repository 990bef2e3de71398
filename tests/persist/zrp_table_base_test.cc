// The persistence layer on disk: table access (opening with creation,
// rebuild and hopeless paths, positioning, walking, adding with reuse of
// deleted records, the bounded append, counting and locking), the database
// directory, and the declaration layer. (The layer on a failing file system:
// zrp_fault_test.cc, which runs on a replaced file system holding every file
// of a database.)
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "foundation/platform/file.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_debug_output.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_seek.h"
#include "tableengine/lock_protocol.h"
#include "tests/persist/persist_test_tables.h"
#include "tests/support/process_runner.h"
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
  // No exact match: unchanged without soft, the next greater key with it.
  EXPECT_FALSE(t.Search("TIME", TimeKey(kT0 + 25), it, false));
  EXPECT_EQ(it, 2);
  EXPECT_TRUE(t.Search("TIME", TimeKey(kT0 + 25), it, true));
  EXPECT_EQ(it, 3);
  // Past the end: soft stands on the last record and still fails.
  EXPECT_FALSE(t.Search("TIME", TimeKey(kT0 + 99), it, true));
  EXPECT_EQ(it, 3);
  EXPECT_EQ(t.value, 3);
  EXPECT_FALSE(t.Search("NOSUCH", "x", it, true));

  ASSERT_TRUE(t.Top(it, "TIME", nullptr));
  EXPECT_EQ(it, 4);
  EXPECT_FALSE(t.Skip(it, -1));
  EXPECT_EQ(it, 0);
  EXPECT_FALSE(t.Skip(it, 1));  // from 0: fails at once
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
  EXPECT_EQ(t.GetCount("TIME", nullptr), 7);
  EXPECT_EQ(t.GetCount("__FREE", nullptr), 3);

  t.time = kT0 + 1000;
  t.point = "NEW";
  t.value = 0;  // blank before the new values: no old value survives
  ZrpTableIterator added;
  added.SetTag("POINT");
  ASSERT_TRUE(t.Add(added));
  EXPECT_EQ(added, 3);
  EXPECT_EQ(t.GetCount(nullptr, nullptr), 10);  // the file did not grow
  EXPECT_EQ(t.GetCount(), 8);
  t.Reset();
  ASSERT_TRUE(t.Read(added));
  EXPECT_EQ(t.time, kT0 + 1000);
  EXPECT_EQ(t.value, 0);

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
  EXPECT_TRUE(base_.IsHopeless((std::string(base_.GetDir()) + "LOG").c_str()));

  // A fresh database object tries again; a read-only one reads and refuses
  // every change.
  ZrpBase readOnly;
  readOnly.Open("ReadOnly", (dir_.Path() + "/").c_str(), false, true);
  LogTable r(&readOnly, "LOG", 10, false);
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
    ASSERT_TRUE(t.Remove("TIME", TimeKey(kT0 + 20)));
  }
  LogTable narrow(&base_, "LOG", 6);
  ASSERT_NE(narrow.GetTable(), nullptr);
  EXPECT_EQ(narrow.GetTable()->FieldByName("POINT")->Width(), 6);
  // The deleted record is gone; the others are cut to the new width, and
  // the index is rebuilt.
  EXPECT_EQ(narrow.GetCount(nullptr, nullptr), 2);
  EXPECT_EQ(narrow.GetCount("POINT", "ABCDEF"), 2);
  EXPECT_FALSE(narrow.Search("TIME", TimeKey(kT0 + 20), false));
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
  pvtest::Child holder({pvtest::ProgramPath("bin/dbf_worker"), "hold", dir_.File("LOG"), "1", ready, release});
  // The worker gives up its lock after 60 s: wait as long for it to take it.
  for (int i = 0; i < 6000 && !pv::PathExists(ready); ++i) pv::SleepMillis(10);
  ASSERT_TRUE(pv::PathExists(ready));
  // The holder's lock is on the record's lock byte.
  std::unique_ptr<pv::File> probe;
  ASSERT_TRUE(pv::OpenFile(dir_.File("LOG.dbf"), pv::OpenOptions(), &probe).ok());
  EXPECT_TRUE(probe->LockRange(pv::RecordLockByte(1), 1, pv::LockKind::kShared, pv::LockWait::kNoWait).IsBusy());

  ZrpTableIterator it;
  ASSERT_TRUE(t.Top(it, "TIME", nullptr));  // record 1
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
  EXPECT_EQ(holder.Wait(60000), 0);
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

// The bounded append: append below the bound, recycle or overwrite the
// oldest at it, and refuse a key that the tag already holds.
class RingBufferTest : public TableTest {
 protected:
  // Adds a record with time t through the ring buffer; returns it (0 when
  // the key exists: the call still succeeds).
  int32_t Put(uint32_t t, int32_t maxRecords) {
    table_.time = t;
    table_.value = static_cast<int32_t>(t - 1000000000u);
    table_.point = ZrString("P%d", table_.value);
    ZrpTableIterator it;
    EXPECT_TRUE(table_.AddToRingBuffer("TIME", maxRecords, it, nullptr));
    return it.RecNo();
  }

  // The times of the records not deleted, in time order.
  std::string Times() {
    std::string times;
    ZrpTableIterator it;
    for (table_.Top(it, "TIME", nullptr); it != 0; table_.Skip(it, 1)) {
      times += std::to_string(table_.time - 1000000000u) + " ";
    }
    return times;
  }

  LogTable table_{&base_};
};

constexpr uint32_t T(uint32_t n) { return 1000000000u + n; }

// An existing key leaves the table unchanged; a new one at the bound
// recycles a deleted record or overwrites the record holding the earliest
// time.
TEST_F(RingBufferTest, ExistingKeyUnchangedNewKeyRecyclesOrOverwritesTheOldest) {
  EXPECT_EQ(Put(T(20), 3), 1);
  EXPECT_EQ(Put(T(10), 3), 2);

  // Below the bound: the appended record goes back to the free list.
  EXPECT_EQ(Put(T(20), 3), 0);
  EXPECT_EQ(Times(), "10 20 ");
  EXPECT_EQ(table_.GetCount(), 2);
  EXPECT_EQ(table_.GetCount("__FREE", nullptr), 1);

  // At the bound the free record is recycled first, and refused again.
  EXPECT_EQ(Put(T(10), 3), 0);
  EXPECT_EQ(table_.GetCount("__FREE", nullptr), 1);
  EXPECT_EQ(Put(T(30), 3), 3);
  EXPECT_EQ(Times(), "10 20 30 ");

  // Overwriting: the oldest record keeps its content when the key exists.
  EXPECT_EQ(Put(T(30), 3), 0);
  EXPECT_EQ(Times(), "10 20 30 ");
  ZrpTableIterator it;
  ASSERT_TRUE(table_.Top(it, "TIME", nullptr));
  EXPECT_EQ(table_.value, 10);

  EXPECT_EQ(Put(T(40), 3), 2);  // the record that held the earliest time
  EXPECT_EQ(Times(), "20 30 40 ");
  EXPECT_EQ(table_.GetCount(nullptr, nullptr), 3);
  ASSERT_TRUE(table_.Search("TIME", "20010909014720", it, false));  // T(40)
  EXPECT_EQ(table_.value, 40);
  EXPECT_STREQ(table_.point, "P40");

  // Deleted records count towards the bound: below it the call appends
  // although a deleted record exists; at it the deleted record is recycled
  // before any overwrite.
  ASSERT_TRUE(table_.Top(it, "TIME", nullptr));
  ASSERT_TRUE(table_.Remove(it));  // 20, record 1
  EXPECT_EQ(Put(T(50), 10), 4);
  EXPECT_EQ(Put(T(60), 4), 1);
  EXPECT_EQ(table_.GetCount(nullptr, nullptr), 4);
  EXPECT_EQ(Times(), "30 40 50 60 ");

  // Raw images work as well.
  std::string image(table_.GetRecordWidth(), ' ');
  ASSERT_TRUE(table_.Top(it, "TIME", nullptr));
  ASSERT_TRUE(table_.ReadRecord(image.data(), it));
  image.replace(1, 14, "20010909014800");  // T(80)
  EXPECT_EQ(table_.AddToRingBuffer("TIME", 4, image.data()), true);
  EXPECT_EQ(Times(), "40 50 60 80 ");

  // An unknown tag cannot give an oldest record.
  EXPECT_FALSE(table_.AddToRingBuffer("NOSUCH", 4, nullptr));
  EXPECT_EQ(Times(), "40 50 60 80 ");
}

// The database directory: registry, lock brackets, table paths and the
// object tables.
// The first database of a name is registered, and closing either of two
// removes the name; the directory is kept upper-cased, while the file layer
// finds the real directory and a table keeps its declared name. The first
// creates the object tables, the second finds them.
TEST_F(TableTest, RegistryDirectoryTablePathsAndObjectTables) {
  const std::string path = dir_.Path() + "/";
  ZrpBase first, second;
  EXPECT_EQ(ZrpBase::_GetBase("SrcArchive0"), nullptr);
  ASSERT_TRUE(first.Open("SrcArchive0", path.c_str(), true, false));
  for (const char* file : {"__ID.dbf", "__ROOT.dbf", "__ROOT.cdx", "__OBJ.dbf", "__OBJ.cdx",
                           "__OBJ.fpt"}) {
    EXPECT_TRUE(pv::PathExists(dir_.File(file))) << file;
  }
  EXPECT_FALSE(pv::PathExists(dir_.File("__ID.cdx")));
  EXPECT_TRUE(second.Open("SrcArchive0", path.c_str(), true, false));
  EXPECT_TRUE(second.IsUsingObjTables());
  EXPECT_EQ(ZrpBase::_GetBase("SrcArchive0"), &first);
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_STREQ(first.GetDir(), upper.c_str());

  LogTable a(&first, "MixedCase");
  LogTable b(&second, "B");
  ASSERT_TRUE(a.Add(nullptr));
  EXPECT_TRUE(b.Add(nullptr));
  EXPECT_TRUE(pv::PathExists(dir_.File("MixedCase.dbf")));
  EXPECT_TRUE(pv::PathExists(dir_.File("MixedCase.cdx")));
  pv::Table* shared = nullptr;
  EXPECT_TRUE(first.SearchTable(ZrString("MixedCase"), shared));
  EXPECT_EQ(shared, a.GetTable());
  EXPECT_FALSE(first.SearchTable(ZrString("MIXEDCASE"), shared));

  second.Close();
  EXPECT_EQ(ZrpBase::_GetBase("SrcArchive0"), nullptr);
  EXPECT_FALSE(second.IsOpen());
  first.Close();
}

TEST_F(TableTest, BracketsReleaseLocksOnlyWhenTheOutermostEnds) {
  LogTable t(&base_);
  ASSERT_TRUE(t.Add(nullptr));
  pv::Table* table = t.GetTable();

  base_.TxnStart();
  base_.TxnStart();
  ASSERT_TRUE(t.WaitForLock(1));
  EXPECT_TRUE(base_.TxnEnd(true));
  EXPECT_TRUE(table->RecordLocked(1));
  EXPECT_TRUE(base_.TxnEnd(false));
  EXPECT_FALSE(table->RecordLocked(1));

  // An unbalanced end is reported once and changes nothing.
  ZrDebugOutput::SetTestMode(true);
  ZrDebugOutput::ResetTestModeCounters();
  EXPECT_TRUE(base_.TxnEnd(true));
  EXPECT_EQ(ZrDebugOutput::GetDebugOutputCount(), 1u);
  ZrDebugOutput::SetTestMode(false);
  base_.TxnStart();
  ASSERT_TRUE(t.WaitForLock(1));
  base_.TxnEnd(true);
  EXPECT_FALSE(table->RecordLocked(1));
}

// The declaration layer: every field kind in all five exchange modes, the
// bytes each kind stores, tags, and the seek-key builders.
class XchgTest : public TableTest {
 protected:
  void Fill(AllKindsTable& t) {
    t.text = "  word  ";
    t.flag = true;
    t.number = -1234;
    t.count = 4000000000u;  // above 2^31: stored unsigned
    t.amount = 12.5;
    t.ratio = 1.236;
    t.stamp = t.shortStamp = ZrTime(2005, 4, 4, 13, 7, 9, 45);
    t.pcTime = 2208988800u;  // 2040-01-01 00:00:00, above 2^31
    t.id64 = 0x0123456789ABCDEFull;
    t.hexSigned = -2;
    t.hexUnsigned = 0xBEEF;
  }
};

// The stored text of every kind, read by an independent reader: a filled
// record, the record Reset leaves (every variable emptied; the null time is
// stars), and the filled record read back and added again (Read restores
// every variable: only the surrounding blanks of a text are not kept).
TEST_F(XchgTest, IndependentReaderSeesTheStoredValues) {
  AllKindsTable t(&base_);
  Fill(t);
  ZrpTableIterator it;
  it.SetTag("TEXT");
  ASSERT_TRUE(t.Add(it));
  t.Reset();
  ASSERT_TRUE(t.Add(nullptr));
  ASSERT_TRUE(t.Read(it));
  ASSERT_TRUE(t.Add(nullptr));
  base_.Close();

  const std::string script =
      "import dbfread,sys\n"
      "t=dbfread.DBF(sys.argv[1],char_decode_errors='replace')\n"
      "print(','.join('%s:%s%d.%d'%(x.name,x.type,x.length,x.decimal_count) for x in t.fields))\n"
      "for r in t: print('|'.join(str(v) for v in r.values()))\n";
  const pvtest::ProcessResult dump =
      pvtest::RunHostTool({"/usr/bin/python3", "-", pvtest::HostPath(dir_.File("ALLKINDS.dbf"))}, script);
  ASSERT_EQ(dump.exit_code, 0) << dump.err;
  EXPECT_EQ(dump.out,
            "TEXT:C12.0,FLAG:C1.0,NUMBER:N11.0,COUNT:N10.0,AMOUNT:N12.3,RATIO:C8.0,"
            "STAMP:C25.0,SSTAMP:C17.0,PCTIME:C14.0,ID64:C16.0,HEXS:C8.0,HEXU:C8.0\n"
            "  word|T|-1234|4000000000|12.5|1.24|0000000020050404130709045|20050404130709045|"
            "20400101000000|0123456789ABCDEF|FFFFFFFE|0000BEEF\n"
            "|F|0|0|0.0|0.00|*************************|*****************|19700101000000|"
            "0000000000000000|00000000|00000000\n"
            "word|T|-1234|4000000000|12.5|1.24|0000000020050404130709045|20050404130709045|"
            "20400101000000|0123456789ABCDEF|FFFFFFFE|0000BEEF\n");
}

// Foreign or damaged texts put into the record directly.
TEST_F(XchgTest, ForeignAndDamagedTextsRead) {
  AllKindsTable t(&base_);
  Fill(t);
  ZrpTableIterator it;
  it.SetTag("TEXT");
  ASSERT_TRUE(t.Add(it));
  pv::Table* table = t.GetTable();
  ASSERT_EQ(table->LockRecord(it.RecNo()), 0);
  table->FieldByName("FLAG")->AssignText("t");
  table->FieldByName("PCTIME")->AssignText("");
  table->FieldByName("HEXU")->AssignText("0000BEEG");
  table->FieldByName("HEXS")->AssignText("00 1");
  table->FieldByName("ID64")->AssignText("0123456789abcdef");
  table->FieldByName("STAMP")->AssignText("0000000020050404");  // too short
  table->FieldByName("SSTAMP")->AssignText("");
  ASSERT_EQ(table->Unlock(), 0);
  t.pcTime = 7;
  ASSERT_TRUE(t.Read(it));
  EXPECT_FALSE(t.flag);  // only an upper-case T is true
  EXPECT_EQ(t.pcTime, 0u);
  EXPECT_EQ(t.hexUnsigned, 0xFFFFFFFFu);
  EXPECT_EQ(t.hexSigned, -1);
  EXPECT_EQ(t.id64, 0x0123456789ABCDEFull);  // lower-case digits read too
  EXPECT_TRUE(t.stamp.IsNull());  // not null before the read
  EXPECT_TRUE(t.shortStamp.IsNull());

  table->LockRecord(it.RecNo());
  table->FieldByName("ID64")->AssignText("0123456789ABCDEX");
  ASSERT_TRUE(t.Read(it));
  EXPECT_EQ(t.id64, ~0ull);
  table->Unlock();
}

TEST(ZrpTableTagTest, FiltersUniqueAndChildTags) {
  pv::Table* none = nullptr;
  ZrpTableInfo info(none, XchgDefine);
  ZrpTableTag(&info, "A", "UT+GUID", "LEVEL>2", true, true);
  ZrpChildTableTag(&info, "B", "NAME", nullptr, true, false);
  ZrpChildTableTag(&info, "C", "NAME", "", false, false);
  const auto& tags = info.tags.tags();
  ASSERT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags[0].filter, "(LEVEL>2).AND.(.NOT. DELETED())");
  EXPECT_EQ(tags[0].unique, pv::UniqueMode::kUniqueSilent);
  EXPECT_TRUE(tags[0].descending);
  EXPECT_EQ(tags[1].expression, "__P+NAME");
  EXPECT_EQ(tags[1].filter, ".NOT. DELETED()");
  EXPECT_EQ(tags[1].unique, pv::UniqueMode::kUniqueError);
  EXPECT_EQ(tags[2].filter, "");
}

TEST(ZrpTableAddSeekTest, KeysMatchTheStoredForms) {
  ZrString key;
  ZrpTableAddSeek(key, ZrString("ab"), 4);
  ZrpTableAddSeek(key, ZrString("abcdef"), 3);
  ZrpTableAddSeek(key, int32_t{-12}, 5);
  ZrpTableAddSeek(key, uint32_t{7}, 3);
  ZrpTableAddSeek(key, 2.5, 6, 2);
  ZrpTableAddSeek(key, true, 1);
  ZrpTableAddTimeSeek(key, 1112620029u);
  EXPECT_STREQ(key, "ab  abc  -12  7  2.50T20050404130709");

  ZrString hex;
  ZrpTableAddHexSeek(hex, uint64_t{0xABCull});
  ZrpTableAddHexSeek(hex, int32_t{-1});
  ZrpTableAddHexSeek(hex, uint32_t{0x1F});
  ZrpTableAddSeek(hex, ZrTime(), true);
  EXPECT_STREQ(hex, "0000000000000ABCFFFFFFFF0000001F*************************");

  ZrString tooWide;
  ZrpTableAddSeek(tooWide, int32_t{123456}, 3);
  EXPECT_STREQ(tooWide, "***");
}

}  // namespace
