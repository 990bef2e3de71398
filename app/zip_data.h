// ZipData: the archive controller. It holds the configuration read from the
// INI file, the record copiers, and the schedule of archive intervals, and it
// runs the archive job that turns an interim table into a member of the day
// archive of its table kind.
//
// The day (universal time, from the server's clock) is divided into
// intervals of WriteInterval hours, aligned to midnight. An interval is named
// by its date and the last hour it contains: the 8-hour intervals of
// 2007-12-03 are 1203_07h, 1203_15h and 1203_23h, archived as members
// "1203_07h.dbf" ... of ZipPath + "20071203.zip", with one line per run in
// ZipPath + "20071203.txt".
//
// The schedule between runs is IntervalStart (start of the interval in
// progress) and WriteInterval. A run archives [IntervalStart, IntervalEnd]
// and moves IntervalStart on only when no zip failed (ZipError clear); a
// failed interval is repeated at every due check until it works.
//
// Catch-up: a journal in each kind's archive directory records, per project
// directory, up to where every interval is archived whole. Every interval
// after that which has ended (within CatchUpHours) is archived, oldest
// first, one per loop pass, before the regular schedule goes on; see
// zip_data_catchup.cc.
//
// Split by concern: zip_data_config.cc (INI file, copiers),
// zip_data_schedule.cc (intervals and when to run), zip_data_catchup.cc (the
// journal and missed intervals), zip_data_archive.cc (the day archive and
// text file of one run).
//
// One instance per program (GetZipData); main thread only.
#ifndef PV_APP_ZIP_DATA_H_
#define PV_APP_ZIP_DATA_H_

#include <cstdint>
#include <vector>

#include "app/zip_adapter.h"
#include "foundation/zr_string.h"
#include "foundation/zr_time.h"

class Dbf2Zip;
namespace pv {
class File;
}

class ZipData {
 public:
  ZipData();
  // Releases the texts and the list; the copiers were deleted by CleanUp.
  virtual ~ZipData();
  ZipData(const ZipData&) = delete;
  ZipData& operator=(const ZipData&) = delete;

  // ---- Configuration (zip_data_config.cc) ----

  // Reads "MoDrv", "WriteInterval" and "ZipEncryption", and the project code
  // from the server link. False when no destination directory is configured.
  bool InitializeZipData();
  // Creates one copier per recognised Dbf_n/Path_n entry (n = 1 to 5). False
  // when Dbf_1 or Path_1 is empty.
  bool InitializeDbfData();
  // Reads "CheckTimeInterval" (minutes) and writes the number of one-second
  // loop passes between two checks through passes.
  void SetZipTimeData(uint32_t* passes);
  // The INI file to read; by default ZrGetAppDirEx() + ".\kestrel.ini".
  void SetIniFile(const ZrString& iniFile);

  // ---- Scheduling (zip_data_schedule.cc) ----

  // Fixes the interval in progress from the UT clock, removes interim
  // tables that killed runs left in the project directories, and reads the
  // catch-up journals. A member written at an earlier stop stays until the
  // interval's run replaces it.
  // REQUIRES: InitializeZipData has set WriteInterval; the bases are open.
  void StartTime();
  // Archives the interval in progress if it has ended; refreshes the
  // server's disk-space objects in any case.
  void CheckTime4WritingZipDbf();
  // Archives the interval in progress (or the failed one) now.
  void ForceZip();
  // Stores Tod (of pc) and StartTod (of IntervalStart); true when pc lies in
  // a later day than IntervalStart (see zip_data_schedule.cc).
  bool HasDateChanged(uint32_t pc);
  // One archive run for the interval that ends at the whole hour of t (after
  // a date change: the previous day's last interval).
  void ZipNow(ZrTime t);

  // ---- Catch-up (zip_data_catchup.cc) ----

  // True when an ended interval is still to be archived and no run has
  // failed (a failed one is retried at the due checks).
  bool CatchUpDue();
  // Archives the oldest interval still to be archived, for the copiers that
  // owe it; false when there is none. Also the retry of a failed run.
  bool CatchUpNext();

  // ---- Archive job (zip_data_archive.cc) ----

  // Closes and deletes every copier, leaving null entries.
  void CleanUp();

  // Fields in their fixed order; the copiers and the server link read them.
  ZrString DestPath;           // "MoDrv": root of all archives, used as a plain prefix
  ZrString InterimName;        // MMDD_HHh of the interval being archived
  ZrTime IntervalEnd;          // its last millisecond (UT)
  ZrTime IntervalStart;        // start of the interval in progress / being archived
  uint32_t CheckTime;          // check period in milliseconds
  std::vector<Dbf2Zip*> DbfList;  // the copiers in INI order; owned
  ZrString ArchiveDate;        // YYYYMMDD of the interval being archived
  bool ZipError;               // the last zip run failed
  ZrTimeSpan WriteInterval;    // length of an interval (whole hours dividing 24)
  uint32_t StartTod;           // time of day of IntervalStart, ms
  uint32_t Tod;                // time of day last tested, ms
  bool DateChanged;            // result of the last date-change test
  ZrString ProjectCode;        // "$PACKVAULT": the archives' password

 private:
  void SetData4Zipping(ZrTime t);
  // Sets the interval fields and names for the interval starting at pc.
  void SetData4Interval(uint32_t pc);
  // Copies and zips the interval set up, for every group of copiers that
  // shares an archive (only those that owe it, with onlyOwing), and records
  // in the journals what was archived whole. Sets or clears ZipError.
  void ArchiveInterval(bool onlyOwing);
  // Points InterimOwner of copiers sharing an archive at the first of them.
  void GroupSharedArchives();
  void RemoveLeftoverInterims();
  void ReadJournals();
  void WriteJournal(const ZrString& zipPath);
  // Start of the oldest interval still to be archived by any group.
  bool OldestOwed(bool retry, uint32_t* start);
  uint32_t OwedFrom(size_t leader) const;
  // True once StartTime has read the journals (and CatchUpHours is not 0).
  bool JournalKept() const;

  XzHandle InitializeXceedZip();
  // False when the run failed (ZipError set, error published).
  bool ZipDbf(ZrString zipPath, ZrString dbfPath);
  void WriteProjectIdAndUtLt2File(const ZrString& name);
  bool WriteProjectId2File(pv::File* file);
  bool WriteUt_Lt2File(pv::File* file);
  void RemoveInterimDbf(ZrString dbfPath);

  ZrString ini_file_;
  XzEncryption encryption_;  // "ZipEncryption", AES-256 unless configured
  bool encrypt_ = true;      // false only with "ZipEncryption=NONE"
  uint32_t catch_up_hours_ = 0;  // "CatchUpHours"; 0: no journal, no catch-up
  // Per copier (DbfList order): PcTime up to which every interval is
  // archived whole, as the journal of its archive directory holds it.
  std::vector<uint32_t> archived_until_;
};

// "%04d%02d%02d": the day archive's base name (ArchiveDate).
ZrString ArchiveDateText(uint32_t year, uint32_t month, uint32_t day);
// "%02d%02d_%02dh": an interval's name (InterimName) from its month, day and
// last hour; also the form of the day text file's LT stamp.
ZrString IntervalNameText(uint32_t month, uint32_t day, int32_t lastHour);
// The UT time of a PcTime, to the second.
ZrTime PcTimeToZrTime(uint32_t pc);

ZipData* GetZipData();
void SetZipData(ZipData* zipData);

#endif  // PV_APP_ZIP_DATA_H_
