// pvarchive list: per kind and day, the members with their interval, record
// count, sizes and encryption. The record count comes from the day manifest;
// for a member it does not list, from the member itself when --code opens it.
#include <cstdio>

#include "foundation/platform/file.h"
#include "tools/pvarchive.h"

namespace pvarchive {

int List(const Options& options) {
  std::vector<Day> days;
  if (!FindDays(options, &days)) {
    std::fprintf(stderr, "pvarchive: %s is no directory\n", options.dest.c_str());
    return kExitUsage;
  }
  const int32_t hours = IntervalHours(options, days);
  int result = kExitOk;
  if (options.json) std::printf("[");
  for (size_t d = 0; d < days.size(); ++d) {
    Day& day = days[d];
    zip_t* za = OpenDay(&day, hours);
    if (za == nullptr) {
      std::fprintf(stderr, "pvarchive: %s cannot be opened: %s\n", day.zip.c_str(),
                   ZipErrorText(day.zip_error).c_str());
      result = kExitProblems;
      continue;
    }
    Manifest manifest;
    std::string text, why;
    if (pv::ReadWholeFile(day.manifest, &text).ok()) ParseManifest(text, &manifest, &why);
    if (options.json) {
      std::printf("%s\n {\"kind\": \"%s\", \"day\": \"%s\", \"archive\": %s, \"members\": [",
                  d == 0 ? "" : ",", day.kind->name, day.date.c_str(), JsonString(day.zip).c_str());
    } else {
      std::printf("%s %s  %s  %zu members\n", day.kind->name, day.date.c_str(), day.zip.c_str(),
                  day.members.size());
    }
    for (size_t i = 0; i < day.members.size(); ++i) {
      const Member& m = day.members[i];
      int64_t records = -1;
      if (const ManifestEntry* e = manifest.Find(m.name)) {
        records = e->records;
      } else {
        std::string bytes;
        if (ReadArchiveMember(za, m.index, options.code, &bytes) == ZIP_ER_OK) {
          records = DescribeMember(m.name, bytes).records;
        }
      }
      // The interval as hh:00-hh:59 of the day, when the name is one.
      std::string interval = "?";
      if (m.name_ok) {
        const int64_t first = m.start_ms / 3600000 % 24, last = m.end_ms / 3600000 % 24;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%02lld:00-%02lld:59", static_cast<long long>(first),
                      static_cast<long long>(last));
        interval = buf;
      }
      const std::string rec = records < 0 ? (options.json ? "null" : "?") : std::to_string(records);
      if (options.json) {
        std::printf("%s\n  {\"member\": %s, \"interval\": \"%s\", \"records\": %s, \"size\": %llu, "
                    "\"compressed\": %llu, \"encryption\": \"%s\"}",
                    i == 0 ? "" : ",", JsonString(m.name).c_str(), interval.c_str(), rec.c_str(),
                    static_cast<unsigned long long>(m.size),
                    static_cast<unsigned long long>(m.compressed), m.encryption.c_str());
      } else {
        std::printf("  %-14s %s  %8s records  %10llu bytes  %10llu compressed  %s\n", m.name.c_str(),
                    interval.c_str(), rec.c_str(), static_cast<unsigned long long>(m.size),
                    static_cast<unsigned long long>(m.compressed), m.encryption.c_str());
      }
    }
    if (options.json) std::printf("]}");
    zip_discard(za);
  }
  if (options.json) std::printf("%s]\n", days.empty() ? "" : "\n");
  return result;
}

}  // namespace pvarchive
