// The bounded append: append below the bound, recycle or overwrite the
// oldest at it, and refuse a key that the tag already holds.
#include <gtest/gtest.h>

#include <string>

#include "persist/zrp_base.h"
#include "tests/persist/persist_test_tables.h"
#include "tests/support/test_util.h"

namespace {

class RingBufferTest : public ::testing::Test {
 protected:
  void SetUp() override { base_.Open("Ring", (dir_.Path() + "/").c_str(), false, false); }
  void TearDown() override { base_.Close(); }

  // Adds a record with time t through the ring buffer; returns it (0 when
  // the key exists: the call still succeeds).
  int32_t Put(uint32_t t, int32_t maxRecords) {
    table_.time = t;
    table_.value = static_cast<int32_t>(t - 1000000000u);
    table_.point = ZrString("P%d", table_.value);
    ZrpTableIterator it;
    EXPECT_TRUE(table_.AddToRingBuffer("TIME", maxRecords, it, nullptr));
    EXPECT_STREQ(it.Tag(), "TIME");
    return it.RecNo();
  }

  // The times of the records not deleted, in time order.
  std::string Times() {
    std::string times;
    ZrpTableIterator it;
    for (table_.Top(it, "TIME", nullptr); it != 0; table_.Skip(it, 1)) {
      times += std::to_string(table_.time - 1000000000u) + " ";
    }
    return times;
  }

  pvtest::TempDir dir_;
  ZrpBase base_;
  LogTable table_{&base_};
};

constexpr uint32_t T(uint32_t n) { return 1000000000u + n; }

// An existing key leaves the table unchanged; a new one at the bound
// overwrites the record holding the earliest time.
TEST_F(RingBufferTest, ExistingKeyUnchangedNewKeyOverwritesTheOldest) {
  EXPECT_EQ(Put(T(20), 3), 1);
  EXPECT_EQ(Put(T(10), 3), 2);

  // Below the bound: the appended record goes back to the free list.
  EXPECT_EQ(Put(T(20), 3), 0);
  EXPECT_EQ(Times(), "10 20 ");
  EXPECT_EQ(table_.GetCount(), 2);
  EXPECT_EQ(table_.GetCount("__FREE", nullptr), 1);

  // At the bound the free record is recycled first, and refused again.
  EXPECT_EQ(Put(T(10), 3), 0);
  EXPECT_EQ(table_.GetCount("__FREE", nullptr), 1);
  EXPECT_EQ(Put(T(30), 3), 3);
  EXPECT_EQ(Times(), "10 20 30 ");

  // Overwriting: the oldest record keeps its content when the key exists.
  EXPECT_EQ(Put(T(30), 3), 0);
  EXPECT_EQ(Times(), "10 20 30 ");
  ZrpTableIterator it;
  ASSERT_TRUE(table_.Top(it, "TIME", nullptr));
  EXPECT_EQ(table_.value, 10);

  EXPECT_EQ(Put(T(40), 3), 2);  // the record that held the earliest time
  EXPECT_EQ(Times(), "20 30 40 ");
  EXPECT_EQ(table_.GetCount(nullptr, nullptr), 3);
  ASSERT_TRUE(table_.Search("TIME", "20010909014720", it, false));  // T(40)
  EXPECT_EQ(table_.value, 40);
  EXPECT_STREQ(table_.point, "P40");
}

TEST_F(RingBufferTest, DeletedRecordsCountTowardsTheBound) {
  for (uint32_t t : {10u, 20u, 30u}) Put(T(t), 10);
  ZrpTableIterator it;
  ASSERT_TRUE(table_.Top(it, "TIME", nullptr));
  ASSERT_TRUE(table_.Remove(it));

  // Below the bound the call appends although a deleted record exists.
  EXPECT_EQ(Put(T(40), 10), 4);
  EXPECT_EQ(table_.GetCount(nullptr, nullptr), 4);

  // At the bound the deleted record is recycled before any overwrite.
  EXPECT_EQ(Put(T(50), 4), 1);
  EXPECT_EQ(table_.GetCount(nullptr, nullptr), 4);
  EXPECT_EQ(Times(), "20 30 40 50 ");

  // Raw images work as well.
  std::string image(table_.GetRecordWidth(), ' ');
  ASSERT_TRUE(table_.Top(it, "TIME", nullptr));
  ASSERT_TRUE(table_.ReadRecord(image.data(), it));
  image.replace(1, 14, "20010909014800");  // T(80)
  EXPECT_EQ(table_.AddToRingBuffer("TIME", 4, image.data()), true);
  EXPECT_EQ(Times(), "30 40 50 80 ");

  // An unknown tag cannot give an oldest record.
  EXPECT_FALSE(table_.AddToRingBuffer("NOSUCH", 4, nullptr));
  EXPECT_EQ(Times(), "30 40 50 80 ");
}

}  // namespace
