// Costs on the copiers' hot path: a table's named mutex is taken and released
// around every single copy step, and every message may become a debug-log
// line. Run: build/release/bench/platform_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "foundation/platform/env.h"
#include "foundation/platform/named_mutex.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_debug_output.h"
#include "foundation/zr_process.h"

namespace {

std::string BenchMutexName() { return "ZR_PVBENCH_" + std::to_string(pv::CurrentProcessId()) + "_DBF_MTX"; }

// One uncontended Wait/Release pair, as a copier step does it.
void BM_NamedMutexWaitRelease(benchmark::State& state) {
  std::string name = BenchMutexName();
  {
    ZrNamedMutexSem mutex(name.c_str());
    for (auto _ : state) {
      if (!mutex.Wait(5000)) state.SkipWithError("mutex not acquired");
      mutex.Release();
    }
  }
  // A name left behind belongs to this run's pid and harms no other run.
  pv::NamedMutex::RemoveForTesting(name).IgnoreError();
}
BENCHMARK(BM_NamedMutexWaitRelease);

// Opening a named mutex (a table open does it once).
void BM_NamedMutexOpen(benchmark::State& state) {
  std::string name = BenchMutexName();
  for (auto _ : state) {
    ZrNamedMutexSem mutex(name.c_str());
    benchmark::DoNotOptimize(mutex.IsValid());
  }
  // A name left behind belongs to this run's pid and harms no other run.
  pv::NamedMutex::RemoveForTesting(name).IgnoreError();
}
BENCHMARK(BM_NamedMutexOpen);

// One debug-log line of typical length into an open log (wrapping at 1 MB).
void BM_DebugLogLine(benchmark::State& state) {
  std::string path = (std::filesystem::temp_directory_path() /
                      ("pvbench-" + std::to_string(pv::CurrentProcessId()) + ".log")).string();
  ZrDebugOutput log;
  if (log.OpenDebug(path.c_str(), 1 << 20) != 0) {
    state.SkipWithError("cannot open the log");
    return;
  }
  const char* message = "2 Eci: Drv /srv/archive/ 12345 MB percent 42 full 0";
  int64_t bytes = 0;
  for (auto _ : state) bytes += log._DebugOutput(message);
  log.CloseDebug();
  std::remove(path.c_str());
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_DebugLogLine);

// A line into the closed default instance: what every library diagnostic
// costs while the log is off.
void BM_DebugLogLineClosed(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(_DebugOutput("diagnostic"));
}
BENCHMARK(BM_DebugLogLineClosed);

}  // namespace

BENCHMARK_MAIN();
