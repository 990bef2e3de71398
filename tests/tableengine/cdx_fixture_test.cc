// Every tag of every fixture index (written by Visual FoxPro and by an
// independent FoxPro-compatible engine) walked both ways and every key
// sought; the order is compared with a sort of the records by their
// evaluated key expression.
#include <gtest/gtest.h>

#include "foundation/platform/file.h"
#include "tableengine/cdx_index.h"
#include "tests/support/test_util.h"
#include "tests/tableengine/fake_table.h"

namespace {

using pv::CdxIndex;
using pv::CdxTag;

struct Fixture {
  const char* dbf;
  const char* cdx;
  int tags;
};

const Fixture kFixtures[] = {
    {"plant/n1000/_DCLOG.dbf", "plant/n1000/_DCLOG.cdx", 6},
    {"plant/n1000/_ARCHIVE.dbf", "plant/n1000/_ARCHIVE.cdx", 4},
    {"plant/n1000/_EVENTLOG.dbf", "plant/n1000/_EVENTLOG.cdx", 7},
    {"plant/n1000-deleted/_DCLOG.dbf", "plant/n1000-deleted/_DCLOG.cdx", 6},
    {"plant/n1000-deleted/_ARCHIVE.dbf", "plant/n1000-deleted/_ARCHIVE.cdx", 4},
    {"plant/n1000-deleted/_EVENTLOG.dbf", "plant/n1000-deleted/_EVENTLOG.cdx", 7},
    {"foxpro/vfp-samples/customer.dbf", "foxpro/vfp-samples/customer.cdx", 0},
    {"foxpro/vfp-samples/employee.dbf", "foxpro/vfp-samples/employee.cdx", 0},
    {"foxpro/vfp-samples/orders.dbf", "foxpro/vfp-samples/orders.cdx", 0},
    {"foxpro/vfp-samples/orditems.dbf", "foxpro/vfp-samples/orditems.cdx", 0},
    {"foxpro/vfp-samples/products.dbf", "foxpro/vfp-samples/products.cdx", 0},
    {"foxpro/misc/foxprodb/calls.dbf", "foxpro/misc/foxprodb/calls.CDX", 0},
    {"foxpro/misc/foxprodb/contacts.dbf", "foxpro/misc/foxprodb/contacts.CDX", 0},
    {"foxpro/misc/foxprodb/setup.dbf", "foxpro/misc/foxprodb/setup.CDX", 0},
    {"foxpro/misc/foxprodb/types.dbf", "foxpro/misc/foxprodb/types.CDX", 0},
};

std::unique_ptr<CdxIndex> OpenIndex(const std::string& path, pvtest::FakeTable& table,
                                    bool writable = false) {
  std::unique_ptr<pv::File> file;
  pv::OpenOptions o;
  o.write = writable;
  pv::Status s = pv::OpenFile(path, o, &file);
  EXPECT_TRUE(s.ok()) << s.ToString();
  std::unique_ptr<CdxIndex> index;
  if (s.ok()) s = CdxIndex::Open(std::move(file), writable, table, &index);
  EXPECT_TRUE(s.ok()) << path << ": " << s.ToString();
  return index;
}

TEST(CdxFixtureTest, EveryTagWalksBothWaysInSortedOrderAndEveryKeyIsFound) {
  int tags_checked = 0;
  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(f.cdx);
    pvtest::FakeTable table(pvtest::FixturePath(f.dbf));
    auto index = OpenIndex(pvtest::FixturePath(f.cdx), table);
    ASSERT_TRUE(index);
    if (f.tags > 0) {
      EXPECT_EQ(index->tag_count(), f.tags);
    }
    ASSERT_GT(index->tag_count(), 0);
    for (int32_t t = 0; t < index->tag_count(); ++t) {
      CdxTag* tag = index->tag(t);
      SCOPED_TRACE(tag->name() + " = " + tag->key_expr().source());
      std::vector<std::string> keys;
      std::vector<uint32_t> expected = pvtest::ModelOrder(tag, table, &keys);
      EXPECT_EQ(pvtest::WalkTag(tag, table, false), expected);
      EXPECT_EQ(pvtest::WalkTag(tag, table, true), expected);
      // Seek every key: found, on the first record of that key in tag order.
      const pv::CdxKeyType& kt = tag->key_type();
      for (size_t i = 0; i < keys.size(); ++i) {
        if (kt.nullable && keys[i][0] == 0) continue;  // a null key has no seek text
        if (i > 0 && keys[i] == keys[i - 1]) continue;
        std::string text = kt.type == pv::ExprType::kCharacter
                               ? keys[i].substr(kt.nullable ? 1 : 0)
                               : pv::CdxKeyToText(kt, keys[i]);
        uint32_t r;
        int32_t result;
        ASSERT_TRUE(tag->Seek(text, &r, &result).ok());
        ASSERT_EQ(result, pv::kCdxSeekFound) << text;
        ASSERT_EQ(r, expected[i]) << text;
      }
      ++tags_checked;
    }
  }
  EXPECT_GE(tags_checked, 40);
}

// Seek results before, after and within the keys, and on the free list:
// CdxEngineTest.PositioningFollowsTheSelectedTag. Here tag names, keys
// longer than the tag's, and a descending tag.
TEST(CdxFixtureTest, TagNamesLongKeysAndDescendingSeeks) {
  pvtest::FakeTable table(pvtest::FixturePath("plant/n1000/_DCLOG.dbf"));
  auto index = OpenIndex(pvtest::FixturePath("plant/n1000/_DCLOG.cdx"), table);
  ASSERT_TRUE(index);
  // Without case, only the first 10 characters count.
  EXPECT_EQ(index->FindTag("GUIDXXXXXXXXX"), index->FindTag("guidxxxxxx"));
  EXPECT_NE(index->FindTag("GUID"), nullptr);
  CdxTag* utc = index->FindTag("UTC");
  uint32_t bottom, r;
  int32_t result;
  ASSERT_TRUE(utc->Bottom(&bottom).ok());
  table.Go(bottom);
  std::string key(table.FieldBytes(table.FindField("UT")));
  ASSERT_TRUE(utc->Seek(key + "EXTRA", &r, &result).ok());  // cut to the key length
  EXPECT_EQ(result, pv::kCdxSeekFound);
  EXPECT_EQ(r, bottom);
  // Descending UT: the same key comes first from the other end.
  CdxTag* ut = index->FindTag("UT");
  ASSERT_TRUE(ut->Top(&r).ok());
  EXPECT_EQ(r, bottom);
  ASSERT_TRUE(ut->Seek("000000002024", &r, &result).ok());
  EXPECT_EQ(result, pv::kCdxSeekFound);
  EXPECT_EQ(r, bottom);
  ASSERT_TRUE(ut->Seek("!", &r, &result).ok());  // below every key: past the descending end
  EXPECT_EQ(result, pv::kCdxSeekEof);
}

}  // namespace
