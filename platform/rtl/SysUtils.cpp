#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace rtl {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string IntegerError(std::string_view text)
{
    return "'" + std::string(text) + "' is not a valid integer value";
}

}  // namespace

// ---- integers -------------------------------------------------------------

std::string IntToStr(std::int64_t value)
{
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;
    return std::string(buffer, end);
}

bool TryStrToInt64(std::string_view text, std::int64_t& value)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return false;
    // Accumulate negatively so INT64_MIN is reachable.
    std::int64_t result = 0;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return false;
        int digit = c - '0';
        if (result < (kMin + digit) / 10) return false;
        result = result * 10 - digit;
    }
    if (!negative) {
        if (result == kMin) return false;
        result = -result;
    }
    value = result;
    return true;
}

bool TryStrToInt(std::string_view text, int& value)
{
    std::int64_t wide = 0;
    if (!TryStrToInt64(text, wide)) return false;
    if (wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) return false;
    value = static_cast<int>(wide);
    return true;
}

std::int64_t StrToInt64(std::string_view text)
{
    std::int64_t value = 0;
    if (!TryStrToInt64(text, value)) throw EConvertError(IntegerError(text));
    return value;
}

int StrToInt(std::string_view text)
{
    int value = 0;
    if (!TryStrToInt(text, value)) throw EConvertError(IntegerError(text));
    return value;
}

int StrToIntDef(std::string_view text, int fallback)
{
    int value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}

// ---- floating point -------------------------------------------------------

std::string FloatToStr(double value)
{
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";

    // "%.15g": exact rounding to 15 significant digits, trailing zeros gone,
    // exponent form for exponents below -4 and from 15 on.
    char buffer[40];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    (void)ec;
    std::string text(buffer, end);

    // "1.5e+20" -> "1.5E20", "1e-05" -> "1E-5".
    std::size_t e = text.find('e');
    if (e == std::string::npos) return text;
    std::string mantissa = text.substr(0, e);
    std::string_view exponent = std::string_view(text).substr(e + 1);
    bool negative = !exponent.empty() && exponent[0] == '-';
    if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) exponent.remove_prefix(1);
    while (exponent.size() > 1 && exponent[0] == '0') exponent.remove_prefix(1);
    return mantissa + "E" + (negative ? "-" : "") + std::string(exponent);
}

bool TryStrToFloat(std::string_view text, double& value)
{
    std::string trimmed = Trim(text);
    std::string_view body = trimmed;
    if (body.empty()) return false;
    // from_chars rejects a leading '+'; a number may carry one.
    if (body[0] == '+') {
        body.remove_prefix(1);
        if (body.empty() || body[0] == '-' || body[0] == '+') return false;
    }
    double result = 0;
    auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), result, std::chars_format::general);
    if (ec != std::errc() || ptr != body.data() + body.size()) return false;
    if (!std::isfinite(result)) return false;
    value = result;
    return true;
}

double StrToFloat(std::string_view text)
{
    double value = 0;
    if (!TryStrToFloat(text, value))
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    return value;
}

double StrToFloatDef(std::string_view text, double fallback)
{
    double value = 0;
    return TryStrToFloat(text, value) ? value : fallback;
}

// ---- trimming and case ------------------------------------------------------

std::string Trim(std::string_view text)
{
    std::size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return std::string(text.substr(first, last - first));
}

std::string TrimLeft(std::string_view text)
{
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) ++first;
    return std::string(text.substr(first));
}

std::string TrimRight(std::string_view text)
{
    std::size_t last = text.size();
    while (last > 0 && IsBlank(text[last - 1])) --last;
    return std::string(text.substr(0, last));
}

std::string UpperCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result) c = AsciiUpper(c);
    return result;
}

std::string LowerCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result) c = AsciiLower(c);
    return result;
}

int CompareText(std::string_view a, std::string_view b)
{
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(AsciiUpper(a[i]));
        auto cb = static_cast<unsigned char>(AsciiUpper(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareText(a, b) == 0;
}

bool StartsText(std::string_view prefix, std::string_view text)
{
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool EndsText(std::string_view suffix, std::string_view text)
{
    return text.size() >= suffix.size() && SameText(text.substr(text.size() - suffix.size()), suffix);
}

bool ContainsText(std::string_view text, std::string_view part)
{
    return UpperCase(text).find(UpperCase(part)) != std::string::npos;
}

// ---- small text helpers -----------------------------------------------------

std::size_t Pos(std::string_view part, std::string_view text)
{
    if (part.empty()) return 0;
    std::size_t at = text.find(part);
    return at == std::string_view::npos ? 0 : at + 1;
}

std::string StringReplace(std::string_view text, std::string_view from, std::string_view to, ReplaceFlags flags)
{
    if (from.empty()) return std::string(text);
    bool all = (static_cast<int>(flags) & static_cast<int>(ReplaceFlags::All)) != 0;
    bool ignoreCase = (static_cast<int>(flags) & static_cast<int>(ReplaceFlags::IgnoreCase)) != 0;
    std::string haystack = ignoreCase ? UpperCase(text) : std::string(text);
    std::string needle = ignoreCase ? UpperCase(from) : std::string(from);
    std::string result;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t at = haystack.find(needle, start);
        if (at == std::string::npos) break;
        result.append(text.substr(start, at - start));
        result.append(to);
        start = at + from.size();
        if (!all) break;
    }
    if (start < text.size()) result.append(text.substr(start));
    return result;
}

std::string QuotedStr(std::string_view text, char quote)
{
    std::string result(1, quote);
    for (char c : text) {
        result += c;
        if (c == quote) result += c;
    }
    result += quote;
    return result;
}

std::string PadLeft(std::string_view text, std::size_t width, char fill)
{
    if (text.size() >= width) return std::string(text);
    return std::string(width - text.size(), fill) + std::string(text);
}

std::string PadRight(std::string_view text, std::size_t width, char fill)
{
    std::string result(text);
    if (result.size() < width) result.append(width - result.size(), fill);
    return result;
}

bool IsDigits(std::string_view text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace rtl
