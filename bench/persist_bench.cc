// Adds N records of the _ARCHIVE layout through a ZrpTableBase subclass (one
// Add per record, each with its lock bracket and the free-list check, and
// the upkeep of the free list and three tags), then seeks the first record
// at or after a time with Search and walks the TIME tag to its end with
// Skip, reading each record into the bound variables. Prints records per
// second and MB per second of record data for both; compare with the
// engine-level figures of dbf_bench and cdx_bench.
//
//   persist_bench [N] [DIR]     N defaults to 1000000, DIR to the temp directory
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "foundation/zr_string.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_base.h"
#include "persist/zrp_table_seek.h"
#include "persist/zrp_table_xchg.h"

namespace {

class ArchiveTable : public ZrpTableBase {
 public:
  explicit ArchiveTable(ZrpBase* base) : ZrpTableBase(base, true, true, 10000) {}

  ZrString pointId;
  uint32_t time = 0;
  double val = 0.0;
  int32_t sts = 0;

 protected:
  void ZrpTableXChg(ZrpTableInfo* info) override {
    ZrpTableName(info, "persist_bench_archive");
    ZrpTableFld(info, pointId, "POINTID", 22);
    ZrpTableTimeFld(info, time, "TIME");
    ZrpTableFld(info, val, "VAL", 'N', 12, 4);
    ZrpTableFld(info, sts, "STS", 'N', 11);
    ZrpTableTag(info, "PTIDTIME", "POINTID+TIME", nullptr, false, false);
    ZrpTableTag(info, "TIMEPTID", "TIME+POINTID", nullptr, false, false);
    ZrpTableTag(info, "TIME", "TIME", nullptr, false, false);
  }
};

// Wall-clock and processor time since a start; the processor time tells
// what the work costs when other processes share the machine.
struct Stopwatch {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  std::clock_t cpu = std::clock();
};

void Print(const char* what, int32_t records, uint32_t width, const Stopwatch& since) {
  using std::chrono::steady_clock;
  double wall = std::chrono::duration<double>(steady_clock::now() - since.wall).count();
  double cpu = static_cast<double>(std::clock() - since.cpu) / CLOCKS_PER_SEC;
  double megabytes = records * static_cast<double>(width) / 1e6;
  std::printf("%-12s %9d records  %7.2f s  %9.0f records/s  %6.2f MB/s", what, records, wall,
              records / wall, megabytes / wall);
  std::printf("  (cpu %7.2f s, %9.0f records/s)\n", cpu, records / cpu);
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t n = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const std::string dir =
      (argc > 2 ? std::string(argv[2]) : std::filesystem::temp_directory_path().string()) + "/";
  for (const char* ext : {".dbf", ".cdx"}) {
    std::filesystem::remove(dir + "persist_bench_archive" + ext);
  }

  ZrpBase base;
  base.Open("PersistBench", dir.c_str(), false, false);
  ArchiveTable table(&base);
  const uint32_t start_time = 1704067200;  // 2024-01-01 00:00:00

  Stopwatch start;
  for (int32_t i = 0; i < n; ++i) {
    char point[32];
    std::snprintf(point, sizeof point, "AREA%02d.FIC%04d.PV", i % 37, i % 1000);
    table.pointId = point;
    table.time = start_time + static_cast<uint32_t>(i);
    table.val = i * 0.0625 - 5000.0;
    table.sts = i % 7;
    if (!table.Add(nullptr)) {
      std::fprintf(stderr, "persist_bench: Add failed at record %d\n", i + 1);
      return 1;
    }
  }
  table.Flush();
  Print("Add", n, table.GetRecordWidth(), start);

  // Search the middle of the time range and walk to the end, twice over the
  // whole range: once from the start and once from the middle.
  int32_t walked = 0;
  start = Stopwatch();
  for (uint32_t from : {start_time, start_time + static_cast<uint32_t>(n / 2)}) {
    ZrString key;
    ZrpTableAddTimeSeek(key, from);
    ZrpTableIterator it;
    if (!table.Search("TIME", key, it, true)) {
      std::fprintf(stderr, "persist_bench: Search failed\n");
      return 1;
    }
    for (; it != 0; table.Skip(it, 1)) ++walked;
  }
  Print("Search+Skip", walked, table.GetRecordWidth(), start);
  if (walked != n + (n - n / 2)) {
    std::fprintf(stderr, "persist_bench: walked %d records, expected %d\n", walked,
                 n + (n - n / 2));
    return 1;
  }
  table.Close("persist_bench_archive");
  base.Close();
  return 0;
}
