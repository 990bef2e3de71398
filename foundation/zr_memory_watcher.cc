#include "foundation/zr_memory_watcher.h"

#include <cstdio>
#include <cstring>

#include "foundation/platform/message_box.h"
#include "foundation/zr_debug_output.h"
#include "foundation/zr_granularity_internal.h"
#include "foundation/zr_memory_state.h"
#include "foundation/zr_process.h"
#include "foundation/zr_throw.h"

namespace {

void CopyName(char (&to)[ZrGranularityMemoryWatcher::kNameSize], const char* from) {
  snprintf(to, sizeof(to), "%s", from);
}

}  // namespace

ZrGranularityMemoryWatcher::ZrGranularityMemoryWatcher(const char* type, const char* description,
                                                       uint32_t size) {
  Init(type, description, size);
}

ZrGranularityMemoryWatcher& ZrGranularityMemoryWatcher::operator=(const ZrGranularityMemoryWatcher& other) {
  _DebugOutput("ZrGranularityMemoryWatcher::operator =");
  if (this == &other) return *this;
  memcpy(type_, other.type_, sizeof(type_));
  memcpy(description_, other.description_, sizeof(description_));
  size_ = other.size_;
  alloc_count_ = other.alloc_count_;
  free_count_ = other.free_count_;
  static_count_ = other.static_count_;
  next_ = other.next_;
  return *this;
}

void ZrGranularityMemoryWatcher::Init(const char* type, const char* description, uint32_t size) {
  if (type == nullptr) ZrAssertReport("pszType != NULL", "OPOOL", __LINE__);
  if (description == nullptr) ZrAssertReport("pszDescr != NULL", "OPOOL", __LINE__);
  if (type == nullptr || description == nullptr) return;
  // Registered once per identity, however often Init runs.
  if (size_ == size && strncmp(type_, type, kNameSize - 1) == 0 &&
      strncmp(description_, description, kNameSize - 1) == 0) {
    return;
  }
  alloc_count_ = free_count_ = static_count_ = 0;
  // An all-zero GUID on failure, as the platform gives it: the name only
  // has to be unique among this program's running copies.
  pv::CreateGuid(&guid_).IgnoreError();
  char line[64];
  ZrGuid2String(guid_, line);
  _DebugOutput(line);
  CopyName(type_, type);
  CopyName(description_, description);
  size_ = size;

  ZrGranularityInfo* info = ZrPoolInfo();
  if (info == nullptr) {
    ZrAssertReport("ZrGranularity::_poinf != NULL", "OPOOL", __LINE__);
    return;
  }
  // A watcher that takes a new identity stays where it is in the list:
  // linking it again would make the list a cycle.
  for (ZrGranularityMemoryWatcher* w = info->watchers; w != nullptr; w = w->next_) {
    if (w == this) return;
  }
  if (++info->watcher_count >= ZRGRAN_NUM_WATCHERS) {
    ZrAssertReport("ZrGranularity::_poinf->_cWatchers < ZRGRAN_NUM_WATCHERS", "OPOOL", __LINE__);
    pv::ShowMessageBox(description_, type_, pv::MessageIcon::kStop);
  }
  next_ = info->watchers;
  info->watchers = this;
}

ZrGranularityMemoryWatcher* ZrGranularityMemoryWatcher::_GetMemoryWatcher(const char* type,
                                                                        const char* description) {
  ZrGranularityInfo* info = ZrPoolInfo();
  for (ZrGranularityMemoryWatcher* w = info != nullptr ? info->watchers : nullptr; w != nullptr; w = w->next_) {
    if (strcmp(w->type_, type) == 0 && strcmp(w->description_, description) == 0) return w;
  }
  return nullptr;
}

void ZrGranularityMemoryWatcher::_FillMemoryState(ZrGranularityMemoryState& state) {
  ZrGranularityInfo* info = ZrPoolInfo();
  if (info == nullptr) return;
  int32_t i = 0;
  for (ZrGranularityMemoryWatcher* w = info->watchers; w != nullptr && i < ZRGRAN_NUM_WATCHERS;
       w = w->next_, ++i) {
    state.sections[ZrGranularityMemoryState::kAllocated].watchers[i] = w->alloc_count_;
    state.sections[ZrGranularityMemoryState::kReleased].watchers[i] = w->free_count_;
    state.sections[ZrGranularityMemoryState::kStatic].watchers[i] = w->static_count_;
  }
}
