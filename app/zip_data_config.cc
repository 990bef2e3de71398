// ZipData's configuration: the INI section "Packvault" of kestrel.ini.
//
//   MoDrv              destination root (required), a plain path prefix
//   WriteInterval      hours per interval: 1, 2, 3, 4, 6, 8, 12 or 24 (default 24)
//   CheckTimeInterval  minutes between checks: 1 to 30 (default 10)
//   ZipEncryption      AES256 (default), AES128 or ZIPCRYPTO
//   Dbf_1..Dbf_5       table kind: _DCLOG, _ARCHIVE or _EVENTLOG, any case
//   Path_1..Path_5     project directory of that table
//
// Read once at start-up; a change takes effect at the next start.
#include <cstdint>

#include "app/dbf2zip.h"
#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "foundation/zr_process.h"
#include "serverlink/eci_objects.h"

namespace {

constexpr char kSection[] = "Packvault";
constexpr int32_t kDefaultWriteHours = 24;
constexpr int32_t kDefaultCheckMinutes = 10;
constexpr uint32_t kMaxCheckMinutes = 30;
constexpr int32_t kTableEntries = 5;

ZipData* g_zip_data = nullptr;

// The copier for a table kind (already upper case), or null for an unknown one.
Dbf2Zip* NewCopier(const ZrString& kind) {
  if (kind == "_EVENTLOG") return new EventLog2Zip;
  if (kind == "_ARCHIVE") return new Archive2Zip;
  if (kind == "_DCLOG") return new DcLog2Zip;
  return nullptr;
}

}  // namespace

ZipData* GetZipData() { return g_zip_data; }
void SetZipData(ZipData* zipData) { g_zip_data = zipData; }

ZipData::ZipData()
    : IntervalEnd(0),
      IntervalStart(0),
      CheckTime(0),
      ZipError(false),
      StartTod(0),
      Tod(0),
      DateChanged(false),
      ini_file_(ZrGetAppDirEx() + ".\\kestrel.ini"),
      encryption_(XzEncryption::kAes256) {}

ZipData::~ZipData() = default;

void ZipData::SetIniFile(const ZrString& iniFile) { ini_file_ = iniFile; }

bool ZipData::InitializeZipData() {
  DestPath = ZrGetProfileString(kSection, "MoDrv", "", ini_file_);
  if (DestPath.IsEmpty()) {
    GetLog()->PutError("Ini-file: No valid destination directory found");
    return false;
  }
  GetLog()->PutInfo(ZrString("Destination file path ") + DestPath);

  int32_t hours = ZrGetProfileInt(kSection, "WriteInterval", kDefaultWriteHours, ini_file_);
  const uint32_t h = static_cast<uint32_t>(hours);  // negative values become huge
  if (h == 0 || h > 24 || 24 % h != 0) {
    GetLog()->PutInfo("Ini-file: WriteInterval not valid, set to 24");
    hours = kDefaultWriteHours;
  }
  WriteInterval = ZrTimeSpan(0, hours, 0, 0, 0);

  const ZrString method = ZrGetProfileString(kSection, "ZipEncryption", "", ini_file_);
  encryption_ = XzEncryption::kAes256;
  if (!method.IsEmpty() && !XzParseEncryption(method, &encryption_)) {
    GetLog()->PutInfo(ZrString("Ini-file: ZipEncryption not valid, set to AES256"));
  }

  ProjectCode = GetEciObjects()->GetCode();
  return true;
}

void ZipData::SetZipTimeData(uint32_t* passes) {
  int32_t minutes = ZrGetProfileInt(kSection, "CheckTimeInterval", kDefaultCheckMinutes, ini_file_);
  const uint32_t m = static_cast<uint32_t>(minutes);
  if (m == 0 || m > kMaxCheckMinutes) {
    minutes = kDefaultCheckMinutes;
    GetLog()->PutInfo("Ini-file: CheckTime not valid, set to 10");
  }
  *passes = static_cast<uint32_t>(minutes) * 60u;
  CheckTime = static_cast<uint32_t>(minutes) * 60u * 1000u;
}

bool ZipData::InitializeDbfData() {
  for (int32_t n = 1; n <= kTableEntries; ++n) {
    ZrString kind = ZrGetProfileString(kSection, ZrString("Dbf_%d", n), "", ini_file_);
    ZrString path = ZrGetProfileString(kSection, ZrString("Path_%d", n), "", ini_file_);
    if (n == 1 && (kind.IsEmpty() || path.IsEmpty())) {
      GetLog()->PutError("No valid dbf-paths found in ini-file");
      return false;
    }
    kind.MakeUpper();
    Dbf2Zip* copier = NewCopier(kind);
    if (copier == nullptr) continue;  // unknown or empty kind: skipped silently
    DbfList.push_back(copier);
    copier->DbfKind = kind;
    copier->DbfPath = path.MakeUpper();
    copier->ZipPath = DestPath + kind + "\\";
  }
  return true;
}
