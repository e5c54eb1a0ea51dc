#pragma once
// What the engine needs to know about an SQL text before SQLite sees it: its
// parameters, the names that may be tables, and whether it is a plain SELECT
// over one table (whose cursor can then keep record numbers only).

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

// Every name in the text that could be a table, unique, in order of appearance.
std::vector<std::string> SqlNameCandidates(std::string_view sql);

// A SELECT over one table without grouping, aggregates or set operations:
// each result row is one row of that table.
struct SingleTableSelect {
    std::string table;       // as written
    std::string qualifier;   // alias, or the table as written
    std::string rowidQuery;  // SELECT qualifier.rowid FROM ... (the rest of the text)
};
// Answers false when the text is anything else.
bool AnalyseSingleTableSelect(std::string_view sql, SingleTableSelect& out);

}  // namespace eds
