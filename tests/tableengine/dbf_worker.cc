// dbf_worker: the other process of the cross-process table and index tests,
// on an _ARCHIVE table; with TABLE.cdx beside it, the index is kept too.
//
//   dbf_worker append TABLE N WRITER   appends N records (POINTID = WRITER.<i % 100>,
//                                      TIME rising, STS = i = 1..N, VAL =
//                                      WRITER's number * 1e6 + i), each as
//                                      lock, assign, unlock
//   dbf_worker read TABLE MS           re-reads every record for MS ms; exits 3
//                                      when a record is neither blank nor whole
//                                      (read again under its lock when in doubt)
//   dbf_worker hold TABLE RECNO MARKER RELEASE  locks a record, writes
//                                      MARKER, waits until RELEASE exists (at
//                                      most 60 s), exits (releasing the lock)
//   dbf_worker walk TABLE TAG COUNT    walks TAG (TIME+POINTID order) from top
//                                      to bottom; COUNT 0: again and again for
//                                      3 s, else once, expecting COUNT records
// Exit code 0 on success; 1 engine error; 2 bad arguments; 3 a record not
// whole or out of order; 4 a record number beyond the file; 5 wrong count.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "foundation/platform/file.h"
#include "tableengine/cdx_opener.h"
#include "tableengine/engine_api.h"
#include "tests/tableengine/plant_layouts.h"

namespace {

void PrintError(pv::EngineContext*, int32_t code, int32_t, const char* d1, const char* d2, const char*) {
  std::fprintf(stderr, "dbf_worker: %d %s %s\n", code, d1 ? d1 : "", d2 ? d2 : "");
}

// A record is whole when its VAL agrees with its POINTID and STS.
bool WholeRecord(pv::Table* t) {
  if (t->Deleted()) return false;
  std::string id = t->FieldAt(1)->Text();
  if (id.find_first_not_of(' ') == std::string::npos) {
    return std::string(t->RecordBuffer(), static_cast<size_t>(t->RecordWidth())) ==
           std::string(static_cast<size_t>(t->RecordWidth()), ' ');
  }
  const int writer = std::atoi(id.c_str() + 1);  // "W<n>.<i>"
  return t->FieldAt(3)->Double() == writer * 1e6 + t->FieldAt(4)->Long();
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
      std::fprintf(stderr, "dbf_worker: record %d out of order\n", recno);
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
  std::string base = argv[2];
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".dbf") == 0) base.resize(base.size() - 4);
  pv::EngineContext ctx;
  ctx.set_error_hook(PrintError);
  ctx.set_index_opener(pv::CdxIndexOpener());
  ctx.settings().lock_attempts = 100000;  // wait out the other writer
  ctx.settings().lock_retry_ms = 1;
  ctx.settings().read_only = cmd == "walk";
  pv::Table* t = pv::Table::Open(&ctx, argv[2]);
  if (t == nullptr) return 1;
  if (pv::PathExists(base + ".cdx") && t->OpenIndex(base) == nullptr) return 1;
  int rc = 0;
  if (cmd == "append" && argc == 5) {
    const int n = std::atoi(argv[3]);
    const std::string writer = argv[4];
    const int number = std::atoi(writer.c_str() + 1);
    for (int i = 1; i <= n && rc == 0; i++) {
      const std::string id = writer + "." + std::to_string(i % 100);
      const std::string time = pvtest::PlantTimeText(static_cast<uint32_t>(i)).substr(8, 14);
      rc = t->AppendBlank() != 0 || t->FieldAt(1)->AssignText(id.c_str()) != 0 ||
                   t->FieldAt(2)->AssignText(time.c_str()) != 0 || t->FieldAt(4)->AssignLong(i) != 0 ||
                   t->FieldAt(3)->AssignDouble(number * 1e6 + i) != 0 || t->Unlock() != 0
               ? 1
               : 0;
    }
  } else if (cmd == "read" && argc == 4) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[3]));
    while (rc == 0 && std::chrono::steady_clock::now() < end) {
      for (int32_t r = t->Top(); r == 0 && rc == 0; r = t->Skip(1)) {
        // Reads and writes of a file are not atomic with respect to each
        // other: a record read while its writer writes it may show a mix.
        // Read under the record's lock (which the writer holds until the
        // record is written), it must be whole.
        if (!WholeRecord(t)) {
          const int32_t recno = t->RecordNumber();
          if (t->LockRecord(recno) != 0 || t->Go(recno) != 0) return 1;
        }
        if (!WholeRecord(t)) {
          std::fprintf(stderr, "dbf_worker: record %d not whole\n", t->RecordNumber());
          return 3;
        }
      }
      if (ctx.ErrorCode() != 0) return 1;
    }
  } else if (cmd == "hold" && argc == 6) {
    if (t->LockRecord(std::atoi(argv[3])) != 0) return 1;
    if (!pv::WriteFileAtomically(argv[4], "locked").ok()) return 1;
    for (int i = 0; i < 6000 && !pv::PathExists(argv[5]); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
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
      std::fprintf(stderr, "dbf_worker: walked %d records, expected %d\n", seen, expect);
      rc = 5;
    }
  } else {
    return 2;
  }
  if (t->Close() != 0 && rc == 0) rc = 1;
  return rc;
}
