// pvdbf info TABLE: header facts, fields, memo and index files.
#include <cstdio>

#include "tools/pvdbf.h"

namespace pvdbf {

int Info(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: pvdbf info TABLE\n");
    return 2;
  }
  pv::EngineContext ctx;
  pv::Table* t = OpenTable(&ctx, args[0]);
  if (t == nullptr) return 1;
  const int32_t count = t->RecordCount();
  if (count < 0) return 1;
  const pv::DbfHeader& h = t->Header();
  std::printf("file: %s\n", t->FileName().c_str());
  std::printf("version: 0x%02X\n", h.version);
  std::printf("records: %d\n", count);
  std::printf("header length: %d\n", h.header_length);
  std::printf("record length: %d\n", h.record_length);
  std::printf("last update: %04d-%02d-%02d\n", h.year, h.month, h.day);
  std::printf("code page mark: 0x%02X\n", h.codepage);
  std::printf("table flags: 0x%02X\n", h.table_flags);
  std::printf("fields: %d\n", t->FieldCount());
  for (int32_t i = 1; i <= t->FieldCount(); i++) {
    pv::Field* f = t->FieldAt(i);
    std::printf("  %-10s %c %3d %2d%s\n", f->Name().c_str(), f->Type(), f->Width(), f->Decimals(),
                f->Nullable() ? " null" : "");
  }
  std::printf("memo file: %s\n", t->HasMemoFile() ? t->MemoFileName().c_str() : "none");
  std::string cdx = t->FileName().substr(0, t->FileName().find_last_of('.')) + ".cdx";
  ctx.settings().open_error = false;  // a table without an index is fine
  pv::IndexFile* index = t->OpenIndex(cdx);
  ctx.settings().open_error = true;
  if (index != nullptr) {
    std::printf("index: %s\n", index->Path().c_str());
    for (int32_t i = 0; i < index->TagCount(); i++) std::printf("  tag %s\n", index->TagAt(i)->Name().c_str());
  } else if (ctx.ErrorCode() != 0) {
    return 1;
  } else {
    std::printf("index: none\n");
  }
  return t->Close() == 0 ? 0 : 1;
}

}  // namespace pvdbf
