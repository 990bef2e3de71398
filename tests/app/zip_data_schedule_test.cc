// ZipData's schedule and archive job on a server clock the test sets: which
// interval each check archives, under which name, and what lands on disk.
#include <string>
#include <vector>

#include "tests/app/zip_data_test_fixture.h"

namespace pvtest {
namespace {

using Names = std::vector<std::string>;

// The day text file's line for a run at UT hh:mm (LT = UT + 1 h, stamped one
// hour back), with its terminating zero byte.
std::string UtLtLine(const std::string& name, const std::string& lt_stamp) {
  return "UT: " + name + " LT: " + lt_stamp + "\r\n" + std::string(1, '\0');
}

class ZipScheduleTest : public ZipDataTest {};

TEST_F(ZipScheduleTest, EightHourDay) {
  FakeCopier* copier = Start();
  // An earlier run of the day left 07h and, forced at a stop, 15h.
  At(10, 17);
  zd_->ZipNow(ZrTime(2007, 12, 3, 8, 0, 0, 0));
  zd_->ForceZip();
  ASSERT_EQ(Members("20071203"), (Names{"1203_07h.dbf", "1203_15h.dbf"}));
  log_.lines.clear();
  copier->runs.clear();

  zd_->StartTime();
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 8, 0, 0, 0));
  EXPECT_TRUE(Logged("I:Removing old 1203_15h.dbf from " + Dest() + "_DCLOG\\20071203.zip"));
  EXPECT_EQ(Members("20071203"), Names{"1203_07h.dbf"});

  At(15, 55);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(Logged(
      "I:\nTime2WriteTod 57600000 < Tod 57300000  < Time2WriteTod + CheckTime 58200000 ?"));
  EXPECT_TRUE(copier->runs.empty());
  EXPECT_EQ(Stored("$MOPROCENT"), "60");  // refreshed: 60 of 100 GiB used

  At(16, 5);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(Logged("I:Time 2 Zip"));
  ASSERT_EQ(copier->runs.size(), 1u);
  const CopyRun& run = copier->runs[0];
  EXPECT_EQ(run.start, "20071203080000000");
  EXPECT_EQ(run.end, "20071203155959999");
  EXPECT_EQ(run.name, "1203_15h");
  EXPECT_EQ(run.date, "20071203");
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 16, 0, 0, 0));
  EXPECT_TRUE(Logged("I:Finished updating archives 20071203"));

  // The member holds the interim table's bytes; the interim files are gone.
  EXPECT_EQ(Members("20071203"), (Names{"1203_07h.dbf", "1203_15h.dbf"}));
  std::string member;
  ASSERT_EQ(RunCommand("7z x -so -p" + std::string(kProjectCode) + " '" + Archive("20071203") +
                           "' 1203_15h.dbf",
                       &member),
            0);
  EXPECT_EQ(member, copier->InterimBytes(run));
  EXPECT_FALSE(pv::PathExists(Project() + "1203_15h.dbf"));
  EXPECT_FALSE(pv::PathExists(Project() + "1203_15h.cdx"));
  EXPECT_TRUE(Logged("I:InitializedXceed:\nZipFileName=" + Dest() + "_DCLOG\\20071203.zip" +
                     "\nTable2Process=" + Project() + "1203_15h.dbf"));

  // Project id once, then one line per run (the two earlier runs at 10:17).
  EXPECT_EQ(ReadFileBytes(Dest() + "_DCLOG/20071203.txt"),
            "Plant One\r\n" + std::string(1, '\0') + UtLtLine("1203_07h", "1203_10h") +
                UtLtLine("1203_15h", "1203_10h") + UtLtLine("1203_15h", "1203_16h"));
}

TEST_F(ZipScheduleTest, DateChangeArchivesThePreviousDaysLastInterval) {
  FakeCopier* copier = Start();
  At(17, 0);
  zd_->StartTime();
  ASSERT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 16, 0, 0, 0));
  At(0, 10, 1);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(Logged("I:Date changed"));
  EXPECT_TRUE(Logged("I:Time 2 Zip"));
  ASSERT_EQ(copier->runs.size(), 1u);
  EXPECT_EQ(copier->runs[0].start, "20071203160000000");
  EXPECT_EQ(copier->runs[0].end, "20071203235959999");
  EXPECT_EQ(copier->runs[0].name, "1203_23h");
  EXPECT_EQ(copier->runs[0].date, "20071203");
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 4, 0, 0, 0, 0));
  EXPECT_EQ(Members("20071203"), Names{"1203_23h.dbf"});
}

TEST_F(ZipScheduleTest, OneHourInterval) {
  WriteIni("WriteInterval = 1\n");
  FakeCopier* copier = Start();
  At(12, 30);
  zd_->StartTime();
  At(13, 2);
  zd_->CheckTime4WritingZipDbf();
  ASSERT_EQ(copier->runs.size(), 1u);
  EXPECT_EQ(copier->runs[0].start, "20071203120000000");
  EXPECT_EQ(copier->runs[0].end, "20071203125959999");
  EXPECT_EQ(copier->runs[0].name, "1203_12h");
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 13, 0, 0, 0));
}

TEST_F(ZipScheduleTest, StopAt11AndRestartAt1130) {
  FakeCopier* copier = Start();
  At(8, 30);
  zd_->StartTime();
  At(11, 0);
  zd_->ForceZip();  // ESC
  EXPECT_TRUE(Logged("I:Forced Zip: Last written 000000002007120308000000" "0, write interval "
                     "+0000000000+08+00+00+000, force time 0000000020071203160000000"));
  ASSERT_EQ(copier->runs.size(), 1u);
  EXPECT_EQ(copier->runs[0].start, "20071203080000000");
  EXPECT_EQ(copier->runs[0].name, "1203_15h");
  ASSERT_EQ(Members("20071203"), Names{"1203_15h.dbf"});

  At(11, 30);
  zd_->StartTime();
  EXPECT_TRUE(Members("20071203").empty());  // the only member went, and the archive with it
  At(16, 5);
  zd_->CheckTime4WritingZipDbf();
  ASSERT_EQ(copier->runs.size(), 2u);
  EXPECT_EQ(copier->runs[1].start, "20071203080000000");
  EXPECT_EQ(Members("20071203"), Names{"1203_15h.dbf"});
}

TEST_F(ZipScheduleTest, TwentyFourHoursByDayAndAtAStop) {
  WriteIni("");
  FakeCopier* copier = Start();
  At(9, 0);
  zd_->StartTime();
  ASSERT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 0, 0, 0, 0));
  At(23, 55);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(copier->runs.empty());
  EXPECT_TRUE(Logged(
      "I:\nTime2WriteTod 86400000 < Tod 86100000  < Time2WriteTod + CheckTime 87000000 ?"));

  // A stop archives the day so far as the day's only interval ...
  zd_->ForceZip();
  ASSERT_EQ(copier->runs.size(), 1u);
  EXPECT_EQ(copier->runs[0].start, "20071203000000000");
  EXPECT_EQ(copier->runs[0].end, "20071203235959999");
  EXPECT_EQ(copier->runs[0].name, "1203_23h");
  EXPECT_EQ(copier->runs[0].date, "20071203");
  EXPECT_EQ(Members("20071203"), Names{"1203_23h.dbf"});

  // ... and the first check of the next day archives the whole day again.
  zd_->IntervalStart = ZrTime(2007, 12, 3, 0, 0, 0, 0);
  At(0, 5, 1);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(Logged("I:Date changed"));
  ASSERT_EQ(copier->runs.size(), 2u);
  EXPECT_EQ(copier->runs[1].start, "20071203000000000");
  EXPECT_EQ(copier->runs[1].end, "20071203235959999");
  EXPECT_EQ(copier->runs[1].name, "1203_23h");
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
  At(16, 5);
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  EXPECT_FALSE(pv::PathExists(Archive("20071203")));

  copier->records = 1;
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  EXPECT_FALSE(pv::PathExists(Dest() + "_DCLOG/20071203.txt"));  // no project object
  std::string out;
  ASSERT_EQ(RunCommand("unzip -p '" + Archive("20071203") + "' 1203_15h.dbf", &out), 0);
  EXPECT_EQ(out, copier->InterimBytes(copier->runs.back()));
}

TEST_F(ZipScheduleTest, TextFileHeldElsewhereAndMissingIndex) {
  FakeCopier* copier = Start();
  copier->write_cdx = false;
  At(16, 5);
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));  // creates the text file
  const std::string text = Dest() + "_DCLOG/20071203.txt";
  const std::string first = ReadFileBytes(text);
  EXPECT_TRUE(Logged("E:Failed 2 remove cdx: 1203_15h"));
  EXPECT_FALSE(Logged("E:Failed 2 remove dbf: 1203_15h"));

  std::unique_ptr<pv::File> held;
  pv::OpenOptions options;
  options.write = true;
  options.share_none = true;
  ASSERT_TRUE(pv::OpenFile(text, options, &held).ok());
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  held.reset();
  EXPECT_TRUE(Logged("E:Failed 2 create " + Dest() + "_DCLOG\\20071203.txt"));
  EXPECT_EQ(ReadFileBytes(text), first);
  EXPECT_EQ(Members("20071203"), Names{"1203_15h.dbf"});  // the zip run went on
  EXPECT_FALSE(zd_->ZipError);
}

// A destination that cannot take the archive: the run fails with the number
// on the server, the interval is repeated by forced runs, and the first one
// that works clears the error, with every earlier member kept.
TEST_F(ZipScheduleTest, FailedRunIsRetriedUntilItWorks) {
  FakeCopier* copier = Start();
  At(0, 30);
  zd_->StartTime();
  At(8, 5);
  zd_->CheckTime4WritingZipDbf();
  ASSERT_EQ(Members("20071203"), Names{"1203_07h.dbf"});
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

  // The main loop's next due check is a forced run of the same interval.
  At(16, 15);
  zd_->ForceZip();
  limit.Clear();
  ASSERT_EQ(copier->runs.size(), 3u);
  EXPECT_EQ(copier->runs[2].start, "20071203080000000");
  EXPECT_EQ(copier->runs[2].name, "1203_15h");
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
// without root's rights feels: the child reports what it saw in its exit code.
TEST_F(ZipScheduleTest, ReadOnlyDestinationFailsTheRun) {
  FakeCopier* copier = Start();
  At(0, 30);
  zd_->StartTime();
  At(8, 5);
  zd_->CheckTime4WritingZipDbf();
  const std::string before = ReadFileBytes(Archive("20071203"));
  copier->runs.clear();

  std::filesystem::permissions(dir_.Path(), std::filesystem::perms::all);
  std::filesystem::permissions(Project(), std::filesystem::perms::all);
  for (const char* f : {"plant1.do", "plant1.do.lock", "dest/_DCLOG/20071203.txt"}) {
    if (pv::PathExists(dir_.File(f))) {
      std::filesystem::permissions(dir_.File(f), std::filesystem::perms::all);
    }
  }
  std::filesystem::permissions(Dest() + "_DCLOG", std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::owner_exec |
                                                      std::filesystem::perms::others_read |
                                                      std::filesystem::perms::others_exec);
  At(16, 5);
  const int seen = ExitCodeInChild(
      [&] {
        zd_->CheckTime4WritingZipDbf();
        const bool logged = log_.Has("E:Zip failed, Error number 5\n   zip path = " + Dest() +
                                     "_DCLOG\\20071203.zip\n   dbf path = " + Project() +
                                     "1203_15h.dbf");
        return (zd_->ZipError ? 1 : 0) + (logged ? 2 : 0);
      },
      {.as_nobody = true});
  std::filesystem::permissions(Dest() + "_DCLOG", std::filesystem::perms::owner_all);
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(Stored("ZIPERR"), "5");
  EXPECT_EQ(ReadFileBytes(Archive("20071203")), before);
}

}  // namespace
}  // namespace pvtest
