// pvarchive export: the records of one kind and day (or one interval) back
// out, in archive order (members as the archive holds them, records in their
// order), deleted records left out:
//   csv    a header line of field names, then one line per record (RFC 4180
//          quoting); character fields without trailing blanks, numbers as
//          stored, text as UTF-8 from Windows-1252
//   jsonl  one JSON object per record, as `pvdbf dump` writes them
//   dbf    one table of the kind's layout holding all the records
#include <cstdio>
#include <cstring>

#include "tools/pvarchive.h"
#include "tools/pvdbf.h"

namespace pvarchive {
namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

std::string CsvValue(pv::Field* f) {
  size_t n = static_cast<size_t>(f->Width());
  const char* p = f->Ptr();
  if (f->Type() == 'N' || f->Type() == 'F') {
    while (n > 0 && p[0] == ' ') ++p, --n;
  }
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
  return CsvField(Utf8FromAnsi(std::string(p, n)));
}

}  // namespace

int Export(const Options& options) {
  std::vector<Day> days;
  if (!FindDays(options, &days)) {
    std::fprintf(stderr, "pvarchive: %s is no directory\n", options.dest.c_str());
    return kExitUsage;
  }
  Day* day = nullptr;
  for (Day& d : days) {
    if (options.kind == d.kind->name) day = &d;
  }
  if (day == nullptr) {
    std::fprintf(stderr, "pvarchive: no %s archive of %s in %s\n", options.kind.c_str(),
                 options.from.c_str(), options.dest.c_str());
    return kExitProblems;
  }
  zip_t* za = OpenDay(day, IntervalHours(options, days));
  if (za == nullptr) {
    std::fprintf(stderr, "pvarchive: %s cannot be opened: %s\n", day->zip.c_str(),
                 ZipErrorText(day->zip_error).c_str());
    return kExitProblems;
  }
  FILE* out = options.output.empty() ? stdout : std::fopen(options.output.c_str(), "wb");
  if (out == nullptr) {
    zip_discard(za);
    std::fprintf(stderr, "pvarchive: cannot write %s\n", options.output.c_str());
    return kExitProblems;
  }
  int result = kExitOk;
  bool found = false;
  std::string dbf_header, dbf_records;
  uint32_t dbf_count = 0;
  bool csv_header_written = false;
  for (const Member& m : day->members) {
    if (result != kExitOk) break;
    if (!options.interval.empty() && m.name != options.interval + ".dbf") continue;
    found = true;
    std::string bytes;
    const int read = ReadArchiveMember(za, m.index, options.code, &bytes);
    MemberTable member(read == ZIP_ER_OK ? bytes : std::string());
    pv::Table* t = member.table();
    if (read != ZIP_ER_OK || t == nullptr) {
      std::fprintf(stderr, "pvarchive: %s %s: %s\n", day->zip.c_str(), m.name.c_str(),
                   read != ZIP_ER_OK ? ZipErrorText(read).c_str() : member.why().c_str());
      result = kExitProblems;
      break;
    }
    if (options.format == "csv" && !csv_header_written) {
      csv_header_written = true;
      for (int32_t f = 1; f <= t->FieldCount(); ++f) {
        std::fprintf(out, "%s%s", f == 1 ? "" : ",", CsvField(t->FieldAt(f)->Name()).c_str());
      }
      std::fprintf(out, "\r\n");
    }
    if (options.format == "dbf" && dbf_header.empty()) {
      dbf_header = bytes.substr(0, static_cast<size_t>(t->Header().header_length));
    }
    const int32_t count = t->RecordCount();
    for (int32_t r = 1; r <= count; ++r) {
      if (t->Go(r) != pv::kEngineOk) {
        std::fprintf(stderr, "pvarchive: %s %s: record %d cannot be read\n", day->zip.c_str(),
                     m.name.c_str(), r);
        result = kExitProblems;
        break;
      }
      if (t->Deleted()) continue;
      if (options.format == "csv") {
        for (int32_t f = 1; f <= t->FieldCount(); ++f) {
          std::fprintf(out, "%s%s", f == 1 ? "" : ",", CsvValue(t->FieldAt(f)).c_str());
        }
        std::fprintf(out, "\r\n");
      } else if (options.format == "jsonl") {
        std::fprintf(out, "%s\n", pvdbf::RecordJson(t).c_str());
      } else {
        dbf_records.append(t->RecordBuffer(), static_cast<size_t>(t->RecordWidth()));
        ++dbf_count;
      }
    }
  }
  zip_discard(za);
  if (result == kExitOk && !found) {
    std::fprintf(stderr, "pvarchive: %s has no member %s.dbf\n", day->zip.c_str(),
                 options.interval.c_str());
    result = kExitProblems;
  }
  if (result == kExitOk && options.format == "dbf") {
    for (int b = 0; b < 4; ++b) dbf_header[4 + b] = static_cast<char>(dbf_count >> (8 * b));
    std::fwrite(dbf_header.data(), 1, dbf_header.size(), out);
    std::fwrite(dbf_records.data(), 1, dbf_records.size(), out);
    std::fputc(0x1A, out);
  }
  if (std::fflush(out) != 0 || (out != stdout && std::fclose(out) != 0)) {
    std::fprintf(stderr, "pvarchive: writing the export failed\n");
    result = kExitProblems;
  }
  return result;
}

}  // namespace pvarchive
