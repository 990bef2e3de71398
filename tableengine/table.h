// Table: an open dBASE data file (.dbf) with its memo file and open index
// files: the table engine's interface for the persistence layer.
//
// Handles: Open and Create return a Table owned by its EngineContext, or
// null. Close and Remove end the table: the pointer is invalid afterwards,
// whatever they return. Closing the context closes what is left.
//
// Results: 0 success; positive results for expected outcomes (kResultEof,
// kResultBof, kResultLocked, kResultEntry, seek's kResultAfter); negative
// error codes (engine_errors.h), which are also raised in the context
// (EngineContext::ErrorCode and its error hook).
//
// Current record: a table stands on one record (RecordNumber(), 0 before the
// first positioning, or when the table is empty) whose bytes are in
// RecordBuffer(). Nothing is cached: every positioning reads the record from
// the file, and RecordCount() reads the header, so changes of other
// processes are seen at once. A changed record (MarkChanged(1), or any field
// assignment) is written at the next positioning, Flush, Unlock or Close;
// writing it tells the open index files (index_hooks.h).
//
// Reads take no lock, and the operating system does not make a read atomic
// with another process's write of the same bytes: a record read at the
// moment its writer writes it may show a mix of old and new bytes. A reader
// that needs a whole record reads it under the record's lock (the writer
// holds it until the record is written) or, as the plant tables do, under a
// mutex shared with the writer.
//
// Positioning follows the selected tag, or record order when none is
// selected. Skipping past either end leaves the table on no record (number
// count + 1 at the end, 0 at the start) with a blank buffer.
//
// Locks (lock_protocol.h for the bytes): LockRecord, LockTable and the
// header lock that AppendBlank takes for the moment of the append are
// byte-range locks on the data file that other processes (FoxPro-compatible
// writers included) see. A lock request tries settings().lock_attempts
// times; with settings().single_lock it first releases every lock of the
// context. AppendBlank leaves the new record locked.
//
// Exclusive use (settings().exclusive: the files are opened share_none, so
// no other process can open them): locks are granted without touching the
// file, the record count and date are kept in memory and written to the
// header at Flush and Close, and the index files hold their changed nodes
// until then (cdx_file.h). An appended record goes to the file once, when it
// is first written (at the latest at the next positioning, append, Flush,
// Unlock or Close), and records appended one after another reach the file
// in runs of kWriteBehindBytes (write_behind_file.h); changed records are
// written as in shared use. Reads of records near the last one read come
// from a run read ahead. A crash in exclusive use can leave the header's
// count behind the records written; nothing else depends on that count
// until the table is reopened.
//
// Deferred index (settings().defer_index with exclusive use): an index this
// table creates is not told of the records written afterwards one by one;
// it is created again from all the records, each tag in one pass from its
// sorted keys, at the first Flush, Close, Seek, SeekNext or TagByName, and
// kept record by record from then on. Until then its tags show the records
// as they were at its creation; Tag pointers taken from Indexes() before
// the build do not survive it. Made for a table that is written once from
// start to end (the archive run's interim table).
#ifndef PV_TABLEENGINE_TABLE_H_
#define PV_TABLEENGINE_TABLE_H_

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/platform/file.h"
#include "foundation/status.h"
#include "tableengine/dbf_header.h"
#include "tableengine/engine_context.h"
#include "tableengine/engine_errors.h"
#include "tableengine/field.h"
#include "tableengine/field_list.h"
#include "tableengine/index_hooks.h"

namespace pv {

class MemoFile;

class Table {
 public:
  // Opens path (".dbf" added when it has no extension; resolved without
  // case). Null when the file is missing (an error only with
  // settings().open_error) or unusable (error raised: kErrOpen,
  // kErrDataCorrupt, kErrMemo).
  static Table* Open(EngineContext* context, const std::string& path);
  // Creates path (".dbf" added when it has no extension) in the FoxPro 2.x
  // form: version 0x03, or 0xF5 with memo fields (and an empty .fpt).
  // Null with the error code set on failure.
  static Table* Create(EngineContext* context, const std::string& path, const FieldList& fields);

  // Writes what is pending, releases the table's locks and closes its files
  // (index files included). 0 or the first error.
  int32_t Close();
  // Closes the table and deletes its data, memo and open index files.
  int32_t Remove();
  // Writes the changed record and header; syncs nothing.
  int32_t Flush();
  // Drops the memo contents held for the current record.
  void ReleaseMemoryBlocks();

  EngineContext* Context() const { return context_; }
  // The data file's path with extension, as resolved.
  const std::string& FileName() const { return path_; }
  const DbfHeader& Header() const { return header_; }
  bool HasMemoFile() const { return memo_ != nullptr; }
  const std::string& MemoFileName() const { return memo_path_; }

  // Records in the file, deleted ones included (read from the header).
  int32_t RecordCount();
  int32_t RecordWidth() const { return header_.record_length; }
  int32_t RecordNumber() const { return recno_; }
  // The current record's bytes (deletion byte first), writable; call
  // MarkChanged(1) after writing into it directly.
  char* RecordBuffer() { return record_.data(); }
  const char* RecordBuffer() const { return record_.data(); }

  // Reads record recno into the buffer. 0, kResultEntry when there is no
  // such record (the buffer is then blank), or an error. for_write: the
  // caller intends to change it (no lock is taken).
  int32_t Go(int32_t recno, bool for_write = false);
  int32_t Top();
  int32_t Bottom();
  int32_t Skip(int32_t count = 1);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }

  // Adds a blank record at the end, under the header lock, and makes it
  // current and locked.
  int32_t AppendBlank();
  // Fills every field of the current record with blanks (deletion byte
  // kept). Marks the record changed.
  int32_t Blank();
  int32_t Delete();
  int32_t Recall();
  bool Deleted() const { return !record_.empty() && record_[0] == '*'; }
  // 1: write the buffer at the next move, flush, unlock or close; 0: forget
  // the changes (the buffer is not written).
  void MarkChanged(int32_t flag);
  bool Changed() const { return changed_; }

  int32_t LockRecord(int32_t recno);
  int32_t LockTable();
  // Writes a changed record, then releases this table's locks.
  int32_t Unlock();
  bool RecordLocked(int32_t recno) const;
  bool TableLocked() const { return table_locked_; }

  int32_t FieldCount() const { return static_cast<int32_t>(fields_.size()); }
  // By name (without case; a name of more than 10 characters by its first
  // 10), null when absent (kErrFieldName raised only when report is true).
  Field* FieldByName(std::string_view name, bool report = true);
  // By position from 1; null when out of range.
  Field* FieldAt(int32_t position);

  // Index files (the index module installed in the context does the work).
  // Null when missing (no error) or unusable (error raised).
  IndexFile* OpenIndex(const std::string& path);
  // Creates (replacing) the index with the tags; null with the error set.
  IndexFile* CreateIndex(const std::string& path, const TagList& tags);
  const std::vector<std::unique_ptr<IndexFile>>& Indexes() const { return indexes_; }
  // The tag of that name in the open index files; null and kErrTagName
  // raised when absent.
  Tag* TagByName(std::string_view name);
  // The order of later positioning; null: record order.
  void SelectTag(Tag* tag) { selected_ = tag; }
  Tag* SelectedTag() const { return selected_; }
  // Keeps the current record current in the selected tag's order (nothing
  // to do here: positions are record numbers); 0.
  int32_t SyncTag() const { return 0; }
  // In the selected tag, or the first tag of the first index when none is
  // selected: 0 match, kResultAfter, kResultEof (see index_hooks.h).
  int32_t Seek(std::string_view key);
  int32_t SeekNext(std::string_view key);

  // Sets or clears bit 0x01 of the header's table flags (a structural
  // compound index exists) and writes the header.
  Status SetIndexFlag(bool on);

  // For the memo and field code.
  MemoFile* Memo() const { return memo_.get(); }
  File* DataFile() const { return file_.get(); }
  // Raises an error for this table: code, status text, file name.
  int32_t Fail(int32_t code, const Status& status);
  // Checks that the current record may be changed (read-only, locks).
  int32_t CheckWritable();

  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

 private:
  friend class Field;
  Table(EngineContext* context, std::string path, std::unique_ptr<File> file);

  Status LoadHeader();
  Status ReadCount(uint32_t* count);
  // Reads record recno into disk_image_; *got short at the file's end.
  Status ReadImage(uint32_t recno, size_t* got);
  Status WriteHeaderCountAndDate(uint32_t count);
  // Writes the count and date of header_ (the 7 bytes from offset 1).
  Status WriteHeaderNow();
  Status UpdateDate();
  int32_t LockHeader();
  void UnlockHeader();
  Status FillAutoIncrements(char* record);
  void SetupFields();
  int32_t WriteChanged();  // writes the current record when changed
  int32_t ReadRecord(uint32_t recno);
  void SetNoRecord(uint32_t recno, bool eof, bool bof);
  int32_t GoTag(uint32_t recno, int32_t found);
  int32_t GoEnd(bool top);
  Status LockBytes(uint64_t offset, uint64_t length, int32_t* result);
  int32_t ReleaseLocks();
  int32_t PrepareLock();
  Status WriteMemos();
  void ResetMemos();
  Status CloseFiles();
  // Builds the deferred indexes when records were written since their
  // creation, and ends the deferral. 0, or the error raised.
  int32_t BuildDeferredIndexes();
  bool Deferred(size_t position) const;
  uint64_t RecordOffset(uint32_t recno) const {
    return header_.header_length + static_cast<uint64_t>(recno - 1) * header_.record_length;
  }

  EngineContext* context_;
  std::string path_;
  std::string memo_path_;
  std::unique_ptr<File> file_;
  std::unique_ptr<MemoFile> memo_;
  bool read_only_ = false;
  bool exclusive_ = false;       // opened share_none (see above)
  bool header_pending_ = false;  // exclusive use: count or date not yet written
  DbfHeader header_;
  std::vector<Field> fields_;
  // Where FieldByName looks first: after the field it found last, since a
  // record's fields are mostly asked for in their order. Only when no two
  // fields share a name (a damaged header may repeat one): then the first
  // of them must win, as in a scan from the start.
  size_t next_field_ = 0;
  bool distinct_names_ = false;
  std::string record_;      // current record buffer
  std::string disk_image_;  // the current record as last read or written
  std::string blank_;       // a blank record
  uint32_t recno_ = 0;
  bool eof_ = false;
  bool bof_ = false;
  bool changed_ = false;
  bool unindexed_ = false;  // appended record not yet in the index files
  bool unwritten_ = false;  // exclusive use: appended record not yet in the file
  // Exclusive use: records read ahead (ReadImage), kept equal to the file by
  // WriteChanged, the only writer of records.
  static constexpr uint32_t kAheadBack = 32;   // records before the one read
  static constexpr size_t kAheadBytes = 64 << 10;
  std::string ahead_;
  uint32_t ahead_first_ = 0;  // record number of ahead_'s first record
  uint32_t ahead_count_ = 0;
  uint32_t last_read_ = 0;
  std::string write_buffer_;  // a record and the end marker, for one write
  std::set<uint32_t> locked_records_;
  bool table_locked_ = false;
  std::vector<std::unique_ptr<IndexFile>> indexes_;
  Tag* selected_ = nullptr;
  // Deferred index (see above): which of indexes_ wait for their build, with
  // the tags to create them with, and whether records were written since.
  struct DeferredIndex {
    size_t position;  // in indexes_
    TagList tags;
  };
  std::vector<DeferredIndex> deferred_;
  bool deferred_stale_ = false;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_TABLE_H_
