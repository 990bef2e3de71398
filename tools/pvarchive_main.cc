// pvarchive COMMAND DEST [options]: lists, verifies and exports the day
// archives below a destination directory.
//
// Exit codes: 0 all well, 1 problems found (verify) or the data could not be
// had (list, export), 2 bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serverlink/eci_client.h"
#include "tools/pvarchive.h"

namespace pvarchive {
namespace {

int Usage(const char* why) {
  if (why != nullptr) std::fprintf(stderr, "pvarchive: %s\n", why);
  std::fprintf(stderr,
               "usage:\n"
               "  pvarchive list DEST [--day YYYYMMDD] [--json]\n"
               "  pvarchive verify DEST [--day D | --from D --to D] [--code CODE | --store FILE.do]\n"
               "                   [--plant PROJECTDIR] [--hours H] [--json]\n"
               "  pvarchive export DEST --day D --kind K [--interval MMDD_HHh]\n"
               "                   --format csv|jsonl|dbf [--code CODE | --store FILE.do] [--output FILE]\n"
               "DEST is the destination directory (\"MoDrv\"); H the interval length in hours\n"
               "(default: \"WriteInterval\" of the kestrel.ini beside this program).\n");
  return kExitUsage;
}

bool IsDate(const std::string& s) {
  return s.size() == 8 && s.find_first_not_of("0123456789") == std::string::npos;
}

// The project code as packvault reads it: the text of "$PACKVAULT".
bool CodeFromStore(const std::string& store, std::string* code) {
  if (DosvConnectApp("pvarchive", store.c_str()) != 0) {
    std::fprintf(stderr, "pvarchive: cannot read the object store %s: %s\n", store.c_str(),
                 EciLastError());
    return false;
  }
  DoValue number, text;
  if (DoGetObjNum("$PACKVAULT", &number) != 0 ||
      DoGetSoTxt(static_cast<uint16_t>(number.lval), &text) != 0 || !DoIsText(text) ||
      text.text == nullptr) {
    std::fprintf(stderr, "pvarchive: the store %s has no text object \"$PACKVAULT\"\n",
                 store.c_str());
    return false;
  }
  *code = text.text;
  return true;
}

}  // namespace
}  // namespace pvarchive

int main(int argc, char** argv) {
  using namespace pvarchive;
  if (argc < 3) return Usage(nullptr);
  const std::string command = argv[1];
  Options o;
  o.dest = argv[2];
  std::string store;
  bool have_code = false;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    auto value = [&]() { return std::string(argv[++i]); };
    if (a == "--json") {
      o.json = true;
    } else if (!has_value) {
      return Usage(("missing value or unknown option " + a).c_str());
    } else if (a == "--day") {
      o.from = o.to = value();
    } else if (a == "--from") {
      o.from = value();
    } else if (a == "--to") {
      o.to = value();
    } else if (a == "--code") {
      o.code = value();
      have_code = true;
    } else if (a == "--store") {
      store = value();
    } else if (a == "--plant") {
      o.plant = value();
    } else if (a == "--kind") {
      o.kind = value();
    } else if (a == "--interval") {
      o.interval = value();
    } else if (a == "--format") {
      o.format = value();
    } else if (a == "--output") {
      o.output = value();
    } else if (a == "--hours") {
      o.hours = std::atoi(argv[++i]);
      if (o.hours <= 0 || o.hours > 24 || 24 % o.hours != 0) return Usage("--hours must divide 24");
    } else {
      return Usage(("unknown option " + a).c_str());
    }
  }
  if ((!o.from.empty() && !IsDate(o.from)) || (!o.to.empty() && !IsDate(o.to))) {
    return Usage("a day is YYYYMMDD");
  }
  if (have_code && !store.empty()) return Usage("--code and --store exclude each other");
  if (!store.empty() && !CodeFromStore(store, &o.code)) return kExitUsage;

  if (command == "list") return List(o);
  if (command == "verify") return Verify(o);
  if (command == "export") {
    if (o.from.empty() || o.from != o.to) return Usage("export needs --day");
    if (FindKind(o.kind) == nullptr) return Usage("export needs --kind _DCLOG, _ARCHIVE or _EVENTLOG");
    if (o.format != "csv" && o.format != "jsonl" && o.format != "dbf") {
      return Usage("--format is csv, jsonl or dbf");
    }
    if (!o.interval.empty() && o.interval.size() != 8) return Usage("an interval is MMDD_HHh");
    o.kind = FindKind(o.kind)->name;
    return Export(o);
  }
  return Usage(("unknown command " + command).c_str());
}
