// ZrpTableBase: the base class of every table class. One object stands for
// one dBASE table (data file, compound index file, memo file) in one
// database directory (ZrpBase).
//
// A table class overrides ZrpTableXChg only (zrp_table_xchg.h) and inherits
// everything else: opening on first use (creating a missing table and
// rebuilding one whose fields differ from the declaration, when allowed),
// positioning by tag, walking with iterators, adding with reuse of deleted
// records, the bounded ring-buffer append, removing, locking, counting.
//
// The free list: every index this layer creates carries, as its first tag,
// "__FREE" (key RECNO(), filter DELETED()): the deleted records in record
// order. Add takes a record from its top before it appends; GetCount
// subtracts its size. Every user tag excludes deleted records, so walks never
// see them.
//
// Every operation except Skip, WaitForLock, WaitForLockAll, Unlock, Close,
// Reset and Flush opens the table first and fails (false, 0, null) when that
// fails. A table that failed to open stays failed for the database object's
// life (its path is hopeless). Operations that change data fail on a
// read-only database and run inside the database's TxnStart/TxnEnd bracket;
// positioning, walking, adding, removing, reading, writing and counting clear
// the engine's error state before they return.
//
// Errors: besides its result, every failure of an operation is kept as the
// object's last error (LastError) until ClearLastError: the engine's code
// when the engine raised one, else kResultLocked for a lock not obtained in
// time, kErrReadOnly for a change refused on a read-only database, kErrOpen
// for a table that cannot be opened and kErrWrite for a bracket whose end
// could not write its changes. A walk that ends (Top, Skip ... returning
// false) records nothing, so the caller tells the end of the data from a
// read error. Changes are written at the latest when the TxnStart/TxnEnd
// bracket ends; an operation that changes data fails when that write fails.
//
// Locking: writers lock the record they change, retrying for the lock
// timeout with a zero-length sleep between attempts; every lock request
// first releases the database's other locks. Readers take no locks; with the
// engine's caches off every read sees other processes' writes.
#ifndef PV_PERSIST_ZRP_TABLE_BASE_H_
#define PV_PERSIST_ZRP_TABLE_BASE_H_

#include <cstdint>
#include <string>

#include "foundation/zr_memory_pooled.h"
#include "foundation/zr_string.h"
#include "persist/zrp_base.h"
#include "persist/zrp_table_info.h"
#include "persist/zrp_table_iterator.h"

class ZrpTableBase {
  ZR_POOLED_CLASS(ZrpTableBase)

 public:
  // Stores the values; nothing is opened. lockTimeout in milliseconds.
  ZrpTableBase(ZrpBase* database, bool autoRead, bool createAndAdjust, uint32_t lockTimeout);
  ZrpTableBase(const ZrpTableBase&) = delete;
  ZrpTableBase& operator=(const ZrpTableBase&) = delete;

 protected:
  // The table's declaration; the base declares nothing.
  virtual void ZrpTableXChg(ZrpTableInfo* info);
  // Opens the table on first use: true when it is open.
  virtual bool Init();
  // Makes the lowest deleted record current again, locked and blank.
  virtual bool Recall();
  // Add and Append: reuse a deleted record first, or not.
  bool AddRecord(void* record, bool reuse);

 public:
  // Closes nothing: Close or the database's Close does.
  virtual ~ZrpTableBase();

  // it.tag = tag when given, it.key = key; the first record in the tag's
  // order (record order for no tag), or with a key the first exact match.
  virtual bool Top(ZrpTableIterator& it, const char* tag, const char* key);
  virtual bool Bottom(ZrpTableIterator& it, const char* tag);
  virtual bool Skip(ZrpTableIterator& it, int32_t count);
  // soft: a seek that stops on the next greater key counts as found; one
  // that runs past the end leaves it on the tag's last record and fails.
  virtual bool Search(const char* tag, const char* key, ZrpTableIterator& it, bool soft);
  virtual bool Search(const char* tag, const char* key, bool soft);
  virtual bool Remove(ZrpTableIterator& it);
  virtual bool Remove(const char* tag, const char* key);
  virtual bool RemoveAll();
  virtual bool RemoveAll(const char* tag, const char* key);
  virtual bool WaitForLockAll();
  virtual bool WaitForLock(uint32_t recNo);
  virtual void Unlock();
  virtual bool IsDeleted(ZrpTableIterator& it);
  // name: the name the class declares with ZrpTableName. The object is not
  // used afterwards.
  virtual bool Close(ZrString name);
  // At most maxRecords records, overwriting the oldest in tag's order; a key
  // already in tag is refused (true, it = 0). record null: from the bound
  // variables, else a raw record image of GetRecordWidth() bytes.
  virtual bool AddToRingBuffer(const char* tag, int32_t maxRecords, ZrpTableIterator& it,
                               void* record);
  virtual bool AddToRingBuffer(const char* tag, int32_t maxRecords, void* record);
  virtual bool Add(ZrpTableIterator& it);
  // record null: from the bound variables, else a raw record image.
  virtual bool Add(void* record);
  // As Add, but always a new record at the end, no deleted one reused and no
  // tag consulted: for a table written once from start to end (the archive
  // run's interim table, whose index is built when it is closed).
  bool Append(void* record);
  virtual bool ReadRecord(char* buffer, ZrpTableIterator& it);
  virtual uint32_t GetRecordWidth();
  virtual char* GetRecordBuffer();
  virtual bool AddIfUnique(const char* tag, const char* key);
  virtual bool Read(ZrpTableIterator& it);
  virtual bool Read();
  virtual bool Write(ZrpTableIterator& it);
  virtual bool Write();
  // Records not deleted.
  virtual int32_t GetCount();
  // key null: records in the tag (tag null: the whole file, deleted ones
  // included); with a key: records whose key in the tag equals it.
  virtual int32_t GetCount(const char* tag, const char* key);
  // Every bound variable gets its empty value.
  virtual void Reset();
  virtual void Flush();

  // See "Errors" above.
  int32_t LastError() const { return lastError_; }
  void ClearLastError() { lastError_ = 0; }

  bool GetAutoReadFlag() const { return autoRead_; }
  bool SetAutoReadFlag(bool autoRead);
  // The engine's handle after opening the table; null when it cannot open.
  pv::Table* GetTable();

 protected:
  void Exchange(ZrpXchgMode mode);
  // The name the class declares.
  ZrString DeclaredName();

  pv::Table* table_ = nullptr;
  ZrpBase* base_;
  bool autoRead_;
  bool createAndAdjust_;
  uint32_t lockTimeout_;
  bool locked_ = false;

  // Records code (when not 0) as the last error; false.
  bool Fail(int32_t code);
  // Init, and for a change a writable database (else kErrReadOnly).
  bool Writable();
  // Ends txn; false (and the error recorded) when it could not write the
  // changes; else ok. Clears the engine's error state as Done does.
  bool Finish(ZrpTxnScope& txn, bool ok);

 private:
  int32_t lastError_ = 0;
  // Releases the record lock, writing a changed record: the engine's result.
  int32_t ReleaseLock();
  bool OpenFiles(const ZrString& path, const pv::FieldList& fields, const pv::TagList& tags);
  // Rebuilds the open table with the declared fields when they differ. True
  // when the table is usable: unchanged (still open) or rebuilt (table_ then
  // null, to be opened again). False: the rebuild failed and was reported,
  // the original files are as they were and table_ is null.
  bool AdjustStructure(const pv::FieldList& declared);
  // The key expression that the class declares for tag, or "".
  std::string DeclaredKey(const char* tag);
  bool SelectTag(const char* tag);
  bool GoToIterator(ZrpTableIterator& it, bool selectTag);
  void ReadIfAuto();
  int32_t Done(int32_t result);
  void ReportCreateFailure(const char* what, const ZrString& path);
};

#endif  // PV_PERSIST_ZRP_TABLE_BASE_H_
