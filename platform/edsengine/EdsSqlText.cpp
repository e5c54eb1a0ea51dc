#include "platform/edsengine/EdsSqlText.h"

#include <algorithm>

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

std::vector<std::string> SqlNameCandidates(std::string_view sql) {
    std::vector<std::string> names, upper;
    for (const SqlToken& t : TokenizeSql(sql)) {
        if (t.kind != SqlToken::Kind::Word && t.kind != SqlToken::Kind::QuotedName) continue;
        std::string u = rtl::UpperCase(t.value);
        if (std::find(upper.begin(), upper.end(), u) != upper.end()) continue;
        upper.push_back(u);
        names.push_back(t.value);
    }
    return names;
}

bool AnalyseSingleTableSelect(std::string_view sql, SingleTableSelect& out) {
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
    out.rowidQuery = "SELECT " + quoted + ".rowid " + std::string(sql.substr(toks[fromAt].begin, end - toks[fromAt].begin));
    return true;
}

}  // namespace eds
