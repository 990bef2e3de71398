// The index commands of pvdbf: check, seek, dump --tag [--descend].
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "tableengine/cdx_coding.h"
#include "tests/support/test_util.h"

namespace {

int RunPvdbf(const std::string& args, std::vector<std::string>* lines) {
  pvtest::TempDir dir;
  std::string out = dir.File("out.txt");
  int status = std::system((pvtest::BinaryPath("bin/pvdbf") + " " + args + " >" + out + " 2>&1").c_str());
  std::ifstream in(out, std::ios::binary);
  lines->clear();
  for (std::string line; std::getline(in, line);) lines->push_back(line);
  return status == -1 ? -1 : (status >> 8) & 0xFF;
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

TEST(PvdbfIndexTest, CheckSummarisesEveryTagAndFailsOnDamage) {
  std::vector<std::string> lines;
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
}

TEST(PvdbfIndexTest, SeekPrintsTheResultAndTheRecord) {
  std::vector<std::string> lines;
  std::string table = pvtest::FixturePath("plant/n1000/_ARCHIVE");
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

TEST(PvdbfIndexTest, DumpInTagOrderBothWays) {
  std::vector<std::string> asc, desc, ut;
  std::string table = pvtest::FixturePath("plant/n1000-deleted/_DCLOG");
  ASSERT_EQ(RunPvdbf("dump " + table + " --tag UTC", &asc), 0);
  ASSERT_EQ(RunPvdbf("dump " + table + " --tag utc --descend", &desc), 0);
  ASSERT_EQ(RunPvdbf("dump " + table + " --tag UT", &ut), 0);  // the descending tag
  EXPECT_EQ(asc.size(), 900u);
  std::vector<std::string> reversed = Recnos(asc);
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_EQ(Recnos(desc), reversed);
  EXPECT_EQ(Recnos(ut), reversed);
  EXPECT_EQ(RunPvdbf("dump " + table + " --tag", &asc), 2);
}

}  // namespace
