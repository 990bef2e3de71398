// ExprLexer: splits a key or filter expression into tokens.
//
// Lexical rules (dBASE/FoxPro):
//   names      letter or '_', then letters, digits, '_'; case-insensitive
//   strings    '...', "..." or [...], no escapes
//   numbers    digits with an optional decimal point; a point followed by a
//              letter ends the number, so "OLDSTATE<128.OR.X" reads 128, .OR.
//   operators  + - * / ( ) , = < > <= >= <> # !
//   dotted     .AND. .OR. .NOT. .T. .F. (case-insensitive, blanks optional)
// Positions are 1-based character positions in the source text.
#ifndef PV_TABLEENGINE_EXPR_LEXER_H_
#define PV_TABLEENGINE_EXPR_LEXER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/status.h"

namespace pv {

enum class ExprTok {
  kEnd, kName, kString, kNumber, kLParen, kRParen, kComma,
  kPlus, kMinus, kStar, kSlash,
  kEq, kLt, kGt, kLe, kGe, kNe,
  kAnd, kOr, kNot, kTrue, kFalse,
};

struct ExprToken {
  ExprTok kind = ExprTok::kEnd;
  std::string text;   // name (upper-cased), string contents, number digits
  int32_t pos = 0;    // 1-based position of the token's first character
};

class ExprLexer {
 public:
  explicit ExprLexer(std::string_view source) : src_(source) {}

  // Reads the next token into *tok; an unterminated string or a character
  // that starts no token is an error naming its position.
  Status Next(ExprToken* tok);

 private:
  std::string_view src_;
  size_t at_ = 0;
};

// "expression 'SRC': position N: WHAT" — the one form of every parse error.
Status ExprError(std::string_view source, int32_t pos, std::string_view what);

}  // namespace pv

#endif  // PV_TABLEENGINE_EXPR_LEXER_H_
