// ZipData's archive job: one copier's interim table into the day archive.
//
// Files of a copier with ZipPath Z and DbfPath S, for the interval
// ArchiveDate D / InterimName N (paths are plain concatenations):
//
//   Z + D + ".zip"   day archive, one member N + ".dbf" per interval
//   Z + D + ".txt"   day text file (below)
//   S + N + ".dbf"   interim table, removed after the run (also a failed one)
//   S + N + ".cdx"   its index, removed, never archived
//
// Day text file, bytes in this order, no header; every line is followed by
// its terminating zero byte:
//
//   <project id> CR LF NUL                  only when the file is created
//   "UT: " N " LT: " MMDD_HHh CR LF NUL     one per run, failed ones included
//
// The LT stamp is the plant's local clock at the time of the run, less one
// hour, in the form of N. The file is written before the archive, so a
// failing run leaves its line and each retry adds another.
#include <cstdint>
#include <memory>

#include "app/dbf2zip.h"
#include "app/run_phases.h"
#include "app/zip_adapter.h"
#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "foundation/platform/file.h"
#include "foundation/zr_process.h"
#include "serverlink/eci_client.h"
#include "serverlink/eci_objects.h"

namespace {

// Appends text and its terminating zero byte at the end of the file.
bool AppendWithTerminator(pv::File* file, const ZrString& text) {
  uint64_t size = 0;
  return file->Size(&size).ok() && file->WriteAt(size, text.GetText(), text.GetLength() + 1).ok();
}

}  // namespace

XzHandle ZipData::InitializeXceedZip() {
  if (XceedZipInitDLL() == 0) {
    GetLog()->PutError("Failed 2 initialize zip-tool");
    return nullptr;
  }
  XzHandle zip = XzCreateXceedZipA();
  if (zip == nullptr) {
    XceedZipShutdownDLL();
    GetLog()->PutError("Failed 2 instantiate zip-tool");
  }
  return zip;
}

bool ZipData::ZipDbf(ZrString zipPath, ZrString dbfPath) {
  XzHandle zip = InitializeXceedZip();
  if (zip == nullptr) {
    ZipError = true;  // nothing was written: the interval is retried
    return false;
  }
  WriteProjectIdAndUtLt2File(zipPath + ArchiveDate + ".txt");
  ZrCreateDirectory(zipPath, false);

  const ZrString archive = zipPath + ArchiveDate + ".zip";
  const ZrString table = dbfPath + InterimName + ".dbf";
  // The code may have reached the server since the start: ask again.
  if (encrypt_ && ProjectCode.IsEmpty()) ProjectCode = GetEciObjects()->GetCode();
  int32_t result = kRunErrNoProjectCode;
  if (!encrypt_ || !ProjectCode.IsEmpty()) {
    XzSetEncryptionPasswordA(zip, encrypt_ ? ProjectCode.GetText() : "");
    XzSetEncryptionMethod(zip, encryption_);
    XzSetCompressionLevel(zip, 9);
    XzSetPreservePaths(zip, false);
    XzSetZipFilenameA(zip, archive);
    XzSetFilesToProcessA(zip, table);
    GetLog()->PutInfo(ZrString("InitializedXceed:\nZipFileName=") + archive + "\nTable2Process=" +
                      table);
    result = XzZip(zip);
  } else {
    GetLog()->PutError(ZrString("No project code ($PACKVAULT): members are written unencrypted "
                                "only with ZipEncryption=NONE"));
  }
  XzDestroyXceedZip(zip);
  XceedZipShutdownDLL();

  if (result == kXzSuccess) return true;
  GetEciObjects()->SetError(result, zipPath, dbfPath);
  ZipError = true;
  GetLog()->PutError(ZrString("Zip failed, Error number %d\n", result) + "   zip path = " +
                     archive + "\n" + "   dbf path = " + table);
  return false;
}

void ZipData::WriteProjectIdAndUtLt2File(const ZrString& name) {
  if (GetEciObjects()->ProjectObjNo == 0) return;
  std::unique_ptr<pv::File> file;
  pv::OpenOptions options;
  options.write = true;
  options.share_none = true;
  if (pv::OpenFile(name.GetText(), options, &file).ok()) {
    WriteUt_Lt2File(file.get());
    if (!file->Close().ok()) GetLog()->PutError(ZrString("Failed 2 write ") + name);
    return;
  }
  ZrCreateDirectory(name, true);
  options.create = true;
  options.exclusive = true;
  if (!pv::OpenFile(name.GetText(), options, &file).ok()) {
    GetLog()->PutError(ZrString("Failed 2 create ") + name);
    return;
  }
  WriteProjectId2File(file.get());
  WriteUt_Lt2File(file.get());
  if (!file->Close().ok()) GetLog()->PutError(ZrString("Failed 2 write ") + name);
}

bool ZipData::WriteProjectId2File(pv::File* file) {
  if (AppendWithTerminator(file, GetEciObjects()->DoGetProjectId() + "\r\n")) return true;
  GetLog()->PutError(ZrString("Failed 2 write ProjectId 2") + ArchiveDate + ".txt");
  return false;
}

bool ZipData::WriteUt_Lt2File(pv::File* file) {
  uint32_t year, month, day, hour, minute, second;
  ZrPcTime2DateAndTime(MclkQueryLtTime(), year, month, day, hour, minute, second);
  ZrTime lt(static_cast<int32_t>(year), static_cast<int32_t>(month), static_cast<int32_t>(day),
            static_cast<int32_t>(hour), static_cast<int32_t>(minute),
            static_cast<int32_t>(second), 0);
  lt -= ZrTimeSpan(0, 1, 0, 0, 0);
  const ZrString line = ZrString("UT: ") + InterimName + " LT: " +
                        IntervalNameText(lt.GetMonth(), lt.GetDayOfMonth(), lt.GetHour()) + "\r\n";
  if (AppendWithTerminator(file, line)) return true;
  GetLog()->PutError(ZrString("Failed 2 write Times 2") + ArchiveDate + ".txt");
  return false;
}

void ZipData::RemoveInterimDbf(ZrString dbfPath) {
  RunPhaseTimer remove_time(RunPhase::kRemove);
  if (!pv::RemoveFile((dbfPath + InterimName + ".dbf").GetText()).ok()) {
    GetLog()->PutError(ZrString("Failed 2 remove dbf: ") + InterimName);
  }
  if (!pv::RemoveFile((dbfPath + InterimName + ".cdx").GetText()).ok()) {
    GetLog()->PutError(ZrString("Failed 2 remove cdx: ") + InterimName);
  }
}

void ZipData::CleanUp() {
  for (Dbf2Zip*& copier : DbfList) {
    if (copier == nullptr) continue;
    copier->CloseBases();
    delete copier;
    copier = nullptr;
  }
}
