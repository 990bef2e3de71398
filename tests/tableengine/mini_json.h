// A minimal JSON reader for the expected dumps beside the fixtures and for
// pvdbf's output: objects, arrays, strings (code points up to U+00FF become
// single bytes), numbers kept as text, true/false/null. Trusts its input.
#ifndef PV_TESTS_TABLEENGINE_MINI_JSON_H_
#define PV_TESTS_TABLEENGINE_MINI_JSON_H_

#include <cctype>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace pvtest {

struct Json {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool b = false;
  std::string text;  // number text or string bytes (code points <= 0xFF as bytes)
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;
  const Json* Get(const std::string& key) const {
    for (const auto& m : members) {
      if (m.first == key) return &m.second;
    }
    return nullptr;
  }
};

class JsonParser {
 public:
  explicit JsonParser(const std::string& s) : s_(s) {}
  Json Parse() {
    Json v;
    Value(&v);
    return v;
  }

 private:
  void Ws() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) i_++;
  }
  void Value(Json* v) {
    Ws();
    const char c = s_[i_];
    if (c == '{' || c == '[') {  // members or items up to the closing bracket
      v->kind = c == '{' ? Json::kObject : Json::kArray;
      i_++;
      Ws();
      if (s_[i_] == (c == '{' ? '}' : ']')) { i_++; return; }
      do {
        Json key, val;
        if (c == '{') {
          Value(&key);
          Ws();
          i_++;  // ':'
        }
        Value(&val);
        if (c == '{') v->members.emplace_back(key.text, val);
        else v->items.push_back(val);
        Ws();
      } while (s_[i_++] == ',');
    } else if (c == '"') {
      v->kind = Json::kString;
      for (i_++; s_[i_] != '"';) {
        if (s_[i_] == '\\') {
          const char e = s_[i_ + 1];
          i_ += 2;
          if (e == 'u') {
            v->text.push_back(static_cast<char>(std::stoul(s_.substr(i_, 4), nullptr, 16)));  // all dumps are latin-1
            i_ += 4;
          } else {
            v->text.push_back(e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == 'b' ? '\b' : e == 'f' ? '\f' : e);
          }
        } else if ((static_cast<unsigned char>(s_[i_]) & 0xE0) == 0xC0) {  // UTF-8, 2 bytes
          v->text.push_back(static_cast<char>(((s_[i_] & 0x1F) << 6) | (s_[i_ + 1] & 0x3F)));
          i_ += 2;
        } else {
          v->text.push_back(s_[i_++]);
        }
      }
      i_++;
    } else if (c == 't' || c == 'f' || c == 'n') {
      v->kind = c == 'n' ? Json::kNull : Json::kBool;
      v->b = c == 't';
      i_ += c == 'f' ? 5 : 4;
    } else {
      v->kind = Json::kNumber;
      const size_t start = i_;
      while (i_ < s_.size() && std::strchr("+-0123456789.eE", s_[i_])) i_++;
      v->text = s_.substr(start, i_ - start);
    }
  }
  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace pvtest

#endif  // PV_TESTS_TABLEENGINE_MINI_JSON_H_
