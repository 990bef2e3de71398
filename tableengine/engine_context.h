// EngineContext: the state that the table engine keeps per database.
//
// A context holds the settings, the error state with its error hook, and the
// tables opened in it (a Table is always opened in one context and belongs to
// it). Locks are per context: with `single_lock` set, every lock request of a
// table first releases all locks of every table of the context.
//
// Error state: ErrorCode() is 0 (none) or the negative code of the last error
// raised (engine_errors.h). Raising an error sets the code and calls the
// error hook with the code, a second code (usually the operating system's or
// the format check's detail, else 0) and up to three description texts. The
// code stays until ClearError.
//
// Thread safety: a context and its tables are used by one thread at a time.
#ifndef PV_TABLEENGINE_ENGINE_CONTEXT_H_
#define PV_TABLEENGINE_ENGINE_CONTEXT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/status.h"

namespace pv {

class EngineContext;
class FileSystem;
class IndexOpener;
class Table;

// Called for every error the engine raises; descriptions may be null.
using ErrorHook = void (*)(EngineContext* context, int32_t code, int32_t code2,
                           const char* description1, const char* description2,
                           const char* description3);

struct EngineSettings {
  bool open_error = false;       // a missing file on open raises an error
  bool create_replaces = true;   // creating a file replaces an existing one
  bool lock_enforce = true;      // a field may be assigned only on a locked record
  int32_t lock_attempts = 3;     // attempts per lock request (>= 1)
  int32_t lock_retry_ms = 50;    // pause between two attempts
  bool single_lock = true;       // a lock request first releases the context's locks
  bool exclusive = false;        // open files without sharing
  bool defer_index = false;      // with exclusive: an index a table creates takes
                                 // records in one build later (table.h)
  bool read_only = false;        // open files for reading only; changes fail
};

class EngineContext {
 public:
  // fs: where the files live (null: the operating system's files).
  explicit EngineContext(FileSystem* fs = nullptr);
  ~EngineContext();  // closes every table still open
  EngineContext(const EngineContext&) = delete;
  EngineContext& operator=(const EngineContext&) = delete;

  EngineSettings& settings() { return settings_; }
  const EngineSettings& settings() const { return settings_; }
  FileSystem* file_system() const { return fs_; }

  // The opener of index files; null until the index module is installed.
  IndexOpener* index_opener() const { return index_opener_; }
  void set_index_opener(IndexOpener* opener) { index_opener_ = opener; }

  void set_error_hook(ErrorHook hook) { hook_ = hook; }
  ErrorHook error_hook() const { return hook_; }

  int32_t ErrorCode() const { return error_code_; }
  // Sets the error code without a report (0 clears it).
  void SetErrorCode(int32_t code) { error_code_ = code; }
  void ClearError() { error_code_ = 0; }
  // Sets the code and reports it through the hook. Returns code.
  int32_t ReportError(int32_t code, int32_t code2, const char* description1,
                      const char* description2 = nullptr, const char* description3 = nullptr);
  // Reports a failed Status with the given code; the status text is the
  // first description and `where` (may be null) the second.
  int32_t ReportStatus(int32_t code, const Status& status, const char* where = nullptr);

  // Releases every lock of every table of the context (changed records are
  // written first). 0, or the first error.
  int32_t UnlockAll();
  // Closes every table still open. 0, or the first error.
  int32_t CloseAll();

  const std::vector<Table*>& tables() const { return tables_; }

 private:
  friend class Table;
  void Attach(Table* table) { tables_.push_back(table); }
  void Detach(Table* table);

  FileSystem* fs_;
  IndexOpener* index_opener_ = nullptr;
  ErrorHook hook_ = nullptr;
  EngineSettings settings_;
  int32_t error_code_ = 0;
  std::vector<Table*> tables_;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_ENGINE_CONTEXT_H_
