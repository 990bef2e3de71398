// Fuzzes opening, walking and changing a data file with its memo file.
// The input is the .dbf; the same bytes also serve as the .fpt, so memo
// headers and blocks get fuzzed along with the references to them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tableengine/engine_api.h"
#include "tableengine/mem_file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pv::MemFileSystem fs;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fs.SetContents("f.dbf", bytes);
  fs.SetContents("f.fpt", bytes);
  fs.SetContents("f.dbt", bytes);
  fs.set_capacity(size + (1u << 20));
  pv::EngineContext ctx(&fs);
  pv::Table* t = pv::Table::Open(&ctx, "f.dbf");
  if (t == nullptr) return 0;
  int32_t n = 0;
  for (int32_t r = t->Top(); r == 0 && n < 200; r = t->Skip(1), n++) {
    for (int32_t i = 1; i <= t->FieldCount(); i++) {
      pv::Field* f = t->FieldAt(i);
      f->Text();
      f->Double();
      f->Long();
      f->IsNull();
    }
  }
  // One change: lock, assign every field from its own text, write.
  if (t->LockRecord(1) == 0 && t->Go(1) == 0) {
    for (int32_t i = 1; i <= t->FieldCount(); i++) {
      pv::Field* f = t->FieldAt(i);
      const std::string text = f->Text();
      f->AssignText(text.c_str(), text.size());
      f->AssignDouble(f->Double());
    }
    t->AppendBlank();
  }
  t->Close();
  return 0;
}
