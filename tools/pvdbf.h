// pvdbf: the table tool. Each command is one entry of the table in pvdbf.cc,
// implemented in its own pvdbf_<command>.cc.
#ifndef PV_TOOLS_PVDBF_H_
#define PV_TOOLS_PVDBF_H_

#include <string>
#include <vector>

#include "tableengine/engine_api.h"

namespace pvdbf {

// Runs a command with its arguments (after the command name). Returns the
// process exit code; messages go to stdout/stderr.
using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
  const char* name;
  const char* usage;  // arguments, for the help text
  CommandFn run;
};

int Info(const std::vector<std::string>& args);
int Dump(const std::vector<std::string>& args);
// Index commands (pvdbf_index.cc).
int Check(const std::vector<std::string>& args);
int DumpTag(const std::vector<std::string>& args);  // dump TABLE --tag NAME [--descend]
int Seek(const std::vector<std::string>& args);

// Opens TABLE (with or without ".dbf") read-only in ctx; prints the engine's
// error and returns null on failure.
pv::Table* OpenTable(pv::EngineContext* ctx, const std::string& path);

// The current record as one JSON object: fields in order, then "_recno" and
// "_deleted". Character bytes map to the code points of the same number
// (ISO-8859-1), so the bytes stay exact.
std::string RecordJson(pv::Table* table);

}  // namespace pvdbf

#endif  // PV_TOOLS_PVDBF_H_
