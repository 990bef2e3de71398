// Where an archive run spends its time, phase by phase: a process-wide set of
// accumulators that the copier and the ZIP adapter add to and a bench or a
// debug build reads. Adding costs one clock read per phase boundary, never
// per record, so the hook stays in the shipped program.
//
// Main thread only (the archive job's loop); nothing here locks.
#ifndef PV_APP_RUN_PHASES_H_
#define PV_APP_RUN_PHASES_H_

#include <chrono>
#include <cstdint>

enum class RunPhase : int32_t {
  kCopy,        // reading the plant table and appending to the interim table
  kIndexBuild,  // the interim table's index, built when the table is closed
  kZip,         // compressing and encrypting the member, writing the archive
  kSync,        // making the new archive and its directory durable
  kRemove,      // removing the interim files
  kCount,
};

// Seconds spent in the phase since the last ResetRunPhases.
double RunPhaseSeconds(RunPhase phase);
void AddRunPhase(RunPhase phase, double seconds);
void ResetRunPhases();
const char* RunPhaseName(RunPhase phase);

// Adds the time from construction to Stop (or destruction) to a phase.
class RunPhaseTimer {
 public:
  explicit RunPhaseTimer(RunPhase phase)
      : phase_(phase), start_(std::chrono::steady_clock::now()) {}
  ~RunPhaseTimer() { Stop(); }
  RunPhaseTimer(const RunPhaseTimer&) = delete;
  RunPhaseTimer& operator=(const RunPhaseTimer&) = delete;
  void Stop() {
    if (stopped_) return;
    stopped_ = true;
    AddRunPhase(phase_, std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
  }

 private:
  RunPhase phase_;
  std::chrono::steady_clock::time_point start_;
  bool stopped_ = false;
};

#endif  // PV_APP_RUN_PHASES_H_
