#include "persist/zrp_base.h"

#include <cctype>
#include <string>

#include "foundation/platform/process.h"
#include "foundation/zr_debug_output.h"
#include "foundation/zr_throw.h"
#include "persist/error4hook.h"
#include "tableengine/cdx_opener.h"

namespace {

// Database name -> the first database opened under it. Exists while at
// least one registered database is open.
std::map<std::string, ZrpBase*>* g_registry = nullptr;

std::string UpperCase(const char* text) {
  std::string upper(text != nullptr ? text : "");
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

std::string TrimmedUser() {
  std::string user;
  if (!pv::UserName(&user).ok()) return std::string();
  const char* blanks = " \t\r\n";
  size_t first = user.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  size_t last = user.find_last_not_of(blanks);
  return UpperCase(user.substr(first, last - first + 1).c_str());
}

}  // namespace

ZrpBase::ZrpBase(pv::FileSystem* fs) : engine_(fs) { engine_.set_error_hook(error4hook); }

ZrpBase::~ZrpBase() { Close(); }

bool ZrpBase::Open(const char* name, const char* directory, bool useObjTables, bool readOnly) {
  open_ = true;
  useObjTables_ = useObjTables;
  if (g_registry == nullptr) g_registry = new std::map<std::string, ZrpBase*>();
  g_registry->emplace(name, this);  // an existing entry stays
  name_ = ZrString(name);
  directory_ = ZrString(UpperCase(directory).c_str());
  user_ = ZrString(TrimmedUser().c_str());

  // The engine never opens an index with its table, keeps no cache of a
  // shared file and creates files in the FoxPro 2.x form: those need no setting.
  pv::EngineSettings& settings = engine_.settings();
  settings.open_error = false;        // a missing file gives a null handle
  settings.create_replaces = true;
  settings.lock_enforce = true;       // fields change only on a locked record
  settings.lock_attempts = 3;
  settings.single_lock = true;        // a new lock releases the context's others
  settings.exclusive = false;         // shared with the control system
  settings.read_only = readOnly;
  engine_.set_index_opener(pv::CdxIndexOpener());
  readOnly_ = readOnly;

  if (!useObjTables) return true;
  return OpenObjectTables();
}

bool ZrpBase::OpenObjectTables() {
  using pv::UniqueMode;
  struct ObjectTable {
    const char* name;
    pv::FieldList fields;
    pv::TagList tags;
    bool indexed;
  };
  ObjectTable id{"__ID", {}, {}, false};
  id.fields.Add("ID", 'C', 16, 0);

  ObjectTable root{"__ROOT", {}, {}, true};
  root.fields.Add("ID", 'C', 16, 0);
  root.fields.Add("NAME", 'C', 32, 0);
  root.tags.Add("NAME", "NAME", ".NOT.DELETED()", UniqueMode::kUniqueError, false);
  root.tags.Add("ID", "ID", ".NOT.DELETED()", UniqueMode::kUniqueError, false);
  root.tags.Add("FREE", "ID", "DELETED()", UniqueMode::kKeepDuplicates, false);

  ObjectTable obj{"__OBJ", {}, {}, true};
  obj.fields.Add("ID", 'C', 16, 0);
  obj.fields.Add("DATA", 'M', 10, 0);
  obj.fields.Add("USECOUNT", 'C', 16, 0);
  obj.fields.Add("OBJ_VER", 'C', 16, 0);
  obj.fields.Add("OWNER", 'C', 32, 0);
  obj.fields.Add("CLASS", 'C', 32, 0);
  obj.tags.Add("ID", "ID", ".NOT.DELETED()", UniqueMode::kUniqueError, false);
  obj.tags.Add("FREE", "ID", "DELETED()", UniqueMode::kKeepDuplicates, false);

  bool ok = true;
  for (ObjectTable* t : {&id, &root, &obj}) {
    pv::Table* table = nullptr;
    std::string path = std::string(static_cast<const char*>(directory_)) + t->name;
    if (!OpenTable(engine_, table, path.c_str(), t->fields, t->indexed ? &t->tags : nullptr)) {
      ok = false;
      continue;
    }
    for (const pv::FieldDef& field : t->fields.fields()) {
      if (table->FieldByName(field.name) == nullptr) ok = false;
    }
  }
  engine_.ClearError();
  return ok;
}

void ZrpBase::Close() {
  if (!open_) return;
  if (g_registry != nullptr) {
    g_registry->erase(static_cast<const char*>(name_));
    if (g_registry->empty()) {
      delete g_registry;
      g_registry = nullptr;
    }
  }
  for (auto& entry : tables_) {
    entry.second->ReleaseMemoryBlocks();
    entry.second->Close();
  }
  tables_.clear();
  engine_.CloseAll();
  engine_.ClearError();
  open_ = false;
}

bool ZrpBase::SetReadOnly(bool readOnly) {
  bool previous = readOnly_;
  readOnly_ = readOnly;
  return previous;
}

bool ZrpBase::SearchTable(const ZrString& name, pv::Table*& out) const {
  auto it = tables_.find(static_cast<const char*>(name));
  if (it == tables_.end()) return false;
  out = it->second;
  return true;
}

bool ZrpBase::AddTable(pv::Table* table, const ZrString& name) {
  return tables_.emplace(static_cast<const char*>(name), table).second;
}

bool ZrpBase::RemoveTable(pv::Table* table, const ZrString& name) {
  if (table == nullptr) return false;
  table->ReleaseMemoryBlocks();
  int32_t rc = table->Close();
  tables_.erase(static_cast<const char*>(name));
  return rc == pv::kEngineOk;
}

void ZrpBase::SetHopeless(const char* path) { hopeless_.insert(path); }

bool ZrpBase::IsHopeless(const char* path) const { return hopeless_.count(path) != 0; }

bool ZrpBase::TxnStart() {
  ++txnCount_;
  return true;
}

bool ZrpBase::TxnEnd(bool /*commit*/) {
  if (txnCount_ == 0) {
    ZrAssertReport("_ulTxnCount > 0", "zrpbase", 1357);
    return true;
  }
  if (--txnCount_ > 0) return true;
  return engine_.UnlockAll() == pv::kEngineOk;
}

ZrpBase* ZrpBase::_GetBase(const char* name) {
  if (g_registry == nullptr) return nullptr;
  auto it = g_registry->find(name);
  return it == g_registry->end() ? nullptr : it->second;
}

bool OpenTable(pv::EngineContext& engine, pv::Table*& out, const char* path,
               const pv::FieldList& fields, const pv::TagList* tags) {
  out = pv::Table::Open(&engine, path);
  if (out == nullptr) {
    out = pv::Table::Create(&engine, path, fields);
    if (out == nullptr || engine.ErrorCode() != 0) return false;
  }
  if (tags == nullptr) return true;
  if (out->OpenIndex(std::string(path) + ".cdx") != nullptr) return true;
  out->CreateIndex(std::string(path) + ".cdx", *tags);
  return engine.ErrorCode() == 0;
}
