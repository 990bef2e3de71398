// pvarchive verify: every member opens and decrypts with the code, reads
// back with a right CRC and size, is a table of its kind's layout whose
// records all lie in its interval, and matches the day manifest, which in
// turn links to the previous day's; the day text file and the members agree;
// with --plant, each member holds exactly the plant table's records of its
// interval. One line per problem: file, member, what is wrong.
#include <cstdio>
#include <map>
#include <set>

#include "foundation/platform/file.h"
#include "foundation/platform/sha256.h"
#include "foundation/zr_time.h"
#include "tools/pvarchive.h"

namespace pvarchive {
namespace {

constexpr int64_t kHourMs = 3600000;
constexpr int kExamples = 3;  // records named per kind of difference

struct Problem {
  std::string file, member, text;
};

using KeyCounts = std::map<std::string, int32_t>;

class Verifier {
 public:
  Verifier(const Options& o, int32_t hours) : o_(o), hours_(hours) {}

  void Day(pvarchive::Day& day);
  void ComparePlant(const Kind& kind);
  int Report(size_t archives) const;

 private:
  void Add(const std::string& file, const std::string& member, const std::string& text) {
    problems_.push_back({file, member, text});
  }
  void CheckManifestChain(const pvarchive::Day& day, const Manifest& manifest);
  std::set<std::string> TextFileNames(const pvarchive::Day& day);
  void CheckTable(const pvarchive::Day& day, const Member& m, pv::Table* table);

  const Options& o_;
  const int32_t hours_;
  std::vector<Problem> problems_;
  size_t members_ = 0;
  // With --plant: per kind, the members' records by interval number.
  struct Held {
    std::string zip, member;
    KeyCounts keys;
  };
  std::map<std::string, std::map<int64_t, Held>> held_;
  std::map<std::string, std::map<int64_t, std::string>> gaps_;  // interval -> its zip, no member
};

// "YYYY-MM-DDThh:mm:ss.mmmZ" of milliseconds since 1970 (PcTime range).
std::string TimeText(int64_t ms) {
  uint32_t y, mo, d, h, mi, s;
  ZrPcTime2DateAndTime(static_cast<uint32_t>(ms / 1000), y, mo, d, h, mi, s);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", y, mo, d, h, mi, s,
                static_cast<uint32_t>(ms % 1000));
  return buf;
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

void Verifier::CheckManifestChain(const pvarchive::Day& day, const Manifest& manifest) {
  const std::string expected = PreviousManifestName(day.kind_dir, FileName(day.manifest));
  if (manifest.previous.empty()) {
    if (!expected.empty()) {
      Add(day.manifest, "", "names no previous manifest, but " + expected + " precedes it");
    }
    return;
  }
  std::string bytes;
  if (!pv::ReadWholeFile(day.kind_dir + manifest.previous, &bytes).ok()) {
    Add(day.manifest, "", "previous manifest " + manifest.previous + " is missing (chain broken)");
    return;
  }
  if (pv::Sha256Hex(bytes.data(), bytes.size()) != manifest.previous_sha256) {
    Add(day.manifest, "", "previous manifest " + manifest.previous +
                              " was changed: its SHA-256 differs from the link (chain broken)");
  }
  if (expected != manifest.previous) {
    Add(day.manifest, "", "links to " + manifest.previous + ", but " + expected +
                              " lies between (chain broken)");
  }
}

// The interval names of the day text file's UT lines; problems for what
// does not parse.
std::set<std::string> Verifier::TextFileNames(const pvarchive::Day& day) {
  std::set<std::string> names;
  std::string text;
  if (!pv::ReadWholeFile(day.txt, &text).ok()) {
    Add(day.txt, "", "day text file missing or unreadable");
    return names;
  }
  // Lines end with CR LF NUL; the first is the project id.
  size_t pos = 0;
  int line_no = 0;
  while (pos < text.size()) {
    size_t end = text.find(std::string("\r\n\0", 3), pos);
    if (end == std::string::npos) {
      Add(day.txt, "", "line " + std::to_string(line_no + 1) + " is cut short");
      break;
    }
    const std::string line = text.substr(pos, end - pos);
    pos = end + 3;
    if (++line_no == 1) continue;
    if (line.size() == 25 && line.compare(0, 4, "UT: ") == 0 && line.compare(12, 5, " LT: ") == 0) {
      names.insert(line.substr(4, 8));
    } else {
      Add(day.txt, "", "line " + std::to_string(line_no) + " is no UT/LT line");
    }
  }
  return names;
}

void Verifier::CheckTable(const pvarchive::Day& day, const Member& m, pv::Table* table) {
  const pv::FieldList declared = DeclaredFields(*day.kind);
  bool same = static_cast<size_t>(table->FieldCount()) == declared.size();
  for (size_t i = 0; same && i < declared.size(); ++i) {
    const pv::FieldDef& d = declared.fields()[i];
    pv::Field* f = table->FieldAt(static_cast<int32_t>(i) + 1);
    same = f->Name() == d.name && f->Type() == d.type && f->Width() == d.width &&
           f->Decimals() == d.decimals;
  }
  if (!same) {
    Add(day.zip, m.name, std::string("is not a table of the ") + day.kind->name + " layout");
    return;
  }
  int32_t outside = 0, bad_time = 0;
  std::string first_outside;
  Held* held = nullptr;
  if (!o_.plant.empty() && m.name_ok) {
    held = &held_[day.kind->name][m.start_ms / (hours_ * kHourMs)];
    held->zip = day.zip;
    held->member = m.name;
  }
  const int32_t count = table->RecordCount();
  for (int32_t r = 1; r <= count; ++r) {
    if (table->Go(r) != pv::kEngineOk) {
      Add(day.zip, m.name, "record " + std::to_string(r) + " cannot be read");
      break;
    }
    if (table->Deleted()) continue;
    int64_t ms = 0;
    if (!RecordTimeMs(*day.kind, table, &ms)) {
      ++bad_time;
    } else if (m.name_ok && (ms < m.start_ms || ms > m.end_ms)) {
      if (outside++ == 0) first_outside = "record " + std::to_string(r) + " at " + TimeText(ms);
    }
    if (held != nullptr) ++held->keys[RecordKey(table)];
  }
  if (bad_time > 0) {
    Add(day.zip, m.name, std::to_string(bad_time) + " records without a valid " +
                             day.kind->time_field);
  }
  if (outside > 0) {
    Add(day.zip, m.name, std::to_string(outside) + " records outside the interval " +
                             TimeText(m.start_ms) + " to " + TimeText(m.end_ms) + " (first: " +
                             first_outside + ")");
  }
}

void Verifier::Day(pvarchive::Day& day) {
  zip_t* za = OpenDay(&day, hours_);
  if (za == nullptr) {
    Add(day.zip, "", "cannot be opened: " + ZipErrorText(day.zip_error));
    return;
  }
  Manifest manifest;
  bool have_manifest = false;
  std::string text, why;
  if (!pv::ReadWholeFile(day.manifest, &text).ok()) {
    Add(day.manifest, "", "manifest missing or unreadable");
  } else if (!ParseManifest(text, &manifest, &why)) {
    Add(day.manifest, "", "manifest is malformed (" + why + ")");
  } else {
    have_manifest = true;
    CheckManifestChain(day, manifest);
  }
  std::set<std::string> lines = TextFileNames(day);
  std::set<int64_t> intervals;

  for (const Member& m : day.members) {
    ++members_;
    Progress("verifying " + FileName(day.zip) + " " + day.kind->name + " " + m.name);
    if (!m.name_ok) {
      Add(day.zip, m.name, "name is no interval of this day (MMDD_HHh.dbf with " +
                               std::to_string(hours_) + "-hour intervals)");
    } else {
      intervals.insert(m.start_ms / (hours_ * kHourMs));
    }
    if (lines.erase(m.name.substr(0, m.name.size() - 4)) == 0 && m.name_ok) {
      Add(day.zip, m.name, "has no line in " + FileName(day.txt));
    }
    const ManifestEntry* listed = have_manifest ? manifest.Find(m.name) : nullptr;
    if (have_manifest && listed == nullptr) {
      Add(day.zip, m.name, "is not in the manifest (added after the archive run)");
    }
    std::string bytes;
    const int read = ReadArchiveMember(za, m.index, o_.code, &bytes);
    if (read != ZIP_ER_OK) {
      std::string what = read == ZIP_ER_WRONGPASSWD ? "cannot be decrypted with the code (wrong code)"
                         : read == ZIP_ER_NOPASSWD  ? "is encrypted and no code was given"
                         : read == ZIP_ER_CRC && m.crc == 0 && m.encryption.rfind("AES", 0) == 0
                             ? "carries no CRC (WinZip AE-2, not written by packvault); libzip cannot check it"
                         : read == ZIP_ER_CRC       ? "CRC does not match its content"
                         : read == ZIP_ER_INCONS    ? "size differs from its directory entry"
                                                    : "cannot be read: " + ZipErrorText(read);
      Add(day.zip, m.name, what);
      continue;
    }
    const ManifestEntry actual = DescribeMember(m.name, bytes);
    if (listed != nullptr && (listed->sha256 != actual.sha256 || listed->size != actual.size ||
                              listed->records != actual.records)) {
      Add(day.zip, m.name, "differs from the manifest: SHA-256 " + actual.sha256.substr(0, 16) +
                               "... size " + std::to_string(actual.size) + " records " +
                               std::to_string(actual.records) + ", listed " +
                               listed->sha256.substr(0, 16) + "... size " +
                               std::to_string(listed->size) + " records " +
                               std::to_string(listed->records));
    }
    MemberTable member(bytes);
    if (member.table() == nullptr) {
      Add(day.zip, m.name, member.why());
    } else {
      CheckTable(day, m, member.table());
    }
  }
  zip_discard(za);
  if (have_manifest) {
    for (const ManifestEntry& e : manifest.members) {
      bool present = false;
      for (const Member& m : day.members) present = present || m.name == e.name;
      if (!present) Add(day.zip, e.name, "is listed in the manifest but missing from the archive");
    }
  }
  for (const std::string& n : lines) {
    Add(day.txt, n + ".dbf", "has a line in the day text file but no member in the archive");
  }
  if (!o_.plant.empty() && !intervals.empty()) {
    for (int64_t i = *intervals.begin(); i < *intervals.rbegin(); ++i) {
      if (intervals.count(i) == 0) gaps_[day.kind->name][i] = day.zip;
    }
  }
}

// Names an interval by number: MMDD_HHh.dbf of its last hour.
std::string IntervalMember(int64_t interval, int32_t hours) {
  const std::string t = TimeText((interval + 1) * hours * kHourMs - 1);
  return t.substr(5, 2) + t.substr(8, 2) + "_" + t.substr(11, 2) + "h.dbf";
}

void Verifier::ComparePlant(const Kind& kind) {
  auto& held = held_[kind.name];
  auto& gaps = gaps_[kind.name];
  if (held.empty() && gaps.empty()) return;
  const std::string path = o_.plant + "/" + kind.name + ".dbf";
  pv::EngineContext ctx;
  ctx.settings().read_only = true;
  pv::Table* table = pv::Table::Open(&ctx, path);
  if (table == nullptr) {
    Add(path, "", std::string("plant table cannot be opened (") + pv::EngineErrorText(ctx.ErrorCode()) + ")");
    return;
  }
  std::map<int64_t, KeyCounts> plant;
  const int32_t count = table->RecordCount();
  for (int32_t r = 1; r <= count; ++r) {
    if (r % 4096 == 0) Progress("reading " + path + " record " + std::to_string(r));
    int64_t ms = 0;
    if (table->Go(r) != pv::kEngineOk || table->Deleted() || !RecordTimeMs(kind, table, &ms)) continue;
    const int64_t interval = ms / (hours_ * kHourMs);
    if (held.count(interval) != 0 || gaps.count(interval) != 0) ++plant[interval][RecordKey(table)];
  }
  table->Close();
  for (const auto& [interval, zip] : gaps) {
    int64_t n = 0;
    for (const auto& [key, c] : plant[interval]) n += c;
    if (n > 0) {
      Add(zip, IntervalMember(interval, hours_),
          "is not in the archive, but the plant table holds " + std::to_string(n) +
              " records of its interval");
    }
  }
  for (auto& [interval, h] : held) {
    const KeyCounts& want = plant[interval];
    int32_t missing = 0, extra = 0, twice = 0;
    std::string examples[3];
    auto note = [&](int32_t* n, std::string* ex, const std::string& key) {
      if ((*n)++ < kExamples) *ex += (ex->empty() ? "" : "; ") + key;
    };
    for (const auto& [key, c] : want) {
      auto it = h.keys.find(key);
      if (it == h.keys.end() || it->second < c) note(&missing, &examples[0], key);
    }
    for (const auto& [key, c] : h.keys) {
      auto it = want.find(key);
      if (it == want.end()) {
        note(&extra, &examples[1], key);
      } else if (c > it->second) {
        note(&twice, &examples[2], key);
      }
    }
    if (missing > 0) {
      Add(h.zip, h.member, "misses " + std::to_string(missing) + " of the plant table's records of its interval: " + examples[0]);
    }
    if (extra > 0) {
      Add(h.zip, h.member, "holds " + std::to_string(extra) + " records the plant table does not hold: " + examples[1]);
    }
    if (twice > 0) {
      Add(h.zip, h.member, "holds " + std::to_string(twice) + " records more often than the plant table: " +
                               examples[2]);
    }
  }
}

int Verifier::Report(size_t archives) const {
  ProgressDone();
  if (o_.json) {
    std::printf("{\"archives\": %zu, \"members\": %zu, \"problems\": [", archives, members_);
    for (size_t i = 0; i < problems_.size(); ++i) {
      const Problem& p = problems_[i];
      std::printf("%s\n  {\"file\": %s, \"member\": %s, \"problem\": %s}", i == 0 ? "" : ",",
                  JsonString(p.file).c_str(), JsonString(p.member).c_str(),
                  JsonString(p.text).c_str());
    }
    std::printf("%s]}\n", problems_.empty() ? "" : "\n");
  } else {
    for (const Problem& p : problems_) {
      std::printf("%s%s%s: %s\n", p.file.c_str(), p.member.empty() ? "" : " ", p.member.c_str(),
                  p.text.c_str());
    }
    std::printf("%zu archives, %zu members verified: %s\n", archives, members_,
                problems_.empty() ? "all well"
                                  : (std::to_string(problems_.size()) + " problems").c_str());
  }
  return problems_.empty() ? kExitOk : kExitProblems;
}

}  // namespace

int Verify(const Options& options) {
  std::vector<pvarchive::Day> days;
  if (!FindDays(options, &days)) {
    std::fprintf(stderr, "pvarchive: %s is no directory\n", options.dest.c_str());
    return kExitUsage;
  }
  Verifier verifier(options, IntervalHours(options, days));
  for (pvarchive::Day& day : days) verifier.Day(day);
  if (!options.plant.empty()) {
    for (const Kind& kind : Kinds()) verifier.ComparePlant(kind);
  }
  if (days.empty()) {
    std::fprintf(stderr, "pvarchive: no day archive in %s for the days asked\n", options.dest.c_str());
    ProgressDone();
    return kExitProblems;
  }
  return verifier.Report(days.size());
}

}  // namespace pvarchive
