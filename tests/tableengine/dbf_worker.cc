// dbf_worker: the other process of the cross-process table tests.
//
//   dbf_worker append TABLE N WRITER   appends N records (POINTID = WRITER,
//                                      STS = 1..N, VAL = WRITER's number * 1e6
//                                      + i), each as lock, assign, unlock
//   dbf_worker read TABLE MS           re-reads every record for MS ms; exits 3
//                                      when a record is neither blank nor whole
//                                      (read again under its lock when in doubt)
//   dbf_worker hold TABLE RECNO MARKER RELEASE  locks a record, writes
//                                      MARKER, waits until RELEASE exists (at
//                                      most 60 s), exits (releasing the lock)
// Exit code 0 on success; 1 on an engine error; 2 on bad arguments.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "foundation/platform/file.h"
#include "tableengine/engine_api.h"

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
  const int writer = std::atoi(id.c_str() + 1);  // "W<n>"
  return t->FieldAt(3)->Double() == writer * 1e6 + t->FieldAt(4)->Long();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string cmd = argv[1];
  pv::EngineContext ctx;
  ctx.set_error_hook(PrintError);
  ctx.settings().lock_attempts = 100000;  // wait out the other writer
  ctx.settings().lock_retry_ms = 1;
  pv::Table* t = pv::Table::Open(&ctx, argv[2]);
  if (t == nullptr) return 1;
  if (cmd == "append" && argc == 5) {
    const int n = std::atoi(argv[3]);
    const std::string writer = argv[4];
    const int number = std::atoi(writer.c_str() + 1);
    for (int i = 1; i <= n; i++) {
      if (t->AppendBlank() != 0) return 1;
      if (t->FieldAt(1)->AssignText(writer.c_str()) != 0) return 1;
      if (t->FieldAt(4)->AssignLong(i) != 0) return 1;
      if (t->FieldAt(3)->AssignDouble(number * 1e6 + i) != 0) return 1;
      if (t->Unlock() != 0) return 1;
    }
  } else if (cmd == "read" && argc == 4) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[3]));
    while (std::chrono::steady_clock::now() < end) {
      for (int32_t r = t->Top(); r == 0; r = t->Skip(1)) {
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
  } else {
    return 2;
  }
  return t->Close() == 0 ? 0 : 1;
}
