#include "serverlink/eci_client.h"

#include <cmath>
#include <memory>
#include <string>
#include <utility>

#include "foundation/zr_debug_output.h"
#include "serverlink/object_store.h"

namespace {

struct Connection {
  std::unique_ptr<ObjectStore> store;
  StoreClockConfig clock;  // from the last successful read
  std::string text;        // the text handed out last
  std::string last_error;
  std::string logged;      // the reason last logged; cleared by a good read
  RealTimeSource* time_source = nullptr;
};

Connection& Conn() {
  static Connection conn;
  return conn;
}

int32_t StoreFailure(const char* operation, const pv::Status& st) {
  Connection& c = Conn();
  c.last_error = std::string(operation) + ": " + st.ToString();
  // A broken store fails every call, about once a second: log each reason once.
  if (st.ToString() != c.logged) {
    c.logged = st.ToString();
    _ErrorOutputToWnd(c.last_error.c_str());
  }
  return kEciStoreError;
}

// Brings the connection's view of the store up to date.
int32_t ReadStore(const char* operation, const StoreDocument** doc) {
  Connection& c = Conn();
  if (!c.store) return kEciNotConnected;
  pv::Status st = c.store->Read(doc);
  if (!st.ok()) return StoreFailure(operation, st);
  c.logged.clear();
  c.clock = (*doc)->clock();
  return 0;
}

// The object obj_no, for an operation whose value record is `value`.
int32_t ReadObject(const char* operation, uint16_t obj_no, const DoValue* value,
                   const StoreObject** obj) {
  if (value == nullptr) return kEciBadArgument;
  const StoreDocument* doc = nullptr;
  int32_t rc = ReadStore(operation, &doc);
  if (rc != 0) return rc;
  if (obj_no == 0 || obj_no > doc->size()) return kEciNoObject;
  *obj = &doc->Object(obj_no);
  return 0;
}

void HandOutText(const std::string& text, DoValue* value) {
  Connection& c = Conn();
  c.text = text;
  value->type = kDoTypeText;
  value->text = c.text.c_str();
}

// The DoValue converted to the object's type, as DoAppSetValue describes.
int32_t ConvertForObject(const DoValue& in, StoreType type, StoreValue* out) {
  out->type = type;
  if (DoIsText(in)) {
    if (type != StoreType::kText) return kEciWrongType;
    if (in.text == nullptr) return kEciBadArgument;
    out->text = in.text;
    return CheckStoreText(out->text).ok() ? 0 : kEciBadArgument;
  }
  if (in.type != kDoTypeLong && in.type != kDoTypeFloat) return kEciWrongType;
  switch (type) {
    case StoreType::kInt:
      out->i = DoAsNumber(in);
      return 0;
    case StoreType::kFloat:
      out->f = in.type == kDoTypeFloat ? in.fval : static_cast<float>(in.lval);
      return std::isfinite(out->f) ? 0 : kEciBadArgument;
    case StoreType::kText:
      return kEciWrongType;
  }
  return kEciWrongType;
}

RealTimeSource* TimeSource() {
  RealTimeSource* s = Conn().time_source;
  return s != nullptr ? s : SystemTimeSource();
}

// The clock settings of the store when it can be read, else the last known.
const StoreClockConfig& CurrentClock() {
  const StoreDocument* doc = nullptr;
  ReadStore("MclkQuery", &doc);
  return Conn().clock;
}

}  // namespace

int32_t DosvConnectApp(const char* app_name, const char* project_path) {
  if (app_name == nullptr || project_path == nullptr) return kEciBadArgument;
  std::unique_ptr<ObjectStore> store;
  pv::Status st = ObjectStore::Open(project_path, &store);
  if (!st.ok()) return StoreFailure("DosvConnectApp", st);
  Connection& c = Conn();
  c.store = std::move(store);
  const StoreDocument* doc = nullptr;
  return ReadStore("DosvConnectApp", &doc);
}

int32_t DoGetObjNum(const char* name, DoValue* value) {
  if (name == nullptr || value == nullptr) return kEciBadArgument;
  const StoreDocument* doc = nullptr;
  int32_t rc = ReadStore("DoGetObjNum", &doc);
  if (rc != 0) return rc;
  uint32_t number = doc->Find(name);
  if (number == 0) return kEciNoObject;
  value->type = kDoTypeLong;
  value->lval = static_cast<int32_t>(number);
  return 0;
}

int32_t DoGetValue(uint16_t obj_no, DoValue* value) {
  const StoreObject* obj = nullptr;
  int32_t rc = ReadObject("DoGetValue", obj_no, value, &obj);
  if (rc != 0) return rc;
  switch (obj->value.type) {
    case StoreType::kInt:
      *value = DoLong(obj->value.i);
      break;
    case StoreType::kFloat:
      *value = DoFloat(obj->value.f);
      break;
    case StoreType::kText:
      HandOutText(obj->value.text, value);
      break;
  }
  return 0;
}

int32_t DoGetSoTxt(uint16_t obj_no, DoValue* value) {
  const StoreObject* obj = nullptr;
  int32_t rc = ReadObject("DoGetSoTxt", obj_no, value, &obj);
  if (rc != 0) return rc;
  if (obj->value.type != StoreType::kText) return kEciWrongType;
  HandOutText(obj->value.text, value);
  return 0;
}

int32_t DoAppSetValue(uint16_t obj_no, const DoValue* value) {
  const StoreObject* obj = nullptr;
  int32_t rc = ReadObject("DoAppSetValue", obj_no, value, &obj);
  if (rc != 0) return rc;
  StoreValue v;
  rc = ConvertForObject(*value, obj->value.type, &v);
  if (rc != 0) return rc;
  pv::Status st = Conn().store->Set(obj_no, v);
  // The object's type may have been changed by hand between the read above
  // and the write.
  if (st.IsInvalidArgument()) return kEciWrongType;
  if (!st.ok()) return StoreFailure("DoAppSetValue", st);
  return 0;
}

uint32_t MclkQueryUtTime() { return ServerUtTime(CurrentClock(), TimeSource()); }

uint32_t MclkQueryLtTime() { return ServerLtTime(CurrentClock(), TimeSource()); }

const char* EciLastError() { return Conn().last_error.c_str(); }

void EciDisconnect() {
  Connection& c = Conn();
  c.store.reset();
  c.clock = StoreClockConfig();
  c.text.clear();
}

void EciSetRealTimeSource(RealTimeSource* source) { Conn().time_source = source; }
