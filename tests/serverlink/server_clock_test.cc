#include "serverlink/server_clock.h"

#include <gtest/gtest.h>

namespace {

class FakeTime : public RealTimeSource {
 public:
  int64_t now_us = 0;
  int32_t zone_offset = 0;
  int64_t asked_offset_at = -1;
  int64_t NowMicros() override { return now_us; }
  int32_t LocalOffsetAt(int64_t utc_seconds) override {
    asked_offset_at = utc_seconds;
    return zone_offset;
  }
};

TEST(ServerClockTest, WithoutStartFollowsTheMachineClock) {
  FakeTime t;
  t.now_us = 1772344800999999;  // the fraction is dropped
  t.zone_offset = 7200;
  StoreClockConfig clock;
  EXPECT_EQ(ServerUtTime(clock, &t), 1772344800u);
  EXPECT_EQ(ServerLtTime(clock, &t), 1772344800u + 7200);
  EXPECT_EQ(t.asked_offset_at, 1772344800);
  clock.has_local_offset = true;
  clock.local_offset = -3600;
  EXPECT_EQ(ServerLtTime(clock, &t), 1772344800u - 3600);
}

// Rate, frozen and backward runs, and the hold at both ends of the PcTime range.
TEST(ServerClockTest, StartedClockRunsAtItsRateWithinThePcTimeRange) {
  FakeTime t;
  StoreClockConfig clock;
  clock.has_start = true;
  clock.start = 1000000000;  // 2001-09-09T01:46:40Z
  clock.started_at = 1772344800;
  clock.rate = 60;
  t.now_us = 1772344800LL * 1000000;
  EXPECT_EQ(ServerUtTime(clock, &t), 1000000000u);
  t.now_us += 1500000;  // 1.5 real seconds
  EXPECT_EQ(ServerUtTime(clock, &t), 1000000090u);
  t.now_us += 16000;  // 0.016 s x 60 = 0.96 s: not yet a whole second more
  EXPECT_EQ(ServerUtTime(clock, &t), 1000000090u);
  // The zone offset is asked for the simulated instant, not the real one.
  t.zone_offset = 3600;
  EXPECT_EQ(ServerLtTime(clock, &t), 1000003690u);
  EXPECT_EQ(t.asked_offset_at, 1000000090);

  clock.rate = 0;  // frozen
  EXPECT_EQ(ServerUtTime(clock, &t), 1000000000u);
  clock.rate = 0.5;
  t.now_us = 1772344800LL * 1000000 - 3000000;  // before started_at: runs backwards
  EXPECT_EQ(ServerUtTime(clock, &t), 1000000000u - 2);
  clock.start = 10;
  t.now_us = 0;
  EXPECT_EQ(ServerUtTime(clock, &t), 0u);
  clock.start = 4294967000u;
  t.now_us = 1872344800LL * 1000000;
  EXPECT_EQ(ServerUtTime(clock, &t), UINT32_MAX);
}

}  // namespace
