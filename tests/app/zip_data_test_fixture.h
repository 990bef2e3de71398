// The harness of the ZipData tests: a working directory with the server's
// store file and an INI file, a server clock the test sets, a captured log,
// and copiers that write a recognisable interim table instead of copying
// plant records.
#ifndef PV_TESTS_APP_ZIP_DATA_TEST_FIXTURE_H_
#define PV_TESTS_APP_ZIP_DATA_TEST_FIXTURE_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/dbf2zip.h"
#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "foundation/platform/disk_space.h"
#include "foundation/zr_time.h"
#include "serverlink/eci_client.h"
#include "serverlink/eci_objects.h"
#include "serverlink/store_document.h"
#include "tests/app/zip_test_util.h"
#include "tests/support/capture_log.h"
#include "tests/support/test_util.h"

namespace pvtest {

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
    if (on_written) on_written();
    return records;
  }
  // The interim table's bytes for a run: its interval, then table-like filler.
  std::string InterimBytes(const std::string& run) const {
    return run + TableLikeBytes(interim_records, 11);
  }
  std::function<void()> on_written;  // runs once the interim files exist
  int32_t records = 3;
  bool write_cdx = true;
  uint32_t interim_records = 50;
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
    eci_ = new EciObjects;
    SetEciObjects(eci_);
    eci_->SetIniFile(Ini().c_str());
    eci_->SetDestPathProvider([] { return GetZipData()->DestPath; });
    zd_ = new ZipData;
    SetZipData(zd_);
    zd_->SetIniFile(Ini().c_str());
    WriteIni("WriteInterval = 8\n");
  }
  void TearDown() override {
    zd_->CleanUp();
    delete zd_;
    SetZipData(nullptr);
    delete eci_;
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
  FakeCopier* Start(uint32_t check_minutes = 10) {
    EXPECT_TRUE(eci_->ConnectEci("PACKVAULT", "plant1"));
    EXPECT_TRUE(zd_->InitializeZipData());
    std::filesystem::create_directories(Project());
    auto* copier = new FakeCopier;
    copier->DbfKind = "_DCLOG";
    copier->DbfPath = Project().c_str();
    copier->ZipPath = (zd_->DestPath + "_DCLOG\\");
    zd_->DbfList.push_back(copier);
    uint32_t passes = 0;
    WriteIni("WriteInterval = " + std::to_string(zd_->WriteInterval.GetTotalHours()) +
             "\nCheckTimeInterval = " + std::to_string(check_minutes) + "\n");
    zd_->SetZipTimeData(&passes);
    return copier;
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
  bool Logged(const std::string& line) const { return log_.Has(line); }

  TempDir dir_;
  CaptureLog log_;
  SetClock clock_;
  EciObjects* eci_ = nullptr;
  ZipData* zd_ = nullptr;

 private:
  std::filesystem::path cwd_;
};

}  // namespace pvtest

#endif  // PV_TESTS_APP_ZIP_DATA_TEST_FIXTURE_H_
