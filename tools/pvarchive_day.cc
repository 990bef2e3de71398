// Reading the day archives: kinds and layouts, days, members, intervals, and
// the helpers the commands share.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "app/dc_log_dbf.h"
#include "app/entry_dbf.h"
#include "app/event_log_dbf.h"
#include "foundation/platform/file.h"
#include "foundation/platform/path_resolve.h"
#include "foundation/zr_process.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_info.h"
#include "tableengine/expr_functions.h"
#include "tools/pvarchive.h"

namespace pvarchive {

namespace {

constexpr int64_t kDayMs = 86400000;
constexpr int64_t kHourMs = 3600000;
constexpr int32_t kUnixEpochJulian = 2440588;

// A record class's declaration, run as a define pass.
template <class T>
class Layout : public T {
 public:
  Layout(ZrpBase* base, const char* name) : T(base, name, false, false) {}
  pv::FieldList Fields() {
    pv::Table* none = nullptr;
    ZrpTableInfo info(none, XchgDefine);
    this->ZrpTableXChg(&info);
    return info.fields;
  }
};

template <class T>
pv::FieldList FieldsOf(const char* name) {
  ZrpBase base;  // never opened: a define pass reads no table
  return Layout<T>(&base, name).Fields();
}

int64_t JulianMs(int32_t julian) { return (static_cast<int64_t>(julian) - kUnixEpochJulian) * kDayMs; }

// Digits only, whole.
bool Digits(const char* p, size_t n, int64_t* value) {
  int64_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    v = v * 10 + (p[i] - '0');
  }
  *value = v;
  return true;
}

// "YYYYMMDDhhmmss" + optional "mmm" as milliseconds since 1970.
bool StampMs(const char* p, bool with_ms, int64_t* ms) {
  const int32_t julian = pv::JulianFromDateText(std::string_view(p, 8));
  int64_t h, m, s, milli = 0;
  if (julian == 0 || !Digits(p + 8, 2, &h) || !Digits(p + 10, 2, &m) || !Digits(p + 12, 2, &s) ||
      (with_ms && !Digits(p + 14, 3, &milli)) || h > 23 || m > 59 || s > 59) {
    return false;
  }
  *ms = JulianMs(julian) + ((h * 60 + m) * 60 + s) * 1000 + milli;
  return true;
}

std::string Trimmed(const char* p, size_t n) {
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
  return std::string(p, n);
}

std::chrono::steady_clock::time_point g_started = std::chrono::steady_clock::now();
std::chrono::steady_clock::time_point g_last_progress;
bool g_progress_shown = false;

}  // namespace

const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"_DCLOG", "UT"}, {"_ARCHIVE", "TIME"}, {"_EVENTLOG", "UTC"}};
  return kinds;
}

const Kind* FindKind(const std::string& name) {
  for (const Kind& k : Kinds()) {
    if (pv::EqualNoCase(name, k.name)) return &k;
  }
  return nullptr;
}

pv::FieldList DeclaredFields(const Kind& kind) {
  if (std::strcmp(kind.name, "_DCLOG") == 0) return FieldsOf<DcLogDbf>(kind.name);
  if (std::strcmp(kind.name, "_ARCHIVE") == 0) return FieldsOf<EntryDbf>(kind.name);
  return FieldsOf<EventLogDbf>(kind.name);
}

bool RecordTimeMs(const Kind& kind, pv::Table* table, int64_t* ms) {
  pv::Field* f = table->FieldByName(kind.time_field, false);
  if (f == nullptr) return false;
  const char* p = f->Ptr();
  switch (f->Width()) {
    case 25:  // _DCLOG UT: timelevel (8 digits), then YYYYMMDDhhmmssmmm
      return StampMs(p + 8, true, ms);
    case 14:  // _ARCHIVE TIME: YYYYMMDDhhmmss
      return StampMs(p, false, ms);
    default: {  // _EVENTLOG UTC: PcTime seconds
      bool ok = false;
      const double seconds = pv::ParseNumericText(std::string_view(p, f->Width()), &ok);
      if (!ok || seconds < 0 || seconds > 4294967295.0) return false;
      *ms = static_cast<int64_t>(seconds) * 1000;
      return true;
    }
  }
}

std::string RecordKey(pv::Table* table) {
  std::string key;
  for (int32_t i = 1; i <= table->FieldCount(); ++i) {
    pv::Field* f = table->FieldAt(i);
    if (i > 1) key += '|';
    if (f->Type() == 'N' || f->Type() == 'F') {
      bool ok = false;
      const double v = pv::ParseNumericText(std::string_view(f->Ptr(), f->Width()), &ok);
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", f->Decimals(), ok ? v : 0.0);
      key += ok ? buf : "?";
    } else {
      key += Trimmed(f->Ptr(), static_cast<size_t>(f->Width()));
    }
  }
  return key;
}

bool FindDays(const Options& options, std::vector<Day>* days) {
  const std::string dest = pv::ResolvePath(options.dest);
  std::vector<std::string> names;
  if (!pv::IsDirectory(dest) || !pv::ListDirectory(dest, &names).ok()) return false;
  const std::string root = dest.back() == '/' ? dest : dest + "/";
  for (const Kind& kind : Kinds()) {
    auto dir = std::find_if(names.begin(), names.end(), [&](const std::string& n) {
      return pv::EqualNoCase(n, kind.name) && pv::IsDirectory(root + n);
    });
    if (dir == names.end()) continue;
    const std::string kind_dir = root + *dir + "/";
    std::vector<std::string> files;
    if (!pv::ListDirectory(kind_dir, &files).ok()) continue;
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
      if (f.size() != 12 || f.compare(8, 4, ".zip") != 0 ||
          f.find_first_not_of("0123456789") != 8) {
        continue;
      }
      const std::string date = f.substr(0, 8);
      if ((!options.from.empty() && date < options.from) || (!options.to.empty() && date > options.to)) {
        continue;
      }
      Day day;
      day.kind_dir = kind_dir;
      day.kind = &kind;
      day.date = date;
      day.zip = kind_dir + f;
      day.txt = kind_dir + date + ".txt";
      day.manifest = kind_dir + date + ".manifest";
      days->push_back(day);
    }
  }
  return true;
}

zip_t* OpenDay(Day* day, int32_t hours) {
  zip_t* za = zip_open(day->zip.c_str(), ZIP_RDONLY, &day->zip_error);
  if (za == nullptr) return nullptr;
  day->zip_error = 0;
  const int32_t day_julian = pv::JulianFromDateText(day->date);
  const zip_int64_t count = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0 || st.name == nullptr) continue;
    Member m;
    m.index = static_cast<zip_uint64_t>(i);
    m.name = st.name;
    m.size = st.size;
    m.compressed = st.comp_size;
    m.crc = st.crc;
    switch (st.encryption_method) {
      case ZIP_EM_NONE: m.encryption = "none"; break;
      case ZIP_EM_TRAD_PKWARE: m.encryption = "ZipCrypto"; break;
      case ZIP_EM_AES_128: m.encryption = "AES-128"; break;
      case ZIP_EM_AES_192: m.encryption = "AES-192"; break;
      case ZIP_EM_AES_256: m.encryption = "AES-256"; break;
      default: m.encryption = "method " + std::to_string(st.encryption_method); break;
    }
    // MMDD_HHh.dbf: the interval that ends with hour HH of the archive's day.
    int64_t hour = 0;
    m.name_ok = m.name.size() == 12 && m.name.compare(0, 4, day->date, 4, 4) == 0 &&
                m.name[4] == '_' && Digits(m.name.data() + 5, 2, &hour) && hour < 24 &&
                m.name.compare(7, 5, "h.dbf") == 0 && (hour + 1) % hours == 0;
    if (m.name_ok) {
      m.end_ms = JulianMs(day_julian) + (hour + 1) * kHourMs - 1;
      m.start_ms = m.end_ms + 1 - hours * kHourMs;
    }
    day->members.push_back(m);
  }
  return za;
}

int32_t IntervalHours(const Options& options, const std::vector<Day>& days) {
  if (options.hours > 0) return options.hours;
  const ZrString ini = ZrGetAppDirEx() + "kestrel.ini";
  if (pv::PathExists(static_cast<const char*>(ini))) {
    const int32_t h = ZrGetProfileInt("Packvault", "WriteInterval", 24, ini);
    if (h > 0 && h <= 24 && 24 % h == 0) return h;
  }
  // The members' last hours: each interval ends one hour before a multiple
  // of its length.
  int32_t hours = 24;
  for (const Day& d : days) {
    int err = 0;
    zip_t* za = zip_open(d.zip.c_str(), ZIP_RDONLY, &err);
    if (za == nullptr) continue;
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
      const char* n = zip_get_name(za, static_cast<zip_uint64_t>(i), 0);
      int64_t hour = 0;
      if (n != nullptr && std::strlen(n) == 12 && Digits(n + 5, 2, &hour) && hour < 24) {
        hours = std::gcd(hours, static_cast<int32_t>(hour) + 1);
      }
    }
    zip_discard(za);
  }
  return hours;
}

MemberTable::MemberTable(const std::string& bytes) : ctx_(new pv::EngineContext(&fs_)) {
  fs_.SetContents("member.dbf", bytes);
  ctx_->settings().read_only = true;
  table_ = pv::Table::Open(ctx_.get(), "member.dbf");
  if (table_ == nullptr) {
    why_ = std::string("not a readable table (") + pv::EngineErrorText(ctx_->ErrorCode()) + ")";
  }
}

MemberTable::~MemberTable() {
  if (table_ != nullptr) table_->Close();
}

std::string ZipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

void Progress(const std::string& text) {
  const auto now = std::chrono::steady_clock::now();
  if (now - g_started < std::chrono::seconds(2) ||
      now - g_last_progress < std::chrono::milliseconds(250)) {
    return;
  }
  g_last_progress = now;
  g_progress_shown = true;
  std::fprintf(stderr, "\r%-78.78s", text.c_str());
  std::fflush(stderr);
}

void ProgressDone() {
  if (g_progress_shown) std::fprintf(stderr, "\r%78s\r", "");
  g_progress_shown = false;
}

std::string Utf8FromAnsi(const std::string& text) {
  // Windows-1252 0x80..0x9F; 0 where the code page leaves a byte undefined.
  static const uint16_t kHigh[32] = {
      0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
  std::string out;
  for (unsigned char c : text) {
    uint32_t cp = c;
    if (c >= 0x80 && c < 0xA0) cp = kHigh[c - 0x80] != 0 ? kHigh[c - 0x80] : '?';
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : Utf8FromAnsi(text)) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out.push_back(c);
    }
  }
  return out + "\"";
}

}  // namespace pvarchive
