#include "tools/plantsim_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/zr_time.h"

namespace plantsim {

const char kUsage[] =
    "usage: plantsim PROJECTDIR [--kinds dclog,archive,eventlog] [--store FILE.do]\n"
    "                [--fill N [--from UTC --to UTC]] [--rate R [--duration S]]\n"
    "                [--seed N] [--delete-share F] [--local-offset S]\n";

bool ParseUtc(const char* text, uint32_t* pc) {
  unsigned y, mo, d, h, mi, s;
  char tail[4] = {0};
  int n = std::sscanf(text, "%4u-%2u-%2uT%2u:%2u:%2u%3s", &y, &mo, &d, &h, &mi, &s, tail);
  if (n < 6 || (n == 7 && std::strcmp(tail, "Z") != 0)) return false;
  if (y < 1970 || y > 2106 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) {
    return false;
  }
  ZrTime t(static_cast<int32_t>(y), static_cast<int32_t>(mo), static_cast<int32_t>(d),
           static_cast<int32_t>(h), static_cast<int32_t>(mi), static_cast<int32_t>(s), 0);
  *pc = t.GetPcTime();
  return *pc != UINT32_MAX || (y == 2106 && mo == 2 && d == 7 && h == 6 && mi == 28 && s == 15);
}

namespace {

bool ParseNumber(const char* text, double lo, double hi, double* out) {
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(v >= lo && v <= hi)) return false;
  *out = v;
  return true;
}

bool ParseKinds(const std::string& list, Options* o) {
  o->dclog = o->archive = o->eventlog = false;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t comma = list.find(',', pos);
    std::string k = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    if (k == "dclog") {
      o->dclog = true;
    } else if (k == "archive") {
      o->archive = true;
    } else if (k == "eventlog") {
      o->eventlog = true;
    } else {
      return false;
    }
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
  bool have_from = false, have_to = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) != 0) {
      if (!o->project_dir.empty()) {
        *error = "more than one project directory: " + a;
        return false;
      }
      o->project_dir = a;
      continue;
    }
    if (i + 1 >= argc) {
      *error = "missing value after " + a;
      return false;
    }
    const char* v = argv[++i];
    double num = 0;
    bool ok = true;
    if (a == "--kinds") {
      ok = ParseKinds(v, o);
    } else if (a == "--store") {
      o->store = v;
    } else if (a == "--fill") {
      ok = ParseNumber(v, 0, 1e9, &num) && num == static_cast<double>(static_cast<uint64_t>(num));
      o->fill = static_cast<uint64_t>(num);
    } else if (a == "--from") {
      ok = have_from = ParseUtc(v, &o->from);
    } else if (a == "--to") {
      ok = have_to = ParseUtc(v, &o->to);
    } else if (a == "--rate") {
      ok = ParseNumber(v, 0, 1e6, &o->rate);
    } else if (a == "--duration") {
      ok = ParseNumber(v, 0, 1e7, &o->duration);
    } else if (a == "--seed") {
      ok = ParseNumber(v, 0, 9e15, &num);
      o->seed = static_cast<uint64_t>(num);
    } else if (a == "--delete-share") {
      ok = ParseNumber(v, 0, 1, &o->delete_share);
    } else if (a == "--local-offset") {
      ok = ParseNumber(v, -86400, 86400, &num);
      o->local_offset = static_cast<int32_t>(num);
    } else {
      *error = "unknown option " + a;
      return false;
    }
    if (!ok) {
      *error = "bad value for " + a + ": " + v;
      return false;
    }
  }
  if (o->project_dir.empty()) {
    *error = "no project directory given";
    return false;
  }
  char last = o->project_dir.back();
  if (last != '/' && last != '\\') o->project_dir += '/';
  if (have_from != have_to) {
    *error = "--from and --to go together";
    return false;
  }
  o->has_range = have_from;
  if (o->has_range && o->to <= o->from) {
    *error = "--to must be later than --from";
    return false;
  }
  if (o->fill > 0 && !o->has_range && o->store.empty()) {
    *error = "--fill needs --from/--to or --store";
    return false;
  }
  if (o->rate > 0 && o->store.empty()) {
    *error = "--rate needs --store (live records take the store's clock)";
    return false;
  }
  if (o->fill == 0 && o->rate == 0) {
    *error = "nothing to do: give --fill or --rate";
    return false;
  }
  return true;
}

}  // namespace plantsim
