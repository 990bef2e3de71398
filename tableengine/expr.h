// Expr: a parsed key or filter expression of a table, evaluated on the
// table's current record.
//
// The subset (dBASE/FoxPro syntax, names and functions case-insensitive,
// functions also by their first four letters such as DELE()):
//   values     field names, 'text' "text" [text], numbers, .T. .F.
//   functions  STR(n [,w [,d]]) UPPER(c) LOWER(c) DTOS(d) SUBSTR(c,start[,len])
//              LEFT(c,n) ALLTRIM(c) LTRIM(c) RTRIM(c) TRIM(c) VAL(c)
//              RECNO() DELETED()
//   operators  lowest first: .OR.  .AND.  .NOT./!  = < > <= >= <> # !=
//              + -  * /  unary -, parentheses
// "+" joins character values and adds numbers. "=" on character values is
// FoxPro's SET EXACT OFF rule: true when the left value begins with the right
// value (an empty right value matches everything); the ordering comparisons
// compare bytes with the shorter value blank-padded.
//
// Type and length of the result are fixed at parse time from the field
// declarations, as a key expression's are: a character result has a fixed
// length (field widths, STR widths, constants, SUBSTR/LEFT lengths), a numeric
// or date result makes an 8-byte key, an I field alone a 4-byte key, a logical
// a 1-byte key. Width and decimals of STR, and the positions of SUBSTR and
// LEFT, must be number constants. A .NULL. field makes the result null (the
// key then is the null key; a null filter is false).
//
// Thread safety: a parsed Expr is immutable; Evaluate may be called from
// several threads on different records.
#ifndef PV_TABLEENGINE_EXPR_H_
#define PV_TABLEENGINE_EXPR_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/status.h"
#include "tableengine/expr_record.h"

namespace pv {

enum class ExprType {
  kCharacter,
  kNumeric,   // N, F, B, Y fields, arithmetic, RECNO(), VAL()
  kInteger,   // an I field alone (4-byte key); arithmetic on it is kNumeric
  kDate,      // number = Julian day, 0 for the empty date
  kDateTime,  // number = Julian day + fraction of the day
  kLogical,
};

struct ExprValue {
  ExprType type = ExprType::kLogical;
  bool null = false;
  std::string text;      // kCharacter: the value (length() bytes unless trimmed)
  double number = 0.0;   // numeric, integer, date and datetime values
  bool logical = false;  // kLogical
};

struct ExprNode;

class Expr {
 public:
  ~Expr();
  Expr(const Expr&) = delete;
  Expr& operator=(const Expr&) = delete;

  // Parses `source` against the fields of `table`. On failure *out is left
  // empty and the status names the position ("expression 'X': position 5:
  // expected ')'").
  static Status Parse(std::string_view source, const ExprRecord& table,
                      std::unique_ptr<Expr>* out);

  const std::string& source() const { return source_; }
  ExprType type() const { return type_; }
  // Length of a character result; 8, 4 or 1 for the binary key forms.
  int32_t length() const { return length_; }
  // True when a field that may hold .NULL. takes part.
  bool nullable() const { return nullable_; }

  // Evaluates on the current record of `rec` (the table parsed against).
  void Evaluate(const ExprRecord& rec, ExprValue* out) const;
  // A filter's verdict: a logical true; false for false, null or non-logical.
  bool IsTrue(const ExprRecord& rec) const;
  // The value as text: a character value padded to length(); numbers as
  // STR() with 20 places and the dBASE rules; dates as YYYYMMDD; logicals T/F.
  std::string EvaluateText(const ExprRecord& rec) const;

 private:
  Expr(std::string source, std::unique_ptr<ExprNode> root);

  std::string source_;
  std::unique_ptr<ExprNode> root_;
  ExprType type_;
  int32_t length_;
  bool nullable_;
};

}  // namespace pv

#endif  // PV_TABLEENGINE_EXPR_H_
