// persist_lock_holder: the other process of the lock tests. Locks one record
// of a table, announces it by creating a file, holds the lock for a while
// and exits.
//
//   persist_lock_holder TABLE_PATH RECNO HOLD_MS READY_FILE
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/platform/file.h"
#include "foundation/platform/thread.h"
#include "tableengine/engine_api.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: persist_lock_holder TABLE_PATH RECNO HOLD_MS READY_FILE\n");
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
  if (!pv::WriteFileAtomically(argv[4], "locked").ok()) return 1;
  pv::SleepMillis(static_cast<uint32_t>(std::atoi(argv[3])));
  return table->Close() == pv::kEngineOk ? 0 : 1;
}
