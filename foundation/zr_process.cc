// The program's own path, directory creation, GUID texts, version texts and
// the list of handles closed at exit.
#include "foundation/zr_process.h"

#include <cstdio>
#include <string>

#include "foundation/platform/directory.h"
#include "foundation/platform/file.h"
#include "foundation/platform/process.h"
#include "foundation/zr_debug_output.h"

namespace {

constexpr uint32_t kMaxHandles = 1024;
ZrHandle* handle_vars[kMaxHandles];
uint32_t handle_count = 0;

std::string AppPath() {
  std::string path;
  pv::Status s = pv::ExecutablePath(&path);
  if (!s.ok()) {
    _DebugOutput(s.ToString().c_str());
    path.clear();
  }
  if (path.size() > kZrMaxPath - 1) path.resize(kZrMaxPath - 1);
  return path;
}

size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/:"); }

void CopyOut(const std::string& text, char* buffer) {
  std::snprintf(buffer, kZrMaxPath, "%s", text.c_str());
}

std::string AppFilename() {
  std::string path = AppPath();
  size_t sep = LastSeparator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string AppDir() {
  std::string path = AppPath();
  size_t sep = LastSeparator(path);
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

}  // namespace

void ZrGetAppPath(char* buffer) { CopyOut(AppPath(), buffer); }
void ZrGetAppPath(ZrString& path) { path = AppPath().c_str(); }
ZrString ZrGetAppPathEx() { return ZrString(AppPath().c_str()); }
void ZrGetAppFilename(char* buffer) { CopyOut(AppFilename(), buffer); }
void ZrGetAppFilename(ZrString& name) { name = AppFilename().c_str(); }
ZrString ZrGetAppFilenameEx() { return ZrString(AppFilename().c_str()); }
void ZrGetAppDir(char* buffer) { CopyOut(AppDir(), buffer); }
void ZrGetAppDir(ZrString& dir) { dir = AppDir().c_str(); }
ZrString ZrGetAppDirEx() { return ZrString(AppDir().c_str()); }

bool ZrCreateDirectory(const ZrString& path, bool last_is_file) {
  ZrString rest(path);
  ZrString built = rest.ExtractToken("/\\");
  while (!rest.IsEmpty()) {
    ZrString component = rest.ExtractToken("/\\");
    built += "\\";
    built += component;
    if (rest.IsEmpty() && last_is_file) break;
    if (pv::IsDirectory(built.GetText())) continue;
    pv::Status s = pv::MakeDirectory(built.GetText());
    if (!s.ok()) {
      _DebugOutput(s.ToString().c_str());
      return false;
    }
  }
  return true;
}

ZrGuid ZrCreateGuid() {
  ZrGuid guid;
  pv::Status s = pv::CreateGuid(&guid);
  if (!s.ok()) _DebugOutput(s.ToString().c_str());
  return guid;  // all zero on failure
}

static void FormatGuid(const ZrGuid& g, const char* format, char* buffer, size_t size) {
  std::snprintf(buffer, size, format, g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2],
                g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
}

void ZrGuid2String(const ZrGuid& guid, char* buffer) {
  FormatGuid(guid, "{%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}", buffer, 39);
}

ZrString ZrGuid2String(const ZrGuid& guid) {
  char buffer[39];
  ZrGuid2String(guid, buffer);
  return ZrString(buffer);
}

ZrString ZrGuid2Name(const ZrGuid& guid) {
  char buffer[38];
  FormatGuid(guid, "_%08X_%04X_%04x_%02X%02X_%02X%02X%02X%02X%02X%02X", buffer, sizeof buffer);
  return ZrString(buffer);
}

// The version resource of the running program (compiled-in texts on POSIX).
// A failure reads as version 0.0.0.0 and empty texts, reported on the debug
// output.
void ZrGetFileVersion(int32_t& major, int32_t& minor, int32_t& release, int32_t& build) {
  int32_t v[4] = {0, 0, 0, 0};
  pv::Status s = pv::OwnFileVersion(v);
  if (!s.ok()) _DebugOutput(s.ToString().c_str());
  major = v[0];
  minor = v[1];
  release = v[2];
  build = v[3];
}

void ZrGetProductVersion(int32_t& major, int32_t& minor, int32_t& release, int32_t& build) {
  ZrGetFileVersion(major, minor, release, build);
}

ZrString ZrGetFileVersion() {
  int32_t v[4];
  ZrGetFileVersion(v[0], v[1], v[2], v[3]);
  char text[48];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
  return ZrString(text);
}

ZrString ZrGetProductVersion() { return ZrGetFileVersion(); }

ZrString ZrGetFileInfoZrString(const char* key) {
  if (key == nullptr) return ZrString();
  std::string value;
  pv::Status s = pv::OwnVersionText(key, &value);
  if (!s.ok() && !s.IsNotFound()) _DebugOutput(s.ToString().c_str());
  return ZrString(value.c_str());
}

void ZrAddHandleToBeClosedAtExit(ZrHandle* handle_var) {
  if (handle_var == nullptr || handle_count >= kMaxHandles) return;
  for (uint32_t i = 0; i < handle_count; ++i) {
    if (*handle_vars[i] == *handle_var) return;
  }
  handle_vars[handle_count++] = handle_var;
}

void ZrRemoveHandleToBeClosedAtExit(ZrHandle* handle_var) {
  for (uint32_t i = 0; i < handle_count; ++i) {
    if (handle_vars[i] == handle_var) {
      handle_vars[i] = handle_vars[--handle_count];
      return;
    }
  }
}

void ZrCloseHandles() {
  for (uint32_t i = 0; i < handle_count; ++i) {
    if (*handle_vars[i] != nullptr) {
      delete *handle_vars[i];
      *handle_vars[i] = nullptr;
    }
  }
  handle_count = 0;
}

uint32_t ZrGetHandlesToBeClosedCount() { return handle_count; }
