#include "tableengine/cdx_index.h"

#include <algorithm>
#include <cctype>

#include "tableengine/cdx_coding.h"

namespace pv {

namespace {

constexpr int32_t kTagNameLength = 10;

std::string UpperName(std::string_view name) {
  std::string s(name);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string TrimName(std::string_view key) {
  size_t end = key.find_last_not_of(std::string_view(" \0", 2));
  return std::string(end == std::string_view::npos ? std::string_view() : key.substr(0, end + 1));
}

// True when the tag already holds an entry with exactly this key.
Status KeyExists(CdxTag* tag, const std::string& key, bool* exists) {
  CdxPos pos;
  Status s = tag->tree()->LowerBound(key, 0, &pos);
  *exists = false;
  if (s.ok() && pos.valid()) {
    std::string_view k;
    uint32_t r;
    s = tag->tree()->Get(pos, &k, &r);
    *exists = s.ok() && k == key;
  }
  return s;
}

Status Duplicate(const CdxTag& tag, uint32_t recno, const std::string& key) {
  return Status::InvalidArgument(std::string(kCdxDuplicateKey) + " '" +
                                 CdxKeyToText(tag.key_type(), key) + "' in tag " + tag.name() +
                                 " (record " + std::to_string(recno) + ")");
}

}  // namespace

CdxTag* CdxIndex::FindTag(std::string_view name) {
  // Once per step of a walk: compared in place, without copies.
  const std::string_view want = name.substr(0, std::min<size_t>(name.size(), kTagNameLength));
  auto upper = [](char c) { return std::toupper(static_cast<unsigned char>(c)); };
  for (auto& t : tags_) {
    const std::string& have = t->name();
    if (have.size() == want.size() &&
        std::equal(have.begin(), have.end(), want.begin(),
                   [&](char a, char b) { return upper(a) == upper(b); })) {
      return t.get();
    }
  }
  return nullptr;
}

Status CdxIndex::Open(std::unique_ptr<File> file, bool writable, const ExprRecord& schema,
                      std::unique_ptr<CdxIndex>* out, bool exclusive) {
  out->reset();
  std::unique_ptr<CdxIndex> index(
      new CdxIndex(std::make_unique<CdxFile>(std::move(file), writable, exclusive)));
  Status s = index->LoadTags(schema);
  if (s.ok()) *out = std::move(index);
  return s;
}

Status CdxIndex::LoadTags(const ExprRecord& schema) {
  CdxScope scope(file_.get(), false);
  if (!scope.status().ok()) return scope.status();
  if (file_->size() < kCdxHeaderSize + kCdxBlockSize) {
    return CdxCorruption("cdx " + file_->path() + ": file of " + std::to_string(file_->size()) +
                         " bytes is too short");
  }
  CdxHeader dir;
  Status s = file_->ReadHeader(0, &dir);
  if (!s.ok()) return s;
  if ((dir.options & CdxHeader::kDirectory) == 0) {
    return Status::NotSupported("cdx " + file_->path() + ": no tag directory (not a compound index)");
  }
  CdxTree tree(file_.get(), 0, dir.key_length, kCdxPadChar);
  std::vector<std::pair<uint32_t, std::string>> entries;
  CdxPos pos;
  s = tree.First(&pos);
  while (s.ok() && pos.valid()) {
    std::string_view key;
    uint32_t offset;
    s = tree.Get(pos, &key, &offset);
    if (s.ok()) entries.emplace_back(offset, TrimName(key));
    if (s.ok()) s = tree.Next(&pos);
  }
  if (!s.ok()) return s;
  std::sort(entries.begin(), entries.end());
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0 && entries[i].first == entries[i - 1].first) {
      return CdxCorruption("cdx " + file_->path() + ": tags " + entries[i - 1].second + " and " +
                           entries[i].second + " share header " + CdxHex(entries[i].first));
    }
    if (entries[i].first < kCdxHeaderSize) {
      return CdxCorruption("cdx " + file_->path() + ": tag " + entries[i].second +
                           " header inside the directory header");
    }
    CdxHeader h;
    s = file_->ReadHeader(entries[i].first, &h);
    std::unique_ptr<CdxTag> tag;
    if (s.ok()) s = CdxTag::Load(file_.get(), entries[i].first, entries[i].second, h, schema, &tag);
    if (!s.ok()) return s;
    tags_.push_back(std::move(tag));
  }
  return Status::OK();
}

Status CdxIndex::Create(std::unique_ptr<File> file, const std::vector<CdxTagSpec>& specs,
                        const ExprRecord& schema, CdxRecordSource* records,
                        std::unique_ptr<CdxIndex>* out, bool exclusive) {
  out->reset();
  std::unique_ptr<CdxIndex> index(
      new CdxIndex(std::make_unique<CdxFile>(std::move(file), true, exclusive)));
  Status s = index->file_->Format();
  if (!s.ok()) return s;
  CdxScope scope(index->file_.get(), true);
  if (!scope.status().ok()) return scope.status();
  for (const CdxTagSpec& def : specs) {
    if (!(s = index->AddTag(def, schema)).ok()) return s;
  }
  if (records != nullptr) {
    for (auto& tag : index->tags_) {
      if (!(s = index->BuildTag(tag.get(), records)).ok()) return s;
    }
  }
  if (!(s = scope.Close()).ok()) return s;
  *out = std::move(index);
  return Status::OK();
}

// Builds one tag of a new index in one pass: every record's key with its
// record number, sorted (stable by key: record numbers come in ascending
// order), duplicates settled as the unique modes settle them one insert at
// a time, then the tree written bottom-up (CdxTree::Build). Tag by tag, so
// memory holds one tag's keys: (key length + 8) bytes per record.
Status CdxIndex::BuildTag(CdxTag* tag, CdxRecordSource* records) {
  uint32_t count = 0;
  Status s = records->RecordCount(&count);
  if (!s.ok()) return s;
  const size_t kl = static_cast<size_t>(tag->tree()->key_length());
  std::string keys;
  std::vector<uint32_t> recnos;
  keys.reserve(static_cast<size_t>(count) * kl);
  recnos.reserve(count);
  std::string& key = new_key_;
  for (uint32_t recno = 1; recno <= count; ++recno) {
    const ExprRecord* view;
    if (!(s = records->ReadRecord(recno, &view)).ok()) return s;
    bool in;
    tag->KeyOf(*view, &key, &in);
    if (!in) continue;
    keys.append(key);
    recnos.push_back(recno);
  }
  auto key_at = [&](uint32_t i) { return std::string_view(keys).substr(i * kl, kl); };
  std::vector<uint32_t> order(recnos.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  // Records appended in key order (a time tag) need no sorting.
  auto less = [&](uint32_t a, uint32_t b) { return key_at(a) < key_at(b); };
  if (!std::is_sorted(order.begin(), order.end(), less)) {
    std::stable_sort(order.begin(), order.end(), less);
  }
  if (tag->unique() != CdxUnique::kKeep) {
    size_t kept = 0;
    for (size_t i = 0; i < order.size(); ++i) {
      if (kept > 0 && key_at(order[i]) == key_at(order[kept - 1])) {
        if (tag->unique() == CdxUnique::kError) {
          return Duplicate(*tag, recnos[order[i]], std::string(key_at(order[i])));
        }
        continue;  // the first record of a key keeps the entry
      }
      order[kept++] = order[i];
    }
    order.resize(kept);
  }
  return tag->tree()->Build(order.size(), [&](size_t i, std::string_view* k, uint32_t* r) {
    *k = key_at(order[i]);
    *r = recnos[order[i]];
  });
}

Status CdxIndex::AddTag(const CdxTagSpec& def, const ExprRecord& schema) {
  std::string name = UpperName(def.name);
  if (name.empty() || name.size() > kTagNameLength) {
    return Status::InvalidArgument("tag name '" + def.name + "' must have 1 to 10 characters");
  }
  if (FindTag(name) != nullptr) return Status::InvalidArgument("tag " + name + " declared twice");
  if (def.expression.size() + def.filter.size() + 2 > 512) {
    return Status::InvalidArgument("tag " + name + ": expressions longer than 510 characters");
  }
  std::unique_ptr<Expr> key;
  Status s = Expr::Parse(def.expression, schema, &key);
  CdxKeyType type;
  if (s.ok()) s = CdxKeyTypeOf(*key, &type);
  if (!s.ok()) return Status::InvalidArgument("tag " + name + ": " + s.message());
  CdxHeader h;
  h.key_length = type.length;
  h.options = CdxHeader::kCompact | CdxHeader::kCompound;
  if (def.unique == CdxUnique::kSilent) h.options |= CdxHeader::kUnique;
  if (def.unique == CdxUnique::kError) h.options |= CdxHeader::kCandidate;
  if (type.nullable) h.options |= CdxHeader::kNullable;
  h.order = def.descending ? 1 : 0;
  h.key_expr = def.expression;
  h.for_expr = def.filter;
  uint32_t header_offset, root;
  if (!(s = file_->AllocateBlocks(2, &header_offset)).ok()) return s;
  if (!(s = file_->AllocateBlocks(1, &root)).ok()) return s;
  h.root = root;
  if (!(s = file_->WriteHeader(header_offset, h)).ok()) return s;
  CdxNode empty;  // root and leaf, no entries
  if (!(s = file_->WriteNode(root, empty, h.key_length, type.pad())).ok()) return s;
  CdxTree directory(file_.get(), 0, kTagNameLength, kCdxPadChar);
  std::string dir_key = name + std::string(kTagNameLength - name.size(), ' ');
  if (!(s = directory.Insert(dir_key, header_offset)).ok()) return s;
  std::unique_ptr<CdxTag> tag;
  s = CdxTag::Load(file_.get(), header_offset, name, h, schema, &tag);
  if (s.ok()) tags_.push_back(std::move(tag));
  return s;
}

Status CdxIndex::Insert(uint32_t recno, const ExprRecord& rec, const std::vector<bool>* only) {
  size_t n = tags_.size();
  std::vector<std::string>& keys = keys_;
  std::vector<char>& included = included_;
  keys.resize(n);
  included.assign(n, 0);
  Status s;
  for (size_t i = 0; i < n; ++i) {
    bool in;
    tags_[i]->KeyOf(rec, &keys[i], &in);
    included[i] = in && (only == nullptr || (*only)[i]);
    if (included[i] && tags_[i]->unique() == CdxUnique::kError) {
      bool exists;
      if (!(s = KeyExists(tags_[i].get(), keys[i], &exists)).ok()) return s;
      if (exists) return Duplicate(*tags_[i], recno, keys[i]);
    }
  }
  for (size_t i = 0; i < n; ++i) {
    if (!included[i]) continue;
    if (tags_[i]->unique() == CdxUnique::kSilent) {
      bool exists;
      if (!(s = KeyExists(tags_[i].get(), keys[i], &exists)).ok()) return s;
      if (exists) continue;  // the first record of a key keeps the entry
    }
    if (!(s = tags_[i]->tree()->Insert(keys[i], recno)).ok()) return s;
  }
  return Status::OK();
}

Status CdxIndex::RecordWritten(uint32_t recno, const ExprRecord* old_rec,
                               const ExprRecord& new_rec) {
  CdxScope scope(file_.get(), true);
  if (!scope.status().ok()) return scope.status();
  size_t n = tags_.size();
  std::vector<bool>& changed = changed_;
  changed.assign(n, true);
  Status s;
  if (old_rec != nullptr) {
    // Take every changed entry out first, so that a record that keeps its
    // key in one tag and changes it in another is handled tag by tag.
    std::string& old_key = old_key_;
    std::string& new_key = new_key_;
    for (size_t i = 0; i < n; ++i) {
      bool old_in, new_in;
      tags_[i]->KeyOf(*old_rec, &old_key, &old_in);
      tags_[i]->KeyOf(new_rec, &new_key, &new_in);
      changed[i] = old_in != new_in || old_key != new_key;
      // Refuse before anything changes, so a refused record leaves every tag as it was.
      if (changed[i] && new_in && tags_[i]->unique() == CdxUnique::kError) {
        bool exists;
        if (!(s = KeyExists(tags_[i].get(), new_key, &exists)).ok()) return s;
        if (exists) return Duplicate(*tags_[i], recno, new_key);
      }
    }
    for (size_t i = 0; i < n; ++i) {
      if (!changed[i]) continue;
      bool old_in, removed;
      tags_[i]->KeyOf(*old_rec, &old_key, &old_in);
      if (old_in && !(s = tags_[i]->tree()->Remove(old_key, recno, &removed)).ok()) return s;
    }
  }
  if (!(s = Insert(recno, new_rec, &changed)).ok()) return s;
  return scope.Close();
}

}  // namespace pv
