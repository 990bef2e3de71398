// ZrpTableBase: opening on first use, and rebuilding a table whose fields
// differ from its declaration.
//
// Opening order (each step logged to the debug log):
//   name pass -> path = directory + name; a hopeless path fails at once
//   a table already open in the database under that name is shared
//   define pass: "__FREE" first, then the class's fields and tags
//   open the data file; with create-and-adjust (and a writable database)
//     create it when missing (not when it failed to open), or rebuild it
//     when its fields differ
//   open the index file; when missing (and writable) create it with the
//     declared tags. An index that opens is used as it is: a declared tag
//     that it lacks stays missing until the table is rebuilt.
// Any failure makes the path hopeless for the database object's life.
//
// Rebuild: the declared fields go into a new "__DBTEMP" data file in the
// same directory; every record not deleted is copied field by field (by
// exact name, converted by the engine; memos byte for byte). Only when every
// record is in it, flushed, closed and synced does the swap begin: the old
// memo, index and data files get the suffix ".old", the new memo and then
// the new data file take the old names, and the directory is synced; a
// failure on the way renames back what was moved. The old files are removed
// last. Whatever step fails, the original table stays readable and complete
// under its name, and the opening fails (the path becomes hopeless); the new
// files are removed. A swap cut short by a crash is finished at the next
// opening: without a data file the ".old" files go back, with one they are
// removed. The index is created afresh by the opening step.
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/platform/message_box.h"
#include "foundation/zr_debug_output.h"
#include "persist/zrp_table_base.h"

namespace {

constexpr const char* kTempName = "__DBTEMP";
// The suffix of an old file set aside during a rebuild's swap.
constexpr const char* kOldSuffix = ".old";
// The extensions of a table's files, in the order a swap cut short is
// undone or cleared: the data file last, since its ".old" copy is what
// marks an unfinished swap.
constexpr const char* kTableExtensions[] = {".fpt", ".dbt", ".cdx", ".dbf"};

// The existing field that a declared field corresponds to: same name,
// compared exactly.
pv::Field* Counterpart(pv::Table* table, const std::string& name) {
  for (int32_t i = 1; i <= table->FieldCount(); ++i) {
    pv::Field* field = table->FieldAt(i);
    if (field->Name() == name) return field;
  }
  return nullptr;
}

bool SameStructure(pv::Table* table, const pv::FieldList& declared) {
  if (static_cast<size_t>(table->FieldCount()) != declared.size()) return false;
  for (const pv::FieldDef& def : declared.fields()) {
    pv::Field* field = Counterpart(table, def.name);
    if (field == nullptr || field->Type() != def.type || field->Width() != def.width ||
        field->Decimals() != def.decimals) {
      return false;
    }
  }
  return true;
}

bool CopyField(pv::Field* to, pv::Field* from) {
  if (from->Type() != 'M') return to->AssignField(*from) == pv::kEngineOk;
  int32_t length = from->MemoLength();
  const char* bytes = from->MemoPtr();
  if (to->MemoSetLength(length) != pv::kEngineOk) return false;
  if (length > 0 && bytes != nullptr) {
    std::memcpy(to->MemoBuffer(), bytes, static_cast<size_t>(length));
  }
  return true;
}

// Forces a file's written data to storage.
pv::Status SyncFile(pv::FileSystem* fs, const std::string& path) {
  std::unique_ptr<pv::File> file;
  pv::Status s = fs->Open(path, pv::OpenOptions(), &file);
  if (s.ok()) s = file->Sync();
  pv::Status closed = file != nullptr ? file->Close() : pv::Status::OK();
  return s.ok() ? closed : s;
}

// Renames done so far, undone in reverse order when a later step fails.
class RenameJournal {
 public:
  explicit RenameJournal(pv::FileSystem* fs) : fs_(fs) {}
  pv::Status Rename(const std::string& from, const std::string& to) {
    pv::Status s = fs_->Rename(from, to);
    if (s.ok()) done_.emplace_back(from, to);
    return s;
  }
  // Best effort: a rename back that fails leaves that file under its
  // "__DBOLD" name, where the report of the first failure points.
  void Undo() {
    for (auto it = done_.rbegin(); it != done_.rend(); ++it) {
      pv::Status s = fs_->Rename(it->second, it->first);
      if (!s.ok()) _ErrorOutputToWnd(s.ToString().c_str());
    }
    done_.clear();
  }

 private:
  pv::FileSystem* fs_;
  std::vector<std::pair<std::string, std::string>> done_;
};

// A rebuild's swap cut short (a crash, or a rename back that failed) left
// the old files under ".old" names. While the data file is missing they are
// the table and go back; once the new data file is in place they are
// removed.
void FinishCutRebuild(pv::EngineContext& engine, const std::string& path) {
  pv::FileSystem* fs = engine.file_system();
  if (!fs->Exists(path + ".dbf" + kOldSuffix)) return;
  const bool restore = !fs->Exists(path + ".dbf");
  for (const char* ext : kTableExtensions) {
    const std::string old = path + ext + kOldSuffix;
    if (!fs->Exists(old)) continue;
    pv::Status s = restore ? fs->Rename(old, path + ext) : fs->Remove(old);
    if (!s.ok()) {
      // The data file's ".old" copy stays, so the next opening tries again.
      engine.ReportStatus(restore ? pv::kErrWrite : pv::kErrRemove, s, old.c_str());
      break;
    }
  }
  if (restore) {
    size_t slash = path.find_last_of("/\\");
    pv::Status s = fs->SyncDir(slash == std::string::npos ? "." : path.substr(0, slash + 1));
    if (!s.ok()) engine.ReportStatus(pv::kErrWrite, s, path.c_str());
  }
  engine.ClearError();  // reported; the opening that follows decides
}

}  // namespace

bool ZrpTableBase::Init() {
  _DebugOutput("ZrpTableBase::Init-Start");
  if (table_ != nullptr) return true;
  ZrString name = DeclaredName();
  ZrString path = base_->GetDir() + name;

  bool opened = false;
  if (!base_->IsHopeless(path)) {
    if (base_->SearchTable(name, table_)) {
      opened = true;
    } else {
      _DebugOutput("SearchTable failed: " + name);
      ZrpTableInfo define(table_, XchgDefine);
      define.tags.Add("__FREE", "RECNO()", "DELETED()", pv::UniqueMode::kKeepDuplicates, false);
      _DebugOutput("ZrpTableBase::Init()-1");
      ZrpTableXChg(&define);
      _DebugOutput("ZrpTableBase::Init()-2");
      opened = OpenFiles(path, define.fields, define.tags);
      if (opened) base_->AddTable(table_, name);
    }
  }
  if (!opened) {
    int32_t code = base_->GetEngine().ErrorCode();
    Fail(code != pv::kEngineOk ? code : pv::kErrOpen);
    _DebugOutput("ZrpTableBase::Init-Hopeless");
    table_ = nullptr;
    base_->SetHopeless(path);
    _DebugOutput("ZrpTableBase::Init-End");
    return false;
  }
  Fail(table_->Unlock());
  _DebugOutput("ZrpTableBase::Init-End");
  return true;
}

bool ZrpTableBase::OpenFiles(const ZrString& path, const pv::FieldList& fields,
                             const pv::TagList& tags) {
  pv::EngineContext& engine = base_->GetEngine();
  if (!base_->IsReadOnly()) FinishCutRebuild(engine, static_cast<const char*>(path));
  _DebugOutput("ZrpTableBase::Init()-3");
  table_ = pv::Table::Open(&engine, static_cast<const char*>(path));
  _DebugOutput("ZrpTableBase::Init()-4");

  if (createAndAdjust_ && !base_->IsReadOnly()) {
    if (table_ != nullptr) {
      if (AdjustStructure(fields) && table_ == nullptr) {
        _DebugOutput("ZrpTableBase::Init()-7");
        table_ = pv::Table::Open(&engine, static_cast<const char*>(path));
        _DebugOutput("ZrpTableBase::Init()-8");
      }
    } else if (engine.ErrorCode() == pv::kEngineOk) {
      // Only a table that is missing is created: one that failed to open
      // (busy, unreadable) would be replaced by an empty one.
      _DebugOutput("ZrpTableBase::Init()-5");
      table_ = pv::Table::Create(&engine, static_cast<const char*>(path), fields);
      _DebugOutput("ZrpTableBase::Init()-6");
    }
    if (table_ == nullptr) {
      _DebugOutput("ZrpTableBase::Init() : d4.create or AdjustDbStruct failed" + path);
      ReportCreateFailure("Error creating database file\n", path);
      return false;
    }
    Unlock();
  }
  if (table_ == nullptr) return false;

  std::string indexPath = std::string(static_cast<const char*>(path)) + ".cdx";
  if (table_->OpenIndex(indexPath) == nullptr) {
    if (base_->IsReadOnly()) {
      table_->Close();
      return false;
    }
    engine.ClearError();
    if (table_->CreateIndex(indexPath, tags) == nullptr) {
      _DebugOutput("ZrpTableBase::Init() : i4.create failed: " + path);
      ReportCreateFailure("Error creating index file\n", path);
    }
    if (engine.ErrorCode() != pv::kEngineOk) {
      table_->Close();
      // A half-made index would be taken as it is by the next opening.
      pv::FileSystem* fs = base_->GetFileSystem();
      const std::string made = fs->Resolve(indexPath);
      if (fs->Exists(made)) {
        pv::Status removed = fs->Remove(made);
        if (!removed.ok()) engine.ReportStatus(pv::kErrRemove, removed, made.c_str());
      }
      return false;
    }
  }
  return true;
}

void ZrpTableBase::ReportCreateFailure(const char* what, const ZrString& path) {
  pv::EngineContext& engine = base_->GetEngine();
  int32_t code = engine.ErrorCode();
  engine.ReportError(code, 0, "ZrpTableBase::Init()", path);
  ZrString text = what + path + "\n" + ZrString(pv::EngineErrorText(code));
  pv::ShowMessageBox("ZrpTableBase", text, pv::MessageIcon::kNone);
}

bool ZrpTableBase::AdjustStructure(const pv::FieldList& declared) {
  if (SameStructure(table_, declared)) return true;
  pv::EngineContext& engine = base_->GetEngine();
  pv::FileSystem* fs = base_->GetFileSystem();

  // Split the data file's path into directory, base name and extension.
  const std::string dataPath = table_->FileName();
  size_t slash = dataPath.find_last_of("/\\");
  std::string dir = slash == std::string::npos ? std::string() : dataPath.substr(0, slash + 1);
  std::string file = dataPath.substr(dir.size());
  size_t dot = file.find_last_of('.');
  std::string baseName = dot == std::string::npos ? file : file.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);
  const std::string oldMemo = table_->HasMemoFile() ? table_->MemoFileName() : std::string();
  const std::string oldIndex = dir + baseName + ".cdx";
  const std::string newData = dir + kTempName + ext;
  const std::string newMemo = dir + kTempName + ".fpt";

  auto failed = [&](const pv::Status& s, int32_t code, const std::string& where) {
    if (!s.ok()) engine.ReportStatus(code, s, where.c_str());
    if (table_ != nullptr) table_->Close();
    table_ = nullptr;
    for (const std::string& temp : {newData, newMemo}) {
      if (fs->Exists(temp) && !fs->Remove(temp).ok()) {
        _ErrorOutputToWnd(("cannot remove " + temp).c_str());
      }
    }
    return false;
  };

  pv::Table* rebuilt = pv::Table::Create(&engine, newData, declared);
  if (rebuilt == nullptr) return failed(pv::Status::OK(), 0, newData);

  table_->SelectTag(nullptr);
  int32_t rc = table_->Top();
  bool copied = true;
  for (; copied && rc == pv::kEngineOk && !table_->Eof(); rc = table_->Skip(1)) {
    if (table_->Deleted()) continue;
    copied = rebuilt->AppendBlank() == pv::kEngineOk;
    for (const pv::FieldDef& def : declared.fields()) {
      pv::Field* from = Counterpart(table_, def.name);
      pv::Field* to = rebuilt->FieldByName(def.name, false);
      if (copied && from != nullptr && to != nullptr) copied = CopyField(to, from);
    }
  }
  copied = copied && (rc == pv::kEngineOk || rc == pv::kResultEof) &&
           engine.ErrorCode() == pv::kEngineOk;
  const bool hasMemo = rebuilt->HasMemoFile();
  if (!copied || rebuilt->Flush() != pv::kEngineOk) {
    rebuilt->Close();  // a failure is reported by the engine; the files go below
    return failed(pv::Status::OK(), 0, newData);
  }
  if (rebuilt->Close() != pv::kEngineOk) return failed(pv::Status::OK(), 0, newData);
  for (const std::string& made : {newData, newMemo}) {
    if (made == newMemo && !hasMemo) continue;
    pv::Status s = SyncFile(fs, made);
    if (!s.ok()) return failed(s, pv::kErrWrite, made);
  }
  if (table_->Close() != pv::kEngineOk) {
    table_ = nullptr;
    return failed(pv::Status::OK(), 0, dataPath);
  }
  table_ = nullptr;

  // The swap: old files aside, new files in, directory synced.
  RenameJournal journal(fs);
  // The new data file goes in last: while it is missing, the ".old" files
  // are the table (see FinishCutRebuild).
  std::vector<std::pair<std::string, std::string>> moves;
  if (!oldMemo.empty()) moves.emplace_back(oldMemo, oldMemo + kOldSuffix);
  if (fs->Exists(oldIndex)) moves.emplace_back(oldIndex, oldIndex + kOldSuffix);
  moves.emplace_back(dataPath, dataPath + kOldSuffix);
  if (hasMemo) moves.emplace_back(newMemo, dir + baseName + ".fpt");
  moves.emplace_back(newData, dataPath);
  for (const auto& [from, to] : moves) {
    pv::Status s = journal.Rename(from, to);
    if (!s.ok()) {
      journal.Undo();
      return failed(s, pv::kErrWrite, from);
    }
  }
  pv::Status s = fs->SyncDir(dir.empty() ? "." : dir);
  if (!s.ok()) {
    journal.Undo();
    return failed(s, pv::kErrWrite, dir);
  }
  // The new table is in place; the old files go last, the data file's last
  // of all. One that stays is reported and cleared by the next opening.
  // A removal that fails stops the others: the data file's ".old" copy must
  // stay while any other does, so that the next opening clears them.
  for (size_t i = 0; i + (hasMemo ? 2 : 1) < moves.size(); ++i) {
    s = fs->Remove(moves[i].second);
    if (!s.ok()) {
      engine.ReportStatus(pv::kErrRemove, s, moves[i].second.c_str());
      break;
    }
  }
  engine.ClearError();
  return true;
}
