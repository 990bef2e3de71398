// The seam between data files and index files.
//
// The data-file code (Table) knows nothing of the index format. The index
// module implements these interfaces; a Table keeps its open IndexFiles, tells
// them about every record it writes, and lets its selected Tag order the
// positioning operations (top, bottom, skip, seek).
//
// Record images passed here are whole records (Table::RecordWidth() bytes,
// deletion byte first). TableRecordView (table_record_view.h) presents an
// image with its record number to the expression evaluator.
#ifndef PV_TABLEENGINE_INDEX_HOOKS_H_
#define PV_TABLEENGINE_INDEX_HOOKS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/status.h"
#include "tableengine/field_list.h"

namespace pv {

class IndexFile;
class Table;

// One tag of an open index file. Every position is a record number (1-based);
// 0 means "no record" (an empty tag, or stepped off an end).
class Tag {
 public:
  virtual ~Tag() = default;
  virtual const std::string& Name() const = 0;
  virtual IndexFile* Index() const = 0;

  // The first and last record in tag order (descending tags walk backwards).
  virtual Status Top(uint32_t* recno) = 0;
  virtual Status Bottom(uint32_t* recno) = 0;
  // From the tag entry of the record (recno, image) step `count` entries
  // forward (count > 0) or backward (count < 0). *recno_out: the record
  // reached, or 0 when the walk left the tag, in which case *moved tells how
  // many steps were possible (its sign is the direction).
  virtual Status Skip(uint32_t recno, const char* image, int32_t count, uint32_t* recno_out,
                      int32_t* moved) = 0;
  // Seeks key (see Part of the interface in table.h: cut to the key length,
  // a shorter character key matches as a prefix). *result: 0 match,
  // kResultAfter (stopped on the next greater key, *recno_out set),
  // kResultEof (past the end, *recno_out 0).
  virtual Status Seek(std::string_view key, uint32_t* recno_out, int32_t* result) = 0;
  // The record after (recno, image) in tag order when its key equals key:
  // *result 0 and *recno_out set; otherwise as Seek.
  virtual Status SeekNext(uint32_t recno, const char* image, std::string_view key,
                          uint32_t* recno_out, int32_t* result) = 0;
};

// An open index file (a compound index holding several tags).
class IndexFile {
 public:
  virtual ~IndexFile() = default;
  virtual const std::string& Path() const = 0;
  virtual int32_t TagCount() const = 0;
  virtual Tag* TagAt(int32_t index) = 0;  // 0-based
  // The tag of that name, compared without case on at most 10 characters; null when absent.
  virtual Tag* FindTag(std::string_view name) = 0;

  // The table has written record recno: old_image is what the file held
  // before (null for a record just appended), new_image what it holds now.
  // The index updates every tag whose key or filter result changed.
  // Errors (kErrUnique for a refused duplicate) come back as Status; the
  // Table reports them.
  virtual Status RecordWritten(uint32_t recno, const char* old_image, const char* new_image) = 0;
  // Writes what is pending; Close also releases the file.
  virtual Status Flush() = 0;
  virtual Status Close() = 0;
};

// Opens and creates index files for a table. Installed in the engine context
// by the index module (EngineContext::set_index_opener).
class IndexOpener {
 public:
  virtual ~IndexOpener() = default;
  // Opens the index at path (extension included). NotFound when missing.
  virtual Status Open(Table* table, const std::string& path, std::unique_ptr<IndexFile>* out) = 0;
  // Creates (replacing) the index at path with the given tags, built from
  // the table's current records.
  virtual Status Create(Table* table, const std::string& path, const TagList& tags,
                        std::unique_ptr<IndexFile>* out) = 0;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_INDEX_HOOKS_H_
