// CdxIndex: an open compound index file: the tag directory, its tags, and
// the upkeep of every tag's entries when the table writes a record.
//
// The tag directory (header at offset 0) is itself a tree: key = tag name
// (upper case, 10 bytes, blank-padded), "record number" = file offset of the
// tag's 1024-byte header. Tags are listed in the order of their headers in
// the file, which is the order they were created in (so the first tag of an
// index made by this system is "__FREE").
//
// Upkeep: for every written record each tag compares the record's old and
// new key and FOR verdict and removes / inserts its entry; a unique tag
// (kSilent) keeps the first record of a key and leaves duplicates out, a
// kError tag refuses a duplicate (nothing is changed then). All of it runs
// under the index lock, and bumps the change counter once.
#ifndef PV_TABLEENGINE_CDX_INDEX_H_
#define PV_TABLEENGINE_CDX_INDEX_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/platform/file.h"
#include "foundation/status.h"
#include "tableengine/cdx_file.h"
#include "tableengine/cdx_tag.h"
#include "tableengine/expr_record.h"

namespace pv {

struct CdxTagSpec {
  std::string name;        // at most 10 characters
  std::string expression;  // key expression
  std::string filter;      // FOR expression; empty: every record
  CdxUnique unique = CdxUnique::kKeep;
  bool descending = false;
};

// The table's records, for building tags of an existing table.
class CdxRecordSource {
 public:
  virtual ~CdxRecordSource() = default;
  virtual Status RecordCount(uint32_t* count) = 0;
  // Makes record recno (1-based) readable through *view until the next call.
  virtual Status ReadRecord(uint32_t recno, const ExprRecord** view) = 0;
};

class CdxIndex {
 public:
  // Opens an index file; `schema` gives the table's fields for the tags'
  // expressions. Corrupt headers or expressions that do not parse fail.
  // `exclusive`: the file was opened share_none (cdx_file.h).
  static Status Open(std::unique_ptr<File> file, bool writable, const ExprRecord& schema,
                     std::unique_ptr<CdxIndex>* out, bool exclusive = false);
  // Writes a new index into `file` (emptied first) with `specs` in order and
  // fills the tags from `records` (null: an empty table), each tag in one
  // pass from its sorted keys.
  static Status Create(std::unique_ptr<File> file, const std::vector<CdxTagSpec>& specs,
                       const ExprRecord& schema, CdxRecordSource* records,
                       std::unique_ptr<CdxIndex>* out, bool exclusive = false);

  const std::string& path() const { return file_->path(); }
  int32_t tag_count() const { return static_cast<int32_t>(tags_.size()); }
  CdxTag* tag(int32_t i) { return tags_[static_cast<size_t>(i)].get(); }
  // Compared without case on at most 10 characters; null when absent.
  CdxTag* FindTag(std::string_view name);
  CdxFile* file() { return file_.get(); }

  // Record recno was written: `old_rec` shows what the file held before
  // (null for a new record), `new_rec` what it holds now.
  Status RecordWritten(uint32_t recno, const ExprRecord* old_rec, const ExprRecord& new_rec);

  Status Close() { return file_->Close(); }

 private:
  explicit CdxIndex(std::unique_ptr<CdxFile> file) : file_(std::move(file)) {}
  Status LoadTags(const ExprRecord& schema);
  Status AddTag(const CdxTagSpec& def, const ExprRecord& schema);
  // Fills the empty tag from every record in one pass (a new index).
  Status BuildTag(CdxTag* tag, CdxRecordSource* records);
  // Adds recno's entry to every tag that takes it; checks kError tags first.
  Status Insert(uint32_t recno, const ExprRecord& rec, const std::vector<bool>* only);

  std::unique_ptr<CdxFile> file_;
  std::vector<std::unique_ptr<CdxTag>> tags_;
  // Working storage of RecordWritten and Insert, kept so that an append
  // allocates nothing.
  std::vector<std::string> keys_;
  std::vector<char> included_;
  std::vector<bool> changed_;
  std::string old_key_, new_key_;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_INDEX_H_
