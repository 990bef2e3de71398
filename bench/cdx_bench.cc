// cdx_bench [ARCHIVE_RECORDS [EVENTLOG_RECORDS [SEEKS [shared|exclusive|both]]]]:
// the compound index under the plant tag sets, through the engine's table
// interface.
//   - appends _ARCHIVE and _EVENTLOG records one at a time (lock, assign,
//     unlock) with every tag maintained: records per second;
//   - seeks random keys in the _ARCHIVE tag PTIDTIME: microseconds per seek;
//   - walks the whole TIMEPTID tag from top to bottom through the table
//     (each step one index operation and one record read): records per
//     second; and the same tag's keys alone in one index operation.
// Each runs with the files shared (the plant tables' mode: every operation
// takes the index lock and checks the change counter, every change is
// written through) and opened exclusively (no locks, changes written at
// close). Defaults: 1,000,000 / 200,000 / 100,000, both modes. Files go to
// a fresh directory under the system's temporary directory, removed at the
// end.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "foundation/platform/file.h"
#include "foundation/platform/thread.h"
#include "tableengine/cdx_index.h"
#include "tableengine/cdx_opener.h"
#include "tableengine/engine_api.h"
#include "tests/tableengine/plant_layouts.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

pv::Table* Create(pv::EngineContext* ctx, const std::string& path,
                  void (*layout)(pv::FieldList*, pv::TagList*)) {
  pv::FieldList f;
  pv::TagList t;
  layout(&f, &t);
  pv::Table* table = pv::Table::Create(ctx, path, f);
  if (table == nullptr || table->CreateIndex(path, t) == nullptr) {
    std::fprintf(stderr, "cdx_bench: cannot create %s (error %d)\n", path.c_str(), ctx->ErrorCode());
    std::exit(1);
  }
  return table;
}

void Check(int32_t rc, const char* what) {
  if (rc != 0) {
    std::fprintf(stderr, "cdx_bench: %s failed: %d\n", what, rc);
    std::exit(1);
  }
}

std::string PointId(uint32_t i) { return "AREA0" + std::to_string(i % 8) + ".PIC" + std::to_string(i % 997) + ".PV"; }


// Walks every key of the tag in one index operation: the cost of the tree
// walk alone.
uint32_t WalkKeys(pv::Table* table, const char* tag_name) {
  pv::CdxIndex* index = pv::CdxIndexOf(table->Indexes().front().get());
  pv::CdxTag* tag = index->FindTag(tag_name);
  pv::CdxScope scope(index->file(), false);
  Check(scope.status().ok() ? 0 : -1, "index scope");
  pv::CdxPos pos;
  pv::Status s = tag->tree()->Load();
  if (s.ok()) s = tag->tree()->First(&pos);
  uint32_t keys = 0;
  while (s.ok() && pos.valid()) {
    ++keys;
    s = tag->tree()->Next(&pos);
  }
  Check(s.ok() ? 0 : -1, "key walk");
  return keys;
}

void RunSuite(const std::string& dir, bool exclusive, uint32_t archive_n, uint32_t event_n,
              uint32_t seeks) {
  const char* mode = exclusive ? "exclusive" : "shared   ";
  pv::EngineContext ctx;
  ctx.set_index_opener(pv::CdxIndexOpener());
  ctx.settings().exclusive = exclusive;

  pv::Table* ar = Create(&ctx, dir + "_ARCHIVE", pvtest::ArchiveLayout);
  auto start = std::chrono::steady_clock::now();
  for (uint32_t i = 0; i < archive_n; ++i) {
    Check(ar->AppendBlank(), "append");
    Check(ar->FieldByName("POINTID")->AssignText(PointId(i).c_str()), "assign");
    Check(ar->FieldByName("TIME")->AssignText(pvtest::PlantTimeText(i / 10).substr(8, 14).c_str()), "assign");
    Check(ar->FieldByName("VAL")->AssignDouble(i * 0.25), "assign");
    Check(ar->FieldByName("STS")->AssignLong(static_cast<int32_t>(i % 3)), "assign");
    Check(ar->Unlock(), "unlock");
  }
  double t = Seconds(start);
  std::printf("%s _ARCHIVE appends, 4 tags: %u records in %.2f s = %.0f records/s\n", mode, archive_n, t,
              archive_n / t);

  pv::Table* ev = Create(&ctx, dir + "_EVENTLOG", pvtest::EventLogLayout);
  std::mt19937 rng(1);
  start = std::chrono::steady_clock::now();
  for (uint32_t i = 0; i < event_n; ++i) {
    Check(ev->AppendBlank(), "append");
    Check(ev->FieldByName("TYPE")->AssignLong(static_cast<int32_t>(rng() % 40)), "assign");
    Check(ev->FieldByName("OBJNUM")->AssignLong(static_cast<int32_t>(rng() % 5000)), "assign");
    Check(ev->FieldByName("OLDSTATE")->AssignLong(static_cast<int32_t>(rng() % 256)), "assign");
    Check(ev->FieldByName("NEWSTATE")->AssignLong(static_cast<int32_t>(rng() % 256)), "assign");
    Check(ev->FieldByName("UTC")->AssignLong(static_cast<int32_t>(1704067200 + i / 3)), "assign");
    Check(ev->FieldByName("TIMESTAMP")->AssignLong(static_cast<int32_t>(rng() % 1000)), "assign");
    Check(ev->FieldByName("PRINTED")->AssignText(rng() % 3 ? "T" : "F"), "assign");
    Check(ev->FieldByName("DOPRINT")->AssignText(rng() % 2 ? "T" : "F"), "assign");
    Check(ev->Unlock(), "unlock");
  }
  t = Seconds(start);
  std::printf("%s _EVENTLOG appends, 7 tags: %u records in %.2f s = %.0f records/s\n", mode, event_n, t,
              event_n / t);

  ar->SelectTag(ar->TagByName("PTIDTIME"));
  start = std::chrono::steady_clock::now();
  uint32_t found = 0;
  for (uint32_t i = 0; i < seeks; ++i) {
    uint32_t r = static_cast<uint32_t>(rng() % archive_n);
    std::string key = PointId(r);
    key.resize(22, ' ');
    key += pvtest::PlantTimeText(r / 10).substr(8, 14);
    if (ar->Seek(key) == 0) ++found;
  }
  t = Seconds(start);
  std::printf("%s seeks in PTIDTIME (%u keys): %u seeks, %u found, %.2f us/seek\n", mode, archive_n, seeks,
              found, t * 1e6 / seeks);

  ar->SelectTag(ar->TagByName("TIMEPTID"));
  start = std::chrono::steady_clock::now();
  uint32_t walked = 0;
  for (int32_t rc = ar->Top(); rc == 0; rc = ar->Skip(1)) ++walked;
  t = Seconds(start);
  std::printf("%s walk of TIMEPTID through the table: %u records in %.2f s = %.0f records/s\n",
              mode, walked, t, walked / t);
  start = std::chrono::steady_clock::now();
  walked = WalkKeys(ar, "TIMEPTID");
  t = Seconds(start);
  std::printf("%s walk of TIMEPTID keys, one operation: %u keys in %.3f s = %.0f keys/s\n", mode,
              walked, t, walked / t);
  std::fflush(stdout);

  Check(ar->Remove(), "remove");
  Check(ev->Remove(), "remove");
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t archive_n = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 1000000;
  const uint32_t event_n = argc > 2 ? static_cast<uint32_t>(std::atol(argv[2])) : 200000;
  const uint32_t seeks = argc > 3 ? static_cast<uint32_t>(std::atol(argv[3])) : 100000;
  const std::string modes = argc > 4 ? argv[4] : "both";
  if (archive_n == 0 || (modes != "shared" && modes != "exclusive" && modes != "both")) {
    std::fprintf(stderr, "usage: cdx_bench [ARCHIVE_RECORDS>0 [EVENTLOG_RECORDS [SEEKS [shared|exclusive|both]]]]\n");
    return 2;
  }
  const std::filesystem::path scratch = std::filesystem::temp_directory_path() /
      ("cdx_bench-" + std::to_string(pv::CurrentProcessId()));
  std::filesystem::create_directories(scratch);
  const std::string dir = scratch.generic_string() + "/";
  if (modes != "exclusive") RunSuite(dir, false, archive_n, event_n, seeks);
  if (modes != "shared") RunSuite(dir, true, archive_n, event_n, seeks);
  std::error_code ignored;  // a leftover scratch directory harms no other run
  std::filesystem::remove_all(scratch, ignored);
  return 0;
}
