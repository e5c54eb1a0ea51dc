#pragma once
// The engine's expression language: filters, AOFs, index keys and single
// evaluations. An expression is compiled once against the columns of a table,
// then either handed to SQLite as a predicate (when every part of it has an
// SQL form that means exactly the same) or evaluated here, row by row.
//
// Values follow the table's storage, where an empty field is SQL NULL: inside
// an expression a NULL reads as the empty value of its type ('' for text, 0 for
// numbers, .F. for logicals, the blank date). The SQL form keeps that rule, so
// both ways of running an expression select the same rows.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3_stmt;

// Codes of the expression errors (the engine's code space leaves these free).
inline constexpr std::uint32_t kEdsExprSyntaxError = 7100;   // malformed text
inline constexpr std::uint32_t kEdsExprUnknownName = 7101;   // no such field or function
inline constexpr std::uint32_t kEdsExprTypeError = 7102;     // operands or arguments of the wrong type

enum class EdsExprType { Logical, Number, String, Date, Time, TimeStamp };

// One value inside an expression.
// Date: the Julian day number (1 January of year 1 is 1721426), 0 for the blank date.
// TimeStamp: Julian day * 86400000 + milliseconds of the day, 0 for blank.
// Time: milliseconds of the day, -1 for blank.
struct EdsExprValue {
    EdsExprType type = EdsExprType::Logical;
    bool logical = false;
    double number = 0;
    std::string text;
    std::int64_t moment = 0;

    static EdsExprValue Logical(bool v);
    static EdsExprValue Number(double v);
    static EdsExprValue String(std::string v);
    static EdsExprValue Date(std::int64_t julian);
    static EdsExprValue Time(std::int64_t ms);
    static EdsExprValue TimeStamp(std::int64_t moment);
    static EdsExprValue Empty(EdsExprType type);
};

// A column an expression may name. `type` is the engine field type number
// (1 logical, 2 numeric, 3 date, 4 character, ... 20 case-insensitive character).
struct EdsExprColumn {
    std::string name;
    int type = 4;
    int length = 0;
    int decimals = 0;
};

// What a compiled expression depends on besides its text.
struct EdsExprSettings {
    bool exact = false;                   // string '=' compares whole texts (else: left begins with right)
    std::string dateFormat = "MM/DD/CCYY";  // how CTOD and CTOTS read dates
    int epoch = 1950;                     // first year of the century window for two-digit years
};

struct EdsExprError {
    std::uint32_t code = 0;
    std::size_t position = 0;  // 1-based character position in the text; 0 when not tied to one
    std::string text;          // the whole message, position included
};

// Gives the stored values of the current row to the evaluator.
class EdsExprRow {
public:
    virtual ~EdsExprRow() = default;
    // The value of column `index` (position in the compile-time column list),
    // already converted with EdsExprValueFromStored or an equivalent.
    virtual EdsExprValue Field(std::size_t index) const = 0;
};

// A value bound to a '?' of an SQL predicate.
using EdsSqlBind = std::variant<std::monostate, std::int64_t, double, std::string>;

struct EdsSqlPredicate {
    std::string text;               // an SQL boolean expression, never NULL-valued
    std::vector<EdsSqlBind> binds;  // one per '?', in order
};

struct EdsExprNode;

class EdsExpr {
public:
    ~EdsExpr();
    EdsExpr(const EdsExpr&) = delete;
    EdsExpr& operator=(const EdsExpr&) = delete;

    // Compiles `text`. On failure answers nullptr and fills `error`. Never throws
    // for anything in the text.
    static std::unique_ptr<EdsExpr> Compile(std::string_view text, const std::vector<EdsExprColumn>& columns,
                                            const EdsExprSettings& settings, EdsExprError& error);

    EdsExprType ResultType() const;
    const std::string& Text() const { return text_; }

    // The whole expression as an SQL predicate; false when some part of it has
    // no SQL form with the same meaning (then Evaluate must run).
    bool ToSql(EdsSqlPredicate& out) const;
    // The conjunction of those top-level AND terms that do have an SQL form, for
    // narrowing the rows before Evaluate checks the whole expression. False when
    // no term has one. `complete` tells whether the SQL form is the whole expression.
    bool ToSqlPart(EdsSqlPredicate& out, bool& complete) const;

    EdsExprValue Evaluate(const EdsExprRow& row) const;
    // For logical expressions: whether the row passes.
    bool IsTrue(const EdsExprRow& row) const;

    // Indexes of the columns the expression reads.
    const std::vector<std::size_t>& ColumnsUsed() const { return columnsUsed_; }

private:
    EdsExpr() = default;
    std::string text_;
    std::vector<EdsExprColumn> columns_;
    EdsExprSettings settings_;
    std::unique_ptr<EdsExprNode> root_;
    std::vector<std::size_t> columnsUsed_;
};

// The expression type of an engine field type; false for types an expression
// cannot read (binary and raw columns).
bool EdsExprTypeOfField(int fieldType, EdsExprType& out);

// Converts a column of the current row of `stmt` as the engine stores it
// (text without trailing blanks, Logical 0/1, Date 'YYYY-MM-DD', TimeStamp
// 'YYYY-MM-DD HH:MM:SS.mmm', numbers natural, NULL for empty).
EdsExprValue EdsExprValueFromStored(const EdsExprColumn& column, sqlite3_stmt* stmt, int index);

// Date helpers shared with the storage side.
std::int64_t EdsJulianFromYmd(int year, int month, int day);
void EdsYmdFromJulian(std::int64_t julian, int& year, int& month, int& day);
// Reads a date as `dateFormat` gives it; four-digit years are taken as they are
// whatever the format says. 0 when the text is no valid date.
std::int64_t EdsParseDateText(std::string_view text, std::string_view dateFormat, int epoch);
