#include "tableengine/table.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "foundation/platform/clock.h"
#include "foundation/platform/path_resolve.h"
#include "tableengine/engine_file.h"
#include "tableengine/fpt_memo.h"
#include "tableengine/lock_protocol.h"
#include "tableengine/write_behind_file.h"

namespace pv {

namespace {

// The path with extension ext when its last component has none.
std::string WithExtension(const std::string& path, const char* ext) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return path;
  return path + ext;
}

// The path with its extension replaced by ext, keeping the case style of
// the data file's extension (".DBF" -> ".FPT").
std::string CompanionPath(const std::string& dbf_path, const char* lower_ext) {
  size_t dot = dbf_path.find_last_of('.');
  std::string base = dbf_path.substr(0, dot);
  std::string ext = lower_ext;
  if (dot != std::string::npos && dot + 1 < dbf_path.size() && dbf_path[dot + 1] >= 'A' &&
      dbf_path[dot + 1] <= 'Z') {
    for (char& c : ext) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  return base + ext;
}

// The local date, recomputed when the second changes (the time-zone rules
// may be looked up on every call; this runs on every append).
void Today(int32_t* y, int32_t* m, int32_t* d) {
  static int64_t cached_at = -1;
  static int32_t cy, cm, cd;
  const int64_t now = pv::UtcNowMicros() / 1000000;
  if (now != cached_at) {
    const std::chrono::sys_seconds local{std::chrono::seconds{now + pv::LocalUtcOffsetAt(now)}};
    const std::chrono::year_month_day ymd{std::chrono::floor<std::chrono::days>(local)};
    cy = static_cast<int32_t>(ymd.year());
    cm = static_cast<int32_t>(static_cast<unsigned>(ymd.month()));
    cd = static_cast<int32_t>(static_cast<unsigned>(ymd.day()));
    cached_at = now;
  }
  *y = cy;
  *m = cm;
  *d = cd;
}

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 10) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return !(name[0] >= '0' && name[0] <= '9');
}

}  // namespace

Table::Table(EngineContext* context, std::string path, std::unique_ptr<File> file)
    : context_(context), path_(std::move(path)), file_(std::move(file)) {
  context_->Attach(this);
}

Table::~Table() { context_->Detach(this); }

int32_t Table::Fail(int32_t code, const Status& status) {
  return context_->ReportStatus(code, status, path_.c_str());
}

Status Table::LoadHeader() {
  // A header that counts more records than the file holds is read again a
  // few times before it counts as corrupt: a writer of another program may
  // count a record before it stores it, and the operating system does not
  // make a read atomic with a concurrent write.
  constexpr int kAttempts = 4;
  Status s;
  for (int attempt = 1;; ++attempt) {
    char fixed[kDbfHeaderSize];
    size_t got = 0;
    s = file_->ReadAt(0, sizeof fixed, fixed, &got);
    if (!s.ok()) return s;
    size_t want = got < sizeof fixed ? got : GetLe16(fixed + 8);
    std::string bytes(std::max<size_t>(want, got), '\0');
    s = file_->ReadAt(0, bytes.size(), bytes.data(), &got);
    if (!s.ok()) return s;
    bytes.resize(got);
    // The size is taken after the count was read: writers store a record
    // before they count it, so the file then holds every counted record even
    // while others append.
    uint64_t size = 0;
    s = file_->Size(&size);
    if (!s.ok()) return s;
    s = DecodeDbfHeader(bytes, size, &header_);
    if (s.ok() || s.IsNotSupported()) return s;
    // Only a header that is whole but counts beyond the file's end may be
    // caught in the middle of an append; anything else is corrupt at once.
    const bool only_size = DecodeDbfHeader(bytes, UINT64_MAX, &header_).ok();
    if (!only_size || attempt == kAttempts) return Status::Corruption(path_ + ": " + s.message());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void Table::SetupFields() {
  fields_.clear();
  fields_.reserve(header_.fields.size());
  int32_t null_bit = 0;
  for (size_t i = 0; i < header_.fields.size(); i++) {
    const DbfFieldDesc& d = header_.fields[i];
    Field f;
    f.table_ = this;
    f.name_ = d.name;
    f.type_ = d.type;
    f.width_ = d.width;
    f.decimals_ = d.decimals;
    f.position_ = static_cast<int32_t>(i) + 1;
    f.offset_ = d.offset;
    f.flags_ = d.flags;
    if (header_.IsVisualFoxPro()) {
      if ((d.flags & 0x02) != 0) f.null_bit_ = null_bit++;
      if (d.type == 'V' || d.type == 'Q') f.varlen_bit_ = null_bit++;
    }
    fields_.push_back(std::move(f));
  }
  distinct_names_ = true;
  next_field_ = 0;
  for (size_t i = 0; i < fields_.size(); i++) {
    for (size_t j = 0; j < i; j++) {
      if (EqualNoCase(fields_[i].name_, fields_[j].name_)) distinct_names_ = false;
    }
  }
  blank_.assign(static_cast<size_t>(header_.record_length), ' ');
  // Binary fields are blank as zero bytes; the null flags start cleared.
  for (const Field& f : fields_) {
    if (f.type_ == 'I' || f.type_ == 'B' || f.type_ == 'Y' || f.type_ == 'T' || f.type_ == '0' ||
        ((f.type_ == 'M' || f.type_ == 'G' || f.type_ == 'W' || f.type_ == 'P') && f.width_ == 4)) {
      std::memset(blank_.data() + f.offset_, 0, static_cast<size_t>(f.width_));
    }
  }
  record_ = blank_;
  disk_image_ = blank_;
}

Table* Table::Open(EngineContext* ctx, const std::string& given) {
  const EngineSettings& set = ctx->settings();
  const std::string path = ctx->file_system()->Resolve(WithExtension(given, ".dbf"));
  OpenOptions o;
  o.write = !set.read_only;
  o.share_none = set.exclusive;
  std::unique_ptr<File> file;
  Status s = ctx->file_system()->Open(path, o, &file);
  if (!s.ok()) {
    if (!s.IsNotFound() || set.open_error) ctx->ReportStatus(kErrOpen, s, path.c_str());
    return nullptr;
  }
  if (set.exclusive && o.write) file = std::make_unique<WriteBehindFile>(std::move(file));
  Table* t = new Table(ctx, path, std::move(file));
  t->read_only_ = set.read_only;
  t->exclusive_ = set.exclusive;
  s = t->LoadHeader();
  if (!s.ok()) {
    t->Fail(kErrDataCorrupt, s);
    t->CloseFiles().IgnoreError();  // the open's own error is reported
    delete t;
    return nullptr;
  }
  t->SetupFields();
  if (t->header_.HasMemoFields()) {
    MemoKind kind = t->header_.version == 0x83 ? MemoKind::kDbt3
                    : t->header_.version == 0x8B ? MemoKind::kDbt4 : MemoKind::kFpt;
    t->memo_path_ = ctx->file_system()->Resolve(
        CompanionPath(path, kind == MemoKind::kFpt ? ".fpt" : ".dbt"));
    s = MemoFile::Open(ctx->file_system(), t->memo_path_, kind, !set.read_only, &t->memo_);
    if (!s.ok()) {
      t->Fail(kErrMemo, s);
      t->CloseFiles().IgnoreError();  // the open's own error is reported
      delete t;
      return nullptr;
    }
  }
  return t;
}

Table* Table::Create(EngineContext* ctx, const std::string& given, const FieldList& list) {
  const EngineSettings& set = ctx->settings();
  const std::string path = ctx->file_system()->Resolve(WithExtension(given, ".dbf"));
  if (set.read_only) {
    ctx->ReportError(kErrReadOnly, 0, "create in read-only mode", path.c_str());
    return nullptr;
  }
  DbfHeader h;
  int32_t offset = 1;
  for (const FieldDef& def : list.fields()) {
    DbfFieldDesc d;
    d.name = def.name;
    for (char& c : d.name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    d.type = static_cast<char>(def.type >= 'a' && def.type <= 'z' ? def.type - 32 : def.type);
    d.width = def.width;
    d.decimals = def.decimals;
    switch (d.type) {
      case 'L': d.width = 1; d.decimals = 0; break;
      case 'D': d.width = 8; d.decimals = 0; break;
      case 'M': case 'G': d.width = 10; d.decimals = 0; break;
      case 'C': if (d.width < 1 || d.width > 254) d.width = -1; d.decimals = 0; break;
      case 'N': case 'F':
        if (d.width < 1 || d.width > 20 || d.decimals < 0 || (d.decimals > 0 && d.decimals > d.width - 2)) d.width = -1;
        break;
      default: d.width = -1; break;  // the FoxPro 2.x form has no other types
    }
    bool duplicate = false;
    for (const DbfFieldDesc& other : h.fields) duplicate = duplicate || other.name == d.name;
    if (d.width < 0 || !ValidName(def.name) || duplicate) {
      std::string what = "field " + def.name + " type " + std::string(1, def.type) + " width " +
                         std::to_string(def.width) + "." + std::to_string(def.decimals);
      ctx->ReportError(kErrFieldList, 0, what.c_str(), path.c_str());
      return nullptr;
    }
    d.offset = offset;
    offset += d.width;
    h.fields.push_back(d);
  }
  if (h.fields.empty() || offset > 0xFFFF || h.fields.size() > 255) {
    ctx->ReportError(kErrFieldList, 0, "no fields, or a record too long", path.c_str());
    return nullptr;
  }
  const bool memo = h.HasMemoFields();
  h.version = memo ? 0xF5 : 0x03;
  Today(&h.year, &h.month, &h.day);
  h.header_length = kDbfHeaderSize + kDbfDescriptorSize * static_cast<int32_t>(h.fields.size()) + 1;
  h.record_length = offset;
  h.table_flags = 0;
  h.codepage = 0x03;  // Windows-1252, the system's text

  if (!set.create_replaces && ctx->file_system()->Exists(path)) {
    ctx->ReportError(kErrCreate, 0, "file exists", path.c_str());
    return nullptr;
  }
  OpenOptions o;
  o.write = o.create = o.truncate = true;
  o.share_none = set.exclusive;
  std::unique_ptr<File> file;
  Status s = ctx->file_system()->Open(path, o, &file);
  if (!s.ok()) {
    ctx->ReportStatus(kErrCreate, s, path.c_str());
    return nullptr;
  }
  std::string bytes = EncodeDbfHeader(h);
  bytes.push_back(static_cast<char>(kDbfEofMarker));
  s = file->WriteAt(0, bytes.data(), bytes.size());
  if (s.ok()) s = file->Truncate(bytes.size());
  if (set.exclusive) file = std::make_unique<WriteBehindFile>(std::move(file));
  Table* t = new Table(ctx, path, std::move(file));
  t->exclusive_ = set.exclusive;
  if (s.ok()) {
    t->header_ = h;
    t->SetupFields();
    if (memo) {
      t->memo_path_ = CompanionPath(path, ".fpt");
      s = MemoFile::Create(ctx->file_system(), t->memo_path_, &t->memo_);
    }
  }
  if (!s.ok()) {
    t->Fail(kErrCreate, s);
    // The creation's own error is reported; a half-made file is of no use,
    // and one that cannot be removed is replaced by the next creation.
    t->CloseFiles().IgnoreError();
    ctx->file_system()->Remove(path).IgnoreError();
    delete t;
    return nullptr;
  }
  return t;
}

Status Table::CloseFiles() {
  Status result;
  for (auto& index : indexes_) {
    Status s = index->Close();
    if (result.ok()) result = s;
  }
  indexes_.clear();
  selected_ = nullptr;
  if (memo_) {
    Status s = memo_->Close();
    if (result.ok()) result = s;
    memo_.reset();
  }
  if (file_) {
    Status s = file_->Close();
    if (result.ok()) result = s;
  }
  return result;
}

int32_t Table::Close() {
  int32_t result = Flush();
  int32_t r = ReleaseLocks();
  if (result == 0) result = r;
  Status s = CloseFiles();
  if (!s.ok() && result == 0) result = Fail(kErrClose, s);
  delete this;
  return result;
}

int32_t Table::Remove() {
  std::vector<std::string> paths{path_};
  if (memo_) paths.push_back(memo_path_);
  for (auto& index : indexes_) paths.push_back(index->Path());
  MarkChanged(0);
  ReleaseLocks();
  Status s = CloseFiles();
  EngineContext* ctx = context_;
  FileSystem* fs = ctx->file_system();
  delete this;
  int32_t result = s.ok() ? 0 : ctx->ReportStatus(kErrClose, s);
  for (const std::string& p : paths) {
    Status r = fs->Remove(p);
    if (!r.ok() && result == 0) result = ctx->ReportStatus(kErrRemove, r, p.c_str());
  }
  return result;
}

int32_t Table::Flush() {
  int32_t r = WriteChanged();
  if (r < 0) return r;
  if (header_pending_) {
    Status s = WriteHeaderNow();
    if (!s.ok()) return Fail(kErrWrite, s);
  }
  r = BuildDeferredIndexes();
  if (r < 0) return r;
  for (auto& index : indexes_) {
    Status s = index->Flush();
    if (!s.ok()) return Fail(kErrIndex, s);
  }
  return 0;
}

bool Table::Deferred(size_t position) const {
  for (const DeferredIndex& d : deferred_) {
    if (d.position == position) return true;
  }
  return false;
}

int32_t Table::BuildDeferredIndexes() {
  if (deferred_.empty()) return 0;
  std::vector<DeferredIndex> deferred = std::move(deferred_);
  deferred_.clear();
  if (!deferred_stale_) return 0;  // the indexes still show every record
  deferred_stale_ = false;
  int32_t r = WriteChanged();
  if (r < 0) return r;
  const std::string selected = selected_ != nullptr ? selected_->Name() : std::string();
  selected_ = nullptr;
  // From the last position down, so that dropping a failed index moves no
  // position still to come.
  for (auto d = deferred.rbegin(); d != deferred.rend(); ++d) {
    std::unique_ptr<IndexFile>& slot = indexes_[d->position];
    const std::string path = slot->Path();
    Status s = slot->Close();
    std::unique_ptr<IndexFile> built;
    if (s.ok()) s = context_->index_opener()->Create(this, path, d->tags, &built);
    if (!s.ok()) {
      indexes_.erase(indexes_.begin() + static_cast<std::ptrdiff_t>(d->position));
      return Fail(kErrIndex, s);
    }
    slot = std::move(built);
  }
  if (!selected.empty()) {
    for (auto& index : indexes_) {
      if ((selected_ = index->FindTag(selected)) != nullptr) break;
    }
  }
  return 0;
}

void Table::ReleaseMemoryBlocks() {
  for (Field& f : fields_) {
    if (!f.memo_changed_) {
      f.memo_.clear();
      f.memo_.shrink_to_fit();
      f.memo_loaded_ = false;
    }
  }
}

void Table::ResetMemos() {
  for (Field& f : fields_) {
    f.memo_loaded_ = false;
    f.memo_changed_ = false;
    f.memo_.clear();
  }
}

Status Table::ReadCount(uint32_t* count) {
  if (exclusive_) {
    *count = header_.record_count;  // nobody else appends
    return Status::OK();
  }
  char buf[4];
  size_t got = 0;
  Status s = file_->ReadAt(4, sizeof buf, buf, &got);
  if (!s.ok()) return s;
  if (got != sizeof buf) return Status::Corruption(path_ + ": header cut short");
  *count = GetLe32(buf);
  return Status::OK();
}

int32_t Table::RecordCount() {
  uint32_t count = 0;
  Status s = ReadCount(&count);
  if (!s.ok()) return Fail(kErrRead, s);
  header_.record_count = count;
  return static_cast<int32_t>(count);
}

Status Table::UpdateDate() {
  int32_t y, m, d;
  Today(&y, &m, &d);
  if (y == header_.year && m == header_.month && d == header_.day) return Status::OK();
  header_.year = y;
  header_.month = m;
  header_.day = d;
  if (exclusive_) {
    header_pending_ = true;
    return Status::OK();
  }
  char buf[7];
  EncodeDateAndCount(y, m, d, 0, buf);
  return file_->WriteAt(1, buf, 3);
}

Status Table::WriteHeaderCountAndDate(uint32_t count) {
  Today(&header_.year, &header_.month, &header_.day);
  header_.record_count = count;
  if (exclusive_) {
    header_pending_ = true;
    return Status::OK();
  }
  return WriteHeaderNow();
}

Status Table::WriteHeaderNow() {
  char buf[7];
  EncodeDateAndCount(header_.year, header_.month, header_.day, header_.record_count, buf);
  Status s = file_->WriteAt(1, buf, sizeof buf);
  if (s.ok()) header_pending_ = false;
  return s;
}

void Table::SetNoRecord(uint32_t recno, bool eof, bool bof) {
  recno_ = recno;
  eof_ = eof;
  bof_ = bof;
  record_ = blank_;
  disk_image_ = blank_;
  changed_ = false;
  unindexed_ = false;
  ResetMemos();
}

Status Table::ReadImage(uint32_t recno, size_t* got) {
  const size_t width = disk_image_.size();
  if (!exclusive_) return file_->ReadAt(RecordOffset(recno), width, disk_image_.data(), got);
  // Exclusive use: nobody else writes the file, so records near the last one
  // read come from a run read ahead (a walk in tag order of a table appended
  // in time order touches neighbouring records); others are read alone.
  if (recno < ahead_first_ || recno - ahead_first_ >= ahead_count_) {
    const uint64_t r = recno, last = last_read_;
    const bool near = last != 0 && r + kAheadBack >= last && r <= last + kAheadBack;
    last_read_ = recno;
    if (!near) return file_->ReadAt(RecordOffset(recno), width, disk_image_.data(), got);
    const uint32_t first = recno > kAheadBack ? recno - kAheadBack : 1;
    ahead_.resize(std::max<size_t>(1, kAheadBytes / width) * width);
    size_t n = 0;
    ahead_count_ = 0;
    Status s = file_->ReadAt(RecordOffset(first), ahead_.size(), ahead_.data(), &n);
    if (!s.ok()) return s;
    ahead_first_ = first;
    ahead_count_ = static_cast<uint32_t>(n / width);
    if (recno - first >= ahead_count_) {
      *got = 0;  // the record runs past the file's end
      return Status::OK();
    }
  }
  last_read_ = recno;
  std::memcpy(disk_image_.data(), ahead_.data() + static_cast<size_t>(recno - ahead_first_) * width, width);
  *got = width;
  return Status::OK();
}

int32_t Table::ReadRecord(uint32_t recno) {
  size_t got = 0;
  Status s = ReadImage(recno, &got);
  if (!s.ok() || got != disk_image_.size()) {
    SetNoRecord(0, false, false);
    if (!s.ok()) return Fail(kErrRead, s);
    return Fail(kErrDataCorrupt, Status::Corruption(path_ + ": record " + std::to_string(recno) +
                                                    " runs past the file's end"));
  }
  record_ = disk_image_;
  recno_ = recno;
  eof_ = bof_ = false;
  changed_ = false;
  unindexed_ = false;
  ResetMemos();
  return 0;
}

int32_t Table::Go(int32_t recno, bool /*for_write*/) {
  int32_t r = WriteChanged();
  if (r < 0) return r;
  // Records are never removed while the file is shared, so a record number
  // within the count last read needs no new look at the header.
  int32_t count = static_cast<int32_t>(header_.record_count);
  if (recno < 1 || recno > count) count = RecordCount();
  if (count < 0) return count;
  if (recno < 1 || recno > count) {
    SetNoRecord(recno < 1 ? 0 : static_cast<uint32_t>(count) + 1, recno > count, recno < 1);
    return kResultEntry;
  }
  return ReadRecord(static_cast<uint32_t>(recno));
}

int32_t Table::GoTag(uint32_t recno, int32_t found) {
  if (recno == 0) {
    int32_t count = RecordCount();
    if (count < 0) return count;
    SetNoRecord(static_cast<uint32_t>(count) + 1, true, false);
    return found;
  }
  int32_t r = Go(static_cast<int32_t>(recno));
  if (r == kResultEntry) {
    return Fail(kErrIndex, Status::Corruption(path_ + ": the index names record " + std::to_string(recno) +
                                              " beyond the table's end"));
  }
  return r != 0 ? r : found;
}

// Top and Bottom: the first or last record of the selected tag, or of the
// file when no tag is selected.
int32_t Table::GoEnd(bool top) {
  int32_t r = WriteChanged();
  if (r < 0) return r;
  if (selected_ != nullptr) {
    uint32_t recno = 0;
    Status s = top ? selected_->Top(&recno) : selected_->Bottom(&recno);
    if (!s.ok()) return Fail(kErrIndex, s);
    return GoTag(recno, recno == 0 ? kResultEof : 0);
  }
  int32_t count = RecordCount();
  if (count < 0) return count;
  if (count == 0) {
    SetNoRecord(1, true, false);
    return kResultEof;
  }
  return ReadRecord(top ? 1 : static_cast<uint32_t>(count));
}

int32_t Table::Top() { return GoEnd(true); }

int32_t Table::Bottom() { return GoEnd(false); }

int32_t Table::Skip(int32_t n) {
  int32_t r = WriteChanged();
  if (r < 0) return r;
  if (selected_ != nullptr) {
    if (recno_ == 0 || eof_) return n >= 0 ? kResultEof : kResultBof;
    uint32_t out = 0;
    int32_t moved = 0;
    Status s = selected_->Skip(recno_, disk_image_.data(), n, &out, &moved);
    if (!s.ok()) return Fail(kErrIndex, s);
    if (out != 0) return GoTag(out, 0);
    if (n < 0) {
      // Before the first entry: stay on the first record, flagged.
      uint32_t first = 0;
      s = selected_->Top(&first);
      if (!s.ok()) return Fail(kErrIndex, s);
      r = GoTag(first, 0);
      bof_ = true;
      return r < 0 ? r : kResultBof;
    }
    return GoTag(0, kResultEof);
  }
  int64_t target = static_cast<int64_t>(recno_) + n;
  int32_t count = static_cast<int32_t>(header_.record_count);
  if (target > count || target < 1) count = RecordCount();  // others may have appended
  if (count < 0) return count;
  if (target > count) {
    SetNoRecord(static_cast<uint32_t>(count) + 1, true, false);
    return kResultEof;
  }
  if (target < 1) {
    if (count == 0) {
      SetNoRecord(1, true, true);
      return kResultBof;
    }
    r = ReadRecord(1);
    bof_ = true;
    return r < 0 ? r : kResultBof;
  }
  return ReadRecord(static_cast<uint32_t>(target));
}

int32_t Table::CheckWritable() {
  if (read_only_) return context_->ReportError(kErrReadOnly, 0, "change of a read-only table", path_.c_str());
  if (recno_ == 0 || eof_) {
    return context_->ReportError(kErrRecordNumber, 0, "no current record", path_.c_str());
  }
  if (context_->settings().lock_enforce && !table_locked_ && locked_records_.count(recno_) == 0) {
    std::string rec = "record " + std::to_string(recno_);
    return context_->ReportError(kErrNotLocked, 0, rec.c_str(), path_.c_str());
  }
  return 0;
}

void Table::MarkChanged(int32_t flag) {
  if (flag != 0) {
    changed_ = true;
    return;
  }
  for (Field& f : fields_) f.memo_changed_ = false;
  if (unindexed_ || unwritten_) {
    // A record just appended still enters the indexes (and, in exclusive
    // use, the file), as the blank record that the file holds or will hold.
    record_ = disk_image_;
    return;
  }
  changed_ = false;
}

Status Table::WriteMemos() {
  for (Field& f : fields_) {
    if (!f.memo_changed_) continue;
    if (!memo_) return Status::NotSupported(path_ + ": no memo file");
    char* p = record_.data() + f.offset_;
    const char* old = disk_image_.data() + f.offset_;
    uint32_t block = 0;
    if (f.width_ == 4) {
      block = GetLe32(old);
    } else {
      std::string digits(old, static_cast<size_t>(f.width_));
      block = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
    }
    Status s = memo_->Write(f.memo_, f.type_ == 'M' ? 1 : 0, &block);
    if (!s.ok()) return s;
    if (f.width_ == 4) {
      PutLe32(p, block);
    } else if (block == 0) {
      std::memset(p, ' ', static_cast<size_t>(f.width_));
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%10u", block);
      std::memcpy(p, buf, 10);
    }
    f.memo_changed_ = false;
  }
  return Status::OK();
}

int32_t Table::WriteChanged() {
  if (!changed_) return 0;
  if (read_only_) {
    changed_ = false;
    return context_->ReportError(kErrReadOnly, 0, "write to a read-only table", path_.c_str());
  }
  if (recno_ == 0 || eof_) {
    changed_ = false;
    return 0;
  }
  // On failure the change stays pending (nothing is lost): the next move,
  // flush or unlock tries again, or MarkChanged(0) drops it.
  bool memos = false;
  for (const Field& f : fields_) memos = memos || f.memo_changed_;
  Status s;
  if (memos) {
    // The memo file grows under the header lock (lock_protocol.h).
    int32_t r = LockHeader();
    if (r != 0) return r > 0 ? context_->ReportError(kErrLock, r, "memo allocation", path_.c_str()) : r;
    s = WriteMemos();
    UnlockHeader();
  }
  if (s.ok() && unwritten_) {
    // The first write of a record appended in exclusive use; it is the last
    // record (the next append writes this one first).
    write_buffer_.assign(record_);
    write_buffer_.push_back(static_cast<char>(kDbfEofMarker));
    s = file_->WriteAt(RecordOffset(recno_), write_buffer_.data(), write_buffer_.size());
  } else if (s.ok()) {
    s = file_->WriteAt(RecordOffset(recno_), record_.data(), record_.size());
  }
  if (s.ok() && recno_ >= ahead_first_ && recno_ - ahead_first_ < ahead_count_) {
    // What was read ahead shows the file: the record as written.
    std::memcpy(ahead_.data() + static_cast<size_t>(recno_ - ahead_first_) * record_.size(),
                record_.data(), record_.size());
  }
  if (s.ok()) s = UpdateDate();
  if (!s.ok()) return Fail(kErrWrite, s);
  changed_ = false;
  unwritten_ = false;
  const char* old_image = unindexed_ ? nullptr : disk_image_.data();
  unindexed_ = false;
  for (size_t i = 0; i < indexes_.size(); ++i) {
    if (!deferred_.empty() && Deferred(i)) {
      deferred_stale_ = true;
      continue;
    }
    s = indexes_[i]->RecordWritten(recno_, old_image, record_.data());
    if (!s.ok()) {
      disk_image_ = record_;
      return Fail(s.IsInvalidArgument() ? kErrUnique : kErrIndex, s);
    }
  }
  disk_image_ = record_;
  return 0;
}

int32_t Table::LockHeader() {
  if (table_locked_) return 0;  // the table lock covers the header byte
  int32_t got = 0;
  Status s = LockBytes(kLockHeaderByte, 1, &got);
  if (!s.ok()) return Fail(kErrLock, s);
  return got;
}

void Table::UnlockHeader() {
  // Never punches a hole into this table's own table lock. An unlock that
  // fails leaves a lock that closing the file releases.
  if (!table_locked_ && !exclusive_) file_->UnlockRange(kLockHeaderByte, 1).IgnoreError();
}

Status Table::FillAutoIncrements(char* record) {
  // Visual FoxPro autoincrement fields (flag 0x08): the next value and the
  // step live in the field's descriptor; read and advance them under the
  // header lock, as the record count.
  for (size_t i = 0; i < header_.fields.size(); i++) {
    const DbfFieldDesc& d = header_.fields[i];
    if ((d.flags & 0x08) == 0 || d.type != 'I') continue;
    const uint64_t at = kDbfHeaderSize + i * kDbfDescriptorSize + 19;
    char buf[5];
    size_t got = 0;
    Status s = file_->ReadAt(at, sizeof buf, buf, &got);
    if (!s.ok()) return s;
    if (got != sizeof buf) return Status::Corruption(path_ + ": descriptor cut short");
    const uint32_t value = GetLe32(buf);
    std::memcpy(record + d.offset, buf, 4);
    PutLe32(buf, value + static_cast<uint8_t>(buf[4]));
    s = file_->WriteAt(at, buf, 4);
    if (!s.ok()) return s;
  }
  return Status::OK();
}

int32_t Table::AppendBlank() {
  int32_t r = WriteChanged();
  if (r < 0) return r;
  if (read_only_) return context_->ReportError(kErrReadOnly, 0, "append to a read-only table", path_.c_str());
  if (!table_locked_) {
    r = PrepareLock();
    if (r != 0) return r;
  }
  r = LockHeader();
  if (r != 0) return r;
  // Under the header lock: read the count, write the record and the end
  // marker, then publish the new count, so a reader that sees the count
  // finds the whole record.
  uint32_t count = 0;
  Status s = ReadCount(&count);
  const uint32_t recno = count + 1;
  if (s.ok() && recno == 0) s = Status::IOError(path_ + ": record count at its limit");
  std::string& bytes = write_buffer_;
  bytes = blank_;
  if (s.ok()) s = FillAutoIncrements(bytes.data());
  bytes.push_back(static_cast<char>(kDbfEofMarker));
  // In exclusive use nobody reads the file meanwhile: the record is written
  // once, with its values and the end marker, when it is first written.
  if (s.ok() && !exclusive_) s = file_->WriteAt(RecordOffset(recno), bytes.data(), bytes.size());
  if (s.ok()) s = WriteHeaderCountAndDate(recno);
  int32_t lock = 0;
  if (s.ok() && !table_locked_) s = LockBytes(RecordLockByte(recno), 1, &lock);
  UnlockHeader();
  if (!s.ok()) return Fail(kErrWrite, s);
  if (lock == 0 && !table_locked_) locked_records_.insert(recno);
  bytes.pop_back();
  record_ = bytes;
  disk_image_ = bytes;
  recno_ = recno;
  eof_ = bof_ = false;
  ResetMemos();
  // The new record enters the indexes when it is first written (at the
  // latest at the next move, flush, unlock or close), with the values it
  // gets meanwhile: an index never lists it under the blank key that it
  // holds only for this moment, so a reader walking a tag while records are
  // appended never meets one out of order, and each append updates every
  // tag once instead of twice.
  unindexed_ = !indexes_.empty();
  unwritten_ = exclusive_;
  changed_ = unindexed_ || unwritten_;
  return 0;
}

int32_t Table::Blank() {
  int32_t r = CheckWritable();
  if (r != 0) return r;
  char flag = record_[0];
  record_ = blank_;
  record_[0] = flag;
  for (Field& f : fields_) {
    if (f.IsMemo()) {
      f.memo_.clear();
      f.memo_loaded_ = true;
      f.memo_changed_ = false;
    }
  }
  changed_ = true;
  return 0;
}

int32_t Table::Delete() {
  int32_t r = CheckWritable();
  if (r != 0) return r;
  if (record_[0] != '*') {
    record_[0] = '*';
    changed_ = true;
  }
  return 0;
}

int32_t Table::Recall() {
  int32_t r = CheckWritable();
  if (r != 0) return r;
  if (record_[0] != ' ') {
    record_[0] = ' ';
    changed_ = true;
  }
  return 0;
}

Status Table::LockBytes(uint64_t offset, uint64_t length, int32_t* result) {
  *result = 0;
  if (exclusive_) return Status::OK();  // no other process has the file open
  const int32_t attempts = std::max<int32_t>(1, context_->settings().lock_attempts);
  for (int32_t i = 0; i < attempts; i++) {
    Status s = file_->LockRange(offset, length, LockKind::kExclusive, LockWait::kNoWait);
    if (s.ok()) return s;
    if (!s.IsBusy()) return s;
    if (i + 1 < attempts) {
      std::this_thread::sleep_for(std::chrono::milliseconds(context_->settings().lock_retry_ms));
    }
  }
  *result = kResultLocked;
  return Status::OK();
}

int32_t Table::PrepareLock() {
  if (!context_->settings().single_lock) return WriteChanged();
  return context_->UnlockAll();
}

bool Table::RecordLocked(int32_t recno) const {
  return table_locked_ || (recno > 0 && locked_records_.count(static_cast<uint32_t>(recno)) != 0);
}

int32_t Table::LockRecord(int32_t recno) {
  if (recno < 1) return context_->ReportError(kErrRecordNumber, recno, "lock of record", path_.c_str());
  if (RecordLocked(recno)) return 0;
  int32_t r = PrepareLock();
  if (r != 0) return r;
  int32_t got = 0;
  Status s = LockBytes(RecordLockByte(static_cast<uint32_t>(recno)), 1, &got);
  if (!s.ok()) return Fail(kErrLock, s);
  if (got == 0) locked_records_.insert(static_cast<uint32_t>(recno));
  return got;
}

int32_t Table::LockTable() {
  if (table_locked_) return 0;
  int32_t r = PrepareLock();
  if (r != 0) return r;
  int32_t got = 0;
  Status s = LockBytes(TableLockStart(header_.header_length, header_.record_length),
                       TableLockLength(header_.header_length, header_.record_length), &got);
  if (!s.ok()) return Fail(kErrLock, s);
  table_locked_ = got == 0;
  return got;
}

int32_t Table::ReleaseLocks() {
  Status result;
  if (exclusive_) {
    locked_records_.clear();
    table_locked_ = false;
    return 0;
  }
  for (uint32_t recno : locked_records_) {
    Status s = file_->UnlockRange(RecordLockByte(recno), 1);
    if (result.ok()) result = s;
  }
  locked_records_.clear();
  if (table_locked_) {
    Status s = file_->UnlockRange(TableLockStart(header_.header_length, header_.record_length),
                                  TableLockLength(header_.header_length, header_.record_length));
    if (result.ok()) result = s;
    table_locked_ = false;
  }
  return result.ok() ? 0 : Fail(kErrLock, result);
}

int32_t Table::Unlock() {
  // A change that cannot be written keeps its locks: it is still pending.
  int32_t r = WriteChanged();
  if (r < 0) return r;
  return ReleaseLocks();
}

Field* Table::FieldByName(std::string_view name, bool report) {
  std::string key(name.substr(0, 10));
  const size_t n = fields_.size();
  const size_t first = distinct_names_ ? next_field_ : 0;
  for (size_t i = 0; i < n; ++i) {
    const size_t at = (first + i) % n;
    Field& f = fields_[at];
    if (f.type_ != '0' && EqualNoCase(f.name_, key)) {
      next_field_ = at + 1;
      return &f;
    }
  }
  if (report) {
    context_->ReportError(kErrFieldName, 0, key.c_str(), path_.c_str());
  }
  return nullptr;
}

Field* Table::FieldAt(int32_t position) {
  if (position < 1 || position > FieldCount()) return nullptr;
  return &fields_[static_cast<size_t>(position - 1)];
}

IndexFile* Table::OpenIndex(const std::string& given) {
  IndexOpener* opener = context_->index_opener();
  const std::string path = context_->file_system()->Resolve(WithExtension(given, ".cdx"));
  if (opener == nullptr) {
    context_->ReportError(kErrNoIndexSupport, 0, "open index", path.c_str());
    return nullptr;
  }
  std::unique_ptr<IndexFile> index;
  Status s = opener->Open(this, path, &index);
  if (!s.ok()) {
    if (!s.IsNotFound() || context_->settings().open_error) context_->ReportStatus(kErrIndex, s, path.c_str());
    return nullptr;
  }
  indexes_.push_back(std::move(index));
  return indexes_.back().get();
}

IndexFile* Table::CreateIndex(const std::string& given, const TagList& tags) {
  IndexOpener* opener = context_->index_opener();
  const std::string path = context_->file_system()->Resolve(WithExtension(given, ".cdx"));
  if (opener == nullptr) {
    context_->ReportError(kErrNoIndexSupport, 0, "create index", path.c_str());
    return nullptr;
  }
  if (read_only_) {
    context_->ReportError(kErrReadOnly, 0, "create index", path.c_str());
    return nullptr;
  }
  if (WriteChanged() < 0) return nullptr;
  std::unique_ptr<IndexFile> index;
  Status s = opener->Create(this, path, tags, &index);
  if (!s.ok()) {
    context_->ReportStatus(s.IsInvalidArgument() ? kErrExpression : kErrIndex, s, path.c_str());
    return nullptr;
  }
  indexes_.push_back(std::move(index));
  if (exclusive_ && context_->settings().defer_index) {
    deferred_.push_back(DeferredIndex{indexes_.size() - 1, tags});
  }
  return indexes_.back().get();
}

Tag* Table::TagByName(std::string_view name) {
  if (BuildDeferredIndexes() < 0) return nullptr;
  for (auto& index : indexes_) {
    if (Tag* t = index->FindTag(name)) return t;
  }
  std::string n(name);
  context_->ReportError(kErrTagName, 0, n.c_str(), path_.c_str());
  return nullptr;
}

int32_t Table::Seek(std::string_view key) {
  int32_t r = WriteChanged();
  if (r == 0) r = BuildDeferredIndexes();
  if (r < 0) return r;
  Tag* tag = selected_;
  if (tag == nullptr && !indexes_.empty() && indexes_[0]->TagCount() > 0) tag = indexes_[0]->TagAt(0);
  if (tag == nullptr) return context_->ReportError(kErrTagName, 0, "seek without a tag", path_.c_str());
  uint32_t recno = 0;
  int32_t result = 0;
  Status s = tag->Seek(key, &recno, &result);
  if (!s.ok()) return Fail(kErrIndex, s);
  return GoTag(recno, result);
}

int32_t Table::SeekNext(std::string_view key) {
  int32_t r = WriteChanged();
  if (r == 0) r = BuildDeferredIndexes();
  if (r < 0) return r;
  Tag* tag = selected_;
  if (tag == nullptr && !indexes_.empty() && indexes_[0]->TagCount() > 0) tag = indexes_[0]->TagAt(0);
  if (tag == nullptr) return context_->ReportError(kErrTagName, 0, "seek without a tag", path_.c_str());
  uint32_t recno = 0;
  int32_t result = 0;
  Status s = (recno_ == 0 || eof_) ? tag->Seek(key, &recno, &result)
                                   : tag->SeekNext(recno_, disk_image_.data(), key, &recno, &result);
  if (!s.ok()) return Fail(kErrIndex, s);
  return GoTag(recno, result);
}

Status Table::SetIndexFlag(bool on) {
  uint8_t flags = on ? (header_.table_flags | 0x01) : (header_.table_flags & ~0x01);
  if (flags == header_.table_flags) return Status::OK();
  header_.table_flags = flags;
  char b = static_cast<char>(flags);
  return file_->WriteAt(28, &b, 1);
}

}  // namespace pv
