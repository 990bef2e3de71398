// Evaluation of a parsed expression (grammar and rules in expr.h). Every node
// was type-checked by the parser, so each case here reads its operands in the
// types the parser promised.
#include "tableengine/expr.h"

#include <cstring>

#include "tableengine/expr_functions.h"
#include "tableengine/expr_node.h"

namespace pv {

namespace {

template <typename T>
T LoadLe(std::string_view bytes) {
  T v{};
  if (bytes.size() >= sizeof(T)) std::memcpy(&v, bytes.data(), sizeof(T));  // x86-64/ARM LE
  return v;
}

void EvalField(const ExprNode& n, const ExprRecord& rec, ExprValue* out) {
  out->type = n.type;
  if (n.info.nullable && rec.FieldIsNull(n.field)) {
    out->null = true;
    out->text.clear();
    out->number = 0.0;
    out->logical = false;
    return;
  }
  std::string_view bytes = rec.FieldBytes(n.field);
  switch (n.info.type) {
    case 'C': case 'V': case 'Q':
      out->text.assign(bytes);
      break;
    case 'D':
      out->number = JulianFromDateText(bytes);
      break;
    case 'T': {
      int32_t jd = LoadLe<int32_t>(bytes);
      int32_t ms = LoadLe<int32_t>(bytes.size() >= 8 ? bytes.substr(4) : std::string_view());
      out->number = jd + ms / 86400000.0;
      break;
    }
    case 'L':
      out->logical = !bytes.empty() && std::strchr("TtYy", bytes[0]) != nullptr && bytes[0] != 0;
      break;
    case 'I':
      out->number = LoadLe<int32_t>(bytes);
      break;
    case 'B':
      out->number = LoadLe<double>(bytes);
      break;
    case 'Y':
      out->number = static_cast<double>(LoadLe<int64_t>(bytes)) / 10000.0;
      break;
    default:  // N, F
      out->number = ParseNumericText(bytes);
      break;
  }
}

// Bytewise comparison of two character values, the shorter blank-padded.
int ComparePadded(std::string_view a, std::string_view b) {
  size_t n = a.size() > b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
    unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

bool Compare(ExprTok op, const ExprValue& l, const ExprValue& r) {
  int order;
  bool equal;
  if (l.type == ExprType::kCharacter) {
    // SET EXACT OFF: "=" asks whether the left value begins with the right.
    equal = l.text.size() >= r.text.size() && l.text.compare(0, r.text.size(), r.text) == 0;
    order = ComparePadded(l.text, r.text);
  } else if (l.type == ExprType::kLogical) {
    order = l.logical == r.logical ? 0 : (l.logical ? 1 : -1);
    equal = order == 0;
  } else {
    order = l.number < r.number ? -1 : (l.number > r.number ? 1 : 0);
    equal = order == 0;
  }
  switch (op) {
    case ExprTok::kEq: return equal;
    case ExprTok::kNe: return !equal;
    case ExprTok::kLt: return order < 0 && !equal;
    case ExprTok::kGt: return order > 0 && !equal;
    case ExprTok::kLe: return order < 0 || equal;
    default: return order > 0 || equal;  // kGe
  }
}

void Eval(const ExprNode& n, const ExprRecord& rec, ExprValue* out);

// Evaluates n's operand(s); returns false (with *out null) when one is null.
bool EvalOperands(const ExprNode& n, const ExprRecord& rec, ExprValue* a, ExprValue* b,
                  ExprValue* out) {
  Eval(*n.a, rec, a);
  if (b != nullptr) Eval(*n.b, rec, b);
  if (a->null || (b != nullptr && b->null)) {
    out->type = n.type;
    out->null = true;
    out->text.clear();
    out->number = 0.0;
    out->logical = false;
    return false;
  }
  return true;
}

void Eval(const ExprNode& n, const ExprRecord& rec, ExprValue* out) {
  out->null = false;
  out->type = n.type;
  ExprValue a, b;
  switch (n.op) {
    case ExprOp::kField:
      EvalField(n, rec, out);
      return;
    case ExprOp::kString:
      out->text = n.text;
      return;
    case ExprOp::kNumber:
      out->number = n.number;
      return;
    case ExprOp::kBool:
      out->logical = n.logical;
      return;
    case ExprOp::kRecno:
      out->number = rec.RecordNumber();
      return;
    case ExprOp::kDeleted:
      out->logical = rec.Deleted();
      return;
    case ExprOp::kNot:
      if (EvalOperands(n, rec, &a, nullptr, out)) out->logical = !a.logical;
      return;
    case ExprOp::kAnd:
    case ExprOp::kOr: {
      // A null operand counts as false: it can never make a filter true.
      Eval(*n.a, rec, &a);
      bool left = !a.null && a.logical;
      if (n.op == ExprOp::kAnd && !left) {
        out->logical = false;
        return;
      }
      if (n.op == ExprOp::kOr && left) {
        out->logical = true;
        return;
      }
      Eval(*n.b, rec, &b);
      out->logical = !b.null && b.logical;
      return;
    }
    case ExprOp::kCompare:
      if (EvalOperands(n, rec, &a, &b, out)) out->logical = Compare(n.cmp, a, b);
      return;
    case ExprOp::kConcat:
      if (EvalOperands(n, rec, &a, &b, out)) {
        out->text = std::move(a.text);
        out->text += b.text;
      }
      return;
    case ExprOp::kAdd:
    case ExprOp::kSub:
    case ExprOp::kMul:
    case ExprOp::kDiv:
      if (EvalOperands(n, rec, &a, &b, out)) {
        switch (n.op) {
          case ExprOp::kAdd: out->number = a.number + b.number; break;
          case ExprOp::kSub: out->number = a.number - b.number; break;
          case ExprOp::kMul: out->number = a.number * b.number; break;
          default: out->number = b.number == 0.0 ? 0.0 : a.number / b.number; break;
        }
      }
      return;
    case ExprOp::kNeg:
      if (EvalOperands(n, rec, &a, nullptr, out)) out->number = -a.number;
      return;
    case ExprOp::kStr:
      if (EvalOperands(n, rec, &a, nullptr, out)) out->text = FormatStr(a.number, n.arg1, n.arg2);
      return;
    case ExprOp::kDtos:
      if (EvalOperands(n, rec, &a, nullptr, out)) {
        out->text = DateTextFromDayNumber(a.number);
      }
      return;
    case ExprOp::kVal:
      if (EvalOperands(n, rec, &a, nullptr, out)) {
        // VAL reads the leading number and ignores what follows it.
        size_t end = a.text.find_first_not_of(" +-.0123456789");
        out->number = ParseNumericText(std::string_view(a.text).substr(0, end));
      }
      return;
    case ExprOp::kSubstr:
      if (EvalOperands(n, rec, &a, nullptr, out)) {
        size_t start = static_cast<size_t>(n.arg1 - 1);
        out->text = start < a.text.size() ? a.text.substr(start, static_cast<size_t>(n.arg2))
                                          : std::string();
      }
      return;
    case ExprOp::kUpper:
    case ExprOp::kLower:
      if (EvalOperands(n, rec, &a, nullptr, out)) {
        out->text = std::move(a.text);
        for (char& c : out->text) c = n.op == ExprOp::kUpper ? UpperAnsi(c) : LowerAnsi(c);
      }
      return;
    case ExprOp::kAllTrim:
    case ExprOp::kLTrim:
    case ExprOp::kRTrim:
      if (EvalOperands(n, rec, &a, nullptr, out)) {
        std::string_view t(a.text);
        if (n.op != ExprOp::kRTrim) {
          size_t b0 = t.find_first_not_of(' ');
          t = b0 == std::string_view::npos ? std::string_view() : t.substr(b0);
        }
        if (n.op != ExprOp::kLTrim) {
          size_t e = t.find_last_not_of(' ');
          t = e == std::string_view::npos ? std::string_view() : t.substr(0, e + 1);
        }
        out->text.assign(t);
      }
      return;
  }
}

}  // namespace

Expr::Expr(std::string source, std::unique_ptr<ExprNode> root)
    : source_(std::move(source)), root_(std::move(root)) {
  type_ = root_->type;
  if (type_ == ExprType::kInteger && root_->op != ExprOp::kField) type_ = ExprType::kNumeric;
  nullable_ = root_->nullable;
  switch (type_) {
    case ExprType::kCharacter: length_ = root_->length; break;
    case ExprType::kInteger: length_ = 4; break;
    case ExprType::kLogical: length_ = 1; break;
    default: length_ = 8; break;
  }
}

Expr::~Expr() = default;

void Expr::Evaluate(const ExprRecord& rec, ExprValue* out) const {
  Eval(*root_, rec, out);
  out->type = type_;
}

bool Expr::IsTrue(const ExprRecord& rec) const {
  ExprValue v;
  Eval(*root_, rec, &v);
  return type_ == ExprType::kLogical && !v.null && v.logical;
}

std::string Expr::EvaluateText(const ExprRecord& rec) const {
  ExprValue v;
  Evaluate(rec, &v);
  switch (type_) {
    case ExprType::kCharacter:
      v.text.resize(static_cast<size_t>(length_), ' ');
      return v.text;
    case ExprType::kDate:
      return DateTextFromDayNumber(v.number);
    case ExprType::kLogical:
      return v.logical ? "T" : "F";
    default:
      return FormatStr(v.number, 20, 4);
  }
}

}  // namespace pv
