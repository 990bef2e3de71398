// Appends N records of the _ARCHIVE layout (POINTID C22, TIME C14, VAL
// N12.4, STS N11) one at a time as the persistence layer does (append, which
// locks; assign; unlock), then reads them back one at a time by record
// number. Prints records per second for both.
//
//   dbf_bench [N] [DIR]     N defaults to 1000000, DIR to the temp directory
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tableengine/engine_api.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Fail(pv::EngineContext& ctx, const char* what) {
  std::fprintf(stderr, "dbf_bench: %s failed: %d %s\n", what, ctx.ErrorCode(), pv::EngineErrorText(ctx.ErrorCode()));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t n = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const std::string dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
  const std::string path = dir + "/dbf_bench_archive";

  pv::EngineContext ctx;
  pv::FieldList fields;
  fields.Add("POINTID", 'C', 22, 0);
  fields.Add("TIME", 'C', 14, 0);
  fields.Add("VAL", 'N', 12, 4);
  fields.Add("STS", 'N', 11, 0);
  pv::Table* t = pv::Table::Create(&ctx, path, fields);
  if (t == nullptr) return Fail(ctx, "create");
  pv::Field* id = t->FieldByName("POINTID");
  pv::Field* time = t->FieldByName("TIME");
  pv::Field* val = t->FieldByName("VAL");
  pv::Field* sts = t->FieldByName("STS");

  auto start = std::chrono::steady_clock::now();
  char text[32];
  for (int32_t i = 1; i <= n; i++) {
    if (t->AppendBlank() != 0) return Fail(ctx, "append");
    std::snprintf(text, sizeof text, "AREA%02d.FIC%04d.PV", i % 37, i % 1000);
    id->AssignText(text);
    std::snprintf(text, sizeof text, "2024%02d%02d%06d", 1 + i % 12, 1 + i % 28, i % 240000);
    time->AssignText(text);
    val->AssignDouble(i * 0.0625 - 5000.0);
    sts->AssignLong(i % 7);
    if (t->Unlock() != 0) return Fail(ctx, "unlock");
  }
  const double append_s = Seconds(start);

  start = std::chrono::steady_clock::now();
  double sum = 0;
  for (int32_t i = 1; i <= n; i++) {
    if (t->Go(i) != 0) return Fail(ctx, "go");
    sum += val->Double() + sts->Long() + static_cast<double>(id->Text().size() + time->Text().size());
  }
  const double read_s = Seconds(start);
  if (t->Remove() != 0) return Fail(ctx, "remove");

  const double mb = static_cast<double>(n) * 60 / 1e6;
  std::printf("append: %d records in %.2f s: %.0f records/s, %.1f MB/s\n", n, append_s, n / append_s, mb / append_s);
  std::printf("read:   %d records in %.2f s: %.0f records/s, %.1f MB/s (checksum %.0f)\n", n, read_s, n / read_s,
              mb / read_s, sum);
  return 0;
}
