// The pvdbf tool: `info`, `dump`, and the index commands check, seek and
// dump --tag [--descend], their output and exit codes. The dumps are
// compared value by value with the independent reader's dumps.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/test_util.h"
#include "tests/tableengine/mini_json.h"

namespace {

using pvtest::Json;
using pvtest::JsonParser;

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs pvdbf with its output (stdout and stderr) in `out`, or in *lines;
// returns its exit code.
int RunPvdbf(const std::string& args, const std::string& out) {
  const std::string cmd = pvtest::BinaryPath("bin/pvdbf") + " " + args + " >" + out + " 2>&1";
  const int status = std::system(cmd.c_str());
  return status == -1 ? -1 : (status >> 8) & 0xFF;
}
int RunPvdbf(const std::string& args, std::vector<std::string>* lines) {
  pvtest::TempDir dir;
  const int code = RunPvdbf(args, dir.File("out.txt"));
  *lines = Lines(dir.File("out.txt"));
  return code;
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

class PvdbfDumpTest : public ::testing::TestWithParam<const char*> {};

TEST_P(PvdbfDumpTest, MatchesIndependentReader) {
  pvtest::TempDir dir;
  const std::string table = pvtest::FixturePath(GetParam());
  ASSERT_EQ(RunPvdbf("dump " + table, dir.File("out")), 0);
  std::vector<std::string> got = Lines(dir.File("out"));
  std::vector<std::string> want = Lines(table + ".expected.jsonl");
  ASSERT_EQ(got.size() + 1, want.size());
  for (size_t i = 0; i < got.size(); i++) {
    Json g = JsonParser(got[i]).Parse();
    Json w = JsonParser(want[i + 1]).Parse();
    for (const auto& [name, value] : w.members) {
      if (name == "_NullFlags") continue;  // pvdbf leaves the hidden field out
      const Json* mine = g.Get(name);
      ASSERT_NE(mine, nullptr) << name << " in line " << i + 1;
      ExpectSameValue(*mine, value, name + " in line " + std::to_string(i + 1));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, PvdbfDumpTest,
                         ::testing::Values("plant/n1000-deleted/_ARCHIVE", "plant/n1000-deleted/_DCLOG",
                                           "plant/n1000-deleted/_EVENTLOG", "foxpro/misc/dbase_f5",
                                           "foxpro/misc/dbase_83", "foxpro/misc/foxprodb/calls"));

TEST(PvdbfTest, InfoAndErrors) {
  pvtest::TempDir dir;
  ASSERT_EQ(RunPvdbf("info " + pvtest::FixturePath("plant/n1000/_EVENTLOG.dbf"), dir.File("info")), 0);
  const std::string info = pvtest::ReadFileBytes(dir.File("info"));
  for (const char* line : {"version: 0x03\n", "records: 1000\n", "header length: 706\n", "record length: 291\n",
                           "  TYPE       N  11  0\n", "memo file: none\n", "  tag __FREE\n"}) {
    EXPECT_NE(info.find(line), std::string::npos) << line << " in\n" << info;
  }
  EXPECT_NE(RunPvdbf("dump " + dir.File("missing"), dir.File("err")), 0);
  EXPECT_NE(pvtest::ReadFileBytes(dir.File("err")).find("No such file"), std::string::npos);
  std::string bad = pvtest::ReadFileBytes(pvtest::FixturePath("plant/n1000/_ARCHIVE.dbf"));
  bad[10] = 7;  // record length no longer matches the fields
  pvtest::WriteFileBytes(dir.File("bad.dbf"), bad);
  EXPECT_NE(RunPvdbf("info " + dir.File("BAD"), dir.File("err")), 0);  // found without case
  EXPECT_NE(pvtest::ReadFileBytes(dir.File("err")).find("does not match the fields"), std::string::npos);
  EXPECT_EQ(RunPvdbf("frobnicate", dir.File("err")), 2);
}

bool Has(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

std::vector<std::string> Recnos(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& l : lines) {
    size_t at = l.find("\"_recno\": ");
    if (at != std::string::npos) out.push_back(l.substr(at + 10, l.find(',', at) - at - 10));
  }
  return out;
}

// check on a good and a damaged index, dump in tag order both ways, seek.
TEST(PvdbfIndexTest, CheckDumpInTagOrderAndSeek) {
  std::vector<std::string> lines, desc, ut;
  std::string table = pvtest::FixturePath("plant/n1000-deleted/_DCLOG");
  ASSERT_EQ(RunPvdbf("check " + table, &lines), 0);
  EXPECT_TRUE(Has(lines, "tag GUID       key UT+GUID | filter .NOT. DELETED() | key length 62 | unique yes"));
  EXPECT_TRUE(Has(lines, "tag UT         key UT | filter .NOT. DELETED() | key length 25 | unique no | descending yes | keys 900"));
  EXPECT_TRUE(Has(lines, "tag __FREE     key RECNO() | filter DELETED() | key length 8 | unique no | descending no | keys 100 | depth 1"));
  EXPECT_EQ(lines.back(), "index ok");

  // A damaged copy: the first record's key in tag UTC changed in the file.
  pvtest::TempDir dir;
  pvtest::CopyFile(table + ".dbf", dir.File("_DCLOG.dbf"));
  std::string cdx = pvtest::ReadFileBytes(table + ".cdx");
  size_t at = cdx.find("00000000202401010000");
  ASSERT_NE(at, std::string::npos);
  cdx[at + 19] = '9';
  pvtest::WriteFileBytes(dir.File("_DCLOG.cdx"), cdx);
  EXPECT_EQ(RunPvdbf("check " + dir.File("_DCLOG"), &lines), 1);
  EXPECT_TRUE(Has(lines, "  fault: "));
  EXPECT_TRUE(Has(lines, "index damaged"));
  EXPECT_EQ(RunPvdbf("check " + dir.File("nosuch"), &lines), 1);

  ASSERT_EQ(RunPvdbf("dump " + table + " --tag UTC", &lines), 0);
  ASSERT_EQ(RunPvdbf("dump " + table + " --tag utc --descend", &desc), 0);
  ASSERT_EQ(RunPvdbf("dump " + table + " --tag UT", &ut), 0);  // the descending tag
  EXPECT_EQ(lines.size(), 900u);
  std::vector<std::string> reversed = Recnos(lines);
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_EQ(Recnos(desc), reversed);
  EXPECT_EQ(Recnos(ut), reversed);
  EXPECT_EQ(RunPvdbf("dump " + table + " --tag", &lines), 2);

  table = pvtest::FixturePath("plant/n1000/_ARCHIVE");
  ASSERT_EQ(RunPvdbf("seek " + table + " PTIDTIME AREA01", &lines), 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "0");
  EXPECT_NE(lines[1].find("\"POINTID\": \"AREA01."), std::string::npos);
  ASSERT_EQ(RunPvdbf("seek " + table + " PTIDTIME AREA015", &lines), 0);
  EXPECT_EQ(lines[0], "2");
  ASSERT_EQ(RunPvdbf("seek " + table + " PTIDTIME ZZZ", &lines), 0);
  EXPECT_EQ(lines, std::vector<std::string>{"3"});
  EXPECT_NE(RunPvdbf("seek " + table + " NOSUCH X", &lines), 0);
}

}  // namespace
