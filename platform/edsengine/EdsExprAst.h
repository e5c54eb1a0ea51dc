#pragma once
// Internal: the checked syntax tree of a compiled expression and the value
// routines that the evaluator and the constant folder share.

#include "platform/edsengine/EdsExpr.h"

struct sqlite3;

#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class EdsExprOp {
    Const, Column,
    Not, And, Or,
    Neg, Add, Sub, Mul, Div,
    Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Contained,
    Call,
};

enum class EdsExprFunc { Upper, Empty, Ctod, Ctot, Ctots, Chr, Contains, Dtos, Str, Substr, Trim, Left, Iif };

struct EdsExprNode {
    EdsExprOp op = EdsExprOp::Const;
    EdsExprType type = EdsExprType::Logical;
    std::size_t pos = 0;          // 1-based position of the node's token
    EdsExprValue value;           // Const
    std::size_t column = 0;       // Column: index into the column list
    EdsExprFunc func = EdsExprFunc::Upper;
    bool exact = false;           // Eq/Ne on strings: the exact setting at compile time
    int depth = 1;                // height of the subtree (bounded, so recursion is)
    std::vector<std::unique_ptr<EdsExprNode>> kids;
};

// Parses and checks `text`; nullptr and `error` on failure.
std::unique_ptr<EdsExprNode> EdsExprParse(std::string_view text, const std::vector<EdsExprColumn>& columns,
                                          const EdsExprSettings& settings, EdsExprError& error);

// Evaluates a node; `row` may be null for constant subtrees.
EdsExprValue EdsExprEvalNode(const EdsExprNode& node, const EdsExprRow* row, const EdsExprSettings& settings);

// Applies a comparison node's operator to two values of one type.
bool EdsExprCompare(const EdsExprNode& node, const EdsExprValue& a, const EdsExprValue& b);

// Compiles a node to SQL (appending to `out`); false when it has no faithful SQL form.
// CTOD reads texts by `settings`.
bool EdsExprNodeToSql(const EdsExprNode& node, const std::vector<EdsExprColumn>& columns,
                      const EdsExprSettings& settings, EdsSqlPredicate& out);
// Makes known on `db` the functions that the SQL of STR, CHR, CONTAINS and CTOD
// calls: the evaluator's own routines, so SQLite answers byte for byte as it does.
void EdsExprRegisterSqlFunctions(sqlite3* db);

// Value routines (EdsExprFunctions.cpp).
namespace edsexpr {

std::string RTrim(std::string_view s);
std::size_t Utf8Length(std::string_view s);
// Characters [start, start+count) counted in UTF-8 code points, 0-based.
std::string Utf8Substr(std::string_view s, std::size_t start, std::size_t count);
bool StringEquals(std::string_view left, std::string_view right, bool exact);
int StringCompare(std::string_view left, std::string_view right);  // trailing blanks ignored
// Compares two values of one type: <0, 0, >0.
int CompareValues(const EdsExprValue& a, const EdsExprValue& b);
bool IsEmptyValue(const EdsExprValue& v);

std::string FormatStr(double value, int length, int decimals);
// STR's arguments as the evaluator takes them: clamped, NaN as the lower bound.
std::string StrText(double value, double length, double decimals);
std::string ChrText(double code);
std::int64_t ParseTimeText(std::string_view text, bool& ok);  // ms of the day
std::int64_t ParseTimeStampText(std::string_view text, const EdsExprSettings& settings);
bool ContainsWords(std::string_view field, std::string_view condition);
std::string DtosText(std::int64_t julian);

// Storage forms: 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM:SS.mmm'; '' for blank.
std::string StoredDate(std::int64_t julian);
std::string StoredTimeStamp(std::int64_t moment);
std::int64_t DateFromStored(std::string_view text);
std::int64_t TimeStampFromStored(std::string_view text);

inline constexpr std::int64_t kMsPerDay = 86400000;

}  // namespace edsexpr
