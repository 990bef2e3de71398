// The vendor ZIP library's operations over libzip. See zip_adapter.h for the
// guarantees; this file adds how they are met:
//
// - libzip reads the archive's directory at zip_open and writes nothing until
//   zip_close, which writes the whole new archive into "<archive>.XXXXXX"
//   (mkstemp) and renames it over the archive. It never syncs, so we sync
//   the archive and its directory afterwards. When zip_close fails, libzip
//   removes its temporary file itself; only a killed process leaves one.
// - Members are deflated by libdeflate (zip_deflate_source.h) and handed
//   to libzip already compressed; libzip encrypts and writes them.
// - libzip reports most failures only at zip_close: a missing or read-only
//   directory as ZIP_ER_TMPOPEN, a full disk or a file-size limit as
//   ZIP_ER_WRITE. ToXzError maps its codes to our stable numbers, in one place.
#include "app/zip_adapter.h"

#include <zip.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/archive_manifest.h"
#include "app/run_phases.h"
#include "app/zip_deflate_source.h"
#include "foundation/platform/file.h"
#include "foundation/platform/named_mutex.h"
#include "foundation/platform/path_resolve.h"
#include "foundation/zr_debug_output.h"

namespace {

// libzip's temporary file is the archive name, a dot and six characters
// (mkstemp, POSIX) or eight hexadecimal digits (Windows).
constexpr size_t kTempSuffixLength = 7;
constexpr size_t kTempHexSuffixLength = 9;

std::mutex g_init_mutex;
int32_t g_init_count = 0;

bool LibraryUp() {
  std::lock_guard<std::mutex> lock(g_init_mutex);
  return g_init_count > 0;
}

int32_t ToXzError(int zip_error) {
  switch (zip_error) {
    case ZIP_ER_OK:
      return kXzSuccess;
    case ZIP_ER_TMPOPEN:
      return kXzErrCannotCreate;
    case ZIP_ER_WRITE:
    case ZIP_ER_CLOSE:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL:
      return kXzErrWriteFailed;
    case ZIP_ER_RENAME:
      return kXzErrReplaceFailed;
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_NOENT:
      return kXzErrSourceUnreadable;
    case ZIP_ER_NOZIP:
    case ZIP_ER_INCONS:
    case ZIP_ER_MULTIDISK:
    case ZIP_ER_CRC:
    case ZIP_ER_EOF:
    case ZIP_ER_COMPRESSED_DATA:
      return kXzErrArchiveUnreadable;
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_COMPNOTSUPP:
      return kXzErrEncryption;
    case ZIP_ER_MEMORY:
      return kXzErrOutOfMemory;
    default:
      return kXzErrInternal;
  }
}

zip_uint16_t ToZipMethod(XzEncryption method) {
  switch (method) {
    case XzEncryption::kAes128:
      return ZIP_EM_AES_128;
    case XzEncryption::kZipCrypto:
      return ZIP_EM_TRAD_PKWARE;
    case XzEncryption::kAes256:
      break;
  }
  return ZIP_EM_AES_256;
}

// Splits a resolved path ("/" separated) into directory (with its trailing
// "/", or "" for the working directory) and file name.
void SplitPath(const std::string& path, std::string* dir, std::string* name) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    dir->clear();
    *name = path;
  } else {
    *dir = path.substr(0, slash + 1);
    *name = path.substr(slash + 1);
  }
}

// The member name for a file path: its last component, or with preserved
// paths the whole path without drive letter and leading separators.
std::string MemberName(const std::string& files, bool preserve_paths) {
  std::string path = files;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (!preserve_paths) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
  if (path.size() >= 2 && path[1] == ':') path.erase(0, 2);
  const size_t first = path.find_first_not_of('/');
  return first == std::string::npos ? std::string() : path.substr(first);
}

// The mutex that serialises updates in one directory: a hash of the
// directory's key (one spelling for every way of writing it) keeps the name
// short and free of separators.
std::string DirectoryMutexName(const std::string& dir) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a, 64 bits
  for (unsigned char c : pv::PathKey(dir.empty() ? std::string("./") : dir)) {
    hash = (hash ^ c) * 1099511628211ull;
  }
  char text[40];
  std::snprintf(text, sizeof text, "PV_ZIPDIR_%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// Removes the temporary files that killed updates of this archive left:
// archive name + "." + six characters, or + "." + eight hexadecimal digits.
bool IsTempOf(const std::string& n, const std::string& archive_name) {
  const size_t base = archive_name.size();
  if (n.size() <= base || n.compare(0, base, archive_name) != 0 || n[base] != '.') return false;
  if (n.size() == base + kTempSuffixLength) return true;
  return n.size() == base + kTempHexSuffixLength &&
         n.find_first_not_of("0123456789abcdefABCDEF", base + 1) == std::string::npos;
}

void RemoveLeftoverTempFiles(const std::string& dir, const std::string& archive_name) {
  std::vector<std::string> names;
  if (!pv::ListDirectory(dir.empty() ? "." : dir, &names).ok()) return;
  for (const std::string& n : names) {
    if (IsTempOf(n, archive_name) && !pv::IsDirectory(dir + n)) {
      pv::RemoveFile(dir + n).IgnoreError();  // a failure leaves a harmless file behind
    }
  }
}

// The right to update one archive, for the lifetime of the object: the
// archive's path resolved, its directory's named mutex held, and the
// directory cleared of what killed updates left.
class ArchiveLock {
 public:
  explicit ArchiveLock(const std::string& zip_path) : archive_(pv::ResolvePath(zip_path)) {
    std::string archive_name;
    SplitPath(archive_, &dir_, &archive_name);
    if (!pv::NamedMutex::Open(DirectoryMutexName(dir_), &mutex_).ok()) return;
    // An abandoned mutex is fine: the killed holder's temporary file is
    // removed next, and the archive itself was never half written.
    locked_ = mutex_->Lock(XzTestSeams().directory_wait_ms).ok();
    if (locked_) RemoveLeftoverTempFiles(dir_, archive_name);
  }
  // An unlock that fails leaves the mutex to the system, which releases it
  // with the process; the next updater then finds it abandoned.
  ~ArchiveLock() {
    if (locked_) mutex_->Unlock().IgnoreError();
  }
  ArchiveLock(const ArchiveLock&) = delete;
  ArchiveLock& operator=(const ArchiveLock&) = delete;

  bool locked() const { return locked_; }
  const std::string& archive() const { return archive_; }
  const std::string& dir() const { return dir_; }

 private:
  std::string archive_;
  std::string dir_;
  std::unique_ptr<pv::NamedMutex> mutex_;
  bool locked_ = false;
};

// The real sync step of XzSeams.
pv::Status SyncPath(const std::string& path, bool directory) {
  if (directory) return pv::SyncDirectory(path);
  std::unique_ptr<pv::File> file;
  pv::Status s = pv::OpenFile(path, pv::OpenOptions(), &file);
  return s.ok() ? file->Sync() : s;
}

// Makes a finished update durable. The archive may be gone (an update that
// removed its last member); then only the directory entry matters.
int32_t SyncArchive(const std::string& archive, const std::string& dir) {
  const XzSeams& seams = XzTestSeams();
  if (pv::PathExists(archive) && !seams.sync(archive, false).ok()) return kXzErrSyncFailed;
  if (!seams.sync(dir.empty() ? "." : dir, true).ok()) return kXzErrSyncFailed;
  return kXzSuccess;
}

// Writes the changes made to an open archive and releases it in any case;
// once the archive is durable, rewrites its day manifest (changed_member: the
// member just written, "" after a removal).
int32_t CloseArchive(zip_t* za, const std::string& archive, const std::string& dir,
                     const std::string& password, const std::string& changed_member) {
  RunPhaseTimer zip_time(RunPhase::kZip);
  if (XzTestSeams().before_commit != nullptr) XzTestSeams().before_commit(archive);
  if (zip_close(za) != 0) {
    const int32_t error = ToXzError(zip_error_code_zip(zip_get_error(za)));
    zip_discard(za);
    return error;
  }
  zip_time.Stop();
  RunPhaseTimer sync_time(RunPhase::kSync);  // the manifest included
  const int32_t synced = SyncArchive(archive, dir);
  if (synced != kXzSuccess) return synced;
  std::string why;
  if (!UpdateArchiveManifest(archive, dir, password, changed_member, &why)) {
    _DebugOutput(("Manifest not written: " + why).c_str());  // the reason, for the debug log
    return kXzErrManifest;
  }
  return kXzSuccess;
}

}  // namespace

XzSeams& XzTestSeams() {
  static XzSeams seams{.sync = SyncPath};
  return seams;
}

struct XzInstance {
  std::string password;
  XzEncryption method = XzEncryption::kAes256;
  int32_t level = 9;
  bool preserve_paths = false;
  std::string zip_path;
  std::string files;
};

bool XzParseEncryption(const char* text, XzEncryption* method) {
  if (text == nullptr) return false;
  const std::string t(text);
  if (pv::EqualNoCase(t, "AES256")) {
    *method = XzEncryption::kAes256;
  } else if (pv::EqualNoCase(t, "AES128")) {
    *method = XzEncryption::kAes128;
  } else if (pv::EqualNoCase(t, "ZIPCRYPTO")) {
    *method = XzEncryption::kZipCrypto;
  } else {
    return false;
  }
  return true;
}

int32_t XceedZipInitDLL() {
  if (!zip_encryption_method_supported(ZIP_EM_AES_256, 1)) return 0;
  std::lock_guard<std::mutex> lock(g_init_mutex);
  ++g_init_count;
  return 1;
}

void XceedZipShutdownDLL() {
  std::lock_guard<std::mutex> lock(g_init_mutex);
  if (g_init_count > 0) --g_init_count;
}

XzHandle XzCreateXceedZipA() { return LibraryUp() ? new XzInstance : nullptr; }

void XzDestroyXceedZip(XzHandle handle) { delete handle; }

void XzSetEncryptionPasswordA(XzHandle handle, const char* password) {
  if (handle != nullptr) handle->password = password != nullptr ? password : "";
}

void XzSetEncryptionMethod(XzHandle handle, XzEncryption method) {
  if (handle != nullptr) handle->method = method;
}

void XzSetCompressionLevel(XzHandle handle, int32_t level) {
  if (handle != nullptr) handle->level = level < 0 ? 0 : (level > 9 ? 9 : level);
}

void XzSetPreservePaths(XzHandle handle, bool preserve) {
  if (handle != nullptr) handle->preserve_paths = preserve;
}

void XzSetZipFilenameA(XzHandle handle, const char* zip_path) {
  if (handle != nullptr) handle->zip_path = zip_path != nullptr ? zip_path : "";
}

void XzSetFilesToProcessA(XzHandle handle, const char* files) {
  if (handle != nullptr) handle->files = files != nullptr ? files : "";
}

int32_t XzZip(XzHandle handle) {
  if (handle == nullptr || !LibraryUp()) return kXzErrBadHandle;
  if (handle->zip_path.empty() || handle->files.empty()) return kXzErrNothingToDo;
  const std::string member = MemberName(handle->files, handle->preserve_paths);
  if (member.empty()) return kXzErrNothingToDo;
  const zip_uint16_t method = ToZipMethod(handle->method);
  if (!handle->password.empty() && !zip_encryption_method_supported(method, 1)) {
    return kXzErrEncryption;
  }

  const std::string source = pv::ResolvePath(handle->files);
  {
    std::unique_ptr<pv::File> probe;
    if (!pv::OpenFile(source, pv::OpenOptions(), &probe).ok()) return kXzErrSourceUnreadable;
  }
  ArchiveLock lock(handle->zip_path);
  if (!lock.locked()) return kXzErrBusy;
  const std::string& archive = lock.archive();
  const std::string& dir = lock.dir();

  int open_error = 0;
  zip_t* za = zip_open(pv::PathForUtf8Library(archive).c_str(), ZIP_CREATE, &open_error);
  if (za == nullptr) {
    // An archive that exists but cannot be read is not ours to overwrite.
    // One that does not exist failed on its directory: Windows reports a
    // missing directory here already, POSIX only for the temporary file.
    if (!pv::PathExists(archive)) return kXzErrCannotCreate;
    const int32_t error = ToXzError(open_error);
    return error == kXzErrSourceUnreadable ? kXzErrArchiveUnreadable : error;
  }
  // Deflated members come already compressed (zip_deflate_source.h); libzip
  // stores them as they are and encrypts them.
  zip_source_t* src = handle->level == 0 ? zip_source_file(za, pv::PathForUtf8Library(source).c_str(), 0, 0)
                                         : DeflatedFileSource(za, source, handle->level);
  zip_int64_t index = -1;
  if (src != nullptr) {
    index = zip_file_add(za, member.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_GUESS);
    if (index < 0) zip_source_free(src);
  }
  const bool staged =
      index >= 0 &&
      zip_set_file_compression(za, static_cast<zip_uint64_t>(index),
                               handle->level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                               static_cast<zip_uint32_t>(handle->level)) == 0 &&
      (handle->password.empty() ||
       zip_file_set_encryption(za, static_cast<zip_uint64_t>(index), method,
                               handle->password.c_str()) == 0);
  if (!staged) {
    const int32_t error = ToXzError(zip_error_code_zip(zip_get_error(za)));
    zip_discard(za);
    return error == kXzSuccess ? kXzErrInternal : error;
  }
  return CloseArchive(za, archive, dir, handle->password, member);
}

int32_t XzRemoveFiles(XzHandle handle) {
  if (handle == nullptr || !LibraryUp()) return kXzErrBadHandle;
  if (handle->zip_path.empty() || handle->files.empty()) return kXzErrNothingToDo;
  const std::string member = MemberName(handle->files, handle->preserve_paths);
  ArchiveLock lock(handle->zip_path);
  if (!lock.locked()) return kXzErrBusy;
  const std::string& archive = lock.archive();
  const std::string& dir = lock.dir();

  int open_error = 0;
  zip_t* za = zip_open(pv::PathForUtf8Library(archive).c_str(), 0, &open_error);
  if (za == nullptr) {
    return open_error == ZIP_ER_NOENT || open_error == ZIP_ER_OPEN ? kXzErrNoMember
                                                                   : kXzErrArchiveUnreadable;
  }
  const zip_int64_t index = zip_name_locate(za, member.c_str(), ZIP_FL_ENC_GUESS);
  if (index < 0) {
    zip_discard(za);
    return kXzErrNoMember;
  }
  if (zip_delete(za, static_cast<zip_uint64_t>(index)) != 0) {
    zip_discard(za);
    return kXzErrInternal;
  }
  return CloseArchive(za, archive, dir, handle->password, "");
}
