// End-to-end: pvarchive verifies and exports day archives that real packvault
// runs made, and reports each kind of tampering exactly.
//
// One installation, 1-hour intervals, in 2040 (PcTimes above 2^31). The
// plant tables hold records from 2040-01-01 22:00 to 2040-01-02 00:30 UT, 5%
// of them deleted. Three runs, each with
// the store clock frozen and the shutdown object already set, so each archives
// the interval in progress at once: at 22:30 member 0101_22h, at 23:30
// 0101_23h, at 00:10 0102_00h. So every kind has two day archives, the first
// with two members, and the second day's manifest links to the first's.
#include <zip.h>

#include <cstring>
#include <utility>

#include "app/zip_adapter.h"
#include "tests/app/app_test_util.h"

namespace {

using e2e::Installation;

// Makes the day archives (see the top) in inst.
void MakeArchives(Installation& inst) {
  ASSERT_TRUE(inst.Plantsim("--fill 2700 --from 2040-01-01T22:00:00Z --to 2040-01-02T00:30:00Z "
                            "--seed 11 --delete-share 0.05 --local-offset 3600"));
  for (const char* clock : {"2040-01-01T22:30:00Z", "2040-01-01T23:30:00Z", "2040-01-02T00:10:00Z"}) {
    inst.ClearRun();
    inst.WriteStore(clock, 0);
    ASSERT_TRUE(inst.SetObject("$SHUTDOWN", "1"));
    inst.Start();
    ASSERT_EQ(inst.Process().Wait(60000), 0) << inst.Console();
  }
}

// Runs pvarchive; its exit code, standard output in *out.
int Pvarchive(const std::vector<std::string>& args, std::string* out) {
  const pvtest::ProcessResult r = pvtest::Run(e2e::Tool("pvarchive", args));
  *out = pvtest::WithoutCr(r.out);
  return r.exit_code;
}

// Changes an archive with libzip behind the program's back: fn gets it open.
template <class Fn>
void Tamper(const std::string& zip, Fn fn) {
  int err = 0;
  zip_t* za = zip_open(zip.c_str(), 0, &err);
  ASSERT_NE(za, nullptr) << zip;
  fn(za);
  ASSERT_EQ(zip_close(za), 0) << zip_strerror(za);
}

// Puts bytes into the archive as member name, encrypted with the code.
void PutMember(zip_t* za, const std::string& name, const std::string& bytes) {
  char* copy = static_cast<char*>(malloc(bytes.size()));
  memcpy(copy, bytes.data(), bytes.size());
  zip_source_t* src = zip_source_buffer(za, copy, bytes.size(), 1);
  const zip_int64_t index = zip_file_add(za, name.c_str(), src, ZIP_FL_OVERWRITE);
  ASSERT_GE(index, 0);
  zip_file_set_encryption(za, static_cast<zip_uint64_t>(index), ZIP_EM_AES_256, e2e::kProjectCode);
}

// The table bytes with record r (1-based) marked deleted: the header's and
// the record's sizes are 16-bit values at 8 and 10.
std::string WithRecordDeleted(std::string dbf, uint32_t r) {
  auto u16 = [&](size_t at) { return static_cast<uint8_t>(dbf[at]) | static_cast<uint8_t>(dbf[at + 1]) << 8; };
  dbf[u16(8) + (r - 1) * u16(10)] = '*';
  return dbf;
}

// verify passes and list shows the members; the members hold their
// intervals' records and export gives them; each tampering is reported exactly.
TEST(PvarchiveTest, VerifyListExportAndEachTampering) {
  Installation inst;
  ASSERT_NO_FATAL_FAILURE(MakeArchives(inst));
  pvtest::TempDir tmp;
  std::string out;
  EXPECT_EQ(Pvarchive({"verify", inst.Dir("archive"), "--store", inst.Store(), "--plant",
                       inst.Dir("project"), "--hours", "1"},
                      &out),
            0)
      << out;
  EXPECT_EQ(out, "6 archives, 9 members verified: all well\n");

  EXPECT_EQ(Pvarchive({"list", inst.Dir("archive"), "--day", "20400101", "--json"}, &out), 0);
  for (const char* member : {"0101_22h.dbf", "0101_23h.dbf"}) {
    // 2700 records over 2.5 hours, 5% of them deleted: about 1026 live per hour.
    const size_t at = out.find(std::string("{\"member\": \"") + member + "\", \"interval\": \"");
    ASSERT_NE(at, std::string::npos) << out;
    const size_t records = out.find("\"records\": ", at);
    EXPECT_NEAR(std::atoi(out.c_str() + records + 11), 1026, 60);
    EXPECT_NE(out.find("\"encryption\": \"AES-256\"", at), std::string::npos);
  }
  EXPECT_EQ(out.find("0102_00h"), std::string::npos);

  // Member 0101_23h of each kind holds exactly the plant table's live records
  // of its interval, and export gives them field for field, as the
  // independent reader (python3-dbfread) reads the plant table and the member.
  // The interval in each time field: UT a sortable string, TIME digits, UTC
  // a PcTime.
  const struct {
    const char *kind, *field, *lo, *hi;
  } kinds[] = {{"_DCLOG", "UT", "0000000020400101230000000", "0000000020400101235959999"},
               {"_ARCHIVE", "TIME", "20400101230000", "20400101235959"},
               {"_EVENTLOG", "UTC", "2209071600", "2209075199"}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.kind);
    const std::string csv = tmp.File(std::string(k.kind) + ".csv"), dir = tmp.File(k.kind);
    ASSERT_EQ(Pvarchive({"export", inst.Dir("archive"), "--day", "20400101", "--kind", k.kind, "--interval",
                         "0101_23h", "--format", "csv", "--store", inst.Store(), "--output", csv},
                        &out),
              0);
    ASSERT_TRUE(Installation::Extract7z(inst.Dir("archive") + "/" + k.kind + "/20400101.zip", "0101_23h.dbf", dir));
    const std::string member = Installation::PythonRecords(dir + "/0101_23h.dbf");
    EXPECT_GT(member.size(), 100u);
    EXPECT_EQ(member, Installation::PythonRecords(inst.Dir("project") + "/" + k.kind + ".dbf", k.field, k.lo, k.hi));
    out = Installation::PythonRecords(dir + "/0101_23h.dbf", "--csv", csv);
    EXPECT_GT(std::atoi(out.c_str()), 900) << out;
  }

  struct Case {
    const char* what;
    std::vector<std::string> extra_args;  // beyond DEST --hours 1
    std::function<void(const std::string& dest)> tamper;
    std::vector<std::string> expected;  // lines, DEST-relative paths
  };
  const std::vector<std::string> code = {"--code", e2e::kProjectCode};
  const std::vector<Case> cases = {
      {"a member's bytes changed", code,
       [&](const std::string& d) {
         const std::string zip = d + "/_DCLOG/20400101.zip";
         std::string bytes = pvtest::ZipMemberBytes(zip, "0101_22h.dbf", e2e::kProjectCode);
         const size_t at = bytes.find("station");
         ASSERT_NE(at, std::string::npos);
         bytes[at] = 'S';
         Tamper(zip, [&](zip_t* za) { PutMember(za, "0101_22h.dbf", bytes); });
       },
       {"/_DCLOG/20400101.zip 0101_22h.dbf: differs from the manifest"}},
      {"a member removed", code,
       [&](const std::string& d) {
         Tamper(d + "/_ARCHIVE/20400101.zip",
                [](zip_t* za) { zip_delete(za, zip_name_locate(za, "0101_22h.dbf", 0)); });
       },
       {"/_ARCHIVE/20400101.zip 0101_22h.dbf: is listed in the manifest but missing from the archive",
        "/_ARCHIVE/20400101.txt 0101_22h.dbf: has a line in the day text file but no member"}},
      {"a member added by hand", code,
       [&](const std::string& d) {
         const std::string zip = d + "/_EVENTLOG/20400101.zip";
         const std::string bytes = pvtest::ZipMemberBytes(zip, "0101_22h.dbf", e2e::kProjectCode);
         Tamper(zip, [&](zip_t* za) { PutMember(za, "0101_21h.dbf", bytes); });
       },
       {"/_EVENTLOG/20400101.zip 0101_21h.dbf: is not in the manifest",
        "/_EVENTLOG/20400101.zip 0101_21h.dbf: has no line in 20400101.txt",
        "records outside the interval 2040-01-01T21:00:00.000Z to 2040-01-01T21:59:59.999Z"}},
      {"a record deleted, member and manifest rewritten by the program's own update",
       {"--code", e2e::kProjectCode, "--plant", inst.Dir("project")},
       [&](const std::string& d) {
         const std::string zip = d + "/_EVENTLOG/20400101.zip", file = d + "/0101_23h.dbf";
         const std::string bytes = pvtest::ZipMemberBytes(zip, "0101_23h.dbf", e2e::kProjectCode);
         pvtest::WriteFileBytes(file, WithRecordDeleted(bytes, 5));
         ASSERT_NE(XceedZipInitDLL(), 0);
         EXPECT_EQ(pvtest::ZipUpdate(zip, file, e2e::kProjectCode), kXzSuccess);
         XceedZipShutdownDLL();
       },
       {"/_EVENTLOG/20400101.zip 0101_23h.dbf: misses 1 of the plant table's records of its interval: "}},
      {"a wrong code", {"--code", "wrong-code"}, [](const std::string&) {},
       {"/_DCLOG/20400101.zip 0101_22h.dbf: cannot be decrypted with the code (wrong code)",
        "/_EVENTLOG/20400102.zip 0102_00h.dbf: cannot be decrypted with the code (wrong code)"}},
      {"a day text line removed", code,
       [](const std::string& d) {
         const std::string txt = d + "/_DCLOG/20400101.txt";
         std::string text = pvtest::ReadFileBytes(txt);
         const size_t at = text.find("UT: 0101_22h");
         ASSERT_NE(at, std::string::npos);
         text.erase(at, text.find('\0', at) + 1 - at);
         pvtest::WriteFileBytes(txt, text);
       },
       {"/_DCLOG/20400101.zip 0101_22h.dbf: has no line in 20400101.txt"}},
      {"a manifest edited", code,
       [](const std::string& d) {
         const std::string path = d + "/_ARCHIVE/20400102.manifest";
         std::string text = pvtest::ReadFileBytes(path);
         const size_t at = text.find(" 0102_00h.dbf") - 1;  // last digit of the record count
         text[at] = text[at] == '9' ? '8' : static_cast<char>(text[at] + 1);
         pvtest::WriteFileBytes(path, text);
       },
       {"/_ARCHIVE/20400102.zip 0102_00h.dbf: differs from the manifest"}},
      {"the previous day's manifest changed", {"--code", e2e::kProjectCode, "--day", "20400102"},
       [](const std::string& d) {
         const std::string path = d + "/_EVENTLOG/20400101.manifest";
         std::string text = pvtest::ReadFileBytes(path);
         text.erase(text.find("member "), text.find('\n', text.find("member ")) + 1 - text.find("member "));
         pvtest::WriteFileBytes(path, text);
       },
       {"/_EVENTLOG/20400102.manifest: previous manifest 20400101.manifest was changed: its SHA-256 "
        "differs from the link (chain broken)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dest = tmp.File("archive");  // a fresh copy to tamper with
    std::filesystem::remove_all(dest);
    std::filesystem::copy(inst.Dir("archive"), dest, std::filesystem::copy_options::recursive);
    c.tamper(dest);
    std::vector<std::string> args = {"verify", dest, "--hours", "1"};
    args.insert(args.end(), c.extra_args.begin(), c.extra_args.end());
    EXPECT_EQ(Pvarchive(args, &out), 1) << out;
    for (const std::string& line : c.expected) {
      EXPECT_NE(out.find(line.front() == '/' ? dest + line : line), std::string::npos)
          << "missing: " << line << "\n" << out;
    }
  }
}

}  // namespace
