// An archive run copying a 200,000-record interval (160,000 _ARCHIVE, 20,000
// _DCLOG and 20,000 _EVENTLOG records) while plantsim appends to all three
// plant tables at 500 records per second each: the interim tables must hold
// exactly the interval's records, none twice, none torn.
//
// plantsim plays the control system: it holds each table's named mutex for
// every append and stamps its records from the store's clock, which stands
// after the interval, so every live record lands in the tags behind the ones
// being copied while the copier walks them.
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/dbf2zip.h"
#include "foundation/output_handler.h"
#include "app/zip_data.h"
#include "tests/app/e2e_install.h"
#include "tests/app/plant_records.h"
#include "tests/support/test_util.h"

namespace {

using e2e::Quote;
using e2e::Shell;

class QuietLog : public OutputHandler {
 public:
  QuietLog() : OutputHandler("Packvault.log") {}
  void PutInfo(const char*) override {}
  void PutError(const char* text) override { errors += std::string(text) + "\n"; }
  std::string errors;
};

constexpr uint32_t k10h = 1704103200u;  // 2024-01-01 10:00:00 UT

// The sanitizer build runs everything several times slower; it copies a
// tenth of the records, which still keeps the feed busy through the copy.
#if defined(PV_ASAN)
constexpr int kArchiveRecords = 16000, kOtherRecords = 2000;
#else
constexpr int kArchiveRecords = 160000, kOtherRecords = 20000;
#endif

bool InHour(uint32_t t) { return t >= k10h && t < k10h + 3600; }

// Copies the interval of one kind and compares the interim table with the
// plant table's records of the interval; then removes the interim files.
template <class Copier, class Table>
void CopyAndCheck(const std::string& project, const char* kind, const char* tag, int expected,
                  const std::function<bool(const Table&)>& in_interval) {
  SCOPED_TRACE(kind);
  Copier copier;
  copier.DbfKind = kind;
  copier.DbfPath = project.c_str();
  copier.OpenBases(0);
  EXPECT_EQ(copier.ProcessDbf(), expected);
  copier.CloseBases();
  auto copy = plantrec::Read<Table>(project, "0101_10h", tag);
  auto plant = plantrec::Read<Table>(project, kind, tag, in_interval);
  EXPECT_EQ(copy.size(), static_cast<size_t>(expected));
  // Same multiset: nothing missing, nothing twice, every field as in the plant.
  EXPECT_EQ(plantrec::Sorted(copy), plantrec::Sorted(plant));
  std::filesystem::remove(project + "0101_10h.dbf");
  std::filesystem::remove(project + "0101_10h.cdx");
}

TEST(E2eConcurrencyTest, CopyWhilePlantAppends) {
  pvtest::TempDir root;
  const std::string project = root.Path() + "/project/";
  const std::string store = root.File("plant1.do");
  std::filesystem::create_directories(project);
  const std::string plantsim = pvtest::BinaryPath("bin/plantsim") + " " + Quote(project);

  const std::string hour = " --from 2024-01-01T10:00:00Z --to 2024-01-01T11:00:00Z";
  ASSERT_EQ(Shell(plantsim + " --kinds archive --seed 3 --fill " + std::to_string(kArchiveRecords) +
                  hour + " > /dev/null"), 0);
  ASSERT_EQ(Shell(plantsim + " --kinds dclog,eventlog --seed 4 --fill " +
                  std::to_string(kOtherRecords) + hour + " > /dev/null"), 0);

  pvtest::WriteFileBytes(store, "[clock]\nstart = 2024-01-01T11:00:00Z\nstarted_at = " +
                                    std::to_string(std::time(nullptr)) +
                                    "\nrate = 1\nlocal_offset = 3600\n[objects]\n$SHUTDOWN = int 0\n");
  const std::string rc_file = root.File("plantsim.rc");
  Shell("sh -c " + Quote(plantsim + " --store " + Quote(store) + " --rate 500 --duration 300 --seed 9 > " +
                         Quote(root.File("live.txt")) + " 2>&1; echo $? > " + Quote(rc_file)) +
        " > /dev/null 2>&1 &");
  std::this_thread::sleep_for(std::chrono::seconds(1));

  QuietLog log;
  OutputHandler* prev_log = GetLog();
  SetLog(&log);
  ZipData zd;
  ZipData* prev_zd = GetZipData();
  SetZipData(&zd);
  zd.IntervalStart = ZrTime(2024, 1, 1, 10, 0, 0, 0);
  zd.IntervalEnd = ZrTime(2024, 1, 1, 10, 59, 59, 999);
  zd.InterimName = "0101_10h";
  zd.ArchiveDate = "20240101";
  // One kind after the other, as an archive run does: each interim table is
  // checked and removed before the next copier writes one of the same name.
  CopyAndCheck<Archive2Zip, EntryDbf>(project, "_ARCHIVE", "TIME", kArchiveRecords,
                                      [](const EntryDbf& r) { return InHour(r.time); });
  CopyAndCheck<DcLog2Zip, DcLogDbf>(project, "_DCLOG", "UTC", kOtherRecords, [&](const DcLogDbf& r) {
    return r.ut >= zd.IntervalStart && r.ut <= zd.IntervalEnd;
  });
  CopyAndCheck<EventLog2Zip, EventLogDbf>(project, "_EVENTLOG", "UTC", kOtherRecords,
                                          [](const EventLogDbf& r) { return InHour(r.utc); });
  SetZipData(prev_zd);
  SetLog(prev_log);

  Shell(pvtest::BinaryPath("bin/pvobjects") + " " + Quote(store) + " set '$SHUTDOWN' 1 > /dev/null");
  ASSERT_TRUE(e2e::Installation::WaitForFile(rc_file, 60));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(pvtest::ReadFileBytes(rc_file), "0\n") << pvtest::ReadFileBytes(root.File("live.txt"));
  EXPECT_TRUE(log.errors.empty()) << log.errors;

  // The live feed really ran during the copies: every plant table grew.
  EXPECT_GT(plantrec::Read<EntryDbf>(project, "_ARCHIVE", "TIME").size(), kArchiveRecords + 100u);
  EXPECT_GT(plantrec::Read<DcLogDbf>(project, "_DCLOG", "UTC").size(), kOtherRecords + 100u);
  EXPECT_GT(plantrec::Read<EventLogDbf>(project, "_EVENTLOG", "UTC").size(), kOtherRecords + 100u);
}

}  // namespace
