// ZrpTableBase: opening on first use, and rebuilding a table whose fields
// differ from its declaration.
//
// Opening order (each step logged to the debug log):
//   name pass -> path = directory + name; a hopeless path fails at once
//   a table already open in the database under that name is shared
//   define pass: "__FREE" first, then the class's fields and tags
//   open the data file; with create-and-adjust (and a writable database)
//     create it when missing, or rebuild it when its fields differ
//   open the index file; when missing (and writable) create it with the
//     declared tags. An index that opens is used as it is: a declared tag
//     that it lacks stays missing until the table is rebuilt.
// Any failure makes the path hopeless for the database object's life.
//
// Rebuild: the declared fields go into a new "__DBTEMP" data file in the
// same directory; every record not deleted is copied field by field (by
// exact name, converted by the engine; memos byte for byte), the old data,
// memo and index files are removed and the new files renamed to the old
// names. The index is then created afresh by the opening step.
#include <cstring>
#include <string>

#include "foundation/platform/message_box.h"
#include "foundation/zr_debug_output.h"
#include "persist/zrp_table_base.h"

namespace {

constexpr const char* kTempName = "__DBTEMP";

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

void CopyField(pv::Field* to, pv::Field* from) {
  if (from->Type() != 'M') {
    to->AssignField(*from);
    return;
  }
  int32_t length = from->MemoLength();
  const char* bytes = from->MemoPtr();
  if (to->MemoSetLength(length) == pv::kEngineOk && length > 0 && bytes != nullptr) {
    std::memcpy(to->MemoBuffer(), bytes, static_cast<size_t>(length));
  }
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
  _DebugOutput("ZrpTableBase::Init()-3");
  table_ = pv::Table::Open(&engine, static_cast<const char*>(path));
  _DebugOutput("ZrpTableBase::Init()-4");

  if (createAndAdjust_ && !base_->IsReadOnly()) {
    if (table_ != nullptr) {
      if (AdjustStructure(fields)) {
        _DebugOutput("ZrpTableBase::Init()-7");
        table_ = pv::Table::Open(&engine, static_cast<const char*>(path));
        _DebugOutput("ZrpTableBase::Init()-8");
      }
    } else {
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
  if (SameStructure(table_, declared)) return false;
  pv::EngineContext& engine = base_->GetEngine();

  // Split the data file's path into directory, base name and extension.
  const std::string dataPath = table_->FileName();
  size_t slash = dataPath.find_last_of("/\\");
  std::string dir = slash == std::string::npos ? std::string() : dataPath.substr(0, slash + 1);
  std::string file = dataPath.substr(dir.size());
  size_t dot = file.find_last_of('.');
  std::string baseName = dot == std::string::npos ? file : file.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);

  pv::Table* rebuilt = pv::Table::Create(&engine, dir + kTempName + ext, declared);
  if (rebuilt == nullptr) return false;  // the old table stays as it is

  table_->SelectTag(nullptr);
  for (int32_t rc = table_->Top(); rc == pv::kEngineOk && !table_->Eof(); rc = table_->Skip(1)) {
    if (table_->Deleted()) continue;
    if (rebuilt->AppendBlank() != pv::kEngineOk) break;
    for (const pv::FieldDef& def : declared.fields()) {
      pv::Field* from = Counterpart(table_, def.name);
      pv::Field* to = rebuilt->FieldByName(def.name, false);
      if (from != nullptr && to != nullptr) CopyField(to, from);
    }
  }
  rebuilt->Flush();
  bool hasMemo = rebuilt->HasMemoFile();
  table_->OpenIndex(dir + baseName + ".cdx");  // so that Remove deletes it too
  table_->Remove();
  table_ = nullptr;
  rebuilt->Close();

  pv::FileSystem* fs = base_->GetFileSystem();
  fs->Rename(dir + kTempName + ext, dataPath);
  if (hasMemo) fs->Rename(dir + kTempName + ".fpt", dir + baseName + ".fpt");
  return true;
}
