// Value routines of the expression language: text, dates and the function
// library's formatting rules. Shared by the evaluator and the constant folder,
// so a folded constant and a value computed per row never differ.

#include "platform/edsengine/EdsExprAst.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace edsexpr {

std::string RTrim(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return std::string(s.substr(0, n));
}

// Counting lead bytes only matches SQLite's length() and substr() on UTF-8.
std::size_t Utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string Utf8Substr(std::string_view s, std::size_t start, std::size_t count) {
    std::size_t i = 0, ch = 0;
    auto advance = [&](std::size_t chars) {
        while (i < s.size() && chars > 0) {
            ++i;
            while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
            --chars;
            ++ch;
        }
    };
    advance(start);
    std::size_t from = i;
    advance(count);
    return std::string(s.substr(from, i - from));
}

bool StringEquals(std::string_view left, std::string_view right, bool exact) {
    std::string l = RTrim(left), r = RTrim(right);
    if (exact) return l == r;
    return l.compare(0, r.size(), r) == 0 && l.size() >= r.size();
}

int StringCompare(std::string_view left, std::string_view right) {
    int c = RTrim(left).compare(RTrim(right));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareValues(const EdsExprValue& a, const EdsExprValue& b) {
    switch (a.type) {
    case EdsExprType::Logical: return (a.logical ? 1 : 0) - (b.logical ? 1 : 0);
    case EdsExprType::Number: return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    case EdsExprType::String: return StringCompare(a.text, b.text);
    default: return a.moment < b.moment ? -1 : (a.moment > b.moment ? 1 : 0);
    }
}

bool IsEmptyValue(const EdsExprValue& v) {
    switch (v.type) {
    case EdsExprType::Logical: return !v.logical;
    case EdsExprType::Number: return v.number == 0;
    case EdsExprType::String: return RTrim(v.text).empty();
    case EdsExprType::Time: return v.moment < 0;
    default: return v.moment == 0;
    }
}

// STR(n, length, decimals): right-aligned in `length` characters, rounded half
// away from zero; a number that does not fit gives `length` stars.
std::string FormatStr(double value, int length, int decimals) {
    if (length < 1) length = 1;
    if (length > 255) length = 255;
    if (decimals < 0) decimals = 0;
    if (decimals > 15) decimals = 15;
    if (decimals > 0 && decimals > length - 2) decimals = length > 2 ? length - 2 : 0;
    std::string stars(static_cast<std::size_t>(length), '*');
    if (!std::isfinite(value) || std::fabs(value) >= 1e18) return stars;
    double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0) rounded = 0;  // no "-0"
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) return stars;
    std::string digits(buf, res.ptr);
    if (digits.size() > static_cast<std::size_t>(length)) return stars;
    return std::string(static_cast<std::size_t>(length) - digits.size(), ' ') + digits;
}

std::string StrText(double value, double length, double decimals) {
    auto clamp = [](double v, double lo, double hi) { return std::isnan(v) ? lo : std::min(std::max(v, lo), hi); };
    return FormatStr(value, static_cast<int>(clamp(length, 1, 255)), static_cast<int>(clamp(decimals, 0, 15)));
}

// CHR(n): the character of Windows-1252 code n, as UTF-8 text. Codes outside
// 1..255 give an empty text.
std::string ChrText(double code) {
    static const char16_t kHigh[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    if (!(code >= 1 && code <= 255)) return {};
    auto n = static_cast<unsigned>(code);
    char32_t cp = n;
    if (n >= 0x80 && n < 0xA0) cp = kHigh[n - 0x80];
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits at `i` (at most `maxDigits`); -1 when there are none.
int ReadNumber(std::string_view s, std::size_t& i, int maxDigits, int* count = nullptr) {
    int value = 0, n = 0;
    while (i < s.size() && IsDigit(s[i]) && n < maxDigits) {
        value = value * 10 + (s[i] - '0');
        ++i;
        ++n;
    }
    if (count) *count = n;
    return n == 0 ? -1 : value;
}

void SkipBlanks(std::string_view s, std::size_t& i) {
    while (i < s.size() && s[i] == ' ') ++i;
}

// Reads a date at `i` as the format orders day, month and year.
std::int64_t ReadDate(std::string_view s, std::size_t& i, std::string_view format, int epoch) {
    // The order of the parts comes from the letters of the format.
    char order[3] = {0, 0, 0};
    int parts = 0;
    for (std::size_t k = 0; k < format.size() && parts < 3; ++k) {
        char c = static_cast<char>(format[k] & ~0x20);
        char part = c == 'M' ? 'M' : c == 'D' ? 'D' : (c == 'Y' || c == 'C') ? 'Y' : 0;
        if (!part) continue;
        bool seen = false;
        for (int p = 0; p < parts; ++p) seen = seen || order[p] == part;
        if (!seen) order[parts++] = part;
    }
    if (parts != 3) {
        order[0] = 'M';
        order[1] = 'D';
        order[2] = 'Y';
    }
    int year = -1, month = -1, day = -1;
    SkipBlanks(s, i);
    for (int p = 0; p < 3; ++p) {
        if (p > 0) {
            if (i >= s.size() || IsDigit(s[i]) || s[i] == ' ') return 0;
            ++i;  // any one separator
        }
        int digits = 0;
        int v = ReadNumber(s, i, order[p] == 'Y' ? 4 : 2, &digits);
        if (v < 0) return 0;
        if (order[p] == 'Y') {
            if (digits <= 2) {
                int century = epoch / 100 * 100;
                v += century;
                if (v < epoch) v += 100;
            } else if (digits != 4) {
                return 0;
            }
            year = v;
        } else if (order[p] == 'M') {
            month = v;
        } else {
            day = v;
        }
    }
    if (year < 1 || month < 1 || month > 12 || day < 1) return 0;
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int limit = kDays[month - 1] + ((month == 2 && leap) ? 1 : 0);
    if (day > limit) return 0;
    return EdsJulianFromYmd(year, month, day);
}

// Reads "HH:MM[:SS[.mmm]] [AM|PM]" at `i`.
std::int64_t ReadTime(std::string_view s, std::size_t& i, bool& ok) {
    ok = false;
    SkipBlanks(s, i);
    int h = ReadNumber(s, i, 2);
    if (h < 0 || i >= s.size() || s[i] != ':') return 0;
    ++i;
    int m = ReadNumber(s, i, 2);
    if (m < 0) return 0;
    int sec = 0, ms = 0;
    if (i < s.size() && s[i] == ':') {
        ++i;
        sec = ReadNumber(s, i, 2);
        if (sec < 0) return 0;
        if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
            ++i;
            int digits = 0;
            ms = ReadNumber(s, i, 3, &digits);
            if (ms < 0) return 0;
            for (; digits < 3; ++digits) ms *= 10;
            while (i < s.size() && IsDigit(s[i])) ++i;
        }
    }
    SkipBlanks(s, i);
    if (i + 2 <= s.size()) {
        std::string_view tail = s.substr(i, 2);
        if (rtl::SameText(tail, "AM") || rtl::SameText(tail, "PM")) {
            if (h < 1 || h > 12) return 0;
            bool pm = rtl::SameText(tail, "PM");
            h = h % 12 + (pm ? 12 : 0);
            i += 2;
        }
    }
    if (h > 23 || m > 59 || sec > 59) return 0;
    ok = true;
    return ((static_cast<std::int64_t>(h) * 60 + m) * 60 + sec) * 1000 + ms;
}

}  // namespace

std::int64_t ParseTimeText(std::string_view text, bool& ok) {
    std::size_t i = 0;
    std::int64_t ms = ReadTime(text, i, ok);
    SkipBlanks(text, i);
    if (i != text.size()) ok = false;
    return ok ? ms : -1;
}

std::int64_t ParseTimeStampText(std::string_view text, const EdsExprSettings& settings) {
    std::size_t i = 0;
    std::int64_t julian = ReadDate(text, i, settings.dateFormat, settings.epoch);
    if (julian == 0) return 0;
    SkipBlanks(text, i);
    if (i == text.size()) return julian * kMsPerDay;
    bool ok = false;
    std::int64_t ms = ReadTime(text, i, ok);
    SkipBlanks(text, i);
    if (!ok || i != text.size()) return 0;
    return julian * kMsPerDay + ms;
}

// Words are runs of letters and digits (bytes of multibyte characters count
// as letters); each word of the condition must be found, in any letter case; a
// word ending in '*' matches any word that begins with it.
bool ContainsWords(std::string_view field, std::string_view condition) {
    auto isWordChar = [](char c) {
        auto u = static_cast<unsigned char>(c);
        return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 0x80;
    };
    std::vector<std::string> words;
    std::string upperField = rtl::UpperCase(field);
    for (std::size_t i = 0; i < upperField.size();) {
        if (!isWordChar(upperField[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < upperField.size() && isWordChar(upperField[j])) ++j;
        words.emplace_back(upperField.substr(i, j - i));
        i = j;
    }
    std::string cond = rtl::UpperCase(condition);
    bool any = false;
    for (std::size_t i = 0; i < cond.size();) {
        if (!isWordChar(cond[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < cond.size() && isWordChar(cond[j])) ++j;
        std::string term = cond.substr(i, j - i);
        bool prefix = j < cond.size() && cond[j] == '*';
        bool found = false;
        for (const auto& w : words) {
            if (prefix ? w.compare(0, term.size(), term) == 0 : w == term) {
                found = true;
                break;
            }
        }
        if (!found) return false;
        any = true;
        i = j;
    }
    return any;
}

std::string DtosText(std::int64_t julian) {
    if (julian <= 0) return std::string(8, ' ');
    int y, m, d;
    EdsYmdFromJulian(julian, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y % 10000, m, d);
    return buf;
}

std::string StoredDate(std::int64_t julian) {
    if (julian <= 0) return {};
    int y, m, d;
    EdsYmdFromJulian(julian, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y % 10000, m, d);
    return buf;
}

std::string StoredTimeStamp(std::int64_t moment) {
    if (moment <= 0) return {};
    std::int64_t ms = moment % kMsPerDay;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s %02d:%02d:%02d.%03d", StoredDate(moment / kMsPerDay).c_str(),
                  static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    return buf;
}

std::int64_t DateFromStored(std::string_view text) {
    std::size_t i = 0;
    return ReadDate(text, i, "YYYY-MM-DD", 1950);
}

std::int64_t TimeStampFromStored(std::string_view text) {
    std::size_t i = 0;
    std::int64_t julian = ReadDate(text, i, "YYYY-MM-DD", 1950);
    if (julian == 0) return 0;
    SkipBlanks(text, i);
    if (i == text.size()) return julian * kMsPerDay;
    bool ok = false;
    std::int64_t ms = ReadTime(text, i, ok);
    return julian * kMsPerDay + (ok ? ms : 0);
}

}  // namespace edsexpr

std::int64_t EdsJulianFromYmd(int year, int month, int day) {
    std::int64_t a = (14 - month) / 12;
    std::int64_t y = static_cast<std::int64_t>(year) + 4800 - a;
    std::int64_t m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void EdsYmdFromJulian(std::int64_t julian, int& year, int& month, int& day) {
    std::int64_t a = julian + 32044;
    std::int64_t b = (4 * a + 3) / 146097;
    std::int64_t c = a - 146097 * b / 4;
    std::int64_t d = (4 * c + 3) / 1461;
    std::int64_t e = c - 1461 * d / 4;
    std::int64_t m = (5 * e + 2) / 153;
    day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    month = static_cast<int>(m + 3 - 12 * (m / 10));
    year = static_cast<int>(100 * b + d - 4800 + m / 10);
}

std::int64_t EdsParseDateText(std::string_view text, std::string_view dateFormat, int epoch) {
    std::size_t i = 0;
    std::int64_t julian = edsexpr::ReadDate(text, i, dateFormat, epoch);
    edsexpr::SkipBlanks(text, i);
    return i == text.size() ? julian : 0;
}
