// EventLogDbf: the event log _EVENTLOG, and its interim copies.
//
// Record layout (declaration order = field order of the data file). Every
// unsigned member is numeric N 11.0 in the table; UTC and LT are PcTimes
// (seconds since 1970), UTC in universal and LT in plant local time.
//
//   TYPE ALTYPE OBJNUM OLDSTATE NEWSTATE        N 11      uint32_t
//   OLDSTSTXT NEWSTSTXT                         C 32      ZrString
//   OLDLEVEL NEWLEVEL ALOLD ALNEW               N 11      uint32_t
//   UTC LT TIMESTAMP TIMELEVEL                  N 11      uint32_t
//   VALOLD VALNEW                               N 19.6    double
//   USERID                                      N 11      uint32_t
//   USERNAME                                    C 32      ZrString
//   PRINTED DOPRINT                             C 1       bool, "T" or "F"
//
// Tags, after the layer's own "__FREE"; none unique or descending. The
// filters are stored as "(" + filter + ").AND.(.NOT. DELETED())".
//
//   TIME        STR(UTC,10,0)+STR(TIMESTAMP,5,0)+STR(OBJNUM,5,0)+STR(TYPE,3,0)+STR(NEWSTATE,5,0)
//   TIMELEVEL   STR(TIMELEVEL,11,0)
//   UTC         UTC                                      <- searched by the copier
//   PRINTED     STR(TIMELEVEL,11,0)+STR(UTC,11,0)+STR(TIMESTAMP,11,0)+PRINTED
//               for PRINTED='T'
//   NOTPRINTED  same key, for PRINTED='F'.AND.(OLDSTATE<128.OR.NEWSTATE>=128)
//   DOPRINT     STR(TIMELEVEL,11,0)+STR(UTC,11,0)+STR(TIMESTAMP,11,0)+DOPRINT
//               for DOPRINT='T'.AND.(OLDSTATE<128.OR.NEWSTATE>=128)
#ifndef PV_APP_EVENT_LOG_DBF_H_
#define PV_APP_EVENT_LOG_DBF_H_

#include <cstdint>

#include "app/safe_dbf.h"
#include "foundation/zr_string.h"

class EventLogDbf : public SafeDbf {
 public:
  EventLogDbf(ZrpBase* base, const char* name, bool autoRead, bool createAdjust);
  ~EventLogDbf() override;

  uint32_t type = 0;
  uint32_t al_type = 0;
  uint32_t obj_num = 0;
  uint32_t old_state = 0;
  uint32_t new_state = 0;
  ZrString old_sts_txt;
  ZrString new_sts_txt;
  uint32_t old_level = 0;
  uint32_t new_level = 0;
  uint32_t al_old = 0;
  uint32_t al_new = 0;
  uint32_t utc = 0;        // PcTime, universal time
  uint32_t lt = 0;         // PcTime, plant local time
  uint32_t timestamp = 0;
  uint32_t timelevel = 0;
  double val_old = 0.0;
  double val_new = 0.0;
  uint32_t user_id = 0;
  ZrString user_name;
  bool printed = false;
  bool do_print = false;

 protected:
  void ZrpTableXChg(ZrpTableInfo* info) override;
};

#endif  // PV_APP_EVENT_LOG_DBF_H_
