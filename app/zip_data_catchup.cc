// ZipData's archive run over groups of copiers, and the catch-up of missed
// intervals.
//
// Groups: copiers of one kind share its archive directory and so one member
// per interval. They form a group led by the first of them in DbfList; all
// copy into the leader's interim table, which becomes the one member, so no
// copier's run replaces another's records.
//
// Journal: ZipPath + "ArchivedIntervals.txt" in each kind's archive
// directory, text, one line per project directory (DbfPath):
//
//   # comment lines
//   20240101 0101_10h C:\PROJ\      (the path is the rest of the line)
//
// meaning: every interval of that project directory up to the end of the
// UT hour 0101_10h of 2024-01-01 is archived whole (or was before the first
// start and so is not ours). It is rewritten atomically (temporary file,
// sync, rename, directory sync) after each run that moves a mark; lines of
// project directories that are not configured now are kept.
//
// Whole: a run archives an interval whole when the interval had ended when
// the run began and every copier of the group copied without error. A
// forced run at a stop writes the interval in progress so far: its member
// stays until the interval's next run replaces it.
//
// Owed: per group, every interval from the oldest mark of its copiers (or
// CatchUpHours before the interval in progress, whichever is later) that
// ended at least kSettleSeconds ago (a writer stamps a record before it
// appends it; the regular check, too, runs some time after the end). The interval the regular check is about to archive
// (the one that ended at the start of the interval in progress) is left to
// it unless a run has failed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/dbf2zip.h"
#include "app/zip_adapter.h"
#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "foundation/platform/file.h"
#include "foundation/zr_process.h"
#include "serverlink/eci_client.h"
#include "serverlink/eci_objects.h"

namespace {

constexpr char kJournalName[] = "ArchivedIntervals.txt";
constexpr char kJournalHeader[] =
    "# Packvault catch-up journal: per project directory, the UT day and the last hour up to\r\n"
    "# which every interval is archived whole. Later intervals are archived at the next start.\r\n";
constexpr uint32_t kSettleSeconds = 60;

uint32_t PcOf(const ZrTime& t) { return static_cast<uint32_t>(t.GetPcTime()); }

// A journal line for a mark (a whole hour): the day and hour that end there.
std::string JournalLine(uint32_t mark, const std::string& dbfPath) {
  uint32_t year, month, day, hour, minute, second;
  ZrPcTime2DateAndTime(mark - 1, year, month, day, hour, minute, second);
  return std::string(ArchiveDateText(year, month, day).GetText()) + " " +
         IntervalNameText(month, day, static_cast<int32_t>(hour)).GetText() + " " + dbfPath;
}

// Reads "YYYYMMDD MMDD_HHh PATH"; false for anything else.
bool ParseJournalLine(const std::string& line, uint32_t* mark, std::string* dbfPath) {
  unsigned year, month, day, month2, day2, hour;
  int used = 0;
  if (line.size() < 18 ||
      std::sscanf(line.c_str(), "%4u%2u%2u %2u%2u_%2uh %n", &year, &month, &day, &month2, &day2,
                  &hour, &used) != 6 ||
      used != 18 || month != month2 || day != day2 || month < 1 || month > 12 || day < 1 ||
      day > 31 || hour > 23 || year < 1970) {
    return false;
  }
  uint32_t pc = 0;
  ZrDateAndTime2PcTime(pc, year, month, day, 0, 0, 0);
  *mark = pc + (hour + 1) * 3600;
  *dbfPath = line.substr(18);
  return !dbfPath->empty();
}

// The journal's entries; false (with an error line) when it exists but
// cannot be read. Lines that cannot be parsed are reported and dropped.
bool ReadJournal(const std::string& path, std::vector<std::pair<std::string, uint32_t>>* entries) {
  entries->clear();
  std::string text;
  if (!pv::PathExists(path)) return true;
  if (!pv::ReadWholeFile(path, &text).ok()) {
    GetLog()->PutError(ZrString("Failed 2 read ") + path.c_str());
    return false;
  }
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    uint32_t mark = 0;
    std::string dbfPath;
    if (ParseJournalLine(line, &mark, &dbfPath)) {
      entries->emplace_back(dbfPath, mark);
    } else {
      GetLog()->PutError(ZrString("Journal line not understood, ignored: ") + path.c_str() + ": " +
                         line.c_str());
    }
  }
  return true;
}

// "DDDD_DDh.dbf" or ".cdx" in any case: the name of an interim table.
bool IsInterimName(const std::string& name) {
  if (name.size() != 12) return false;
  for (size_t i : {0, 1, 2, 3, 5, 6}) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  std::string rest = name.substr(7);
  for (char& c : rest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name[4] == '_' && (rest == "h.dbf" || rest == "h.cdx");
}

// Removes path when it exists; false when it stays.
bool RemoveIfPresent(const std::string& path) {
  return !pv::PathExists(path) || pv::RemoveFile(path).ok();
}

}  // namespace

void ZipData::GroupSharedArchives() {
  for (size_t i = 0; i < DbfList.size(); ++i) {
    DbfList[i]->InterimOwner = nullptr;
    for (size_t j = 0; j < i; ++j) {
      if (DbfList[j]->InterimOwner == nullptr && DbfList[j]->ZipPath == DbfList[i]->ZipPath) {
        DbfList[i]->InterimOwner = DbfList[j];
        break;
      }
    }
  }
}

void ZipData::RemoveLeftoverInterims() {
  std::vector<std::string> dirs;
  for (const Dbf2Zip* copier : DbfList) {
    if (copier == nullptr) continue;
    const std::string dir = copier->DbfPath.GetText();
    if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
  }
  for (const std::string& dir : dirs) {
    std::vector<std::string> names;
    if (!pv::ListDirectory(dir.empty() ? "." : dir, &names).ok()) continue;  // shows at the copy
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      if (!IsInterimName(name)) continue;
      const std::string path = dir + name;
      GetLog()->PutInfo(ZrString("Removing leftover interim file ") + path.c_str());
      if (!pv::RemoveFile(path).ok()) GetLog()->PutError(ZrString("Failed 2 remove ") + path.c_str());
    }
  }
}

void ZipData::ReadJournals() {
  archived_until_.assign(DbfList.size(), 0);
  if (catch_up_hours_ == 0) return;
  const uint32_t start = PcOf(IntervalStart);
  for (size_t i = 0; i < DbfList.size(); ++i) {
    const Dbf2Zip* leader = DbfList[i];
    if (leader == nullptr || leader->InterimOwner != nullptr) continue;
    const std::string path = std::string(leader->ZipPath.GetText()) + kJournalName;
    // A rewrite that a kill interrupted; the journal itself is whole.
    RemoveIfPresent(path + ".tmp");
    std::vector<std::pair<std::string, uint32_t>> entries;
    ReadJournal(path, &entries);
    bool missing = false;
    for (size_t k = i; k < DbfList.size(); ++k) {
      const Dbf2Zip* c = DbfList[k];
      if (c == nullptr || (k != i && c->InterimOwner != leader)) continue;
      // A project directory new to the journal owes the interval in progress onwards.
      archived_until_[k] = start;
      auto it = std::find_if(entries.begin(), entries.end(),
                             [&](const auto& e) { return e.first == c->DbfPath.GetText(); });
      if (it != entries.end()) {
        archived_until_[k] = it->second;
      } else {
        missing = true;
      }
    }
    if (missing) WriteJournal(leader->ZipPath);
  }
}

void ZipData::WriteJournal(const ZrString& zipPath) {
  const std::string path = std::string(zipPath.GetText()) + kJournalName;
  std::vector<std::pair<std::string, uint32_t>> entries;
  if (!ReadJournal(path, &entries)) entries.clear();
  for (size_t k = 0; k < DbfList.size(); ++k) {
    const Dbf2Zip* c = DbfList[k];
    if (c == nullptr || c->ZipPath != zipPath) continue;
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const auto& e) { return e.first == c->DbfPath.GetText(); });
    if (it == entries.end()) {
      entries.emplace_back(c->DbfPath.GetText(), archived_until_[k]);
    } else {
      it->second = archived_until_[k];
    }
  }
  std::string text = kJournalHeader;
  for (const auto& e : entries) text += JournalLine(e.second, e.first) + "\r\n";
  ZrCreateDirectory(zipPath, false);
  const pv::Status s = pv::WriteFileAtomically(path, text);
  if (!s.ok()) {
    // The marks stay in memory; a restart before the next good write only
    // archives some intervals again.
    GetLog()->PutError(ZrString("Failed 2 write ") + path.c_str() + ": " + s.ToString().c_str());
  }
}

uint32_t ZipData::OwedFrom(size_t leader) const {
  const uint32_t span = static_cast<uint32_t>(WriteInterval.GetTotalHours()) * 3600u;
  const uint32_t now = MclkQueryUtTime();
  const uint32_t current = now - now % span;
  const uint32_t back = catch_up_hours_ * 3600u;
  uint32_t window = current > back ? current - back : 0;
  window += (span - window % span) % span;  // the first whole interval inside
  uint32_t from = UINT32_MAX;
  for (size_t k = leader; k < DbfList.size(); ++k) {
    const Dbf2Zip* c = DbfList[k];
    if (c == nullptr || (k != leader && c->InterimOwner != DbfList[leader])) continue;
    const uint32_t mark = archived_until_[k];
    from = std::min(from, std::max(mark - mark % span, window));
  }
  return from;
}

bool ZipData::OldestOwed(bool retry, uint32_t* start) {
  if (!JournalKept()) return false;
  const uint32_t span = static_cast<uint32_t>(WriteInterval.GetTotalHours()) * 3600u;
  const uint32_t now = MclkQueryUtTime();
  const uint32_t current = now - now % span;
  bool found = false;
  for (size_t i = 0; i < DbfList.size(); ++i) {
    if (DbfList[i] == nullptr || DbfList[i]->InterimOwner != nullptr) continue;
    const uint32_t from = OwedFrom(i);
    if (from >= current || from + span + kSettleSeconds > now) continue;
    if (!retry && from == PcOf(IntervalStart) && from + span == current) continue;
    if (!found || from < *start) *start = from;
    found = true;
  }
  return found;
}

bool ZipData::JournalKept() const {
  return catch_up_hours_ > 0 && archived_until_.size() == DbfList.size();
}

bool ZipData::CatchUpDue() {
  uint32_t start = 0;
  return !ZipError && OldestOwed(false, &start);
}

bool ZipData::CatchUpNext() {
  uint32_t start = 0;
  if (!OldestOwed(ZipError, &start)) return false;
  const ZrTime scheduled = IntervalStart;
  SetData4Interval(start);
  GetLog()->PutInfo(ZrString("Catching up ") + InterimName + " (" + ArchiveDate + ".zip)");
  ArchiveInterval(true);
  // The schedule goes on after the interval once it is archived, never back.
  const ZrTime next = PcTimeToZrTime(start + static_cast<uint32_t>(WriteInterval.GetTotalHours()) * 3600u);
  IntervalStart = !ZipError && next > scheduled ? next : scheduled;
  GetLog()->PutInfo(ZrString("Finished updating archives ") + ArchiveDate);
  return true;
}

void ZipData::SetData4Interval(uint32_t pc) {
  const ZrTime start = PcTimeToZrTime(pc);
  const int32_t lastHour = start.GetHour() + WriteInterval.GetTotalHours() - 1;
  ArchiveDate = ArchiveDateText(start.GetYear(), start.GetMonth(), start.GetDayOfMonth());
  InterimName = IntervalNameText(start.GetMonth(), start.GetDayOfMonth(), lastHour);
  IntervalStart = start;
  IntervalEnd = ZrTime(start.GetYear(), start.GetMonth(), start.GetDayOfMonth(), lastHour, 59, 59, 999);
}

void ZipData::ArchiveInterval(bool onlyOwing) {
  const uint32_t start = PcOf(IntervalStart);
  const uint32_t end = PcOf(IntervalEnd) + 1;
  const bool whole = MclkQueryUtTime() >= end;
  bool failed = false;
  for (size_t i = 0; i < DbfList.size(); ++i) {
    Dbf2Zip* leader = DbfList[i];
    if (leader == nullptr || leader->InterimOwner != nullptr) continue;
    const uint32_t from = JournalKept() ? OwedFrom(i) : 0;
    if (onlyOwing && from != start) continue;

    // An interim table of this name is what a killed run left: never append.
    const ZrString stem = leader->DbfPath + InterimName;
    int32_t error = 0;
    if (!RemoveIfPresent((stem + ".dbf").GetText()) || !RemoveIfPresent((stem + ".cdx").GetText())) {
      GetLog()->PutError(ZrString("Failed 2 remove leftover ") + stem + ".dbf");
      error = kRunErrInterimWrite;
    }
    int32_t records = 0;
    for (size_t k = i; k < DbfList.size() && error == 0; ++k) {
      Dbf2Zip* c = DbfList[k];
      if (c == nullptr || (k != i && c->InterimOwner != leader)) continue;
      const int32_t n = c->ProcessDbf();
      if (n < 0) error = -n;
      else records += n;
    }
    bool archived = error == 0;
    if (error != 0) {
      GetEciObjects()->SetError(error, leader->ZipPath, leader->DbfPath);
      ZipError = true;
      GetLog()->PutError(ZrString("Archive run failed, Error number %d\n", error) +
                         "   nothing written 2 " + leader->ZipPath + ArchiveDate + ".zip");
      RemoveIfPresent((stem + ".dbf").GetText());
      RemoveIfPresent((stem + ".cdx").GetText());
    } else if (records > 0) {
      archived = ZipDbf(leader->ZipPath, leader->DbfPath);
      RemoveInterimDbf(leader->DbfPath);
    }
    failed = failed || !archived;
    // Only a mark with nothing owed before this interval moves past it.
    if (!archived || !whole || !JournalKept() || from < start) continue;
    bool moved = false;
    for (size_t k = i; k < DbfList.size(); ++k) {
      const Dbf2Zip* c = DbfList[k];
      if (c == nullptr || (k != i && c->InterimOwner != leader) || archived_until_[k] >= end) continue;
      archived_until_[k] = end;
      moved = true;
    }
    if (moved) WriteJournal(leader->ZipPath);
  }
  if (!failed && ZipError) {
    GetEciObjects()->ResetError();
    ZipError = false;
  }
}
