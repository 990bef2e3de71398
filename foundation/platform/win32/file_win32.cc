// Win32 file layer.
//
// Sharing: every open shares reading, writing and deletion with other opens
// (so a file can be renamed over or removed while another process reads it);
// an open "without sharing" shares nothing, and Windows refuses it while any
// other handle is open, and any other open while it is held.
//
// Byte-range locks: Windows locks belong to the handle, as the table engine's
// cross-process protocol expects, but they are mandatory, never merge, cannot
// be converted between shared and exclusive, an exclusive lock conflicts with
// an overlapping lock of the same handle, and an unlock must name a locked
// range exactly. The engine is written to the POSIX rules (a lock over bytes
// this handle already holds succeeds; an unlock releases any part). So each
// handle keeps the pieces it has locked: a lock takes only the gaps between
// its own pieces of the same kind; converting a piece, or unlocking part of
// one, unlocks the whole piece and locks the parts that stay again. Those two
// rare cases are not atomic: another process can take the bytes in between.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "foundation/platform/file.h"
#include "foundation/platform/path_resolve.h"
#include "foundation/platform/path_resolve_internal.h"
#include "foundation/platform/win32/win32_error.h"

namespace pv {

namespace {

// A lock of length 0 reaches "to the end of any file", as on POSIX.
constexpr uint64_t kLockLimit = 0x7FFFFFFFFFFFFFFFull;

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED ov = {};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

class Win32File final : public File {
 public:
  Win32File(HANDLE h, std::string path, bool writable) : h_(h), path_(std::move(path)), writable_(writable) {}
  // An error here has no caller left to hear it (see file.h).
  ~Win32File() override { Close().IgnoreError(); }

  Status ReadAt(uint64_t offset, size_t n, char* buf, size_t* got) override {
    *got = 0;
    if (h_ == INVALID_HANDLE_VALUE) return Closed("read");
    while (*got < n) {
      OVERLAPPED ov = At(offset + *got);
      DWORD want = static_cast<DWORD>(std::min<size_t>(n - *got, 1u << 30));
      DWORD r = 0;
      if (!ReadFile(h_, buf + *got, want, &r, &ov)) {
        DWORD err = GetLastError();
        if (err == ERROR_HANDLE_EOF) break;
        return Win32Status("read", path_, err);
      }
      if (r == 0) break;
      *got += r;
    }
    return Status::OK();
  }

  Status WriteAt(uint64_t offset, const char* data, size_t n) override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("write");
    size_t done = 0;
    while (done < n) {
      OVERLAPPED ov = At(offset + done);
      DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
      DWORD w = 0;
      if (!WriteFile(h_, data + done, want, &w, &ov)) return Win32Status("write", path_, GetLastError());
      done += w;
    }
    return Status::OK();
  }

  Status Size(uint64_t* size) override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("stat");
    LARGE_INTEGER li;
    if (!GetFileSizeEx(h_, &li)) return Win32Status("stat", path_, GetLastError());
    *size = static_cast<uint64_t>(li.QuadPart);
    return Status::OK();
  }

  Status Truncate(uint64_t size) override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("truncate");
    FILE_END_OF_FILE_INFO info;
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(h_, FileEndOfFileInfo, &info, sizeof info)) {
      return Win32Status("truncate", path_, GetLastError());
    }
    return Status::OK();
  }

  Status Sync() override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("sync");
    // FlushFileBuffers needs write access; a handle without it has
    // written nothing that could wait in the cache.
    if (!writable_) return Status::OK();
    if (!FlushFileBuffers(h_)) return Win32Status("sync", path_, GetLastError());
    return Status::OK();
  }

  Status LockRange(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("lock");
    const uint64_t end = End(offset, length);
    std::lock_guard<std::mutex> l(mu_);
    // Pieces of the other kind are converted: released whole, the parts
    // outside this range locked again as they were.
    for (auto it = pieces_.begin(); it != pieces_.end();) {
      Piece p = it->second;
      if (p.end <= offset || p.start >= end || p.kind == kind) {
        ++it;
        continue;
      }
      it = pieces_.erase(it);
      Status s = ReleaseKeepingOutside(p, offset, end);
      if (!s.ok()) return s;
      it = pieces_.upper_bound(p.start);
    }
    // The gaps between this handle's own pieces.
    std::vector<std::pair<uint64_t, uint64_t>> gaps;
    uint64_t at = offset;
    for (const auto& [start, p] : pieces_) {
      if (p.end <= at) continue;
      if (start >= end) break;
      if (start > at) gaps.emplace_back(at, start);
      at = std::max(at, p.end);
    }
    if (at < end) gaps.emplace_back(at, end);
    for (size_t i = 0; i < gaps.size(); i++) {
      Status s = Take(gaps[i].first, gaps[i].second, kind, wait);
      if (!s.ok()) {
        for (size_t j = 0; j < i; j++) {
          pieces_.erase(gaps[j].first);
          OsUnlock(gaps[j].first, gaps[j].second).IgnoreError();  // undoing this call's own locks
        }
        return s;
      }
    }
    return Status::OK();
  }

  Status UnlockRange(uint64_t offset, uint64_t length) override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("unlock");
    const uint64_t end = End(offset, length);
    std::lock_guard<std::mutex> l(mu_);
    Status result;
    for (auto it = pieces_.begin(); it != pieces_.end();) {
      Piece p = it->second;
      if (p.end <= offset || p.start >= end) {
        ++it;
        continue;
      }
      it = pieces_.erase(it);
      Status s = ReleaseKeepingOutside(p, offset, end);
      if (result.ok()) result = s;
      it = pieces_.upper_bound(p.start);
    }
    return result;
  }

  Status Close() override {
    if (h_ == INVALID_HANDLE_VALUE) return Status::OK();
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    pieces_.clear();  // closing the handle releases its locks
    if (!CloseHandle(h)) return Win32Status("close", path_, GetLastError());
    return Status::OK();
  }

  const std::string& Path() const override { return path_; }

 private:
  struct Piece {
    uint64_t start;
    uint64_t end;
    LockKind kind;
  };

  static uint64_t End(uint64_t offset, uint64_t length) {
    if (length == 0 || length > kLockLimit - std::min(offset, kLockLimit)) return std::max(offset + 1, kLockLimit);
    return offset + length;
  }

  Status Closed(const char* op) { return Status::InvalidArgument(std::string(op) + " " + path_ + ": file is closed"); }

  // Locks [start, end) and records it as one piece.
  Status Take(uint64_t start, uint64_t end, LockKind kind, LockWait wait) {
    DWORD flags = (kind == LockKind::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) |
                  (wait == LockWait::kNoWait ? LOCKFILE_FAIL_IMMEDIATELY : 0);
    OVERLAPPED ov = At(start);
    const uint64_t n = end - start;
    if (!LockFileEx(h_, flags, 0, static_cast<DWORD>(n), static_cast<DWORD>(n >> 32), &ov)) {
      return Win32Status("lock", path_, GetLastError());
    }
    pieces_[start] = Piece{start, end, kind};
    return Status::OK();
  }

  // Unlocks a piece (already out of pieces_) and locks again its parts
  // outside [offset, end).
  Status ReleaseKeepingOutside(const Piece& p, uint64_t offset, uint64_t end) {
    Status s = OsUnlock(p.start, p.end);
    if (s.ok() && p.start < offset) s = Take(p.start, offset, p.kind, LockWait::kNoWait);
    if (s.ok() && p.end > end) s = Take(end, p.end, p.kind, LockWait::kNoWait);
    return s;
  }

  Status OsUnlock(uint64_t start, uint64_t end) {
    OVERLAPPED ov = At(start);
    const uint64_t n = end - start;
    if (!UnlockFileEx(h_, 0, static_cast<DWORD>(n), static_cast<DWORD>(n >> 32), &ov)) {
      return Win32Status("unlock", path_, GetLastError());
    }
    return Status::OK();
  }

  HANDLE h_;
  std::string path_;
  const bool writable_;
  std::mutex mu_;
  std::map<uint64_t, Piece> pieces_;  // by start; never overlapping; guarded by mu_
};

// The file layer's paths are Windows-1252 ("ANSI") texts: the A functions
// take them as they are. "/" is a separator to Windows as "\" is.
DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

}  // namespace

bool PathExistsExact(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

Status ListDirectoryExact(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  std::string pattern = dir.empty() ? std::string(".") : dir;
  if (pattern.back() != '/' && pattern.back() != '\\') pattern += '/';
  pattern += '*';
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND) return Status::OK();  // an empty drive root
    return Win32Status("list", dir, err);
  }
  do {
    if (std::strcmp(fd.cFileName, ".") == 0 || std::strcmp(fd.cFileName, "..") == 0) continue;
    names->emplace_back(fd.cFileName);
  } while (FindNextFileA(h, &fd));
  DWORD err = GetLastError();
  FindClose(h);
  if (err != ERROR_NO_MORE_FILES) return Win32Status("list", dir, err);
  return Status::OK();
}

Status OpenFile(const std::string& given, const OpenOptions& options, std::unique_ptr<File>* out) {
  out->reset();
  const std::string path = ResolvePath(given);
  DWORD access = GENERIC_READ | (options.write ? GENERIC_WRITE : 0);
  DWORD share = options.share_none ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  DWORD disposition = OPEN_EXISTING;
  if (options.create) disposition = options.exclusive ? CREATE_NEW : OPEN_ALWAYS;
  HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    if (err == ERROR_FILE_EXISTS) return Status::InvalidArgument("create " + path + ": file exists");
    if (err == ERROR_SHARING_VIOLATION) {
      return Status::Busy("open " + path + ": file is in use by another process");
    }
    return Win32Status("open", path, err);
  }
  // Truncation follows a granted open, so a refused open destroys nothing.
  if (options.truncate && options.write) {
    FILE_END_OF_FILE_INFO info = {};
    if (!SetFileInformationByHandle(h, FileEndOfFileInfo, &info, sizeof info)) {
      DWORD err = GetLastError();
      CloseHandle(h);
      return Win32Status("truncate", path, err);
    }
  }
  out->reset(new Win32File(h, path, options.write));
  return Status::OK();
}

Status RemoveFile(const std::string& given) {
  const std::string path = ResolvePath(given);
  if (!DeleteFileA(path.c_str())) return Win32Status("remove", path, GetLastError());
  return Status::OK();
}

Status RenameFile(const std::string& from_given, const std::string& to_given) {
  const std::string from = ResolvePath(from_given);
  const std::string to = ResolvePath(to_given);
  // The target may be open in another process: ours share deletion, so the
  // replace goes through; a reader that shares nothing (an editor, a virus
  // scanner) holds it for a moment, so a refused replace is tried again for
  // about a second before it fails.
  DWORD err = 0;
  for (int attempt = 0; attempt < 20; attempt++) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return Status::OK();
    }
    err = GetLastError();
    if (err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) break;
    Sleep(50);
  }
  return Win32Status("rename", from + " -> " + to, err);
}

std::string PathKey(const std::string& given) {
  const std::string path = ResolvePath(given);
  char buf[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  std::string full = n > 0 && n < sizeof buf ? std::string(buf, n) : path;
  if (!full.empty()) CharLowerBuffA(full.data(), static_cast<DWORD>(full.size()));
  std::replace(full.begin(), full.end(), '\\', '/');
  return full;
}

std::string PathForUtf8Library(const std::string& path) {
  if (path.empty()) return path;
  std::vector<wchar_t> wide(path.size() + 1);
  int wn = MultiByteToWideChar(1252, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                               static_cast<int>(wide.size()));
  std::string utf8(static_cast<size_t>(wn) * 3 + 1, '\0');
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wn, utf8.data(), static_cast<int>(utf8.size()), nullptr,
                              nullptr);
  utf8.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return utf8;
}

bool PathExists(const std::string& path) { return PathExistsExact(ResolvePath(path)); }

bool IsDirectory(const std::string& given) {
  DWORD a = Attributes(ResolvePath(given));
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Status ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  return ListDirectoryExact(ResolvePath(dir), names);
}

// Windows has no directory sync: a rename made with MOVEFILE_WRITE_THROUGH
// is on disk when it returns, and file creation is journalled by NTFS. The
// directory must still exist.
Status SyncDirectory(const std::string& given) {
  const std::string resolved = ResolvePath(given);
  const std::string dir = resolved.empty() ? std::string(".") : resolved;
  DWORD a = Attributes(dir);
  if (a == INVALID_FILE_ATTRIBUTES) return Win32Status("open", dir, GetLastError());
  if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0) return Status::IOError("sync " + dir + ": not a directory");
  return Status::OK();
}

}  // namespace pv
