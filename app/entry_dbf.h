// EntryDbf: the archive of point values _ARCHIVE, and its interim copies.
//
// Record layout (declaration order = field order of the data file):
//
//   field    dBASE    member                  stored as
//   POINTID  C 22     point_id (ZrString)
//   TIME     C 14     time     (uint32_t)     PcTime as YYYYMMDDhhmmss, universal time
//   VAL      N 12.4   val      (double)
//   STS      N 11     sts      (int32_t)
//
// Tags, after the layer's own "__FREE", none filtered (beyond ".NOT. DELETED()"),
// unique or descending: PTIDTIME "POINTID+TIME", TIMEPTID "TIME+POINTID",
// TIME "TIME" (searched by the copier; its key has whole seconds only).
#ifndef PV_APP_ENTRY_DBF_H_
#define PV_APP_ENTRY_DBF_H_

#include <cstdint>

#include "app/safe_dbf.h"
#include "foundation/zr_string.h"

class EntryDbf : public SafeDbf {
 public:
  EntryDbf(ZrpBase* base, const char* name, bool autoRead, bool createAdjust);
  ~EntryDbf() override;

  ZrString point_id;
  uint32_t time = 0;  // PcTime, universal time
  double val = 0.0;
  int32_t sts = 0;

 protected:
  void ZrpTableXChg(ZrpTableInfo* info) override;
};

#endif  // PV_APP_ENTRY_DBF_H_
