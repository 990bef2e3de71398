// persist_lock_holder: the other process of the lock tests. Locks one record
// of a table, announces it by creating a file, holds the lock until the
// release file exists (at most 60 s) and exits.
//
//   persist_lock_holder TABLE_PATH RECNO READY_FILE RELEASE_FILE
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/platform/file.h"
#include "foundation/platform/thread.h"
#include "tableengine/engine_api.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: persist_lock_holder TABLE_PATH RECNO READY_FILE RELEASE_FILE\n");
    return 2;
  }
  pv::EngineContext context;
  pv::Table* table = pv::Table::Open(&context, argv[1]);
  if (table == nullptr) {
    std::fprintf(stderr, "persist_lock_holder: cannot open %s\n", argv[1]);
    return 1;
  }
  if (table->LockRecord(std::atoi(argv[2])) != pv::kEngineOk) {
    std::fprintf(stderr, "persist_lock_holder: cannot lock record %s\n", argv[2]);
    return 1;
  }
  if (!pv::WriteFileAtomically(argv[3], "locked").ok()) return 1;
  for (int i = 0; i < 6000 && !pv::PathExists(argv[4]); ++i) pv::SleepMillis(10);
  return table->Close() == pv::kEngineOk ? 0 : 1;
}
