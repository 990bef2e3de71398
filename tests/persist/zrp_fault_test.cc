// The table layer on a file system that fails: writes that fail, a full
// disk, short reads and read errors are reported (result and LastError),
// and what was written before stays readable.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "foundation/zr_error_window.h"
#include "persist/zrp_base.h"
#include "tableengine/mem_file_system.h"
#include "tests/persist/persist_test_tables.h"

namespace {

using Op = pv::MemFileSystem::Op;

constexpr uint32_t kTime = 1000000000u;

class ZrpFaultTest : public ::testing::Test {
 protected:
  // The table LOG with records P0 .. P(n-1), written without faults.
  void Fill(int32_t n) {
    ZrpBase base(fs_.get());
    base.Open("Fault", "/db/", false, false);
    LogTable t(&base);
    for (int32_t i = 0; i < n; ++i) ASSERT_TRUE(Put(t, i, false));
  }

  // Adds record i (plainly or through a ring buffer of 100).
  static bool Put(LogTable& t, int32_t i, bool ring) {
    t.time = kTime + static_cast<uint32_t>(i);
    t.point = ZrString("P%d", i);
    t.value = i;
    return ring ? t.AddToRingBuffer("TIME", 100, nullptr) : t.Add(nullptr);
  }

  // The points of the table in time order, read without faults (a missing
  // index is created, as any opening does).
  std::vector<std::string> Points() {
    fs_->ClearFaults();
    fs_->set_capacity(UINT64_MAX);
    fs_->set_max_read(0);
    ZrpBase base(fs_.get());
    base.Open("Check", "/db/", false, false);
    LogTable t(&base, "LOG", 10, false);
    std::vector<std::string> points;
    ZrpTableIterator it;
    for (bool on = t.Top(it, "TIME", nullptr); on; on = t.Skip(it, 1)) {
      points.push_back(static_cast<const char*>(t.point));
    }
    EXPECT_EQ(t.LastError(), 0);
    return points;
  }

  std::unique_ptr<pv::MemFileSystem> fs_ = std::make_unique<pv::MemFileSystem>();
};

// Every write of an Add (or a ring-buffer add) fails in turn. An add that
// reports success has its record in the file; one that fails says why; the
// records written before are never lost.
TEST_F(ZrpFaultTest, FailedWriteIsReportedAndLosesNothingWritten) {
  for (bool ring : {false, true}) {
    int32_t failures = 0;
    for (int32_t n = 0; n < 40; ++n) {
      fs_ = std::make_unique<pv::MemFileSystem>();
      Fill(2);
      bool added = false;
      int32_t error = 0;
      {
        ZrpBase base(fs_.get());
        base.Open("Fault", "/db/", false, false);
        LogTable t(&base);
        ASSERT_EQ(t.GetCount(), 2);  // opened before the fault
        fs_->FailAfter(Op::kWrite, n);
        added = Put(t, 2, ring);
        error = t.LastError();
        fs_->ClearFaults();
        t.GetTable()->MarkChanged(0);  // a failed write stays pending: drop it
        t.Unlock();
      }
      std::vector<std::string> points = Points();
      SCOPED_TRACE(testing::Message() << "ring " << ring << " write " << n);
      auto has = [&points](const char* p) {
        return std::find(points.begin(), points.end(), p) != points.end();
      };
      EXPECT_TRUE(has("P0") && has("P1"));
      if (added) {
        EXPECT_EQ(error, 0);
        EXPECT_TRUE(has("P2"));
      } else {
        ++failures;
        EXPECT_LT(error, 0);
      }
    }
    EXPECT_GE(failures, 3) << "the sweep reached no later write";
  }
}

// A full disk fails the add with a write error (reported without a stray
// null-message line); after room is made the same object adds again. Short
// reads fail the add and change nothing. A walk ends with false and the
// read error when a read fails (with no error at the end of the data:
// Points()).
TEST_F(ZrpFaultTest, FullDiskShortReadsAndReadErrors) {
  Fill(3);
  {
    ZrpBase base(fs_.get());
    base.Open("Fault", "/db/", false, false);
    LogTable t(&base);
    ASSERT_EQ(t.GetCount(), 3);
    uint64_t used = 0;
    for (const char* f : {"/DB/LOG.dbf", "/DB/LOG.cdx"}) used += fs_->Contents(f).size();
    fs_->set_capacity(used);
    ZrErrorWindowClose();
    EXPECT_FALSE(Put(t, 3, false));
    EXPECT_EQ(t.LastError(), pv::kErrWrite);
    std::vector<std::string> reports = ZrErrorWindowEntries();
    EXPECT_FALSE(reports.empty());
    EXPECT_EQ(std::count(reports.begin(), reports.end(),
                         "DebugOutput called with NULL-pointer message"),
              0);
    t.ClearLastError();
    fs_->set_capacity(UINT64_MAX);
    EXPECT_TRUE(Put(t, 4, false));
    EXPECT_EQ(t.LastError(), 0);

    // A read that comes up short is never taken for data: the add fails.
    t.ClearLastError();
    fs_->set_max_read(3);
    EXPECT_FALSE(Put(t, 5, false));
    EXPECT_LT(t.LastError(), 0);
    t.GetTable()->MarkChanged(0);
    fs_->set_max_read(0);

    ZrpTableIterator it;
    ASSERT_TRUE(t.Top(it, "TIME", nullptr));
    t.ClearLastError();
    fs_->FailAfter(Op::kRead, 0, true);
    EXPECT_FALSE(t.Skip(it, 1));
    EXPECT_EQ(it, 0);
    // The step's first read is the index's (the record it stands on is not
    // read again); the error stays until cleared.
    EXPECT_EQ(t.LastError(), pv::kErrIndex);
    EXPECT_EQ(t.LastError(), pv::kErrIndex);
  }
  EXPECT_EQ(Points(), (std::vector<std::string>{"P0", "P1", "P2", "P4"}));
}

// A table whose declaration changed is rebuilt; a failure at any step of the
// rebuild (create, copy, flush, sync, each rename, the directory sync)
// fails the opening and leaves the original table complete under its name,
// with no new file left behind. A failure to remove the old files after the
// swap leaves the rebuilt table, complete. A swap cut short (every rename
// from the n-th on fails, the renames back too, as after a crash) is
// finished by the next opening.
TEST_F(ZrpFaultTest, FailedRebuildLeavesTheOriginalComplete) {
  const std::vector<std::string> all{"P0", "P1", "P2"};
  struct Case {
    Op op;
    bool cut;
  };
  for (Case c : {Case{Op::kOpen, false}, Case{Op::kRead, false}, Case{Op::kWrite, false},
                 Case{Op::kSync, false}, Case{Op::kRename, false}, Case{Op::kRename, true},
                 Case{Op::kSyncDir, false}, Case{Op::kRemove, false}}) {
    int32_t failures = 0;
    bool rebuiltAtLast = false;
    for (int32_t n = 0; n < 300 && !rebuiltAtLast; ++n) {
      SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(c.op) << " cut " << c.cut
                                      << " call " << n);
      fs_ = std::make_unique<pv::MemFileSystem>();
      Fill(3);
      int32_t width = 0;
      {
        ZrpBase base(fs_.get());
        base.Open("Fault", "/db/", false, false);
        LogTable wider(&base, "LOG", 12);
        fs_->FailAfter(c.op, n, c.cut);
        bool opened = wider.GetTable() != nullptr;
        fs_->ClearFaults();
        if (opened) width = wider.GetTable()->FieldByName("POINT")->Width();
        EXPECT_TRUE(opened || wider.LastError() != 0);
      }
      const bool leftover = fs_->Exists("/DB/LOG.dbf.old");
      if (width == 0 || leftover) ++failures;
      EXPECT_TRUE(width != 0 || !leftover || c.cut);
      EXPECT_FALSE(fs_->Exists("/DB/__DBTEMP.dbf"));
      EXPECT_EQ(Points(), all);  // this opening finishes a swap cut short
      EXPECT_FALSE(fs_->Exists("/DB/LOG.dbf.old"));
      rebuiltAtLast = width == 12 && !leftover;
    }
    EXPECT_TRUE(rebuiltAtLast);
    EXPECT_GE(failures, c.cut ? 3 : 1);
  }
}

}  // namespace
