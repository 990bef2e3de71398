// Damaged data and memo files and failing storage: the engine answers with a
// clear error and never reads out of bounds (run under ASan/UBSan in CI).
#include <functional>

#include <gtest/gtest.h>

#include "tableengine/dbf_header.h"
#include "tableengine/engine_api.h"
#include "tableengine/mem_file_system.h"
#include "tests/support/test_util.h"

namespace pv {
namespace {

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
// writes lose nothing; failed and short reads are errors.
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
}

// The same in exclusive use, where records are read ahead and an appended
// record and the header's count wait in memory: a write that fails leaves
// the file as it was, and what was read ahead never shows a change that did
// not reach the file.
TEST_F(CorruptionTest, ExclusiveUseFailedWritesLoseNothing) {
  const std::string good = Load();
  ctx_.settings().exclusive = true;
  Table* t = Table::Open(&ctx_, "t.dbf");
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
