// ZrpBase: a database, i.e. one directory of dBASE tables reached through one
// table-engine context with one set of engine settings.
//
// A table's path is the directory (upper-cased at Open, kept with its
// trailing separator) followed directly by the table name, without
// extension; the engine adds ".dbf", ".cdx" and ".fpt". The database keeps
// the tables open in it by name, so that all table objects of one table share
// one engine handle and closing the database closes them all, and the paths
// whose opening failed (the hopeless set, kept for the object's whole life).
//
// TxnStart/TxnEnd form a lock scope, not a transaction: when the outermost
// bracket ends, every lock of the context is released; nothing is rolled back.
//
// A process-wide registry maps database names to the first database opened
// under each name (object references use it; nothing else in this program).
//
// Files: every file of the database is reached through one pv::FileSystem
// (tableengine/engine_file.h), the operating system's unless the constructor
// is given another (tests give a MemFileSystem to inject faults). Nothing in
// this layer touches a file any other way.
//
// Thread safety: a database, its tables and the registry are used by one
// thread.
#ifndef PV_PERSIST_ZRP_BASE_H_
#define PV_PERSIST_ZRP_BASE_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "foundation/zr_memory_pooled.h"
#include "foundation/zr_string.h"
#include "tableengine/engine_api.h"
#include "tableengine/engine_file.h"

class ZrpBase {
  ZR_POOLED_CLASS(ZrpBase)

 public:
  // fs: where the tables live (null: the operating system's files); it must
  // outlive the database.
  explicit ZrpBase(pv::FileSystem* fs = nullptr);
  virtual ~ZrpBase();
  ZrpBase(const ZrpBase&) = delete;
  ZrpBase& operator=(const ZrpBase&) = delete;

  // Applies the engine settings; with useObjTables also opens (or creates)
  // the object tables "__ID", "__ROOT" and "__OBJ" and is then false when one
  // of them or one of their fields is missing. Without them it cannot fail.
  bool Open(const char* name, const char* directory, bool useObjTables, bool readOnly);
  // Closes every table of the database and the engine context. A database
  // is opened and closed once.
  void Close();

  bool IsOpen() const { return open_; }
  bool IsReadOnly() const { return readOnly_; }
  bool IsUsingObjTables() const { return useObjTables_; }
  // Returns the previous value; the engine's own read-only mode stays as
  // Open set it.
  bool SetReadOnly(bool readOnly);

  ZrString GetName() const { return name_; }
  ZrString GetDir() const { return directory_; }
  ZrString GetUser() const { return user_; }
  pv::EngineContext& GetEngine() { return engine_; }
  pv::FileSystem* GetFileSystem() const { return engine_.file_system(); }

  bool SearchTable(const ZrString& name, pv::Table*& out) const;
  // False, leaving the map unchanged, when name is already present.
  bool AddTable(pv::Table* table, const ZrString& name);
  // Closes the table in the engine and drops the entry name (if present).
  // True when the engine closed the table without error.
  bool RemoveTable(pv::Table* table, const ZrString& name);

  // Paths compared byte-wise; an entry stays until the object is destroyed.
  void SetHopeless(const char* path);
  bool IsHopeless(const char* path) const;

  bool TxnStart();
  // The argument has no effect (nothing can be rolled back).
  bool TxnEnd(bool commit = true);

  // The database registered under name, or null.
  static ZrpBase* _GetBase(const char* name);

 private:
  bool OpenObjectTables();

  std::map<std::string, pv::Table*> tables_;
  std::set<std::string> hopeless_;
  pv::EngineContext engine_;
  ZrString user_;
  ZrString name_;
  ZrString directory_;
  uint32_t txnCount_ = 0;
  bool useObjTables_ = false;
  bool open_ = false;
  bool readOnly_ = false;
};

// ZrpTxnScope: a TxnStart/TxnEnd bracket bound to a scope. End() closes it
// and tells whether the locks were released, and with them the changed
// records written: an operation that changes data must call it and report
// its result. The destructor closes a bracket still open (an early return
// after a failure) and has nothing to report to.
class ZrpTxnScope {
 public:
  explicit ZrpTxnScope(ZrpBase* base) : base_(base) { base_->TxnStart(); }
  ~ZrpTxnScope() {
    if (base_ != nullptr) base_->TxnEnd(true);
  }
  ZrpTxnScope(const ZrpTxnScope&) = delete;
  ZrpTxnScope& operator=(const ZrpTxnScope&) = delete;

  [[nodiscard]] bool End() {
    ZrpBase* base = base_;
    base_ = nullptr;
    return base == nullptr || base->TxnEnd(true);
  }

 private:
  ZrpBase* base_;
};

// Opens the table at path, creating it with fields when it is missing; with
// tags also opens its index, creating it with tags when it is missing. False
// when the engine reports an error on a creation or nothing could be opened.
bool OpenTable(pv::EngineContext& engine, pv::Table*& out, const char* path,
               const pv::FieldList& fields, const pv::TagList* tags);

#endif  // PV_PERSIST_ZRP_BASE_H_
