// Compound indexes on their own (the records behind the index interface):
// every tag of every fixture index (written by Visual FoxPro and by an
// independent FoxPro-compatible engine) walked both ways and every key
// sought, the order compared with a sort of the records by their evaluated
// key expression; damaged copies of fixture indexes; index upkeep against a
// model; the leaf codec.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <utility>

#include "foundation/platform/file.h"
#include "tableengine/cdx_coding.h"
#include "tableengine/cdx_index.h"
#include "tableengine/cdx_node.h"
#include "tests/support/test_util.h"
#include "tests/tableengine/fake_table.h"

namespace {

using pv::CdxIndex;
using pv::CdxTag;
using pv::CdxTagSpec;
using pv::CdxUnique;

// Each table beside its index (found without case: "calls.CDX"), with the
// tag count where it is known.
const std::pair<const char*, int> kFixtures[] = {
    {"plant/n1000/_DCLOG", 6}, {"plant/n1000/_ARCHIVE", 4}, {"plant/n1000/_EVENTLOG", 7},
    {"plant/n1000-deleted/_DCLOG", 6}, {"plant/n1000-deleted/_ARCHIVE", 4}, {"plant/n1000-deleted/_EVENTLOG", 7},
    {"foxpro/vfp-samples/customer", 0}, {"foxpro/vfp-samples/employee", 0}, {"foxpro/vfp-samples/orders", 0},
    {"foxpro/vfp-samples/orditems", 0}, {"foxpro/vfp-samples/products", 0}, {"foxpro/misc/foxprodb/calls", 0},
    {"foxpro/misc/foxprodb/contacts", 0}, {"foxpro/misc/foxprodb/setup", 0}, {"foxpro/misc/foxprodb/types", 0},
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
  for (const auto& [name, tags] : kFixtures) {
    SCOPED_TRACE(name);
    pvtest::FakeTable table(pvtest::FixturePath(name) + ".dbf");
    auto index = OpenIndex(pvtest::FixturePath(name) + ".cdx", table);
    ASSERT_TRUE(index);
    if (tags > 0) {
      EXPECT_EQ(index->tag_count(), tags);
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

// Seek results before, after and within the keys, and on the free list,
// through a table: the persistence layer's TableTest.SearchAndSkipInTagOrder
// and TableTest.AddReusesTheLowestDeletedRecordAndRemoves, and pvdbf seek.
// Here tag names, keys longer than the tag's, and a descending tag.
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

// Damaged index files: copies of fixture indexes with bytes changed at
// header, node and pointer offsets. Opening, walking, seeking and checking
// must end with an error or a report of the fault; never a crash or a walk
// without end.
struct Outcome {
  bool opened = false;
  pv::Status first_error;  // the first open, walk or seek that failed
  std::string problems;    // what the index check reported, one per line
  bool damaged() const { return !first_error.ok() || !problems.empty(); }
  std::string Text() const { return first_error.ToString() + "\n" + problems; }
};

// Opens the index in `bytes`, walks every tag both ways (bounded), seeks and
// checks it.
Outcome Exercise(const std::string& bytes, pvtest::FakeTable& table, const pvtest::TempDir& dir) {
  Outcome o;
  std::string path = dir.File("x.cdx");
  pvtest::WriteFileBytes(path, bytes);
  std::unique_ptr<pv::File> file;
  EXPECT_TRUE(pv::OpenFile(path, pv::OpenOptions(), &file).ok());
  std::unique_ptr<CdxIndex> index;
  o.first_error = CdxIndex::Open(std::move(file), false, table, &index);
  if (!o.first_error.ok()) return o;
  o.opened = true;
  auto note = [&o](const pv::Status& s) {
    if (o.first_error.ok()) o.first_error = s;
  };
  for (int32_t i = 0; i < index->tag_count(); ++i) {
    pv::CdxTag* tag = index->tag(i);
    for (bool back : {false, true}) {
      uint32_t r = 0;
      pv::Status s = back ? tag->Bottom(&r) : tag->Top(&r);
      for (uint32_t steps = 0; s.ok() && r != 0; ++steps) {
        EXPECT_LE(steps, 4 * table.Count() + 10) << "walk without end";
        if (steps > 4 * table.Count() + 10) break;
        if (r <= table.Count()) table.Go(r);
        int32_t moved;
        s = tag->Skip(r, table, back ? -1 : 1, &r, &moved);
      }
      note(s);
    }
    uint32_t r;
    int32_t result;
    note(tag->Seek("A", &r, &result));
  }
  o.problems = pvtest::CheckProblems(index.get(), &table);
  return o;
}

class CdxCorruptTest : public ::testing::Test {
 protected:
  CdxCorruptTest()
      : table_(pvtest::FixturePath("plant/n1000/_ARCHIVE.dbf")),
        good_(pvtest::ReadFileBytes(pvtest::FixturePath("plant/n1000/_ARCHIVE.cdx"))) {}

  // The tag header offset and root of the tag named `name`.
  void Locate(const char* name, uint32_t* header, uint32_t* root, uint32_t* first_leaf) {
    auto index = OpenIndex(pvtest::FixturePath("plant/n1000/_ARCHIVE.cdx"), table_);
    ASSERT_TRUE(index);
    pv::CdxTag* tag = index->FindTag(name);
    ASSERT_NE(tag, nullptr);
    *header = tag->header_offset();
    ASSERT_TRUE(index->file()->Enter(false).ok());
    pv::CdxPos pos;
    ASSERT_TRUE(tag->tree()->First(&pos).ok());
    *root = tag->tree()->root();
    *first_leaf = pos.leaf;
    ASSERT_TRUE(index->file()->Leave().ok());
  }

  std::string With(std::initializer_list<std::pair<uint32_t, uint32_t>> le32_patches) {
    std::string b = good_;
    for (auto& p : le32_patches) pv::PutLe32(reinterpret_cast<uint8_t*>(&b[p.first]), p.second);
    return b;
  }
  std::string WithByte(uint32_t at, char value) {
    std::string b = good_;
    b[at] = value;
    return b;
  }

  pvtest::FakeTable table_;
  std::string good_;
  pvtest::TempDir dir_;
};

// Each damage is reported as corruption (by the open, a walk, a seek or the
// index check) in a text that names the damaged place; the undamaged copy
// passes everything.
TEST_F(CdxCorruptTest, DamagedStructuresAreReportedWhereTheyAre) {
  Outcome good = Exercise(good_, table_, dir_);
  EXPECT_TRUE(good.opened);
  EXPECT_FALSE(good.damaged()) << good.Text();

  uint32_t header = 0, root = 0, leaf = 0;
  Locate("TIMEPTID", &header, &root, &leaf);
  ASSERT_NE(root, leaf) << "the tag needs interior nodes for this test";
  const std::string at_root = "cdx node " + pv::CdxHex(root);
  const std::string at_leaf = "cdx node " + pv::CdxHex(leaf);
  struct Case {
    const char* what;
    std::string bytes;
    std::string place;  // must appear in the corruption text
  } cases[] = {
      {"bad root attribute", With({{root, 0x00400001}}), at_root},
      {"key count beyond the node", With({{root, 0x7FFF0001}}), at_root},
      {"root pointer outside the file", With({{header, 0x7FFFFE00}}), pv::CdxHex(0x7FFFFE00)},
      {"root pointer not on a block", With({{header, root + 3}}), pv::CdxHex(root + 3)},
      {"root pointer into the file header", With({{header, 0x200}}), pv::CdxHex(0x200)},
      {"leaf linked to itself", With({{leaf + 8, leaf}}), pv::CdxHex(leaf)},
      {"leaf linked back to the first leaf", With({{leaf + 4, leaf}}), at_leaf},
      {"child pointer outside the file", With({{root + 12 + 36 + 4, 0x00F00000}}),  // BE child of entry 0
       pv::CdxHex(0xF000)},
      {"truncated file", good_.substr(0, good_.size() - 512),
       "outside the file (size " + std::to_string(good_.size() - 512) + ")"},
      {"directory key length zero", With({{12, 0x00E00000}}), "cdx header 0x0: key length 0"},
      {"leaf entry size zero", WithByte(leaf + 23, 0), at_leaf + ": bad leaf entry layout"},
      {"leaf record number bits 40", WithByte(leaf + 20, 40), at_leaf + ": bad leaf entry layout"},
      {"leaf entry 0's counts", WithByte(leaf + 23 + static_cast<uint8_t>(good_[leaf + 23]), '\xFF'),
       at_leaf + ": entry 0: duplicate and trailing counts exceed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Outcome o = Exercise(c.bytes, table_, dir_);
    ASSERT_TRUE(o.damaged());
    if (!o.first_error.ok()) {
      EXPECT_TRUE(o.first_error.IsCorruption()) << o.Text();
    } else {
      EXPECT_NE(o.problems, "");
    }
    EXPECT_NE(o.Text().find(c.place), std::string::npos) << o.Text();
  }
}

TEST_F(CdxCorruptTest, EveryHeaderAndNodeByteDamagedNeverCrashes) {
  // A no-crash sweep over the small employee index: each byte of the file
  // set to 0x00 and 0xFF in turn.
  pvtest::FakeTable employee(pvtest::FixturePath("foxpro/vfp-samples/employee.dbf"));
  std::string good = pvtest::ReadFileBytes(pvtest::FixturePath("foxpro/vfp-samples/employee.cdx"));
  int opened = 0;
  for (size_t i = 0; i < good.size(); i += 3) {
    for (char v : {'\x00', '\xFF'}) {
      std::string b = good;
      b[i] = v;
      opened += Exercise(b, employee, dir_).opened ? 1 : 0;
    }
  }
  EXPECT_GT(opened, 0);
}

// Index upkeep: random appends, changes, deletes and recalls applied to an
// index and to a model (the records themselves, sorted independently); the
// index check and a walk of every tag must agree with the model throughout.
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

// kSilent keeps the first record of a key (the index check cannot tell
// which one is kept); kError refuses a duplicate and no tag changes.
TEST_F(CdxWriteTest, UniqueModesKeepTheFirstOrRefuseTheDuplicate) {
  std::vector<CdxTagSpec> silent = {{"SILENT", "NAME", "", CdxUnique::kSilent, false}};
  std::unique_ptr<CdxIndex> index;
  ASSERT_TRUE(CdxIndex::Create(NewFile(dir_.File("u.cdx")), silent, t_, nullptr, &index).ok());
  for (const char* name : {"B", "A", "B"}) {
    t_.Append({name, "1", "T"});
    ASSERT_TRUE(index->RecordWritten(t_.Count(), nullptr, t_).ok());
  }
  EXPECT_EQ(pvtest::WalkTag(index->tag(0), t_), (std::vector<uint32_t>{2, 1}));

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

}  // namespace
