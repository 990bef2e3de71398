// cdx_worker: the other process of the cross-process index tests, on an
// _ARCHIVE table with its plant tags.
//
//   cdx_worker append TABLE N        appends N records (TIME rising, POINTID
//                                    W<i % 100>), each as lock, assign, unlock
//   cdx_worker walk TABLE TAG COUNT  walks TAG (TIME+POINTID order) from top to
//                                    bottom; COUNT 0: again and again for 3 s,
//                                    else once, expecting COUNT records
// Exit code 0 on success; 1 engine error; 2 bad arguments; 3 keys out of
// order; 4 a record number beyond the file; 5 wrong count.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tableengine/cdx_opener.h"
#include "tableengine/engine_api.h"
#include "tests/tableengine/plant_layouts.h"

namespace {

void PrintError(pv::EngineContext*, int32_t code, int32_t, const char* d1, const char* d2,
                const char*) {
  std::fprintf(stderr, "cdx_worker: %d %s %s\n", code, d1 ? d1 : "", d2 ? d2 : "");
}

int Append(pv::Table* t, int n) {
  for (int i = 0; i < n; ++i) {
    if (t->AppendBlank() != 0) return 1;
    std::string id = "W" + std::to_string(i % 100);
    std::string time = pvtest::PlantTimeText(static_cast<uint32_t>(i)).substr(8, 14);
    if (t->FieldByName("POINTID")->AssignText(id.c_str()) != 0) return 1;
    if (t->FieldByName("TIME")->AssignText(time.c_str()) != 0) return 1;
    if (t->FieldByName("STS")->AssignLong(i) != 0) return 1;
    if (t->Unlock() != 0) return 1;
  }
  return 0;
}

int WalkOnce(pv::Table* t, int* seen) {
  std::string prev;
  int32_t prev_recno = 0;
  *seen = 0;
  for (int32_t r = t->Top(); r == 0; r = t->Skip(1)) {
    int32_t recno = t->RecordNumber();
    if (recno < 1 || recno > t->RecordCount()) return 4;
    std::string key = t->FieldByName("TIME")->Text() + t->FieldByName("POINTID")->Text();
    if (key < prev || (key == prev && recno <= prev_recno)) {
      std::fprintf(stderr, "cdx_worker: record %d out of order\n", recno);
      return 3;
    }
    prev = key;
    prev_recno = recno;
    ++*seen;
  }
  return t->Context()->ErrorCode() < 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string cmd = argv[1];
  pv::EngineContext ctx;
  ctx.set_error_hook(PrintError);
  ctx.set_index_opener(pv::CdxIndexOpener());
  ctx.settings().lock_attempts = 100000;
  ctx.settings().lock_retry_ms = 1;
  ctx.settings().read_only = cmd == "walk";
  pv::Table* t = pv::Table::Open(&ctx, argv[2]);
  if (t == nullptr || t->OpenIndex(argv[2]) == nullptr) return 1;
  int rc = 2;
  if (cmd == "append") {
    rc = Append(t, std::atoi(argv[3]));
  } else if (cmd == "walk" && argc == 5) {
    pv::Tag* tag = t->TagByName(argv[3]);
    if (tag == nullptr) return 1;
    t->SelectTag(tag);
    const int expect = std::atoi(argv[4]);
    int seen = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    do {
      rc = WalkOnce(t, &seen);
    } while (rc == 0 && expect == 0 && std::chrono::steady_clock::now() < end);
    if (rc == 0 && expect != 0 && seen != expect) {
      std::fprintf(stderr, "cdx_worker: walked %d records, expected %d\n", seen, expect);
      rc = 5;
    }
  }
  if (t->Close() != 0 && rc == 0) rc = 1;
  return rc;
}
