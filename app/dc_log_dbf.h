// DcLogDbf: the data-collection log _DCLOG, and its interim copies.
//
// Record layout (declaration order = field order of the data file):
//
//   field     dBASE    member                  stored as
//   UT        C 25     ut       (ZrTime)       long sortable string, with timelevel
//   LT        C 25     lt       (ZrTime)       as UT, plant local time
//   LOCATION  C 36     location (ZrString)
//   TEXT      C 254    text     (ZrString)
//   GUID      C 37     guid     (ZrString)
//   USER      C 32     user     (ZrString)
//
// Tags, after the layer's own "__FREE":
//
//   tag       key           unique  descending
//   UTC       UT            no      no          <- searched by the copier
//   UT        UT            no      yes
//   LT        LT            no      yes
//   LOCATION  LOCATION+UT   no      no
//   GUID      UT+GUID       yes     no          (a repeated UT+GUID stays out of it)
//
// Every tag carries ".NOT. DELETED()" as its filter.
#ifndef PV_APP_DC_LOG_DBF_H_
#define PV_APP_DC_LOG_DBF_H_

#include "app/safe_dbf.h"
#include "foundation/zr_string.h"
#include "foundation/zr_time.h"

class DcLogDbf : public SafeDbf {
 public:
  DcLogDbf(ZrpBase* base, const char* name, bool autoRead, bool createAdjust);
  ~DcLogDbf() override;

  ZrTime ut;          // universal time of the entry
  ZrTime lt;          // plant local time of the entry
  ZrString location;
  ZrString text;
  ZrString guid;
  ZrString user;

 protected:
  void ZrpTableXChg(ZrpTableInfo* info) override;
};

#endif  // PV_APP_DC_LOG_DBF_H_
