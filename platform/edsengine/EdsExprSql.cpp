// Translation of compiled expressions into SQLite predicates.
//
// Every SQL fragment made here is two-valued (never NULL), because the
// evaluator reads a NULL field as its type's empty value: a column compared
// with a constant becomes "col IS NULL OR col op ?" or "col IS NOT NULL AND
// col op ?" depending on what the empty value would give, which keeps the
// plain "col op ?" that SQLite can answer from an index. Anything whose SQL
// meaning could differ from the evaluator's (times of day, which are stored as
// texts or as numbers) has no SQL form. STR, CHR, CONTAINS and CTOD call the
// evaluator's own routines, registered as SQL functions on every connection.

#include "platform/edsengine/EdsExprAst.h"
#include "platform/edsengine/EdsFields.h"
#include "platform/edsengine/EdsKeys.h"

#include <sqlite3.h>

#include <algorithm>
#include <initializer_list>
#include <string_view>
#include <cmath>

namespace {

using eds::QuoteName;

constexpr int kMaxSqlNesting = 24;
// Forms that repeat an operand grow with every level of nesting; past this size a
// predicate is left to the evaluator.
constexpr std::size_t kMaxSqlText = 16384;

// Whether the engine stores columns of this field type in a form the SQL
// below can compare directly.
bool StoredForSql(int fieldType) {
    switch (fieldType) {
    case 1: case 2: case 3: case 4: case 5: case 8: case 9: case 10: case 11: case 12: case 14: case 15: case 17: case 18:
    case 20:
        return true;
    default: return false;
    }
}

EdsSqlBind NumberBind(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 9.0e15) return static_cast<std::int64_t>(v);
    return v;
}

// The constant as the engine would store it.
EdsSqlBind StoredBind(const EdsExprValue& v, bool trim) {
    switch (v.type) {
    case EdsExprType::Logical: return static_cast<std::int64_t>(v.logical ? 1 : 0);
    case EdsExprType::Number: return NumberBind(v.number);
    case EdsExprType::String: return trim ? edsexpr::RTrim(v.text) : v.text;
    case EdsExprType::Date: return edsexpr::StoredDate(v.moment);
    case EdsExprType::TimeStamp: return edsexpr::StoredTimeStamp(v.moment);
    case EdsExprType::Time: break;
    }
    return std::monostate{};
}

const char* EmptyLiteral(EdsExprType t) {
    return (t == EdsExprType::String || t == EdsExprType::Date || t == EdsExprType::TimeStamp) ? "''" : "0";
}

const char* OpText(EdsExprOp op) {
    switch (op) {
    case EdsExprOp::Eq:
    case EdsExprOp::ExactEq: return " = ";
    case EdsExprOp::Ne: return " <> ";
    case EdsExprOp::Lt: return " < ";
    case EdsExprOp::Le: return " <= ";
    case EdsExprOp::Gt: return " > ";
    case EdsExprOp::Ge: return " >= ";
    default: return " ? ";
    }
}

EdsExprOp Flip(EdsExprOp op) {
    switch (op) {
    case EdsExprOp::Lt: return EdsExprOp::Gt;
    case EdsExprOp::Le: return EdsExprOp::Ge;
    case EdsExprOp::Gt: return EdsExprOp::Lt;
    case EdsExprOp::Ge: return EdsExprOp::Le;
    default: return op;
    }
}

bool IsComparison(EdsExprOp op) {
    return op == EdsExprOp::Eq || op == EdsExprOp::ExactEq || op == EdsExprOp::Ne || op == EdsExprOp::Lt ||
           op == EdsExprOp::Le || op == EdsExprOp::Gt || op == EdsExprOp::Ge;
}

// The smallest text greater than every text that begins with `prefix`; empty
// when there is none.
std::string PrefixEnd(std::string prefix) {
    while (!prefix.empty() && static_cast<unsigned char>(prefix.back()) == 0xFF) prefix.pop_back();
    if (!prefix.empty()) prefix.back() = static_cast<char>(static_cast<unsigned char>(prefix.back()) + 1);
    return prefix;
}

class SqlWriter {
public:
    SqlWriter(const std::vector<EdsExprColumn>& columns, const EdsExprSettings& settings, EdsSqlPredicate& out)
        : columns_(columns), settings_(settings), out_(out) {}

    bool Write(const EdsExprNode& n) {
        if (IsComparison(n.op) && SimpleComparison(n)) return true;
        switch (n.op) {
        case EdsExprOp::Const:
            if (n.type == EdsExprType::Logical) {
                out_.text += n.value.logical ? "1" : "0";
                return true;
            }
            if (n.type == EdsExprType::Time) return false;
            out_.text += "?";
            out_.binds.push_back(StoredBind(n.value, false));
            return true;
        case EdsExprOp::Column: {
            const EdsExprColumn& c = columns_[n.column];
            if (!StoredForSql(c.type)) return false;
            out_.text += "COALESCE(" + QuoteName(c.name) + ", " + EmptyLiteral(n.type) + ")";
            return true;
        }
        case EdsExprOp::Not: return Wrap("(NOT ", n.kids[0], ")");
        case EdsExprOp::And: return Infix(n, " AND ");
        case EdsExprOp::Or: return Infix(n, " OR ");
        case EdsExprOp::Neg: return Wrap("(-CAST(", n.kids[0], " AS REAL))");
        case EdsExprOp::Add:
            if (n.type == EdsExprType::Number) return Arithmetic(n, " + ");
            if (n.type == EdsExprType::String) return Infix(n, " || ");
            if (n.type == EdsExprType::Date) return DateShift(n, true);
            return false;
        case EdsExprOp::Sub:
            if (n.type == EdsExprType::Number && n.kids[0]->type == EdsExprType::Number) return Arithmetic(n, " - ");
            // Days between two dates, 0 when either is blank.
            if (n.type == EdsExprType::Number && n.kids[0]->type == EdsExprType::Date)
                return Fill("COALESCE((CASE WHEN {0} = '' OR {1} = '' THEN 0 ELSE julianday({0}) - julianday({1}) END), 0)",
                            {n.kids[0].get(), n.kids[1].get()});
            // "-" on texts moves the left side's trailing blanks behind the right side.
            if (n.type == EdsExprType::String)
                return Fill("(rtrim({0}, ' ') || {1} || substr({0}, length(rtrim({0}, ' ')) + 1))",
                            {n.kids[0].get(), n.kids[1].get()});
            if (n.type == EdsExprType::Date) return DateShift(n, false);
            return false;
        case EdsExprOp::Mul: return Arithmetic(n, " * ");
        case EdsExprOp::Div:
            // A division by zero gives 0, as in the evaluator.
            return Fill("COALESCE(CAST({0} AS REAL) / NULLIF(CAST({1} AS REAL), 0), 0)", {n.kids[0].get(), n.kids[1].get()});
        case EdsExprOp::Contained:
            out_.text += "(instr(";
            if (!Write(*n.kids[1])) return false;
            out_.text += ", ";
            if (!Write(*n.kids[0])) return false;
            out_.text += ") > 0)";
            return true;
        case EdsExprOp::Eq:
        case EdsExprOp::ExactEq:
        case EdsExprOp::Ne:
        case EdsExprOp::Lt:
        case EdsExprOp::Le:
        case EdsExprOp::Gt:
        case EdsExprOp::Ge: return GeneralComparison(n);
        case EdsExprOp::Call: return Call(n);
        }
        return false;
    }

private:
    // SQL from a pattern in which "{k}" stands for the SQL of nodes[k] (as often as
    // it appears, each time with its bound values).
    bool Fill(std::string_view pattern, std::initializer_list<const EdsExprNode*> nodes) {
        std::vector<EdsSqlPredicate> pieces(nodes.size());
        std::size_t k = 0;
        for (const EdsExprNode* node : nodes) {
            SqlWriter w(columns_, settings_, pieces[k]);
            if (!w.Write(*node) || pieces[k++].text.size() > kMaxSqlText) return false;
        }
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            if (pattern[i] != '{') {
                out_.text += pattern[i];
                continue;
            }
            const EdsSqlPredicate& piece = pieces[static_cast<std::size_t>(pattern[i + 1] - '0')];
            out_.text += piece.text;
            out_.binds.insert(out_.binds.end(), piece.binds.begin(), piece.binds.end());
            i += 2;
        }
        return out_.text.size() <= kMaxSqlText;
    }

    // A date and a number of days: the blank date stays blank, and so does a day
    // outside the years 1 to 9999. Day numbers count from noon in SQLite.
    bool DateShift(const EdsExprNode& n, bool plus) {
        const bool dateFirst = n.kids[0]->type == EdsExprType::Date;
        if (!dateFirst && !plus) return false;
        const EdsExprNode* date = n.kids[dateFirst ? 0 : 1].get();
        const EdsExprNode* days = n.kids[dateFirst ? 1 : 0].get();
        if (date->type != EdsExprType::Date || days->type != EdsExprType::Number) return false;
        return Fill(plus ? "(CASE WHEN {0} = '' THEN '' WHEN julianday({0}) + 0.5 + CAST({1} AS REAL) BETWEEN 1721426 "
                           "AND 5373484 THEN date(julianday({0}) + CAST({1} AS REAL)) ELSE '' END)"
                         : "(CASE WHEN {0} = '' THEN '' WHEN julianday({0}) + 0.5 - CAST({1} AS REAL) BETWEEN 1721426 "
                           "AND 5373484 THEN date(julianday({0}) - CAST({1} AS REAL)) ELSE '' END)",
                    {date, days});
    }

    // A count argument as the evaluator takes it: clamped to [low, 1e9], NaN as
    // low, cut to a whole number.
    bool CountArgument(const EdsExprNode& n, long long low) {
        long long constant = 0;
        if (ConstCount(n, low, constant)) {
            out_.text += std::to_string(constant);
            return true;
        }
        out_.text += "max(" + std::to_string(low) + ", CAST(min(COALESCE(";
        if (!Write(n)) return false;
        out_.text += ", 0), 1000000000) AS INTEGER))";
        return true;
    }

    bool Wrap(const char* open, const std::unique_ptr<EdsExprNode>& kid, const char* close) {
        out_.text += open;
        if (!Write(*kid)) return false;
        out_.text += close;
        return true;
    }

    bool Infix(const EdsExprNode& n, const char* op) {
        out_.text += "(";
        if (!Write(*n.kids[0])) return false;
        out_.text += op;
        if (!Write(*n.kids[1])) return false;
        out_.text += ")";
        return true;
    }

    // Double arithmetic as the evaluator does it; SQLite's NULL for a result that
    // is no number becomes the evaluator's 0.
    bool Arithmetic(const EdsExprNode& n, const char* op) {
        out_.text += "COALESCE(CAST(";
        if (!Write(*n.kids[0])) return false;
        out_.text += std::string(" AS REAL)") + op;
        if (!Write(*n.kids[1])) return false;
        out_.text += ", 0)";
        return true;
    }

    // "col op constant" in the form SQLite can serve from an index on col.
    bool SimpleComparison(const EdsExprNode& n) {
        const EdsExprNode* a = n.kids[0].get();
        const EdsExprNode* b = n.kids[1].get();
        EdsExprOp op = n.op;
        bool partial = a->type == EdsExprType::String && !n.exact && (op == EdsExprOp::Eq || op == EdsExprOp::Ne);
        if (a->op == EdsExprOp::Const && b->op == EdsExprOp::Column && !partial) {
            std::swap(a, b);
            op = Flip(op);
        }
        if (a->op != EdsExprOp::Column || b->op != EdsExprOp::Const) return false;
        const EdsExprColumn& c = columns_[a->column];
        if (!StoredForSql(c.type) || a->type == EdsExprType::Time) return false;
        std::string col = QuoteName(c.name);
        // Case-insensitive columns carry a NOCASE collation; the evaluator compares bytes.
        std::string cmpCol = c.type == 20 ? col + " COLLATE BINARY" : col;
        EdsExprNode probe;
        probe.op = op;
        probe.exact = n.exact;
        bool emptyResult = EdsExprCompare(probe, EdsExprValue::Empty(a->type), b->value);

        if (partial) {
            std::string prefix = edsexpr::RTrim(b->value.text);
            std::string cmp;
            if (prefix.empty()) {
                cmp = "1";
            } else {
                std::string end = PrefixEnd(prefix);
                cmp = "(" + col + " IS NOT NULL AND " + cmpCol + " >= ?";
                out_.binds.push_back(prefix);
                if (!end.empty()) {
                    cmp += " AND " + cmpCol + " < ?";
                    out_.binds.push_back(end);
                }
                cmp += ")";
            }
            out_.text += op == EdsExprOp::Ne ? "(NOT " + cmp + ")" : cmp;
            return true;
        }
        out_.text += "(" + col + (emptyResult ? " IS NULL OR " : " IS NOT NULL AND ") + cmpCol + OpText(op) + "?)";
        out_.binds.push_back(StoredBind(b->value, true));
        return true;
    }

    bool GeneralComparison(const EdsExprNode& n) {
        if (n.kids[0]->type == EdsExprType::String) {
            EdsSqlPredicate left, right;
            SqlWriter lw(columns_, settings_, left), rw(columns_, settings_, right);
            if (!lw.Write(*n.kids[0]) || !rw.Write(*n.kids[1])) return false;
            auto put = [&](const EdsSqlPredicate& p, bool trim) {
                out_.text += trim ? "rtrim(" + p.text + ", ' ')" : p.text;
                out_.binds.insert(out_.binds.end(), p.binds.begin(), p.binds.end());
            };
            bool equality = n.op == EdsExprOp::Eq || n.op == EdsExprOp::ExactEq || n.op == EdsExprOp::Ne;
            out_.text += n.op == EdsExprOp::Ne ? "(NOT (" : "((";
            if (equality && !n.exact) {
                out_.text += "substr(";
                put(left, true);
                out_.text += ", 1, length(";
                put(right, true);
                out_.text += ")) = ";
                put(right, true);
            } else {
                put(left, true);
                out_.text += equality ? " = " : OpText(n.op);
                put(right, true);
            }
            out_.text += "))";
            return true;
        }
        if (n.kids[0]->type == EdsExprType::Time) return false;
        out_.text += "(";
        if (!Write(*n.kids[0])) return false;
        out_.text += OpText(n.op);
        if (!Write(*n.kids[1])) return false;
        out_.text += ")";
        return true;
    }

    // A whole number constant argument in the range the evaluator clamps to.
    static bool ConstCount(const EdsExprNode& n, long long lo, long long& out) {
        if (n.op != EdsExprOp::Const) return false;
        double v = n.value.number;
        if (std::isnan(v)) v = static_cast<double>(lo);
        if (v < static_cast<double>(lo)) v = static_cast<double>(lo);
        if (v > 1e9) v = 1e9;
        out = static_cast<long long>(v);
        return true;
    }

    bool Call(const EdsExprNode& n) {
        const auto& k = n.kids;
        switch (n.func) {
        case EdsExprFunc::Upper: {
            const std::size_t start = out_.text.size();
            if (!Write(*k[0])) return false;
            out_.text.replace(start, std::string::npos, eds::FoldSql(out_.text.substr(start)));
            return true;
        }
        case EdsExprFunc::Trim: return Wrap("rtrim(", k[0], ", ' ')");
        case EdsExprFunc::Empty: {
            EdsExprType t = k[0]->type;
            if (t == EdsExprType::Time) return false;
            if (k[0]->op == EdsExprOp::Column) {
                const EdsExprColumn& c = columns_[k[0]->column];
                if (!StoredForSql(c.type)) return false;
                std::string col = QuoteName(c.name);
                out_.text += "(" + col + " IS NULL OR " + col + " = " + EmptyLiteral(t) + ")";
                return true;
            }
            if (t == EdsExprType::String) return Wrap("(rtrim(", k[0], ", ' ') = '')");
            out_.text += "(";
            if (!Write(*k[0])) return false;
            out_.text += std::string(" = ") + EmptyLiteral(t) + ")";
            return true;
        }
        case EdsExprFunc::Dtos: {
            EdsSqlPredicate inner;
            SqlWriter w(columns_, settings_, inner);
            if (!w.Write(*k[0])) return false;
            std::string date = k[0]->type == EdsExprType::TimeStamp ? "substr(" + inner.text + ", 1, 10)" : inner.text;
            out_.text += "(CASE WHEN " + inner.text + " = '' THEN '        ' ELSE replace(" + date + ", '-', '') END)";
            for (int i = 0; i < 2; ++i) out_.binds.insert(out_.binds.end(), inner.binds.begin(), inner.binds.end());
            return true;
        }
        case EdsExprFunc::Left:
            out_.text += "substr(";
            if (!Write(*k[0])) return false;
            out_.text += ", 1, ";
            if (!CountArgument(*k[1], 0)) return false;
            out_.text += ")";
            return true;
        case EdsExprFunc::Substr:
            out_.text += "substr(";
            if (!Write(*k[0])) return false;
            out_.text += ", ";
            if (!CountArgument(*k[1], 1)) return false;
            out_.text += ", ";
            if (k.size() > 2) {
                if (!CountArgument(*k[2], 0)) return false;
            } else {
                out_.text += "1000000000";
            }
            out_.text += ")";
            return true;
        case EdsExprFunc::Iif:
            out_.text += "(CASE WHEN ";
            if (!Write(*k[0])) return false;
            out_.text += " THEN ";
            if (!Write(*k[1])) return false;
            out_.text += " ELSE ";
            if (!Write(*k[2])) return false;
            out_.text += " END)";
            return true;
        case EdsExprFunc::Str:
            out_.text += "eds_str(";
            if (!Write(*k[0])) return false;
            for (std::size_t i = 1; i < 3; ++i) {
                out_.text += ", ";
                if (i < k.size()) {
                    if (!Write(*k[i])) return false;
                } else {
                    out_.text += i == 1 ? "10" : "0";
                }
            }
            out_.text += ")";
            return true;
        case EdsExprFunc::Chr: return Wrap("eds_chr(", k[0], ")");
        case EdsExprFunc::Contains: return Fill("eds_contains({0}, {1})", {k[0].get(), k[1].get()});
        case EdsExprFunc::Ctod:
            if (!Wrap("eds_ctod(", k[0], ", ?, ?)")) return false;
            out_.binds.push_back(settings_.dateFormat);
            out_.binds.push_back(static_cast<std::int64_t>(settings_.epoch));
            return true;
        case EdsExprFunc::Ctot:
        case EdsExprFunc::Ctots: return false;  // times of day stay with the evaluator
        }
        return false;
    }

    const std::vector<EdsExprColumn>& columns_;
    const EdsExprSettings& settings_;
    EdsSqlPredicate& out_;
};

}  // namespace

bool EdsExprNodeToSql(const EdsExprNode& node, const std::vector<EdsExprColumn>& columns,
                      const EdsExprSettings& settings, EdsSqlPredicate& out) {
    EdsSqlPredicate p;
    SqlWriter w(columns, settings, p);
    if (!w.Write(node)) return false;
    // SQLite's parser stack holds about 40 nested calls; deeper predicates,
    // which no caller writes by hand, are evaluated here instead.
    int depth = 0, deepest = 0;
    for (char c : p.text) {
        if (c == '(') deepest = std::max(deepest, ++depth);
        if (c == ')') --depth;
    }
    if (deepest > kMaxSqlNesting || p.text.size() > kMaxSqlText) return false;
    out = std::move(p);
    return true;
}

namespace {

std::string_view TextArg(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return std::string_view(p ? p : "", static_cast<std::size_t>(sqlite3_value_bytes(v)));
}

void ResultText(sqlite3_context* context, const std::string& text) {
    sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Register(sqlite3* db, const char* name, int args, void (*fn)(sqlite3_context*, int, sqlite3_value**)) {
    sqlite3_create_function_v2(db, name, args, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr, fn,
                               nullptr, nullptr, nullptr);
}

}  // namespace

void EdsExprRegisterSqlFunctions(sqlite3* db) {
    Register(db, "eds_str", 3, [](sqlite3_context* c, int, sqlite3_value** a) {
        ResultText(c, edsexpr::StrText(sqlite3_value_double(a[0]), sqlite3_value_double(a[1]), sqlite3_value_double(a[2])));
    });
    Register(db, "eds_chr", 1, [](sqlite3_context* c, int, sqlite3_value** a) {
        ResultText(c, edsexpr::ChrText(sqlite3_value_double(a[0])));
    });
    Register(db, "eds_contains", 2, [](sqlite3_context* c, int, sqlite3_value** a) {
        // Both texts are read before either pointer is used: a conversion may move the first.
        const std::string field(TextArg(a[0]));
        sqlite3_result_int(c, edsexpr::ContainsWords(field, TextArg(a[1])) ? 1 : 0);
    });
    Register(db, "eds_ctod", 3, [](sqlite3_context* c, int, sqlite3_value** a) {
        const std::string text = edsexpr::RTrim(TextArg(a[0]));
        const std::string format(TextArg(a[1]));
        ResultText(c, edsexpr::StoredDate(
                          EdsParseDateText(text, format, static_cast<int>(sqlite3_value_int64(a[2])))));
    });
}
