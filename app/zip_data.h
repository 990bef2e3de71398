// ZipData, the configuration and archive controller: a placeholder that lets
// the program skeleton run until the archive controller replaces this file.
// It has no copiers, checks every 60 passes and archives nothing.
#ifndef PV_APP_ZIP_DATA_H_
#define PV_APP_ZIP_DATA_H_

#include <cstdint>
#include <vector>

class Dbf2Zip;

class ZipData {
 public:
  ZipData() = default;
  virtual ~ZipData() = default;

  bool InitializeZipData() { return true; }
  bool InitializeDbfData() { return true; }
  void SetZipTimeData(uint32_t* passes) { *passes = 60; }
  void StartTime() {}
  void CheckTime4WritingZipDbf() {}
  void ForceZip() {}
  void CleanUp() {}

  std::vector<Dbf2Zip*> DbfList;
  bool ZipError = false;
};

ZipData* GetZipData();
void SetZipData(ZipData* zipData);

#endif  // PV_APP_ZIP_DATA_H_
