// Recursive-descent parser of the expression subset of expr.h; each level of
// the grammar is one function, lowest precedence first. Types and character
// lengths are settled here, so evaluation never meets a type mismatch.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "tableengine/expr.h"
#include "tableengine/expr_node.h"

namespace pv {

namespace {

using NodePtr = std::unique_ptr<ExprNode>;

struct FunctionDef {
  const char* name;
  ExprOp op;
  int min_args;
  int max_args;
};

// RECNO and DELETED are handled as ops of their own; LEFT is SUBSTR from 1.
constexpr FunctionDef kFunctions[] = {
    {"STR", ExprOp::kStr, 1, 3},       {"UPPER", ExprOp::kUpper, 1, 1},
    {"LOWER", ExprOp::kLower, 1, 1},   {"DTOS", ExprOp::kDtos, 1, 1},
    {"SUBSTR", ExprOp::kSubstr, 2, 3}, {"LEFT", ExprOp::kSubstr, 2, 2},
    {"ALLTRIM", ExprOp::kAllTrim, 1, 1}, {"LTRIM", ExprOp::kLTrim, 1, 1},
    {"RTRIM", ExprOp::kRTrim, 1, 1},   {"TRIM", ExprOp::kRTrim, 1, 1},
    {"VAL", ExprOp::kVal, 1, 1},       {"RECNO", ExprOp::kRecno, 0, 0},
    {"DELETED", ExprOp::kDeleted, 0, 0},
};

// dBASE accepts a function by its full name or by four or more of its first
// letters (DELE, RECN, SUBS).
const FunctionDef* FindFunction(const std::string& name) {
  for (const FunctionDef& f : kFunctions) {
    std::string_view full(f.name);
    if (name == full) return &f;
    if (name.size() >= 4 && name.size() < full.size() && full.substr(0, name.size()) == name) {
      return &f;
    }
  }
  return nullptr;
}

ExprType FieldType(char letter) {
  switch (letter) {
    case 'C': case 'V': case 'Q': return ExprType::kCharacter;
    case 'D': return ExprType::kDate;
    case 'T': return ExprType::kDateTime;
    case 'L': return ExprType::kLogical;
    case 'I': return ExprType::kInteger;
    default: return ExprType::kNumeric;  // N F B Y
  }
}

bool IsNumber(ExprType t) { return t == ExprType::kNumeric || t == ExprType::kInteger; }

class Parser {
 public:
  Parser(std::string_view src, const ExprRecord& table) : src_(src), lex_(src), table_(table) {}

  Status Run(NodePtr* out) {
    Status s = Advance();
    if (s.ok()) s = ParseOr(out);
    if (s.ok() && tok_.kind != ExprTok::kEnd) s = Error(tok_.pos, "unexpected text after the end");
    return s;
  }

 private:
  Status Advance() { return lex_.Next(&tok_); }
  Status Error(int32_t pos, std::string_view what) { return ExprError(src_, pos, what); }

  static NodePtr Binary(ExprOp op, ExprType type, NodePtr a, NodePtr b) {
    auto n = std::make_unique<ExprNode>();
    n->op = op;
    n->type = type;
    n->nullable = a->nullable || (b && b->nullable);
    n->a = std::move(a);
    n->b = std::move(b);
    return n;
  }

  Status ParseLogicalChain(ExprTok sep, ExprOp op, Status (Parser::*next)(NodePtr*), NodePtr* out) {
    Status s = (this->*next)(out);
    while (s.ok() && tok_.kind == sep) {
      int32_t pos = tok_.pos;
      NodePtr rhs;
      if (!(s = Advance()).ok() || !(s = (this->*next)(&rhs)).ok()) return s;
      if ((*out)->type != ExprType::kLogical || rhs->type != ExprType::kLogical) {
        return Error(pos, "operands of .AND./.OR. must be logical");
      }
      *out = Binary(op, ExprType::kLogical, std::move(*out), std::move(rhs));
    }
    return s;
  }

  Status ParseOr(NodePtr* out) {
    return ParseLogicalChain(ExprTok::kOr, ExprOp::kOr, &Parser::ParseAnd, out);
  }
  Status ParseAnd(NodePtr* out) {
    return ParseLogicalChain(ExprTok::kAnd, ExprOp::kAnd, &Parser::ParseNot, out);
  }

  Status ParseNot(NodePtr* out) {
    if (tok_.kind != ExprTok::kNot) return ParseCompare(out);
    int32_t pos = tok_.pos;
    NodePtr operand;
    Status s = Advance();
    if (s.ok()) s = ParseNot(&operand);
    if (!s.ok()) return s;
    if (operand->type != ExprType::kLogical) return Error(pos, ".NOT. needs a logical operand");
    *out = Binary(ExprOp::kNot, ExprType::kLogical, std::move(operand), nullptr);
    return s;
  }

  Status ParseCompare(NodePtr* out) {
    Status s = ParseAdditive(out);
    if (!s.ok()) return s;
    ExprTok k = tok_.kind;
    if (k != ExprTok::kEq && k != ExprTok::kLt && k != ExprTok::kGt && k != ExprTok::kLe &&
        k != ExprTok::kGe && k != ExprTok::kNe) {
      return s;
    }
    int32_t pos = tok_.pos;
    NodePtr rhs;
    if (!(s = Advance()).ok() || !(s = ParseAdditive(&rhs)).ok()) return s;
    ExprType lt = (*out)->type, rt = rhs->type;
    bool same = lt == rt || (IsNumber(lt) && IsNumber(rt));
    if (!same) return Error(pos, "compared values have different types");
    *out = Binary(ExprOp::kCompare, ExprType::kLogical, std::move(*out), std::move(rhs));
    (*out)->cmp = k;
    return s;
  }

  Status ParseAdditive(NodePtr* out) {
    Status s = ParseMultiplicative(out);
    while (s.ok() && (tok_.kind == ExprTok::kPlus || tok_.kind == ExprTok::kMinus)) {
      bool plus = tok_.kind == ExprTok::kPlus;
      int32_t pos = tok_.pos;
      NodePtr rhs;
      if (!(s = Advance()).ok() || !(s = ParseMultiplicative(&rhs)).ok()) return s;
      ExprType lt = (*out)->type, rt = rhs->type;
      if (plus && lt == ExprType::kCharacter && rt == ExprType::kCharacter) {
        int32_t len = (*out)->length + rhs->length;
        *out = Binary(ExprOp::kConcat, ExprType::kCharacter, std::move(*out), std::move(rhs));
        (*out)->length = len;
      } else if (IsNumber(lt) && IsNumber(rt)) {
        *out = Binary(plus ? ExprOp::kAdd : ExprOp::kSub, ExprType::kNumeric, std::move(*out),
                      std::move(rhs));
      } else {
        return Error(pos, plus ? "'+' needs two character or two numeric values"
                               : "'-' needs two numeric values");
      }
    }
    return s;
  }

  Status ParseMultiplicative(NodePtr* out) {
    Status s = ParseUnary(out);
    while (s.ok() && (tok_.kind == ExprTok::kStar || tok_.kind == ExprTok::kSlash)) {
      ExprOp op = tok_.kind == ExprTok::kStar ? ExprOp::kMul : ExprOp::kDiv;
      int32_t pos = tok_.pos;
      NodePtr rhs;
      if (!(s = Advance()).ok() || !(s = ParseUnary(&rhs)).ok()) return s;
      if (!IsNumber((*out)->type) || !IsNumber(rhs->type)) {
        return Error(pos, "'*' and '/' need numeric values");
      }
      *out = Binary(op, ExprType::kNumeric, std::move(*out), std::move(rhs));
    }
    return s;
  }

  Status ParseUnary(NodePtr* out) {
    if (tok_.kind != ExprTok::kMinus) return ParsePrimary(out);
    int32_t pos = tok_.pos;
    NodePtr operand;
    Status s = Advance();
    if (s.ok()) s = ParseUnary(&operand);
    if (!s.ok()) return s;
    if (!IsNumber(operand->type)) return Error(pos, "unary '-' needs a numeric value");
    if (operand->op == ExprOp::kNumber) {
      operand->number = -operand->number;
      *out = std::move(operand);
    } else {
      *out = Binary(ExprOp::kNeg, ExprType::kNumeric, std::move(operand), nullptr);
    }
    return s;
  }

  Status ParsePrimary(NodePtr* out) {
    auto n = std::make_unique<ExprNode>();
    int32_t pos = tok_.pos;
    switch (tok_.kind) {
      case ExprTok::kNumber:
        n->op = ExprOp::kNumber;
        n->type = ExprType::kNumeric;
        n->number = std::strtod(tok_.text.c_str(), nullptr);
        break;
      case ExprTok::kString:
        n->op = ExprOp::kString;
        n->type = ExprType::kCharacter;
        n->text = tok_.text;
        n->length = static_cast<int32_t>(tok_.text.size());
        break;
      case ExprTok::kTrue:
      case ExprTok::kFalse:
        n->op = ExprOp::kBool;
        n->type = ExprType::kLogical;
        n->logical = tok_.kind == ExprTok::kTrue;
        break;
      case ExprTok::kLParen: {
        Status s = Advance();
        if (s.ok()) s = ParseOr(out);
        if (!s.ok()) return s;
        if (tok_.kind != ExprTok::kRParen) return Error(tok_.pos, "expected ')'");
        return Advance();
      }
      case ExprTok::kName: {
        std::string name = tok_.text;
        Status s = Advance();
        if (!s.ok()) return s;
        if (tok_.kind == ExprTok::kLParen) return ParseCall(name, pos, out);
        return MakeField(name, pos, out);
      }
      case ExprTok::kEnd:
        return Error(pos, "expression ends where a value is expected");
      default:
        return Error(pos, "expected a value");
    }
    *out = std::move(n);
    return Advance();
  }

  Status MakeField(const std::string& name, int32_t pos, NodePtr* out) {
    int32_t index = table_.FindField(name);
    // A table of a database container may be indexed by a long field name of
    // which the data file keeps the first 10 characters.
    if (index < 0 && name.size() > 10) index = table_.FindField(name.substr(0, 10));
    if (index < 0) return Error(pos, "unknown field '" + name + "'");
    auto n = std::make_unique<ExprNode>();
    n->op = ExprOp::kField;
    n->field = index;
    n->info = table_.FieldInfo(index);
    char t = n->info.type;
    if (t == 'M' || t == 'G' || t == 'P' || t == 'W' || t == '0') {
      return Error(pos, "field '" + name + "' of type " + std::string(1, t) + " cannot be used");
    }
    n->type = FieldType(t);
    n->length = n->info.width;
    n->nullable = n->info.nullable;
    *out = std::move(n);
    return Status::OK();
  }

  // A number constant argument (STR width, SUBSTR position); fails otherwise.
  Status ConstantArg(const NodePtr& arg, int32_t pos, int32_t min, int32_t* value) {
    if (arg->op != ExprOp::kNumber || arg->number != std::floor(arg->number) ||
        arg->number < min || arg->number > 255) {
      return Error(pos, "argument must be a whole number constant from " + std::to_string(min) +
                            " to 255");
    }
    *value = static_cast<int32_t>(arg->number);
    return Status::OK();
  }

  Status ParseCall(const std::string& name, int32_t pos, NodePtr* out) {
    const FunctionDef* f = FindFunction(name);
    if (f == nullptr) return Error(pos, "unknown function '" + name + "'");
    std::vector<NodePtr> args;
    std::vector<int32_t> arg_pos;
    Status s = Advance();  // past '('
    if (!s.ok()) return s;
    if (tok_.kind != ExprTok::kRParen) {
      for (;;) {
        arg_pos.push_back(tok_.pos);
        NodePtr arg;
        if (!(s = ParseOr(&arg)).ok()) return s;
        args.push_back(std::move(arg));
        if (tok_.kind == ExprTok::kComma) {
          if (!(s = Advance()).ok()) return s;
          continue;
        }
        break;
      }
    }
    if (tok_.kind != ExprTok::kRParen) return Error(tok_.pos, "expected ')' or ','");
    int n_args = static_cast<int>(args.size());
    if (n_args < f->min_args || n_args > f->max_args) {
      return Error(pos, std::string(f->name) + "() takes " + std::to_string(f->min_args) +
                            (f->min_args == f->max_args ? "" : " to " + std::to_string(f->max_args)) +
                            " arguments");
    }
    auto n = std::make_unique<ExprNode>();
    n->op = f->op;
    auto need = [&](int i, ExprType t, const char* what) -> Status {
      bool ok = t == ExprType::kNumeric ? IsNumber(args[i]->type) : args[i]->type == t;
      return ok ? Status::OK() : Error(arg_pos[i], std::string(f->name) + "() needs " + what);
    };
    switch (f->op) {
      case ExprOp::kRecno:
        n->type = ExprType::kNumeric;
        break;
      case ExprOp::kDeleted:
        n->type = ExprType::kLogical;
        break;
      case ExprOp::kStr:
        if (!(s = need(0, ExprType::kNumeric, "a numeric value")).ok()) return s;
        n->arg1 = 10;
        if (n_args > 1 && !(s = ConstantArg(args[1], arg_pos[1], 1, &n->arg1)).ok()) return s;
        if (n_args > 2 && !(s = ConstantArg(args[2], arg_pos[2], 0, &n->arg2)).ok()) return s;
        n->type = ExprType::kCharacter;
        n->length = n->arg1;
        break;
      case ExprOp::kDtos:
        if (args[0]->type != ExprType::kDate && args[0]->type != ExprType::kDateTime) {
          return Error(arg_pos[0], "DTOS() needs a date");
        }
        n->type = ExprType::kCharacter;
        n->length = 8;
        break;
      case ExprOp::kVal:
        if (!(s = need(0, ExprType::kCharacter, "a character value")).ok()) return s;
        n->type = ExprType::kNumeric;
        break;
      case ExprOp::kSubstr: {
        if (!(s = need(0, ExprType::kCharacter, "a character value")).ok()) return s;
        int32_t width = args[0]->length;
        bool left = std::string_view(f->name) == "LEFT";
        n->arg1 = 1;
        if (!left && !(s = ConstantArg(args[1], arg_pos[1], 1, &n->arg1)).ok()) return s;
        n->arg2 = width - n->arg1 + 1;
        int len_arg = left ? 1 : 2;
        if (n_args > len_arg &&
            !(s = ConstantArg(args[len_arg], arg_pos[len_arg], 0, &n->arg2)).ok()) {
          return s;
        }
        if (n->arg2 < 0) n->arg2 = 0;
        n->type = ExprType::kCharacter;
        n->length = n->arg2;
        break;
      }
      default:  // UPPER LOWER ALLTRIM LTRIM RTRIM: same length as the argument
        if (!(s = need(0, ExprType::kCharacter, "a character value")).ok()) return s;
        n->type = ExprType::kCharacter;
        n->length = args[0]->length;
        break;
    }
    if (!args.empty()) {
      n->nullable = args[0]->nullable;
      n->a = std::move(args[0]);
    }
    *out = std::move(n);
    return Advance();  // past ')'
  }

  std::string_view src_;
  ExprLexer lex_;
  const ExprRecord& table_;
  ExprToken tok_;
};

}  // namespace

Status Expr::Parse(std::string_view source, const ExprRecord& table, std::unique_ptr<Expr>* out) {
  out->reset();
  NodePtr root;
  Status s = Parser(source, table).Run(&root);
  if (!s.ok()) return s;
  out->reset(new Expr(std::string(source), std::move(root)));
  return Status::OK();
}

}  // namespace pv
