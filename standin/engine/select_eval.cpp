// Types and values of SELECT expressions: arithmetic with SQL Server's result types and errors.
#include <cmath>

#include "engine/select_statement.h"

namespace standin {

namespace {

enum class Family { kNull, kInteger, kExact, kFloat, kCharacter, kDateTime, kOther };

Family FamilyOf(const SqlType& t) {
  if (t.IsInteger() || t.base == BaseType::kBit) return Family::kInteger;
  if (t.IsExactNumeric()) return Family::kExact;
  if (t.base == BaseType::kFloat || t.base == BaseType::kReal) return Family::kFloat;
  if (t.IsCharacter()) return Family::kCharacter;
  if (t.IsDateTime()) return Family::kDateTime;
  return Family::kOther;
}

std::string OperatorName(char op) {
  switch (op) {
    case '+':
      return "add";
    case '-':
      return "subtract";
    case '*':
      return "multiply";
    case '/':
      return "divide";
    default:
      return "modulo";
  }
}

// The result type of `a op b` as SQL Server types it, or the 8117/402 error.
std::optional<SqlType> BinaryType(ExecContext& ctx, char op, const SqlType& a, const SqlType& b) {
  Family fa = FamilyOf(a), fb = FamilyOf(b);
  if (fa == Family::kCharacter && fb == Family::kCharacter) {
    if (op != '+') {
      ctx.Error(8117, 16, 1,
                "Operand data type " + a.Name() + " is invalid for " + OperatorName(op) + " operator.");
      return std::nullopt;
    }
    bool unicode = a.IsUnicode() || b.IsUnicode();
    int length = a.length < 0 || b.length < 0 ? -1 : std::min(a.length + b.length, unicode ? 4000 : 8000);
    return unicode ? NVarCharType(length) : VarCharType(length);
  }
  // Character text meets a number by being converted to the number's type.
  if (fa == Family::kCharacter) return BinaryType(ctx, op, b, b);
  if (fb == Family::kCharacter) return BinaryType(ctx, op, a, a);
  if (fa == Family::kDateTime || fb == Family::kDateTime) {
    if ((op == '+' || op == '-') && fa != fb) return *ParseSqlType("datetime");
    ctx.Error(8117, 16, 1,
              "Operand data type " + (fa == Family::kDateTime ? a : b).Name() + " is invalid for " +
                  OperatorName(op) + " operator.");
    return std::nullopt;
  }
  if (fa == Family::kOther || fb == Family::kOther) {
    ctx.Error(8117, 16, 1,
              "Operand data type " + (fa == Family::kOther ? a : b).Name() + " is invalid for " +
                  OperatorName(op) + " operator.");
    return std::nullopt;
  }
  if (fa == Family::kFloat || fb == Family::kFloat) return *ParseSqlType("float");
  if (fa == Family::kExact || fb == Family::kExact) {
    auto scale_of = [](const SqlType& t) { return t.IsExactNumeric() ? t.scale : 0; };
    auto precision_of = [](const SqlType& t) {
      return t.IsExactNumeric() ? std::max(t.precision, 1) : t.base == BaseType::kBigInt ? 19 : 10;
    };
    int s1 = scale_of(a), s2 = scale_of(b), p1 = precision_of(a), p2 = precision_of(b);
    int scale = op == '*' ? s1 + s2 : op == '/' ? std::max(6, s1 + p2 + 1) : std::max(s1, s2);
    SqlType t = *ParseSqlType("numeric(38,0)");
    t.scale = std::min(scale, 18);
    t.precision = std::min(38, std::max(p1 - s1, p2 - s2) + t.scale + 1);
    return t;
  }
  return a.base == BaseType::kBigInt || b.base == BaseType::kBigInt ? *ParseSqlType("bigint") : IntType();
}

double AsDouble(const Value& v) {
  if (auto* i = std::get_if<int64_t>(&v.v)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&v.v)) return *d;
  if (auto* d = std::get_if<Decimal>(&v.v))
    return static_cast<double>(d->unscaled) / std::pow(10.0, d->scale);
  return 0;
}

void DivideByZero(ExecContext& ctx) {
  ctx.Error(8134, 16, 1, "Divide by zero error encountered.");
}

std::optional<Value> Arithmetic(ExecContext& ctx, char op, const Value& a, const SqlType& ta, const Value& b,
                                const SqlType& tb, const SqlType& result) {
  if (a.IsNull() || b.IsNull()) return Value{};
  // Operands of another type are converted to the result's type first (245 for text that is no number).
  auto operand = [&](const Value& v, const SqlType& t) -> std::optional<Value> {
    if (FamilyOf(t) != Family::kCharacter || FamilyOf(result) == Family::kCharacter) return v;
    auto converted = ConvertValue(v, t, result, ctx.session.date_order);
    if (converted.error) {
      ctx.Error(*converted.error);
      return std::nullopt;
    }
    return converted.value;
  };
  auto x = operand(a, ta), y = operand(b, tb);
  if (!x || !y) return std::nullopt;
  switch (FamilyOf(result)) {
    case Family::kCharacter:
      return Value(x->ToText() + y->ToText());
    case Family::kDateTime: {
      const bool date_first = std::holds_alternative<DateTime>(x->v);
      DateTime d = std::get<DateTime>((date_first ? *x : *y).v);
      double days = AsDouble(date_first ? *y : *x) * (op == '-' ? -1 : 1);
      double whole = std::floor(days);
      auto ticks = static_cast<int64_t>(d.ticks) + std::llround((days - whole) * 300 * 86400);
      d.days += static_cast<int32_t>(whole) + static_cast<int32_t>(ticks / (300 * 86400));
      d.ticks = static_cast<uint32_t>(ticks % (300 * 86400));
      return Value(d);
    }
    case Family::kInteger: {
      int64_t l = std::get<int64_t>(x->v), r = std::get<int64_t>(y->v), out = 0;
      if ((op == '/' || op == '%') && r == 0) return DivideByZero(ctx), std::nullopt;
      bool overflow = false;
      if (op == '+') overflow = __builtin_add_overflow(l, r, &out);
      if (op == '-') overflow = __builtin_sub_overflow(l, r, &out);
      if (op == '*') overflow = __builtin_mul_overflow(l, r, &out);
      if (op == '/') {
        overflow = l == INT64_MIN && r == -1;
        out = overflow ? 0 : l / r;
      }
      if (op == '%') out = r == -1 ? 0 : l % r;
      if (overflow || (result.base != BaseType::kBigInt && (out < INT32_MIN || out > INT32_MAX))) {
        ctx.Error(8115, 16, 2,
                  "Arithmetic overflow error converting expression to data type " + result.Name() + ".");
        return std::nullopt;
      }
      return Value(out);
    }
    default: {
      double l = AsDouble(*x), r = AsDouble(*y), out = 0;
      if ((op == '/' || op == '%') && r == 0) return DivideByZero(ctx), std::nullopt;
      out = op == '+' ? l + r : op == '-' ? l - r : op == '*' ? l * r : op == '/' ? l / r : std::fmod(l, r);
      if (FamilyOf(result) == Family::kFloat) return Value(out);
      auto converted = ConvertValue(Value(out), *ParseSqlType("float"), result);
      if (converted.error) {
        ctx.Error(*converted.error);
        return std::nullopt;
      }
      return converted.value;
    }
  }
}

}  // namespace

int ColumnIndex(ExecContext& ctx, const std::vector<ResultColumn>& columns, const std::string& name) {
  for (size_t k = 0; k < columns.size(); ++k) {
    if (NamesEqual(columns[k].name, name)) return static_cast<int>(k);
  }
  ctx.Error(207, 16, 1, "Invalid column name '" + name + "'.");
  return -1;
}

std::optional<SqlType> ExprType(ExecContext& ctx, const SelectExpr& e,
                                const std::vector<ResultColumn>& columns) {
  switch (e.kind) {
    case SelectExpr::kColumn: {
      int k = ColumnIndex(ctx, columns, e.column);
      if (k < 0) return std::nullopt;
      return columns[static_cast<size_t>(k)].type;
    }
    case SelectExpr::kNegate:
      return ExprType(ctx, e.operands[0], columns);
    case SelectExpr::kBinary: {
      auto a = ExprType(ctx, e.operands[0], columns);
      if (!a) return std::nullopt;
      auto b = ExprType(ctx, e.operands[1], columns);
      if (!b) return std::nullopt;
      return BinaryType(ctx, e.op, *a, *b);
    }
    default:
      return e.type;
  }
}

std::optional<Value> Evaluate(ExecContext& ctx, const SelectExpr& e, const RowScope& scope) {
  switch (e.kind) {
    case SelectExpr::kColumn: {
      int k = ColumnIndex(ctx, scope.columns, e.column);
      if (k < 0) return std::nullopt;
      return scope.row ? (*scope.row)[static_cast<size_t>(k)] : Value{};
    }
    case SelectExpr::kNegate: {
      auto type = ExprType(ctx, e.operands[0], scope.columns);
      auto v = Evaluate(ctx, e.operands[0], scope);
      if (!type || !v) return std::nullopt;
      return Arithmetic(ctx, '-', Value(0), IntType(), *v, *type, *BinaryType(ctx, '-', IntType(), *type));
    }
    case SelectExpr::kBinary: {
      auto ta = ExprType(ctx, e.operands[0], scope.columns);
      auto tb = ExprType(ctx, e.operands[1], scope.columns);
      if (!ta || !tb) return std::nullopt;
      auto result = BinaryType(ctx, e.op, *ta, *tb);
      auto a = Evaluate(ctx, e.operands[0], scope);
      auto b = Evaluate(ctx, e.operands[1], scope);
      if (!result || !a || !b) return std::nullopt;
      return Arithmetic(ctx, e.op, *a, *ta, *b, *tb, *result);
    }
    default:
      return e.value;
  }
}

}  // namespace standin
