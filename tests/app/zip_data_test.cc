// ZipData on a server clock the test sets, with copiers that write a
// recognisable interim table instead of copying plant records: the INI keys
// and the copier list, which interval each check archives under which name,
// what lands on disk, and how failed runs are published and retried.
// (Copies of real tables: CopierTest; catch-up through kills and faults of
// the real executable: E2eRecoveryTest.)

#include <memory>

#include "app/dbf2zip.h"
#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "foundation/platform/disk_space.h"
#include "serverlink/eci_client.h"
#include "serverlink/eci_objects.h"
#include "serverlink/store_document.h"
#include "tests/app/app_test_util.h"
#include "tests/support/capture_log.h"

namespace pvtest {
namespace {

using Names = std::vector<std::string>;

// The server's clock: UT is what the test set, LT one hour later.
class SetClock : public RealTimeSource {
 public:
  int64_t NowMicros() override { return static_cast<int64_t>(ut) * 1000000; }
  int32_t LocalOffsetAt(int64_t) override { return 3600; }
  uint32_t ut = 0;
};

// Writes DbfPath + InterimName + ".dbf" (bytes naming the interval) and
// ".cdx", as the real copiers leave them, and returns `records`.
class FakeCopier : public Dbf2Zip {
 public:
  int32_t ProcessDbf() override {
    const ZipData& zd = *GetZipData();
    // "start..end name date", times in the short sortable form.
    runs.push_back(std::string(zd.IntervalStart.AsSortableString(false)) + ".." +
                   zd.IntervalEnd.AsSortableString(false).GetText() + " " +
                   zd.InterimName.GetText() + " " + zd.ArchiveDate.GetText());
    if (records == 0) return 0;
    const std::string stem = std::string(DbfPath) + zd.InterimName.GetText();
    WriteFileBytes(stem + ".dbf", InterimBytes(runs.back()));
    if (write_cdx) WriteFileBytes(stem + ".cdx", "index");
    return records;
  }
  // The interim table's bytes for a run: its interval, then table-like filler.
  static std::string InterimBytes(const std::string& run) { return run + TableLikeBytes(50, 11); }
  int32_t records = 3;
  bool write_cdx = true;
  std::vector<std::string> runs;
};

constexpr char kProjectCode[] = "s3cret";

class ZipDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    SetLog(&log_);
    EciSetRealTimeSource(&clock_);
    pv::SetDiskSpaceHookForTesting([](const std::string&, uint64_t* f, uint64_t* t, uint64_t* tf) {
      *t = 100ull << 30;
      *f = *tf = 40ull << 30;
      return 0;
    });
    WriteFileBytes(dir_.File("plant1.do"),
                   "[objects]\n$SHUTDOWN = int 0\n$MOFULL = int 0\n$MOGB = float 0\n"
                   "$MOPROCENT = int 0\nZIPERR = int 0\nPROJ = text Plant One\n"
                   "$PACKVAULT = text " + std::string(kProjectCode) + "\n");
    SetEciObjects(eci_.get());
    eci_->SetIniFile(Ini().c_str());
    eci_->SetDestPathProvider([] { return GetZipData()->DestPath; });
    SetZipData(zd_.get());
    zd_->SetIniFile(Ini().c_str());
    WriteIni("WriteInterval = 8\n");
  }
  void TearDown() override {
    zd_->CleanUp();
    zd_.reset();
    SetZipData(nullptr);
    eci_.reset();
    SetEciObjects(nullptr);
    EciDisconnect();
    EciSetRealTimeSource(nullptr);
    pv::SetDiskSpaceHookForTesting(nullptr);
    SetLog(nullptr);
    std::filesystem::current_path(cwd_);
  }

  std::string Ini() const { return dir_.File("kestrel.ini"); }
  std::string Dest() const { return dir_.File("dest/"); }
  std::string Project() const { return dir_.File("proj/"); }

  // The section "Packvault" with MoDrv, error and project objects, and extra.
  void WriteIni(const std::string& extra) {
    WriteFileBytes(Ini(), "[Packvault]\nMoDrv = " + Dest() +
                              "\nErrorObjId = ZIPERR\nProjectObjId = PROJ\n" + extra);
  }

  // Connects and reads the configuration, with one fake copier of kind _DCLOG.
  FakeCopier* Start() {
    EXPECT_TRUE(eci_->ConnectEci("PACKVAULT", "plant1"));
    EXPECT_TRUE(zd_->InitializeZipData());
    std::filesystem::create_directories(Project());
    auto* copier = new FakeCopier;
    copier->DbfKind = "_DCLOG";
    copier->DbfPath = Project().c_str();
    copier->ZipPath = (zd_->DestPath + "_DCLOG\\");
    zd_->DbfList.push_back(copier);
    uint32_t passes = 0;
    zd_->SetZipTimeData(&passes);  // every 10 minutes
    return copier;
  }

  void ClearCopiers() {
    zd_->CleanUp();
    zd_->DbfList.clear();
  }

  // Sets the server clock to a UT time of day on 2007-12-03 + day_offset.
  void At(int32_t hour, int32_t minute, int32_t day_offset = 0) {
    uint32_t pc = 0;
    ZrDateAndTime2PcTime(pc, 2007, 12, 3, 0, 0, 0);
    clock_.ut = pc + static_cast<uint32_t>(day_offset * 86400 + hour * 3600 + minute * 60);
  }

  std::string Archive(const std::string& date) const { return Dest() + "_DCLOG/" + date + ".zip"; }
  std::vector<std::string> Members(const std::string& date) const {
    return ZipMembers(Archive(date), kProjectCode);
  }
  // The value of a store object as the file holds it now.
  std::string Stored(const char* name) {
    StoreDocument doc;
    EXPECT_TRUE(StoreDocument::Parse(ReadFileBytes(dir_.File("plant1.do")), &doc).ok());
    const uint32_t n = doc.Find(name);
    return n ? FormatStoreValue(doc.Object(n).value) : std::string("?");
  }

  TempDir dir_;
  CaptureLog log_;
  SetClock clock_;
  std::unique_ptr<EciObjects> eci_ = std::make_unique<EciObjects>();
  std::unique_ptr<ZipData> zd_ = std::make_unique<ZipData>();

 private:
  std::filesystem::path cwd_;
};

TEST_F(ZipDataTest, ConfigurationKeysCopierListDefaultsAndRefusals) {
  ASSERT_TRUE(eci_->ConnectEci("PACKVAULT", "plant1"));
  auto write_hours = [&](const std::string& value) {
    WriteIni("WriteInterval = " + value + "\n");
    log_.lines.clear();
    EXPECT_TRUE(zd_->InitializeZipData());
    return zd_->WriteInterval.GetTotalHours();
  };
  for (const char* bad : {"5", "0", "25", "-8"}) {
    EXPECT_EQ(write_hours(bad), 24) << bad;
    EXPECT_TRUE(log_.Has("I:Ini-file: WriteInterval not valid, set to 24")) << bad;
  }
  EXPECT_EQ(write_hours("6\nZipEncryption = DES"), 6);
  EXPECT_TRUE(log_.Has("I:Ini-file: ZipEncryption not valid, set to AES256"));
  EXPECT_FALSE(log_.Has("I:Ini-file: WriteInterval not valid, set to 24"));
  EXPECT_TRUE(log_.Has("I:Destination file path " + Dest()));
  EXPECT_EQ(zd_->ProjectCode, kProjectCode);

  struct { const char* value; uint32_t passes; bool complaint; } checks[] = {
      {"30", 1800, false}, {"1", 60, false}, {"31", 600, true}, {"0", 600, true}, {"", 600, false}};
  for (const auto& c : checks) {
    WriteIni(std::string(*c.value ? "CheckTimeInterval = " : "") + c.value + "\n");
    log_.lines.clear();
    uint32_t passes = 0;
    zd_->SetZipTimeData(&passes);
    EXPECT_EQ(passes, c.passes) << c.value;
    EXPECT_EQ(log_.Has("I:Ini-file: CheckTime not valid, set to 10"), c.complaint) << c.value;
  }

  // The copier list from the table entries.
  WriteFileBytes(Ini(),
                 "[Packvault]\nMoDrv = D:\\ARCHIV\n"
                 "Dbf_1 = _dclog\nPath_1 = c:\\proj\\\n"
                 "Dbf_3 = _Archive\nPath_3 = e:\\plant\\\n"
                 "Dbf_4 = _ARCHIVE\n"
                 "Dbf_5 = _DCLOGS\nPath_5 = f:\\x\\\n");
  ASSERT_TRUE(zd_->InitializeZipData());
  ASSERT_TRUE(zd_->InitializeDbfData());
  EXPECT_TRUE(log_.Has("I:Warning: Ini-file: Dbf_5 = _DCLOGS is no known table kind, entry ignored"));
  // Kinds and paths in any case; the copier of each kind and the sharing of
  // one archive by two entries of a kind: E2eArchiveTest, E2eRecoveryTest.
  ASSERT_EQ(zd_->DbfList.size(), 3u);
  EXPECT_EQ(zd_->DbfList[0]->DbfPath, "C:\\PROJ\\");
  // No separator is inserted after a MoDrv without one.
  EXPECT_EQ(zd_->DbfList[0]->ZipPath, "D:\\ARCHIV_DCLOG\\");
  // Only entry 1 must be complete.
  EXPECT_NE(dynamic_cast<Archive2Zip*>(zd_->DbfList[2]), nullptr);
  EXPECT_EQ(zd_->DbfList[2]->DbfPath, "");

  // Values that refuse the start, and entries: entry 1 incomplete, a long
  // path, an entry repeating an earlier one.
  for (const auto& [ini, message] : std::vector<std::pair<std::string, std::string>>{
           {"WriteInterval = 8\n", "E:Ini-file: No valid destination directory found"},
           {"MoDrv = d\nCatchUpHours = 4x\n", "E:Ini-file: CatchUpHours not valid (0 to 744 hours): 4x"},
           {"MoDrv = d\nCatchUpHours = 745\n", "E:Ini-file: CatchUpHours not valid (0 to 744 hours): 745"},
           {"MoDrv = /" + std::string(200, 'd') + "\n", "E:Ini-file: MoDrv is longer than 200 characters, refused"},
           {"MoDrv = d\nDbf_1 = _DCLOG\n", "E:No valid dbf-paths found in ini-file"},
           {"MoDrv = d\nPath_1 = c:\\proj\\\n", "E:No valid dbf-paths found in ini-file"},
           {"MoDrv = d\nDbf_1 = _dclog\nPath_1 = /p/\nDbf_2 = _archive\nPath_2 = /" + std::string(200, 'p') +
                "\n", "E:Ini-file: Path_2 is longer than 200 characters, refused"},
           {"MoDrv = d\nDbf_1 = _dclog\nPath_1 = /p/\nDbf_2 = _DCLOG\nPath_2 = /P/\n",
            "E:Ini-file: Dbf_2/Path_2 repeats an earlier entry: _DCLOG /P/"}}) {
    ClearCopiers();
    WriteFileBytes(Ini(), "[Packvault]\n" + ini);
    log_.lines.clear();
    EXPECT_FALSE(zd_->InitializeZipData() && zd_->InitializeDbfData()) << ini;
    EXPECT_TRUE(log_.Has(message)) << ini;
  }
  // An unknown first kind is skipped: start-up goes on without it.
  ClearCopiers();
  WriteFileBytes(Ini(), "[Packvault]\nDbf_1 = _OTHER\nPath_1 = c:\\proj\\\nDbf_2 = _EVENTLOG\n");
  ASSERT_TRUE(zd_->InitializeDbfData());
  ASSERT_EQ(zd_->DbfList.size(), 1u);
  EXPECT_NE(dynamic_cast<EventLog2Zip*>(zd_->DbfList[0]), nullptr);

  // CatchUpHours 0: no journal, nothing caught up.
  ClearCopiers();
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

TEST_F(ZipDataTest, EightHourDayThroughFaultsAStopAndARestart) {
  FakeCopier* copier = Start();
  // Earlier runs of the day left 07h (its interim index missing: reported,
  // the run goes on) and, forced at a stop while another program held the
  // day text file, 15h (the text file kept, the run not failed).
  copier->write_cdx = false;
  At(10, 17);
  zd_->ZipNow(ZrTime(2007, 12, 3, 8, 0, 0, 0));
  EXPECT_TRUE(log_.Has("E:Failed 2 remove cdx: 1203_07h"));
  EXPECT_FALSE(log_.Has("E:Failed 2 remove dbf: 1203_07h"));
  copier->write_cdx = true;
  const std::string text = Dest() + "_DCLOG/20071203.txt";
  const std::string first = ReadFileBytes(text);
  std::unique_ptr<pv::File> held;
  ASSERT_TRUE(pv::OpenFile(text, {.write = true, .share_none = true}, &held).ok());
  zd_->ForceZip();  // a stop
  held.reset();
  EXPECT_TRUE(log_.Has("E:Failed 2 create " + Dest() + "_DCLOG\\20071203.txt"));
  EXPECT_EQ(ReadFileBytes(text), first);
  EXPECT_FALSE(zd_->ZipError);
  EXPECT_TRUE(log_.Has("I:Forced Zip: Last written 0000000020071203080000000, write interval "
                       "+0000000000+08+00+00+000, force time 0000000020071203160000000"));
  EXPECT_EQ(copier->runs.back(), "20071203080000000..20071203155959999 1203_15h 20071203");
  ASSERT_EQ(Members("20071203"), (Names{"1203_07h.dbf", "1203_15h.dbf"}));
  copier->runs.clear();

  // Killed runs left interim files; the restart removes exactly those.
  for (const char* name : {"1203_05h.dbf", "0101_23H.CDX", "1203_05h.dbf.keep", "120_05h.dbf"}) {
    WriteFileBytes(Project() + name, "x");
  }
  zd_->StartTime();  // the restart
  EXPECT_TRUE(log_.Has("I:Removing leftover interim file " + Project() + "0101_23H.CDX"));
  EXPECT_FALSE(pv::PathExists(Project() + "1203_05h.dbf"));
  EXPECT_TRUE(pv::PathExists(Project() + "1203_05h.dbf.keep"));
  EXPECT_TRUE(pv::PathExists(Project() + "120_05h.dbf"));
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 8, 0, 0, 0));
  // The stop's partial 15h stays until the interval's run replaces it.
  EXPECT_EQ(Members("20071203"), (Names{"1203_07h.dbf", "1203_15h.dbf"}));

  At(15, 55);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(copier->runs.empty());
  EXPECT_EQ(Stored("$MOPROCENT"), "60");  // refreshed: 60 of 100 GiB used

  // The interval's run fails: the archive is written but cannot be made
  // durable (the adapter's sync step fails). The number is published, the
  // interim files go, the interval stays due; the next check's retry works
  // and clears the error. (A failed write keeping the archive:
  // ZipPosixFaultsTest.)
  const XzSeams real = XzTestSeams();
  XzTestSeams().sync = [](const std::string&, bool) { return pv::Status::IOError("injected"); };
  At(16, 5);
  zd_->CheckTime4WritingZipDbf();
  XzTestSeams() = real;
  EXPECT_TRUE(log_.Has("I:Time 2 Zip"));
  EXPECT_TRUE(log_.Has("E:Zip failed, Error number 8\n   zip path = " + Dest() +
                       "_DCLOG\\20071203.zip\n   dbf path = " + Project() + "1203_15h.dbf"));
  EXPECT_TRUE(zd_->ZipError);
  EXPECT_EQ(Stored("ZIPERR"), "8");
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 8, 0, 0, 0));
  EXPECT_FALSE(pv::PathExists(Project() + "1203_15h.dbf"));
  At(16, 15);
  zd_->CheckTime4WritingZipDbf();
  const std::string run = "20071203080000000..20071203155959999 1203_15h 20071203";
  ASSERT_EQ(copier->runs, (Names{run, run}));
  EXPECT_FALSE(zd_->ZipError);
  EXPECT_EQ(Stored("ZIPERR"), "0");
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 3, 16, 0, 0, 0));
  // The member's bytes replaced: the interim table's (the day text file
  // and the interim files' removal: E2eArchiveTest).
  EXPECT_EQ(Members("20071203"), (Names{"1203_07h.dbf", "1203_15h.dbf"}));
  EXPECT_EQ(ZipMemberBytes(Archive("20071203"), "1203_15h.dbf", kProjectCode),
            copier->InterimBytes(run));

  // A damaged journal line is reported and ignored: that directory starts afresh.
  const std::string journal = Dest() + "_DCLOG/ArchivedIntervals.txt";
  WriteFileBytes(journal, "20071303 1303_99h " + Project() + "\n");
  zd_->StartTime();
  EXPECT_TRUE(log_.Has("E:Journal line not understood, ignored: " + Dest() +
                       "_DCLOG\\ArchivedIntervals.txt: 20071303 1303_99h " + Project()));
  EXPECT_EQ(ReadFileBytes(journal).find("1303_99h"), std::string::npos);
}

TEST_F(ZipDataTest, TwentyFourHoursByDayAndAtAStop) {
  WriteIni("");
  FakeCopier* copier = Start();
  const std::string day = "20071203000000000..20071203235959999 1203_23h 20071203";
  At(9, 0);
  zd_->StartTime();
  At(23, 55);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(copier->runs.empty());

  zd_->ForceZip();  // a stop archives the day so far as its only interval
  EXPECT_EQ(copier->runs, Names{day});
  EXPECT_EQ(Members("20071203"), Names{"1203_23h.dbf"});

  // Had it run on: the first check of the next day archives the whole day
  // into the previous day's archive.
  zd_->IntervalStart = ZrTime(2007, 12, 3, 0, 0, 0, 0);
  At(0, 5, 1);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_TRUE(log_.Has("I:Date changed"));
  EXPECT_EQ(copier->runs, (Names{day, day}));
  EXPECT_EQ(zd_->IntervalStart, ZrTime(2007, 12, 4, 0, 0, 0, 0));
  At(9, 0, 1);
  zd_->CheckTime4WritingZipDbf();
  EXPECT_EQ(copier->runs.size(), 2u);
}

TEST_F(ZipDataTest, NoRecordsNoProjectObjectAndNoEncryption) {
  WriteFileBytes(dir_.File("plant1.do"), "[objects]\n$PACKVAULT = text\n");
  WriteIni("ZipEncryption = none\n");
  FakeCopier* copier = Start();
  EXPECT_EQ(zd_->ProjectCode, "");
  copier->records = 0;
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  EXPECT_FALSE(pv::PathExists(Archive("20071203")));

  // Without the code only an INI asking for no encryption writes (a missing
  // code failing the run: E2eRecoveryTest.FaultsArePublishedRetriedAndCaughtUp).
  copier->records = 1;
  zd_->ZipNow(ZrTime(2007, 12, 3, 16, 5, 0, 0));
  EXPECT_FALSE(zd_->ZipError);
  EXPECT_FALSE(pv::PathExists(Dest() + "_DCLOG/20071203.txt"));  // no project object
  EXPECT_EQ(RunHostTool({"unzip", "-p", HostPath(Archive("20071203")), "1203_15h.dbf"}).out,
            copier->InterimBytes(copier->runs.back()));
}

}  // namespace
}  // namespace pvtest
