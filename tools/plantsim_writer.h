// The plant simulator's run: bulk fill, deletions, live appends.
#ifndef PV_TOOLS_PLANTSIM_WRITER_H_
#define PV_TOOLS_PLANTSIM_WRITER_H_

#include "tools/plantsim_options.h"

namespace plantsim {

// Runs what the options ask for; returns the process exit code.
int Run(const Options& opt);

}  // namespace plantsim

#endif  // PV_TOOLS_PLANTSIM_WRITER_H_
