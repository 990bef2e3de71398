// Helpers of the app tests: running the independent ZIP tools and reading
// archives; table-like test bytes; the plant log tables read back as one
// comparable line per record; and a throw-away Packvault installation for the
// end-to-end tests.
#ifndef PV_TESTS_APP_APP_TEST_UTIL_H_
#define PV_TESTS_APP_APP_TEST_UTIL_H_

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/dc_log_dbf.h"
#include "app/entry_dbf.h"
#include "app/event_log_dbf.h"
#include "app/zip_adapter.h"
#include "foundation/platform/file.h"
#include "foundation/zr_string.h"
#include "foundation/zr_time.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_iterator.h"
#include "tests/support/process_runner.h"
#include "tests/support/test_util.h"

namespace pvtest {

// n records of a fixed-width, plant-log-like text: compressible like the real
// tables but different per seed, so a member's bytes identify it.
inline std::string TableLikeBytes(uint32_t records, uint32_t seed) {
  std::string bytes;
  bytes.reserve(records * 48u);
  uint32_t x = seed * 2654435761u + 1u;
  char line[64];
  for (uint32_t i = 0; i < records; ++i) {
    x = x * 1103515245u + 12345u;
    std::snprintf(line, sizeof line, " POINT%05u            20071203%06u%12.4f%11u",
                  (x >> 8) % 4000u, i % 240000u, static_cast<double>(x % 100000u) / 7.0,
                  x % 17u);
    bytes += line;
  }
  return bytes;
}

// The member names of an archive as 7z lists them with the code; the whole
// listing goes to *listing when given.
inline std::vector<std::string> ZipMembers(const std::string& zip, const std::string& code,
                                           std::string* listing = nullptr) {
  const std::string text = RunHostTool({"7z", "l", "-slt", "-p" + code, HostPath(zip)}).out;
  if (listing != nullptr) *listing = text;
  std::vector<std::string> members;
  const size_t start = text.find("\n----------\n");
  size_t pos = start == std::string::npos ? text.size() : start;
  while ((pos = text.find("\nPath = ", pos)) != std::string::npos) {
    pos += 8;
    members.push_back(text.substr(pos, text.find('\n', pos) - pos));
  }
  return members;
}

// A member's bytes as 7z extracts them with the code ("" when it fails).
inline std::string ZipMemberBytes(const std::string& zip, const std::string& member,
                                  const std::string& code) {
  const ProcessResult r = RunHostTool({"7z", "x", "-so", "-p" + code, HostPath(zip), member});
  return r.exit_code == 0 ? r.out : std::string();
}

// One XzZip with the instance's defaults (deflate level 9, bare member
// names), or with remove an XzRemoveFiles of the member named file. The
// library must be up.
inline int32_t ZipUpdate(const std::string& archive, const std::string& file, const std::string& code,
                         XzEncryption method = XzEncryption::kAes256, bool remove = false) {
  XzHandle h = XzCreateXceedZipA();
  XzSetEncryptionPasswordA(h, code.c_str());
  XzSetEncryptionMethod(h, method);
  XzSetZipFilenameA(h, archive.c_str());
  XzSetFilesToProcessA(h, file.c_str());
  const int32_t r = remove ? XzRemoveFiles(h) : XzZip(h);
  XzDestroyXceedZip(h);
  return r;
}

// How many files in dir look like libzip's temporary files of archive_name:
// archive_name + "." + six (POSIX) or eight (Windows) characters.
inline int LeftoverTempFiles(const std::string& dir, const std::string& archive_name) {
  std::vector<std::string> names;
  if (!pv::ListDirectory(dir, &names).ok()) return 0;
  return static_cast<int>(std::count_if(names.begin(), names.end(), [&](const std::string& n) {
    const size_t suffix = n.size() - archive_name.size();
    return n.size() > archive_name.size() && n.compare(0, archive_name.size(), archive_name) == 0 &&
           n[archive_name.size()] == '.' && (suffix == 7 || suffix == 9);
  }));
}

}  // namespace pvtest

// Reading plant log tables (and archived copies of them) back through the
// table classes, as one comparable text line per record.
namespace plantrec {

inline std::string Line(const DcLogDbf& r) {
  return std::string(r.ut.AsSortableString(true).GetText()) + "|" + r.lt.AsSortableString(true).GetText() +
         "|" + r.location.GetText() + "|" + r.text.GetText() + "|" + r.guid.GetText() + "|" +
         r.user.GetText();
}

inline std::string Line(const EntryDbf& r) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "|%u|%.4f|%d", r.time, r.val, r.sts);
  return std::string(r.point_id.GetText()) + buf;
}

inline std::string Line(const EventLogDbf& r) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%u|%u|%u|%u|%u|%s|%s|%u|%u|%u|%u|%u|%u|%u|%u|%.6f|%.6f|%u|%s|%d|%d",
                r.type, r.al_type, r.obj_num, r.old_state, r.new_state, r.old_sts_txt.GetText(),
                r.new_sts_txt.GetText(), r.old_level, r.new_level, r.al_old, r.al_new, r.utc, r.lt,
                r.timestamp, r.timelevel, r.val_old, r.val_new, r.user_id, r.user_name.GetText(),
                r.printed ? 1 : 0, r.do_print ? 1 : 0);
  return buf;
}

// The records of table name in dir (ending with a separator), walked in the
// order of tag, that pass keep; one Line each. The table is neither created
// nor adjusted.
template <class Table>
std::vector<std::string> Read(const std::string& dir, const char* name, const char* tag,
                              const std::function<bool(const Table&)>& keep = nullptr) {
  std::vector<std::string> lines;
  ZrpBase base;
  base.Open("PLANTREC", dir.c_str(), false, false);
  {
    Table t(&base, name, true, false);
    ZrpTableIterator it;
    bool ok = t.Top(it, tag, nullptr);
    while (ok && it != 0) {
      if (!keep || keep(t)) lines.push_back(Line(t));
      ok = t.Skip(it, 1);
    }
    t.Close(ZrString(name));
  }
  base.Close();
  return lines;
}

inline std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace plantrec

// A throw-away Packvault installation: the real packvault executable with
// its kestrel.ini, a project directory with the three plant tables, an
// object store with an accelerated clock, and the archive destination, all
// below one temporary directory:
//
//   ROOT/bin/packvault, ROOT/bin/kestrel.ini
//   ROOT/work/plant1.do          the store; packvault runs in ROOT/work
//   ROOT/project/                _DCLOG, _ARCHIVE, _EVENTLOG
//   ROOT/archive/<kind>/         day archives and day text files
//
// Programs are started through the process runner, without a shell, so the
// same tests run on every platform.
namespace e2e {

constexpr char kProjectCode[] = "Kx7-plant!code";
constexpr char kProjectId[] = "Plant One";

inline std::string Upper(std::string p) {
  std::transform(p.begin(), p.end(), p.begin(), [](unsigned char c) { return std::toupper(c); });
  return p;
}

// Polls done every 50 ms; false when it is still false after timeout_s seconds.
inline bool WaitUntil(const std::function<bool()>& done, int timeout_s) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// The command line of a program of the build ("plantsim", "pvobjects" ...):
// args as given, then the words of options (options hold no path).
inline std::vector<std::string> Tool(const std::string& name, std::vector<std::string> args,
                                     const std::string& options = "") {
  args.insert(args.begin(), pvtest::ProgramPath("bin/" + name));
  std::istringstream words(options);
  for (std::string w; words >> w;) args.push_back(w);
  return args;
}

// Runs a program to its end: success when it exits with 0, else its exit
// code and outputs as the failure.
inline ::testing::AssertionResult RunOk(const std::vector<std::string>& argv) {
  const pvtest::ProcessResult r = pvtest::Run(argv, {}, 120000);
  if (r.exit_code == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << argv[0] << ": exit " << r.exit_code
                                       << (r.timed_out ? " (timed out)\n" : "\n") << r.out << r.err;
}

class Installation {
 public:
  Installation() {
    for (const char* d : {"bin", "work", "project", "archive"}) std::filesystem::create_directory(Dir(d));
    pvtest::CopyFile(pvtest::ProgramPath("bin/packvault"), Exe());  // with its modes
    WriteIni("");
  }
  ~Installation() {
    if (!tmux_.empty()) pvtest::Run({"tmux", "-L", tmux_, "kill-server"});
  }

  // kestrel.ini: one-hour intervals, checks every minute, the three kinds
  // in ROOT/project/, then the lines of extra ("Key=Value\r\n" each).
  void WriteIni(const std::string& extra) {
    const std::string project = "=" + Dir("project") + "/\r\n";
    pvtest::WriteFileBytes(Dir("bin") + "/kestrel.ini",
                           "[Packvault]\r\nMoDrv=" + Dir("archive") + "/\r\nWriteInterval=1\r\nCheckTimeInterval=1\r\n"
                           "Dbf_1=_dclog\r\nPath_1" + project + "Dbf_2=_ARCHIVE\r\nPath_2" + project +
                           "Dbf_3=_EventLog\r\nPath_3" + project +
                           "ErrorObjId=ARCHIVE_ERR\r\nProjectObjId=PROJECT_ID\r\n" + extra);
  }

  std::string Dir(const std::string& name) const { return root_.Path() + "/" + name; }
  std::string Store() const { return Dir("work") + "/plant1.do"; }
  std::string Exe() const {
    return Dir("bin") + "/" + std::filesystem::path(pvtest::ProgramPath("bin/packvault")).filename().string();
  }

  // The store: its clock stands at start_utc now and runs rate times as fast
  // as real time; local time is one hour after universal time. Without
  // code, the store has no "$PACKVAULT".
  void WriteStore(const std::string& start_utc, int rate, bool code = true) {
    pvtest::WriteFileBytes(Store(), "[clock]\nstart = " + start_utc + "\nstarted_at = " +
                                        std::to_string(std::time(nullptr)) + "\nrate = " + std::to_string(rate) +
                                        "\nlocal_offset = 3600\n[objects]\n$SHUTDOWN = int 0\n$MOFULL = int 7\n"
                                        "$MOGB = float -1\n$MOPROCENT = int -1\n" +
                                        (code ? "$PACKVAULT = text " + std::string(kProjectCode) + "\n" : "") +
                                        "ARCHIVE_ERR = int 99\nPROJECT_ID = text " + kProjectId + "\n");
  }

  // plantsim on ROOT/project with options.
  ::testing::AssertionResult Plantsim(const std::string& options) {
    return RunOk(Tool("plantsim", {Dir("project")}, options));
  }
  std::string Object(const std::string& name) {
    return pvtest::WithoutCr(pvtest::Run(Tool("pvobjects", {Store(), "get", name})).out);
  }
  ::testing::AssertionResult SetObject(const std::string& name, const std::string& value) {
    return RunOk(Tool("pvobjects", {Store(), "set", name, value}));
  }

  // Starts packvault with args in the background in ROOT/work, where it
  // finds its store, its console (both outputs) in ROOT/work/console.txt,
  // its keys from keys_file (none without); a run still going is killed first.
  void Start(std::vector<std::string> args = {"plant1"}, const std::string& keys_file = "") {
    run_.reset();
    args.insert(args.begin(), Exe());
    const std::string console = Dir("work") + "/console.txt";
    run_ = std::make_unique<pvtest::Child>(args, console, console, keys_file, Dir("work"));
  }
  // The run Start began (Kill: as a crash or a power cut would end it).
  pvtest::Child& Process() { return *run_; }

  // Starts packvault on a terminal, a detached tmux session, in the
  // foreground so that the terminal is its keyboard. After the run the
  // console gets the terminal's settings ("stty -a") and "exit code N".
  void StartOnTerminal() {
    tmux_ = "pvtest" + std::to_string(std::time(nullptr)) + std::to_string(std::rand() % 100000);
    ASSERT_TRUE(RunOk({"tmux", "-L", tmux_, "new-session", "-d", "-x", "160", "-y", "40", "sh", "-c",
                       "cd \"$0\" && \"$1\" plant1 > console.txt 2>&1; e=$?; stty -a >> console.txt;"
                       " echo \"exit code $e\" >> console.txt",
                       Dir("work"), Exe()}));
  }
  void PressKey(const char* key) { pvtest::Run({"tmux", "-L", tmux_, "send-keys", key}); }

  // Forgets the last run's console.
  void ClearRun() { std::filesystem::remove(Dir("work") + "/console.txt"); }

  // Waits until the console shows text; false after timeout_s seconds.
  bool ConsoleHas(const std::string& text, int timeout_s) {
    return WaitUntil([&] {
      return std::filesystem::exists(Dir("work") + "/console.txt") && Console().find(text) != std::string::npos;
    }, timeout_s);
  }
  std::string Console() const { return pvtest::WithoutCr(pvtest::ReadFileBytes(Dir("work") + "/console.txt")); }

  // The records of a table (or archive member) read by python3-dbfread, one
  // sorted JSON line each; with a field, only those with field in [lo, hi].
  // With "--csv" and a file for lo, the script's comparison with that CSV
  // export instead.
  static std::string PythonRecords(const std::string& dbf, const std::string& field = "",
                                   const std::string& lo = "", const std::string& hi = "") {
    std::vector<std::string> argv = {"/usr/bin/python3", pvtest::HostPath(PV_SOURCE_DIR "/tests/app/dbf_records.py"),
                                     pvtest::HostPath(dbf)};
    if (!field.empty()) argv.insert(argv.end(), {field, field == "--csv" ? pvtest::HostPath(lo) : lo});
    if (!hi.empty()) argv.push_back(hi);
    const pvtest::ProcessResult r = pvtest::RunHostTool(argv);
    EXPECT_EQ(r.exit_code, 0) << dbf << ": " << r.err;
    return r.out;
  }

  // Extracts one member of an encrypted day archive with 7z and the project
  // code into dir; false when 7z refuses.
  static bool Extract7z(const std::string& zip, const std::string& member, const std::string& dir) {
    return pvtest::RunHostTool({"7z", "x", "-y", std::string("-p") + kProjectCode, "-o" + pvtest::HostPath(dir),
                                pvtest::HostPath(zip), member}).exit_code == 0;
  }

  // Only plant tables in the project directories (dir + "/" each); only day
  // archives, their text files and manifests, and the journal in the archive
  // directories.
  void CheckNothingLeft(const std::vector<std::string>& projects) {
    auto check = [](const std::string& dir, bool project) {
      for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string n = e.path().filename().string(), ext = e.path().extension().string();
        EXPECT_TRUE(project ? n[0] == '_' && (ext == ".dbf" || ext == ".cdx")
                            : n == "ArchivedIntervals.txt" || (n.size() == 8 + ext.size() &&
                                                               (ext == ".zip" || ext == ".txt" || ext == ".manifest")))
            << dir << "/" << n;
      }
    };
    for (const std::string& p : projects) check(p, true);
    for (const char* kind : {"_DCLOG", "_ARCHIVE", "_EVENTLOG"}) check(Dir("archive") + "/" + kind, false);
  }

 private:
  pvtest::TempDir root_;
  std::unique_ptr<pvtest::Child> run_;  // killed before root_ goes
  std::string tmux_;
};

}  // namespace e2e

#endif  // PV_TESTS_APP_APP_TEST_UTIL_H_
