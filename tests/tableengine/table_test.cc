// Data and memo files created, changed and read back, checked against the
// bytes in the files; field conversions; record-order positioning; the lock
// rule for assignments; damaged files and failing storage.
#include "tableengine/table.h"

#include <cstring>

#include <gtest/gtest.h>

#include "foundation/platform/file.h"
#include "tableengine/dbf_header.h"
#include "tableengine/engine_api.h"
#include "tableengine/mem_file_system.h"
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
  // The table f with the fields and one blank record.
  Table* Create(const FieldList& fields) {
    Table* t = Table::Create(&ctx_, dir_.File("f"), fields);
    EXPECT_NE(t, nullptr) << ctx_.ErrorCode();
    EXPECT_TRUE(t == nullptr || t->AppendBlank() == 0);
    return t;
  }
  std::string Raw(Field* f) { return std::string(f->Ptr(), static_cast<size_t>(f->Width())); }
  pvtest::TempDir dir_;
  EngineContext ctx_;
};

// A new FoxPro 2 header (fields named upper case, displacements filled in),
// then records appended, assigned, deleted and recalled, checked byte by byte.
TEST_F(TableTest, CreateAppendAssignDeleteRecallRoundTrip) {
  Table* t = Table::Create(&ctx_, dir_.File("arch"), ArchiveLayout());
  ASSERT_NE(t, nullptr) << ctx_.ErrorCode();
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

TEST_F(TableTest, NumbersDatesLogicalsAndConversions) {
  FieldList fl;
  fl.Add("N52", 'N', 5, 2);
  fl.Add("N3", 'N', 3, 0);
  fl.Add("F82", 'F', 8, 2);
  fl.Add("D", 'D', 0, 0);
  fl.Add("L", 'L', 0, 0);
  fl.Add("C8", 'C', 8, 0);
  Table* t = Create(fl);
  ASSERT_NE(t, nullptr);
  Field* n52 = t->FieldByName("n52");
  Field* n3 = t->FieldByName("N3");
  Field* f82 = t->FieldByName("F82");
  Field* d = t->FieldByName("D");
  Field* l = t->FieldByName("L");
  Field* c8 = t->FieldByName("C8");
  struct {
    Field* field;
    double value;
    const char* stored;
  } cases[] = {
      {n52, 1.005, " 1.01"}, {n52, -1.5, "-1.50"},  {n52, 99.999, "100.0"}, {n52, 12345, "12345"},
      {n52, 123456, "*****"}, {n52, -0.001, " 0.00"}, {n3, 2.5, "  3"},      {n3, -2.5, " -3"},
      {n3, -999, "***"},      {f82, 1e-3, "    0.00"}, {n52, 123.456, "123.5"}, {n52, 12345.6, "12346"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.field->AssignDouble(c.value), 0);
    EXPECT_EQ(Raw(c.field), c.stored) << c.field->Name() << " " << c.value;
  }
  ASSERT_EQ(n3->AssignLong(-42), 0);
  EXPECT_EQ(n3->Long(), -42);
  ASSERT_EQ(d->AssignLong(2451545), 0);  // Julian day of 2000-01-01
  EXPECT_EQ(Raw(d), "20000101");
  EXPECT_EQ(d->Long(), 2451545);
  ASSERT_EQ(l->AssignLong(7), 0);
  EXPECT_EQ(Raw(l), "T");
  ASSERT_EQ(c8->AssignText("ABCDEFGHIJ"), 0);
  EXPECT_EQ(Raw(c8), "ABCDEFGH");
  ASSERT_EQ(c8->AssignField(*n3), 0);  // number -> its text, left-aligned
  EXPECT_EQ(Raw(c8), "-42     ");
  ASSERT_EQ(c8->AssignText("  17.25"), 0);
  ASSERT_EQ(n52->AssignField(*c8), 0);  // text -> number
  EXPECT_EQ(Raw(n52), "17.25");
  ASSERT_EQ(n3->AssignField(*n52), 0);
  EXPECT_EQ(Raw(n3), " 17");
  ASSERT_EQ(l->AssignField(*n3), 0);
  EXPECT_EQ(Raw(l), "T");
  EXPECT_EQ(d->AssignDouble(1.0), 0);  // a Julian day before any calendar year: empty date
  EXPECT_EQ(Raw(d), "        ");
  EXPECT_EQ(l->MemoSetLength(3), kErrFieldType);
  EXPECT_EQ(t->FieldByName("nosuch"), nullptr);
  EXPECT_EQ(ctx_.ErrorCode(), kErrFieldName);
  EXPECT_EQ(t->Close(), 0);
}

TEST_F(TableTest, MemoFileWrittenAndRewritten) {
  FieldList fl;
  fl.Add("NAME", 'C', 10, 0);
  fl.Add("NOTES", 'M', 0, 0);
  Table* t = Create(fl);
  ASSERT_NE(t, nullptr);
  Field* notes = t->FieldByName("NOTES");
  ASSERT_EQ(notes->Width(), 10);
  ASSERT_EQ(notes->AssignText("first memo"), 0);
  ASSERT_EQ(t->AppendBlank(), 0);  // writes record 1 with its memo
  const std::string big(100, 'x');
  ASSERT_EQ(notes->AssignText(big.c_str()), 0);
  ASSERT_EQ(t->Unlock(), 0);

  std::string dbf = Bytes("f.dbf");
  std::string fpt = Bytes("f.fpt");
  EXPECT_EQ(static_cast<uint8_t>(dbf[0]), 0xF5);
  const size_t rec1 = 32 + 2 * 32 + 1;
  EXPECT_EQ(dbf.substr(rec1 + 11, 10), "         8");
  EXPECT_EQ(dbf.substr(rec1 + 21 + 11, 10), "         9");
  EXPECT_EQ(GetBe32(fpt.data()), 11u);  // 8 + 1 block + 2 blocks
  EXPECT_EQ(fpt[7], 64);                   // block size
  EXPECT_EQ(GetBe32(fpt.data() + 512), 1u);
  EXPECT_EQ(GetBe32(fpt.data() + 516), 10u);
  EXPECT_EQ(fpt.substr(520, 10), "first memo");
  EXPECT_EQ(fpt.substr(576 + 8, 100), big);

  // A shorter memo stays in its blocks; a longer one moves to the end.
  ASSERT_EQ(t->LockRecord(1), 0);
  ASSERT_EQ(t->Go(1), 0);
  EXPECT_EQ(notes->Text(), "first memo");
  ASSERT_EQ(notes->AssignText("short"), 0);
  ASSERT_EQ(t->Go(2), 0);
  EXPECT_EQ(notes->MemoLength(), 100);
  ASSERT_EQ(t->LockRecord(2), 0);
  ASSERT_EQ(notes->MemoSetLength(200), 0);
  std::memset(notes->MemoBuffer() + 100, 'y', 100);
  ASSERT_EQ(t->Close(), 0);
  dbf = Bytes("f.dbf");
  fpt = Bytes("f.fpt");
  EXPECT_EQ(dbf.substr(rec1 + 11, 10), "         8");
  EXPECT_EQ(dbf.substr(rec1 + 21 + 11, 10), "        11");
  EXPECT_EQ(GetBe32(fpt.data()), 11u + 4);
  EXPECT_EQ(fpt.substr(520, 5), "short");
  EXPECT_EQ(GetBe32(fpt.data() + 11 * 64 + 4), 200u);

  Table* again = Table::Open(&ctx_, dir_.File("f"));
  ASSERT_NE(again, nullptr);
  ASSERT_EQ(again->Go(2), 0);
  EXPECT_EQ(again->FieldByName("notes")->Text(), big + std::string(100, 'y'));
  EXPECT_EQ(again->Close(), 0);
}

// Damaged data and memo files and failing storage: the engine answers with a
// clear error and never reads out of bounds (run under ASan/UBSan in CI).
struct Report {
  int32_t code = 0;
  std::string text;
};
Report last_report;

void Capture(EngineContext*, int32_t code, int32_t, const char* d1, const char*, const char*) {
  last_report.code = code;
  last_report.text = d1 ? d1 : "";
}

class CorruptionTest : public ::testing::Test {
 protected:
  CorruptionTest() : ctx_(&fs_) {
    ctx_.set_error_hook(Capture);
    last_report = Report();
  }
  // The plant _ARCHIVE fixture (1000 records, 0x03) as t.dbf.
  std::string Load(const std::string& fixture = "plant/n1000/_ARCHIVE.dbf") {
    std::string b = pvtest::ReadFileBytes(pvtest::FixturePath(fixture));
    fs_.SetContents("t.dbf", b);
    return b;
  }
  void ExpectCorrupt(const std::string& bytes, const std::string& text) {
    fs_.SetContents("t.dbf", bytes);
    EXPECT_EQ(Table::Open(&ctx_, "t.dbf"), nullptr);
    EXPECT_EQ(ctx_.ErrorCode(), kErrDataCorrupt);
    EXPECT_NE(last_report.text.find(text), std::string::npos) << last_report.text;
    ctx_.ClearError();
  }
  MemFileSystem fs_;
  EngineContext ctx_;
};

// Each damaged header or descriptor byte is refused with a text naming it.
TEST_F(CorruptionTest, HeaderFieldsAndDescriptors) {
  const std::string good = Load();
  struct Case {
    size_t at;
    std::string bytes;
    const char* text;
  } cases[] = {
      {8, std::string("\x28\0", 2), "field descriptor 1 runs past the header"},  // too small for 4 descriptors
      {10, "\x3D", "does not match the fields"},  // record length 61, fields sum to 60
      {4, "\xE9\x03", "record count 1001"},
      {32 + 11, "X", "unknown field type"},
      {64 + 16, std::string(1, '\0'), "zero width"},  // TIME width 0
      {96 + 16, "\x1E", "numeric width"},             // N width 30
      {32, "\x01", "control character"},
      {0, "\x02", "version byte 0x02"},
  };
  for (const Case& c : cases) {
    std::string b = good;
    ExpectCorrupt(b.replace(c.at, c.bytes.size(), c.bytes), c.text);
  }
  std::string b = good;
  b[8] = '\xFF', b[9] = '\xFF';
  ExpectCorrupt(b.substr(0, 2000), "beyond the file's end");
  ExpectCorrupt(good.substr(0, good.size() / 2), "record count 1000");  // truncated
  ExpectCorrupt(good.substr(0, 20), "shorter than a header");
}

TEST_F(CorruptionTest, MemoReferencesOutsideTheMemoFile) {
  std::string dbf = pvtest::ReadFileBytes(pvtest::FixturePath("foxpro/vfp-samples/queries.dbf"));
  fs_.SetContents("q.dbf", dbf);
  fs_.SetContents("q.fpt", pvtest::ReadFileBytes(pvtest::FixturePath("foxpro/vfp-samples/queries.fpt")));
  // Record 1, field SCENARIO (VFP binary block number at offset 1): a block
  // far beyond the end of the memo file.
  const size_t rec1 = static_cast<uint8_t>(dbf[8]) | (static_cast<uint8_t>(dbf[9]) << 8);
  fs_.Contents("q.dbf")[rec1 + 1 + 2] = 0x70;
  Table* t = Table::Open(&ctx_, "q.dbf");
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->Go(1), 0);
  EXPECT_EQ(t->FieldByName("SCENARIO")->MemoLength(), 0);
  EXPECT_EQ(ctx_.ErrorCode(), kErrMemo);
  EXPECT_NE(last_report.text.find("past the file's end"), std::string::npos) << last_report.text;
  ctx_.ClearError();
  EXPECT_GT(t->FieldByName("EXPLANATIO")->MemoLength(), 0);  // the other memo still reads
  EXPECT_EQ(ctx_.ErrorCode(), 0);
  EXPECT_EQ(t->Close(), 0);
  // Missing memo file: the table cannot be used.
  ASSERT_TRUE(fs_.Remove("q.fpt").ok());
  EXPECT_EQ(Table::Open(&ctx_, "q.dbf"), nullptr);
  EXPECT_EQ(ctx_.ErrorCode(), kErrMemo);
}

// Failed opens are reported (a missing file only when asked to); failed
// writes lose nothing, in shared and in exclusive use; failed and short
// reads are errors.
TEST_F(CorruptionTest, FailedOpensReadsAndWritesLoseNothing) {
  EXPECT_EQ(Table::Open(&ctx_, "missing"), nullptr);
  EXPECT_EQ(ctx_.ErrorCode(), 0);
  EXPECT_EQ(last_report.code, 0);
  ctx_.settings().open_error = true;
  EXPECT_EQ(Table::Open(&ctx_, "missing"), nullptr);
  EXPECT_EQ(last_report.code, kErrOpen);
  ctx_.ClearError();
  const std::string good = Load();
  fs_.FailAfter(MemFileSystem::Op::kOpen, 0);
  EXPECT_EQ(Table::Open(&ctx_, "t"), nullptr);
  EXPECT_EQ(ctx_.ErrorCode(), kErrOpen);
  ctx_.ClearError();
  Table* t = Table::Open(&ctx_, "t.dbf");
  ASSERT_NE(t, nullptr);
  fs_.set_capacity(good.size() + 30);  // not room for one more record
  EXPECT_EQ(t->AppendBlank(), kErrWrite);
  EXPECT_NE(last_report.text.find("No space left"), std::string::npos) << last_report.text;
  EXPECT_EQ(fs_.Contents("t.dbf"), good);
  fs_.set_capacity(UINT64_MAX);
  ctx_.ClearError();
  ASSERT_EQ(t->LockRecord(5), 0);
  ASSERT_EQ(t->Go(5), 0);
  ASSERT_EQ(t->FieldByName("STS")->AssignLong(77), 0);
  fs_.FailAfter(MemFileSystem::Op::kWrite, 0);
  EXPECT_EQ(t->Unlock(), kErrWrite);
  EXPECT_EQ(fs_.Contents("t.dbf"), good);
  fs_.FailAfter(MemFileSystem::Op::kRead, 0);
  EXPECT_EQ(t->Go(6), kErrRead);
  fs_.set_max_read(7);  // a short read is never taken for a record
  EXPECT_EQ(t->Go(6), kErrDataCorrupt);
  fs_.set_max_read(0);
  EXPECT_EQ(t->Go(6), 0);
  EXPECT_EQ(t->Close(), 0);

  // The same in exclusive use, where records are read ahead and an appended
  // record and the header's count wait in memory: a write that fails leaves
  // the file as it was, and what was read ahead never shows a change that did
  // not reach the file.
  fs_.ClearFaults();
  fs_.SetContents("t.dbf", good);
  ctx_.ClearError();
  ctx_.settings().exclusive = true;
  t = Table::Open(&ctx_, "t.dbf");
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->Go(5), 0);
  ASSERT_EQ(t->Go(6), 0);  // records 1.. now come from a run read ahead
  const int32_t sts = t->FieldByName("STS")->Long();
  ASSERT_EQ(t->LockRecord(6), 0);
  ASSERT_EQ(t->FieldByName("STS")->AssignLong(sts + 1), 0);
  fs_.FailAfter(MemFileSystem::Op::kWrite, 0);
  EXPECT_EQ(t->Unlock(), kErrWrite);
  t->MarkChanged(0);  // give the change up
  ctx_.ClearError();
  ASSERT_EQ(t->Go(5), 0);
  ASSERT_EQ(t->Go(6), 0);
  EXPECT_EQ(t->FieldByName("STS")->Long(), sts);
  // An append whose record cannot be written: the count on disk stays.
  ASSERT_EQ(t->AppendBlank(), 0);
  ASSERT_EQ(t->FieldByName("STS")->AssignLong(5), 0);
  fs_.set_capacity(good.size() + 30);
  EXPECT_EQ(t->Flush(), kErrWrite);
  EXPECT_EQ(t->Close(), kErrWrite);
  EXPECT_EQ(fs_.Contents("t.dbf"), good);
}

// Every byte of the header and descriptors, set to a few values: opening and
// walking every field of every record gives success or an error, never a
// crash or an out-of-bounds read.
TEST_F(CorruptionTest, HeaderByteSweep) {
  int32_t opened = 0;
  for (const char* fixture : {"plant/n1000/_ARCHIVE.dbf", "foxpro/misc/dbase_f5.dbf", "foxpro/vfp-samples/queries.dbf"}) {
    std::string good = pvtest::ReadFileBytes(pvtest::FixturePath(fixture));
    // Keep the first 40 records, so that each of the thousands of variants
    // is cheap to copy and walk.
    const size_t reclen = static_cast<uint8_t>(good[10]) | (static_cast<uint8_t>(good[11]) << 8);
    const size_t count = std::min<size_t>(GetLe32(good.data() + 4), 40);
    PutLe32(good.data() + 4, static_cast<uint32_t>(count));
    std::string memo = std::string(fixture).find("queries") != std::string::npos
                           ? pvtest::ReadFileBytes(pvtest::FixturePath("foxpro/vfp-samples/queries.fpt"))
                           : pvtest::ReadFileBytes(pvtest::FixturePath("foxpro/misc/dbase_f5.fpt"));
    const size_t header = static_cast<uint8_t>(good[8]) | (static_cast<uint8_t>(good[9]) << 8);
    const size_t limit = std::min<size_t>(header, 400);
    for (size_t i = 0; i < limit; i++) {
      for (int v : {0x00, 0xFF, static_cast<uint8_t>(good[i]) + 1}) {
        std::string b = good.substr(0, header + count * reclen);
        b[i] = static_cast<char>(v);
        fs_.SetContents("s.dbf", b);
        fs_.SetContents("s.fpt", memo);
        Table* t = Table::Open(&ctx_, "s.dbf");
        if (t == nullptr) continue;
        opened++;
        for (int32_t r = t->Top(); r == 0; r = t->Skip(1)) {
          for (int32_t f = 1; f <= t->FieldCount(); f++) {
            Field* fld = t->FieldAt(f);
            fld->Text();
            fld->Double();
            fld->IsNull();
          }
        }
        t->Close();
        ctx_.ClearError();
      }
    }
  }
  EXPECT_GT(opened, 1000);  // most variants still open and are walked
}

}  // namespace
}  // namespace pv
