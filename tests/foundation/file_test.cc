// The platform file layer: I/O at offsets, OFD byte-range locks, sharing
// modes, case-insensitive path resolution and atomic replacement.
#include "foundation/platform/file.h"

#include <gtest/gtest.h>

#include "foundation/platform/path_resolve.h"
#include "tests/support/test_util.h"

namespace pv {
namespace {

std::unique_ptr<File> Open(const std::string& path, bool write, bool create = false) {
  OpenOptions o;
  o.write = write;
  o.create = create;
  std::unique_ptr<File> f;
  Status s = OpenFile(path, o, &f);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return f;
}

TEST(FileTest, ReadWriteSizeTruncate) {
  pvtest::TempDir dir;
  auto f = Open(dir.File("a.bin"), true, true);
  ASSERT_TRUE(f->WriteAt(10, "hello", 5).ok());
  uint64_t size = 0;
  ASSERT_TRUE(f->Size(&size).ok());
  EXPECT_EQ(size, 15u);
  char buf[32];
  size_t got = 0;
  ASSERT_TRUE(f->ReadAt(12, sizeof buf, buf, &got).ok());
  EXPECT_EQ(std::string(buf, got), "llo");  // short read only at the end
  ASSERT_TRUE(f->Truncate(11).ok());
  ASSERT_TRUE(f->Size(&size).ok());
  EXPECT_EQ(size, 11u);
  ASSERT_TRUE(f->Sync().ok());
  ASSERT_TRUE(f->Close().ok());
  EXPECT_FALSE(f->ReadAt(0, 1, buf, &got).ok());
  std::unique_ptr<File> none;
  EXPECT_TRUE(OpenFile(dir.File("none.dbf"), OpenOptions(), &none).IsNotFound());
  EXPECT_EQ(none, nullptr);
}

// OFD locks belong to the open file: two Files of one process conflict, and
// closing one of them keeps the other's locks.
TEST(FileTest, RangeLocksConflictBetweenOpenFiles) {
  pvtest::TempDir dir;
  auto a = Open(dir.File("t.dbf"), true, true);
  auto b = Open(dir.File("t.dbf"), true);
  auto c = Open(dir.File("t.dbf"), true);
  const uint64_t kByte = 0x7FFFFFFE;
  ASSERT_TRUE(a->LockRange(kByte, 1, LockKind::kExclusive, LockWait::kNoWait).ok());
  EXPECT_TRUE(b->LockRange(kByte, 1, LockKind::kExclusive, LockWait::kNoWait).IsBusy());
  EXPECT_TRUE(b->LockRange(kByte - 5, 10, LockKind::kShared, LockWait::kNoWait).IsBusy());
  EXPECT_TRUE(b->LockRange(kByte - 1, 1, LockKind::kExclusive, LockWait::kNoWait).ok());
  ASSERT_TRUE(c->Close().ok());  // must not drop a's lock
  EXPECT_TRUE(b->LockRange(kByte, 1, LockKind::kExclusive, LockWait::kNoWait).IsBusy());
  ASSERT_TRUE(a->UnlockRange(kByte, 1).ok());
  EXPECT_TRUE(b->LockRange(kByte, 1, LockKind::kExclusive, LockWait::kNoWait).ok());

  // Shared locks coexist, exclude an exclusive one, and go with their file.
  auto d = Open(dir.File("l"), true, true);
  auto e = Open(dir.File("l"), true);
  ASSERT_TRUE(d->LockRange(0, 0, LockKind::kShared, LockWait::kNoWait).ok());
  ASSERT_TRUE(e->LockRange(0, 0, LockKind::kShared, LockWait::kBlock).ok());
  EXPECT_TRUE(e->LockRange(0, 0, LockKind::kExclusive, LockWait::kNoWait).IsBusy());
  ASSERT_TRUE(d->Close().ok());
  EXPECT_TRUE(e->LockRange(0, 0, LockKind::kExclusive, LockWait::kNoWait).ok());
}

TEST(FileTest, OpenWithoutSharing) {
  pvtest::TempDir dir;
  auto shared = Open(dir.File("x.dbf"), true, true);
  OpenOptions alone;
  alone.write = true;
  alone.share_none = true;
  alone.truncate = true;
  std::unique_ptr<File> f;
  ASSERT_TRUE(shared->WriteAt(0, "data", 4).ok());
  EXPECT_TRUE(OpenFile(dir.File("x.dbf"), alone, &f).IsBusy());
  uint64_t size = 0;
  ASSERT_TRUE(shared->Size(&size).ok());
  EXPECT_EQ(size, 4u);  // the refused open truncated nothing
  ASSERT_TRUE(shared->Close().ok());
  ASSERT_TRUE(OpenFile(dir.File("x.dbf"), alone, &f).ok());
  EXPECT_TRUE(OpenFile(dir.File("x.dbf"), OpenOptions(), &shared).IsBusy());
}

TEST(FileTest, PathsResolveWithoutCase) {
  pvtest::TempDir dir;
  pvtest::WriteFileBytes(dir.File("_dclog.dbf"), "x");
  pvtest::WriteFileBytes(dir.File("_DCLOG.DBF"), "y");
  // Exact name first; otherwise the first match in byte order.
  EXPECT_EQ(ResolvePath(dir.Path() + "/_dclog.dbf"), dir.Path() + "/_dclog.dbf");
  EXPECT_EQ(ResolvePath(dir.Path() + "\\_DcLog.Dbf"), dir.Path() + "/_DCLOG.DBF");
  ASSERT_TRUE(RemoveFile(dir.File("_DCLOG.DBF")).ok());
  EXPECT_EQ(ResolvePath(dir.Path() + "\\_DCLOG.dbf"), dir.Path() + "/_dclog.dbf");
  EXPECT_TRUE(PathExists(dir.Path() + "/_DCLOG.DBF"));
  // A missing part and everything after it stay as given.
  EXPECT_EQ(ResolvePath(dir.Path() + "\\NEW\\Sub.dbf"), dir.Path() + "/NEW/Sub.dbf");
  EXPECT_TRUE(EqualNoCase("\xC4pfel", "\xE4PFEL"));
}

TEST(FileTest, AtomicReplaceAndListing) {
  pvtest::TempDir dir;
  const std::string p = dir.File("store.do");
  ASSERT_TRUE(WriteFileAtomically(p, "one").ok());
  ASSERT_TRUE(WriteFileAtomically(p, "two").ok());
  std::string got;
  ASSERT_TRUE(ReadWholeFile(p, &got).ok());
  EXPECT_EQ(got, "two");
  std::vector<std::string> names;
  ASSERT_TRUE(ListDirectory(dir.Path(), &names).ok());
  EXPECT_EQ(names, std::vector<std::string>{"store.do"});  // no temporary left
  EXPECT_TRUE(IsDirectory(dir.Path()));
  EXPECT_FALSE(IsDirectory(p));
}

}  // namespace
}  // namespace pv
