// The ZIP compression library as the archive job calls it: the operation
// names of the original vendor library, realised over libzip.
//
// Use: XceedZipInitDLL once, XzCreateXceedZipA for an instance, the setters,
// then XzZip (add the file to process as a member) or XzRemoveFiles (remove
// the member named by the file name given), XzDestroyXceedZip, and
// XceedZipShutdownDLL. The library may be brought up and shut down any number
// of times; instances must be destroyed before the last shutdown.
//
// What an update guarantees:
//   - Members are stored under their bare file names (unless preserve-paths is
//     set), deflated at the instance's compression level (default 9); a
//     member of the same name is replaced, every other member kept.
//   - The archive is rewritten into a temporary file beside it (archive name
//     + "." + six characters) that is renamed over it, so a failed or killed
//     update leaves the previous archive whole. The archive and its directory
//     are synced before XzZip reports success. Temporary files left by a
//     killed update are removed by the next update of that archive.
//   - A non-empty password encrypts the added member (WinZip AES-256 unless
//     XzSetEncryptionMethod chose otherwise); an empty one stores it
//     unencrypted.
//   - After each successful update the archive's day manifest
//     (archive_manifest.h) is rewritten atomically; when that fails the update
//     reports kXzErrManifest and is retried like any failed run.
//   - Updates of archives in one directory are serialised across processes by
//     a named mutex derived from the directory, because libzip does no
//     locking and the last of two concurrent writers would win.
//
// Paths are resolved by the platform layer ("\" separates, existing
// components are found without regard to case).
//
// Thread safety: an instance belongs to one thread; init/shutdown are
// counted under a process-wide lock.
#ifndef PV_APP_ZIP_ADAPTER_H_
#define PV_APP_ZIP_ADAPTER_H_

#include <cstdint>
#include <string>

#include "foundation/status.h"

// Error numbers of XzZip and XzRemoveFiles. They are published on the server's
// error object, so their values never change; new ones get new numbers.
constexpr int32_t kXzSuccess = 0;
constexpr int32_t kXzErrBadHandle = 1;           // null instance, or the library is not up
constexpr int32_t kXzErrNothingToDo = 2;         // no archive name or no file to process
constexpr int32_t kXzErrSourceUnreadable = 3;    // the file to add cannot be opened or read
constexpr int32_t kXzErrArchiveUnreadable = 4;   // the existing archive cannot be read or is no ZIP file
constexpr int32_t kXzErrCannotCreate = 5;        // no temporary file in the archive's directory
                                                 // (missing or read-only directory)
constexpr int32_t kXzErrWriteFailed = 6;         // writing the new archive failed (disk full, size limit)
constexpr int32_t kXzErrReplaceFailed = 7;       // the new archive could not be renamed over the old
constexpr int32_t kXzErrSyncFailed = 8;          // the new archive or its directory could not be synced
constexpr int32_t kXzErrEncryption = 9;          // the encryption method is not available
constexpr int32_t kXzErrBusy = 10;               // another process kept the directory's mutex too long
constexpr int32_t kXzErrNoMember = 11;           // XzRemoveFiles: no member of that name
constexpr int32_t kXzErrOutOfMemory = 12;
constexpr int32_t kXzErrManifest = 13;           // the archive is in place, but its day manifest
                                                 // (archive_manifest.h) could not be written
constexpr int32_t kXzErrInternal = 99;           // any other library failure

// Error numbers of an archive run that fails before the ZIP library is asked,
// published on the same error object; a range of their own above the
// library's. Such a run writes no member and is retried like a failed XzZip.
constexpr int32_t kRunErrNoProjectCode = 100;    // no project code and "ZipEncryption" is not NONE
constexpr int32_t kRunErrPlantUnreadable = 101;  // the plant table cannot be opened or read
constexpr int32_t kRunErrInterimWrite = 102;     // the interim table cannot be created or written

enum class XzEncryption : int32_t {
  kAes256,     // WinZip AES, 256-bit key (the default)
  kAes128,     // WinZip AES, 128-bit key
  kZipCrypto,  // traditional PKWARE encryption, for old tools; weak
};

// Reads an encryption name, "AES256", "AES128" or "ZIPCRYPTO" without regard
// to case. False (and *method unchanged) for anything else.
bool XzParseEncryption(const char* text, XzEncryption* method);

struct XzInstance;
using XzHandle = XzInstance*;

// Brings the library up. Non-zero on success; zero when libzip cannot encrypt
// with AES (a build without crypto support).
int32_t XceedZipInitDLL();
// Takes the library down again (counted: each successful init needs one).
void XceedZipShutdownDLL();

// A new instance, or null when the library is not up.
XzHandle XzCreateXceedZipA();
void XzDestroyXceedZip(XzHandle handle);

void XzSetEncryptionPasswordA(XzHandle handle, const char* password);
void XzSetEncryptionMethod(XzHandle handle, XzEncryption method);
// 0 stores members uncompressed; 1 to 9 deflate (values outside are clamped).
void XzSetCompressionLevel(XzHandle handle, int32_t level);
void XzSetPreservePaths(XzHandle handle, bool preserve);
void XzSetZipFilenameA(XzHandle handle, const char* zip_path);
// XzZip: the full path of the file to add. XzRemoveFiles: the member name.
void XzSetFilesToProcessA(XzHandle handle, const char* files);

// Adds the file to process to the archive, creating the archive when it does
// not exist. kXzSuccess or one of the error numbers above.
int32_t XzZip(XzHandle handle);
// Removes the member named by the file name given. An archive left
// without members is deleted. kXzErrNoMember when there is no such member
// (the archive is left untouched).
int32_t XzRemoveFiles(XzHandle handle);

// Replaceable steps of an update, so that tests can make the steps that real
// disks and processes rarely fail fail on demand. The defaults are the real
// steps. Change them only while no update runs, and restore them after.
struct XzSeams {
  // Called after libzip has read the archive and before it writes the new
  // archive and renames it over the old one.
  void (*before_commit)(const std::string& archive) = nullptr;
  // Makes a file (directory false) or a directory durable.
  pv::Status (*sync)(const std::string& path, bool directory);
  // How long an update waits for another process's update in the same
  // directory before it gives up with kXzErrBusy.
  uint32_t directory_wait_ms = 30000;
};
XzSeams& XzTestSeams();

#endif  // PV_APP_ZIP_ADAPTER_H_
