#include "tableengine/engine_context.h"

#include <algorithm>

#include "tableengine/engine_errors.h"
#include "tableengine/engine_file.h"
#include "tableengine/table.h"

namespace pv {

EngineContext::EngineContext(FileSystem* fs) : fs_(fs != nullptr ? fs : OsFileSystem()) {}

EngineContext::~EngineContext() { CloseAll(); }

void EngineContext::Detach(Table* table) {
  tables_.erase(std::remove(tables_.begin(), tables_.end(), table), tables_.end());
}

int32_t EngineContext::ReportError(int32_t code, int32_t code2, const char* d1, const char* d2,
                                   const char* d3) {
  error_code_ = code;
  if (hook_ != nullptr) hook_(this, code, code2, d1, d2, d3);
  return code;
}

int32_t EngineContext::ReportStatus(int32_t code, const Status& status, const char* where) {
  const std::string text = status.ToString();
  return ReportError(code, static_cast<int32_t>(status.code()), text.c_str(), where);
}

int32_t EngineContext::UnlockAll() {
  int32_t result = 0;
  for (Table* t : tables_) {
    int32_t r = t->Unlock();
    if (r < 0 && result == 0) result = r;
  }
  return result;
}

int32_t EngineContext::CloseAll() {
  int32_t result = 0;
  while (!tables_.empty()) {
    int32_t r = tables_.back()->Close();  // detaches itself
    if (r < 0 && result == 0) result = r;
  }
  return result;
}

}  // namespace pv
