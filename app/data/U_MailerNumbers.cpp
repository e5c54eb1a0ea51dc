#include "app/data/U_MailerNumbers.h"

#include "platform/rtl/SysUtils.h"

#include <algorithm>

namespace {

std::string WithoutBlanks(std::string_view entry)
{
    std::string digits;
    for (const char c : entry)
        if (c != ' ' && c != '\t') digits += c;
    return digits;
}

// The digits in groups of `size` joined by single blanks; the last group takes the rest.
std::string Grouped(std::string_view digits, std::size_t size)
{
    std::string out;
    for (std::size_t at = 0; at < digits.size(); at += size) {
        if (!out.empty()) out += ' ';
        out += digits.substr(at, size);
    }
    return out;
}

}  // namespace

std::optional<TMailerNumberKey> MailerNumberKey(std::string_view entry, TMailerNumberProblem* problem)
{
    const auto refuse = [problem](TMailerNumberProblem why) {
        if (problem != nullptr) *problem = why;
        return std::nullopt;
    };
    std::string digits = WithoutBlanks(entry);
    if (digits.size() != 20 && digits.size() != 22 && digits.size() != 30) return refuse(TMailerNumberProblem::Length);
    if (!rtl::IsDigits(digits)) return refuse(TMailerNumberProblem::NotDigits);
    if (digits.size() == 30) {
        // Barcode data: the application identifier of a ship-to ZIP, then the number.
        if (digits.compare(0, 3, "420") != 0) return refuse(TMailerNumberProblem::NotDigits);
        digits = digits.substr(8);
    }
    if (problem != nullptr) *problem = TMailerNumberProblem::None;
    TMailerNumberKey key;
    key.Display = Grouped(digits, 4);
    key.Stored = {key.Display, digits};
    return key;
}

bool MailerNumberComplete(std::string_view entry)
{
    const std::size_t length = WithoutBlanks(entry).size();
    return length == 20 || length == 22 || length == 30;
}

bool MatchesMailerNumber(const TMailerNumberKey& key, std::string_view mailerNum)
{
    const std::string value = rtl::TrimRight(mailerNum);
    return std::find(key.Stored.begin(), key.Stored.end(), value) != key.Stored.end();
}

std::string MailerNumberCondition(const TMailerNumberKey& key)
{
    std::string list;
    for (const std::string& form : key.Stored) list += (list.empty() ? "" : ", ") + rtl::QuotedStr(form);
    return "MailerNum in (" + list + ")";
}
