#include "app/run_phases.h"

namespace {
double g_seconds[static_cast<int32_t>(RunPhase::kCount)] = {};
}  // namespace

double RunPhaseSeconds(RunPhase phase) { return g_seconds[static_cast<int32_t>(phase)]; }

void AddRunPhase(RunPhase phase, double seconds) { g_seconds[static_cast<int32_t>(phase)] += seconds; }

void ResetRunPhases() {
  for (double& s : g_seconds) s = 0;
}

const char* RunPhaseName(RunPhase phase) {
  static const char* const kNames[] = {"copy", "index build", "zip", "sync", "remove"};
  return kNames[static_cast<int32_t>(phase)];
}
