// Process utilities: INI profile reads, the program's own path, recursive
// directory creation, GUID texts, version texts, handles closed at exit, the
// machine-wide library lock "ZRCRITSEC", and the synchronisation wrappers
// ZrEventSem and ZrNamedMutexSem.
//
// Profile files follow the Windows rules: section and key names compared
// without case; the value is the text after "=" with surrounding blanks
// removed and one pair of enclosing quotes stripped; lines starting with ";"
// are comments; the first matching section and key win (a later section of
// the same name is not read).
//
// Version information is the program's version resource on Windows and the
// same texts compiled in on POSIX (product "Packvault", the build's version
// as file and product version, a copyright text); the keys "ProductName",
// "FileVersion", "ProductVersion", "FileDescription", "CompanyName" and
// "LegalCopyright" have values, every other key is "".
//
// Thread safety: the handle list and the library lock set-up are meant for
// start-up and end of the program (one thread).
#ifndef PV_FOUNDATION_ZR_PROCESS_H_
#define PV_FOUNDATION_ZR_PROCESS_H_

#include <cstdint>
#include <memory>

#include "foundation/platform/guid.h"
#include "foundation/zr_string.h"

namespace pv {
class NamedMutex;
class Event;
}  // namespace pv

constexpr uint32_t kZrMaxPath = 260;  // bytes of a path buffer, terminator included

// At most 511 characters; a null default counts as "".
ZrString ZrGetProfileString(const char* section, const char* key, const char* default_value,
                            const char* ini_file);
// Leading decimal digits with an optional sign ("0x" hexadecimal); a value
// without digits gives 0, a missing key or file the default.
int32_t ZrGetProfileInt(const char* section, const char* key, int32_t default_value,
                        const char* ini_file);

// The executable's full path, its base name and extension, and its directory
// ending with the separator ("/" on POSIX). Buffers hold kZrMaxPath bytes;
// longer paths are cut.
void ZrGetAppPath(char* buffer);
void ZrGetAppPath(ZrString& path);
ZrString ZrGetAppPathEx();
void ZrGetAppFilename(char* buffer);
void ZrGetAppFilename(ZrString& name);
ZrString ZrGetAppFilenameEx();
void ZrGetAppDir(char* buffer);
void ZrGetAppDir(ZrString& dir);
ZrString ZrGetAppDirEx();

// Creates every missing directory of path ("\" or "/" separated). The first
// component (a drive, or "" before a leading separator) is taken as given.
// With last_is_file the last component is a file name and is not created.
// True when every directory exists afterwards.
bool ZrCreateDirectory(const ZrString& path, bool last_is_file);

using ZrGuid = pv::Guid;
// A new GUID; all zero when the OS cannot make one.
ZrGuid ZrCreateGuid();
// "{XXXXXXXX-XXXX-xxxx-XXXX-XXXXXXXXXXXX}" (38 characters; the third group in
// lower case); the buffer form needs 39 bytes.
ZrString ZrGuid2String(const ZrGuid& guid);
void ZrGuid2String(const ZrGuid& guid, char* buffer);
// "_XXXXXXXX_XXXX_xxxx_XXXX_XXXXXXXXXXXX" (37 characters), an identifier.
ZrString ZrGuid2Name(const ZrGuid& guid);

void ZrGetFileVersion(int32_t& major, int32_t& minor, int32_t& release, int32_t& build);
void ZrGetProductVersion(int32_t& major, int32_t& minor, int32_t& release, int32_t& build);
// "major.minor.release.build".
ZrString ZrGetFileVersion();
ZrString ZrGetProductVersion();
ZrString ZrGetFileInfoZrString(const char* key);

// Handles: owned OS objects that ZrCloseHandles can close. A handle variable
// holds one (or null); closing deletes the object.
class ZrHandleObject {
 public:
  virtual ~ZrHandleObject() = default;
};
using ZrHandle = ZrHandleObject*;

// Registers the variable at handle_var unless a registered variable already
// holds the same handle; nothing happens when 1024 are registered.
void ZrAddHandleToBeClosedAtExit(ZrHandle* handle_var);
// Forgets a registered variable (its owner goes away before the end).
void ZrRemoveHandleToBeClosedAtExit(ZrHandle* handle_var);
// Closes every registered variable's handle and sets the variable to null;
// the list is then empty.
void ZrCloseHandles();
uint32_t ZrGetHandlesToBeClosedCount();

// The machine-wide library lock, the named mutex "ZRCRITSEC".
void ZrInitCritSec();
void ZrEnterCritSec();
void ZrExitCritSec();
void ZrCloseCritSec();

// An object that may live in memory shared by several processes: its handle
// is closed only by the process that created it.
class ZrSharedObject {
 public:
  ZrSharedObject() = default;
  virtual ~ZrSharedObject();
  ZrSharedObject(const ZrSharedObject&) = delete;
  ZrSharedObject& operator=(const ZrSharedObject&) = delete;

 protected:
  ZrHandle handle_ = nullptr;
  uint32_t creator_process_ = 0;
};

// A manual-reset event, created unsignalled.
class ZrEventSem : public ZrSharedObject {
 public:
  explicit ZrEventSem(bool close_at_exit);
  // True when the event is (or becomes) set within ms; false on time-out or
  // when the event is gone (closed at exit).
  bool Wait(uint32_t ms);
  void Set();
  void Reset();

 private:
  pv::Event* Event() const;
};

// A named machine-wide mutex, opened or created unowned.
class ZrNamedMutexSem {
 public:
  explicit ZrNamedMutexSem(const char* name);
  ~ZrNamedMutexSem();
  ZrNamedMutexSem(const ZrNamedMutexSem&) = delete;
  ZrNamedMutexSem& operator=(const ZrNamedMutexSem&) = delete;

  bool IsValid() const { return mutex_ != nullptr; }
  // True when acquired within ms (also when the previous owner died holding
  // it); 0xFFFFFFFF waits without limit.
  bool Wait(uint32_t ms);
  // False when the calling thread does not own it.
  bool Release();

 private:
  std::unique_ptr<pv::NamedMutex> mutex_;
};

#endif  // PV_FOUNDATION_ZR_PROCESS_H_
