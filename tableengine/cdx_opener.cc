#include "tableengine/cdx_opener.h"

#include <algorithm>
#include <vector>

#include "tableengine/engine_file.h"
#include "tableengine/table.h"
#include "tableengine/table_record_view.h"

namespace pv {

namespace {

class CdxTagHandle;

// The records of a table read straight from its data file, so that building
// an index does not move the table's current record.
class TableRecords final : public CdxRecordSource {
 public:
  explicit TableRecords(Table* table) : table_(table), view_(table, nullptr, 0) {}

  Status RecordCount(uint32_t* count) override {
    int32_t n = table_->RecordCount();
    *count = n > 0 ? static_cast<uint32_t>(n) : 0;
    return Status::OK();
  }
  Status ReadRecord(uint32_t recno, const ExprRecord** view) override {
    const DbfHeader& h = table_->Header();
    const size_t width = static_cast<size_t>(table_->RecordWidth());
    if (recno < first_ || recno >= first_ + buffered_) {
      // Records are read in runs of about 256 KiB: a build or a check reads
      // the whole table in order.
      const size_t run = std::max<size_t>(1, (256 << 10) / width);
      buffer_.resize(run * width);
      size_t got = 0;
      uint64_t offset = h.header_length + static_cast<uint64_t>(recno - 1) * h.record_length;
      Status s = table_->DataFile()->ReadAt(offset, buffer_.size(), buffer_.data(), &got);
      if (!s.ok()) return s;
      first_ = recno;
      buffered_ = static_cast<uint32_t>(got / width);
      if (buffered_ == 0) {
        return Status::Corruption(table_->FileName() + ": record " + std::to_string(recno) +
                                  " beyond the end of the file");
      }
    }
    view_.Reset(buffer_.data() + static_cast<size_t>(recno - first_) * width, recno);
    *view = &view_;
    return Status::OK();
  }

 private:
  Table* table_;
  std::string buffer_;
  uint32_t first_ = 0;     // record number of the first buffered record
  uint32_t buffered_ = 0;  // records in buffer_
  TableRecordView view_;
};

class CdxIndexFile final : public IndexFile {
 public:
  CdxIndexFile(Table* table, std::unique_ptr<CdxIndex> index);

  const std::string& Path() const override { return index_->path(); }
  int32_t TagCount() const override { return static_cast<int32_t>(tags_.size()); }
  Tag* TagAt(int32_t i) override;
  Tag* FindTag(std::string_view name) override;
  Status RecordWritten(uint32_t recno, const char* old_image, const char* new_image) override {
    TableRecordView old_view(table_, old_image, recno), new_view(table_, new_image, recno);
    return index_->RecordWritten(recno, old_image != nullptr ? &old_view : nullptr, new_view);
  }
  Status Flush() override { return index_->file()->Flush(); }
  Status Close() override { return index_->Close(); }

  CdxIndex* index() { return index_.get(); }
  Table* table() { return table_; }

 private:
  Table* table_;
  std::unique_ptr<CdxIndex> index_;
  std::vector<std::unique_ptr<CdxTagHandle>> tags_;
};

class CdxTagHandle final : public Tag {
 public:
  CdxTagHandle(CdxIndexFile* owner, CdxTag* tag) : owner_(owner), tag_(tag) {}

  const std::string& Name() const override { return tag_->name(); }
  IndexFile* Index() const override { return owner_; }
  Status Top(uint32_t* recno) override { return tag_->Top(recno); }
  Status Bottom(uint32_t* recno) override { return tag_->Bottom(recno); }
  Status Skip(uint32_t recno, const char* image, int32_t count, uint32_t* recno_out,
              int32_t* moved) override {
    TableRecordView view(owner_->table(), image, recno);
    return tag_->Skip(recno, view, count, recno_out, moved);
  }
  Status Seek(std::string_view key, uint32_t* recno_out, int32_t* result) override {
    return tag_->Seek(key, recno_out, result);
  }
  Status SeekNext(uint32_t recno, const char* image, std::string_view key, uint32_t* recno_out,
                  int32_t* result) override {
    TableRecordView view(owner_->table(), image, recno);
    return tag_->SeekNext(recno, view, key, recno_out, result);
  }

 private:
  CdxIndexFile* owner_;
  CdxTag* tag_;
};

CdxIndexFile::CdxIndexFile(Table* table, std::unique_ptr<CdxIndex> index)
    : table_(table), index_(std::move(index)) {
  for (int32_t i = 0; i < index_->tag_count(); ++i) {
    tags_.push_back(std::make_unique<CdxTagHandle>(this, index_->tag(i)));
  }
}

Tag* CdxIndexFile::TagAt(int32_t i) {
  return i >= 0 && i < TagCount() ? tags_[static_cast<size_t>(i)].get() : nullptr;
}

Tag* CdxIndexFile::FindTag(std::string_view name) {
  CdxTag* t = index_->FindTag(name);
  if (t == nullptr) return nullptr;
  for (auto& h : tags_) {
    if (h->Name() == t->name()) return h.get();
  }
  return nullptr;
}

class CdxOpenerImpl final : public IndexOpener {
 public:
  Status Open(Table* table, const std::string& path, std::unique_ptr<IndexFile>* out) override {
    const EngineSettings& set = table->Context()->settings();
    OpenOptions o;
    o.write = !set.read_only;
    o.share_none = set.exclusive;
    std::unique_ptr<File> file;
    Status s = table->Context()->file_system()->Open(path, o, &file);
    if (!s.ok()) return s;
    TableRecordView schema(table, table->RecordBuffer(), 0);
    std::unique_ptr<CdxIndex> index;
    s = CdxIndex::Open(std::move(file), o.write, schema, &index, o.share_none);
    if (s.ok()) *out = std::make_unique<CdxIndexFile>(table, std::move(index));
    return s;
  }

  Status Create(Table* table, const std::string& path, const TagList& tags,
                std::unique_ptr<IndexFile>* out) override {
    std::vector<CdxTagSpec> specs;
    for (const TagDef& t : tags.tags()) {
      CdxUnique u = t.unique == UniqueMode::kUniqueSilent  ? CdxUnique::kSilent
                    : t.unique == UniqueMode::kUniqueError ? CdxUnique::kError
                                                           : CdxUnique::kKeep;
      specs.push_back(CdxTagSpec{t.name, t.expression, t.filter, u, t.descending});
    }
    OpenOptions o;
    o.write = o.create = o.truncate = true;
    o.share_none = table->Context()->settings().exclusive;
    std::unique_ptr<File> file;
    Status s = table->Context()->file_system()->Open(path, o, &file);
    if (!s.ok()) return s;
    TableRecordView schema(table, table->RecordBuffer(), 0);
    TableRecords records(table);
    std::unique_ptr<CdxIndex> index;
    s = CdxIndex::Create(std::move(file), specs, schema, &records, &index, o.share_none);
    if (s.ok()) s = table->SetIndexFlag(true);
    if (s.ok()) *out = std::make_unique<CdxIndexFile>(table, std::move(index));
    return s;
  }
};

}  // namespace

IndexOpener* CdxIndexOpener() {
  static CdxOpenerImpl* opener = new CdxOpenerImpl();
  return opener;
}

CdxIndex* CdxIndexOf(IndexFile* index) {
  auto* f = dynamic_cast<CdxIndexFile*>(index);
  return f != nullptr ? f->index() : nullptr;
}

Status CdxCheckTable(Table* table, std::vector<CdxTagReport>* reports, bool with_records) {
  reports->clear();
  for (const auto& file : table->Indexes()) {
    CdxIndex* index = CdxIndexOf(file.get());
    if (index == nullptr) continue;
    TableRecords records(table);
    std::vector<CdxTagReport> part;
    Status s = CdxCheck(index, with_records ? &records : nullptr, &part);
    if (!s.ok()) return s;
    reports->insert(reports->end(), part.begin(), part.end());
  }
  return Status::OK();
}

}  // namespace pv
