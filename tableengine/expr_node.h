// The parsed form of an expression (see expr.h), shared by the parser and the
// evaluator only.
#ifndef PV_TABLEENGINE_EXPR_NODE_H_
#define PV_TABLEENGINE_EXPR_NODE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "tableengine/expr.h"
#include "tableengine/expr_lexer.h"

namespace pv {

enum class ExprOp {
  kField, kString, kNumber, kBool, kRecno, kDeleted,
  kNot, kAnd, kOr, kCompare,
  kConcat, kAdd, kSub, kMul, kDiv, kNeg,
  kStr, kUpper, kLower, kDtos, kSubstr, kAllTrim, kLTrim, kRTrim, kVal,
};

struct ExprNode {
  ExprOp op = ExprOp::kNumber;
  ExprType type = ExprType::kNumeric;
  int32_t length = 0;        // character results: fixed length
  bool nullable = false;     // a nullable field below this node

  int32_t field = -1;        // kField
  ExprFieldInfo info;        // kField
  std::string text;          // kString
  double number = 0.0;       // kNumber
  bool logical = false;      // kBool
  ExprTok cmp = ExprTok::kEq;  // kCompare
  int32_t arg1 = 0;          // STR width, SUBSTR start (1-based)
  int32_t arg2 = 0;          // STR decimals, SUBSTR/LEFT length

  std::unique_ptr<ExprNode> a;  // first operand / argument
  std::unique_ptr<ExprNode> b;  // second operand
};

}  // namespace pv

#endif  // PV_TABLEENGINE_EXPR_NODE_H_
