// Process utilities: profile rules, own path, directory creation, GUID
// texts, handles closed at exit.
#include "foundation/zr_process.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/platform/file.h"
#include "foundation/platform/process.h"
#include "tests/support/test_util.h"

namespace {

TEST(ZrProfileTest, FollowsTheWindowsRules) {
  pvtest::TempDir dir;
  std::string ini = dir.File("kestrel.ini");
  pvtest::WriteFileBytes(ini,
                         "; comment\r\n"
                         "[Other]\r\nMoDrv=wrong\r\n"
                         "[ packvault ]\r\n"
                         "  modrv =  \"D:\\Archive\\ \"  \r\n"
                         ";WriteInterval=9\r\n"
                         "WriteInterval = 6 hours\r\n"
                         "WRITEINTERVAL=12\r\n"
                         "Neg=-15\r\nHex=0x1F\r\nNone=abc\r\nEmpty=\r\nQuote='x\r\n"
                         "Long=" + std::string(600, 'L') + "\r\n"
                         "[Packvault]\r\nLate=second section\r\n");
  const char* f = ini.c_str();
  EXPECT_EQ(std::string(ZrGetProfileString("PACKVAULT", "MoDrv", "", f)), "D:\\Archive\\ ");
  EXPECT_EQ(ZrGetProfileInt("Packvault", "WriteInterval", 3, f), 6);  // first key wins
  EXPECT_EQ(ZrGetProfileInt("Packvault", "Neg", 0, f), -15);
  EXPECT_EQ(ZrGetProfileInt("Packvault", "Hex", 0, f), 31);
  EXPECT_EQ(ZrGetProfileInt("Packvault", "None", 7, f), 0);
  EXPECT_EQ(ZrGetProfileInt("Packvault", "Missing", 7, f), 7);
  EXPECT_EQ(std::string(ZrGetProfileString("Packvault", "Empty", "def", f)), "");
  EXPECT_EQ(std::string(ZrGetProfileString("Packvault", "Quote", "", f)), "'x");
  EXPECT_EQ(std::string(ZrGetProfileString("Packvault", "Long", "", f)), std::string(511, 'L'));
  EXPECT_EQ(std::string(ZrGetProfileString("Packvault", "Late", "none", f)), "none");  // first section only
  EXPECT_EQ(std::string(ZrGetProfileString("Packvault", "Missing", nullptr, f)), "");
  EXPECT_EQ(std::string(ZrGetProfileString("Packvault", "MoDrv", "dflt", dir.File("none.ini").c_str())),
            "dflt");
}

// The banner's texts: the executable's version resource on Windows, the
// compiled-in texts on POSIX; both must agree with the version numbers.
TEST(ZrProcessTest, VersionTextsOfTheBanner) {
  EXPECT_EQ(std::string(ZrGetFileInfoZrString("ProductName")), "Packvault");
  EXPECT_NE(std::string(ZrGetFileVersion()), "0.0.0.0");
  EXPECT_EQ(std::string(ZrGetFileInfoZrString("FileVersion")), std::string(ZrGetFileVersion()));
  EXPECT_NE(std::string(ZrGetFileInfoZrString("LegalCopyright")).find("Copyright"), std::string::npos);
  EXPECT_EQ(std::string(ZrGetFileInfoZrString("NoSuchKey")), "");
}

TEST(ZrProcessTest, AppPathDirFilenameAndUser) {
  ZrString path = ZrGetAppPathEx();
  ZrString dir = ZrGetAppDirEx();
  ZrString name = ZrGetAppFilenameEx();
  EXPECT_THAT(std::string(name), testing::AnyOf("foundation_tests", "foundation_tests.exe"));
  EXPECT_THAT(std::string(dir).back(), testing::AnyOf('/', '\\'));
  EXPECT_EQ(std::string(dir) + std::string(name), std::string(path));
  char buffer[kZrMaxPath];
  ZrGetAppDir(buffer);
  EXPECT_EQ(std::string(buffer), std::string(dir));
  std::string user;  // the object tables' owner name
  EXPECT_TRUE(pv::UserName(&user).ok());
  EXPECT_FALSE(user.empty());
}

TEST(ZrProcessTest, CreateDirectoryCreatesEveryMissingLevel) {
  pvtest::TempDir dir;
  std::string base = dir.Path();
  EXPECT_TRUE(ZrCreateDirectory(ZrString((base + "\\a\\b/c.txt").c_str()), true));
  EXPECT_TRUE(pv::IsDirectory(base + "/a/b"));
  EXPECT_FALSE(pv::PathExists(base + "/a/b/c.txt"));
  EXPECT_TRUE(ZrCreateDirectory(ZrString((base + "/a/b/c.txt").c_str()), false));
  EXPECT_TRUE(pv::IsDirectory(base + "/a/b/c.txt"));
  pvtest::WriteFileBytes(base + "/file", "x");
  EXPECT_FALSE(ZrCreateDirectory(ZrString((base + "/file/sub").c_str()), false));
}

TEST(ZrProcessTest, GuidTexts) {
  const ZrGuid g = {0x0A1B2C3D, 0xABCD, 0xEF01, {0xde, 0xad, 0xbe, 0xef, 0x01, 0x02, 0x03, 0xff}};
  EXPECT_EQ(std::string(ZrGuid2String(g)), "{0A1B2C3D-ABCD-ef01-DEAD-BEEF010203FF}");
  EXPECT_EQ(std::string(ZrGuid2Name(g)), "_0A1B2C3D_ABCD_ef01_DEAD_BEEF010203FF");
  const ZrGuid fresh = ZrCreateGuid();
  EXPECT_NE(fresh, ZrCreateGuid());
  EXPECT_EQ(fresh.data3 >> 12, 4);  // random, version 4
  EXPECT_EQ(fresh.data4[0] & 0xC0, 0x80);
}

TEST(ZrProcessTest, HandlesClosedAtExitOnceEach) {
  ZrCloseHandles();
  ZrEventSem registered(true);
  ZrEventSem plain(false);
  EXPECT_EQ(ZrGetHandlesToBeClosedCount(), 1u);
  EXPECT_FALSE(registered.Wait(0));
  registered.Set();
  EXPECT_TRUE(registered.Wait(0));

  ZrHandle alias = nullptr;
  ZrHandle other = new ZrHandleObject();
  ZrAddHandleToBeClosedAtExit(&other);
  alias = other;
  ZrAddHandleToBeClosedAtExit(&alias);  // same handle value: not added again
  EXPECT_EQ(ZrGetHandlesToBeClosedCount(), 2u);

  ZrCloseHandles();
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(ZrGetHandlesToBeClosedCount(), 0u);
  EXPECT_FALSE(registered.Wait(0));  // its event is gone
  plain.Set();
  EXPECT_TRUE(plain.Wait(0));

  {
    ZrEventSem gone_early(true);
    EXPECT_EQ(ZrGetHandlesToBeClosedCount(), 1u);
  }
  EXPECT_EQ(ZrGetHandlesToBeClosedCount(), 0u);  // no dangling registration
}

}  // namespace
