#include "serverlink/eci_objects.h"

#include <cstdio>
#include <string>
#include <utility>

#include "foundation/output_handler.h"
#include "foundation/platform/disk_space.h"
#include "foundation/zr_process.h"
#include "serverlink/eci_client.h"

namespace {

EciObjects* g_eci_objects = nullptr;

// The project path is built in a buffer of this many bytes, terminator included.
constexpr size_t kProjectPathSize = 260;

// The library takes 16-bit object numbers: the low half of ours.
uint16_t Obj16(ZrULong objNo) { return static_cast<uint16_t>(objNo & 0xFFFFu); }

ZrString Format(const char* format, ZrLong value) { return ZrString(format, value); }

}  // namespace

EciObjects* GetEciObjects() { return g_eci_objects; }
void SetEciObjects(EciObjects* eciObjects) { g_eci_objects = eciObjects; }

EciObjects::EciObjects()
    : ShutdownFlag(false),
      ErrorObjNo(0),
      ProjectObjNo(0),
      MoFullObjNo(0),
      MoGbObjNo(0),
      MoPcObjNo(0),
      ShutdownObjNo(0) {}

EciObjects::~EciObjects() = default;

void EciObjects::SetDestPathProvider(DestPathProvider provider) {
  dest_path_provider_ = std::move(provider);
}

void EciObjects::SetIniFile(const ZrString& iniFile) { ini_file_ = iniFile; }

bool EciObjects::ConnectEci(const char* appName, const char* projectFile) {
  // A project file too long for the path buffer is refused like a failed
  // connection rather than cut to a different name.
  std::string path = std::string(".\\") + projectFile + ".do";
  if (path.size() >= kProjectPathSize ||
      DosvConnectApp(appName, path.c_str()) != 0) {
    GetLog()->PutError("Failed 2 connect to DataObjectServer!");
    return false;
  }
  GetLog()->PutInfo(ZrString("Connect to ECI: ") + appName + path.c_str());
  GetEciObjsNo();
  return true;
}

void EciObjects::GetEciObjsNo() {
  ShutdownObjNo = GetEciObjNo("$SHUTDOWN");
  MoFullObjNo = GetEciObjNo("$MOFULL");
  MoGbObjNo = GetEciObjNo("$MOGB");
  MoPcObjNo = GetEciObjNo("$MOPROCENT");
  ZrString ini = ini_file_.IsEmpty() ? ZrGetAppDirEx() + "kestrel.ini" : ini_file_;
  ErrorObjNo = GetEciObjNo(ZrGetProfileString("Packvault", "ErrorObjId", "ErrorObjId???", ini));
  ProjectObjNo =
      GetEciObjNo(ZrGetProfileString("Packvault", "ProjectObjId", "ProjectObjId???", ini));
}

ZrULong EciObjects::GetEciObjNo(const ZrString& name) {
  DoValue value;
  if (name.IsEmpty() || DoGetObjNum(name, &value) != 0) {
    GetLog()->PutInfo(ZrString("WARNING: No valid PointId") + name);
    return 0;
  }
  return static_cast<ZrULong>(DoAsNumber(value));
}

void EciObjects::RefreshEciObjs() {
  Check4Shutdown();
  SetMoObjs(dest_path_provider_ ? dest_path_provider_() : ZrString(""));
}

void EciObjects::Check4Shutdown() {
  if (ShutdownObjNo == 0) return;
  DoValue value;
  if (DoGetValue(Obj16(ShutdownObjNo), &value) != 0) {
    GetLog()->PutError("No valid Value returned for SHUTDOWN");
    return;
  }
  if (DoAsNumber(value) != 0) {
    ShutdownFlag = true;
    GetLog()->PutInfo("Shutdown = true");
  }
}

void EciObjects::SetMoObjs(const ZrString& destPath) {
  uint64_t free_to_caller = 0, total = 0, total_free = 0;
  int err = pv::DiskFreeSpace(static_cast<const char*>(destPath), &free_to_caller, &total,
                                 &total_free);
  if (err != 0) {
    GetLog()->PutError(Format("Function GetDiskFreeSpaceEx failed, Error num = %d", err));
    return;
  }
  uint64_t used = total - free_to_caller;
  float mb = static_cast<float>(static_cast<double>(used) * (1.0 / 1048576.0));
  // A drive reporting size 0 counts as empty rather than dividing by zero.
  double share = total == 0 ? 0.0 : static_cast<double>(used) / static_cast<double>(total) * 100.0;
  ZrLong percent = static_cast<ZrLong>(share);  // 0..100: truncation cannot overflow
  ZrLong full = percent >= 90 ? 1 : 0;

  if (MoFullObjNo != 0) {
    DoValue v = DoLong(full);
    if (DoAppSetValue(Obj16(MoFullObjNo), &v) != 0) {
      GetLog()->PutError(Format("Failed 2 set MoFull-Flag, ObjNo %d", static_cast<ZrLong>(MoFullObjNo)));
    }
  }
  if (MoPcObjNo != 0) {
    DoValue v = DoLong(percent);
    if (DoAppSetValue(Obj16(MoPcObjNo), &v) != 0) {
      GetLog()->PutError(Format("Failed 2 set MoPc, ObjNo %d", static_cast<ZrLong>(MoPcObjNo)));
    }
  }
  if (MoGbObjNo != 0) {
    DoValue v = DoFloat(mb);
    if (DoAppSetValue(Obj16(MoGbObjNo), &v) != 0) {
      GetLog()->PutError(Format("Failed 2 set MoGb, ObjNo %d", static_cast<ZrLong>(MoGbObjNo)));
    }
  }
  char mb_text[64];
  std::snprintf(mb_text, sizeof mb_text, ", MB %f ", static_cast<double>(mb));
  GetLog()->PutInfo(ZrString("2 Eci: Drv ") + destPath + mb_text + Format("percent %d ", percent) +
                    Format("flag %d", full));
}

void EciObjects::ResetError() {
  DoValue v = DoLong(0);
  if (DoAppSetValue(Obj16(ErrorObjNo), &v) != 0) {
    GetLog()->PutError("Failed 2 reset ZipErrorObject");
  }
}

void EciObjects::SetError(ZrLong errorCode, const ZrString&, const ZrString&) {
  DoValue v = DoLong(errorCode);
  if (DoAppSetValue(Obj16(ErrorObjNo), &v) != 0) {
    GetLog()->PutError("Failed 2 set ZipErrorObject");
  }
}

ZrString EciObjects::DoGetProjectId() {
  DoValue v;
  v.type = 0;
  if (DoGetSoTxt(Obj16(ProjectObjNo), &v) == 0 && DoIsText(v) && v.text != nullptr) {
    return ZrString(v.text);
  }
  GetLog()->PutError("Failed 2 get text of ProjectId object");
  return ZrString("Failed 2 ProjectId");
}

ZrString EciObjects::GetCode() {
  ZrULong objNo = GetEciObjNo("$PACKVAULT");
  if (objNo == 0) return ZrString("");
  DoValue v;
  v.type = 0;
  if (DoGetSoTxt(Obj16(objNo), &v) != 0 || !DoIsText(v) || v.text == nullptr) return ZrString("");
  return ZrString(v.text);
}
