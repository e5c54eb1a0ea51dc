#include "platform/edsengine/EdsSqlText.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "platform/rtl/SysUtils.h"

namespace eds {
namespace {

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::vector<SqlToken> TokenizeSql(std::string_view s) {
    std::vector<SqlToken> out;
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            std::size_t close = s.find("*/", i + 2);
            i = close == std::string_view::npos ? s.size() : close + 2;
            continue;
        }
        SqlToken t;
        t.begin = i;
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            char close = c == '[' ? ']' : c;
            std::string value;
            std::size_t j = i + 1;
            for (; j < s.size(); ++j) {
                if (s[j] == close) {
                    if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
                        value += close;
                        ++j;
                        continue;
                    }
                    break;
                }
                value += s[j];
            }
            i = std::min(j + 1, s.size());
            t.kind = c == '\'' ? SqlToken::Kind::String : SqlToken::Kind::QuotedName;
            t.value = std::move(value);
        } else if (IsNameStart(c)) {
            std::size_t j = i;
            while (j < s.size() && IsNameChar(s[j])) ++j;
            t.kind = SqlToken::Kind::Word;
            t.value = std::string(s.substr(i, j - i));
            i = j;
        } else if (IsDigit(c) || (c == '.' && i + 1 < s.size() && IsDigit(s[i + 1]))) {
            std::size_t j = i;
            while (j < s.size() && (IsNameChar(s[j]) || s[j] == '.' ||
                                    ((s[j] == '+' || s[j] == '-') && (s[j - 1] == 'e' || s[j - 1] == 'E'))))
                ++j;
            t.kind = SqlToken::Kind::Number;
            t.value = std::string(s.substr(i, j - i));
            i = j;
        } else if (c == ':' && i + 1 < s.size() && IsNameStart(s[i + 1]) &&
                   !(i > 0 && s[i - 1] == ':')) {
            std::size_t j = i + 1;
            while (j < s.size() && IsNameChar(s[j])) ++j;
            t.kind = SqlToken::Kind::Param;
            t.value = std::string(s.substr(i + 1, j - i - 1));
            i = j;
        } else if ((c == '$' || c == '@' || c == '#') && i + 1 < s.size() && IsNameChar(s[i + 1])) {
            // SQLite's other parameter forms are one token, a "::" inside the name and
            // a "(...)" after it included: "$a(x[y)" hides no bracket-quoted name.
            std::size_t j = i + 1;
            while (j < s.size()) {
                if (IsNameChar(s[j])) {
                    ++j;
                } else if (s[j] == ':' && j + 1 < s.size() && s[j + 1] == ':') {
                    j += 2;
                } else if (s[j] == '(') {
                    while (++j < s.size() && s[j] != ')' && s[j] != ' ' && (s[j] < '\t' || s[j] > '\r')) {
                    }
                    if (j < s.size() && s[j] == ')') ++j;
                    break;
                } else {
                    break;
                }
            }
            t.kind = SqlToken::Kind::Punct;
            t.value = std::string(s.substr(i, j - i));
            i = j;
        } else if (c == '?') {
            // A numbered parameter: "?2from" is "?2" and "from", as SQLite reads it.
            std::size_t j = i + 1;
            while (j < s.size() && IsDigit(s[j])) ++j;
            t.kind = SqlToken::Kind::Punct;
            t.value = std::string(s.substr(i, j - i));
            i = j;
        } else {
            static const char* const kTwo[] = {"<=", ">=", "<>", "!=", "==", "||", "<<", ">>", "::"};
            std::size_t len = 1;
            for (const char* two : kTwo)
                if (s.substr(i, 2) == two) len = 2;
            t.kind = SqlToken::Kind::Punct;
            t.value = std::string(s.substr(i, len));
            i += len;
        }
        t.end = i;
        out.push_back(std::move(t));
    }
    return out;
}

SqlParams RewriteSqlParams(std::string_view sql) {
    SqlParams p;
    std::size_t copied = 0;
    for (const SqlToken& t : TokenizeSql(sql)) {
        if (t.kind != SqlToken::Kind::Param) continue;
        p.text.append(sql.substr(copied, t.begin - copied));
        p.names.push_back(t.value);
        p.text += "?" + std::to_string(p.names.size());
        copied = t.end;
    }
    p.text.append(sql.substr(copied));
    return p;
}

namespace {

// Walks the tokens once; every keyword that puts a table after it hands the
// position on. Statements nest by parentheses, which bound every clause.
class TableNames {
public:
    explicit TableNames(std::string_view sql) : toks_(TokenizeSql(sql)) {
        for (const SqlToken& t : toks_) words_.push_back(t.kind == SqlToken::Kind::Word ? rtl::UpperCase(t.value) : "");
    }

    std::vector<std::string> Find() {
        for (std::size_t i = 0; i < toks_.size(); ++i) {
            if (Word(i, "FROM") && !(i >= 2 && Word(i - 1, "DISTINCT") && (Word(i - 2, "IS") || Word(i - 2, "NOT"))))
                SourceList(i + 1, 0);
            else if (Word(i, "JOIN"))
                SourceList(i + 1, 0);
            else if (Word(i, "IN") && !Punct(i + 2, "("))
                Table(i + 1);
            else if (Word(i, "INTO"))
                Table(i + 1);
            else if (Word(i, "UPDATE") && !(i >= 1 && Word(i - 1, "ON")))
                Table(Word(i + 1, "OR") ? i + 3 : i + 1);
            else if (Word(i, "TABLE") && i >= 1 && (Word(i - 1, "DROP") || Word(i - 1, "ALTER")))
                Table(Word(i + 1, "IF") && Word(i + 2, "EXISTS") ? i + 3 : i + 1);
            else if (Word(i, "INDEX") && i >= 1 && (Word(i - 1, "CREATE") || Word(i - 1, "UNIQUE")))
                IndexedTable(i + 1);
            else if (Word(i, "PRAGMA") && (Punct(i + 2, "(") || Punct(i + 2, "=")))
                Table(i + 3);  // table_info(name) and its kind
        }
        return std::move(names_);
    }

private:
    // Deeper nesting than this is refused by SQLite's parser anyway.
    static constexpr int kMaxDepth = 100;

    bool Word(std::size_t i, const char* word) const { return i < words_.size() && words_[i] == word; }
    bool Punct(std::size_t i, const char* p) const {
        return i < toks_.size() && toks_[i].kind == SqlToken::Kind::Punct && toks_[i].value == p;
    }
    bool IsName(std::size_t i) const {
        // SQLite takes a quoted string where only a name may stand as that name.
        return i < toks_.size() && (toks_[i].kind == SqlToken::Kind::Word || toks_[i].kind == SqlToken::Kind::QuotedName ||
                                    toks_[i].kind == SqlToken::Kind::String);
    }
    bool EndsSources(std::size_t i) const {
        static const char* const kWords[] = {"WHERE", "GROUP",     "ORDER",     "HAVING", "LIMIT",  "WINDOW",
                                             "UNION", "EXCEPT",    "INTERSECT", "RETURNING", "SET", "VALUES",
                                             "SELECT", "DO",       "FROM",      "JOIN"};
        return std::any_of(std::begin(kWords), std::end(kWords), [&](const char* w) { return Word(i, w); });
    }

    // A plain name at i ("name." is a schema).
    void Table(std::size_t i) {
        if (!IsName(i) || Punct(i + 1, ".")) return;
        static const char* const kNotTables[] = {"SET", "OF", "ON", "SELECT", "WITH", "VALUES"};
        for (const char* w : kNotTables)
            if (Word(i, w)) return;
        if (seen_.insert(rtl::UpperCase(toks_[i].value)).second) names_.push_back(toks_[i].value);
    }

    // One source: a table, a table-valued function, a subquery (whose own FROM
    // the walk meets) or a parenthesised list of sources.
    void Source(std::size_t i, int depth) {
        if (!Punct(i, "(")) {
            if (!Punct(i + 1, "(")) Table(i);
            return;
        }
        if (Word(i + 1, "SELECT") || Word(i + 1, "WITH") || Word(i + 1, "VALUES") || depth >= kMaxDepth) return;
        SourceList(i + 1, depth + 1);
    }

    // The sources from i to the end of the clause: those after each comma at this
    // depth. A JOIN or FROM further on starts a list of its own.
    void SourceList(std::size_t i, int depth) {
        Source(i, depth);
        int nested = 0;
        for (std::size_t j = i; j < toks_.size(); ++j) {
            if (Punct(j, "(")) {
                ++nested;
            } else if (Punct(j, ")")) {
                if (nested-- == 0) return;
            } else if (nested == 0) {
                if (Punct(j, ";") || (j > i && EndsSources(j))) return;
                if (Punct(j, ",")) Source(j + 1, depth);
            }
        }
    }

    // CREATE [UNIQUE] INDEX [IF NOT EXISTS] [schema.]name ON table
    void IndexedTable(std::size_t i) {
        if (Word(i, "IF") && Word(i + 1, "NOT") && Word(i + 2, "EXISTS")) i += 3;
        if (Punct(i + 1, ".")) i += 2;
        if (IsName(i) && Word(i + 1, "ON")) Table(i + 2);
    }

    std::vector<SqlToken> toks_;
    std::vector<std::string> words_;  // each word token in upper case; "" for the others
    std::vector<std::string> names_;
    std::set<std::string> seen_;
};

}  // namespace

std::vector<std::string> SqlTableNames(std::string_view sql) { return TableNames(sql).Find(); }

bool AnalyseSingleTableSelect(std::string_view sql, SingleTableSelect& out, std::string_view recno) {
    std::vector<SqlToken> toks = TokenizeSql(sql);
    while (!toks.empty() && toks.back().kind == SqlToken::Kind::Punct && toks.back().value == ";") toks.pop_back();
    auto is = [&](std::size_t i, const char* word) {
        return i < toks.size() && toks[i].kind == SqlToken::Kind::Word && rtl::UpperCase(toks[i].value) == word;
    };
    auto isPunct = [&](std::size_t i, const char* p) {
        return i < toks.size() && toks[i].kind == SqlToken::Kind::Punct && toks[i].value == p;
    };
    if (!is(0, "SELECT")) return false;
    std::size_t i = 1;
    if (is(i, "ALL")) ++i;
    if (is(i, "DISTINCT")) return false;
    std::size_t listBegin = i;
    int depth = 0;
    for (; i < toks.size(); ++i) {
        if (isPunct(i, "(")) ++depth;
        else if (isPunct(i, ")")) --depth;
        else if (depth == 0 && is(i, "FROM")) break;
        if (toks[i].kind == SqlToken::Kind::Param) return false;
        static const char* const kAggregates[] = {"COUNT", "MAX", "MIN", "SUM", "AVG", "TOTAL", "GROUP_CONCAT"};
        for (const char* a : kAggregates)
            if (is(i, a) && isPunct(i + 1, "(")) return false;
        if (is(i, "SELECT")) return false;  // a subquery in the select list
    }
    if (i >= toks.size() || i == listBegin) return false;
    std::size_t fromAt = i++;
    if (i >= toks.size() || (toks[i].kind != SqlToken::Kind::Word && toks[i].kind != SqlToken::Kind::QuotedName))
        return false;
    if (isPunct(i + 1, ".")) return false;  // schema-qualified: not one of ours
    std::size_t tableAt = i++;
    static const char* const kClauseWords[] = {"WHERE", "ORDER", "GROUP", "HAVING", "LIMIT", "UNION", "EXCEPT",
                                               "INTERSECT", "JOIN", "INNER", "LEFT", "RIGHT", "CROSS", "NATURAL",
                                               "FULL", "OUTER", "WINDOW", "INDEXED", "NOT", "ON", "USING"};
    auto isClauseWord = [&](std::size_t k) {
        for (const char* w : kClauseWords)
            if (is(k, w)) return true;
        return false;
    };
    std::string qualifier = toks[tableAt].value;
    if (is(i, "AS")) ++i;
    if (i < toks.size() && (toks[i].kind == SqlToken::Kind::Word || toks[i].kind == SqlToken::Kind::QuotedName) &&
        !isClauseWord(i)) {
        qualifier = toks[i].value;
        ++i;
    }
    // The rest may filter and order, nothing else.
    depth = 0;
    for (std::size_t k = i; k < toks.size(); ++k) {
        if (isPunct(k, "(")) ++depth;
        else if (isPunct(k, ")")) --depth;
        if (depth != 0) continue;
        if (is(k, "GROUP") || is(k, "HAVING") || is(k, "LIMIT") || is(k, "UNION") || is(k, "EXCEPT") ||
            is(k, "INTERSECT") || is(k, "JOIN") || is(k, "WINDOW") || isPunct(k, ";"))
            return false;
    }
    if (i < toks.size() && !is(i, "WHERE") && !is(i, "ORDER")) return false;

    std::string quoted = "\"";
    for (char c : qualifier) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += "\"";
    std::size_t end = toks.empty() ? sql.size() : toks.back().end;
    out.table = toks[tableAt].value;
    out.qualifier = qualifier;
    out.rowidQuery = "SELECT " + quoted + "." + std::string(recno) + " " + std::string(sql.substr(toks[fromAt].begin, end - toks[fromAt].begin));
    return true;
}

}  // namespace eds
