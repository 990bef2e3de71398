// Field conversions and memo files, checked against the bytes in the files.
#include "tableengine/field.h"

#include <cstring>

#include <gtest/gtest.h>

#include "tableengine/dbf_header.h"
#include "tableengine/engine_api.h"
#include "tests/support/test_util.h"

namespace pv {
namespace {

class FieldTest : public ::testing::Test {
 protected:
  Table* Create(const FieldList& fields) {
    Table* t = Table::Create(&ctx_, dir_.File("f"), fields);
    EXPECT_NE(t, nullptr) << ctx_.ErrorCode();
    if (t != nullptr) {
      EXPECT_EQ(t->AppendBlank(), 0);
    }
    return t;
  }
  std::string Raw(Field* f) { return std::string(f->Ptr(), static_cast<size_t>(f->Width())); }
  pvtest::TempDir dir_;
  EngineContext ctx_;
};

TEST_F(FieldTest, NumbersDatesLogicalsAndConversions) {
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
      {n3, -999, "***"},      {f82, 1e-3, "    0.00"},
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

TEST_F(FieldTest, MemoFileWrittenAndRewritten) {
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

  std::string dbf = pvtest::ReadFileBytes(dir_.File("f.dbf"));
  std::string fpt = pvtest::ReadFileBytes(dir_.File("f.fpt"));
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
  dbf = pvtest::ReadFileBytes(dir_.File("f.dbf"));
  fpt = pvtest::ReadFileBytes(dir_.File("f.fpt"));
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

// Visual FoxPro memo references are 4-byte binary block numbers (dbase_30).
TEST_F(FieldTest, VisualFoxProMemoWrittenInPlace) {
  pvtest::CopyFile(pvtest::FixturePath("foxpro/misc/dbase_30.dbf"), dir_.File("v.dbf"));
  pvtest::CopyFile(pvtest::FixturePath("foxpro/misc/dbase_30.fpt"), dir_.File("v.fpt"));
  const uint32_t next_before = GetBe32(pvtest::ReadFileBytes(dir_.File("v.fpt")).data());
  Table* t = Table::Open(&ctx_, dir_.File("v"));
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->LockRecord(3), 0);
  ASSERT_EQ(t->Go(3), 0);
  Field* notes = t->FieldByName("APPNOTES");
  const std::string text(300, 'q');
  ASSERT_EQ(notes->AssignText(text.c_str()), 0);
  ASSERT_EQ(t->Close(), 0);
  const std::string dbf = pvtest::ReadFileBytes(dir_.File("v.dbf"));
  const std::string fpt = pvtest::ReadFileBytes(dir_.File("v.fpt"));
  const size_t at = 4936 + 2 * 3907 + 1 + 15 + 12;  // record 3, APPNOTES
  const uint32_t block = GetLe32(dbf.data() + at);
  EXPECT_EQ(block, next_before);  // did not fit old blocks (or had none): appended
  EXPECT_EQ(GetBe32(fpt.data()), next_before + (8 + 300 + 63) / 64);
  EXPECT_EQ(fpt.substr(static_cast<size_t>(block) * 64 + 8, 300), text);
}

}  // namespace
}  // namespace pv
