// ZipData's schedule and archive job on a server clock the test sets: which
// interval each check archives, under which name, and what lands on disk.
#include <string>
#include <vector>

#include "tests/app/posix_faults.h"
#include "tests/app/zip_data_test_fixture.h"

namespace pvtest {
namespace {

using Names = std::vector<std::string>;

// A line of the day text file, with its terminating zero byte.
std::string UtLtLine(const std::string& name, const std::string& lt_stamp) {
  return "UT: " + name + " LT: " + lt_stamp + "\r\n" + std::string(1, '\0');
}

class ZipScheduleTest : public ZipDataTest {};

TEST_F(ZipScheduleTest, EightHourDay) {
  FakeCopier* copier = Start();
  // Earlier runs of the day left 07h and, forced at a stop, 15h.
  At(10, 17);
  zd_->ZipNow(ZrTime(2007, 12, 3, 8, 0, 0, 0));
  zd_->ForceZip();  // a stop
  EXPECT_TRUE(Logged("I:Forced Zip: Last written 0000000020071203080000000, write interval "
                     "+0000000000+08+00+00+000, force time 0000000020071203160000000"));
  EXPECT_EQ(copier->runs.back(), "20071203080000000..20071203155959999 1203_15h 20071203");
  ASSERT_EQ(Members("20071203"), (Names{"1203_07h.dbf", "1203_15h.dbf"}));
  copier->runs.clear();

  zd_->StartTime();  // the restart
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 8, 0, 0, 0));
  // The stop's partial 15h stays until the interval's run replaces it.
  EXPECT_EQ(Members("20071203"), (Names{"1203_07h.dbf", "1203_15h.dbf"}));

  At(15, 55);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(Logged(
      "I:\nTime2WriteTod 57600000 < Tod 57300000  < Time2WriteTod + CheckTime 58200000 ?"));
  EXPECT_TRUE(copier->runs.empty());
  EXPECT_EQ(Stored("$MOPROCENT"), "60");  // refreshed: 60 of 100 GiB used

  At(16, 5);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(Logged("I:Time 2 Zip"));
  ASSERT_EQ(copier->runs, Names{"20071203080000000..20071203155959999 1203_15h 20071203"});
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 16, 0, 0, 0));
  EXPECT_TRUE(Logged("I:Finished updating archives 20071203"));
  EXPECT_TRUE(Logged("I:InitializedXceed:\nZipFileName=" + Dest() + "_DCLOG\\20071203.zip" +
                     "\nTable2Process=" + Project() + "1203_15h.dbf"));

  // The member holds the interim table's bytes; the interim files are gone.
  EXPECT_EQ(Members("20071203"), (Names{"1203_07h.dbf", "1203_15h.dbf"}));
  EXPECT_EQ(ZipMemberBytes(Archive("20071203"), "1203_15h.dbf", kProjectCode),
            copier->InterimBytes(copier->runs[0]));
  EXPECT_FALSE(pv::PathExists(Project() + "1203_15h.dbf"));
  EXPECT_FALSE(pv::PathExists(Project() + "1203_15h.cdx"));

  // Project id once, then one line per run (LT is UT + 1 h, stamped an hour back).
  EXPECT_EQ(ReadFileBytes(Dest() + "_DCLOG/20071203.txt"),
            "Plant One\r\n" + std::string(1, '\0') + UtLtLine("1203_07h", "1203_10h") +
                UtLtLine("1203_15h", "1203_10h") + UtLtLine("1203_15h", "1203_16h"));
}

TEST_F(ZipScheduleTest, DateChange) {
  FakeCopier* copier = Start();
  At(17, 0);
  zd_->StartTime();
  At(0, 10, 1);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(Logged("I:Date changed"));
  EXPECT_TRUE(Logged("I:Time 2 Zip"));
  EXPECT_EQ(copier->runs, Names{"20071203160000000..20071203235959999 1203_23h 20071203"});
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 4, 0, 0, 0, 0));
  EXPECT_EQ(Members("20071203"), Names{"1203_23h.dbf"});
}

TEST_F(ZipScheduleTest, TwentyFourHoursByDayAndAtAStop) {
  WriteIni("");
  FakeCopier* copier = Start();
  const std::string day = "20071203000000000..20071203235959999 1203_23h 20071203";
  At(9, 0);
  zd_->StartTime();
  At(23, 55);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(copier->runs.empty());
  EXPECT_TRUE(Logged(
      "I:\nTime2WriteTod 86400000 < Tod 86100000  < Time2WriteTod + CheckTime 87000000 ?"));

  zd_->ForceZip();  // a stop archives the day so far as its only interval
  EXPECT_EQ(copier->runs, Names{day});
  EXPECT_EQ(Members("20071203"), Names{"1203_23h.dbf"});

  // Had it run on: the first check of the next day archives the whole day.
  zd_->IntervalStart = ZrTime(2007, 12, 3, 0, 0, 0, 0);
  At(0, 5, 1);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(Logged("I:Date changed"));
  EXPECT_EQ(copier->runs, (Names{day, day}));
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 4, 0, 0, 0, 0));
  At(9, 0, 1);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_EQ(copier->runs.size(), 2u);
}

TEST_F(ZipScheduleTest, NoRecordsNoProjectObjectAndEmptyCode) {
  WriteFileBytes(dir_.File("plant1.do"), "[objects]\n$PACKVAULT = text\n");
  FakeCopier* copier = Start();
  EXPECT_EQ(zd_->ProjectCode, "");
  copier->records = 0;
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  EXPECT_FALSE(pv::PathExists(Archive("20071203")));

  // Without the code nothing is written unencrypted, unless the INI says so.
  copier->records = 1;
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  EXPECT_TRUE(zd_->ZipError);
  EXPECT_FALSE(pv::PathExists(Archive("20071203")));
  EXPECT_TRUE(Logged("E:Zip failed, Error number 100\n   zip path = " + Dest() +
                     "_DCLOG\\20071203.zip\n   dbf path = " + Project() + "1203_15h.dbf"));
  WriteIni("ZipEncryption = none\n");
  ASSERT_TRUE(zd_->InitializeZipData());
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  EXPECT_FALSE(zd_->ZipError);
  EXPECT_FALSE(pv::PathExists(Dest() + "_DCLOG/20071203.txt"));  // no project object
  std::string out;
  ASSERT_EQ(RunCommand("unzip -p '" + Archive("20071203") + "' 1203_15h.dbf", &out), 0);
  EXPECT_EQ(out, copier->InterimBytes(copier->runs.back()));
}

TEST_F(ZipScheduleTest, TextFileHeldElsewhereAndMissingIndex) {
  FakeCopier* copier = Start();
  copier->write_cdx = false;
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  EXPECT_TRUE(Logged("E:Failed 2 remove cdx: 1203_15h"));
  EXPECT_FALSE(Logged("E:Failed 2 remove dbf: 1203_15h"));

  const std::string text = Dest() + "_DCLOG/20071203.txt";
  const std::string first = ReadFileBytes(text);
  std::unique_ptr<pv::File> held;
  ASSERT_TRUE(pv::OpenFile(text, {.write = true, .share_none = true}, &held).ok());
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  held.reset();
  EXPECT_TRUE(Logged("E:Failed 2 create " + Dest() + "_DCLOG\\20071203.txt"));
  EXPECT_EQ(ReadFileBytes(text), first);
  EXPECT_FALSE(zd_->ZipError);  // the zip run went on
}

// A destination that cannot take the archive: the run fails with the number
// on the server, forced runs repeat the interval, and the first that works
// clears the error, with every earlier member kept.
TEST_F(ZipScheduleTest, FailedRunIsRetriedUntilItWorks) {
  FakeCopier* copier = Start();
  At(0, 30);
  zd_->StartTime();
  At(8, 5);
  zd_->CheckTime4WritingZipDbf();
  const std::string before = ReadFileBytes(Archive("20071203"));

  // A file-size limit below the new archive's size stands in for a full disk.
  copier->interim_records = 20000;
  FileSizeLimit limit;
  copier->on_written = [&] { limit.Set(before.size() + 4096); };
  At(16, 5);
  zd_->CheckTime4WritingZipDbf();
  limit.Clear();
  EXPECT_TRUE(zd_->ZipError);
  EXPECT_TRUE(Logged("E:Zip failed, Error number 6\n   zip path = " + Dest() +
                     "_DCLOG\\20071203.zip\n   dbf path = " + Project() + "1203_15h.dbf"));
  EXPECT_EQ(Stored("ZIPERR"), "6");
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 8, 0, 0, 0));
  EXPECT_EQ(ReadFileBytes(Archive("20071203")), before);
  EXPECT_FALSE(pv::PathExists(Project() + "1203_15h.dbf"));  // removed after a failure too

  At(16, 15);  // the next due check: a forced run of the same interval, failing again
  zd_->ForceZip();
  limit.Clear();
  EXPECT_EQ(copier->runs.back(), "20071203080000000..20071203155959999 1203_15h 20071203");
  EXPECT_TRUE(zd_->ZipError);

  copier->on_written = nullptr;
  At(16, 25);
  zd_->ForceZip();
  EXPECT_FALSE(zd_->ZipError);
  EXPECT_EQ(Stored("ZIPERR"), "0");
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 16, 0, 0, 0));
  EXPECT_EQ(Members("20071203"), (Names{"1203_07h.dbf", "1203_15h.dbf"}));
}

// The same through a read-only archive directory, which only a process
// without root's rights feels; the child reports what it saw in its exit code.
TEST_F(ZipScheduleTest, ReadOnlyDestinationFailsTheRun) {
  namespace fs = std::filesystem;
  Start();
  At(0, 30);
  zd_->StartTime();
  At(8, 5);
  zd_->CheckTime4WritingZipDbf();
  const std::string before = ReadFileBytes(Archive("20071203"));

  for (const std::string& f : {dir_.Path(), Project(), dir_.File("plant1.do"),
                               dir_.File("plant1.do.lock"), Dest() + "_DCLOG/20071203.txt"}) {
    if (pv::PathExists(f)) fs::permissions(f, fs::perms::all);
  }
  fs::permissions(Dest() + "_DCLOG", fs::perms::owner_read | fs::perms::owner_exec |
                                         fs::perms::others_read | fs::perms::others_exec);
  At(16, 5);
  const int seen = ExitCodeInNobodyChild(
      [&] {
        zd_->CheckTime4WritingZipDbf();
        const bool logged = log_.Has("E:Zip failed, Error number 5\n   zip path = " + Dest() +
                                     "_DCLOG\\20071203.zip\n   dbf path = " + Project() +
                                     "1203_15h.dbf");
        return (zd_->ZipError ? 1 : 0) + (logged ? 2 : 0);
      });
  fs::permissions(Dest() + "_DCLOG", fs::perms::owner_all);
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(Stored("ZIPERR"), "5");
  EXPECT_EQ(ReadFileBytes(Archive("20071203")), before);
}

}  // namespace
}  // namespace pvtest
