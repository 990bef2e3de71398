// The declaration layer: every field kind in all five exchange modes, the
// bytes each kind stores, tags, and the seek-key builders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "persist/zrp_base.h"
#include "persist/zrp_table_seek.h"
#include "tests/persist/persist_test_tables.h"
#include "tests/support/test_util.h"

namespace {

class XchgTest : public ::testing::Test {
 protected:
  void SetUp() override { base_.Open("XchgTest", (dir_.Path() + "/").c_str(), false, false); }
  void TearDown() override { base_.Close(); }

  void Fill(AllKindsTable& t) {
    t.text = "  word  ";
    t.flag = false;
    t.number = -1234;
    t.count = 4000000000u;  // above 2^31: stored unsigned
    t.amount = 12.5;
    t.ratio = 1.236;
    t.stamp = ZrTime(2005, 4, 4, 13, 7, 9, 45);
    t.shortStamp = ZrTime(2005, 4, 4, 13, 7, 9, 45);
    t.pcTime = 2208988800u;  // 2040-01-01 00:00:00, above 2^31
    t.id64 = 0x0123456789ABCDEFull;
    t.hexSigned = -2;
    t.hexUnsigned = 0xBEEF;
  }

  // The stored bytes of a field of the current record.
  static std::string Stored(AllKindsTable& t, const char* field) {
    pv::Field* f = t.GetTable()->FieldByName(field);
    return f == nullptr ? std::string("<missing>") : std::string(f->Ptr(), f->Width());
  }

  pvtest::TempDir dir_;
  ZrpBase base_;
};

// Reset empties every variable and Read restores it; the null time and
// both flag values written over a record (the stored text of every kind:
// IndependentReaderSeesTheStoredValues); then foreign or damaged texts put
// into the record directly.
TEST_F(XchgTest, ResetReadWriteAndForeignTexts) {
  AllKindsTable t(&base_);
  Fill(t);
  ZrpTableIterator it;
  it.SetTag("TEXT");
  ASSERT_TRUE(t.Add(it));

  t.Reset();
  EXPECT_STREQ(t.text, "");
  EXPECT_FALSE(t.flag);
  EXPECT_EQ(t.number, 0);
  EXPECT_EQ(t.count, 0u);
  EXPECT_EQ(t.amount, 0.0);
  EXPECT_EQ(t.ratio, 0.0);
  EXPECT_TRUE(t.stamp.IsNull());
  EXPECT_TRUE(t.shortStamp.IsNull());
  EXPECT_EQ(t.pcTime, 0u);
  EXPECT_EQ(t.id64, 0u);
  EXPECT_EQ(t.hexSigned, 0);
  EXPECT_EQ(t.hexUnsigned, 0u);

  ASSERT_TRUE(t.Read(it));
  EXPECT_STREQ(t.text, "word");  // surrounding blanks are not kept
  EXPECT_EQ(t.number, -1234);
  EXPECT_EQ(t.count, 4000000000u);
  EXPECT_DOUBLE_EQ(t.amount, 12.5);
  EXPECT_DOUBLE_EQ(t.ratio, 1.24);
  EXPECT_TRUE(t.stamp == ZrTime(2005, 4, 4, 13, 7, 9, 45));
  EXPECT_TRUE(t.shortStamp == ZrTime(2005, 4, 4, 13, 7, 9, 45));
  EXPECT_EQ(t.pcTime, 2208988800u);
  EXPECT_EQ(t.id64, 0x0123456789ABCDEFull);
  EXPECT_EQ(t.hexSigned, -2);
  EXPECT_EQ(t.hexUnsigned, 0xBEEFu);
  EXPECT_EQ(Stored(t, "FLAG"), "F");
  t.stamp = ZrTime();
  t.flag = true;
  ASSERT_TRUE(t.Write(it));
  ASSERT_TRUE(t.Read(it));
  EXPECT_EQ(Stored(t, "STAMP"), std::string(25, '*'));
  EXPECT_EQ(Stored(t, "FLAG"), "T");
  EXPECT_TRUE(t.stamp.IsNull());
  EXPECT_TRUE(t.flag);

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
  t.stamp = t.shortStamp;  // not null before the read
  ASSERT_TRUE(t.Read(it));
  EXPECT_FALSE(t.flag);  // only an upper-case T is true
  EXPECT_EQ(t.pcTime, 0u);
  EXPECT_EQ(t.hexUnsigned, 0xFFFFFFFFu);
  EXPECT_EQ(t.hexSigned, -1);
  EXPECT_EQ(t.id64, 0x0123456789ABCDEFull);  // lower-case digits read too
  EXPECT_TRUE(t.stamp.IsNull());
  EXPECT_TRUE(t.shortStamp.IsNull());

  table->LockRecord(it.RecNo());
  table->FieldByName("ID64")->AssignText("0123456789ABCDEX");
  table->FieldByName("FLAG")->AssignText(" ");
  table->Unlock();
  t.flag = true;
  ASSERT_TRUE(t.Read(it));
  EXPECT_EQ(t.id64, ~0ull);
  EXPECT_FALSE(t.flag);
}

// An independent reader sees the declared layout and the stored forms.
TEST_F(XchgTest, IndependentReaderSeesTheStoredValues) {
  AllKindsTable t(&base_);
  Fill(t);
  t.flag = true;
  ASSERT_TRUE(t.Add(nullptr));
  base_.Close();

  const std::string out = dir_.File("dump.txt");
  const std::string script =
      "import dbfread,sys\n"
      "t=dbfread.DBF(sys.argv[1],char_decode_errors='replace')\n"
      "f=open(sys.argv[2],'w')\n"
      "f.write(','.join('%s:%s%d.%d'%(x.name,x.type,x.length,x.decimal_count)\n"
      "                 for x in t.fields)+'\\n')\n"
      "for r in t: f.write('|'.join(str(v) for v in r.values())+'\\n')\n";
  pvtest::WriteFileBytes(dir_.File("dump.py"), script);
  std::string command = "/usr/bin/python3 " + dir_.File("dump.py") + " " +
                        dir_.File("ALLKINDS.dbf") + " " + out;
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(pvtest::ReadFileBytes(out),
            "TEXT:C12.0,FLAG:C1.0,NUMBER:N11.0,COUNT:N10.0,AMOUNT:N12.3,RATIO:C8.0,"
            "STAMP:C25.0,SSTAMP:C17.0,PCTIME:C14.0,ID64:C16.0,HEXS:C8.0,HEXU:C8.0\n"
            "  word|T|-1234|4000000000|12.5|1.24|0000000020050404130709045|20050404130709045|"
            "20400101000000|0123456789ABCDEF|FFFFFFFE|0000BEEF\n");
}

TEST(ZrpTableTagTest, FiltersUniqueAndChildTags) {
  pv::Table* none = nullptr;
  ZrpTableInfo info(none, XchgDefine);
  ZrpTableTag(&info, "A", "UT+GUID", "LEVEL>2", true, true);
  ZrpChildTableTag(&info, "B", "NAME", nullptr, true, false);
  ZrpChildTableTag(&info, "C", "NAME", "", false, false);
  ZrpChildTableTag(&info, "D", "NAME", "X='1'", false, false);
  const auto& tags = info.tags.tags();
  ASSERT_EQ(tags.size(), 4u);
  EXPECT_EQ(tags[0].expression, "UT+GUID");
  EXPECT_EQ(tags[0].filter, "(LEVEL>2).AND.(.NOT. DELETED())");
  EXPECT_EQ(tags[0].unique, pv::UniqueMode::kUniqueSilent);
  EXPECT_TRUE(tags[0].descending);
  EXPECT_EQ(tags[1].expression, "__P+NAME");
  EXPECT_EQ(tags[1].filter, ".NOT. DELETED()");
  EXPECT_EQ(tags[1].unique, pv::UniqueMode::kUniqueError);
  EXPECT_EQ(tags[2].filter, "");
  EXPECT_EQ(tags[3].filter, "(X='1').AND.(.NOT. DELETED())");

  // Outside define mode tags and names do nothing.
  ZrpTableInfo read(none, XchgRead);
  ZrpTableTag(&read, "A", "UT", nullptr, false, false);
  ZrpTableName(&read, "X");
  EXPECT_EQ(read.tags.size(), 0u);
  EXPECT_STREQ(read.name, "");
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
