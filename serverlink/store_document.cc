#include "serverlink/store_document.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

#include "foundation/zr_time.h"
#include "foundation/zr_types.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimLeadingBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

pv::Status LineError(size_t index, const std::string& what) {
  return pv::Status::Corruption("line " + std::to_string(index + 1) + ": " + what);
}

// from_chars accepts no leading '+'; the store does, as operators write it.
std::string_view StripPlus(std::string_view s) {
  if (s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);
  return s;
}

bool ParseInt64(std::string_view s, int64_t* out) {
  s = StripPlus(s);
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && end == s.data() + s.size();
}

bool ParseDouble(std::string_view s, double* out) {
  s = StripPlus(s);
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(*out);
}

// "YYYY-MM-DDTHH:MM:SSZ" -> PcTime. The fields are checked by converting the
// PcTime back to a calendar date: an impossible date (Feb 30) or one outside
// the PcTime range does not survive the round trip.
bool ParseUtcStamp(std::string_view s, uint32_t* pc_time) {
  static constexpr char kPattern[] = "dddd-dd-ddTdd:dd:ddZ";
  if (s.size() != sizeof(kPattern) - 1) return false;
  for (size_t k = 0; k < s.size(); ++k) {
    bool digit = s[k] >= '0' && s[k] <= '9';
    if (kPattern[k] == 'd' ? !digit : s[k] != kPattern[k]) return false;
  }
  auto field = [&](size_t at, size_t len) {
    ZrULong v = 0;
    for (size_t k = at; k < at + len; ++k) v = v * 10 + static_cast<ZrULong>(s[k] - '0');
    return v;
  };
  ZrULong year = field(0, 4), month = field(5, 2), day = field(8, 2);
  ZrULong hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
  if (year < 1970 || hour > 23 || minute > 59 || second > 59) return false;
  ZrULong pc = 0;
  ZrDateAndTime2PcTime(pc, year, month, day, hour, minute, second);
  ZrULong y, mo, d, h, mi, se;
  ZrPcTime2DateAndTime(pc, y, mo, d, h, mi, se);
  if (y != year || mo != month || d != day || h != hour || mi != minute || se != second) {
    return false;
  }
  *pc_time = pc;
  return true;
}

pv::Status ParseClockKey(std::string_view key, std::string_view value, StoreClockConfig* clock,
                         bool* seen_started_at, bool* seen_rate) {
  if (key == "start") {
    if (clock->has_start) return pv::Status::Corruption("\"start\" given twice");
    if (!ParseUtcStamp(value, &clock->start)) {
      return pv::Status::Corruption("start \"" + std::string(value) +
                                    "\" is not a UTC time YYYY-MM-DDTHH:MM:SSZ from 1970 to 2106-02-07T06:28:15Z");
    }
    clock->has_start = true;
  } else if (key == "started_at") {
    if (*seen_started_at) return pv::Status::Corruption("\"started_at\" given twice");
    if (!ParseInt64(value, &clock->started_at) || clock->started_at < 0) {
      return pv::Status::Corruption("started_at \"" + std::string(value) +
                                    "\" is not a count of Unix seconds");
    }
    *seen_started_at = true;
  } else if (key == "rate") {
    if (*seen_rate) return pv::Status::Corruption("\"rate\" given twice");
    if (!ParseDouble(value, &clock->rate) || clock->rate < 0) {
      return pv::Status::Corruption("rate \"" + std::string(value) +
                                    "\" is not a number of seconds per second (0 or more)");
    }
    *seen_rate = true;
  } else if (key == "local_offset") {
    if (clock->has_local_offset) return pv::Status::Corruption("\"local_offset\" given twice");
    int64_t v = 0;
    if (!ParseInt64(value, &v) || v <= -86400 || v >= 86400) {
      return pv::Status::Corruption("local_offset \"" + std::string(value) +
                                    "\" is not a number of seconds within one day");
    }
    clock->local_offset = static_cast<int32_t>(v);
    clock->has_local_offset = true;
  } else {
    return pv::Status::Corruption("unknown clock key \"" + std::string(key) +
                                  "\" (start, started_at, rate, local_offset)");
  }
  return pv::Status::OK();
}

// A value built in memory (not parsed) must still read back unchanged.
pv::Status CheckStorable(const StoreValue& value) {
  if (value.type == StoreType::kText) return CheckStoreText(value.text);
  if (value.type == StoreType::kFloat && !std::isfinite(value.f)) {
    return pv::Status::InvalidArgument("float is not finite");
  }
  return pv::Status::OK();
}

}  // namespace

bool ParseStoreType(std::string_view word, StoreType* type) {
  if (word == "int") {
    *type = StoreType::kInt;
  } else if (word == "float") {
    *type = StoreType::kFloat;
  } else if (word == "text") {
    *type = StoreType::kText;
  } else {
    return false;
  }
  return true;
}

const char* StoreTypeName(StoreType type) {
  switch (type) {
    case StoreType::kInt:
      return "int";
    case StoreType::kFloat:
      return "float";
    case StoreType::kText:
      return "text";
  }
  return "?";
}

pv::Status ParseStoreValue(StoreType type, std::string_view text, StoreValue* value) {
  StoreValue v;
  v.type = type;
  switch (type) {
    case StoreType::kInt: {
      int64_t n = 0;
      if (!ParseInt64(text, &n) || n < INT32_MIN || n > INT32_MAX) {
        return pv::Status::InvalidArgument("\"" + std::string(text) + "\" is not a 32-bit integer");
      }
      v.i = static_cast<int32_t>(n);
      break;
    }
    case StoreType::kFloat: {
      std::string_view s = StripPlus(text);
      auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v.f);
      if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v.f)) {
        return pv::Status::InvalidArgument("\"" + std::string(text) +
                                           "\" is not a finite 32-bit float");
      }
      break;
    }
    case StoreType::kText: {
      pv::Status s = CheckStoreText(text);
      if (!s.ok()) return s;
      v.text = std::string(text);
      break;
    }
  }
  *value = std::move(v);
  return pv::Status::OK();
}

std::string FormatStoreValue(const StoreValue& value) {
  char buf[64];
  switch (value.type) {
    case StoreType::kInt:
      return std::string(buf, std::to_chars(buf, buf + sizeof buf, value.i).ptr);
    case StoreType::kFloat:
      return std::string(buf, std::to_chars(buf, buf + sizeof buf, value.f).ptr);
    case StoreType::kText:
      return value.text;
  }
  return std::string();
}

pv::Status CheckStoreName(std::string_view name) {
  if (name.empty()) return pv::Status::InvalidArgument("empty object name");
  if (name.size() > kStoreMaxNameLength) {
    return pv::Status::InvalidArgument("object name \"" + std::string(name) + "\" is longer than " +
                                       std::to_string(kStoreMaxNameLength) + " characters");
  }
  if (name[0] == '#' || name[0] == ';' || name[0] == '[') {
    return pv::Status::InvalidArgument("object name \"" + std::string(name) +
                                       "\" begins with '#', ';' or '['");
  }
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '=') {
      return pv::Status::InvalidArgument("object name \"" + std::string(name) +
                                         "\" contains a blank, '=' or a control character");
    }
  }
  return pv::Status::OK();
}

pv::Status CheckStoreText(std::string_view text) {
  if (!text.empty() && IsBlank(text[0])) {
    return pv::Status::InvalidArgument("text begins with a blank, which the file cannot keep");
  }
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7F) {
      return pv::Status::InvalidArgument("text contains a control character");
    }
  }
  return pv::Status::OK();
}

pv::Status StoreDocument::Parse(std::string_view text, StoreDocument* doc) {
  StoreDocument d;
  enum class Section { kNone, kClock, kObjects } section = Section::kNone;
  bool seen_clock = false, seen_started_at = false, seen_rate = false;

  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    Line line;
    if (nl == std::string_view::npos) {
      line.text = std::string(text.substr(pos));
      pos = text.size();
    } else {
      line.text = std::string(text.substr(pos, nl - pos));
      line.eol = "\n";
      pos = nl + 1;
    }
    if (!line.text.empty() && line.text.back() == '\r' && !line.eol.empty()) {
      line.text.pop_back();
      line.eol = "\r\n";
    }
    d.lines_.push_back(std::move(line));
  }

  for (size_t n = 0; n < d.lines_.size(); ++n) {
    const std::string& raw = d.lines_[n].text;
    for (char c : raw) {
      auto u = static_cast<unsigned char>(c);
      if (u < 0x20 && c != '\t') {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", u);
        return LineError(n, std::string("control character ") + hex);
      }
    }
    // Trailing blanks belong to a text value, so only leading ones go here.
    std::string_view s = TrimLeadingBlanks(raw);
    if (s.empty() || s[0] == '#' || s[0] == ';') continue;

    if (s[0] == '[') {
      std::string_view header = TrimBlanks(s);
      if (header.back() != ']') return LineError(n, "section header without ']'");
      std::string_view name = TrimBlanks(header.substr(1, header.size() - 2));
      if (name == "clock") {
        if (seen_clock) return LineError(n, "second [clock] section");
        seen_clock = true;
        section = Section::kClock;
      } else if (name == "objects") {
        if (d.objects_header_ != SIZE_MAX) return LineError(n, "second [objects] section");
        d.objects_header_ = n;
        section = Section::kObjects;
      } else {
        return LineError(n, "unknown section [" + std::string(name) + "] ([clock] or [objects])");
      }
      continue;
    }

    size_t eq = s.find('=');
    if (section == Section::kNone) return LineError(n, "entry outside [clock] and [objects]");
    if (eq == std::string_view::npos) return LineError(n, "no '=' in entry");
    std::string_view key = TrimBlanks(s.substr(0, eq));
    std::string_view rest = TrimLeadingBlanks(s.substr(eq + 1));

    if (section == Section::kClock) {
      pv::Status st = ParseClockKey(key, TrimBlanks(rest), &d.clock_, &seen_started_at, &seen_rate);
      if (!st.ok()) return LineError(n, st.message());
      continue;
    }

    pv::Status st = CheckStoreName(key);
    if (!st.ok()) return LineError(n, st.message());
    if (d.numbers_.count(std::string(key))) {
      return LineError(n, "object \"" + std::string(key) + "\" defined twice");
    }
    if (d.objects_.size() >= kStoreMaxObjects) return LineError(n, "more than 65535 objects");
    size_t word_len = 0;
    while (word_len < rest.size() && !IsBlank(rest[word_len])) ++word_len;
    std::string_view word = rest.substr(0, word_len);
    StoreObject obj;
    if (!ParseStoreType(word, &obj.value.type)) {
      return LineError(n, "object \"" + std::string(key) + "\": type \"" + std::string(word) +
                              "\" is not int, float or text");
    }
    std::string_view value_text = TrimLeadingBlanks(rest.substr(word_len));
    if (obj.value.type != StoreType::kText) value_text = TrimBlanks(value_text);
    st = ParseStoreValue(obj.value.type, value_text, &obj.value);
    if (!st.ok()) return LineError(n, "object \"" + std::string(key) + "\": " + st.message());
    obj.name = std::string(key);
    obj.line = n;
    // Offset of the type word's end within the raw line (s and rest point into raw).
    obj.type_end = static_cast<size_t>(word.data() - raw.data()) + word_len;
    d.numbers_.emplace(obj.name, static_cast<uint32_t>(d.objects_.size() + 1));
    d.objects_.push_back(std::move(obj));
  }

  if (d.clock_.has_start != seen_started_at) {
    return pv::Status::Corruption("[clock]: \"start\" and \"started_at\" must be given together");
  }
  if (seen_rate && !d.clock_.has_start) {
    return pv::Status::Corruption("[clock]: \"rate\" needs \"start\" and \"started_at\"");
  }
  *doc = std::move(d);
  return pv::Status::OK();
}

std::string StoreDocument::Serialize() const {
  std::string out;
  for (const Line& line : lines_) {
    out += line.text;
    out += line.eol;
  }
  return out;
}

uint32_t StoreDocument::Find(std::string_view name) const {
  auto it = numbers_.find(std::string(name));
  return it == numbers_.end() ? 0 : it->second;
}

pv::Status StoreDocument::Set(uint32_t number, const StoreValue& value) {
  if (number == 0 || number > objects_.size()) {
    return pv::Status::NotFound("no object number " + std::to_string(number));
  }
  StoreObject& obj = objects_[number - 1];
  if (value.type != obj.value.type) {
    return pv::Status::InvalidArgument("object \"" + obj.name + "\" is of type " +
                                       StoreTypeName(obj.value.type));
  }
  pv::Status st = CheckStorable(value);
  if (!st.ok()) return st;
  std::string text = lines_[obj.line].text.substr(0, obj.type_end);
  std::string formatted = FormatStoreValue(value);
  if (!formatted.empty()) text += " " + formatted;
  lines_[obj.line].text = std::move(text);
  obj.value = value;
  return pv::Status::OK();
}

void StoreDocument::InsertLine(size_t at, std::string text) {
  // The new line takes the ending of its predecessor; an unterminated last
  // line gets one first.
  std::string eol = "\n";
  if (at > 0) {
    Line& prev = lines_[at - 1];
    if (prev.eol.empty()) {
      prev.eol = "\n";
    } else {
      eol = prev.eol;
    }
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), eol});
  for (StoreObject& obj : objects_) {
    if (obj.line >= at) ++obj.line;
  }
  if (objects_header_ != SIZE_MAX && objects_header_ >= at) ++objects_header_;
}

pv::Status StoreDocument::Add(std::string_view name, const StoreValue& value, uint32_t* number) {
  pv::Status st = CheckStoreName(name);
  if (!st.ok()) return st;
  if (Find(name) != 0) {
    return pv::Status::InvalidArgument("object \"" + std::string(name) + "\" exists already");
  }
  if (objects_.size() >= kStoreMaxObjects) {
    return pv::Status::InvalidArgument("the store holds 65535 objects already");
  }
  st = CheckStorable(value);
  if (!st.ok()) return st;
  if (objects_header_ == SIZE_MAX) {
    InsertLine(lines_.size(), "[objects]");
    objects_header_ = lines_.size() - 1;
  }
  size_t at = objects_.empty() ? objects_header_ + 1 : objects_.back().line + 1;
  std::string prefix = std::string(name) + " = " + StoreTypeName(value.type);
  std::string formatted = FormatStoreValue(value);
  InsertLine(at, formatted.empty() ? prefix : prefix + " " + formatted);
  StoreObject obj;
  obj.name = std::string(name);
  obj.value = value;
  obj.line = at;
  obj.type_end = prefix.size();
  objects_.push_back(std::move(obj));
  *number = static_cast<uint32_t>(objects_.size());
  numbers_.emplace(std::string(name), *number);
  return pv::Status::OK();
}
