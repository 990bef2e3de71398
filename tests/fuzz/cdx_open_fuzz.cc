// Fuzzes opening, walking, seeking, checking and updating a compound index.
// The input is the .cdx of a small table (fields NAME C20, NUM N11, DAY D8,
// FLAG C1, 30 records), used shared or exclusively; the seed corpus holds
// an index of that table made by the engine (tags __FREE, NAME, NUMDESC
// descending, DAYNAME filtered, UNIQ unique), once as made and once with a
// byte more (odd length: exclusive use). Whatever the bytes, the engine must
// answer with a result or an error, never crash, read out of bounds or loop.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "tableengine/cdx_opener.h"
#include "tableengine/engine_api.h"
#include "tableengine/mem_file_system.h"

namespace {

pv::Table* MakeTable(pv::EngineContext* ctx) {
  pv::FieldList f;
  f.Add("NAME", 'C', 20, 0);
  f.Add("NUM", 'N', 11, 0);
  f.Add("DAY", 'D', 8, 0);
  f.Add("FLAG", 'C', 1, 0);
  pv::Table* t = pv::Table::Create(ctx, "t", f);
  for (int i = 0; t != nullptr && i < 30; ++i) {
    t->AppendBlank();
    t->FieldAt(1)->AssignText(("N" + std::to_string(i * 7 % 11)).c_str());
    t->FieldAt(2)->AssignLong(i * 37 % 101 - 50);
    t->FieldAt(3)->AssignText(("202401" + std::to_string(10 + i % 20)).c_str());
    t->FieldAt(4)->AssignText(i % 3 ? "T" : "F");
    if (i % 5 == 0) t->Delete();
    t->Unlock();
  }
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pv::MemFileSystem fs;
  fs.set_capacity(size + (1u << 20));
  pv::EngineContext ctx(&fs);
  ctx.set_index_opener(pv::CdxIndexOpener());
  // Inputs of odd length run in exclusive use (changed nodes kept until
  // close), the others shared (every change written through).
  ctx.settings().exclusive = (size & 1) != 0;
  pv::Table* t = MakeTable(&ctx);
  if (t == nullptr) return 0;
  if (getenv("CDX_FUZZ_WRITE_SEED") != nullptr) {  // writes the seed corpus entry
    pv::TagList tags;
    tags.Add("__FREE", "RECNO()", "DELETED()", pv::UniqueMode::kKeepDuplicates, false);
    tags.Add("NAME", "NAME", ".NOT.DELETED()", pv::UniqueMode::kKeepDuplicates, false);
    tags.Add("NUMDESC", "NUM", "", pv::UniqueMode::kKeepDuplicates, true);
    tags.Add("DAYNAME", "DTOS(DAY)+UPPER(NAME)", "FLAG='T'", pv::UniqueMode::kKeepDuplicates, false);
    tags.Add("UNIQ", "LEFT(NAME,2)", "", pv::UniqueMode::kUniqueSilent, false);
    t->CreateIndex("seed.cdx", tags);
    t->Close();
    std::string bytes = fs.Contents("seed.cdx");
    FILE* out = fopen(getenv("CDX_FUZZ_WRITE_SEED"), "wb");
    if (out != nullptr) {
      fwrite(bytes.data(), 1, bytes.size(), out);
      fclose(out);
    }
    return 0;
  }
  fs.SetContents("t.cdx", std::string(reinterpret_cast<const char*>(data), size));
  if (t->OpenIndex("t.cdx") == nullptr) {
    t->Close();
    return 0;
  }
  pv::IndexFile* index = t->Indexes()[0].get();
  for (int32_t i = 0; i < index->TagCount(); ++i) {
    t->SelectTag(index->TagAt(i));
    int32_t n = 0;
    for (int32_t r = t->Top(); r == 0 && n < 100; r = t->Skip(1)) ++n;
    for (int32_t r = t->Bottom(); r == 0 && n < 200; r = t->Skip(-1)) ++n;
    t->Seek("N3");
    t->SeekNext("N3");
    t->Seek("-5");
    t->Seek("20240115");
  }
  std::vector<pv::CdxTagReport> reports;
  pv::CdxCheckTable(t, &reports);
  // Upkeep on whatever the index holds: a change, a delete, an append.
  if (t->Go(2, true) == 0 && t->LockRecord(2) == 0) {
    t->FieldAt(1)->AssignText("CHANGED");
    t->Delete();
    t->Unlock();
  }
  t->AppendBlank();
  t->Unlock();
  t->Close();
  return 0;
}
