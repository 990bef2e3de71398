// The index commands of pvdbf:
//   pvdbf check TABLE                       the index check, one summary per tag
//   pvdbf dump TABLE --tag NAME [--descend] records in the tag's order
//   pvdbf seek TABLE TAG KEY                the seek result and its record
#include <cstdio>

#include "tableengine/cdx_opener.h"
#include "tools/pvdbf.h"

namespace pvdbf {

namespace {

// Opens TABLE read-only with its compound index (TABLE's name with ".cdx").
pv::Table* OpenWithIndex(pv::EngineContext* ctx, const std::string& path) {
  ctx->set_index_opener(pv::CdxIndexOpener());
  pv::Table* t = OpenTable(ctx, path);
  if (t == nullptr) return nullptr;
  const std::string& name = t->FileName();
  if (t->OpenIndex(name.substr(0, name.find_last_of('.')) + ".cdx") == nullptr) {
    std::fprintf(stderr, "pvdbf: %s has no usable index file\n", name.c_str());
    t->Close();
    return nullptr;
  }
  return t;
}

const char* UniqueText(pv::CdxUnique u) {
  switch (u) {
    case pv::CdxUnique::kSilent: return "yes";
    case pv::CdxUnique::kError: return "error";
    default: return "no";
  }
}

void PrintRecord(pv::Table* t) {
  std::string line = RecordJson(t);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

int Check(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: pvdbf check TABLE\n");
    return 2;
  }
  pv::EngineContext ctx;
  pv::Table* t = OpenWithIndex(&ctx, args[0]);
  if (t == nullptr) return 1;
  std::vector<pv::CdxTagReport> reports;
  pv::Status s = pv::CdxCheckTable(t, &reports);
  size_t problems = 0;
  for (const pv::CdxTagReport& r : reports) {
    std::printf("tag %-10s key %s | filter %s | key length %d | unique %s | descending %s | keys %llu | depth %d\n",
                r.name.c_str(), r.key_expr.c_str(), r.filter.empty() ? "-" : r.filter.c_str(),
                r.key_length, UniqueText(r.unique), r.descending ? "yes" : "no",
                static_cast<unsigned long long>(r.keys), r.depth);
    for (const std::string& p : r.problems) std::printf("  fault: %s\n", p.c_str());
    problems += r.problems.size();
  }
  if (!s.ok()) {
    std::printf("index unreadable: %s\n", s.ToString().c_str());
    problems++;
  }
  std::printf(problems == 0 ? "index ok\n" : "index damaged: %zu faults\n", problems);
  int32_t closed = t->Close();
  return problems == 0 && closed == 0 ? 0 : 1;
}

int DumpTag(const std::vector<std::string>& args) {
  bool descend = args.size() == 4 && args[3] == "--descend";
  if ((args.size() != 3 && !descend) || args[1] != "--tag") {
    std::fprintf(stderr, "usage: pvdbf dump TABLE --tag NAME [--descend]\n");
    return 2;
  }
  pv::EngineContext ctx;
  pv::Table* t = OpenWithIndex(&ctx, args[0]);
  if (t == nullptr) return 1;
  pv::Tag* tag = t->TagByName(args[2]);
  if (tag == nullptr) {
    t->Close();
    return 1;
  }
  t->SelectTag(tag);
  int32_t r = descend ? t->Bottom() : t->Top();
  while (r == 0) {
    PrintRecord(t);
    r = t->Skip(descend ? -1 : 1);
  }
  int32_t closed = t->Close();
  return r < 0 || closed != 0 ? 1 : 0;
}

int Seek(const std::vector<std::string>& args) {
  if (args.size() != 3) {
    std::fprintf(stderr, "usage: pvdbf seek TABLE TAG KEY\n");
    return 2;
  }
  pv::EngineContext ctx;
  pv::Table* t = OpenWithIndex(&ctx, args[0]);
  if (t == nullptr) return 1;
  pv::Tag* tag = t->TagByName(args[1]);
  if (tag == nullptr) {
    t->Close();
    return 1;
  }
  t->SelectTag(tag);
  int32_t r = t->Seek(args[2]);
  if (r >= 0) {
    std::printf("%d\n", r);
    if (t->RecordNumber() >= 1 && !t->Eof()) PrintRecord(t);
  }
  int32_t closed = t->Close();
  return r < 0 || closed != 0 ? 1 : 0;
}

}  // namespace pvdbf
