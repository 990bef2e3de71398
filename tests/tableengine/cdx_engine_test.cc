// Compound indexes through the engine's table interface: the plant tag sets
// kept right over appends, changes, deletes and recalls (checked with the
// index check), copies of the plant fixtures changed in place, the same
// files from exclusive and shared use, and reader processes walking and
// reading while writer processes append.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "tableengine/cdx_index.h"
#include "tableengine/cdx_opener.h"
#include "tableengine/engine_api.h"
#include "tests/support/process_runner.h"
#include "tests/support/test_util.h"
#include "tests/tableengine/fake_table.h"
#include "tests/tableengine/plant_layouts.h"

namespace pv {
namespace {

std::string Problems(Table* t) {
  EXPECT_EQ(t->Flush(), 0);
  std::vector<CdxTagReport> reports;
  Status s = CdxCheckTable(t, &reports);
  return pvtest::ReportText(s, reports);
}

uint64_t Keys(Table* t, const char* tag) {
  std::vector<CdxTagReport> reports;
  EXPECT_TRUE(CdxCheckTable(t, &reports, false).ok());
  for (auto& r : reports) {
    if (r.name == tag) return r.keys;
  }
  return ~0ull;
}

class CdxEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ctx_.set_index_opener(CdxIndexOpener()); }

  Table* CreatePlant(const std::string& name, void (*layout)(FieldList*, TagList*)) {
    FieldList f;
    TagList tags;
    layout(&f, &tags);
    Table* t = Table::Create(&ctx_, dir_.File(name), f);
    EXPECT_NE(t, nullptr);
    EXPECT_NE(t->CreateIndex(dir_.File(name), tags), nullptr) << ctx_.ErrorCode();
    return t;
  }

  // Changes one record under its lock; the change reaches the index on Unlock.
  void Change(Table* t, int32_t recno, const char* field, const std::string& text) {
    ASSERT_EQ(t->Go(recno, true), 0);
    ASSERT_EQ(t->LockRecord(recno), 0);
    ASSERT_EQ(t->FieldByName(field)->AssignText(text.c_str()), 0);
    ASSERT_EQ(t->Unlock(), 0);
  }
  void SetDeleted(Table* t, int32_t recno, bool deleted) {
    ASSERT_EQ(t->Go(recno, true), 0);
    ASSERT_EQ(t->LockRecord(recno), 0);
    ASSERT_EQ(deleted ? t->Delete() : t->Recall(), 0);
    ASSERT_EQ(t->Unlock(), 0);
  }

  pvtest::TempDir dir_;
  EngineContext ctx_;
};

// Creates the table at path with `count` records, appended in exclusive use
// (the fastest way in); fill(i, put) sets the fields of record i (0-based).
using Put = std::function<void(const char* field, const std::string& text)>;
void CreateFilled(const std::string& path, const FieldList& fields, uint32_t count,
                  const std::function<void(uint32_t, const Put&)>& fill) {
  EngineContext ctx;
  ctx.settings().exclusive = true;
  Table* t = Table::Create(&ctx, path, fields);
  ASSERT_NE(t, nullptr);
  Put put = [t](const char* name, const std::string& text) {
    ASSERT_EQ(t->FieldByName(name)->AssignText(text.c_str()), 0);
  };
  for (uint32_t i = 0; i < count; ++i) {
    ASSERT_EQ(t->AppendBlank(), 0);
    fill(i, put);
  }
  ASSERT_EQ(t->Close(), 0);
}

TEST_F(CdxEngineTest, PlantTagSetsStayRightOverAppendsDeletesAndRecalls) {
  // 200,000 records: splits under a split root in every tag with a key (the
  // sanitizer build, many times slower, takes a twentieth).
#ifdef PV_ASAN
  const uint32_t kRecords = 10000;
#else
  const uint32_t kRecords = 200000;
#endif
  std::mt19937 rng(5);
  struct PlantTable {
    const char* name;
    void (*layout)(FieldList*, TagList*);
  } specs[] = {{"_EVENTLOG", pvtest::EventLogLayout},
               {"_DCLOG", pvtest::DcLogLayout},
               {"_ARCHIVE", pvtest::ArchiveLayout}};
  std::vector<Table*> tables;
  for (const PlantTable& table : specs) {
    FieldList f;
    TagList tags;
    table.layout(&f, &tags);
    const std::string path = dir_.File(table.name);
    CreateFilled(path, f, kRecords, [&](uint32_t i, const Put& put) {
      if (table.layout == pvtest::EventLogLayout) {
        put("TYPE", std::to_string(rng() % 40));
        put("OBJNUM", std::to_string(rng() % 5000));
        put("OLDSTATE", std::to_string(rng() % 256));
        put("NEWSTATE", std::to_string(rng() % 256));
        put("UTC", std::to_string(1704067200 + i / 3));
        put("TIMESTAMP", std::to_string(rng() % 1000));
        put("TIMELEVEL", i % 7 == 0 ? "1" : "0");
        put("PRINTED", rng() % 3 ? "T" : "F");
        put("DOPRINT", rng() % 2 ? "T" : "F");
      } else if (table.layout == pvtest::DcLogLayout) {
        // Every 1000th record repeats the UT+GUID of the one before it.
        uint32_t k = i % 1000 == 999 ? i - 1 : i;
        put("UT", pvtest::PlantTimeText(k));
        put("LT", pvtest::PlantTimeText(i + 3600));
        put("LOCATION", "AREA" + std::to_string(rng() % 9));
        put("GUID", std::to_string(k * 2654435761u));
      } else {
        put("POINTID", "P" + std::to_string(rng() % 300));
        put("TIME", pvtest::PlantTimeText(i).substr(8, 14));
        put("VAL", std::to_string(i % 1000) + ".5000");
      }
    });
    Table* t = Table::Open(&ctx_, path);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->CreateIndex(path, tags), nullptr) << ctx_.ErrorCode();
    tables.push_back(t);
  }
  Table* ev = tables[0];
  Table* dc = tables[1];
  for (Table* t : tables) {
    EXPECT_EQ(Problems(t), "") << t->FileName();
    std::vector<CdxTagReport> reports;
    ASSERT_TRUE(CdxCheckTable(t, &reports, false).ok());
    for (auto& r : reports) EXPECT_GE(r.depth, r.name == "__FREE" ? 1 : 3) << r.name;
  }
  EXPECT_EQ(Keys(dc, "GUID"), kRecords - kRecords / 1000);
  EXPECT_EQ(Keys(dc, "UTC"), kRecords);

  // Kept up to date from here on: deleting moves records into "__FREE" and
  // out of every user tag, recalling moves them back, filtered tags follow
  // field changes, appends go everywhere.
  uint64_t printed = Keys(ev, "PRINTED");
  for (int32_t r = 1; r <= 3000; r += 3) SetDeleted(ev, r, true);
  EXPECT_EQ(Keys(ev, "__FREE"), 1000u);
  EXPECT_EQ(Keys(ev, "TIME"), kRecords - 1000);
  EXPECT_EQ(Problems(ev), "");
  for (int32_t r = 1; r <= 3000; r += 3) SetDeleted(ev, r, false);
  EXPECT_EQ(Keys(ev, "__FREE"), 0u);
  EXPECT_EQ(Keys(ev, "PRINTED"), printed);
  for (int32_t r = 2; r <= 200; r += 2) Change(ev, r, "PRINTED", "X");
  EXPECT_LT(Keys(ev, "PRINTED"), printed);
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(dc->AppendBlank(), 0);
    ASSERT_EQ(dc->FieldByName("UT")->AssignText(pvtest::PlantTimeText(rng() % kRecords).c_str()), 0);
    ASSERT_EQ(dc->FieldByName("GUID")->AssignText(std::to_string(i % 500).c_str()), 0);
    ASSERT_EQ(dc->Unlock(), 0);
  }
  EXPECT_EQ(Problems(ev), "");
  EXPECT_EQ(Problems(dc), "");
  for (Table* t : tables) ASSERT_EQ(t->Close(), 0);
}

TEST_F(CdxEngineTest, PlantFixtureCopiesStayRightWhenChanged) {
  for (const char* name : {"_DCLOG", "_ARCHIVE", "_EVENTLOG"}) {
    SCOPED_TRACE(name);
    for (const char* ext : {".dbf", ".cdx"}) {
      pvtest::CopyFile(pvtest::FixturePath(std::string("plant/n1000-deleted/") + name + ext),
                       dir_.File(std::string(name) + ext));
    }
    Table* t = Table::Open(&ctx_, dir_.File(name));
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->OpenIndex(dir_.File(name)), nullptr);
    EXPECT_EQ(Problems(t), "");
    EXPECT_EQ(Keys(t, "__FREE"), 100u);
    // Recall the deleted ones, delete others, append a few copies of record 5.
    for (int32_t r = 10; r <= 1000; r += 10) SetDeleted(t, r, false);
    for (int32_t r = 3; r <= 1000; r += 7) SetDeleted(t, r, true);
    ASSERT_EQ(t->Go(5), 0);
    std::string image(t->RecordBuffer(), static_cast<size_t>(t->RecordWidth()));
    for (int i = 0; i < 50; ++i) {
      ASSERT_EQ(t->AppendBlank(), 0);
      std::memcpy(t->RecordBuffer(), image.data(), image.size());
      t->MarkChanged(1);
      ASSERT_EQ(t->Unlock(), 0);
    }
    EXPECT_EQ(Problems(t), "");
    EXPECT_EQ(Keys(t, "__FREE"), 143u);
    ASSERT_EQ(t->Close(), 0);
  }
}

// The same appends, changes, deletes and recalls through a table used
// exclusively (locks granted in memory, index nodes and the record count
// written at close) and through a shared one (every change written through)
// leave the same bytes: the .cdx differs only in its change counter, the
// .dbf not at all, also when pending nodes are written early and the cache
// starts over.
TEST_F(CdxEngineTest, ExclusiveUseLeavesTheSameFilesAsSharedUse) {
#ifdef PV_ASAN
  const int kAppends = 5000;
#else
  const int kAppends = 20000;
#endif
  // Shared, exclusive, and exclusive with the index deferred: built from
  // the sorted keys when the walk first asks for a tag.
  std::string paths[3], walks[3];
  for (int mode : {0, 1, 2}) {
    const bool exclusive = mode > 0;
    SCOPED_TRACE(mode);
    EngineContext ctx;
    ctx.set_index_opener(CdxIndexOpener());
    ctx.settings().exclusive = exclusive;
    ctx.settings().defer_index = mode == 2;
    FieldList f;
    TagList tags;
    pvtest::ArchiveLayout(&f, &tags);
    const std::string path = dir_.File(std::to_string(mode));
    paths[mode] = path;
    Table* t = Table::Create(&ctx, path, f);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->CreateIndex(path, tags), nullptr);
    // Small bounds, so that pending nodes are written early and the cache
    // starts over many times.
    CdxIndexOf(t->Indexes().front().get())->file()->SetCacheLimits(300, 100);
    if (exclusive) {
      // Nobody else gets at the files meanwhile.
      std::unique_ptr<File> other;
      EXPECT_TRUE(OpenFile(path + ".cdx", OpenOptions(), &other).IsBusy());
    }
    std::mt19937 rng(3);
    for (int i = 0; i < kAppends; ++i) {
      ASSERT_EQ(t->AppendBlank(), 0);
      ASSERT_EQ(t->FieldByName("POINTID")->AssignText(("P" + std::to_string(rng() % 500)).c_str()), 0);
      ASSERT_EQ(t->FieldByName("TIME")->AssignText(pvtest::PlantTimeText(i / 4).substr(8, 14).c_str()), 0);
      ASSERT_EQ(t->FieldByName("VAL")->AssignDouble(i * 0.5), 0);
      ASSERT_EQ(t->Unlock(), 0);
      if (i % 97 == 96) {
        // Delete a few (leaves empty out and go to the free list), change a
        // key, recall some of them again.
        int32_t r = static_cast<int32_t>(1 + rng() % static_cast<uint32_t>(i));
        SetDeleted(t, r, true);
        Change(t, static_cast<int32_t>(1 + rng() % static_cast<uint32_t>(i)), "POINTID", "MOVED");
        if (rng() % 2) SetDeleted(t, r, false);
      }
    }
    // A record read (and read ahead) before it is changed shows the change.
    ASSERT_EQ(t->Go(100), 0);
    ASSERT_EQ(t->Go(101), 0);
    Change(t, 102, "POINTID", "CHANGED");
    ASSERT_EQ(t->Go(103), 0);
    ASSERT_EQ(t->Go(102), 0);
    EXPECT_EQ(t->FieldByName("POINTID")->Text().rfind("CHANGED", 0), 0u);
    // Both walk the same records in tag order.
    t->SelectTag(t->TagByName("TIMEPTID"));
    for (int32_t r = t->Top(); r == 0; r = t->Skip(1)) {
      walks[mode].append(t->RecordBuffer(), static_cast<size_t>(t->RecordWidth()));
    }
    EXPECT_EQ(Problems(t), "");
    ASSERT_EQ(t->Close(), 0);
  }
  EXPECT_GT(walks[0].size(), static_cast<size_t>(kAppends) * 60 * 9 / 10);  // deleted ones are not in the tag
  EXPECT_TRUE(walks[0] == walks[1]);
  EXPECT_TRUE(walks[0] == walks[2]);
  std::string sh = pvtest::ReadFileBytes(paths[0] + ".cdx"), ex = pvtest::ReadFileBytes(paths[1] + ".cdx");
  ASSERT_EQ(sh.size(), ex.size());
  EXPECT_NE(sh.substr(8, 4), ex.substr(8, 4));  // one bump per write-through vs. per flush
  sh.replace(8, 4, 4, '\0');
  ex.replace(8, 4, 4, '\0');
  EXPECT_TRUE(sh == ex) << "the index files differ";
  EXPECT_TRUE(pvtest::ReadFileBytes(paths[0] + ".dbf") == pvtest::ReadFileBytes(paths[1] + ".dbf"));
  EXPECT_TRUE(pvtest::ReadFileBytes(paths[0] + ".dbf") == pvtest::ReadFileBytes(paths[2] + ".dbf"));
  // And the exclusive files, reopened shared, check out from the disk.
  for (int mode : {1, 2}) {
    Table* t = Table::Open(&ctx_, paths[mode]);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->OpenIndex(paths[mode]), nullptr);
    EXPECT_EQ(t->RecordCount(), kAppends);
    EXPECT_EQ(Problems(t), "");
    ASSERT_EQ(t->Close(), 0);
  }
}

// Runs dbf_worker; its exit code (its messages go to the test's output).
int RunWorker(std::vector<std::string> args) {
  args.insert(args.begin(), pvtest::ProgramPath("bin/dbf_worker"));
  const pvtest::ProcessResult r = pvtest::Run(args);
  std::fputs(r.err.c_str(), stderr);
  return r.exit_code;
}

// Two writer processes append at once while one process walks the index
// and another re-reads every record: no record is lost or written twice,
// each writer's records keep their order, the header count and the file are
// right, the readers see only blank (just appended) or whole records, and
// the index checks out.
TEST_F(CdxEngineTest, WriterProcessesAppendWhileReaderProcessesWalkAndRead) {
  Table* t = CreatePlant("_ARCHIVE", pvtest::ArchiveLayout);
  ASSERT_EQ(t->Close(), 0);
  const std::string path = dir_.File("_ARCHIVE");
#ifdef PV_ASAN
  const int kEach = 2000;
#else
  const int kEach = 20000;
#endif
  std::vector<int> results(4, -1);
  std::vector<std::thread> workers;
  for (const char* w : {"W1", "W2"}) {
    workers.emplace_back([&, w] {
      results[w[1] - '1'] = RunWorker({"append", path, std::to_string(kEach), w});
    });
  }
  workers.emplace_back([&] { results[2] = RunWorker({"walk", path, "TIMEPTID", "0"}); });
  workers.emplace_back([&] { results[3] = RunWorker({"read", path + ".dbf", "1500"}); });
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 0}));
  // After the writers: one more walk sees every record.
  EXPECT_EQ(RunWorker({"walk", path, "TIMEPTID", std::to_string(2 * kEach)}), 0);

  t = Table::Open(&ctx_, path);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->RecordCount(), 2 * kEach);
  std::vector<int> next(3, 1);  // per writer, the next STS expected
  for (int32_t r = t->Top(); r == 0; r = t->Skip(1)) {
    const int writer = std::atoi(t->FieldAt(1)->Text().c_str() + 1);
    ASSERT_TRUE(writer == 1 || writer == 2) << t->RecordNumber();
    EXPECT_EQ(t->FieldAt(4)->Long(), next[writer]++);
    EXPECT_EQ(t->FieldAt(3)->Double(), writer * 1e6 + t->FieldAt(4)->Long());
  }
  EXPECT_EQ(next[1], kEach + 1);
  EXPECT_EQ(next[2], kEach + 1);
  const std::string bytes = pvtest::ReadFileBytes(path + ".dbf");
  EXPECT_EQ(bytes.size(), 161u + 2u * kEach * 60 + 1);
  EXPECT_EQ(bytes.back(), '\x1A');
  ASSERT_NE(t->OpenIndex(path), nullptr);
  EXPECT_EQ(Problems(t), "");
  ASSERT_EQ(t->Close(), 0);
}

}  // namespace
}  // namespace pv
