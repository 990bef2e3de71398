// The pvdbf tool: `info`, `dump`, and the index commands check, seek and
// dump --tag [--descend], their output and exit codes. The dumps are
// compared value by value with the independent reader's dumps.
#include <algorithm>
#include <cmath>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/process_runner.h"
#include "tests/support/test_util.h"
#include "tests/tableengine/mini_json.h"

namespace {

using pvtest::Json;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::IsSupersetOf;
using ::testing::StartsWith;
using pvtest::JsonParser;

using Lines = std::vector<std::string>;

Lines Split(const std::string& text) {
  std::istringstream in(text);
  Lines lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs pvdbf; its exit code, with its output lines in *lines and its
// messages in *err.
int RunPvdbf(std::vector<std::string> args, Lines* lines, std::string* err = nullptr) {
  args.insert(args.begin(), pvtest::ProgramPath("bin/pvdbf"));
  const pvtest::ProcessResult r = pvtest::Run(args);
  *lines = Split(pvtest::WithoutCr(r.out));
  if (err != nullptr) *err = r.err;
  return r.exit_code;
}

void ExpectSameValue(const Json& got, const Json& want, const std::string& where) {
  if (want.kind == Json::kNumber || (want.kind == Json::kString && got.kind == Json::kNumber)) {
    // Numbers (currency comes from the reader as a decimal string).
    ASSERT_EQ(got.kind, Json::kNumber) << where;
    const double w = std::stod(want.text);
    EXPECT_NEAR(std::stod(got.text), w, std::fabs(w) * 1e-12 + 1e-9) << where;
  } else if (want.kind == Json::kString && got.kind == Json::kString && want.text.size() == 26 &&
             want.text[10] == 'T') {
    // Datetimes: the reader prints microseconds, pvdbf milliseconds.
    EXPECT_EQ(got.text, want.text.substr(0, 23)) << where;
  } else {
    ASSERT_EQ(got.kind, want.kind) << where;
    EXPECT_EQ(got.text, want.text) << where;
    EXPECT_EQ(got.b, want.b) << where;
  }
}

// Tables with every field kind, every record dumped and compared with the
// independent reader's values.
TEST(PvdbfTest, DumpMatchesIndependentReader) {
  for (const char* name : {"plant/n1000-deleted/_ARCHIVE", "plant/n1000-deleted/_DCLOG",
                           "plant/n1000-deleted/_EVENTLOG", "foxpro/misc/dbase_f5", "foxpro/misc/dbase_83",
                           "foxpro/misc/foxprodb/calls"}) {
    SCOPED_TRACE(name);
    const std::string table = pvtest::FixturePath(name);
    Lines got;
    ASSERT_EQ(RunPvdbf({"dump", table}, &got), 0);
    const Lines want = Split(pvtest::ReadFileBytes(table + ".expected.jsonl"));
    ASSERT_EQ(got.size() + 1, want.size());
    for (size_t i = 0; i < got.size(); i++) {
      const Json g = JsonParser(got[i]).Parse(), w = JsonParser(want[i + 1]).Parse();
      for (const auto& [field, value] : w.members) {
        if (field == "_NullFlags") continue;  // pvdbf leaves the hidden field out
        const std::string where = field + " in line " + std::to_string(i + 1);
        ASSERT_NE(g.Get(field), nullptr) << where;
        ExpectSameValue(*g.Get(field), value, where);
      }
    }
  }
}

// info; check on a good and a damaged index; dump in tag order both ways;
// seek; the errors' messages and exit codes.
TEST(PvdbfTest, InfoCheckDumpInTagOrderSeekAndErrors) {
  pvtest::TempDir dir;
  Lines lines, desc, ut;
  std::string err;
  ASSERT_EQ(RunPvdbf({"info", pvtest::FixturePath("plant/n1000/_EVENTLOG.dbf")}, &lines), 0);
  EXPECT_THAT(lines, IsSupersetOf({"version: 0x03", "records: 1000", "header length: 706", "record length: 291",
                                   "  TYPE       N  11  0", "memo file: none", "  tag __FREE"}));
  EXPECT_NE(RunPvdbf({"dump", dir.File("missing")}, &lines, &err), 0);
  EXPECT_NE(err.find(dir.File("missing")), std::string::npos) << err;
  std::string bad = pvtest::ReadFileBytes(pvtest::FixturePath("plant/n1000/_ARCHIVE.dbf"));
  bad[10] = 7;  // record length no longer matches the fields
  pvtest::WriteFileBytes(dir.File("bad.dbf"), bad);
  EXPECT_NE(RunPvdbf({"info", dir.File("BAD")}, &lines, &err), 0);  // found without case
  EXPECT_NE(err.find("does not match the fields"), std::string::npos) << err;
  EXPECT_EQ(RunPvdbf({"frobnicate"}, &lines), 2);

  std::string table = pvtest::FixturePath("plant/n1000-deleted/_DCLOG");
  ASSERT_EQ(RunPvdbf({"check", table}, &lines), 0);
  EXPECT_THAT(lines, Contains(StartsWith("tag GUID       key UT+GUID | filter .NOT. DELETED() | key length 62 | unique yes")));
  EXPECT_THAT(lines, Contains(StartsWith("tag UT         key UT | filter .NOT. DELETED() | key length 25 | unique no | descending yes | keys 900")));
  EXPECT_THAT(lines, Contains("tag __FREE     key RECNO() | filter DELETED() | key length 8 | unique no | descending no | keys 100 | depth 1"));
  EXPECT_EQ(lines.back(), "index ok");

  // A damaged copy: the first record's key in tag UTC changed in the file.
  pvtest::CopyFile(table + ".dbf", dir.File("_DCLOG.dbf"));
  std::string cdx = pvtest::ReadFileBytes(table + ".cdx");
  size_t at = cdx.find("00000000202401010000");
  ASSERT_NE(at, std::string::npos);
  cdx[at + 19] = '9';
  pvtest::WriteFileBytes(dir.File("_DCLOG.cdx"), cdx);
  EXPECT_EQ(RunPvdbf({"check", dir.File("_DCLOG")}, &lines), 1);
  EXPECT_THAT(lines, AllOf(Contains(StartsWith("  fault: ")), Contains(StartsWith("index damaged"))));
  EXPECT_EQ(RunPvdbf({"check", dir.File("nosuch")}, &lines), 1);

  ASSERT_EQ(RunPvdbf({"dump", table, "--tag", "UTC"}, &lines), 0);
  ASSERT_EQ(RunPvdbf({"dump", table, "--tag", "utc", "--descend"}, &desc), 0);
  ASSERT_EQ(RunPvdbf({"dump", table, "--tag", "UT"}, &ut), 0);  // the descending tag
  EXPECT_EQ(lines.size(), 900u);
  std::reverse(lines.begin(), lines.end());  // each line names its record number
  EXPECT_TRUE(desc == lines);
  EXPECT_TRUE(ut == lines);
  EXPECT_EQ(RunPvdbf({"dump", table, "--tag"}, &lines), 2);

  table = pvtest::FixturePath("plant/n1000/_ARCHIVE");
  ASSERT_EQ(RunPvdbf({"seek", table, "PTIDTIME", "AREA01"}, &lines), 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "0");
  EXPECT_NE(lines[1].find("\"POINTID\": \"AREA01."), std::string::npos);
  ASSERT_EQ(RunPvdbf({"seek", table, "PTIDTIME", "AREA015"}, &lines), 0);
  EXPECT_EQ(lines[0], "2");
  ASSERT_EQ(RunPvdbf({"seek", table, "PTIDTIME", "ZZZ"}, &lines), 0);
  EXPECT_EQ(lines, Lines{"3"});
  EXPECT_NE(RunPvdbf({"seek", table, "NOSUCH", "X"}, &lines), 0);
}

}  // namespace
