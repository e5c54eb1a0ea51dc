// Evaluation of compiled expressions over a row, and the compiled expression's
// public face.

#include "platform/edsengine/EdsExprAst.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/SysUtils.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

EdsExprValue EdsExprValue::Logical(bool v) {
    EdsExprValue r;
    r.type = EdsExprType::Logical;
    r.logical = v;
    return r;
}
EdsExprValue EdsExprValue::Number(double v) {
    EdsExprValue r;
    r.type = EdsExprType::Number;
    r.number = v;
    return r;
}
EdsExprValue EdsExprValue::String(std::string v) {
    EdsExprValue r;
    r.type = EdsExprType::String;
    r.text = std::move(v);
    return r;
}
EdsExprValue EdsExprValue::Date(std::int64_t julian) {
    EdsExprValue r;
    r.type = EdsExprType::Date;
    r.moment = julian;
    return r;
}
EdsExprValue EdsExprValue::Time(std::int64_t ms) {
    EdsExprValue r;
    r.type = EdsExprType::Time;
    r.moment = ms;
    return r;
}
EdsExprValue EdsExprValue::TimeStamp(std::int64_t moment) {
    EdsExprValue r;
    r.type = EdsExprType::TimeStamp;
    r.moment = moment;
    return r;
}
EdsExprValue EdsExprValue::Empty(EdsExprType type) {
    EdsExprValue r;
    r.type = type;
    if (type == EdsExprType::Time) r.moment = -1;
    return r;
}

bool EdsExprTypeOfField(int fieldType, EdsExprType& out) {
    switch (fieldType) {
    case 1: out = EdsExprType::Logical; return true;
    case 2: case 10: case 11: case 12: case 15: case 17: case 18: out = EdsExprType::Number; return true;
    case 3: case 9: out = EdsExprType::Date; return true;
    case 4: case 5: case 8: case 20: out = EdsExprType::String; return true;
    case 13: out = EdsExprType::Time; return true;
    case 14: out = EdsExprType::TimeStamp; return true;
    default: return false;
    }
}

EdsExprValue EdsExprValueFromStored(const EdsExprColumn& column, sqlite3_stmt* stmt, int index) {
    EdsExprType type = EdsExprType::String;
    EdsExprTypeOfField(column.type, type);
    if (sqlite3_column_type(stmt, index) == SQLITE_NULL) return EdsExprValue::Empty(type);
    auto text = [&] {
        const unsigned char* p = sqlite3_column_text(stmt, index);
        return std::string_view(p ? reinterpret_cast<const char*>(p) : "",
                                static_cast<std::size_t>(sqlite3_column_bytes(stmt, index)));
    };
    switch (type) {
    case EdsExprType::Logical: return EdsExprValue::Logical(sqlite3_column_int64(stmt, index) != 0);
    case EdsExprType::Number: return EdsExprValue::Number(sqlite3_column_double(stmt, index));
    case EdsExprType::String: return EdsExprValue::String(std::string(text()));
    case EdsExprType::Date: return EdsExprValue::Date(edsexpr::DateFromStored(text()));
    case EdsExprType::TimeStamp: return EdsExprValue::TimeStamp(edsexpr::TimeStampFromStored(text()));
    case EdsExprType::Time:
        if (sqlite3_column_type(stmt, index) == SQLITE_INTEGER)
            return EdsExprValue::Time(sqlite3_column_int64(stmt, index));
        {
            bool ok = false;
            std::int64_t ms = edsexpr::ParseTimeText(text(), ok);
            return EdsExprValue::Time(ok ? ms : -1);
        }
    }
    return EdsExprValue::Empty(type);
}

namespace {

using edsexpr::kMsPerDay;

double Clamp(double v, double lo, double hi) { return std::isnan(v) ? lo : std::min(std::max(v, lo), hi); }

EdsExprValue Call(const EdsExprNode& n, const EdsExprRow* row, const EdsExprSettings& settings) {
    auto arg = [&](std::size_t i) { return EdsExprEvalNode(*n.kids[i], row, settings); };
    switch (n.func) {
    case EdsExprFunc::Upper: return EdsExprValue::String(rtl::AnsiUpperCase(arg(0).text));
    case EdsExprFunc::Trim: return EdsExprValue::String(edsexpr::RTrim(arg(0).text));
    case EdsExprFunc::Empty: return EdsExprValue::Logical(edsexpr::IsEmptyValue(arg(0)));
    case EdsExprFunc::Ctod: {
        std::string text = arg(0).text;
        return EdsExprValue::Date(EdsParseDateText(edsexpr::RTrim(text), settings.dateFormat, settings.epoch));
    }
    case EdsExprFunc::Ctot: {
        bool ok = false;
        std::int64_t ms = edsexpr::ParseTimeText(arg(0).text, ok);
        return EdsExprValue::Time(ok ? ms : -1);
    }
    case EdsExprFunc::Ctots: return EdsExprValue::TimeStamp(edsexpr::ParseTimeStampText(arg(0).text, settings));
    case EdsExprFunc::Chr: return EdsExprValue::String(edsexpr::ChrText(arg(0).number));
    case EdsExprFunc::Contains: {
        EdsExprValue field = arg(0);
        return EdsExprValue::Logical(edsexpr::ContainsWords(field.text, arg(1).text));
    }
    case EdsExprFunc::Dtos: {
        EdsExprValue v = arg(0);
        std::int64_t julian = v.type == EdsExprType::TimeStamp ? v.moment / kMsPerDay : v.moment;
        return EdsExprValue::String(edsexpr::DtosText(julian));
    }
    case EdsExprFunc::Str: {
        return EdsExprValue::String(edsexpr::StrText(arg(0).number, n.kids.size() > 1 ? arg(1).number : 10,
                                                     n.kids.size() > 2 ? arg(2).number : 0));
    }
    case EdsExprFunc::Substr: {
        std::string s = arg(0).text;
        double start = Clamp(arg(1).number, 0, 1e9);
        double count = n.kids.size() > 2 ? Clamp(arg(2).number, 0, 1e9) : 1e9;
        if (start < 1) start = 1;
        return EdsExprValue::String(
            edsexpr::Utf8Substr(s, static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(count)));
    }
    case EdsExprFunc::Left: {
        std::string s = arg(0).text;
        double count = Clamp(arg(1).number, 0, 1e9);
        return EdsExprValue::String(edsexpr::Utf8Substr(s, 0, static_cast<std::size_t>(count)));
    }
    case EdsExprFunc::Iif: return arg(0).logical ? arg(1) : arg(2);
    }
    return EdsExprValue::Empty(n.type);
}

}  // namespace

bool EdsExprCompare(const EdsExprNode& n, const EdsExprValue& a, const EdsExprValue& b) {
    if (a.type == EdsExprType::String && (n.op == EdsExprOp::Eq || n.op == EdsExprOp::Ne || n.op == EdsExprOp::ExactEq)) {
        bool eq = edsexpr::StringEquals(a.text, b.text, n.exact);
        return n.op == EdsExprOp::Ne ? !eq : eq;
    }
    int c = edsexpr::CompareValues(a, b);
    switch (n.op) {
    case EdsExprOp::Eq:
    case EdsExprOp::ExactEq: return c == 0;
    case EdsExprOp::Ne: return c != 0;
    case EdsExprOp::Lt: return c < 0;
    case EdsExprOp::Le: return c <= 0;
    case EdsExprOp::Gt: return c > 0;
    case EdsExprOp::Ge: return c >= 0;
    default: return false;
    }
}

namespace {

// A result that is no number (infinity minus infinity) reads as 0, as the SQL
// form's COALESCE over SQLite's NULL does.
EdsExprValue Num(double v) { return EdsExprValue::Number(std::isnan(v) ? 0 : v); }

// Date arithmetic keeps to the years 1..9999; anything outside is the blank date.
EdsExprValue DateValue(double julian) {
    if (!(julian >= 1721426 && julian <= 5373484)) return EdsExprValue::Date(0);
    return EdsExprValue::Date(static_cast<std::int64_t>(std::floor(julian)));
}

}  // namespace

EdsExprValue EdsExprEvalNode(const EdsExprNode& n, const EdsExprRow* row, const EdsExprSettings& settings) {
    auto kid = [&](std::size_t i) { return EdsExprEvalNode(*n.kids[i], row, settings); };
    switch (n.op) {
    case EdsExprOp::Const: return n.value;
    case EdsExprOp::Column: {
        if (!row) return EdsExprValue::Empty(n.type);
        EdsExprValue v = row->Field(n.column);
        if (v.type != n.type) return EdsExprValue::Empty(n.type);
        return v;
    }
    case EdsExprOp::Not: return EdsExprValue::Logical(!kid(0).logical);
    case EdsExprOp::And: return EdsExprValue::Logical(kid(0).logical && kid(1).logical);
    case EdsExprOp::Or: return EdsExprValue::Logical(kid(0).logical || kid(1).logical);
    case EdsExprOp::Neg: return Num(-kid(0).number);
    case EdsExprOp::Add:
    case EdsExprOp::Sub: {
        EdsExprValue a = kid(0), b = kid(1);
        bool plus = n.op == EdsExprOp::Add;
        if (a.type == EdsExprType::Number && b.type == EdsExprType::Number)
            return Num(plus ? a.number + b.number : a.number - b.number);
        if (a.type == EdsExprType::String) {
            if (plus) return EdsExprValue::String(a.text + b.text);
            // "-" moves the left side's trailing blanks behind the right side.
            std::string trimmed = edsexpr::RTrim(a.text);
            std::size_t blanks = a.text.size() - trimmed.size();
            return EdsExprValue::String(trimmed + b.text + std::string(blanks, ' '));
        }
        if (a.type == EdsExprType::Date && b.type == EdsExprType::Date)
            return EdsExprValue::Number(a.moment == 0 || b.moment == 0 ? 0 : static_cast<double>(a.moment - b.moment));
        if (a.type == EdsExprType::Number) std::swap(a, b);  // number + date
        if (a.moment == 0) return a;                          // the blank date stays blank
        return DateValue(static_cast<double>(a.moment) + (plus ? b.number : -b.number));
    }
    case EdsExprOp::Mul: return Num(kid(0).number * kid(1).number);
    case EdsExprOp::Div: {
        double d = kid(1).number;
        // No row may stop a filter: a division by zero gives 0.
        return Num(d == 0 ? 0 : kid(0).number / d);
    }
    case EdsExprOp::Contained: {
        EdsExprValue a = kid(0), b = kid(1);
        return EdsExprValue::Logical(b.text.find(a.text) != std::string::npos);
    }
    case EdsExprOp::Eq:
    case EdsExprOp::ExactEq:
    case EdsExprOp::Ne:
    case EdsExprOp::Lt:
    case EdsExprOp::Le:
    case EdsExprOp::Gt:
    case EdsExprOp::Ge: return EdsExprValue::Logical(EdsExprCompare(n, kid(0), kid(1)));
    case EdsExprOp::Call: return Call(n, row, settings);
    }
    return EdsExprValue::Empty(n.type);
}

EdsExpr::~EdsExpr() = default;

std::unique_ptr<EdsExpr> EdsExpr::Compile(std::string_view text, const std::vector<EdsExprColumn>& columns,
                                          const EdsExprSettings& settings, EdsExprError& error) {
    auto root = EdsExprParse(text, columns, settings, error);
    if (!root) return nullptr;
    std::unique_ptr<EdsExpr> e(new EdsExpr());
    e->text_ = std::string(text);
    e->columns_ = columns;
    e->settings_ = settings;
    std::vector<const EdsExprNode*> stack{root.get()};
    while (!stack.empty()) {
        const EdsExprNode* n = stack.back();
        stack.pop_back();
        if (n->op == EdsExprOp::Column &&
            std::find(e->columnsUsed_.begin(), e->columnsUsed_.end(), n->column) == e->columnsUsed_.end())
            e->columnsUsed_.push_back(n->column);
        for (const auto& k : n->kids) stack.push_back(k.get());
    }
    std::sort(e->columnsUsed_.begin(), e->columnsUsed_.end());
    e->root_ = std::move(root);
    return e;
}

EdsExprType EdsExpr::ResultType() const { return root_->type; }

EdsExprValue EdsExpr::Evaluate(const EdsExprRow& row) const { return EdsExprEvalNode(*root_, &row, settings_); }

bool EdsExpr::IsTrue(const EdsExprRow& row) const {
    EdsExprValue v = Evaluate(row);
    return v.type == EdsExprType::Logical && v.logical;
}

bool EdsExpr::ToSql(EdsSqlPredicate& out) const {
    if (root_->type != EdsExprType::Logical) return false;
    EdsSqlPredicate p;
    if (!EdsExprNodeToSql(*root_, columns_, settings_, p)) return false;
    out = std::move(p);
    return true;
}

bool EdsExpr::ToSqlPart(EdsSqlPredicate& out, bool& complete) const {
    complete = false;
    if (root_->type != EdsExprType::Logical) return false;
    std::vector<const EdsExprNode*> terms, stack{root_.get()};
    while (!stack.empty()) {
        const EdsExprNode* n = stack.back();
        stack.pop_back();
        if (n->op == EdsExprOp::And) {
            stack.push_back(n->kids[1].get());
            stack.push_back(n->kids[0].get());
        } else {
            terms.push_back(n);
        }
    }
    EdsSqlPredicate p;
    bool all = true;
    int used = 0;
    for (const EdsExprNode* t : terms) {
        EdsSqlPredicate one;
        if (!EdsExprNodeToSql(*t, columns_, settings_, one)) {
            all = false;
            continue;
        }
        if (used++) p.text += " AND ";
        p.text += one.text;
        for (auto& b : one.binds) p.binds.push_back(std::move(b));
    }
    if (used == 0) return false;
    complete = all;
    out = std::move(p);
    return true;
}
