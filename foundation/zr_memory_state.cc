#include "foundation/zr_memory_state.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "foundation/zr_debug_output.h"
#include "foundation/zr_granularity.h"
#include "foundation/zr_granularity_internal.h"

namespace {

// Calls visit(watcher, index) for the watchers a snapshot of `count`
// watchers holds. New watchers go to the head of the list, so the ones
// registered after the snapshot come first and are skipped.
template <typename Visit>
void ForSnapshotWatchers(int32_t count, Visit visit) {
  ZrGranularityInfo* info = ZrPoolInfo();
  if (info == nullptr) return;
  ZrGranularityMemoryWatcher* w = info->watchers;
  for (int32_t skip = info->watcher_count - count; skip > 0 && w != nullptr; --skip) w = w->GetNext();
  for (int32_t i = 0; w != nullptr && i < count && i < ZRGRAN_NUM_WATCHERS; w = w->GetNext(), ++i) {
    visit(*w, i);
  }
}

void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char* format, ...) {
  char text[1200];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  _DebugOutput(text);
}

}  // namespace

ZrGranularityMemoryState::ZrGranularityMemoryState() {
  memset(sections, 0, sizeof(sections));
  watcher_count = 0;
}

void ZrGranularityMemoryState::Checkpoint() {
  ZrGranularity::_FillMemoryState(*this);
  ZrGranularityMemoryWatcher::_FillMemoryState(*this);
  watcher_count = ZrGranularity::_GetWatcherCount();
}

bool ZrGranularityMemoryState::Difference(const ZrGranularityMemoryState& older,
                                          const ZrGranularityMemoryState& newer) {
  bool differs = false;
  auto diff = [&differs](int64_t a, int64_t b, int64_t* d) {
    *d = b - a;
    if (*d != 0) differs = true;
  };
  int added = newer.watcher_count - older.watcher_count;
  for (int k = 0; k < 3; ++k) {
    const Section& a = older.sections[k];
    const Section& b = newer.sections[k];
    Section& d = sections[k];
    diff(a.total_bytes, b.total_bytes, &d.total_bytes);
    for (int i = 0; i < 17; ++i) diff(a.granularities[i], b.granularities[i], &d.granularities[i]);
    // Watchers registered between the two snapshots head newer's list.
    for (int i = 0; i < ZRGRAN_NUM_WATCHERS; ++i) {
      int j = i - added;
      diff(j >= 0 ? a.watchers[j] : 0, b.watchers[i], &d.watchers[i]);
    }
  }
  watcher_count = newer.watcher_count;
  return differs;
}

void ZrGranularityMemoryState::DumpStatisticsToDebugOutput() const {
  const Section& on = sections[kAllocated];
  const Section& off = sections[kReleased];
  const Section& st = sections[kStatic];
  Line("Memory State:");
  Line("Total memory : %" PRId64 " bytes", on.total_bytes);
  Line("Total memory : %" PRId64 " bytes", off.total_bytes);
  Line("Total memory : %" PRId64 " static bytes", st.total_bytes);
  for (int i = 0; i < 17; ++i) {
    if (on.granularities[i] == 0 && off.granularities[i] == 0) continue;
    uint32_t size = ZrGranularity::At(i).GetSize();
    Line("Granularity 0x%x : %" PRId64 " objects", size, on.granularities[i]);
    Line("Granularity 0x%x : %" PRId64 " objects", size, off.granularities[i]);
    Line("Granularity 0x%x : %" PRId64 " static objects", size, st.granularities[i]);
  }
  ForSnapshotWatchers(watcher_count, [&](const ZrGranularityMemoryWatcher& w, int32_t i) {
    const char* fmt = "%s : %s (size=0x%x): %" PRId64 " objects";
    if (on.watchers[i] != 0) Line(fmt, w.GetType(), w.GetDescription(), w.GetSize(), on.watchers[i]);
    if (off.watchers[i] != 0) Line(fmt, w.GetType(), w.GetDescription(), w.GetSize(), off.watchers[i]);
    if (st.watchers[i] != 0) {
      Line("%s : %s (size=0x%x): %" PRId64 " static objects", w.GetType(), w.GetDescription(), w.GetSize(),
           st.watchers[i]);
    }
  });
}

void ZrGranularityMemoryState::DumpStatisticsToStdOut() const {
  const Section& on = sections[kAllocated];
  printf("\nMemory State:\n");
  printf("Total memory : %d bytes\n", static_cast<int32_t>(on.total_bytes));
  for (int i = 0; i < 17; ++i) {
    if (on.granularities[i] == 0) continue;
    printf("Granularity 0x%x : %d objects\n", ZrGranularity::At(i).GetSize(),
           static_cast<int32_t>(on.granularities[i]));
  }
  ForSnapshotWatchers(watcher_count, [&](const ZrGranularityMemoryWatcher& w, int32_t i) {
    if (on.watchers[i] == 0) return;
    printf("%s : %s (size=0x%x): %d objects\n", w.GetType(), w.GetDescription(), w.GetSize(),
           static_cast<int32_t>(on.watchers[i]));
  });
  fflush(stdout);
}

void ZrGranularityMemoryState::DumpCurrent() {
  std::unique_ptr<ZrGranularityMemoryState> state(new ZrGranularityMemoryState());
  state->Checkpoint();
  state->DumpStatisticsToDebugOutput();
  state->DumpStatisticsToStdOut();
}
