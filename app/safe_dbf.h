// SafeDbf: a plant log table (or an interim copy of one) together with the
// machine-wide named mutex that guards every table of that name.
//
// The control system's processes hold the mutex "ZR_" + name + "_DBF_MTX"
// while they change a plant table; Packvault's copiers hold it while they
// search or step through one. The name is built from the table name alone,
// so every table of that name, in whatever project directory, shares one
// mutex. Since the plant table names start with an underscore, their mutex
// names carry two underscores after "ZR" ("ZR__DCLOG_DBF_MTX").
//
// SafeDbf never waits on the mutex itself: callers lock and unlock it through
// Mutex(). A mutex that could be neither opened nor created leaves Mutex()
// null; the table works all the same, unguarded.
#ifndef PV_APP_SAFE_DBF_H_
#define PV_APP_SAFE_DBF_H_

#include <cstdint>
#include <memory>

#include "foundation/platform/named_mutex.h"
#include "foundation/zr_string.h"
#include "persist/zrp_table_base.h"

class ZrpBase;

class SafeDbf : public ZrpTableBase {
 public:
  // Lock timeout of the table's record locks, in milliseconds.
  static constexpr uint32_t kLockTimeoutMs = 10000;

  // name is the table's file name within base's directory, without
  // extension; it is also the name that the subclass declares.
  SafeDbf(ZrpBase* base, const char* name, bool autoRead, bool createAdjust);
  ~SafeDbf() override;

  SafeDbf(const SafeDbf&) = delete;
  SafeDbf& operator=(const SafeDbf&) = delete;

  const ZrString& GetName() const { return name_; }
  // The table's named mutex, or null when it could not be had.
  pv::NamedMutex* Mutex() const { return mutex_.get(); }

 protected:
  ZrString name_;
  std::unique_ptr<pv::NamedMutex> mutex_;
};

// The mutex name for a table name: "ZR_" + name + "_DBF_MTX".
ZrString SafeDbfMutexName(const char* tableName);

// Holds a table's named mutex for one short step (a search, a skip, an
// append), waiting at most timeoutMs for it. A wait that times out goes on
// without the mutex: the holder may be stuck, and the table's own record
// locks still protect the data. A table without a mutex is not waited on.
class SafeDbfLock {
 public:
  SafeDbfLock(const SafeDbf& table, uint32_t timeoutMs) : mutex_(table.Mutex()) {
    held_ = mutex_ != nullptr && mutex_->Lock(timeoutMs).ok();
  }
  // An unlock that fails leaves the mutex to the system, which releases it
  // with the process; the next waiter then finds it abandoned.
  ~SafeDbfLock() {
    if (held_) mutex_->Unlock().IgnoreError();
  }
  SafeDbfLock(const SafeDbfLock&) = delete;
  SafeDbfLock& operator=(const SafeDbfLock&) = delete;

 private:
  pv::NamedMutex* mutex_;
  bool held_ = false;
};

#endif  // PV_APP_SAFE_DBF_H_
