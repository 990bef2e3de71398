// The database directory: registry, lock brackets, table paths and the
// object tables (a replaced file system holding every file of a database:
// the fault tests, which run on one).
#include <gtest/gtest.h>

#include <string>

#include "foundation/platform/file.h"
#include "foundation/zr_debug_output.h"
#include "persist/zrp_base.h"
#include "tests/persist/persist_test_tables.h"
#include "tests/support/test_util.h"

namespace {

std::string WithSlash(const pvtest::TempDir& dir) { return dir.Path() + "/"; }

// The first database of a name is registered, and closing either of two
// removes the name; the directory is kept upper-cased, while the file layer
// finds the real directory and a table keeps its declared name.
TEST(ZrpBaseTest, RegistryDirectoryAndTablePaths) {
  pvtest::TempDir dir;
  ZrpBase first, second;
  EXPECT_EQ(ZrpBase::_GetBase("SrcArchive0"), nullptr);
  ASSERT_TRUE(first.Open("SrcArchive0", WithSlash(dir).c_str(), false, false));
  second.Open("SrcArchive0", WithSlash(dir).c_str(), false, false);
  EXPECT_EQ(ZrpBase::_GetBase("SrcArchive0"), &first);
  std::string upper = WithSlash(dir);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_STREQ(first.GetDir(), upper.c_str());

  LogTable a(&first, "MixedCase");
  LogTable b(&second, "B");
  ASSERT_TRUE(a.Add(nullptr));
  EXPECT_TRUE(b.Add(nullptr));
  EXPECT_TRUE(pv::PathExists(dir.File("MixedCase.dbf")));
  EXPECT_TRUE(pv::PathExists(dir.File("MixedCase.cdx")));
  pv::Table* shared = nullptr;
  EXPECT_TRUE(first.SearchTable(ZrString("MixedCase"), shared));
  EXPECT_EQ(shared, a.GetTable());
  EXPECT_FALSE(first.SearchTable(ZrString("MIXEDCASE"), shared));

  second.Close();
  EXPECT_EQ(ZrpBase::_GetBase("SrcArchive0"), nullptr);
  EXPECT_FALSE(second.IsOpen());
  first.Close();
}

TEST(ZrpBaseTest, BracketsReleaseLocksOnlyWhenTheOutermostEnds) {
  pvtest::TempDir dir;
  ZrpBase base;
  base.Open("Db", WithSlash(dir).c_str(), false, false);
  LogTable t(&base);
  ASSERT_TRUE(t.Add(nullptr));
  pv::Table* table = t.GetTable();

  base.TxnStart();
  base.TxnStart();
  ASSERT_TRUE(t.WaitForLock(1));
  EXPECT_TRUE(base.TxnEnd(true));
  EXPECT_TRUE(table->RecordLocked(1));
  EXPECT_TRUE(base.TxnEnd(false));
  EXPECT_FALSE(table->RecordLocked(1));

  // An unbalanced end is reported once and changes nothing.
  ZrDebugOutput::SetTestMode(true);
  ZrDebugOutput::ResetTestModeCounters();
  EXPECT_TRUE(base.TxnEnd(true));
  EXPECT_EQ(ZrDebugOutput::GetDebugOutputCount(), 1u);
  ZrDebugOutput::SetTestMode(false);
  base.TxnStart();
  ASSERT_TRUE(t.WaitForLock(1));
  base.TxnEnd(true);
  EXPECT_FALSE(table->RecordLocked(1));
}

TEST(ZrpBaseTest, ObjectTablesAreCreatedWithTheirFields) {
  pvtest::TempDir dir;
  {
    ZrpBase base;
    EXPECT_TRUE(base.Open("Objects", WithSlash(dir).c_str(), true, false));
    EXPECT_TRUE(base.IsUsingObjTables());
  }
  for (const char* file : {"__ID.dbf", "__ROOT.dbf", "__ROOT.cdx", "__OBJ.dbf", "__OBJ.cdx",
                           "__OBJ.fpt"}) {
    EXPECT_TRUE(pv::PathExists(dir.File(file))) << file;
  }
  EXPECT_FALSE(pv::PathExists(dir.File("__ID.cdx")));
  // Opening again finds them.
  ZrpBase again;
  EXPECT_TRUE(again.Open("Objects", WithSlash(dir).c_str(), true, false));
}

}  // namespace
