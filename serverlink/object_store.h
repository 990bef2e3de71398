// ObjectStore: the object store file (format in store_document.h) shared by
// every process that opens it.
//
// Concurrency between processes: a companion file, the store's path + ".lock",
// carries one advisory lock over its whole range. Readers hold it shared while
// they check and, when the store changed, re-read it; writers hold it
// exclusive while they re-read, edit, and replace the store atomically
// (temporary file, sync, rename, directory sync). So no update is lost and a
// reader never sees a half-written file. The store is re-read only when its
// identity (inode, size, modification time) differs from the one last read.
//
// A store that has become malformed (edited by hand) makes every call fail
// until it is repaired; the last good contents are kept but not served.
//
// Thread safety: one ObjectStore is used by one thread at a time.
#ifndef PV_SERVERLINK_OBJECT_STORE_H_
#define PV_SERVERLINK_OBJECT_STORE_H_

#include <memory>
#include <string>
#include <string_view>

#include "foundation/platform/file.h"
#include "foundation/platform/file_identity.h"
#include "foundation/status.h"
#include "serverlink/store_document.h"

class ObjectStore {
 public:
  // Opens and reads the store at path. NotFound when it does not exist,
  // Corruption ("PATH: line N: ...") when it is malformed.
  static pv::Status Open(const std::string& path, std::unique_ptr<ObjectStore>* out);

  ObjectStore(const ObjectStore&) = delete;
  ObjectStore& operator=(const ObjectStore&) = delete;

  // Brings the contents up to date with the file. The returned document stays
  // valid until the next call on this store.
  pv::Status Read(const StoreDocument** doc);

  // Replaces an object's value (the value's type must be the object's).
  pv::Status Set(uint32_t number, const StoreValue& value);
  // Appends a new object; its number is returned through `number`.
  pv::Status Add(std::string_view name, const StoreValue& value, uint32_t* number);

  const std::string& path() const { return path_; }

 private:
  ObjectStore(std::string path, std::unique_ptr<pv::File> lock_file)
      : path_(std::move(path)), lock_file_(std::move(lock_file)) {}

  // REQUIRES: the lock is held (shared or exclusive).
  pv::Status ReloadIfChanged();
  // Runs edit on a copy of the current contents under the exclusive lock and
  // writes the result back.
  template <typename Edit>
  pv::Status Modify(Edit edit);

  const std::string path_;
  std::unique_ptr<pv::File> lock_file_;
  StoreDocument doc_;
  pv::FileIdentity identity_;
  bool loaded_ = false;
};

#endif  // PV_SERVERLINK_OBJECT_STORE_H_
