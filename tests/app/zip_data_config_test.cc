// ZipData's configuration: the INI keys, their defaults and the copier list.
#include <string>

#include "tests/app/zip_data_test_fixture.h"

namespace pvtest {
namespace {

class ZipDataConfigTest : public ZipDataTest {
 protected:
  void Connect() { ASSERT_TRUE(eci_->ConnectEci("PACKVAULT", "plant1")); }
  int32_t WriteHoursFor(const std::string& value) {
    WriteIni("WriteInterval = " + value + "\n");
    log_.lines.clear();
    EXPECT_TRUE(zd_->InitializeZipData());
    return zd_->WriteInterval.GetTotalHours();
  }
};

TEST_F(ZipDataConfigTest, WriteIntervalCheckTimeAndDestination) {
  Connect();
  for (const char* bad : {"5", "0", "25", "-8"}) {
    EXPECT_EQ(WriteHoursFor(bad), 24) << bad;
    EXPECT_TRUE(Logged("I:Ini-file: WriteInterval not valid, set to 24")) << bad;
  }
  EXPECT_EQ(WriteHoursFor("6\nZipEncryption = DES"), 6);
  EXPECT_TRUE(Logged("I:Ini-file: ZipEncryption not valid, set to AES256"));
  EXPECT_FALSE(Logged("I:Ini-file: WriteInterval not valid, set to 24"));
  EXPECT_TRUE(Logged("I:Destination file path " + Dest()));
  EXPECT_EQ(zd_->ProjectCode, kProjectCode);

  struct { const char* value; uint32_t passes; bool complaint; } checks[] = {
      {"30", 1800, false}, {"1", 60, false}, {"31", 600, true}, {"0", 600, true}, {"", 600, false}};
  for (const auto& c : checks) {
    WriteIni(std::string(*c.value ? "CheckTimeInterval = " : "") + c.value + "\n");
    log_.lines.clear();
    uint32_t passes = 0;
    zd_->SetZipTimeData(&passes);
    EXPECT_EQ(passes, c.passes) << c.value;
    EXPECT_EQ(zd_->CheckTime, c.passes * 1000) << c.value;
    EXPECT_EQ(Logged("I:Ini-file: CheckTime not valid, set to 10"), c.complaint) << c.value;
  }

  WriteFileBytes(Ini(), "[Packvault]\nWriteInterval = 8\n");
  log_.lines.clear();
  EXPECT_FALSE(zd_->InitializeZipData());
  EXPECT_EQ(log_.lines, std::vector<std::string>{"E:Ini-file: No valid destination directory found"});
}

TEST_F(ZipDataConfigTest, CopiersFromTableEntries) {
  WriteFileBytes(Ini(),
                 "[Packvault]\nMoDrv = D:\\ARCHIV\n"
                 "Dbf_1 = _dclog\nPath_1 = c:\\proj\\\n"
                 "Dbf_3 = _Archive\nPath_3 = e:\\plant\\\n"
                 "Dbf_4 = _ARCHIVE\n"
                 "Dbf_5 = _journal\nPath_5 = f:\\x\\\n");
  Connect();
  ASSERT_TRUE(zd_->InitializeZipData());
  ASSERT_TRUE(zd_->InitializeDbfData());
  ASSERT_EQ(zd_->DbfList.size(), 3u);
  EXPECT_NE(dynamic_cast<DcLog2Zip*>(zd_->DbfList[0]), nullptr);
  EXPECT_EQ(zd_->DbfList[0]->DbfKind, "_DCLOG");
  EXPECT_EQ(zd_->DbfList[0]->DbfPath, "C:\\PROJ\\");
  // No separator is inserted after a MoDrv without one.
  EXPECT_EQ(zd_->DbfList[0]->ZipPath, "D:\\ARCHIV_DCLOG\\");
  EXPECT_NE(dynamic_cast<Archive2Zip*>(zd_->DbfList[1]), nullptr);
  EXPECT_EQ(zd_->DbfList[1]->DbfPath, "E:\\PLANT\\");
  // Only entry 1 must be complete; the same kind twice archives into one place.
  EXPECT_NE(dynamic_cast<Archive2Zip*>(zd_->DbfList[2]), nullptr);
  EXPECT_EQ(zd_->DbfList[2]->DbfPath, "");
  EXPECT_EQ(zd_->DbfList[2]->ZipPath, zd_->DbfList[1]->ZipPath);

  for (const char* first : {"Dbf_1 = _DCLOG\n", "Path_1 = c:\\proj\\\n"}) {
    ClearCopiers();
    WriteFileBytes(Ini(), std::string("[Packvault]\nMoDrv = D:\\ARCHIV\\\n") + first);
    log_.lines.clear();
    EXPECT_FALSE(zd_->InitializeDbfData()) << first;
    EXPECT_EQ(log_.lines, std::vector<std::string>{"E:No valid dbf-paths found in ini-file"});
  }
  // An unknown first kind is skipped: start-up goes on with no copier.
  WriteFileBytes(Ini(), "[Packvault]\nDbf_1 = _OTHER\nPath_1 = c:\\proj\\\nDbf_2 = _EVENTLOG\n");
  ASSERT_TRUE(zd_->InitializeDbfData());
  ASSERT_EQ(zd_->DbfList.size(), 1u);
  EXPECT_NE(dynamic_cast<EventLog2Zip*>(zd_->DbfList[0]), nullptr);
}

}  // namespace
}  // namespace pvtest
