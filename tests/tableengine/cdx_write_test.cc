// Index upkeep: random appends, changes, deletes and recalls applied to an
// index and to a model (the records themselves, sorted independently); the
// index check and a walk of every tag must agree with the model throughout.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>

#include "foundation/platform/file.h"
#include "tableengine/cdx_index.h"
#include "tableengine/cdx_node.h"
#include "tests/support/test_util.h"
#include "tests/tableengine/fake_table.h"

namespace {

using pv::CdxIndex;
using pv::CdxTag;
using pv::CdxTagSpec;
using pv::CdxUnique;

std::unique_ptr<pv::File> NewFile(const std::string& path) {
  pv::OpenOptions o;
  o.write = o.create = o.truncate = true;
  std::unique_ptr<pv::File> f;
  pv::Status s = pv::OpenFile(path, o, &f);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return f;
}

class CdxWriteTest : public ::testing::Test {
 protected:
  void SetUp() override { AddFields(&t_); }
  static void AddFields(pvtest::FakeTable* t) {
    t->AddField("NAME", 'C', 30);
    t->AddField("VALUE", 'N', 11, 2);
    t->AddField("FLAG", 'C', 1);
  }
  std::string Row(std::mt19937& rng) {
    return std::string(1, static_cast<char>('A' + rng() % 6)) + std::to_string(rng() % 400);
  }
  // A unique tag keeps the first record of a key and promotes no other when
  // that record leaves, so only its order is predictable: the index check
  // covers its contents.
  void AgreeWithModel(CdxIndex* index) {
    for (int32_t i = 0; i < index->tag_count(); ++i) {
      CdxTag* tag = index->tag(i);
      if (tag->unique() != CdxUnique::kKeep) continue;
      ASSERT_EQ(pvtest::WalkTag(tag, t_), pvtest::ModelOrder(tag, t_)) << tag->name();
    }
  }

  // Changes record r through change() and tells the index its old and new image.
  pv::Status Rewrite(CdxIndex* index, uint32_t r, const std::function<void()>& change) {
    pvtest::FakeTable before = t_;
    before.Go(r);
    t_.Go(r);
    change();
    return index->RecordWritten(r, &before, t_);
  }

  pvtest::FakeTable t_;
  pvtest::TempDir dir_;
};

TEST_F(CdxWriteTest, RandomUpkeepAgreesWithModelAndChecksOut) {
  std::vector<CdxTagSpec> specs = {
      {"__FREE", "RECNO()", "DELETED()", CdxUnique::kKeep, false},
      {"NAME", "NAME", ".NOT. DELETED()", CdxUnique::kKeep, false},
      {"NAMEDESC", "UPPER(NAME)+STR(VALUE,11,2)", "", CdxUnique::kKeep, true},
      {"VALUE", "VALUE", "FLAG='T'.AND.(.NOT. DELETED())", CdxUnique::kKeep, false},
      {"UNIQ", "LEFT(NAME,2)", "", CdxUnique::kSilent, false},
  };
  std::unique_ptr<CdxIndex> index;
  ASSERT_TRUE(CdxIndex::Create(NewFile(dir_.File("t.cdx")), specs, t_, nullptr, &index).ok());
  uint32_t seed = 20261205;
  std::mt19937 rng(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  for (int op = 0; op < 6000; ++op) {
    uint32_t n = t_.Count();
    int kind = n < 50 ? 0 : static_cast<int>(rng() % 4);
    if (kind == 0) {
      char value[16];
      std::snprintf(value, sizeof value, "%11.2f", static_cast<double>(rng() % 2000) - 1000.0);
      t_.Append({Row(rng), value, rng() % 2 ? "T" : "F"});
      ASSERT_TRUE(index->RecordWritten(t_.Count(), nullptr, t_).ok());
      continue;
    }
    ASSERT_TRUE(Rewrite(index.get(), 1 + rng() % n, [&] {
                  if (kind == 1) t_.SetRaw(0, Row(rng) + std::string(30, ' '));
                  else t_.SetDeleted(kind == 2);
                }).ok());
    if (op % 1500 == 1499) {
      ASSERT_EQ(pvtest::CheckProblems(index.get(), &t_), "");
      AgreeWithModel(index.get());
    }
  }
  // The long keys split leaves and interior nodes: the tree has 3 levels.
  int32_t depth = 0;
  ASSERT_TRUE(index->file()->Enter(false).ok());
  ASSERT_TRUE(index->FindTag("NAMEDESC")->tree()->Depth(&depth).ok());
  ASSERT_TRUE(index->file()->Leave().ok());
  EXPECT_GE(depth, 3);

  // Reopened from the file, the index still agrees.
  index.reset();
  std::unique_ptr<pv::File> f;
  pv::OpenOptions o;
  ASSERT_TRUE(pv::OpenFile(dir_.File("t.cdx"), o, &f).ok());
  ASSERT_TRUE(CdxIndex::Open(std::move(f), false, t_, &index).ok());
  EXPECT_EQ(pvtest::CheckProblems(index.get(), &t_), "");
  AgreeWithModel(index.get());
}

TEST_F(CdxWriteTest, RemovingEveryRecordEmptiesTheTreeAndReusesNodes) {
  std::vector<CdxTagSpec> specs = {{"NAME", "NAME", ".NOT.DELETED()", CdxUnique::kKeep, false}};
  std::unique_ptr<CdxIndex> index;
  ASSERT_TRUE(CdxIndex::Create(NewFile(dir_.File("e.cdx")), specs, t_, nullptr, &index).ok());
  for (int i = 0; i < 2000; ++i) {
    t_.Append({"N" + std::to_string(i * 7919 % 2000), "1", "T"});
    ASSERT_TRUE(index->RecordWritten(t_.Count(), nullptr, t_).ok());
  }
  uint64_t size_full = index->file()->size();
  for (uint32_t r = 1; r <= t_.Count(); ++r) {
    ASSERT_TRUE(Rewrite(index.get(), r, [&] { t_.SetDeleted(true); }).ok());
  }
  ASSERT_EQ(pvtest::CheckProblems(index.get(), &t_), "");
  EXPECT_TRUE(pvtest::WalkTag(index->tag(0), t_).empty());
  // Recalling everything reuses the freed nodes: the file does not grow.
  for (uint32_t r = 1; r <= t_.Count(); ++r) {
    ASSERT_TRUE(Rewrite(index.get(), r, [&] { t_.SetDeleted(false); }).ok());
  }
  EXPECT_EQ(pvtest::CheckProblems(index.get(), &t_), "");
  EXPECT_LE(index->file()->size(), size_full + 2 * pv::kCdxBlockSize);
}

TEST_F(CdxWriteTest, UniqueModesKeepTheFirstOrRefuseTheDuplicate) {
  std::vector<CdxTagSpec> specs = {
      {"SILENT", "NAME", "", CdxUnique::kSilent, false},
      {"PLAIN", "FLAG", "", CdxUnique::kKeep, false},
  };
  std::unique_ptr<CdxIndex> index;
  ASSERT_TRUE(CdxIndex::Create(NewFile(dir_.File("u.cdx")), specs, t_, nullptr, &index).ok());
  for (const char* name : {"B", "A", "B"}) {
    t_.Append({name, "1", "T"});
    ASSERT_TRUE(index->RecordWritten(t_.Count(), nullptr, t_).ok());
  }
  EXPECT_EQ(pvtest::WalkTag(index->tag(0), t_), (std::vector<uint32_t>{2, 1}));
  EXPECT_EQ(pvtest::WalkTag(index->tag(1), t_).size(), 3u);
  EXPECT_EQ(pvtest::CheckProblems(index.get(), &t_), "");

  // kError: a duplicate is refused and no tag changes.
  std::vector<CdxTagSpec> strict = {
      {"PLAIN", "FLAG", "", CdxUnique::kKeep, false},
      {"STRICT", "NAME", ".NOT.DELETED()", CdxUnique::kError, false},
  };
  pvtest::FakeTable t2;
  AddFields(&t2);
  t2.Append({"A", "1", "T"});
  t2.Append({"A", "1", "T"});
  std::unique_ptr<CdxIndex> refused;
  pv::Status s = CdxIndex::Create(NewFile(dir_.File("s.cdx")), strict, t2, &t2, &refused);
  EXPECT_TRUE(s.IsInvalidArgument()) << s.ToString();
  EXPECT_NE(s.message().find(pv::kCdxDuplicateKey), std::string::npos);
  t2.Go(2);
  t2.SetRaw(0, "Z");
  ASSERT_TRUE(CdxIndex::Create(NewFile(dir_.File("s.cdx")), strict, t2, &t2, &refused).ok());
  pvtest::FakeTable before = t2;
  before.Go(2);
  t2.Go(2);
  t2.SetRaw(0, "A");
  t2.SetRaw(2, "F");
  s = refused->RecordWritten(2, &before, t2);
  EXPECT_TRUE(s.IsInvalidArgument());
  // Nothing changed: the index still matches the record as it was.
  EXPECT_EQ(pvtest::CheckProblems(refused.get(), &before), "");
}

TEST(CdxNodeTest, LeafCodecMatchesAForeignWriter) {
  // Four integer keys as a foreign writer encodes them in a sample index
  // (docs/formats.md 3.3): 10-bit record numbers, 3-bit duplicate and trailing
  // counts, 2-byte entries.
  pv::CdxNode node;
  for (uint32_t r = 1; r <= 4; ++r) {
    std::string key = {'\x80', '\0', '\0', static_cast<char>(r)};
    node.Insert(node.count(), key, r, 0);
  }
  uint8_t block[pv::kCdxBlockSize];
  ASSERT_TRUE(node.Encode(4, 0, block));
  const uint8_t header[] = {0x03, 0x00, 0x04, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                            0xD9, 0x01, 0xFF, 0x03, 0x00, 0x00, 0x07, 0x07, 0x0A, 0x03, 0x03, 0x02,
                            0x01, 0x00, 0x02, 0x0C, 0x03, 0x0C, 0x04, 0x0C};
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), sizeof header),
            std::string(reinterpret_cast<const char*>(header), sizeof header));
  const uint8_t tail[] = {0x04, 0x03, 0x02, 0x80, 0x00, 0x00, 0x01};
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block) + 512 - 7, 7),
            std::string(reinterpret_cast<const char*>(tail), 7));
  pv::CdxNode back;
  ASSERT_TRUE(pv::CdxNode::Decode(block, 0xA00, 4, 0, &back).ok());
  EXPECT_EQ(back.keys, node.keys);
  EXPECT_EQ(back.recnos, node.recnos);
}

TEST(CdxNodeTest, CorruptNodesGiveErrorsNotCrashes) {
  pv::CdxNode node;
  node.attributes = pv::CdxNode::kLeaf;
  node.Insert(0, "ABC       ", 1, 0);
  node.Insert(1, "ABD       ", 2, 0);
  uint8_t good[pv::kCdxBlockSize];
  ASSERT_TRUE(node.Encode(10, ' ', good));
  struct Damage {
    size_t offset;
    uint8_t value;
    const char* what;
  } damages[] = {  // (attribute and key count: CdxCorruptTest.DamagedStructuresAreReportedWhereTheyAre)
      {23, 0, "bad leaf entry layout"},  // E = 0
      {20, 40, "bad leaf entry layout"},  // R = 40
      {25, 0xFF, "exceed"},              // dup/trail of entry 0
  };
  for (const Damage& d : damages) {
    uint8_t block[pv::kCdxBlockSize];
    std::memcpy(block, good, sizeof block);
    block[d.offset] = d.value;
    pv::CdxNode out;
    pv::Status s = pv::CdxNode::Decode(block, 0x400, 10, ' ', &out);
    EXPECT_TRUE(s.IsCorruption()) << d.what;
    EXPECT_NE(s.message().find(d.what), std::string::npos) << s.message();
  }
}

}  // namespace

TEST(CdxNodeTest, SizeKeptOverInsertsAndErasesMatchesAFreshCount) {
  // The node keeps its encoded size up to date as entries come and go; a
  // node built from the same entries in one go (size counted from scratch)
  // must agree after every step, for character keys with blank tails and
  // shared prefixes and for binary keys with zero tails.
  std::mt19937 rng(11);
  for (uint8_t pad : {uint8_t{' '}, uint8_t{0}}) {
    const int32_t kl = 12;
    pv::CdxNode node;
    node.attributes = pv::CdxNode::kLeaf;
    ASSERT_EQ(node.EncodedSize(kl, pad), 24u);  // counted once, then kept
    for (int step = 0; step < 3000; ++step) {
      if (node.count() > 0 && (rng() % 3 == 0 || node.count() > 60)) {
        node.Erase(static_cast<int32_t>(rng() % static_cast<uint32_t>(node.count())), kl);
      } else {
        std::string key(static_cast<size_t>(kl), static_cast<char>(pad));
        size_t used = rng() % (static_cast<size_t>(kl) + 1);
        for (size_t i = 0; i < used; ++i) key[i] = static_cast<char>('A' + rng() % 3);
        int32_t at = static_cast<int32_t>(rng() % (static_cast<uint32_t>(node.count()) + 1));
        node.Insert(at, key, 1 + rng() % (step < 1500 ? 200u : 70000u), 0);
      }
      pv::CdxNode fresh;
      fresh.attributes = pv::CdxNode::kLeaf;
      for (int32_t i = 0; i < node.count(); ++i) {
        fresh.Insert(i, node.key(i, kl), node.recnos[static_cast<size_t>(i)], 0);
      }
      ASSERT_EQ(node.EncodedSize(kl, pad), fresh.EncodedSize(kl, pad)) << "step " << step;
    }
  }
}
