// ZipData's configuration: the INI section "Packvault" of kestrel.ini.
//
//   MoDrv              destination root (required), a plain path prefix
//   WriteInterval      hours per interval: 1, 2, 3, 4, 6, 8, 12 or 24 (default 24)
//   CheckTimeInterval  minutes between checks: 1 to 30 (default 10)
//   ZipEncryption      AES256 (default), AES128, ZIPCRYPTO, or NONE: without a
//                      project code members are written unencrypted only with NONE
//   CatchUpHours       how far back missed intervals are archived: 0 to 744
//                      hours (default 48); 0 archives only what the schedule reaches
//   Dbf_1..Dbf_5       table kind: _DCLOG, _ARCHIVE or _EVENTLOG, any case
//   Path_1..Path_5     project directory of that table
//
// Read once at start-up; a change takes effect at the next start. A value
// that cannot be used as written (a directory too long for the names
// appended to it, a CatchUpHours that is no number in range, a table entry
// that repeats an earlier one) refuses the start with a message; nothing is
// cut or guessed.
#include <cstdint>
#include <string>

#include "app/dbf2zip.h"
#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "foundation/platform/path_resolve.h"
#include "foundation/zr_process.h"
#include "serverlink/eci_objects.h"

namespace {

constexpr char kSection[] = "Packvault";
constexpr int32_t kDefaultWriteHours = 24;
constexpr int32_t kDefaultCheckMinutes = 10;
constexpr uint32_t kMaxCheckMinutes = 30;
constexpr int32_t kTableEntries = 5;
constexpr uint32_t kDefaultCatchUpHours = 48;
constexpr uint32_t kMaxCatchUpHours = 744;  // 31 days
// "MoDrv" and "Path_n" are plain prefixes of file paths; the longest names
// appended ("_EVENTLOG\ArchivedIntervals.txt.tmp", a ZIP update's temporary
// file, "_EVENTLOG.dbf") need up to 35 more characters of the 259 a path
// may have. The limit also lies far below the profile reader's 511.
constexpr size_t kMaxDirLength = 200;

// True (with an error line) when a directory value is too long to be used.
bool TooLong(const char* key, const ZrString& value) {
  if (value.GetLength() <= kMaxDirLength) return false;
  GetLog()->PutError(ZrString("Ini-file: ") + key +
                     ZrString(" is longer than %d characters, refused", static_cast<int32_t>(kMaxDirLength)));
  return true;
}

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
  if (TooLong("MoDrv", DestPath)) return false;
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
  encrypt_ = !pv::EqualNoCase(method.GetText(), "NONE");
  if (encrypt_ && !method.IsEmpty() && !XzParseEncryption(method, &encryption_)) {
    GetLog()->PutInfo(ZrString("Ini-file: ZipEncryption not valid, set to AES256"));
  }

  // Digits only: the profile's integer rules would read "abc" as 0 and so
  // switch the catch-up off unnoticed.
  const ZrString catchUp = ZrGetProfileString(kSection, "CatchUpHours", "", ini_file_);
  catch_up_hours_ = kDefaultCatchUpHours;
  if (!catchUp.IsEmpty()) {
    const std::string text = catchUp.GetText();
    const bool digits = text.size() <= 4 && text.find_first_not_of("0123456789") == std::string::npos;
    catch_up_hours_ = digits ? static_cast<uint32_t>(std::stoul(text)) : kMaxCatchUpHours + 1;
    if (catch_up_hours_ > kMaxCatchUpHours) {
      GetLog()->PutError(ZrString("Ini-file: CatchUpHours not valid (0 to %d hours): ",
                                  static_cast<int32_t>(kMaxCatchUpHours)) + catchUp);
      return false;
    }
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
    if (TooLong(ZrString("Path_%d", n), path)) return false;
    const ZrString given = kind;
    kind.MakeUpper();
    path.MakeUpper();
    Dbf2Zip* copier = NewCopier(kind);
    if (copier == nullptr) {
      if (!kind.IsEmpty()) {
        GetLog()->PutInfo(ZrString("Warning: Ini-file: Dbf_%d = ", n) + given +
                          " is no known table kind, entry ignored");
      }
      continue;
    }
    for (const Dbf2Zip* earlier : DbfList) {
      if (earlier->DbfKind == kind && earlier->DbfPath == path) {
        // Both would copy the same records into one member.
        GetLog()->PutError(ZrString("Ini-file: Dbf_%d", n) +
                           ZrString("/Path_%d repeats an earlier entry: ", n) + kind + " " + path);
        delete copier;
        return false;
      }
    }
    DbfList.push_back(copier);
    copier->DbfKind = kind;
    copier->DbfPath = path;
    copier->ZipPath = DestPath + kind + "\\";
  }
  GroupSharedArchives();
  return true;
}
