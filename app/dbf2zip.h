// Dbf2Zip: a record copier, the link between one plant log table and the
// archive of its kind. ZipData creates one per configured table (kind and
// project directory), owns it, and asks it once per archive run to copy the
// interval it has set up (IntervalStart, IntervalEnd, InterimName) into the
// interim table DbfPath + InterimName.
//
// Both databases are opened on DbfPath: the plant table is reached through
// SrcBase, shared with the control system; the interim table through
// DestBase, in exclusive use with its index built when the table is closed
// (the engine's deferred index). Copiers of one kind in several project directories
// share one day archive and so one member per interval: ZipData points
// InterimOwner of all but the first at the first, and they all write into
// its interim table (InterimOwner->DbfPath + InterimName).
//
// Lifecycle: created with its three texts set by ZipData, OpenBases once,
// any number of ProcessDbf, CloseBases, deletion. Main thread only.
#ifndef PV_APP_DBF2ZIP_H_
#define PV_APP_DBF2ZIP_H_

#include <cstdint>

#include "foundation/zr_string.h"

class ZrpBase;
namespace pv {
class FileSystem;
}

class Dbf2Zip {
 public:
  Dbf2Zip();
  virtual ~Dbf2Zip();
  Dbf2Zip(const Dbf2Zip&) = delete;
  Dbf2Zip& operator=(const Dbf2Zip&) = delete;

  // Copies the current interval into the interim table and returns the
  // number of records written; 0 means there is nothing to archive. A
  // negative result is a failed copy, minus its error number
  // (kRunErrPlantUnreadable or kRunErrInterimWrite, zip_adapter.h): the
  // interim table may hold part of the interval and must not be archived.
  // The base class copies nothing.
  virtual int32_t ProcessDbf();

  // Opens "SrcArchive" + index and "DestArchive" + index on DbfPath; index is
  // the copier's position in ZipData's list.
  void OpenBases(int32_t index);
  // Closes and deletes both databases; safe when they were never opened.
  void CloseBases();
  // Closes both databases and opens them afresh under the same index.
  void ReopenBases();

  // Logs the job banner: source, interim table, day archive and the interval
  // (its end first).
  void WriteZipInfo();

  ZrString ZipPath;   // directory of this kind's day archives, ending with "\"
  ZrString DbfPath;   // project directory of the plant table, upper case
  ZrString DbfKind;   // "_DCLOG", "_ARCHIVE" or "_EVENTLOG": the plant table's name
  ZrpBase* SrcBase;   // owned; null until OpenBases and after CloseBases
  ZrpBase* DestBase;  // owned; as SrcBase
  // Where both databases' files live: null for the operating system's, a
  // test's file system (with injected faults) otherwise. Set before OpenBases.
  pv::FileSystem* FileSystem = nullptr;
  Dbf2Zip* InterimOwner;  // not owned: whose interim table to write; null: this one's

 private:
  int32_t index_ = 0;  // as given to OpenBases
};

// The three kinds share one copy procedure (dbf2zip_copy.cc); each copies
// its kind's fields in the order of its time tag.
class DcLog2Zip : public Dbf2Zip {
 public:
  int32_t ProcessDbf() override;
};
class Archive2Zip : public Dbf2Zip {
 public:
  int32_t ProcessDbf() override;
};
class EventLog2Zip : public Dbf2Zip {
 public:
  int32_t ProcessDbf() override;
};

#endif  // PV_APP_DBF2ZIP_H_
