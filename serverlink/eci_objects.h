// EciObjects, the link to the process-data server: a placeholder that lets
// the program skeleton run until the server link replaces this file. It
// connects to nothing and never requests a shutdown.
#ifndef PV_SERVERLINK_ECI_OBJECTS_H_
#define PV_SERVERLINK_ECI_OBJECTS_H_

class EciObjects {
 public:
  EciObjects() = default;
  virtual ~EciObjects() = default;

  bool ConnectEci(const char* appName, const char* projectFile);
  void RefreshEciObjs() {}
  void Check4Shutdown() {}

  bool ShutdownFlag = false;
};

EciObjects* GetEciObjects();
void SetEciObjects(EciObjects* eciObjects);

#endif  // PV_SERVERLINK_ECI_OBJECTS_H_
