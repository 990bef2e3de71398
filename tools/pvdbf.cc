// pvdbf COMMAND ARGS...: inspects dBASE tables as the table engine sees them.
#include "tools/pvdbf.h"

#include <cstdio>
#include <cstring>

namespace pvdbf {

namespace {

const Command kCommands[] = {
    {"info", "TABLE", Info},
    {"dump", "TABLE [--tag NAME [--descend]]", Dump},
    {"check", "TABLE", Check},
    {"seek", "TABLE TAG KEY", Seek},
};

void Usage() {
  std::fprintf(stderr, "usage:\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  pvdbf %s %s\n", c.name, c.usage);
}

}  // namespace

}  // namespace pvdbf

int main(int argc, char** argv) {
  if (argc < 2) {
    pvdbf::Usage();
    return 2;
  }
  for (const pvdbf::Command& c : pvdbf::kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) {
      std::vector<std::string> args(argv + 2, argv + argc);
      return c.run(args);
    }
  }
  std::fprintf(stderr, "pvdbf: unknown command '%s'\n", argv[1]);
  pvdbf::Usage();
  return 2;
}
