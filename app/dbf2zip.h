// Dbf2Zip, the record copier of one plant table: a placeholder that lets the
// program skeleton build until the copiers replace this file.
#ifndef PV_APP_DBF2ZIP_H_
#define PV_APP_DBF2ZIP_H_

#include <cstdint>

class Dbf2Zip {
 public:
  virtual ~Dbf2Zip() = default;
  void OpenBases(int32_t /*index*/) {}
};

#endif  // PV_APP_DBF2ZIP_H_
