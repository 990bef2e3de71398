// The copy procedure shared by DcLog2Zip, Archive2Zip and EventLog2Zip.
//
// One call copies the records of the interval [IntervalStart, IntervalEnd]
// (both inclusive; ZipData holds them for the run) out of the plant table
// DbfPath + DbfKind into the interim table DbfPath + InterimName, in the
// order of the kind's time tag:
//
//   1. soft-search the time tag for the interval's start, holding the plant
//      table's named mutex (bounded wait) for the search only;
//   2. while the iterator stands on a record whose time is not past the
//      interval's end: copy its fields into the interim object, add it, yield
//      the processor, and step one record on, again under the mutex.
//
// A plant table that cannot be opened or read (the table's recorded last
// error tells a read error from the end of the data), or an interim record
// that cannot be written, fails the copy (negative result): the interim table then holds
// part of the interval at most, and ZipData archives nothing of it.
//
// The interim table is private to the run (Dbf2Zip::DestBase: exclusive use,
// its index built in one pass when it is closed); closing it can fail too.
//
// The mutex is never held while the interim table is written, so the control
// system's writers wait at most one step. A wait that times out goes on
// without the mutex; the release afterwards is then harmless.
//
// How the kinds differ:
//
//   kind       tag    start key                         end test
//   _DCLOG     UTC    IntervalStart, 25-char sortable   UT > IntervalEnd (ZrTime order)
//   _ARCHIVE   TIME   IntervalStart, 17-char sortable   TIME > PcTime(IntervalEnd), unsigned
//   _EVENTLOG  UTC    PcTime(IntervalStart) as "%u"     UTC > PcTime(IntervalEnd), unsigned
//
// _ARCHIVE's TIME key is 14 characters wide; the engine compares only that
// many, so its search is at whole seconds.
#include <cstdint>

#include "app/dbf2zip.h"
#include "app/dc_log_dbf.h"
#include "app/entry_dbf.h"
#include "app/event_log_dbf.h"
#include "app/run_phases.h"
#include "app/zip_adapter.h"
#include "foundation/output_handler.h"
#include "app/zip_data.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_string.h"
#include "foundation/zr_time.h"
#include "persist/zrp_table_iterator.h"

namespace {

// Bounded wait on a plant table's named mutex, as the copiers hold it.
constexpr uint32_t kMutexWaitMs = 5000;

// Per-kind parts of the procedure.
template <class Table>
struct CopyRules {
  const char* tag;
  ZrString (*start_key)(const ZipData& zd);
  bool (*past_end)(const Table& src, const ZipData& zd);
  void (*copy)(Table& dst, const Table& src);
  const char* progress;       // logged after every 100 records
  const char* final_prefix;   // "%d" format for the count, followed by ...
  bool name_then_dbf;         // ... InterimName + ".dbf", or just InterimName
};

// Reports a failed copy whose tables are closed; the negative result of
// ProcessDbf for error.
int32_t Failed(Dbf2Zip& copier, Dbf2Zip& owner, int32_t error, const ZrString& why) {
  GetLog()->PutError(why + ", the interval is not archived");
  // A table that failed to open stays failed for its database's life:
  // fresh databases let the retry open it again.
  copier.ReopenBases();
  if (&owner != &copier) owner.ReopenBases();
  return -error;
}

// Closes both tables and reports a failed copy.
template <class Table>
int32_t Fail(Dbf2Zip& copier, Dbf2Zip& owner, Table& src, Table& dst, const ZrString& interim,
             int32_t error, const ZrString& why) {
  dst.Close(interim);
  src.Close(copier.DbfKind);
  return Failed(copier, owner, error, why);
}

template <class Table>
int32_t CopyInterval(Dbf2Zip& copier, const CopyRules<Table>& rules) {
  const ZipData& zd = *GetZipData();
  const ZrString interim = zd.InterimName;
  Dbf2Zip& owner = copier.InterimOwner != nullptr ? *copier.InterimOwner : copier;
  const ZrString plant = copier.DbfPath + copier.DbfKind + ".dbf";
  RunPhaseTimer copy_time(RunPhase::kCopy);

  Table src(copier.SrcBase, copier.DbfKind, true, true);
  ZrpTableIterator it;
  Table dst(owner.DestBase, interim, true, true);

  copier.WriteZipInfo();

  bool found;
  {
    SafeDbfLock lock(src, kMutexWaitMs);
    found = src.Search(rules.tag, rules.start_key(zd), it, true);
  }
  if (!found) {
    // A search fails on an empty table too; only a recorded error (a table
    // that cannot be opened, a tag or record that cannot be read) is a fault.
    if (src.LastError() != 0) {
      return Fail(copier, owner, src, dst, interim, kRunErrPlantUnreadable,
                  ZrString("Failed 2 read ") + plant + ZrString(" (error %d)", src.LastError()));
    }
    GetLog()->PutInfo(ZrString("   No data found in dbf: ") + copier.DbfPath + copier.DbfKind);
    dst.Close(interim);
    src.Close(copier.DbfKind);
    return 0;
  }

  uint32_t count = 0;
  bool written = true;
  while (it != 0) {
    if (rules.past_end(src, zd)) break;
    rules.copy(dst, src);
    if (!dst.Append(nullptr)) {
      written = false;
      break;
    }
    ++count;
    if (count % 100 == 0) GetLog()->PutInfo(rules.progress);
    pv::YieldThread();
    SafeDbfLock lock(src, kMutexWaitMs);
    src.Skip(it, 1);
  }

  ZrString done = ZrString(rules.final_prefix, static_cast<int32_t>(count)) + interim;
  if (rules.name_then_dbf) done += ".dbf";
  GetLog()->PutInfo(done);
  // The walk ends at the end of the data and on a read error alike; only
  // the error is recorded.
  if (src.LastError() != 0) {
    return Fail(copier, owner, src, dst, interim, kRunErrPlantUnreadable,
                ZrString("Failed 2 read ") + plant + ZrString(" (error %d)", src.LastError()));
  }
  if (!written) {
    return Fail(copier, owner, src, dst, interim, kRunErrInterimWrite,
                ZrString("Failed 2 write ") + owner.DbfPath + interim + ".dbf" +
                    ZrString(" (error %d)", dst.LastError()));
  }
  copy_time.Stop();
  RunPhaseTimer index_time(RunPhase::kIndexBuild);
  // Closing writes the interim table's count and builds its index.
  const bool closed = dst.Close(interim);
  index_time.Stop();
  src.Close(copier.DbfKind);
  // A copy of no record never opened the table (nothing to close).
  if (!closed && count > 0) {
    // The engine has reported the cause through the error hook.
    return Failed(copier, owner, kRunErrInterimWrite,
                  ZrString("Failed 2 write ") + owner.DbfPath + interim + ".dbf (closing)");
  }
  return static_cast<int32_t>(count);
}

uint32_t PcTimeOf(const ZrTime& t) { return t.GetPcTime(); }

const CopyRules<DcLogDbf> kDcLogRules = {
    "UTC",
    [](const ZipData& zd) { return zd.IntervalStart.AsSortableString(true); },
    [](const DcLogDbf& src, const ZipData& zd) { return src.ut > zd.IntervalEnd; },
    [](DcLogDbf& dst, const DcLogDbf& src) {
      dst.guid = src.guid;
      dst.ut = src.ut;
      dst.lt = src.lt;
      dst.location = src.location;
      dst.text = src.text;
      dst.user = src.user;
    },
    "\n100 DcLog entries written",
    "   %d records written 2 ",
    true,
};

const CopyRules<EntryDbf> kArchiveRules = {
    "TIME",
    [](const ZipData& zd) { return zd.IntervalStart.AsSortableString(false); },
    [](const EntryDbf& src, const ZipData& zd) { return src.time > PcTimeOf(zd.IntervalEnd); },
    [](EntryDbf& dst, const EntryDbf& src) {
      dst.point_id = src.point_id;
      dst.time = src.time;
      dst.val = src.val;
      dst.sts = src.sts;
    },
    "\n100 Archive entries written",
    "   %d records written 2  dbf: ",
    false,
};

const CopyRules<EventLogDbf> kEventLogRules = {
    "UTC",
    [](const ZipData& zd) { return ZrString("%u", zd.IntervalStart.GetPcTime()); },
    [](const EventLogDbf& src, const ZipData& zd) { return src.utc > PcTimeOf(zd.IntervalEnd); },
    [](EventLogDbf& dst, const EventLogDbf& src) {
      dst.obj_num = src.obj_num;
      dst.type = src.type;
      dst.al_type = src.al_type;
      dst.old_state = src.old_state;
      dst.new_state = src.new_state;
      dst.old_sts_txt = src.old_sts_txt;
      dst.new_sts_txt = src.new_sts_txt;
      dst.old_level = src.old_level;
      dst.new_level = src.new_level;
      dst.al_old = src.al_old;
      dst.al_new = src.al_new;
      dst.utc = src.utc;
      dst.lt = src.lt;
      dst.timestamp = src.timestamp;
      dst.timelevel = src.timelevel;
      dst.val_old = src.val_old;
      dst.val_new = src.val_new;
      dst.user_id = src.user_id;
      dst.user_name = src.user_name;
      dst.printed = src.printed;
      dst.do_print = src.do_print;
    },
    "\n100 EventLog entries written",
    "   %d records written 2  dbf: ",
    false,
};

}  // namespace

int32_t DcLog2Zip::ProcessDbf() { return CopyInterval(*this, kDcLogRules); }
int32_t Archive2Zip::ProcessDbf() { return CopyInterval(*this, kArchiveRules); }
int32_t EventLog2Zip::ProcessDbf() { return CopyInterval(*this, kEventLogRules); }
