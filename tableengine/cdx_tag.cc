#include "tableengine/cdx_tag.h"

#include <cstring>

namespace pv {

Status CdxTag::Load(CdxFile* file, uint32_t header_offset, std::string name,
                    const CdxHeader& header, const ExprRecord& schema,
                    std::unique_ptr<CdxTag>* out) {
  std::string where = "tag " + name + ": ";
  if (header.has_collation()) {
    return Status::NotSupported(where + "collation " + header.collation + " is not supported");
  }
  std::unique_ptr<Expr> key, filter;
  Status s = Expr::Parse(header.key_expr, schema, &key);
  if (!s.ok()) return Status::InvalidArgument(where + s.message());
  if (!header.for_expr.empty()) {
    s = Expr::Parse(header.for_expr, schema, &filter);
    if (!s.ok()) return Status::InvalidArgument(where + s.message());
    if (filter->type() != ExprType::kLogical) {
      return Status::InvalidArgument(where + "FOR expression '" + header.for_expr +
                                     "' is not logical");
    }
  }
  CdxKeyType type;
  s = CdxKeyTypeOf(*key, &type);
  if (!s.ok()) return Status::InvalidArgument(where + s.message());
  if (type.length != header.key_length) {
    return Status::Corruption(where + "key length " + std::to_string(header.key_length) +
                              " does not match expression '" + header.key_expr + "' (" +
                              std::to_string(type.length) + ")");
  }
  out->reset(new CdxTag(file, header_offset, std::move(name), header, std::move(key),
                        std::move(filter), type));
  return Status::OK();
}

CdxTag::CdxTag(CdxFile* file, uint32_t header_offset, std::string name, const CdxHeader& header,
               std::unique_ptr<Expr> key, std::unique_ptr<Expr> filter, const CdxKeyType& type)
    : file_(file),
      header_offset_(header_offset),
      name_(std::move(name)),
      header_(header),
      key_(std::move(key)),
      filter_(std::move(filter)),
      type_(type),
      unique_((header.options & CdxHeader::kCandidate) != 0 ? CdxUnique::kError
              : header.unique()                             ? CdxUnique::kSilent
                                                            : CdxUnique::kKeep),
      tree_(file, header_offset, header.key_length, type.pad()) {}

void CdxTag::KeyOf(const ExprRecord& rec, std::string* key, bool* included) const {
  *included = filter_ == nullptr || filter_->IsTrue(rec);
  ExprValue v;
  key_->Evaluate(rec, &v);
  CdxKeyFromValue(type_, v, key);
}

void CdxTag::Remember(const CdxPos& pos, uint32_t recno) {
  cursor_ = pos;
  cursor_recno_ = recno;
  cursor_generation_ = file_->generation();
}

Status CdxTag::Step(CdxPos* pos, bool forward) {
  // Tag order runs backwards through the tree of a descending tag.
  return forward != descending() ? tree_.Next(pos) : tree_.Prev(pos);
}

Status CdxTag::Top(uint32_t* recno) {
  CdxScope scope(file_, false);
  if (!scope.status().ok()) return scope.status();
  CdxPos pos;
  Status s = descending() ? tree_.Last(&pos) : tree_.First(&pos);
  *recno = 0;
  std::string_view key;
  if (s.ok() && pos.valid()) s = tree_.Get(pos, &key, recno);
  if (s.ok()) Remember(pos, *recno);
  return s;
}

Status CdxTag::Bottom(uint32_t* recno) {
  CdxScope scope(file_, false);
  if (!scope.status().ok()) return scope.status();
  CdxPos pos;
  Status s = descending() ? tree_.First(&pos) : tree_.Last(&pos);
  *recno = 0;
  std::string_view key;
  if (s.ok() && pos.valid()) s = tree_.Get(pos, &key, recno);
  if (s.ok()) Remember(pos, *recno);
  return s;
}

Status CdxTag::Locate(uint32_t recno, const ExprRecord& rec, CdxPos* pos, bool* exact) {
  if (cursor_generation_ == file_->generation() && cursor_recno_ == recno && cursor_.valid()) {
    *pos = cursor_;
    *exact = true;
    return Status::OK();
  }
  std::string key;
  bool included;
  KeyOf(rec, &key, &included);
  Status s = tree_.LowerBound(key, recno, pos);
  *exact = false;
  if (s.ok() && pos->valid()) {
    std::string_view k;
    uint32_t r;
    s = tree_.Get(*pos, &k, &r);
    *exact = s.ok() && r == recno && k == key;
  }
  return s;
}

Status CdxTag::Skip(uint32_t recno, const ExprRecord& rec, int32_t count, uint32_t* out,
                    int32_t* moved) {
  // A walk one step at a time inside a cached leaf needs neither the lock
  // nor a descent while no other process has changed the index.
  if ((count == 1 || count == -1) && cursor_.valid() && cursor_recno_ == recno &&
      cursor_generation_ == file_->generation()) {
    bool current = false;
    const CdxNode* leaf = file_->CachedNode(cursor_.leaf);
    int32_t next = cursor_.index + ((count > 0) != descending() ? 1 : -1);
    if (leaf != nullptr && next >= 0 && next < leaf->count() && file_->StillCurrent(&current).ok() &&
        current) {
      cursor_.index = next;
      cursor_recno_ = *out = leaf->recnos[static_cast<size_t>(next)];
      *moved = count;
      return Status::OK();
    }
  }
  CdxScope scope(file_, false);
  if (!scope.status().ok()) return scope.status();
  CdxPos pos;
  return SkipIn(recno, rec, count, &pos, out, moved);
}

Status CdxTag::SkipIn(uint32_t recno, const ExprRecord& rec, int32_t count, CdxPos* at,
                      uint32_t* out, int32_t* moved) {
  *out = 0;
  *moved = 0;
  CdxPos& pos = *at;
  bool exact;
  Status s = Locate(recno, rec, &pos, &exact);
  if (!s.ok()) return s;
  bool forward = count > 0;
  int32_t steps = forward ? count : -count;
  if (!exact && steps > 0) {
    // pos is the first entry after the record's place in the tree (or none):
    // that is the first step when the walk runs forward through the tree.
    if (forward == descending()) {
      s = pos.valid() ? tree_.Prev(&pos) : tree_.Last(&pos);
    }
    --steps;
    if (s.ok() && pos.valid()) *moved = forward ? 1 : -1;
  }
  for (; s.ok() && steps > 0 && pos.valid(); --steps) {
    s = Step(&pos, forward);
    if (s.ok() && pos.valid()) *moved += forward ? 1 : -1;
  }
  if (!s.ok()) return s;
  if (!pos.valid()) {
    cursor_generation_ = ~0ull;
    return Status::OK();
  }
  std::string_view key;
  s = tree_.Get(pos, &key, out);
  if (s.ok()) Remember(pos, *out);
  return s;
}

Status CdxTag::SeekIn(std::string_view text, CdxPos* pos, int32_t* result) {
  std::string key;
  CdxKeyFromSeekText(type_, text, &key);
  size_t n = key.size();
  size_t kl = static_cast<size_t>(type_.length);
  Status s;
  if (!descending()) {
    std::string low = key + std::string(kl - n, '\0');
    s = tree_.LowerBound(low, 0, pos);
  } else {
    // The first entry in descending order that is <= the text as a prefix:
    // the one before the first entry above every key beginning with it.
    std::string high = key + std::string(kl - n, '\xFF');
    s = tree_.LowerBound(high, 0xFFFFFFFFu, pos);
    if (s.ok()) s = pos->valid() ? tree_.Prev(pos) : tree_.Last(pos);
  }
  if (!s.ok()) return s;
  if (!pos->valid()) {
    *result = kCdxSeekEof;
    return Status::OK();
  }
  std::string_view k;
  uint32_t r;
  s = tree_.Get(*pos, &k, &r);
  if (s.ok()) *result = k.substr(0, n) == key ? kCdxSeekFound : kCdxSeekAfter;
  return s;
}

Status CdxTag::Seek(std::string_view text, uint32_t* recno, int32_t* result) {
  *recno = 0;
  CdxScope scope(file_, false);
  if (!scope.status().ok()) return scope.status();
  CdxPos pos;
  Status s = SeekIn(text, &pos, result);
  if (s.ok() && pos.valid()) {
    std::string_view k;
    s = tree_.Get(pos, &k, recno);
    if (s.ok()) Remember(pos, *recno);
  }
  return s;
}

Status CdxTag::SeekNext(uint32_t recno, const ExprRecord& rec, std::string_view text,
                        uint32_t* out, int32_t* result) {
  CdxScope scope(file_, false);
  if (!scope.status().ok()) return scope.status();
  int32_t moved;
  CdxPos pos;
  Status s = SkipIn(recno, rec, 1, &pos, out, &moved);
  if (!s.ok()) return s;
  if (*out == 0) {
    *result = kCdxSeekEof;
    return Status::OK();
  }
  std::string key;
  CdxKeyFromSeekText(type_, text, &key);
  std::string_view k;
  uint32_t r;
  s = tree_.Get(pos, &k, &r);
  if (s.ok()) *result = k.substr(0, key.size()) == key ? kCdxSeekFound : kCdxSeekAfter;
  return s;
}

Status CdxTag::CountKeys(uint64_t* keys) {
  *keys = 0;
  CdxPos pos;
  Status s = tree_.First(&pos);
  while (s.ok() && pos.valid()) {
    ++*keys;
    s = tree_.Next(&pos);
  }
  return s;
}

}  // namespace pv
