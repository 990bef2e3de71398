// ZrpTableBase::AddToRingBuffer: a table bounded to maxRecords records.
//
// Below the bound (the engine's record count, deleted records included) a
// record is appended; at the bound a deleted record is recycled, and
// without one the oldest record (the first in tag's order) is overwritten.
// The new content is kept only when its key is not yet in tag: otherwise a
// new record goes back to the free list and an overwritten one gets its old
// content back, and the iterator stays 0 although the call succeeds.
#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/zr_debug_output.h"
#include "persist/zrp_table_base.h"
#include "tableengine/expr.h"
#include "tableengine/table_record_view.h"

namespace {

bool SameName(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ZrpTableBase::DeclaredKey(const char* tag) {
  ZrpTableInfo define(table_, XchgDefine);
  ZrpTableXChg(&define);
  for (const pv::TagDef& def : define.tags.tags()) {
    if (SameName(def.name, tag)) return def.expression;
  }
  return std::string();
}

bool ZrpTableBase::AddToRingBuffer(const char* tag, int32_t maxRecords, ZrpTableIterator& it,
                                   void* record) {
  if (!Writable()) return Done(false);
  ZrpTxnScope txn(base_);

  // Choose the record to fill.
  bool isNew = true;
  bool chosen = false;
  if (table_->RecordCount() < maxRecords) {
    int32_t rc = table_->AppendBlank();
    if (rc != pv::kEngineOk) {
      _ErrorOutputToWnd("appendBlank failed: " + DeclaredName() + ZrString(" Result=%d", rc));
    } else {
      locked_ = true;
      chosen = true;
    }
  } else if (Recall()) {
    chosen = true;
  } else {
    base_->GetEngine().ClearError();
    isNew = false;
    chosen = SelectTag(tag) && table_->Top() == pv::kEngineOk && table_->RecordNumber() > 0 &&
             !table_->Eof() && WaitForLock(static_cast<uint32_t>(table_->RecordNumber()));
  }
  it = 0;
  it.SetTag(tag);
  if (!chosen) return Finish(txn, false);

  const size_t width = static_cast<size_t>(table_->RecordWidth());
  const std::string oldImage(table_->RecordBuffer(), width);
  if (record == nullptr) {
    if (!WaitForLock(static_cast<uint32_t>(table_->RecordNumber()))) {
      table_->MarkChanged(0);  // leaves the chosen record as it is
      return Finish(txn, false);
    }
    Exchange(XchgWrite);
  } else {
    std::memcpy(table_->RecordBuffer(), record, width);
  }
  const std::string newImage(table_->RecordBuffer(), width);
  // The new content is not written yet: the seek below must not find it in
  // the file (a record just appended enters the indexes blank).
  table_->MarkChanged(0);
  const int32_t recNo = table_->RecordNumber();

  // Is the new key already in the tag?
  bool duplicate = false;
  std::unique_ptr<pv::Expr> key;
  pv::TableRecordView view(table_, newImage.data(), static_cast<uint32_t>(recNo));
  if (pv::Expr::Parse(DeclaredKey(tag), view, &key).ok() && SelectTag(tag)) {
    duplicate = table_->Seek(key->EvaluateText(view)) == pv::kEngineOk;
  }

  bool stored = table_->Go(recNo, true) == pv::kEngineOk &&
                WaitForLock(static_cast<uint32_t>(recNo));
  if (stored && !duplicate) {
    std::memcpy(table_->RecordBuffer(), newImage.data(), width);
    table_->MarkChanged(1);
  } else if (stored && isNew) {
    stored = table_->Delete() == pv::kEngineOk;  // back to the free list
  } else if (stored) {
    std::memcpy(table_->RecordBuffer(), oldImage.data(), width);
    table_->MarkChanged(1);
  }
  const int32_t unlocked = ReleaseLock();  // writes the record
  if (unlocked != pv::kEngineOk) stored = Fail(unlocked);
  stored = Finish(txn, stored);
  if (stored && !duplicate) it = recNo;
  return stored;
}

bool ZrpTableBase::AddToRingBuffer(const char* tag, int32_t maxRecords, void* record) {
  ZrpTableIterator it;
  return AddToRingBuffer(tag, maxRecords, it, record);
}
