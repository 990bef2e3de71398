#include "app/safe_dbf.h"

ZrString SafeDbfMutexName(const char* tableName) {
  return ZrString("ZR_") + tableName + "_DBF_MTX";
}

SafeDbf::SafeDbf(ZrpBase* base, const char* name, bool autoRead, bool createAdjust)
    : ZrpTableBase(base, autoRead, createAdjust, kLockTimeoutMs), name_(name) {
  // Opens the mutex when another process has it, creates it otherwise. A
  // failure is not reported: the table is usable without it.
  if (!pv::NamedMutex::Open(SafeDbfMutexName(name).GetText(), &mutex_).ok()) mutex_.reset();
}

SafeDbf::~SafeDbf() = default;
