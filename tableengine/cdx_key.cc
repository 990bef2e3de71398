#include "tableengine/cdx_key.h"

#include <bit>
#include <cstring>

#include "tableengine/cdx_node.h"
#include "tableengine/expr_functions.h"

namespace pv {

Status CdxKeyTypeOf(const Expr& expr, CdxKeyType* out) {
  out->type = expr.type();
  out->nullable = expr.nullable();
  out->length = expr.length() + (out->nullable ? 1 : 0);
  if (out->length < 1 || out->length > kCdxMaxKeyLength) {
    return Status::InvalidArgument("key expression '" + expr.source() + "': key length " +
                                   std::to_string(out->length) + " not in 1..240");
  }
  return Status::OK();
}

void CdxAppendDouble(double v, std::string* out) {
  if (v == 0.0) v = 0.0;  // -0.0 sorts as 0
  uint64_t bits = std::bit_cast<uint64_t>(v);
  bits = (bits >> 63) != 0 ? ~bits : bits | (1ull << 63);
  for (int i = 7; i >= 0; --i) out->push_back(static_cast<char>(bits >> (8 * i)));
}

double CdxDecodeDouble(std::string_view bytes) {
  uint64_t bits = 0;
  for (size_t i = 0; i < 8 && i < bytes.size(); ++i) {
    bits = (bits << 8) | static_cast<uint8_t>(bytes[i]);
  }
  bits = (bits >> 63) != 0 ? bits & ~(1ull << 63) : ~bits;
  return std::bit_cast<double>(bits);
}

namespace {

void AppendValue(const CdxKeyType& type, const ExprValue& value, std::string* key) {
  size_t width = static_cast<size_t>(type.value_length());
  switch (type.type) {
    case ExprType::kCharacter:
      key->append(value.text, 0, width);
      if (value.text.size() < width) key->append(width - value.text.size(), ' ');
      break;
    case ExprType::kInteger: {
      uint32_t v = static_cast<uint32_t>(static_cast<int32_t>(value.number)) ^ 0x80000000u;
      for (int i = 3; i >= 0; --i) key->push_back(static_cast<char>(v >> (8 * i)));
      break;
    }
    case ExprType::kLogical:
      key->push_back(value.logical ? 'T' : 'F');
      break;
    default:
      CdxAppendDouble(value.number, key);
      break;
  }
}

}  // namespace

void CdxKeyFromValue(const CdxKeyType& type, const ExprValue& value, std::string* key) {
  key->clear();
  if (type.nullable) {
    if (value.null) {
      key->assign(static_cast<size_t>(type.length), '\0');
      return;
    }
    key->push_back(static_cast<char>(0x80));
  }
  AppendValue(type, value, key);
}

void CdxKeyFromSeekText(const CdxKeyType& type, std::string_view text, std::string* key) {
  key->clear();
  if (type.nullable) key->push_back(static_cast<char>(0x80));
  ExprValue v;
  v.type = type.type;
  switch (type.type) {
    case ExprType::kCharacter:
      key->append(text.substr(0, static_cast<size_t>(type.value_length())));
      return;
    case ExprType::kDate:
      v.number = JulianFromDateText(text);
      break;
    case ExprType::kLogical:
      v.logical = !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' ||
                                    text[0] == 'y');
      break;
    default:
      v.number = ParseNumericText(text);
      break;
  }
  AppendValue(type, v, key);
}

std::string CdxKeyToText(const CdxKeyType& type, std::string_view key) {
  if (type.nullable) {
    if (!key.empty() && key[0] == 0) return ".NULL.";
    key.remove_prefix(key.empty() ? 0 : 1);
  }
  switch (type.type) {
    case ExprType::kCharacter:
    case ExprType::kLogical:
      return std::string(key);
    case ExprType::kInteger: {
      uint32_t v = 0;
      for (size_t i = 0; i < 4 && i < key.size(); ++i) v = (v << 8) | static_cast<uint8_t>(key[i]);
      return std::to_string(static_cast<int32_t>(v ^ 0x80000000u));
    }
    case ExprType::kDate:
      return DateTextFromDayNumber(CdxDecodeDouble(key));
    default: {
      std::string s = FormatStr(CdxDecodeDouble(key), 20, 6);
      size_t b = s.find_first_not_of(' ');
      s.erase(0, b == std::string::npos ? s.size() : b);
      while (s.size() > 1 && s.back() == '0' && s.find('.') != std::string::npos) s.pop_back();
      if (!s.empty() && s.back() == '.') s.pop_back();
      return s;
    }
  }
}

}  // namespace pv
