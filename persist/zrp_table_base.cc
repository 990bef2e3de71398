// ZrpTableBase: positioning, walking, adding, removing, locking and counting.
// Opening (Init) and structure adjustment are in zrp_table_init.cc, the
// ring-buffer append in zrp_ring_buffer.cc.
#include "persist/zrp_table_base.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/platform/clock.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_debug_output.h"

namespace {

constexpr const char* kFreeTag = "__FREE";

bool IsEmpty(const char* text) { return text == nullptr || *text == '\0'; }

}  // namespace

ZrpTableBase::ZrpTableBase(ZrpBase* database, bool autoRead, bool createAndAdjust,
                           uint32_t lockTimeout)
    : base_(database),
      autoRead_(autoRead),
      createAndAdjust_(createAndAdjust),
      lockTimeout_(lockTimeout) {}

ZrpTableBase::~ZrpTableBase() = default;

void ZrpTableBase::ZrpTableXChg(ZrpTableInfo* /*info*/) {}

bool ZrpTableBase::SetAutoReadFlag(bool autoRead) {
  bool previous = autoRead_;
  autoRead_ = autoRead;
  return previous;
}

pv::Table* ZrpTableBase::GetTable() { return Init() ? table_ : nullptr; }

void ZrpTableBase::Exchange(ZrpXchgMode mode) {
  ZrpTableInfo info(table_, mode);
  ZrpTableXChg(&info);
}

ZrString ZrpTableBase::DeclaredName() {
  ZrpTableInfo info(table_, XchgName);
  ZrpTableXChg(&info);
  return info.name;
}

int32_t ZrpTableBase::Done(int32_t result) {
  pv::EngineContext& engine = base_->GetEngine();
  Fail(engine.ErrorCode());
  engine.ClearError();
  return result;
}

bool ZrpTableBase::Fail(int32_t code) {
  if (code != pv::kEngineOk) lastError_ = code;
  return false;
}

bool ZrpTableBase::Writable() {
  if (!Init()) return false;
  return !base_->IsReadOnly() || Fail(pv::kErrReadOnly);
}

bool ZrpTableBase::Finish(ZrpTxnScope& txn, bool ok) {
  pv::EngineContext& engine = base_->GetEngine();
  if (!txn.End()) {
    Fail(engine.ErrorCode() != pv::kEngineOk ? engine.ErrorCode() : pv::kErrWrite);
    ok = false;
  }
  return Done(ok && engine.ErrorCode() == pv::kEngineOk);
}

// Selects the tag of that name; null selects record order. A name that is
// not found is an engine error.
bool ZrpTableBase::SelectTag(const char* tag) {
  if (tag == nullptr) {
    table_->SelectTag(nullptr);
    return true;
  }
  pv::Tag* found = table_->TagByName(tag);
  if (found == nullptr) return false;
  table_->SelectTag(found);
  return true;
}

// Selects it's tag (when asked) and makes its record current.
bool ZrpTableBase::GoToIterator(ZrpTableIterator& it, bool selectTag) {
  if (it == 0) return false;
  if (selectTag && !SelectTag(it.Tag())) return false;
  return table_->Go(it.RecNo(), true) == pv::kEngineOk;
}

void ZrpTableBase::ReadIfAuto() {
  if (autoRead_ && table_->RecordNumber() > 0) Exchange(XchgRead);
}

bool ZrpTableBase::Top(ZrpTableIterator& it, const char* tag, const char* key) {
  if (!Init()) return Done(false);
  if (tag != nullptr) it.SetTag(tag);
  it.SetKey(key);
  bool found = false;
  if (SelectTag(tag)) {
    int32_t rc = IsEmpty(key) ? table_->Top() : table_->Seek(key);
    found = rc == pv::kEngineOk && table_->RecordNumber() > 0 && !table_->Eof();
  }
  it = found ? table_->RecordNumber() : 0;
  if (found) ReadIfAuto();
  return Done(found);
}

bool ZrpTableBase::Bottom(ZrpTableIterator& it, const char* tag) {
  if (!Init()) return Done(false);
  it.SetTag(tag);
  it.SetKey(nullptr);
  bool found = SelectTag(tag) && table_->Bottom() == pv::kEngineOk &&
               table_->RecordNumber() > 0 && !table_->Eof();
  it = found ? table_->RecordNumber() : 0;
  if (found) ReadIfAuto();
  return Done(found);
}

bool ZrpTableBase::Skip(ZrpTableIterator& it, int32_t count) {
  if (it == 0) return false;
  bool moved = false;
  // A step from the record the table still stands on starts from the image
  // read there, the one the caller saw: no second read of it, and a record
  // rewritten meanwhile does not throw the walk to its new key.
  const bool standing = table_ != nullptr && table_->RecordNumber() == it.RecNo() &&
                        !table_->Eof() && !table_->Bof();
  if (table_ != nullptr && (standing ? SelectTag(it.Tag()) : GoToIterator(it, true))) {
    if (IsEmpty(it.Key())) {
      moved = table_->Skip(count) == pv::kEngineOk;
    } else {
      moved = count >= 1;
      for (int32_t i = 0; moved && i < count; ++i) {
        moved = table_->SeekNext(static_cast<const char*>(it.Key())) == pv::kEngineOk;
      }
    }
    moved = moved && table_->RecordNumber() > 0 && !table_->Eof() && !table_->Bof();
  }
  if (table_ == nullptr) {
    it = 0;
    return Fail(pv::kErrInvalid);
  }
  it = moved ? table_->RecordNumber() : 0;
  if (moved) ReadIfAuto();
  return Done(moved);
}

bool ZrpTableBase::Search(const char* tag, const char* key, ZrpTableIterator& it, bool soft) {
  if (!Init()) return Done(false);
  if (!SelectTag(tag)) return Done(false);
  int32_t rc = table_->Seek(key != nullptr ? key : "");
  bool found = rc == pv::kEngineOk || (soft && rc == pv::kResultAfter);
  if (!found) {
    if (!soft || rc != pv::kResultEof) return Done(false);
    // Past the end: stand on the tag's last record, and still fail.
    bool onLast = table_->Bottom() == pv::kEngineOk && table_->RecordNumber() > 0;
    it = onLast ? table_->RecordNumber() : 0;
  } else {
    it = table_->RecordNumber();
  }
  it.SetKey(nullptr);
  it.SetTag(tag);
  if (it != 0) ReadIfAuto();
  return Done(found);
}

bool ZrpTableBase::Search(const char* tag, const char* key, bool soft) {
  ZrpTableIterator it;
  return Search(tag, key, it, soft);
}

bool ZrpTableBase::Remove(ZrpTableIterator& it) {
  if (!Writable() || it == 0) return Done(false);
  ZrpTxnScope txn(base_);
  bool removed = GoToIterator(it, true) && WaitForLock(static_cast<uint32_t>(it.RecNo())) &&
                 table_->Delete() == pv::kEngineOk;
  return Finish(txn, removed);
}

bool ZrpTableBase::Remove(const char* tag, const char* key) {
  if (!Writable()) return Done(false);
  ZrpTxnScope txn(base_);
  bool removed = SelectTag(tag) && table_->Seek(key != nullptr ? key : "") == pv::kEngineOk &&
                 WaitForLock(static_cast<uint32_t>(table_->RecordNumber()));
  if (removed) {
    ReadIfAuto();
    removed = table_->Delete() == pv::kEngineOk;
  }
  return Finish(txn, removed);
}

bool ZrpTableBase::RemoveAll() {
  if (!Writable()) return Done(false);
  ZrpTxnScope txn(base_);
  bool removed = WaitForLockAll();
  if (removed) {
    table_->SelectTag(nullptr);
    int32_t rc = table_->Top();
    for (; rc == pv::kEngineOk && !table_->Eof(); rc = table_->Skip(1)) {
      if (table_->Delete() != pv::kEngineOk) break;
    }
    removed = rc == pv::kEngineOk || rc == pv::kResultEof;
  }
  return Finish(txn, removed);
}

bool ZrpTableBase::RemoveAll(const char* tag, const char* key) {
  if (!Writable()) return Done(false);
  ZrpTxnScope txn(base_);
  int32_t deleted = 0;
  if (SelectTag(tag)) {
    if (key == nullptr) {
      // Collect the tag's records first: each deletion takes its record out
      // of the tag, so the walk cannot step on from it.
      std::vector<int32_t> records;
      for (int32_t rc = table_->Top(); rc == pv::kEngineOk && !table_->Eof();
           rc = table_->Skip(1)) {
        records.push_back(table_->RecordNumber());
      }
      for (int32_t recNo : records) {
        if (table_->Go(recNo, true) == pv::kEngineOk &&
            WaitForLock(static_cast<uint32_t>(recNo)) && table_->Delete() == pv::kEngineOk) {
          ++deleted;
        }
      }
    } else {
      // A record that cannot be locked would be found again by every seek:
      // the removal stops there.
      while (table_->Seek(key) == pv::kEngineOk &&
             WaitForLock(static_cast<uint32_t>(table_->RecordNumber())) &&
             table_->Delete() == pv::kEngineOk) {
        ++deleted;
        // Writes the deletion so that the next seek skips it.
        if (table_->Flush() != pv::kEngineOk) break;
      }
    }
  }
  return Finish(txn, deleted > 0);
}

bool ZrpTableBase::WaitForLock(uint32_t recNo) {
  if (table_ == nullptr) return false;
  uint32_t start = pv::TickCountMillis();
  int32_t rc = table_->LockRecord(static_cast<int32_t>(recNo));
  while (rc != pv::kEngineOk) {
    pv::YieldThread();
    if (pv::TickCountMillis() - start > lockTimeout_) break;  // unsigned: wrap-safe
    rc = table_->LockRecord(static_cast<int32_t>(recNo));
  }
  if (rc == pv::kEngineOk) {
    locked_ = true;
    return true;
  }
  ZrString report = "Table Lock failed: " + DeclaredName() +
                    ZrString(" RecordNumber: %d", table_->RecordNumber()) +
                    ZrString(" Result=%d", rc);
  _ErrorOutputToWnd(report);
  locked_ = false;
  return Fail(rc);
}

bool ZrpTableBase::WaitForLockAll() {
  if (table_ == nullptr) return false;
  uint32_t start = pv::TickCountMillis();
  int32_t rc = table_->LockTable();
  while (rc != pv::kEngineOk) {
    pv::YieldThread();
    if (pv::TickCountMillis() - start > lockTimeout_) break;
    rc = table_->LockTable();
  }
  if (rc == pv::kEngineOk) {
    locked_ = true;
    return true;
  }
  _ErrorOutputToWnd("Table LockAll failed: " + DeclaredName() + ZrString(" Result=%d", rc));
  locked_ = false;
  return Fail(rc);
}

void ZrpTableBase::Unlock() { Fail(ReleaseLock()); }

int32_t ZrpTableBase::ReleaseLock() {
  if (!locked_) return pv::kEngineOk;
  locked_ = false;
  return table_ != nullptr ? table_->Unlock() : pv::kEngineOk;
}

bool ZrpTableBase::IsDeleted(ZrpTableIterator& it) {
  if (!Init()) return Done(true);
  bool deleted = table_->Go(it.RecNo(), false) != pv::kEngineOk || table_->Deleted();
  return Done(deleted);
}

bool ZrpTableBase::Close(ZrString name) {
  bool closed = base_->RemoveTable(table_, name);
  base_->GetEngine().ClearError();
  return closed;
}

bool ZrpTableBase::Add(void* record) { return AddRecord(record, true); }

bool ZrpTableBase::Append(void* record) { return AddRecord(record, false); }

bool ZrpTableBase::AddRecord(void* record, bool reuse) {
  if (!Writable()) return Done(false);
  ZrpTxnScope txn(base_);
  const int32_t before = lastError_;
  if (!reuse || !Recall()) {
    // No free record to reuse (or it was taken meanwhile): append instead.
    lastError_ = before;
    base_->GetEngine().ClearError();
    if (table_->AppendBlank() != pv::kEngineOk) return Finish(txn, false);
    locked_ = true;
  }
  bool added = true;
  if (record == nullptr) {
    Exchange(XchgWrite);
  } else {
    std::memcpy(table_->RecordBuffer(), record, static_cast<size_t>(table_->RecordWidth()));
    added = WaitForLock(static_cast<uint32_t>(table_->RecordNumber()));
    if (added) table_->MarkChanged(1);
  }
  return Finish(txn, added);
}

bool ZrpTableBase::Add(ZrpTableIterator& it) {
  bool added = Add(nullptr);
  if (added && !IsEmpty(it.Tag()) && !SelectTag(it.Tag())) added = false;
  if (added) {
    table_->SyncTag();
    it = table_->RecordNumber();
  } else {
    it = 0;
  }
  return Done(added);
}

bool ZrpTableBase::Recall() {
  bool recalled = SelectTag(kFreeTag) && table_->Top() == pv::kEngineOk &&
                  table_->RecordNumber() > 0 && !table_->Eof() &&
                  WaitForLock(static_cast<uint32_t>(table_->RecordNumber())) &&
                  table_->Recall() == pv::kEngineOk && table_->Blank() == pv::kEngineOk;
  return recalled && base_->GetEngine().ErrorCode() == pv::kEngineOk;
}

bool ZrpTableBase::ReadRecord(char* buffer, ZrpTableIterator& it) {
  if (!Init()) return Done(false);
  bool read = GoToIterator(it, true);
  if (read) std::memcpy(buffer, table_->RecordBuffer(), static_cast<size_t>(table_->RecordWidth()));
  return Done(read);
}

uint32_t ZrpTableBase::GetRecordWidth() {
  return Init() ? static_cast<uint32_t>(table_->RecordWidth()) : 0;
}

char* ZrpTableBase::GetRecordBuffer() { return Init() ? table_->RecordBuffer() : nullptr; }

bool ZrpTableBase::AddIfUnique(const char* tag, const char* key) {
  if (!Writable()) return Done(false);
  if (Search(tag, key, false)) return Done(false);
  return Add(nullptr);
}

bool ZrpTableBase::Read() {
  if (!Init()) return Done(false);
  if (table_->RecordNumber() > 0 && !table_->Eof()) Exchange(XchgRead);
  return Done(true);
}

bool ZrpTableBase::Read(ZrpTableIterator& it) {
  if (!Init()) return Done(false);
  if (!GoToIterator(it, true)) return Done(false);
  return Read();
}

bool ZrpTableBase::Write() {
  if (!Writable()) return Done(false);
  ZrpTxnScope txn(base_);
  bool written = WaitForLock(static_cast<uint32_t>(table_->RecordNumber()));
  if (written) Exchange(XchgWrite);
  return Finish(txn, written);
}

bool ZrpTableBase::Write(ZrpTableIterator& it) {
  if (!Writable()) return Done(false);
  if (!GoToIterator(it, true)) return Done(false);
  return Write();
}

int32_t ZrpTableBase::GetCount() {
  if (!Init()) return Done(0);
  int32_t count = table_->RecordCount();
  return Done(count - GetCount(kFreeTag, nullptr));
}

int32_t ZrpTableBase::GetCount(const char* tag, const char* key) {
  if (!Init()) return Done(0);
  if (tag == nullptr && key == nullptr) return Done(table_->RecordCount());
  if (!SelectTag(tag)) return Done(0);
  int32_t count = 0;
  if (key == nullptr) {
    for (int32_t rc = table_->Top(); rc == pv::kEngineOk && !table_->Eof();
         rc = table_->Skip(1)) {
      ++count;
    }
  } else {
    for (int32_t rc = table_->Seek(key); rc == pv::kEngineOk; rc = table_->SeekNext(key)) {
      ++count;
    }
  }
  return Done(count);
}

void ZrpTableBase::Reset() { Exchange(XchgClear); }

void ZrpTableBase::Flush() {
  if (table_ != nullptr) Fail(table_->Flush());
}
