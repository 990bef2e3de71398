// Nothing lost, nothing doubled, in-process: the catch-up journal through
// stops, restarts and failed runs on a server clock the test sets; the
// configuration values that refuse a start; copies that fail.
#include <filesystem>
#include <string>
#include <vector>

#include "app/entry_dbf.h"
#include "app/zip_adapter.h"
#include "persist/zrp_base.h"
#include "tableengine/mem_file_system.h"
#include "tests/app/zip_data_test_fixture.h"

namespace pvtest {
namespace {

using Names = std::vector<std::string>;

class DataSafetyTest : public ZipDataTest {
 protected:
  std::string Journal() const { return ReadFileBytes(Dest() + "_DCLOG/ArchivedIntervals.txt"); }
  bool JournalSays(const std::string& hour) const {
    return Journal().find("\r\n20071203 1203_" + hour + " " + Project() + "\r\n") !=
           std::string::npos;
  }
  static std::string Run(const std::string& hour) {
    return "20071203" + hour + "0000000..20071203" + hour + "5959999 1203_" + hour +
           "h 20071203";
  }
};

TEST_F(DataSafetyTest, CatchUpOldestFirstThroughAStopARestartAndAFailure) {
  WriteIni("WriteInterval = 1\n");
  FakeCopier* copier = Start();
  At(8, 30);
  zd_->StartTime();
  EXPECT_TRUE(JournalSays("07h"));  // the interval in progress is owed from the first start
  EXPECT_FALSE(zd_->CatchUpDue());
  At(8, 50);
  zd_->ForceZip();  // a stop: 08h so far, not whole
  ASSERT_EQ(Members("20071203"), Names{"1203_08h.dbf"});
  EXPECT_TRUE(JournalSays("07h"));

  // Killed runs left interim files; the restart removes exactly those.
  for (const char* name : {"1203_05h.dbf", "0101_23H.CDX", "1203_05h.dbf.keep", "120_05h.dbf"}) {
    WriteFileBytes(Project() + name, "x");
  }
  At(11, 30);
  zd_->StartTime();
  EXPECT_TRUE(Logged("I:Removing leftover interim file " + Project() + "0101_23H.CDX"));
  EXPECT_FALSE(pv::PathExists(Project() + "1203_05h.dbf"));
  EXPECT_TRUE(pv::PathExists(Project() + "1203_05h.dbf.keep"));
  EXPECT_TRUE(pv::PathExists(Project() + "120_05h.dbf"));
  EXPECT_EQ(Members("20071203"), Names{"1203_08h.dbf"});  // nothing removed at start

  copier->runs.clear();
  while (zd_->CatchUpDue()) zd_->CatchUpNext();
  EXPECT_EQ(copier->runs, (Names{Run("08"), Run("09"), Run("10")}));
  EXPECT_TRUE(Logged("I:Catching up 1203_08h (20071203.zip)"));
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 11, 0, 0, 0));
  EXPECT_EQ(Members("20071203"), (Names{"1203_08h.dbf", "1203_09h.dbf", "1203_10h.dbf"}));
  EXPECT_EQ(ZipMemberBytes(Archive("20071203"), "1203_08h.dbf", kProjectCode),
            copier->InterimBytes(Run("08")));  // the partial member replaced whole
  EXPECT_TRUE(JournalSays("10h"));

  // A failed regular run holds the catch-up; retries go oldest first, and
  // once one works the missed intervals follow.
  At(12, 5);
  copier->records = -kRunErrPlantUnreadable;
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(zd_->ZipError);
  EXPECT_EQ(Stored("ZIPERR"), "101");
  EXPECT_TRUE(Logged("E:Archive run failed, Error number 101\n   nothing written 2 " + Dest() +
                     "_DCLOG\\20071203.zip"));
  At(14, 10);
  EXPECT_FALSE(zd_->CatchUpDue());
  EXPECT_TRUE(zd_->CatchUpNext());
  EXPECT_TRUE(zd_->ZipError);
  copier->records = 3;
  EXPECT_TRUE(zd_->CatchUpNext());
  EXPECT_FALSE(zd_->ZipError);
  EXPECT_EQ(Stored("ZIPERR"), "0");
  while (zd_->CatchUpDue()) zd_->CatchUpNext();
  // 13h ended at the start of the interval in progress: the regular check's.
  EXPECT_EQ(Names(copier->runs.begin() + 3, copier->runs.end()),
            (Names{Run("11"), Run("11"), Run("11"), Run("12")}));
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 13, 0, 0, 0));
  EXPECT_TRUE(JournalSays("12h"));
  EXPECT_FALSE(pv::PathExists(Dest() + "_DCLOG/ArchivedIntervals.txt.tmp"));

  // A damaged journal line is reported and ignored: that directory starts afresh.
  WriteFileBytes(Dest() + "_DCLOG/ArchivedIntervals.txt", "20071303 1303_99h " + Project() + "\n");
  zd_->StartTime();
  EXPECT_TRUE(Logged("E:Journal line not understood, ignored: " + Dest() +
                     "_DCLOG\\ArchivedIntervals.txt: 20071303 1303_99h " + Project()));
  EXPECT_TRUE(JournalSays("13h"));
}

TEST_F(DataSafetyTest, BadConfigurationRefusesTheStart) {
  ASSERT_TRUE(eci_->ConnectEci("PACKVAULT", "plant1"));
  WriteIni("CatchUpHours = 4x\n");
  EXPECT_FALSE(zd_->InitializeZipData());
  EXPECT_TRUE(Logged("E:Ini-file: CatchUpHours not valid (0 to 744 hours): 4x"));
  WriteIni("CatchUpHours = 745\n");
  EXPECT_FALSE(zd_->InitializeZipData());

  WriteFileBytes(Ini(), "[Packvault]\nMoDrv = /" + std::string(200, 'd') + "\n");
  EXPECT_FALSE(zd_->InitializeZipData());
  EXPECT_TRUE(Logged("E:Ini-file: MoDrv is longer than 200 characters, refused"));

  // An unknown kind is named and skipped; a long path or a repeated entry refuses.
  const std::string tables = "Dbf_1 = _dclog\nPath_1 = /p/\nDbf_2 = _DCLOGS\nPath_2 = /p/\n";
  WriteIni(tables + "Dbf_3 = _archive\nPath_3 = /" + std::string(200, 'p') + "\n");
  ASSERT_TRUE(zd_->InitializeZipData());
  EXPECT_FALSE(zd_->InitializeDbfData());
  EXPECT_TRUE(Logged("I:Warning: Ini-file: Dbf_2 = _DCLOGS is no known table kind, entry ignored"));
  EXPECT_TRUE(Logged("E:Ini-file: Path_3 is longer than 200 characters, refused"));
  zd_->CleanUp();
  zd_->DbfList.clear();
  WriteIni(tables + "Dbf_4 = _DCLOG\nPath_4 = /P/\n");
  EXPECT_FALSE(zd_->InitializeDbfData());
  EXPECT_TRUE(Logged("E:Ini-file: Dbf_4/Path_4 repeats an earlier entry: _DCLOG /P/"));
  zd_->CleanUp();
  zd_->DbfList.clear();

  // Two kinds in one directory and one kind in two: the second _DCLOG writes
  // into the first one's interim table, the one member of their archive.
  WriteIni(tables + "Dbf_3 = _ARCHIVE\nPath_3 = /p/\nDbf_4 = _DCLOG\nPath_4 = /q/\n");
  ASSERT_TRUE(zd_->InitializeDbfData());
  ASSERT_EQ(zd_->DbfList.size(), 3u);
  EXPECT_EQ(zd_->DbfList[1]->InterimOwner, nullptr);
  EXPECT_EQ(zd_->DbfList[2]->InterimOwner, zd_->DbfList[0]);

  // CatchUpHours 0: no journal, nothing caught up.
  zd_->CleanUp();
  zd_->DbfList.clear();
  WriteIni("WriteInterval = 1\nCatchUpHours = 0\n");
  FakeCopier* copier = Start();
  At(8, 30);
  zd_->StartTime();
  At(12, 30);
  EXPECT_FALSE(zd_->CatchUpDue());
  EXPECT_FALSE(zd_->CatchUpNext());
  EXPECT_TRUE(copier->runs.empty());
  EXPECT_FALSE(pv::PathExists(Dest() + "_DCLOG"));
}

// A copy on a file system that fails: a write of the interim table or a read
// of the plant table mid-walk fails the copy (never a short member), the log
// counts what was written, and once the faults are gone the retry copies the
// whole interval.
TEST(CopierFaultTest, FailedWriteOrReadFailsTheCopyAndTheRetryIsWhole) {
  using Op = pv::MemFileSystem::Op;
  CaptureLog log;
  SetLog(&log);
  ZipData zd;
  SetZipData(&zd);
  zd.IntervalStart = ZrTime(2024, 1, 1, 10, 0, 0, 0);
  zd.IntervalEnd = ZrTime(2024, 1, 1, 10, 59, 59, 999);
  zd.InterimName = "0101_10h";
  pv::MemFileSystem fs;
  const uint32_t k10h = 1704103200u;
  {
    ZrpBase base(&fs);
    base.Open("PLANT", "/P/", false, false);
    EntryDbf t(&base, "_ARCHIVE", false, true);
    for (uint32_t i = 0; i < 250; ++i) {  // 10 s apart from 09:59:40: 248 in 10h
      t.point_id = "AREA01.FIC0001.PV";
      t.time = k10h - 20 + i * 10;
      t.val = i;
      t.sts = 0;
      ASSERT_TRUE(t.Add(nullptr));
    }
    t.Close("_ARCHIVE");
    base.Close();
  }
  Archive2Zip copier;
  copier.DbfKind = "_ARCHIVE";
  copier.DbfPath = "/P/";
  copier.FileSystem = &fs;
  copier.OpenBases(0);

  fs.FailAfter(Op::kWrite, 0, true);
  EXPECT_EQ(copier.ProcessDbf(), -kRunErrInterimWrite);
  EXPECT_TRUE(log.Has("I:   0 records written 2  dbf: 0101_10h"));
  EXPECT_NE(log.lines.back().find("E:Failed 2 write /P/0101_10h.dbf (error "), std::string::npos);

  fs.ClearFaults();
  fs.FailAfter(Op::kRead, 40);
  EXPECT_EQ(copier.ProcessDbf(), -kRunErrPlantUnreadable);
  EXPECT_NE(log.lines.back().find("E:Failed 2 read /P/_ARCHIVE.dbf (error "), std::string::npos);
  EXPECT_NE(log.lines.back().find("), the interval is not archived"), std::string::npos);
  const std::string& counted = log.lines[log.lines.size() - 2];
  ASSERT_EQ(counted.find("I:   "), 0u);
  EXPECT_GT(std::atoi(counted.c_str() + 5), 0) << counted;  // the walk failed midway
  EXPECT_LT(std::atoi(counted.c_str() + 5), 248) << counted;


  fs.ClearFaults();
  for (const char* ext : {".dbf", ".cdx"}) {
    const std::string path = std::string("/P/0101_10h") + ext;
    if (fs.Exists(path)) {
      ASSERT_TRUE(fs.Remove(path).ok());
    }
  }
  EXPECT_EQ(copier.ProcessDbf(), 248);
  copier.CloseBases();
  ZrpBase check(&fs);
  check.Open("CHECK", "/P/", false, false);
  {
    EntryDbf interim(&check, "0101_10h", false, false);
    EXPECT_EQ(interim.GetCount(), 248);
    interim.Close("0101_10h");
  }
  check.Close();
  SetZipData(nullptr);
  SetLog(nullptr);
}

}  // namespace
}  // namespace pvtest
