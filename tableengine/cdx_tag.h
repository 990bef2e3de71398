// CdxTag: one tag of an open compound index: its header (name, key and FOR
// expressions, options), its key type, and the positioning operations in tag
// order.
//
// Tag order: ascending (key, record number); a descending tag is stored the
// same way and walked from the end, so equal keys come out in descending
// record-number order. Positions are record numbers; 0 means none.
//
// A walk (Skip) remembers where it stands; when the index has not changed
// since (same generation of the file), the next step continues from there
// without a descent, so walking a tag costs one counter check per record
// while the step stays inside a leaf.
#ifndef PV_TABLEENGINE_CDX_TAG_H_
#define PV_TABLEENGINE_CDX_TAG_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/status.h"
#include "tableengine/cdx_file.h"
#include "tableengine/cdx_header.h"
#include "tableengine/cdx_key.h"
#include "tableengine/cdx_tree.h"
#include "tableengine/expr.h"

namespace pv {

// What a tag does with a second record whose key it already holds.
enum class CdxUnique : int32_t {
  kKeep = 0,    // every record gets its entry
  kSilent = 1,  // the duplicate is left out of the tag (option 0x01)
  kError = 2,   // the duplicate is refused (stored as the candidate option 0x04)
};

// Seek results.
constexpr int32_t kCdxSeekFound = 0;
constexpr int32_t kCdxSeekAfter = 2;  // stopped on the next key in tag order
constexpr int32_t kCdxSeekEof = 3;    // past the end of the tag

// Text of the Status that refuses a duplicate key in a kError tag.
constexpr const char* kCdxDuplicateKey = "duplicate key";

class CdxTag {
 public:
  // Builds the tag of `header` (stored at header_offset) for a table whose
  // fields `schema` describes; parses both expressions.
  static Status Load(CdxFile* file, uint32_t header_offset, std::string name,
                     const CdxHeader& header, const ExprRecord& schema,
                     std::unique_ptr<CdxTag>* out);

  const std::string& name() const { return name_; }
  const CdxHeader& header() const { return header_; }
  uint32_t header_offset() const { return header_offset_; }
  const Expr& key_expr() const { return *key_; }
  const Expr* filter() const { return filter_.get(); }
  const CdxKeyType& key_type() const { return type_; }
  CdxUnique unique() const { return unique_; }
  bool descending() const { return header_.descending(); }
  CdxTree* tree() { return &tree_; }

  // The record's key, and whether the record belongs in the tag (its FOR
  // expression is true, or there is none).
  void KeyOf(const ExprRecord& rec, std::string* key, bool* included) const;

  // First / last record in tag order (0 when the tag is empty).
  Status Top(uint32_t* recno);
  Status Bottom(uint32_t* recno);
  // Steps `count` entries from the entry of record `recno`, whose current
  // contents `rec` shows, in tag order (negative: backwards). A record that
  // is not in the tag counts as standing between its neighbours. *out: the
  // record reached or 0 when the walk left the tag; *moved: steps made.
  Status Skip(uint32_t recno, const ExprRecord& rec, int32_t count, uint32_t* out,
              int32_t* moved);
  // Seeks `text` (cut to the key length; a shorter character text matches as
  // a prefix; numeric and date tags read the text as a number or date).
  Status Seek(std::string_view text, uint32_t* recno, int32_t* result);
  // The entry after record `recno` (contents `rec`) when its key matches
  // `text` as Seek matches; otherwise the result Seek would give from there.
  Status SeekNext(uint32_t recno, const ExprRecord& rec, std::string_view text, uint32_t* out,
                  int32_t* result);

  // Counts entries and checks order (used by the index check). REQUIRES: scope.
  Status CountKeys(uint64_t* keys);

 private:
  CdxTag(CdxFile* file, uint32_t header_offset, std::string name, const CdxHeader& header,
         std::unique_ptr<Expr> key, std::unique_ptr<Expr> filter, const CdxKeyType& type);

  // Positions *pos on the entry of (key of rec, recno), or where it would be;
  // *exact tells which.
  Status Locate(uint32_t recno, const ExprRecord& rec, CdxPos* pos, bool* exact);
  Status Step(CdxPos* pos, bool forward);
  Status SkipIn(uint32_t recno, const ExprRecord& rec, int32_t count, CdxPos* pos, uint32_t* out,
                int32_t* moved);
  Status SeekIn(std::string_view text, CdxPos* pos, int32_t* result);
  void Remember(const CdxPos& pos, uint32_t recno);

  CdxFile* file_;
  uint32_t header_offset_;
  std::string name_;
  CdxHeader header_;
  std::unique_ptr<Expr> key_;
  std::unique_ptr<Expr> filter_;
  CdxKeyType type_;
  CdxUnique unique_;
  CdxTree tree_;
  // Where the last walk stopped (valid while the file's generation holds).
  CdxPos cursor_;
  uint32_t cursor_recno_ = 0;
  uint64_t cursor_generation_ = ~0ull;
};

// Enter/Leave of a CdxFile as a scope guard.
class CdxScope {
 public:
  CdxScope(CdxFile* file, bool write) : file_(file), status_(file->Enter(write)) {
    open_ = status_.ok();
  }
  // A scope that wrote ends with End() to learn the result; this is only
  // reached on an early return, whose own error the caller already has.
  ~CdxScope() {
    if (open_) file_->Leave().IgnoreError();
  }
  CdxScope(const CdxScope&) = delete;
  CdxScope& operator=(const CdxScope&) = delete;
  const Status& status() const { return status_; }
  // Leaves now; the result of leaving (a failed counter write, say).
  Status Close() {
    if (!open_) return status_;
    open_ = false;
    return file_->Leave();
  }

 private:
  CdxFile* file_;
  Status status_;
  bool open_ = false;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_CDX_TAG_H_
