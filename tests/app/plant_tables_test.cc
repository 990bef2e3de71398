// The plant log table classes against tables written by an independent
// program, and the named mutex they share across directories.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/dc_log_dbf.h"
#include "app/entry_dbf.h"
#include "app/event_log_dbf.h"
#include "foundation/platform/named_mutex.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_iterator.h"
#include "tests/app/plant_records.h"
#include "tests/support/test_util.h"

namespace {

void CopyPlantFixture(const std::string& set, const std::string& table, const std::string& dir) {
  for (const char* ext : {".dbf", ".cdx"}) {
    pvtest::CopyFile(pvtest::FixturePath("plant/" + set + "/" + table + ext), dir + "/" + table + ext);
  }
}

// Opening the fixture tables with create-and-adjust set must find the
// declared layout already there: the files stay byte for byte as they were,
// and every live record is reached through the copier's time tag.
TEST(PlantTablesTest, DeclarationsMatchTablesOfTheControlSystem) {
  pvtest::TempDir dir;
  for (const char* t : {"_DCLOG", "_ARCHIVE", "_EVENTLOG"}) CopyPlantFixture("n1000-deleted", t, dir.Path());
  const std::string before_dbf = pvtest::ReadFileBytes(dir.File("_EVENTLOG.dbf"));
  const std::string before_cdx = pvtest::ReadFileBytes(dir.File("_EVENTLOG.cdx"));
  const std::string d = dir.Path() + "/";

  auto dclog = plantrec::Read<DcLogDbf>(d, "_DCLOG", "UTC");
  auto archive = plantrec::Read<EntryDbf>(d, "_ARCHIVE", "TIME");
  auto events = plantrec::Read<EventLogDbf>(d, "_EVENTLOG", "UTC");
  EXPECT_EQ(dclog.size(), 900u);
  EXPECT_EQ(archive.size(), 900u);
  EXPECT_EQ(events.size(), 900u);
  // The first record of the fixture (record 1, not deleted), as its
  // independent reader saw it.
  EXPECT_EQ(archive.front(), "AREA01.FIC0001.PV|1704067200|-299.3510|2");
  EXPECT_EQ(dclog.front(),
            "0000000020240101000000000|0000000020240101010000000|Site1\\Boiler House\\Pump 25|"
            "Parameter 968 written: 189.69|64B189C9-8EFB-F46E-AEF2-DE4E6486CB89|operator");
  EXPECT_EQ(events.front(),
            "5|3|967|0|0|NORMAL|NORMAL|0|2|0|0|1704067200|1704070800|0|0|-203.983223|-474.187669|"
            "8|operator|1|0");

  // Walking through create-and-adjust tables changed nothing on disk.
  EXPECT_EQ(pvtest::ReadFileBytes(dir.File("_EVENTLOG.dbf")), before_dbf);
  EXPECT_EQ(pvtest::ReadFileBytes(dir.File("_EVENTLOG.cdx")), before_cdx);
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

}  // namespace
