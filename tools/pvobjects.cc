// pvobjects: lists, reads and changes the objects of an object store file, and
// shows its server clock. An operator stops Packvault with
//   pvobjects plant1.do set '$SHUTDOWN' 1
//
// Exit codes: 0 success, 1 usage, 2 the store is missing, malformed or cannot
// be read or written, 3 unknown object name (or, for add, an existing one),
// 4 a value, type or name that does not parse.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/zr_time.h"
#include "foundation/zr_types.h"
#include "serverlink/object_store.h"
#include "serverlink/server_clock.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitStore = 2;
constexpr int kExitName = 3;
constexpr int kExitValue = 4;

int Usage() {
  std::fprintf(stderr,
               "usage: pvobjects FILE list\n"
               "       pvobjects FILE get NAME\n"
               "       pvobjects FILE set NAME VALUE\n"
               "       pvobjects FILE add NAME TYPE [VALUE]   (TYPE int, float or text)\n"
               "       pvobjects FILE clock\n");
  return kExitUsage;
}

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "pvobjects: %s\n", message.c_str());
  return code;
}

int StoreFail(const pv::Status& st) { return Fail(kExitStore, st.ToString()); }

std::string FormatPcTime(uint32_t pc, const char* date_time_sep, const char* suffix) {
  ZrULong y, mo, d, h, mi, s;
  ZrPcTime2DateAndTime(pc, y, mo, d, h, mi, s);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u%s%02u:%02u:%02u%s (%u)", y, mo, d, date_time_sep,
                h, mi, s, suffix, pc);
  return buf;
}

int List(const StoreDocument& doc) {
  for (uint32_t n = 1; n <= doc.size(); ++n) {
    const StoreObject& obj = doc.Object(n);
    std::printf("%u %s = %s %s\n", n, obj.name.c_str(), StoreTypeName(obj.value.type),
                FormatStoreValue(obj.value).c_str());
  }
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string path = argv[1];
  const std::string command = argv[2];
  const int args = argc - 3;
  if (!((command == "list" && args == 0) || (command == "get" && args == 1) ||
        (command == "set" && args == 2) || (command == "add" && (args == 2 || args == 3)) ||
        (command == "clock" && args == 0))) {
    return Usage();
  }

  std::unique_ptr<ObjectStore> store;
  pv::Status st = ObjectStore::Open(path, &store);
  if (!st.ok()) return StoreFail(st);
  const StoreDocument* doc = nullptr;
  st = store->Read(&doc);
  if (!st.ok()) return StoreFail(st);

  if (command == "list") return List(*doc);
  if (command == "clock") {
    StoreClockConfig clock = doc->clock();
    std::printf("UT %s\n", FormatPcTime(ServerUtTime(clock, SystemTimeSource()), "T", "Z").c_str());
    std::printf("LT %s\n", FormatPcTime(ServerLtTime(clock, SystemTimeSource()), " ", "").c_str());
    return 0;
  }

  const std::string name = argv[3];
  if (command == "add") {
    StoreType type;
    if (!ParseStoreType(argv[4], &type)) {
      return Fail(kExitValue, std::string("type \"") + argv[4] + "\" is not int, float or text");
    }
    StoreValue value;
    st = ParseStoreValue(type, args == 3 ? argv[5] : "", &value);
    if (!st.ok()) return Fail(kExitValue, name + ": " + st.message());
    if (doc->Find(name) != 0) return Fail(kExitName, "object \"" + name + "\" exists already");
    uint32_t number = 0;
    st = store->Add(name, value, &number);
    if (st.IsInvalidArgument()) return Fail(kExitValue, st.message());
    if (!st.ok()) return StoreFail(st);
    std::printf("%u\n", number);
    return 0;
  }

  uint32_t number = doc->Find(name);
  if (number == 0) return Fail(kExitName, "no object \"" + name + "\" in " + path);
  if (command == "get") {
    std::printf("%s\n", FormatStoreValue(doc->Object(number).value).c_str());
    return 0;
  }
  StoreValue value;
  st = ParseStoreValue(doc->Object(number).value.type, argv[4], &value);
  if (!st.ok()) {
    return Fail(kExitValue, name + " (" + StoreTypeName(doc->Object(number).value.type) +
                                "): " + st.message());
  }
  st = store->Set(number, value);
  // Another process may have changed the object's type in the meantime.
  if (st.IsInvalidArgument()) return Fail(kExitValue, st.message());
  if (!st.ok()) return StoreFail(st);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
