// EciObjects: Packvault's link to the objects of the process-data server.
//
// It connects to the server, resolves once the numbers of the objects the
// program reads and writes, and offers one operation per use: the shutdown
// request ("$SHUTDOWN"), the disk usage of the archive destination ("$MOFULL",
// "$MOGB", "$MOPROCENT"), the archive error number (the object named by the
// INI key "ErrorObjId"), the project identity (INI key "ProjectObjId") and the
// project code ("$PACKVAULT"). Every failure is reported through the log
// handler (GetLog) and otherwise ignored; nothing is retried before the next
// call. An object number of 0 means the object was not found.
//
// The destination path: the disk usage is that of the archive destination,
// which the application's configuration owns. The application hands it over
// once at start-up, before the first RefreshEciObjs, with
// SetDestPathProvider; the provider is asked at every refresh. Without a
// provider the path is empty and the usage query reports its failure.
//
// One instance per program (GetEciObjects), used from the main thread only.
#ifndef PV_SERVERLINK_ECI_OBJECTS_H_
#define PV_SERVERLINK_ECI_OBJECTS_H_

#include <functional>

#include "foundation/zr_string.h"
#include "foundation/zr_types.h"

class EciObjects {
 public:
  EciObjects();
  virtual ~EciObjects();

  // Connects as appName to the project's server, ".\" + projectFile + ".do",
  // and resolves the objects. False when the connection failed.
  bool ConnectEci(const char* appName, const char* projectFile);
  // Check4Shutdown, then publishes the destination drive's usage.
  void RefreshEciObjs();
  // Sets ShutdownFlag once the shutdown object reads as a number other than 0.
  void Check4Shutdown();
  // Writes 0 to the archive error object.
  void ResetError();
  // Writes errorCode to the archive error object; the texts are not used.
  void SetError(ZrLong errorCode, const ZrString& text1, const ZrString& text2);
  // The project identity text, or "Failed 2 ProjectId".
  ZrString DoGetProjectId();
  // The project code text, or "" when there is none.
  ZrString GetCode();

  using DestPathProvider = std::function<ZrString()>;
  void SetDestPathProvider(DestPathProvider provider);
  // The INI file that names the error and project identity objects; by
  // default ZrGetAppDir() + "kestrel.ini". Must be set before ConnectEci.
  void SetIniFile(const ZrString& iniFile);

  bool ShutdownFlag;      // set once "$SHUTDOWN" was read as non-zero; never cleared
  ZrULong ErrorObjNo;     // the object named by INI "ErrorObjId"
  ZrULong ProjectObjNo;   // the object named by INI "ProjectObjId"
  ZrULong MoFullObjNo;    // "$MOFULL"
  ZrULong MoGbObjNo;      // "$MOGB"
  ZrULong MoPcObjNo;      // "$MOPROCENT"
  ZrULong ShutdownObjNo;  // "$SHUTDOWN"

 private:
  void GetEciObjsNo();
  ZrULong GetEciObjNo(const ZrString& name);
  void SetMoObjs(const ZrString& destPath);

  DestPathProvider dest_path_provider_;
  ZrString ini_file_;
};

EciObjects* GetEciObjects();
void SetEciObjects(EciObjects* eciObjects);

#endif  // PV_SERVERLINK_ECI_OBJECTS_H_
