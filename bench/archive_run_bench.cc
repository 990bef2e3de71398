// One archive run over a large interval, kind by kind: copy the interval out
// of the plant table into the interim table (ProcessDbf), zip the interim
// table into the day archive, remove the interim files.
//
//   archive_run_bench [ARCHIVE_RECORDS [EVENTLOG_RECORDS [DCLOG_RECORDS]]]
//
// Defaults: 1,000,000 _ARCHIVE, 200,000 _EVENTLOG and 200,000 _DCLOG records,
// all in one one-hour interval, filled beforehand by plantsim (found beside
// this binary's build tree). Prints records per second of the copy and of
// the whole run per kind, the zip's share of the run, a line per phase of the
// run (copy, index build, zip, sync, remove: seconds, records/s and MB/s of
// the interim table), and the process's peak resident memory. Messages go to a counting log handler instead of the
// console, so console speed does not count.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/dbf2zip.h"
#include "app/run_phases.h"
#include "foundation/output_handler.h"
#include "app/zip_adapter.h"
#include "app/zip_data.h"
#include "foundation/platform/file.h"
#include "foundation/platform/process.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_time.h"

namespace {

class CountingLog : public OutputHandler {
 public:
  CountingLog() : OutputHandler("Packvault.log") {}
  void PutInfo(const char*) override { ++infos; }
  void PutError(const char* text) override { std::fprintf(stderr, "FAILURE: %s\n", text); }
  uint64_t infos = 0;
};

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Peak resident memory in MiB, -1 when the system cannot say.
double PeakMemoryMiB() {
  uint64_t bytes = 0;
  return pv::PeakResidentBytes(&bytes).ok() ? static_cast<double>(bytes) / 1048576.0 : -1;
}

// Forces a filled plant table's files to the disk.
bool SyncFile(const std::string& path) {
  pv::OpenOptions options;
  options.write = true;
  std::unique_ptr<pv::File> file;
  pv::Status s = pv::OpenFile(path, options, &file);
  if (s.ok()) s = file->Sync();
  if (s.ok()) s = file->Close();
  if (!s.ok()) std::fprintf(stderr, "sync %s: %s\n", path.c_str(), s.ToString().c_str());
  return s.ok();
}

int32_t Zip(const std::string& archive, const std::string& member) {
  if (XceedZipInitDLL() == 0) return -1;
  XzHandle h = XzCreateXceedZipA();
  XzSetEncryptionPasswordA(h, "bench-code");
  XzSetCompressionLevel(h, 9);
  XzSetPreservePaths(h, false);
  XzSetZipFilenameA(h, archive.c_str());
  XzSetFilesToProcessA(h, member.c_str());
  int32_t rc = XzZip(h);
  XzDestroyXceedZip(h);
  XceedZipShutdownDLL();
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t counts[3] = {argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000,
                              argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200000,
                              argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 200000};
  const char* kinds[3] = {"_ARCHIVE", "_EVENTLOG", "_DCLOG"};
  const char* sim_kinds[3] = {"archive", "eventlog", "dclog"};

  namespace fs = std::filesystem;
  const fs::path self = fs::canonical(fs::path(argv[0])).parent_path();
  const std::string plantsim = (self.parent_path() / "bin" / "plantsim").string();
  const fs::path root = fs::temp_directory_path() / ("pv-archive-run-bench-" + std::to_string(pv::CurrentProcessId()));
  const std::string project = (root / "project").string() + "/";
  const std::string zips = (root / "zip").string() + "/";
  fs::create_directories(root / "project");
  fs::create_directories(root / "zip");

  for (int k = 0; k < 3; ++k) {
    if (counts[k] == 0) continue;
    std::string cmd = plantsim + " " + project + " --kinds " + sim_kinds[k] + " --fill " +
                      std::to_string(counts[k]) +
                      " --from 2024-01-01T10:00:00Z --to 2024-01-01T11:00:00Z --seed 5 > \"" +
                      (root / "fill.log").string() + "\"";
    auto t0 = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) != 0) {
      std::fprintf(stderr, "fill failed: %s\n", cmd.c_str());
      return 1;
    }
    std::printf("fill %-9s %8llu records  %8.0f records/s (plantsim, one append per mutex hold)\n",
                kinds[k], static_cast<unsigned long long>(counts[k]),
                counts[k] / Seconds(t0, std::chrono::steady_clock::now()));
  }

  // The plant writes its tables over the interval; the run should not meet
  // the fill's dirty pages still being written back.
  for (int k = 0; k < 3; ++k) {
    if (counts[k] == 0) continue;
    for (const char* ext : {".dbf", ".cdx"}) SyncFile(project + kinds[k] + ext);
  }

  CountingLog log;
  SetLog(&log);
  ZipData zd;
  SetZipData(&zd);
  zd.IntervalStart = ZrTime(2024, 1, 1, 10, 0, 0, 0);
  zd.IntervalEnd = ZrTime(2024, 1, 1, 10, 59, 59, 999);
  zd.InterimName = "0101_10h";
  zd.ArchiveDate = "20240101";

  double total_run = 0, total_zip = 0;
  for (int k = 0; k < 3; ++k) {
    if (counts[k] == 0) continue;
    std::unique_ptr<Dbf2Zip> copier;
    if (k == 0) copier = std::make_unique<Archive2Zip>();
    if (k == 1) copier = std::make_unique<EventLog2Zip>();
    if (k == 2) copier = std::make_unique<DcLog2Zip>();
    copier->DbfKind = kinds[k];
    copier->DbfPath = project.c_str();
    copier->ZipPath = (zips + kinds[k] + "/").c_str();
    fs::create_directories(zips + kinds[k]);
    copier->OpenBases(k);

    ResetRunPhases();
    auto t0 = std::chrono::steady_clock::now();
    int copied = copier->ProcessDbf();
    auto t1 = std::chrono::steady_clock::now();
    const double interim_mb =
        static_cast<double>(fs::file_size(project + "0101_10h.dbf")) / 1e6;
    int32_t rc = Zip(zips + kinds[k] + "/20240101.zip", project + "0101_10h.dbf");
    auto t2 = std::chrono::steady_clock::now();
    {
      RunPhaseTimer remove_time(RunPhase::kRemove);
      fs::remove(project + "0101_10h.dbf");
      fs::remove(project + "0101_10h.cdx");
    }
    auto t3 = std::chrono::steady_clock::now();
    copier->CloseBases();

    const double run = Seconds(t0, t3), zip = Seconds(t1, t2);
    total_run += run;
    total_zip += zip;
    std::printf("run  %-9s %8d records  copy %8.0f records/s  run %8.0f records/s  zip %4.1f%% "
                "of %.1f s (zip rc %d, archive %.1f MiB)\n",
                kinds[k], copied, copied / Seconds(t0, t1), copied / run, 100 * zip / run, run, rc,
                static_cast<double>(fs::file_size(zips + kinds[k] + "/20240101.zip")) / 1048576.0);
    for (int p = 0; p < static_cast<int>(RunPhase::kCount); ++p) {
      const double sec = RunPhaseSeconds(static_cast<RunPhase>(p));
      std::printf("  phase %-11s %7.3f s  %10.0f records/s  %8.1f MB/s (interim %.1f MB)\n",
                  RunPhaseName(static_cast<RunPhase>(p)), sec, sec > 0 ? copied / sec : 0.0,
                  sec > 0 ? interim_mb / sec : 0.0, interim_mb);
    }
  }
  std::printf("all kinds: %.1f s, zip share %.1f%%, peak memory %.1f MiB\n", total_run,
              100 * total_zip / total_run, PeakMemoryMiB());
  SetZipData(nullptr);
  SetLog(nullptr);
  fs::remove_all(root);
  return 0;
}
