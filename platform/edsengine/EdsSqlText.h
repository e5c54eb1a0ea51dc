#pragma once
// What the engine needs to know about an SQL text before SQLite sees it: its
// parameters, the tables it uses, and whether it is a plain SELECT over one
// table (whose cursor can then keep record numbers only).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace eds {

struct SqlToken {
    enum class Kind { Word, QuotedName, String, Number, Param, Punct };
    Kind kind = Kind::Punct;
    std::size_t begin = 0, end = 0;  // byte span in the text
    std::string value;               // Word/QuotedName: the name; Param: the name after ':'; else the text
};

// Splits SQL into tokens, dropping blanks and comments. Never fails: anything it
// does not know becomes a one-character Punct token, and SQLite judges the rest.
std::vector<SqlToken> TokenizeSql(std::string_view sql);

// The text with every ":name" marker replaced by "?n", n counting markers from 1,
// and the names in order of appearance (a name may repeat).
struct SqlParams {
    std::string text;
    std::vector<std::string> names;
};
SqlParams RewriteSqlParams(std::string_view sql);

// The names the text uses as tables, unique without regard to case, in order of
// appearance: the sources of FROM and JOIN at every depth (subqueries, lists,
// parenthesised joins), "x IN table", the target of INSERT, REPLACE, UPDATE and
// DELETE, the table of CREATE INDEX, DROP TABLE and ALTER TABLE, and the argument
// of a PRAGMA such as table_info(name). A column,
// an alias or a table-valued function never counts, nor a name qualified by a
// schema (the folder's tables are reached unqualified).
std::vector<std::string> SqlTableNames(std::string_view sql);

// A SELECT over one table without grouping, aggregates or set operations:
// each result row is one row of that table.
struct SingleTableSelect {
    std::string table;       // as written
    std::string qualifier;   // alias, or the table as written
    std::string rowidQuery;  // SELECT qualifier.<recno> FROM ... (the rest of the text)
};
// Answers false when the text is anything else. `recno` is how SQL names the
// table's record number.
bool AnalyseSingleTableSelect(std::string_view sql, SingleTableSelect& out, std::string_view recno = "rowid");

}  // namespace eds
