#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "foundation/platform/process.h"

namespace pv {
namespace {

// The same texts as foundation/version.rc.in, the Windows version resource.
#define PV_STR2(x) #x
#define PV_STR(x) PV_STR2(x)
constexpr char kVersionText[] =
    PV_STR(PV_VERSION_MAJOR) "." PV_STR(PV_VERSION_MINOR) "." PV_STR(PV_VERSION_PATCH) ".0";

struct VersionValue {
  const char* key;
  const char* value;
};

constexpr VersionValue kVersionValues[] = {
    {"ProductName", "Packvault"},
    {"FileDescription", "Packvault plant log archiver"},
    {"CompanyName", "Packvault"},
    {"FileVersion", kVersionText},
    {"ProductVersion", kVersionText},
    {"LegalCopyright", "Copyright (C) 2026 Packvault developers"},
};

}  // namespace

Status ExecutablePath(std::string* path) {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n < 0) return Status::IOError(std::string("readlink /proc/self/exe: ") + std::strerror(errno));
  if (static_cast<size_t>(n) >= buf.size()) return Status::IOError("readlink /proc/self/exe: path too long");
  path->assign(buf.data(), static_cast<size_t>(n));
  return Status::OK();
}

Status UserName(std::string* name) {
  struct passwd pw;
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  int rc = getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found);
  if (rc == 0 && found != nullptr) {
    *name = found->pw_name;
    return Status::OK();
  }
  // Containers often run under a uid without a passwd entry.
  if (const char* env = getenv("LOGNAME"); env != nullptr && *env != '\0') {
    *name = env;
    return Status::OK();
  }
  if (const char* env = getenv("USER"); env != nullptr && *env != '\0') {
    *name = env;
    return Status::OK();
  }
  return Status::NotFound("user name of uid " + std::to_string(geteuid()) + ": " +
                          (rc != 0 ? std::strerror(rc) : "no passwd entry"));
}

Status OwnFileVersion(int32_t (&number)[4]) {
  number[0] = PV_VERSION_MAJOR;
  number[1] = PV_VERSION_MINOR;
  number[2] = PV_VERSION_PATCH;
  number[3] = 0;  // the build number is not used
  return Status::OK();
}

Status OwnVersionText(const char* key, std::string* value) {
  for (const VersionValue& v : kVersionValues) {
    if (std::strcmp(v.key, key) == 0) {
      *value = v.value;
      return Status::OK();
    }
  }
  return Status::NotFound(std::string("version text ") + key);
}

Status PeakResidentBytes(uint64_t* bytes) {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return Status::IOError(std::string("getrusage: ") + std::strerror(errno));
  *bytes = static_cast<uint64_t>(usage.ru_maxrss) * 1024u;  // Linux counts in KiB
  return Status::OK();
}

int32_t LastOsError() { return errno; }

void SetLastOsError(int32_t error) { errno = error; }

}  // namespace pv
