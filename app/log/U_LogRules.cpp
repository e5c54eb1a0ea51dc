#include "app/log/U_LogRules.h"

#include "app/data/RowEdit.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr const char* kToFields[] = {"ToAddress1", "ToAddress2", "ToAddress3", "ToAddress4",
                                     "ToCity",     "ToState",    "ToZip"};

std::int64_t Cents(std::string_view text)
{
    double amount = 0;
    if (!rtl::TryStrToFloat(rtl::Trim(text), amount) || !std::isfinite(amount)) return 0;
    return std::llround(amount * 100.0);
}

std::int64_t FeeCents(const TMailerEdit& edit)
{
    return Cents(edit.Postage) + Cents(edit.Certified) + Cents(edit.Return) + Cents(edit.Restricted);
}

std::string MoneyOfCents(std::int64_t cents)
{
    const std::int64_t whole = cents / 100;
    const std::int64_t rest = std::llabs(cents % 100);
    std::string text = (cents < 0 && whole == 0 ? "-" : "") + std::to_string(whole) + "." +
                       (rest < 10 ? "0" : "") + std::to_string(rest);
    return text;
}

// A text literal of the expression language, which has no escape: runs
// without an apostrophe in apostrophes, each apostrophe in double quotes,
// joined by "+".
std::string ExpressionLiteral(std::string_view text)
{
    if (text.empty()) return "''";
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        if (!out.empty()) out += " + ";
        if (text[at] == '\'') {
            out += "\"'\"";
            ++at;
            continue;
        }
        const std::size_t end = std::min(text.find('\'', at), text.size());
        out += "'" + std::string(text.substr(at, end - at)) + "'";
        at = end;
    }
    return out;
}

}  // namespace

std::string LogSelectSql(const std::string& where)
{
    return "select * from Log37" + (where.empty() ? std::string() : " where " + where) + " order by DATETIME";
}

std::string LogDeleteAllSql(const std::string& where)
{
    return "delete from Log37" + (where.empty() ? std::string() : " where " + where);
}

std::string AdjustedTotal(std::string_view oldTotal, const TMailerEdit& before, const TMailerEdit& after)
{
    return MoneyOfCents(Cents(oldTotal) + FeeCents(after) - FeeCents(before));
}

std::optional<std::string> LogUpdateSql(const TMailerEdit& before, const TMailerEdit& after,
                                        std::string_view oldTotal, std::string_view lid)
{
    if (before == after) return std::nullopt;
    // Only what the user changed is written, and only while the row still
    // holds what the dialog showed there: a receipt or a fee that another
    // station stored meanwhile is never put back. The fees go together (the
    // total is their sum), so a fee edit needs all four, and a total that
    // moves needs the total, as read.
    const std::vector<TColumnEdit> fees{{"POSTAGE", before.Postage, after.Postage},
                                        {"CERTIFIED", before.Certified, after.Certified},
                                        {"RETURN", before.Return, after.Return},
                                        {"RESTRICTED", before.Restricted, after.Restricted}};
    const bool feesChanged =
        std::any_of(fees.begin(), fees.end(), [](const TColumnEdit& c) { return c.Read != c.Written; });
    const bool totalMoves = FeeCents(before) != FeeCents(after);
    std::string set, still;
    const auto write = [&set](const std::string& assignment) { set += (set.empty() ? "" : ", ") + assignment; };
    for (const TColumnEdit& fee : fees) {
        if (fee.Read != fee.Written) write(fee.Column + " = " + rtl::QuotedStr(fee.Written));
        if (feesChanged) still += " and " + StillReadsSql(fee.Column, fee.Read);
    }
    const auto flag = [](bool on) { return on ? std::string("True") : std::string("False"); };
    if (before.WishRest != after.WishRest) {
        write("WISHREST = " + flag(after.WishRest));
        still += " and coalesce(WISHREST, False) = " + flag(before.WishRest);
    }
    for (const TColumnEdit& text : {TColumnEdit{"COMMENT", before.Comment, after.Comment},
                                    TColumnEdit{"RESULT", before.Result, after.Result}}) {
        if (text.Read == text.Written) continue;
        write(text.Column + " = " + rtl::QuotedStr(text.Written));
        still += " and " + StillReadsSql(text.Column, text.Read);
    }
    if (totalMoves) {
        write("TOTAL = " + rtl::QuotedStr(AdjustedTotal(oldTotal, before, after)));
        still += " and " + StillReadsSql("TOTAL", oldTotal);
    }
    return "update Log37 set " + set + " where LID = " + std::string(lid) + still;
}

std::string MailerNumberExpression(const TMailerNumberKey& key)
{
    std::string out;
    for (const std::string& form : key.Stored)
        out += (out.empty() ? "" : " .OR. ") + std::string("MailerNum == ") + ExpressionLiteral(form);
    return out;
}

std::string AddresseeNameExpression(std::string_view name)
{
    const std::string literal = ExpressionLiteral(name);
    std::string out;
    for (const char* field : kToFields) out += (out.empty() ? "(" : " .OR. (") + literal + " $ " + field + ")";
    return out;
}
