// plantsim: stands in for the control system's writers of the plant logs.
//
//   plantsim PROJECTDIR [options]
//
// Appends records to _DCLOG, _ARCHIVE and _EVENTLOG in PROJECTDIR through the
// same table classes Packvault reads them with, holding each table's named
// mutex around every append as the control system does (the table layer
// locks the record itself). Tables that do not exist are created.
//
//   --kinds LIST        comma-separated subset of dclog,archive,eventlog (all)
//   --store FILE        the project's object store (.do): live records are
//                       stamped from its UT clock, LT from its LT clock, and
//                       a non-zero "$SHUTDOWN" in it ends a live run (as do
//                       SIGINT and SIGTERM, between two appends)
//   --fill N            bulk fill: N records per kind, spread evenly over
//                       [--from, --to); default range: the hour before the
//                       store's UT clock
//   --from, --to TIME   UTC as YYYY-MM-DDTHH:MM:SS[Z]
//   --rate R            live: R records per second per kind, after the fill
//   --duration S        live: stop after S seconds (default: until "$SHUTDOWN"
//                       or a termination signal)
//   --seed N            content seed (default 1); same seed, same records
//   --delete-share F    after the fill, delete this share (0..1) of the
//                       filled records, chosen by the seed
//   --local-offset S    LT - UT in seconds when no store is given (default 3600)
//
// Exit code 0 on success, 1 when a table cannot be written, 2 on bad usage.
#include <cstdio>
#include <string>

#include "tools/plantsim_options.h"
#include "tools/plantsim_writer.h"

int main(int argc, char** argv) {
  plantsim::Options opt;
  std::string error;
  if (!plantsim::ParseOptions(argc, argv, &opt, &error)) {
    std::fprintf(stderr, "plantsim: %s\n%s", error.c_str(), plantsim::kUsage);
    return 2;
  }
  return plantsim::Run(opt);
}
