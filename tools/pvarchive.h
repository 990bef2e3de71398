// pvarchive: looks into, verifies and exports Packvault's day archives.
//
// A destination directory (the INI's "MoDrv") holds one directory per table
// kind, and in it per UT day YYYYMMDD.zip (one member MMDD_HHh.dbf per
// interval), YYYYMMDD.txt (the day text file) and YYYYMMDD.manifest
// (app/archive_manifest.h). pvarchive_day.cc reads one day of one kind;
// pvarchive_list.cc, pvarchive_verify.cc and pvarchive_export.cc are the
// commands.
#ifndef PV_TOOLS_PVARCHIVE_H_
#define PV_TOOLS_PVARCHIVE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/archive_manifest.h"
#include "tableengine/engine_api.h"
#include "tableengine/mem_file_system.h"

namespace pvarchive {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;

struct Options {
  std::string dest;
  std::string from, to;      // YYYYMMDD range (--day sets both); "" open
  std::string code;          // --code, or read from --store
  std::string plant;         // --plant PROJECTDIR
  std::string kind;          // --kind (export), upper case
  std::string interval;      // --interval MMDD_HHh (export)
  std::string format;        // --format (export)
  std::string output;        // --output FILE (export); "" standard output
  int32_t hours = 0;         // interval length; 0: from kestrel.ini or the members
  bool json = false;
};

// The plant log kinds and how to read a record's universal time.
struct Kind {
  const char* name;        // "_DCLOG"
  const char* time_field;  // "UT", "TIME", "UTC"
};
const std::vector<Kind>& Kinds();
const Kind* FindKind(const std::string& name);  // without regard to case
// The declared fields of a kind, from its record class in app/.
pv::FieldList DeclaredFields(const Kind& kind);
// A record's universal time in milliseconds since 1970; false when the field
// does not hold a time.
bool RecordTimeMs(const Kind& kind, pv::Table* table, int64_t* ms);
// The record's fields as comparable text: character fields without trailing
// blanks, numbers in the field's decimals, separated by '|'.
std::string RecordKey(pv::Table* table);

// One member of a day archive.
struct Member {
  zip_uint64_t index = 0;     // in the archive
  std::string name;           // "0101_10h.dbf"
  uint64_t size = 0;          // uncompressed, from the directory
  uint64_t compressed = 0;
  uint32_t crc = 0;
  std::string encryption;     // "AES-256", "AES-128", "ZipCrypto", "none", ...
  int64_t start_ms = 0, end_ms = 0;  // the interval by name; end inclusive
  bool name_ok = false;       // MMDD_HHh.dbf of the archive's day
};

// One day archive of one kind, with its text file and manifest.
struct Day {
  std::string kind_dir;       // DEST/<kind dir>/
  const Kind* kind = nullptr;
  std::string date;           // YYYYMMDD
  std::string zip, txt, manifest;  // paths
  std::vector<Member> members;
  int zip_error = 0;          // libzip's error opening the archive, 0 when open
};

// The day archives of DEST within [from, to], by kind then date; kinds
// without a directory are left out. False when DEST is not a directory.
bool FindDays(const Options& options, std::vector<Day>* days);
// Opens the day's archive and fills its members; null (zip_error set) when
// it cannot be opened. The caller zip_discard()s it.
zip_t* OpenDay(Day* day, int32_t hours);
// The interval length to use: --hours, else "WriteInterval" of the
// kestrel.ini beside this program, else the largest that fits every member
// name of the days (24 / 12 / ... / 1).
int32_t IntervalHours(const Options& options, const std::vector<Day>& days);

// A member's bytes opened as a table through the engine, in memory.
class MemberTable {
 public:
  // Null table() when the bytes are no table; why() says why.
  explicit MemberTable(const std::string& bytes);
  ~MemberTable();
  pv::Table* table() const { return table_; }
  const std::string& why() const { return why_; }

 private:
  pv::MemFileSystem fs_;
  std::unique_ptr<pv::EngineContext> ctx_;
  pv::Table* table_ = nullptr;
  std::string why_;
};

// A libzip error code as text.
std::string ZipErrorText(int code);
// A progress line on standard error, overwritten by the next; only when
// standard error is a terminal. Done() clears it.
void Progress(const std::string& text);
void ProgressDone();
// Text as a JSON string (bytes above 0x7F as Windows-1252).
std::string JsonString(const std::string& text);
// Windows-1252 bytes as UTF-8.
std::string Utf8FromAnsi(const std::string& text);

int List(const Options& options);
int Verify(const Options& options);
int Export(const Options& options);

}  // namespace pvarchive

#endif  // PV_TOOLS_PVARCHIVE_H_
