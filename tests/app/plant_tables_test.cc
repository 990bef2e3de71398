// The plant log table classes against tables written by an independent
// program, and the record copiers on real tables: which records an interval
// takes, what the interim table holds, what the copiers log, how failing file
// systems fail them, and a copy while the plant appends.
#include <atomic>
#include <memory>

#include "app/dbf2zip.h"
#include "app/zip_adapter.h"
#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "foundation/platform/named_mutex.h"
#include "tableengine/mem_file_system.h"
#include "tests/app/app_test_util.h"
#include "tests/support/capture_log.h"

namespace {

void CopyPlantFixture(const std::string& set, const std::string& table, const std::string& dir) {
  for (const char* ext : {".dbf", ".cdx"}) {
    pvtest::CopyFile(pvtest::FixturePath("plant/" + set + "/" + table + ext), dir + "/" + table + ext);
  }
}

// Tables the classes create carry the same fields, widths and decimals as
// the control system's own files. _DCLOG's GUID tag is unique: a record
// repeating another's UT and GUID is stored and stands in every other tag,
// but not in GUID; UT orders descending. Tables of one name in two
// directories share one named mutex.
TEST(PlantTablesTest, CreatedTablesHaveThePlantLayoutTagsAndMutex) {
  pvtest::TempDir dir, dir2;
  ZrpBase base, base2;
  base.Open("LAYOUT", (dir.Path() + "/").c_str(), false, false);
  base2.Open("OTHER", (dir2.Path() + "/").c_str(), false, false);
  {
    DcLogDbf a(&base, "_DCLOG", true, true);
    EntryDbf b(&base, "_ARCHIVE", true, true);
    EventLogDbf c(&base, "_EVENTLOG", true, true);
    EXPECT_EQ(b.GetCount() + c.GetCount(), 0);

    // The mutex's name is the machine's: other processes (copiers and plant
    // writers of tests running beside this one) take it for a step of up to
    // 5 s each, so the waits that must succeed allow for one of those.
    EntryDbf b2(&base2, "_ARCHIVE", true, true);
    ASSERT_TRUE(b.Mutex() != nullptr && b2.Mutex() != nullptr);
    ASSERT_TRUE(b.Mutex()->Lock(30000).ok());
    std::atomic<int> got{-1};
    std::thread([&] { got = b2.Mutex()->Lock(200).ok() ? 1 : 0; }).join();
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(b.Mutex()->Unlock().ok());
    std::thread([&] { got = b2.Mutex()->Lock(30000).ok() && b2.Mutex()->Unlock().ok() ? 1 : 0; }).join();
    EXPECT_EQ(got, 1);
    b2.Close(ZrString("_ARCHIVE"));

    for (int i = 0; i < 3; ++i) {
      a.ut = ZrTime(2024, 1, 1, 10, i == 2 ? 0 : i, 0, 0);
      a.lt = a.ut + ZrTimeSpan(0, 1, 0, 0, 0);
      a.location = "Site1\\Tank Farm\\Valve 03";
      a.text = i == 2 ? "repeat" : "first";
      a.guid = "3C1299B5-76EF-92B5-7122-70879A11D632";
      a.user = "SYSTEM";
      ASSERT_TRUE(a.Add(nullptr));
    }
    EXPECT_EQ(a.GetCount("GUID", nullptr), 2);
    for (const char* tag : {"UTC", "UT", "LT", "LOCATION"}) EXPECT_EQ(a.GetCount(tag, nullptr), 3) << tag;
    ZrpTableIterator it;
    ASSERT_TRUE(a.Top(it, "UT", nullptr));
    EXPECT_EQ(a.ut, ZrTime(2024, 1, 1, 10, 1, 0, 0));
    a.Close(ZrString("_DCLOG"));
    b.Close(ZrString("_ARCHIVE"));
    c.Close(ZrString("_EVENTLOG"));
  }
  base.Close();
  base2.Close();
  for (const char* t : {"_DCLOG", "_ARCHIVE", "_EVENTLOG"}) {
    SCOPED_TRACE(t);
    // Field descriptors: 32 bytes each from offset 32 up to the 0x0D byte.
    const std::string ours = pvtest::ReadFileBytes(dir.File(std::string(t) + ".dbf"));
    const std::string theirs = pvtest::ReadFileBytes(pvtest::FixturePath(std::string("plant/n1000/") + t + ".dbf"));
    auto fields = [](const std::string& f) {
      std::string out;
      for (size_t p = 32; p + 32 <= f.size() && f[p] != '\x0D'; p += 32) {
        out += std::string(f.c_str() + p) + " " + f[p + 11] + " " +
               std::to_string(static_cast<uint8_t>(f[p + 16])) + "." +
               std::to_string(static_cast<uint8_t>(f[p + 17])) + ";";
      }
      return out;
    };
    EXPECT_EQ(fields(ours), fields(theirs));
    EXPECT_EQ(ours[0], '\x03');
  }
}

// 2024-01-01 10:00:00.000 as PcTime.
constexpr uint32_t k10h = 1704103200u;

ZrTime At(int h, int m, int s, int ms) { return ZrTime(2024, 1, 1, h, m, s, ms); }

// Whether a plant record lies in the interval of zd, as each kind stamps it.
bool In(const DcLogDbf& r, const ZipData& zd) { return r.ut >= zd.IntervalStart && r.ut <= zd.IntervalEnd; }
bool InSeconds(uint32_t t, const ZipData& zd) {
  return t >= zd.IntervalStart.GetPcTime() && t <= zd.IntervalEnd.GetPcTime();
}
bool In(const EntryDbf& r, const ZipData& zd) { return InSeconds(r.time, zd); }
bool In(const EventLogDbf& r, const ZipData& zd) { return InSeconds(r.utc, zd); }

class CopierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLog(&log_);
    SetZipData(&zd_);
    zd_.IntervalStart = At(10, 0, 0, 0);
    zd_.IntervalEnd = At(10, 59, 59, 999);
    zd_.InterimName = "0101_10h";
    zd_.ArchiveDate = "20240101";
  }
  void TearDown() override {
    for (auto& c : copiers_) c->CloseBases();
    copiers_.clear();
    SetZipData(nullptr);
    SetLog(nullptr);
  }

  std::string Dir() const { return dir_.Path() + "/"; }

  template <class Copier>
  Dbf2Zip* MakeCopier(const char* kind, const std::string& dir, pv::FileSystem* fs = nullptr) {
    auto c = std::make_unique<Copier>();
    c->DbfKind = kind;
    c->DbfPath = dir.c_str();
    c->ZipPath = (dir_.Path() + "/zip/").c_str();
    c->FileSystem = fs;
    c->OpenBases(static_cast<int>(copiers_.size()));
    copiers_.push_back(std::move(c));
    return copiers_.back().get();
  }

  // Appends records to a plant table through its table class.
  template <class Table>
  void Append(const std::string& dir, const char* name, int n,
              const std::function<void(Table&, int)>& fill, pv::FileSystem* fs = nullptr) {
    ZrpBase base(fs);
    base.Open("PLANT", dir.c_str(), false, false);
    {
      Table t(&base, name, false, true);
      for (int i = 0; i < n; ++i) {
        fill(t, i);
        ASSERT_TRUE(t.Add(nullptr));
      }
      t.Close(ZrString(name));
    }
    base.Close();
  }

  // Runs the copier and checks that the interim table holds exactly the plant
  // table's records of the interval: nothing missing, nothing twice, every
  // field as in the plant, whatever order the tag walk gives.
  template <class Table>
  void CopyAndCheck(Dbf2Zip* c, const std::string& dir, const char* kind, const char* tag, int expected) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(c->ProcessDbf(), expected);
    auto copy = plantrec::Read<Table>(dir, "0101_10h", tag);
    auto plant = plantrec::Read<Table>(dir, kind, tag, [this](const Table& r) { return In(r, zd_); });
    EXPECT_EQ(copy.size(), static_cast<size_t>(expected));
    EXPECT_EQ(plantrec::Sorted(copy), plantrec::Sorted(plant));
  }

  // Copies the fixture table kind into a directory of its own, lets prepare
  // append to it, checks the copy of the interval from it and returns the
  // checker's report on the interim table.
  template <class Table, class Copier>
  std::string CopyFixture(const char* kind, const char* tag, int expected,
                          const std::function<void(const std::string&)>& prepare = nullptr) {
    const std::string dir = Dir() + kind + "/";
    std::filesystem::create_directory(dir);
    CopyPlantFixture("n1000-deleted", kind, dir);
    if (prepare) prepare(dir);
    Dbf2Zip* c = MakeCopier<Copier>(kind, dir);
    CopyAndCheck<Table>(c, dir, kind, tag, expected);
    c->CloseBases();
    const pvtest::ProcessResult check = pvtest::Run({pvtest::ProgramPath("bin/pvdbf"), "check", dir + "0101_10h"});
    EXPECT_EQ(check.exit_code, 0);
    EXPECT_NE(check.out.find("index ok"), std::string::npos) << check.out << check.err;
    return check.out;
  }

  pvtest::CaptureLog log_;
  ZipData zd_;
  pvtest::TempDir dir_;
  std::vector<std::unique_ptr<Dbf2Zip>> copiers_;
};

void FillDcLog(DcLogDbf& t, const ZrTime& ut, const char* text) {
  t.ut = ut;
  t.lt = ut + ZrTimeSpan(0, 1, 0, 0, 0);
  t.location = "Site1\\Boiler House\\Pump 25";
  t.text = text;
  t.guid = "64B189C9-8EFB-F46E-AEF2-DE4E6486CB89";
  t.user = "operator";
}

// The control system's own tables (fixture tables of an independent writer,
// one record a second from 00:00:00, every tenth deleted) and an interval of
// 00:02:01 to 00:05:00.999: each copier takes exactly the 162 live records
// stamped in it, both end seconds in, the seconds just outside (live records)
// out, and logs one progress line and the count. _DCLOG compares to the
// millisecond: of two records added, the one at the interval's last
// millisecond is in, the one a millisecond before its start is not. Each
// interim table's index, built when the copy closed it, passes the checker
// with every declared tag (the event log's filtered ones included).
TEST_F(CopierTest, ControlSystemTablesGiveTheIntervalsLiveRecords) {
  zd_.IntervalStart = ZrTime(2024, 1, 1, 0, 2, 1, 0);
  zd_.IntervalEnd = ZrTime(2024, 1, 1, 0, 5, 0, 999);
  CopyFixture<DcLogDbf, DcLog2Zip>("_DCLOG", "UTC", 163, [&](const std::string& dir) {
    Append<DcLogDbf>(dir, "_DCLOG", 2, [](DcLogDbf& t, int i) {
      FillDcLog(t, ZrTime(2024, 1, 1, 0, i == 0 ? 2 : 5, 0, 999), "edge");
    });
  });
  EXPECT_EQ(log_.lines.front(), "I:Starting 2 write data from " + Dir() +
                                    "_DCLOG/_DCLOG.dbf 2 0101_10h.dbf (20240101.zip)\n"
                                    "   Timespan from 0000000020240101000500999 back to "
                                    "0000000020240101000201000");
  EXPECT_EQ(log_.lines.back(), "I:   163 records written 2 0101_10h.dbf");
  CopyFixture<EntryDbf, Archive2Zip>("_ARCHIVE", "TIME", 162);
  EXPECT_EQ(log_.lines.back(), "I:   162 records written 2  dbf: 0101_10h");
  const std::string report = CopyFixture<EventLogDbf, EventLog2Zip>("_EVENTLOG", "UTC", 162);
  EXPECT_NE(report.find("tag NOTPRINTED"), std::string::npos);
  EXPECT_EQ(log_.lines.back(), "I:   162 records written 2  dbf: 0101_10h");
  for (const char* kind : {"DcLog", "Archive", "EventLog"}) {
    EXPECT_EQ(log_.Count(std::string("I:\n100 ") + kind + " entries written"), 1u) << kind;
  }
  for (const std::string& line : log_.lines) EXPECT_NE(line.rfind("E:", 0), 0u) << line;

  // The copiers opened the plant tables with create-and-adjust set and found
  // the declared layout there: _ARCHIVE and _EVENTLOG are byte for byte as
  // they were. Through the table classes, every live record is reached by the
  // copier's time tag, the first one (record 1) as the independent reader saw it.
  for (const std::string t : {"_ARCHIVE", "_EVENTLOG"}) {
    for (const char* ext : {".dbf", ".cdx"}) {
      EXPECT_TRUE(pvtest::ReadFileBytes(Dir() + t + "/" + t + ext) ==
                  pvtest::ReadFileBytes(pvtest::FixturePath("plant/n1000-deleted/" + t + ext))) << t << ext;
    }
  }
  const auto dclog = plantrec::Read<DcLogDbf>(Dir() + "_DCLOG/", "_DCLOG", "UTC");
  const auto archive = plantrec::Read<EntryDbf>(Dir() + "_ARCHIVE/", "_ARCHIVE", "TIME");
  const auto events = plantrec::Read<EventLogDbf>(Dir() + "_EVENTLOG/", "_EVENTLOG", "UTC");
  EXPECT_EQ(dclog.size(), 902u);  // with the two records added
  EXPECT_EQ(archive.size(), 900u);
  EXPECT_EQ(events.size(), 900u);
  EXPECT_EQ(archive.front(), "AREA01.FIC0001.PV|1704067200|-299.3510|2");
  EXPECT_EQ(dclog.front(),
            "0000000020240101000000000|0000000020240101010000000|Site1\\Boiler House\\Pump 25|"
            "Parameter 968 written: 189.69|64B189C9-8EFB-F46E-AEF2-DE4E6486CB89|operator");
  EXPECT_EQ(events.front(),
            "5|3|967|0|0|NORMAL|NORMAL|0|2|0|0|1704067200|1704070800|0|0|-203.983223|-474.187669|"
            "8|operator|1|0");

  // A table whose last record is older than the interval's start: nothing
  // to copy. So too a project directory without the plant table (the search
  // creates an empty table of the declared layout).
  zd_.IntervalStart = At(10, 0, 0, 0);
  zd_.IntervalEnd = At(10, 59, 59, 999);
  EXPECT_EQ(MakeCopier<EventLog2Zip>("_EVENTLOG", Dir() + "_EVENTLOG/")->ProcessDbf(), 0);
  EXPECT_EQ(log_.lines.back(), "I:   No data found in dbf: " + Dir() + "_EVENTLOG/_EVENTLOG");
  EXPECT_EQ(MakeCopier<Archive2Zip>("_ARCHIVE", Dir())->ProcessDbf(), 0);
  EXPECT_EQ(log_.lines.back(), "I:   No data found in dbf: " + Dir() + "_ARCHIVE");
  EXPECT_TRUE(std::filesystem::exists(Dir() + "_ARCHIVE.dbf"));
  EXPECT_TRUE(std::filesystem::exists(Dir() + "_ARCHIVE.cdx"));

  // A _DCLOG record with a timelevel above 0 sorts after every time of level
  // 0, so when it is the first at or after the start, nothing is copied.
  Append<DcLogDbf>(Dir(), "_DCLOG", 2, [&](DcLogDbf& t, int i) {
    ZrTime ut = At(10, 15, 0, 0);
    if (i == 1) ut.SetTimelevel(1);
    FillDcLog(t, i == 0 ? At(9, 0, 0, 0) : ut, "levelled");
  });
  EXPECT_EQ(MakeCopier<DcLog2Zip>("_DCLOG", Dir())->ProcessDbf(), 0);
  EXPECT_EQ(log_.lines.back(), "I:   0 records written 2 0101_10h.dbf");
}

// A copy on a file system that fails: a write of the interim table or a read
// of the plant table mid-walk fails the copy (never a short member), the log
// counts what was written, and once the faults are gone the retry copies the
// whole interval.
TEST_F(CopierTest, FailedWriteOrReadFailsTheCopyAndTheRetryIsWhole) {
  using Op = pv::MemFileSystem::Op;
  pv::MemFileSystem fs;
  Append<EntryDbf>("/P/", "_ARCHIVE", 250, [](EntryDbf& t, int i) {  // 10 s apart from 09:59:40: 248 in 10h
    t.point_id = "AREA01.FIC0001.PV";
    t.time = k10h - 20 + static_cast<uint32_t>(i) * 10;
    t.val = i;
    t.sts = 0;
  }, &fs);
  Dbf2Zip* copier = MakeCopier<Archive2Zip>("_ARCHIVE", "/P/", &fs);

  fs.FailAfter(Op::kWrite, 0, true);
  EXPECT_EQ(copier->ProcessDbf(), -kRunErrInterimWrite);
  EXPECT_TRUE(log_.Has("I:   0 records written 2  dbf: 0101_10h"));
  EXPECT_NE(log_.lines.back().find("E:Failed 2 write /P/0101_10h.dbf (error "), std::string::npos);

  fs.ClearFaults();
  fs.FailAfter(Op::kRead, 40, true);  // every read from the 41st: a retried step fails too
  EXPECT_EQ(copier->ProcessDbf(), -kRunErrPlantUnreadable);
  EXPECT_NE(log_.lines.back().find("E:Failed 2 read /P/_ARCHIVE.dbf (error "), std::string::npos);
  EXPECT_NE(log_.lines.back().find("), the interval is not archived"), std::string::npos);
  const std::string& counted = log_.lines[log_.lines.size() - 2];
  ASSERT_EQ(counted.find("I:   "), 0u);
  EXPECT_GT(std::atoi(counted.c_str() + 5), 0) << counted;  // the walk failed midway
  EXPECT_LT(std::atoi(counted.c_str() + 5), 248) << counted;

  fs.ClearFaults();
  for (const char* path : {"/P/0101_10h.dbf", "/P/0101_10h.cdx"}) {
    if (fs.Exists(path)) {
      ASSERT_TRUE(fs.Remove(path).ok());
    }
  }
  EXPECT_EQ(copier->ProcessDbf(), 248);
  copier->CloseBases();
  ZrpBase check(&fs);
  check.Open("CHECK", "/P/", false, false);
  {
    EntryDbf interim(&check, "0101_10h", false, false);
    EXPECT_EQ(interim.GetCount(), 248);
    interim.Close("0101_10h");
  }
  check.Close();
}

// The sanitizer build runs everything several times slower; it copies a
// tenth of the records, which still keeps the feed busy through the copy.
#if defined(PV_ASAN)
constexpr int kArchiveRecords = 16000, kOtherRecords = 2000;
#else
constexpr int kArchiveRecords = 160000, kOtherRecords = 20000;
#endif

// An archive run copying a 200,000-record interval (160,000 _ARCHIVE, 20,000
// _DCLOG and 20,000 _EVENTLOG records) while plantsim appends to all three
// plant tables at 500 records per second each: the interim tables must hold
// exactly the interval's records, none twice, none torn.
//
// plantsim plays the control system: it holds each table's named mutex for
// every append and stamps its records from the store's clock, which stands
// after the interval, so every live record lands in the tags behind the ones
// being copied while the copier walks them.
TEST_F(CopierTest, CopyWhilePlantAppends) {
  const std::string store = dir_.File("plant1.do"), hour = " --from 2024-01-01T10:00:00Z --to 2024-01-01T11:00:00Z";
  ASSERT_TRUE(e2e::RunOk(e2e::Tool("plantsim", {Dir()}, "--kinds archive --seed 3 --fill " +
                                                          std::to_string(kArchiveRecords) + hour)));
  ASSERT_TRUE(e2e::RunOk(e2e::Tool("plantsim", {Dir()}, "--kinds dclog,eventlog --seed 4 --fill " +
                                                          std::to_string(kOtherRecords) + hour)));

  pvtest::WriteFileBytes(store, "[clock]\nstart = 2024-01-01T11:00:00Z\nstarted_at = " +
                                    std::to_string(std::time(nullptr)) +
                                    "\nrate = 1\nlocal_offset = 3600\n[objects]\n$SHUTDOWN = int 0\n");
  const auto filled = std::filesystem::file_size(Dir() + "_ARCHIVE.dbf");
  pvtest::Child feed(e2e::Tool("plantsim", {Dir(), "--store", store}, "--rate 500 --duration 300 --seed 9"),
                     dir_.File("live.txt"), dir_.File("live.txt"));
  ASSERT_TRUE(e2e::WaitUntil([&] { return std::filesystem::file_size(Dir() + "_ARCHIVE.dbf") > filled; }, 60));

  // One kind after the other, as an archive run does: each interim table is
  // checked and removed before the next copier writes one of the same name.
  auto done = [&] {
    copiers_.back()->CloseBases();
    for (const char* ext : {".dbf", ".cdx"}) std::filesystem::remove(Dir() + "0101_10h" + ext);
  };
  CopyAndCheck<EntryDbf>(MakeCopier<Archive2Zip>("_ARCHIVE", Dir()), Dir(), "_ARCHIVE", "TIME",
                         kArchiveRecords);
  done();
  CopyAndCheck<DcLogDbf>(MakeCopier<DcLog2Zip>("_DCLOG", Dir()), Dir(), "_DCLOG", "UTC", kOtherRecords);
  done();
  CopyAndCheck<EventLogDbf>(MakeCopier<EventLog2Zip>("_EVENTLOG", Dir()), Dir(), "_EVENTLOG", "UTC",
                            kOtherRecords);
  done();

  ASSERT_TRUE(e2e::RunOk(e2e::Tool("pvobjects", {store, "set", "$SHUTDOWN", "1"})));
  EXPECT_EQ(feed.Wait(60000), 0) << pvtest::ReadFileBytes(dir_.File("live.txt"));
  for (const std::string& line : log_.lines) EXPECT_NE(line.rfind("E:", 0), 0u) << line;

  // The live feed really ran during the copies: every plant table grew.
  EXPECT_GT(plantrec::Read<EntryDbf>(Dir(), "_ARCHIVE", "TIME").size(), kArchiveRecords + 100u);
  EXPECT_GT(plantrec::Read<DcLogDbf>(Dir(), "_DCLOG", "UTC").size(), kOtherRecords + 100u);
  EXPECT_GT(plantrec::Read<EventLogDbf>(Dir(), "_EVENTLOG", "UTC").size(), kOtherRecords + 100u);
}

}  // namespace
