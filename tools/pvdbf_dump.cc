// pvdbf dump TABLE: every record in file order, one JSON object per line
// (in a tag's order with --tag: pvdbf_index.cc).
#include <cstdio>

#include "tools/pvdbf.h"

namespace pvdbf {

int Dump(const std::vector<std::string>& args) {
  if (args.size() > 1) return DumpTag(args);
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: pvdbf dump TABLE\n");
    return 2;
  }
  pv::EngineContext ctx;
  pv::Table* t = OpenTable(&ctx, args[0]);
  if (t == nullptr) return 1;
  int32_t r = t->Top();
  while (r == 0) {
    std::string line = RecordJson(t);
    if (ctx.ErrorCode() != 0) return 1;
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    r = t->Skip(1);
  }
  if (r < 0) return 1;
  return t->Close() == 0 ? 0 : 1;
}

}  // namespace pvdbf
