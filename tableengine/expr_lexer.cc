#include "tableengine/expr_lexer.h"

namespace pv {

namespace {

bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

struct Dotted {
  const char* word;
  ExprTok kind;
};
constexpr Dotted kDotted[] = {
    {"AND", ExprTok::kAnd}, {"OR", ExprTok::kOr}, {"NOT", ExprTok::kNot},
    {"T", ExprTok::kTrue},  {"F", ExprTok::kFalse}, {"Y", ExprTok::kTrue}, {"N", ExprTok::kFalse},
};

}  // namespace

Status ExprError(std::string_view source, int32_t pos, std::string_view what) {
  return Status::InvalidArgument("expression '" + std::string(source) + "': position " +
                                 std::to_string(pos) + ": " + std::string(what));
}

Status ExprLexer::Next(ExprToken* tok) {
  while (at_ < src_.size() && (src_[at_] == ' ' || src_[at_] == '\t')) ++at_;
  tok->text.clear();
  tok->pos = static_cast<int32_t>(at_ + 1);
  if (at_ >= src_.size()) {
    tok->kind = ExprTok::kEnd;
    return Status::OK();
  }
  char c = src_[at_];
  if (IsAlpha(c)) {
    while (at_ < src_.size() && (IsAlpha(src_[at_]) || IsDigit(src_[at_]))) {
      tok->text.push_back(Upper(src_[at_++]));
    }
    tok->kind = ExprTok::kName;
    return Status::OK();
  }
  if (IsDigit(c) || (c == '.' && at_ + 1 < src_.size() && IsDigit(src_[at_ + 1]))) {
    while (at_ < src_.size() && IsDigit(src_[at_])) tok->text.push_back(src_[at_++]);
    if (at_ + 1 < src_.size() && src_[at_] == '.' && IsDigit(src_[at_ + 1])) {
      tok->text.push_back(src_[at_++]);
      while (at_ < src_.size() && IsDigit(src_[at_])) tok->text.push_back(src_[at_++]);
    }
    tok->kind = ExprTok::kNumber;
    return Status::OK();
  }
  if (c == '\'' || c == '"' || c == '[') {
    char close = c == '[' ? ']' : c;
    size_t end = src_.find(close, at_ + 1);
    if (end == std::string_view::npos) return ExprError(src_, tok->pos, "unterminated string");
    tok->text.assign(src_.substr(at_ + 1, end - at_ - 1));
    at_ = end + 1;
    tok->kind = ExprTok::kString;
    return Status::OK();
  }
  if (c == '.') {
    for (const Dotted& d : kDotted) {
      std::string_view w(d.word);
      if (at_ + 1 + w.size() < src_.size() && src_[at_ + 1 + w.size()] == '.') {
        bool match = true;
        for (size_t i = 0; i < w.size(); ++i) {
          if (Upper(src_[at_ + 1 + i]) != w[i]) match = false;
        }
        if (match) {
          at_ += w.size() + 2;
          tok->kind = d.kind;
          return Status::OK();
        }
      }
    }
    return ExprError(src_, tok->pos, "unknown dotted operator");
  }
  ++at_;
  char n = at_ < src_.size() ? src_[at_] : '\0';
  switch (c) {
    case '(': tok->kind = ExprTok::kLParen; break;
    case ')': tok->kind = ExprTok::kRParen; break;
    case ',': tok->kind = ExprTok::kComma; break;
    case '+': tok->kind = ExprTok::kPlus; break;
    case '-': tok->kind = ExprTok::kMinus; break;
    case '*': tok->kind = ExprTok::kStar; break;
    case '/': tok->kind = ExprTok::kSlash; break;
    case '#': tok->kind = ExprTok::kNe; break;
    case '!':
      if (n == '=') {
        ++at_;
        tok->kind = ExprTok::kNe;
      } else {
        tok->kind = ExprTok::kNot;
      }
      break;
    case '=':
      if (n == '=') ++at_;  // "==" (exact equality) is read as "="
      tok->kind = ExprTok::kEq;
      break;
    case '<':
      if (n == '=') {
        ++at_;
        tok->kind = ExprTok::kLe;
      } else if (n == '>') {
        ++at_;
        tok->kind = ExprTok::kNe;
      } else {
        tok->kind = ExprTok::kLt;
      }
      break;
    case '>':
      if (n == '=') {
        ++at_;
        tok->kind = ExprTok::kGe;
      } else {
        tok->kind = ExprTok::kGt;
      }
      break;
    default:
      return ExprError(src_, tok->pos, std::string("unexpected character '") + c + "'");
  }
  return Status::OK();
}

}  // namespace pv
