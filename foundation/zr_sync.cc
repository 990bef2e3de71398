// The library lock "ZRCRITSEC", ZrSharedObject, ZrEventSem and ZrNamedMutexSem.
#include <string>

#include "foundation/platform/event.h"
#include "foundation/platform/named_mutex.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_debug_output.h"
#include "foundation/zr_process.h"

namespace {

constexpr char kCritSecName[] = "ZRCRITSEC";

std::unique_ptr<pv::NamedMutex> crit_sec;  // null until ZrInitCritSec

class EventHandle final : public ZrHandleObject {
 public:
  pv::Event event;
};

void Report(const pv::Status& s) {
  if (!s.ok()) _DebugOutput(s.ToString().c_str());
}

}  // namespace

void ZrInitCritSec() {
  if (crit_sec != nullptr) return;
  Report(pv::NamedMutex::Open(kCritSecName, &crit_sec));
}

void ZrEnterCritSec() {
  if (crit_sec != nullptr) Report(crit_sec->Lock(pv::kWaitForever));
}

void ZrExitCritSec() {
  if (crit_sec != nullptr) Report(crit_sec->Unlock());
}

void ZrCloseCritSec() { crit_sec.reset(); }

ZrSharedObject::~ZrSharedObject() {
  ZrRemoveHandleToBeClosedAtExit(&handle_);  // the list must not keep a dangling address
  if (handle_ != nullptr && creator_process_ == pv::CurrentProcessId()) delete handle_;
}

ZrEventSem::ZrEventSem(bool close_at_exit) {
  handle_ = new EventHandle();
  creator_process_ = pv::CurrentProcessId();
  if (close_at_exit) ZrAddHandleToBeClosedAtExit(&handle_);
}

pv::Event* ZrEventSem::Event() const {
  return handle_ != nullptr ? &static_cast<EventHandle*>(handle_)->event : nullptr;
}

bool ZrEventSem::Wait(uint32_t ms) {
  pv::Event* e = Event();
  return e != nullptr && e->Wait(ms);
}

void ZrEventSem::Set() {
  if (pv::Event* e = Event()) e->Set();
}

void ZrEventSem::Reset() {
  if (pv::Event* e = Event()) e->Reset();
}

ZrNamedMutexSem::ZrNamedMutexSem(const char* name) {
  Report(pv::NamedMutex::Open(name != nullptr ? name : "", &mutex_));
}

ZrNamedMutexSem::~ZrNamedMutexSem() = default;

bool ZrNamedMutexSem::Wait(uint32_t ms) {
  if (mutex_ == nullptr) return false;
  bool abandoned = false;
  pv::Status s = mutex_->Lock(ms, &abandoned);
  if (!s.ok() && !s.IsBusy()) Report(s);
  if (abandoned) _DebugOutput(("named mutex " + mutex_->Name() + " was abandoned by its owner").c_str());
  return s.ok();
}

bool ZrNamedMutexSem::Release() {
  if (mutex_ == nullptr) return false;
  pv::Status s = mutex_->Unlock();
  Report(s);
  return s.ok();
}
