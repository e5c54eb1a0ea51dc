#include "app/log/U_LogRules.h"

#include "platform/rtl/SysUtils.h"

#include <cmath>
#include <cstdint>

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
    const auto q = [](const std::string& text) { return rtl::QuotedStr(text); };
    std::string sql = "update Log37 set POSTAGE = " + q(after.Postage) + ", CERTIFIED = " + q(after.Certified) +
                      ", RETURN = " + q(after.Return) + ", RESTRICTED = " + q(after.Restricted) + ", " +
                      (after.WishRest ? "WISHREST = True" : "WISHREST = False") + ", COMMENT = " +
                      q(after.Comment) + ", RESULT = " + q(after.Result);
    if (FeeCents(before) != FeeCents(after)) sql += ", TOTAL = " + q(AdjustedTotal(oldTotal, before, after));
    return sql + " where LID = " + std::string(lid);
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
