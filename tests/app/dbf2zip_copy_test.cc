// The record copiers on real tables: which records an interval takes, what
// the interim table holds, and what the copiers log.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/dbf2zip.h"
#include "app/dc_log_dbf.h"
#include "app/entry_dbf.h"
#include "app/event_log_dbf.h"
#include "foundation/output_handler.h"
#include "app/zip_data.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_iterator.h"
#include "tests/app/plant_records.h"
#include "tests/support/capture_log.h"
#include "tests/support/test_util.h"

namespace {

// 2024-01-01 10:00:00.000 as PcTime.
constexpr uint32_t k10h = 1704103200u;

ZrTime At(int h, int m, int s, int ms) { return ZrTime(2024, 1, 1, h, m, s, ms); }

class CopierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prev_log_ = GetLog();
    SetLog(&log_);
    prev_zd_ = GetZipData();
    SetZipData(&zd_);
    zd_.IntervalStart = At(10, 0, 0, 0);
    zd_.IntervalEnd = At(10, 59, 59, 999);
    zd_.InterimName = "0101_10h";
    zd_.ArchiveDate = "20240101";
  }
  void TearDown() override {
    for (auto& c : copiers_) c->CloseBases();
    copiers_.clear();
    SetZipData(prev_zd_);
    SetLog(prev_log_);
  }

  std::string Dir() const { return dir_.Path() + "/"; }

  template <class Copier>
  Dbf2Zip* MakeCopier(const char* kind, const std::string& dir) {
    auto c = std::make_unique<Copier>();
    c->DbfKind = kind;
    c->DbfPath = dir.c_str();
    c->ZipPath = (dir_.Path() + "/zip/").c_str();
    c->OpenBases(static_cast<int>(copiers_.size()));
    copiers_.push_back(std::move(c));
    return copiers_.back().get();
  }

  // Appends records to a plant table through its table class.
  template <class Table>
  void Append(const std::string& dir, const char* name, int n,
              const std::function<void(Table&, int)>& fill) {
    ZrpBase base;
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

  pvtest::CaptureLog log_;
  ZipData zd_;
  pvtest::TempDir dir_;
  std::vector<std::unique_ptr<Dbf2Zip>> copiers_;

 private:
  OutputHandler* prev_log_ = nullptr;
  ZipData* prev_zd_ = nullptr;
};

void FillDcLog(DcLogDbf& t, const ZrTime& ut, const char* text) {
  t.ut = ut;
  t.lt = ut + ZrTimeSpan(0, 1, 0, 0, 0);
  t.location = "Site1\\Boiler House\\Pump 25";
  t.text = text;
  t.guid = "64B189C9-8EFB-F46E-AEF2-DE4E6486CB89";
  t.user = "operator";
}

// _DCLOG compares to the millisecond: the interval's first and last
// milliseconds are in, the ones just outside are not, and the walk ends at
// the first record past the end.
TEST_F(CopierTest, DcLogTakesTheIntervalToTheMillisecond) {
  const ZrTime times[] = {At(9, 59, 59, 999), At(10, 0, 0, 0), At(10, 30, 0, 500),
                          At(10, 59, 59, 999), At(11, 0, 0, 0), At(12, 0, 0, 0)};
  Append<DcLogDbf>(Dir(), "_DCLOG", 6, [&](DcLogDbf& t, int i) {
    FillDcLog(t, times[i], ("entry " + std::to_string(i)).c_str());
  });
  Dbf2Zip* c = MakeCopier<DcLog2Zip>("_DCLOG", Dir());
  EXPECT_EQ(c->ProcessDbf(), 3);

  auto copied = plantrec::Read<DcLogDbf>(Dir(), "0101_10h", "UTC");
  auto expected = plantrec::Read<DcLogDbf>(Dir(), "_DCLOG", "UTC", [&](const DcLogDbf& r) {
    return r.ut >= zd_.IntervalStart && r.ut <= zd_.IntervalEnd;
  });
  ASSERT_EQ(expected.size(), 3u);
  EXPECT_EQ(copied, expected);

  ASSERT_GE(log_.lines.size(), 2u);
  EXPECT_EQ(log_.lines.front(), "I:Starting 2 write data from " + Dir() +
                                    "_DCLOG.dbf 2 0101_10h.dbf (20240101.zip)\n"
                                    "   Timespan from 0000000020240101105959999 back to "
                                    "0000000020240101100000000");
  EXPECT_EQ(log_.lines.back(), "I:   3 records written 2 0101_10h.dbf");
  for (const std::string& line : log_.lines) EXPECT_NE(line.rfind("E:", 0), 0u) << line;
}

// A record with a timelevel above 0 sorts after every time of level 0, so
// when it is the first at or after the start, nothing is copied.
TEST_F(CopierTest, DcLogRecordWithTimelevelEndsTheWalk) {
  Append<DcLogDbf>(Dir(), "_DCLOG", 2, [&](DcLogDbf& t, int i) {
    ZrTime ut = At(10, 15, 0, 0);
    if (i == 1) ut.SetTimelevel(1);
    FillDcLog(t, i == 0 ? At(9, 0, 0, 0) : ut, "levelled");
  });
  Dbf2Zip* c = MakeCopier<DcLog2Zip>("_DCLOG", Dir());
  EXPECT_EQ(c->ProcessDbf(), 0);
  EXPECT_EQ(log_.lines.back(), "I:   0 records written 2 0101_10h.dbf");
}

// 250 records in the interval: two progress lines, the final count, and the
// record stamped at the last second is in (whole seconds), 11:00:00 is not.
TEST_F(CopierTest, ArchiveCountsProgressAndEndsAtTheLastSecond) {
  Append<EntryDbf>(Dir(), "_ARCHIVE", 253, [&](EntryDbf& t, int i) {
    char id[32];
    std::snprintf(id, sizeof id, "AREA%02d.PIC%04d.PV", i % 8, i);
    t.point_id = id;
    // Records 0..249 lie in the interval, 0 at 10:00:00 and 249 at its last
    // second, 10:59:59; 250 lies a second before it, 251 and 252 at and
    // after 11:00:00.
    if (i < 249) {
      t.time = k10h + static_cast<uint32_t>(i) * 14;
    } else if (i == 249) {
      t.time = k10h + 3599;
    } else if (i == 250) {
      t.time = k10h - 1;
    } else {
      t.time = k10h + 3600 + static_cast<uint32_t>(i - 251);
    }
    t.val = i * 1.2345;
    t.sts = i % 3 == 0 ? 192 : 0;
  });
  Dbf2Zip* c = MakeCopier<Archive2Zip>("_ARCHIVE", Dir());
  EXPECT_EQ(c->ProcessDbf(), 250);
  EXPECT_EQ(log_.Count("I:\n100 Archive entries written"), 2u);
  EXPECT_EQ(log_.lines.back(), "I:   250 records written 2  dbf: 0101_10h");

  auto copied = plantrec::Read<EntryDbf>(Dir(), "0101_10h", "TIME");
  auto expected = plantrec::Read<EntryDbf>(Dir(), "_ARCHIVE", "TIME", [](const EntryDbf& r) {
    return r.time >= k10h && r.time <= k10h + 3599;
  });
  ASSERT_EQ(expected.size(), 250u);
  EXPECT_EQ(copied, expected);
}

void FillEvent(EventLogDbf& t, uint32_t utc, uint32_t old_state, uint32_t new_state, bool printed) {
  t.type = 5;
  t.al_type = 3;
  t.obj_num = 967;
  t.old_state = old_state;
  t.new_state = new_state;
  t.old_sts_txt = "ALARM 2";
  t.new_sts_txt = "NORMAL";
  t.old_level = 2;
  t.new_level = 3;
  t.al_old = 1;
  t.al_new = 0;
  t.utc = utc;
  t.lt = utc + 3600;
  t.timestamp = 17;
  t.timelevel = 0;
  t.val_old = -203.983223;
  t.val_new = 474.187669;
  t.user_id = 8;
  t.user_name = "operator";
  t.printed = printed;
  t.do_print = true;
}

// Every field is copied, the last second is in, and the interim table carries
// the filtered tags: PRINTED "F" with OLDSTATE 200 and NEWSTATE 100 is in
// neither NOTPRINTED nor DOPRINT.
TEST_F(CopierTest, EventLogCopiesEveryFieldIntoATableWithAllTags) {
  const uint32_t utc[] = {k10h - 1, k10h, k10h + 1800, k10h + 3599, k10h + 3600};
  Append<EventLogDbf>(Dir(), "_EVENTLOG", 5, [&](EventLogDbf& t, int i) {
    FillEvent(t, utc[i], i == 2 ? 200 : 1, i == 2 ? 100 : 129, i == 3);
  });
  Dbf2Zip* c = MakeCopier<EventLog2Zip>("_EVENTLOG", Dir());
  EXPECT_EQ(c->ProcessDbf(), 3);
  EXPECT_EQ(log_.lines.back(), "I:   3 records written 2  dbf: 0101_10h");

  auto copied = plantrec::Read<EventLogDbf>(Dir(), "0101_10h", "UTC");
  auto expected = plantrec::Read<EventLogDbf>(Dir(), "_EVENTLOG", "UTC", [](const EventLogDbf& r) {
    return r.utc >= k10h && r.utc <= k10h + 3599;
  });
  ASSERT_EQ(expected.size(), 3u);
  EXPECT_EQ(copied, expected);

  // The interim table as it goes into the zip: its index, built when the
  // copy closed the table, passes the checker with every declared tag.
  const std::string out = dir_.File("check.txt");
  const std::string check = pvtest::BinaryPath("bin/pvdbf") + " check " + Dir() + "0101_10h > " + out;
  EXPECT_EQ(std::system(check.c_str()), 0);
  const std::string report = pvtest::ReadFileBytes(out);
  EXPECT_NE(report.find("tag NOTPRINTED"), std::string::npos) << report;
  EXPECT_NE(report.find("index ok"), std::string::npos) << report;

  ZrpBase base;
  base.Open("CHECK", Dir().c_str(), false, false);
  {
    EventLogDbf interim(&base, "0101_10h", true, false);
    EXPECT_EQ(interim.GetCount("UTC", nullptr), 3);
    EXPECT_EQ(interim.GetCount("TIME", nullptr), 3);
    EXPECT_EQ(interim.GetCount("TIMELEVEL", nullptr), 3);
    EXPECT_EQ(interim.GetCount("PRINTED", nullptr), 1);     // the record at 10:59:59
    EXPECT_EQ(interim.GetCount("NOTPRINTED", nullptr), 1);  // 10:00:00; not 200 -> 100
    EXPECT_EQ(interim.GetCount("DOPRINT", nullptr), 2);
    interim.Close(ZrString("0101_10h"));
  }
  base.Close();
}

// No data: a project directory without the plant table (the search creates
// an empty table of the declared layout), and a table whose last record is
// older than the interval's start. Both log the no-data line, copy nothing.
TEST_F(CopierTest, MissingTableAndTableEndingBeforeTheIntervalHaveNoData) {
  Dbf2Zip* c = MakeCopier<Archive2Zip>("_ARCHIVE", Dir());
  EXPECT_EQ(c->ProcessDbf(), 0);
  EXPECT_EQ(log_.lines.back(), "I:   No data found in dbf: " + Dir() + "_ARCHIVE");
  EXPECT_TRUE(std::filesystem::exists(Dir() + "_ARCHIVE.dbf"));
  EXPECT_TRUE(std::filesystem::exists(Dir() + "_ARCHIVE.cdx"));

  Append<EventLogDbf>(Dir(), "_EVENTLOG", 2, [&](EventLogDbf& t, int i) {
    FillEvent(t, k10h - 100 + static_cast<uint32_t>(i), 0, 0, true);
  });
  c = MakeCopier<EventLog2Zip>("_EVENTLOG", Dir());
  EXPECT_EQ(c->ProcessDbf(), 0);
  EXPECT_EQ(log_.lines.back(), "I:   No data found in dbf: " + Dir() + "_EVENTLOG");
}

// Two copiers of one kind in two project directories write interim tables
// of the same name, each beside its own plant table.
TEST_F(CopierTest, SameKindInTwoDirectories) {
  const std::string a = Dir() + "a/", b = Dir() + "b/";
  std::filesystem::create_directories(a);
  std::filesystem::create_directories(b);
  for (int d = 0; d < 2; ++d) {
    Append<DcLogDbf>(d == 0 ? a : b, "_DCLOG", 4 + d, [&](DcLogDbf& t, int i) {
      FillDcLog(t, At(10, 10 * i, d, 0), d == 0 ? "from a" : "from b");
    });
  }
  Dbf2Zip* ca = MakeCopier<DcLog2Zip>("_DCLOG", a);
  Dbf2Zip* cb = MakeCopier<DcLog2Zip>("_DCLOG", b);
  EXPECT_EQ(ca->ProcessDbf(), 4);
  EXPECT_EQ(cb->ProcessDbf(), 5);
  EXPECT_EQ(plantrec::Read<DcLogDbf>(a, "0101_10h", "UTC"), plantrec::Read<DcLogDbf>(a, "_DCLOG", "UTC"));
  EXPECT_EQ(plantrec::Read<DcLogDbf>(b, "0101_10h", "UTC"), plantrec::Read<DcLogDbf>(b, "_DCLOG", "UTC"));
}

}  // namespace
