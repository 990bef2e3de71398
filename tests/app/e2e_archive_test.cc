// End-to-end: the real packvault executable archives plant tables filled by
// plantsim, driven by the object store's accelerated clock, and is stopped
// through "$SHUTDOWN" and through ESC on a terminal.
//
// Both runs archive 2024-01-01 with one-hour intervals. The plant tables hold
// records from 09:30 to 11:30 UT, one every 4 seconds, 5% of them deleted, so
// every interval has records before, at and after both of its ends.
#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/e2e_install.h"
#include "tests/app/plant_records.h"
#include "tests/support/test_util.h"

namespace {

using e2e::Installation;

struct Interval {
  const char* member;    // "0101_10h"
  const char* dclog_lo;  // UT range, 25-character sortable strings
  const char* dclog_hi;
  const char* time_lo;   // _ARCHIVE TIME range
  const char* time_hi;
  uint32_t utc_lo;       // _EVENTLOG UTC range
  uint32_t utc_hi;
};

constexpr Interval k10h = {"0101_10h",
                           "0000000020240101100000000", "0000000020240101105959999",
                           "20240101100000", "20240101105959",
                           1704103200u, 1704106799u};
constexpr Interval k11h = {"0101_11h",
                           "0000000020240101110000000", "0000000020240101115959999",
                           "20240101110000", "20240101115959",
                           1704106800u, 1704110399u};

void FillPlant(Installation& inst) {
  ASSERT_EQ(inst.Plantsim("--fill 1800 --from 2024-01-01T09:30:00Z --to 2024-01-01T11:30:00Z "
                          "--seed 7 --delete-share 0.05 --local-offset 3600"),
            0)
      << pvtest::ReadFileBytes(inst.Dir("plantsim.txt"));
}

// Checks one table kind's member of one interval: present in the day archive,
// opened by 7z with the project code, and holding exactly the plant table's
// live records of the interval, read by python3-dbfread and by the engine.
void CheckMember(Installation& inst, const std::string& kind, const Interval& iv,
                 const std::string& day = "20240101") {
  SCOPED_TRACE(kind + " " + iv.member);
  const std::string zip = inst.Dir("archive") + "/" + kind + "/" + day + ".zip";
  const std::string out = inst.Dir("extract") + "/" + kind + "/";
  const std::string member = std::string(iv.member) + ".dbf";
  ASSERT_TRUE(Installation::Extract7z(zip, member, out));

  const std::string plant = inst.Dir("project") + "/" + kind + ".dbf";
  std::string field, lo, hi;
  if (kind == "_DCLOG") {
    field = "UT", lo = iv.dclog_lo, hi = iv.dclog_hi;
  } else if (kind == "_ARCHIVE") {
    field = "TIME", lo = iv.time_lo, hi = iv.time_hi;
  } else {
    field = "UTC", lo = std::to_string(iv.utc_lo), hi = std::to_string(iv.utc_hi);
  }
  std::string expected = Installation::PythonRecords(plant, field, lo, hi);
  std::string archived = Installation::PythonRecords(out + member);
  EXPECT_GT(expected.size(), 100u);
  EXPECT_EQ(archived, expected);

  // The engine reads the member in its time tag's order, which is also the
  // order the copier wrote it in.
  const std::string pdir = inst.Dir("project") + "/";
  std::vector<std::string> engine_plant, engine_member;
  if (kind == "_DCLOG") {
    auto in = [&](const DcLogDbf& r) {
      std::string ut = r.ut.AsSortableString(true).GetText();
      return ut >= iv.dclog_lo && ut <= iv.dclog_hi;
    };
    engine_plant = plantrec::Read<DcLogDbf>(pdir, "_DCLOG", "UTC", in);
    engine_member = plantrec::Read<DcLogDbf>(out, iv.member, "UTC");
  } else if (kind == "_ARCHIVE") {
    auto in = [&](const EntryDbf& r) { return r.time >= iv.utc_lo && r.time <= iv.utc_hi; };
    engine_plant = plantrec::Read<EntryDbf>(pdir, "_ARCHIVE", "TIME", in);
    engine_member = plantrec::Read<EntryDbf>(out, iv.member, "TIME");
  } else {
    auto in = [&](const EventLogDbf& r) { return r.utc >= iv.utc_lo && r.utc <= iv.utc_hi; };
    engine_plant = plantrec::Read<EventLogDbf>(pdir, "_EVENTLOG", "UTC", in);
    engine_member = plantrec::Read<EventLogDbf>(out, iv.member, "UTC");
  }
  EXPECT_EQ(engine_member.size(), engine_plant.size());
  EXPECT_EQ(plantrec::Sorted(engine_member), plantrec::Sorted(engine_plant));
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

void CheckCommon(Installation& inst, const std::vector<const Interval*>& intervals) {
  const std::string kinds[] = {"_DCLOG", "_ARCHIVE", "_EVENTLOG"};
  for (const std::string& kind : kinds) {
    std::vector<std::string> want;
    std::string text = std::string(e2e::kProjectId) + "\r\n" + '\0';
    for (const Interval* iv : intervals) {
      want.push_back(std::string(iv->member) + ".dbf");
      // LT is the plant's local clock (UT + 1 h) at the run, minus an hour:
      // every run here happens between 11:00 and 12:00 UT.
      text += "UT: " + std::string(iv->member) + " LT: 0101_11h\r\n" + '\0';
    }
    const std::string dir = inst.Dir("archive") + "/" + kind + "/";
    EXPECT_EQ(Installation::Members(dir + "20240101.zip"), want) << kind;
    EXPECT_EQ(pvtest::ReadFileBytes(dir + "20240101.txt"), text) << kind;
    for (const Interval* iv : intervals) CheckMember(inst, kind, *iv);
  }

  // Only the plant tables remain in the project directory.
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(inst.Dir("project"))) {
    left.push_back(e.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"_ARCHIVE.cdx", "_ARCHIVE.dbf", "_DCLOG.cdx",
                                            "_DCLOG.dbf", "_EVENTLOG.cdx", "_EVENTLOG.dbf"}));

  // Disk usage published; no archive error, so the error object keeps its value.
  EXPECT_EQ(inst.Object("ARCHIVE_ERR"), "99\n");
  int percent = std::atoi(inst.Object("$MOPROCENT").c_str());
  EXPECT_GE(percent, 0);
  EXPECT_LE(percent, 100);
  EXPECT_EQ(inst.Object("$MOFULL"), percent >= 90 ? "1\n" : "0\n");
  EXPECT_GT(std::atof(inst.Object("$MOGB").c_str()), 0.0);

  const std::string console = inst.Console();
  const std::string project = [&] {
    std::string p = inst.Dir("project") + "/";
    std::transform(p.begin(), p.end(), p.begin(), [](unsigned char c) { return std::toupper(c); });
    return p;
  }();
  for (const Interval* iv : intervals) {
    const std::string m = iv->member;
    EXPECT_NE(console.find("Starting 2 write data from " + project + "_DCLOG.dbf 2 " + m +
                           ".dbf (20240101.zip)\n   Timespan from " + iv->dclog_hi +
                           " back to " + iv->dclog_lo),
              std::string::npos)
        << m;
    EXPECT_NE(console.find(" records written 2 " + m + ".dbf\n"), std::string::npos) << m;
    EXPECT_EQ(Count(console, " records written 2  dbf: " + m + "\n"), 2u) << m;
  }
  EXPECT_GE(Count(console, "\n\n100 DcLog entries written\n"), 8u);
  EXPECT_GE(Count(console, "\n\n100 Archive entries written\n"), 8u);
  EXPECT_GE(Count(console, "\n\n100 EventLog entries written\n"), 8u);
  EXPECT_NE(console.find("End program due to ESC or shutdown flag\n"), std::string::npos);
  EXPECT_NE(console.find("Finished updating archives 20240101\n"), std::string::npos);
  EXPECT_EQ(console.find("FAILURE: "), std::string::npos) << console;
}

// The clock crosses 11:00 while packvault runs; the regular check archives
// 10:00-10:59:59.999, and the forced run at the "$SHUTDOWN" stop archives the
// interval in progress, 11:00 onwards.
TEST(E2eArchiveTest, RegularCheckThenShutdownObject) {
  Installation inst;
  FillPlant(inst);
  inst.WriteStore("2024-01-01T10:59:00Z", 2);
  inst.Start();

  // The first check comes after 60 one-second passes, at about 11:01 UT.
  const std::string last = inst.Dir("archive") + "/_EVENTLOG/20240101.zip";
  ASSERT_TRUE(Installation::WaitForFile(last, 150)) << inst.Console();
  ASSERT_TRUE(Installation::WaitForFile(inst.Dir("archive") + "/_EVENTLOG/20240101.txt", 10));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_EQ(inst.SetObject("$SHUTDOWN", "1"), 0);
  ASSERT_EQ(inst.WaitExit(120), 0) << inst.Console();

  const std::string console = inst.Console();
  EXPECT_NE(console.find("Time 2 Zip\n"), std::string::npos);
  EXPECT_NE(console.find("Shutdown = true\n"), std::string::npos);
  EXPECT_NE(console.find("Forced Zip: Last written 0000000020240101110000000"), std::string::npos);
  CheckCommon(inst, {&k10h, &k11h});
}

// Past 2038: a store whose clock is in 2040 (PcTimes above 2^31). The stop
// shortly after 11:00 archives 10:00-10:59:59 into the day archive of
// 2040-01-01 under its regular name.
TEST(E2eArchiveTest, ClockIn2040) {
  constexpr Interval k2040 = {"0101_10h",
                              "0000000020400101100000000", "0000000020400101105959999",
                              "20400101100000", "20400101105959",
                              2209024800u, 2209028399u};
  Installation inst;
  ASSERT_EQ(inst.Plantsim("--fill 900 --from 2040-01-01T09:30:00Z --to 2040-01-01T11:30:00Z "
                          "--seed 3 --local-offset 3600"),
            0)
      << pvtest::ReadFileBytes(inst.Dir("plantsim.txt"));
  inst.WriteStore("2040-01-01T10:59:56Z", 1);
  inst.Start();
  std::this_thread::sleep_for(std::chrono::seconds(7));
  ASSERT_EQ(inst.SetObject("$SHUTDOWN", "1"), 0);
  ASSERT_EQ(inst.WaitExit(120), 0) << inst.Console();
  EXPECT_NE(inst.Console().find("Forced Zip: Last written 0000000020400101100000000"),
            std::string::npos)
      << inst.Console();
  for (const std::string kind : {"_DCLOG", "_ARCHIVE", "_EVENTLOG"}) {
    EXPECT_EQ(Installation::Members(inst.Dir("archive") + "/" + kind + "/20400101.zip"),
              std::vector<std::string>{"0101_10h.dbf"})
        << kind;
    CheckMember(inst, kind, k2040, "20400101");
  }
}

// ESC on a terminal shortly after 11:00: the forced run archives the interval
// that the clock has just left, under its regular name. An arrow key (an ESC
// sequence) before it does not end the run, and the terminal's line mode is
// restored afterwards.
TEST(E2eArchiveTest, EscapeOnTerminal) {
  Installation inst;
  FillPlant(inst);
  inst.WriteStore("2024-01-01T10:59:55Z", 1);
  inst.StartOnTerminal();
  std::this_thread::sleep_for(std::chrono::seconds(8));
  inst.PressKey("Up");
  EXPECT_EQ(inst.WaitExit(2), -1) << "an arrow key ended the program";
  int rc = -1;
  for (int attempt = 0; attempt < 5 && rc < 0; ++attempt) {
    inst.PressKey("Escape");
    rc = inst.WaitExit(10);
  }
  ASSERT_EQ(rc, 0) << inst.Console();
  const std::string stty = pvtest::ReadFileBytes(inst.Dir("work") + "/stty.txt");
  EXPECT_TRUE(std::regex_search(stty, std::regex(R"((^|\s)icanon(\s|$))"))) << stty;
  EXPECT_TRUE(std::regex_search(stty, std::regex(R"((^|\s)echo(\s|$))"))) << stty;
  const std::string console = inst.Console();
  EXPECT_NE(console.find("Forced Zip: Last written 0000000020240101100000000"), std::string::npos);
  CheckCommon(inst, {&k10h});
}

}  // namespace
