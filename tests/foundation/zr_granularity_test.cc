#include "foundation/zr_granularity.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/platform/shared_memory.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_debug_output.h"
#include "foundation/zr_memory_pooled.h"
#include "foundation/zr_memory_state.h"
#include "foundation/zr_memory_watcher.h"
#include "foundation/zr_string.h"
#include "foundation/zr_throw.h"
#include "tests/support/process_runner.h"
#include "tests/support/test_util.h"

#if defined(PV_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace {

// The test binaries set the pool up before main (tests/pool_setup.cc), as the
// program's main does first thing.
class ZrGranularityTest : public testing::Test {
 protected:
  void SetUp() override { ZrThrowSetTestMode(true); }
  void TearDown() override { ZrThrowSetTestMode(false); }

  // The text of the ZrThrow that fn raises, or "" when it raises none.
  template <typename Fn>
  static std::string ThrownText(Fn fn) {
    try {
      fn();
    } catch (const ZrStringBase& e) {
      return e.GetText();
    }
    return "";
  }
};

TEST_F(ZrGranularityTest, SizeToSlotMapping) {
  struct {
    size_t request;
    uint32_t slot;
  } cases[] = {{0, 0},          {1, 8},          {8, 8},          {9, 16},          {1024, 1024},
               {1025, 4096},    {4097, 16384},   {8192, 16384},   {65537, 262144},  {1048576, 1048576},
               {16777216, 16777216}, {16777217, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(ZrGranularity::ForSize(c.request)->GetSize(), c.slot) << c.request;
  }
  EXPECT_EQ(ZrGranularity::At(9).GetSlotsPerBatch(), 8u);
  // No slots beyond the largest granularity, and nothing touched.
  EXPECT_NE(ThrownText([] { ZrGranularity::AllocFor(16777217, nullptr, nullptr); })
                .find("Illegal attempt to\tallocate 0x1000001 bytes"),
            std::string::npos);
  EXPECT_EQ(ZrGranularity::ForSize(16777217)->Alloc(1, nullptr), nullptr);
}

TEST_F(ZrGranularityTest, FreedSlotIsReusedZeroFilledAndCounted) {
  // Watchers stay registered for the whole run: never on the stack.
  static ZrGranularityMemoryWatcher watcher("ZrGranularityTest", "reuse", 0);
  ZrGranularity* g = ZrGranularity::ForSize(24);
  int64_t allocs = g->GetAllocCount(), frees = g->GetFreeCount();
  char* p = static_cast<char*>(g->Alloc(24, &watcher));
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(ZrGranularity::_IsPointerInComittedRange(p));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
  memset(p, 0xAB, 32);
  g->Free(p, &watcher);
#if defined(PV_ASAN)
  EXPECT_TRUE(__asan_address_is_poisoned(p + 16));
#endif
  char* q = static_cast<char*>(g->Alloc(32, &watcher));
  EXPECT_EQ(q, p);
  for (int i = 0; i < 32; ++i) ASSERT_EQ(q[i], 0) << i;
  g->Free(q, &watcher);
  EXPECT_EQ(g->GetAllocCount() - allocs, 2);
  EXPECT_EQ(g->GetFreeCount() - frees, -2);
  EXPECT_EQ(watcher.GetAllocCount(), 2);
  EXPECT_EQ(watcher.GetFreeCount(), -2);

  // With checking off only the static counters move, both ways.
  ZrGranularity::_EnableMemChecking(false);
  void* r = g->Alloc(8, &watcher);
  EXPECT_EQ(watcher.GetStaticCount(), 1);
  g->Free(r, &watcher);
  ZrGranularity::_EnableMemChecking(true);
  EXPECT_EQ(watcher.GetStaticCount(), 0);
  EXPECT_EQ(watcher.GetAllocCount(), 2);
}

TEST_F(ZrGranularityTest, BadFreesAreFatal) {
  pvtest::TempDir dir;
  std::string log_path = dir.File("pool.log");
  ASSERT_EQ(OpenDebug(log_path.c_str(), 1 << 20), 0);
  ZrGranularity* g = ZrGranularity::ForSize(32);
  char* p = static_cast<char*>(g->Alloc(32, nullptr));
  std::string misaligned = ThrownText([&] { g->Free(p + 8, nullptr); });
  int stack_value = 0;
  std::string outside = ThrownText([&] { g->Free(&stack_value, nullptr); });
  std::string null_free = ThrownText([&] { g->Free(nullptr, nullptr); });
  g->Free(p, nullptr);
  CloseDebug();

  EXPECT_NE(misaligned.find(": ZrGranularity::Free(): pointer does not match granularity size"),
            std::string::npos);
  EXPECT_EQ(misaligned.rfind("foundation_tests", 0), 0u) << misaligned;  // owner name first
  EXPECT_NE(outside.find("ZrGranularity::Free(): pointer not in committed range"), std::string::npos);
  EXPECT_NE(null_free.find("ZrGranularity::Free(): pointer not in committed range"), std::string::npos);
  char expected[100];
  snprintf(expected, sizeof(expected), "ZrGranularity::Free: pv=0x%" PRIxPTR " _stSize=0x20 base=0x",
           reinterpret_cast<uintptr_t>(p + 8));
  EXPECT_NE(pvtest::ReadFileBytes(log_path).find(expected), std::string::npos);
}

TEST_F(ZrGranularityTest, StringBuffersFollowTheirWatcher) {
  ZrGranularityMemoryWatcher* w = ZrString::_GetInternalAllocWatcher();
  int64_t a0 = w->GetAllocCount(), f0 = w->GetFreeCount();
  int64_t g8 = ZrGranularity::ForSize(8)->GetAllocCount();
  int64_t g16 = ZrGranularity::ForSize(16)->GetAllocCount();
  {
    ZrString s;
    s = "";
    EXPECT_EQ(w->GetAllocCount(), a0);  // the empty text allocates nothing
    s = "abc";
    EXPECT_EQ(w->GetAllocCount(), a0 + 1);
    EXPECT_EQ(ZrGranularity::ForSize(8)->GetAllocCount(), g8 + 1);
    s = "abcdefghi";
    EXPECT_EQ(w->GetAllocCount(), a0 + 2);
    EXPECT_EQ(w->GetFreeCount(), f0 - 1);
    EXPECT_EQ(ZrGranularity::ForSize(16)->GetAllocCount(), g16 + 1);
    s = "";
    EXPECT_EQ(s.GetCapacity(), 16u);  // never shrinks
  }
  EXPECT_EQ(w->GetFreeCount(), f0 - 2);

  // A ZrString made with new takes a slot of its own size, on its "new" watcher.
  ZrGranularityMemoryWatcher* nw = ZrString::_GetWatcher();
  int64_t n0 = nw->GetAllocCount();
  ZrString* heap = new ZrString("x");
  EXPECT_TRUE(ZrGranularity::_IsPointerInComittedRange(heap));
  EXPECT_EQ(nw->GetAllocCount(), n0 + 1);
  delete heap;
  EXPECT_EQ(nw->GetFreeCount() + nw->GetAllocCount(), n0);

  // A request the pool cannot serve leaves the string as it was.
  ZrString keep("keep");
  EXPECT_NE(ThrownText([&] { keep.FillBlank(20000000); }).find("Illegal attempt"), std::string::npos);
  EXPECT_STREQ(keep, "keep");

  ZrString e("ab");
  EXPECT_NE(ThrownText([&] { e.AppendBackslashNullAtPosition(8); }).find("lPos out of range"), std::string::npos);
  EXPECT_STREQ(e.AppendBackslashNullAtPosition(-1), "ab");
  EXPECT_STREQ(e.AppendBackslashNullAtPosition(1), "a");
}

// Alloc and Free from several threads at once: every slot is handed out to
// one owner only, and the counters balance.
TEST_F(ZrGranularityTest, ConcurrentAllocFreeKeepsSlotsApart) {
  static ZrGranularityMemoryWatcher watcher("ZrGranularityTest", "threads", 0);
  ZrGranularity* g = ZrGranularity::ForSize(48);
  int64_t allocs = g->GetAllocCount();
  constexpr int kThreads = 4, kSlots = 2000;
  std::vector<std::thread> threads;
  std::vector<int> bad(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<unsigned char*> mine;
      for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < kSlots; ++i) {
          auto* p = static_cast<unsigned char*>(g->Alloc(48, &watcher));
          memset(p, t + 1, 64);
          mine.push_back(p);
        }
        for (unsigned char* p : mine) {
          for (int i = 0; i < 64; ++i) bad[t] += p[i] != t + 1;
          g->Free(p, &watcher);
        }
        mine.clear();
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(bad[t], 0) << t;
  EXPECT_EQ(g->GetAllocCount() - allocs, kThreads * kSlots * 10);
  EXPECT_EQ(watcher.GetAllocCount() + watcher.GetFreeCount(), 0);
}

struct Pooled {
  ZR_POOLED_CLASS(Pooled)
 public:
  char payload[40];
};

TEST_F(ZrGranularityTest, SnapshotsDifferencesAndDumps) {
  auto before = std::make_unique<ZrGranularityMemoryState>();
  auto after = std::make_unique<ZrGranularityMemoryState>();
  auto diff = std::make_unique<ZrGranularityMemoryState>();
  before->Checkpoint();
  Pooled* a = new Pooled;
  Pooled* b = new Pooled;
  delete a;
  after->Checkpoint();
  EXPECT_TRUE(diff->Difference(*before, *after));
  EXPECT_EQ(diff->sections[ZrGranularityMemoryState::kAllocated].total_bytes, 128);
  EXPECT_EQ(diff->sections[ZrGranularityMemoryState::kReleased].granularities[4], -1);
  EXPECT_FALSE(diff->Difference(*after, *after));
  diff->Difference(*before, *after);

  testing::internal::CaptureStdout();
  diff->DumpStatisticsToStdOut();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("\nMemory State:\nTotal memory : 128 bytes\nGranularity 0x40 : 2 objects\n", 0), 0u)
      << out;
  EXPECT_NE(out.find("(anonymous namespace)::Pooled : new (size=0x28): 2 objects\n"), std::string::npos) << out;

  pvtest::TempDir dir;
  std::string log_path = dir.File("state.log");
  ASSERT_EQ(OpenDebug(log_path.c_str(), 1 << 20), 0);
  diff->DumpStatisticsToDebugOutput();
  CloseDebug();
  EXPECT_NE(pvtest::ReadFileBytes(log_path).find(": Total memory : -64 bytes\r\n"), std::string::npos);
  delete b;
}

using ZrGranularityDeathTest = ZrGranularityTest;

#if defined(PV_ASAN)
// Free slots are poisoned, so the sanitizer still sees a use after Free.
TEST_F(ZrGranularityDeathTest, UseAfterFreeIsReported) {
  ZrGranularity* g = ZrGranularity::ForSize(16);
  volatile char* p = static_cast<char*>(g->Alloc(16, nullptr));
  g->Free(const_cast<char*>(p), nullptr);
  EXPECT_DEATH(p[3] = 1, "use-after-poison");
}
#endif

// In a child process: a ZrThrow outside test mode dumps the pool. A fresh
// 4 MiB block (set up after the test binary's own one is detached) has
// 64 KiB of header, so three 1 MiB batches fit and the fourth does not. Then
// a shared block that a second process attaches to; it is unmapped at its
// last detach, and with no block at all the pool reports that it is not
// initialized.
TEST_F(ZrGranularityDeathTest, DumpOnThrowPrivateAndSharedBlocks) {
  EXPECT_EXIT(
      {
        ZrThrowSetTestMode(false);
        testing::internal::CaptureStdout();  // the dump goes to standard output
        try {
          ZrThrow("stop");
        } catch (const ZrStringBase&) {
        }
        const bool dumped = testing::internal::GetCapturedStdout().find(
                                "\nMemory State:\nTotal memory : ") != std::string::npos;
        ZrThrowSetTestMode(true);
        ZrGranularity::_FreeMem();
        ZrGranularity::_AllocMem(0x400000);
        ZrGranularity* g = ZrGranularity::ForSize(1048576);
        for (int i = 0; i < 3; ++i) g->Alloc(1048576, nullptr);
        std::string full = ThrownText([&] { g->Alloc(1, nullptr); });
        void* small = ZrGranularity::ForSize(8)->Alloc(8, nullptr);  // 8 KiB still fit
        std::string name = "pv_pool_test_" + std::to_string(pv::CurrentProcessId());
        int32_t first = ZrGranularity::_AllocSharedMem(0x100000, name.c_str());
        int second = pvtest::Run({pvtest::ProgramPath("bin/foundation_child"), "pool", name}).exit_code;
        int32_t now = ZrGranularity::_QueryCountAllocSharedMem();
        if (!pv::SharedMemorySection::Remove(name).ok()) exit(7);
        while (ZrGranularity::_FreeMem() >= 0) {
        }
        std::string none = ThrownText([] { ZrGranularity::ForSize(8)->Alloc(8, nullptr); });
        fprintf(stderr, "%s|%s|%d|%d %d %d|%s\n", dumped ? "dumped" : "no dump", full.c_str(),
                small != nullptr, first, second, now, none.c_str());
        exit(0);
      },
      testing::ExitedWithCode(0),
      "dumped\\|foundation_tests.*: ZrGranularity::MemPrepare\\(\\): Out of Memory\\|1\\|1 2 2\\|"
      ".*: ZrGranularity::MemPrepare\\(\\): Memory not initialized");
}

}  // namespace
