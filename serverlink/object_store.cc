#include "serverlink/object_store.h"

#include <utility>

namespace {

// Holds the lock file's lock for one scope. The lock covers the whole file
// (length 0), which stays empty.
class StoreLock {
 public:
  StoreLock(pv::File* file, pv::LockKind kind) : file_(file) {
    status_ = file_->LockRange(0, 0, kind, pv::LockWait::kBlock);
  }
  // An unlock can only fail on a file that is no longer open, whose locks are
  // gone with it; there is nothing left to undo, so its status is not kept.
  ~StoreLock() {
    if (status_.ok()) file_->UnlockRange(0, 0).IgnoreError();
  }
  const pv::Status& status() const { return status_; }

 private:
  pv::File* file_;
  pv::Status status_;
};

}  // namespace

pv::Status ObjectStore::Open(const std::string& path, std::unique_ptr<ObjectStore>* out) {
  // Refuse a missing store before the lock file is created beside it.
  pv::FileIdentity id;
  pv::Status st = pv::GetFileIdentity(path, &id);
  if (!st.ok()) return st;
  pv::OpenOptions options;
  options.write = true;
  options.create = true;
  std::unique_ptr<pv::File> lock_file;
  st = pv::OpenFile(path + ".lock", options, &lock_file);
  if (!st.ok()) return st;
  std::unique_ptr<ObjectStore> store(new ObjectStore(path, std::move(lock_file)));
  const StoreDocument* doc = nullptr;
  st = store->Read(&doc);
  if (!st.ok()) return st;
  *out = std::move(store);
  return pv::Status::OK();
}

pv::Status ObjectStore::ReloadIfChanged() {
  pv::FileIdentity id;
  pv::Status st = pv::GetFileIdentity(path_, &id);
  if (!st.ok()) return st;
  if (loaded_ && id == identity_) return pv::Status::OK();
  std::string text;
  st = pv::ReadWholeFile(path_, &text);
  if (!st.ok()) return st;
  StoreDocument doc;
  st = StoreDocument::Parse(text, &doc);
  if (!st.ok()) return pv::Status::Corruption(path_ + ": " + st.message());
  doc_ = std::move(doc);
  identity_ = id;
  loaded_ = true;
  return pv::Status::OK();
}

pv::Status ObjectStore::Read(const StoreDocument** doc) {
  StoreLock lock(lock_file_.get(), pv::LockKind::kShared);
  if (!lock.status().ok()) return lock.status();
  pv::Status st = ReloadIfChanged();
  if (!st.ok()) return st;
  *doc = &doc_;
  return pv::Status::OK();
}

template <typename Edit>
pv::Status ObjectStore::Modify(Edit edit) {
  StoreLock lock(lock_file_.get(), pv::LockKind::kExclusive);
  if (!lock.status().ok()) return lock.status();
  pv::Status st = ReloadIfChanged();
  if (!st.ok()) return st;
  StoreDocument doc = doc_;
  st = edit(&doc);
  if (!st.ok()) return st;
  st = pv::WriteFileAtomically(path_, doc.Serialize());
  if (!st.ok()) return st;
  doc_ = std::move(doc);
  // Our own write must not count as a change to re-read; should the identity
  // be unavailable, the next call simply re-reads.
  loaded_ = pv::GetFileIdentity(path_, &identity_).ok();
  return pv::Status::OK();
}

pv::Status ObjectStore::Set(uint32_t number, const StoreValue& value) {
  return Modify([&](StoreDocument* doc) { return doc->Set(number, value); });
}

pv::Status ObjectStore::Add(std::string_view name, const StoreValue& value, uint32_t* number) {
  return Modify([&](StoreDocument* doc) { return doc->Add(name, value, number); });
}
