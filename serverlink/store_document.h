// StoreDocument: the text of the embedded object store, parsed and editable.
//
// The object store stands in for the process-data server. Its file (the
// project's ".do" file) is plain Windows-1252 text, lines ending in LF or
// CRLF:
//
//   # comment           lines whose first non-blank byte is '#' or ';'
//                       blank lines are ignored
//   [clock]             optional; every key optional, each at most once
//   start = 2026-03-01T06:00:00Z    UTC instant that the server clock shows...
//   started_at = 1772344800         ...at this real moment (Unix seconds)
//   rate = 60                       simulated seconds per real second (>= 0,
//                                   default 1; 0 freezes the clock)
//   local_offset = 3600             seconds from UT to plant local time
//                                   (default: this machine's zone offset)
//   [objects]
//   NAME = TYPE VALUE   TYPE is int (32-bit signed), float (32-bit IEEE) or
//                       text (the rest of the line, leading blanks removed,
//                       may be empty)
//
// Section and key names are lower case. "start" and "started_at" come as a
// pair; "rate" needs them. Object names are case-sensitive, 1 to 63 bytes,
// without blanks, '=' or control bytes, and do not begin with '#', ';' or '['.
// Object numbers are the 1-based positions in [objects], at most 65535; new
// objects are appended, so a number stays valid for the life of the file.
// No byte below 0x20 other than tab may appear in a line.
//
// Editing keeps every other line byte for byte (comments, blank lines, order,
// line endings); a changed object line keeps its text up to the type word.
#ifndef PV_SERVERLINK_STORE_DOCUMENT_H_
#define PV_SERVERLINK_STORE_DOCUMENT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/status.h"

enum class StoreType { kInt, kFloat, kText };

struct StoreValue {
  StoreType type = StoreType::kInt;
  int32_t i = 0;     // kInt
  float f = 0.0f;    // kFloat
  std::string text;  // kText
};

constexpr size_t kStoreMaxNameLength = 63;
constexpr size_t kStoreMaxObjects = 65535;

// "int", "float", "text" <-> StoreType; false for any other word.
bool ParseStoreType(std::string_view word, StoreType* type);
const char* StoreTypeName(StoreType type);

// Parses the text that follows the type word on an object line (blanks around
// it already removed for numbers). Floats must be finite; integers must fit 32
// bits. InvalidArgument with a reason when the text is not a value of `type`.
pv::Status ParseStoreValue(StoreType type, std::string_view text, StoreValue* value);

// The value as it is written after the type word. A float is written in its
// shortest form that reads back as the same float.
std::string FormatStoreValue(const StoreValue& value);

// Checks that a name or text can be stored and read back unchanged.
pv::Status CheckStoreName(std::string_view name);
pv::Status CheckStoreText(std::string_view text);

struct StoreClockConfig {
  bool has_start = false;
  uint32_t start = 0;       // PcTime; valid when has_start
  int64_t started_at = 0;   // Unix seconds; valid when has_start
  double rate = 1.0;
  bool has_local_offset = false;
  int32_t local_offset = 0;  // seconds; valid when has_local_offset
};

struct StoreObject {
  std::string name;
  StoreValue value;
  size_t line = 0;      // index into the document's lines
  size_t type_end = 0;  // offset just past the type word in that line
};

class StoreDocument {
 public:
  // Parses a whole file. On failure the message starts with "line N: " (1-based)
  // and `doc` is left unchanged.
  static pv::Status Parse(std::string_view text, StoreDocument* doc);

  // The file text, every untouched line as it was read.
  std::string Serialize() const;

  size_t size() const { return objects_.size(); }
  // REQUIRES: number in 1..size().
  const StoreObject& Object(uint32_t number) const { return objects_[number - 1]; }
  // The 1-based number of the object with this exact name, or 0.
  uint32_t Find(std::string_view name) const;

  const StoreClockConfig& clock() const { return clock_; }

  // Replaces an object's value. The value's type must be the object's type.
  pv::Status Set(uint32_t number, const StoreValue& value);
  // Appends a new object at the end of [objects] (creating the section when
  // the file has none) and returns its number through `number`.
  pv::Status Add(std::string_view name, const StoreValue& value, uint32_t* number);

 private:
  struct Line {
    std::string text;  // without its line ending
    std::string eol;   // "\n", "\r\n", or "" for an unterminated last line
  };

  void InsertLine(size_t at, std::string text);

  std::vector<Line> lines_;
  std::vector<StoreObject> objects_;
  std::unordered_map<std::string, uint32_t> numbers_;
  StoreClockConfig clock_;
  size_t objects_header_ = SIZE_MAX;  // line index of "[objects]", if any
};

#endif  // PV_SERVERLINK_STORE_DOCUMENT_H_
