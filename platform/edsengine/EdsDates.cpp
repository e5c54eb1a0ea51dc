#include "platform/edsengine/EdsDates.h"

#include <cctype>
#include <charconv>

#include "platform/edsengine/EdsCore.h"

namespace eds {
namespace {

bool AllDigits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool ReadInt(std::string_view text, int& value) {
    if (text.empty() || !AllDigits(text)) return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

std::string Pad(long value, int width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
    return value < 0 ? "-" + digits : digits;
}

}  // namespace

std::int32_t JulianFromYmd(int year, int month, int day) {
    const long a = (14 - month) / 12;
    const long y = static_cast<long>(year) + 4800 - a;
    const long m = month + 12 * a - 3;
    return static_cast<std::int32_t>(day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045);
}

Ymd YmdFromJulian(std::int32_t julian) {
    const long a = static_cast<long>(julian) + 32044;
    const long b = (4 * a + 3) / 146097;
    const long c = a - 146097 * b / 4;
    const long d = (4 * c + 3) / 1461;
    const long e = c - 1461 * d / 4;
    const long m = (5 * e + 2) / 153;
    Ymd r;
    r.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    r.month = static_cast<int>(m + 3 - 12 * (m / 10));
    r.year = static_cast<int>(100 * b + d - 4800 + m / 10);
    return r;
}

bool IsValidYmd(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string JulianToDigits(std::int32_t julian) {
    if (julian <= 0) return "        ";
    const Ymd d = YmdFromJulian(julian);
    return Pad(d.year, 4) + Pad(d.month, 2) + Pad(d.day, 2);
}

std::optional<std::int32_t> DigitsToJulian(std::string_view digits) {
    bool blank = true;
    for (char c : digits)
        if (c != ' ' && c != '0' && c != 0) blank = false;
    if (blank) return 0;
    int y = 0, m = 0, d = 0;
    if (digits.size() != 8 || !ReadInt(digits.substr(0, 4), y) || !ReadInt(digits.substr(4, 2), m) ||
        !ReadInt(digits.substr(6, 2), d) || !IsValidYmd(y, m, d))
        return std::nullopt;
    return JulianFromYmd(y, m, d);
}

std::string IsoDate(std::int32_t julian) {
    const Ymd d = YmdFromJulian(julian);
    return Pad(d.year, 4) + "-" + Pad(d.month, 2) + "-" + Pad(d.day, 2);
}

std::string IsoTime(std::uint32_t ms) {
    return Pad(ms / 3600000, 2) + ":" + Pad(ms / 60000 % 60, 2) + ":" + Pad(ms / 1000 % 60, 2) + "." +
           Pad(ms % 1000, 3);
}

std::string IsoTimeStamp(std::int32_t julian, std::uint32_t ms) { return IsoDate(julian) + " " + IsoTime(ms); }

std::optional<std::int32_t> ParseIsoDate(std::string_view t) {
    int y = 0, m = 0, d = 0;
    if (t.size() != 10 || t[4] != '-' || t[7] != '-' || !ReadInt(t.substr(0, 4), y) ||
        !ReadInt(t.substr(5, 2), m) || !ReadInt(t.substr(8, 2), d) || !IsValidYmd(y, m, d))
        return std::nullopt;
    return JulianFromYmd(y, m, d);
}

std::optional<std::uint32_t> ParseIsoTime(std::string_view t) {
    int h = 0, mi = 0, s = 0, ms = 0;
    if (t.size() < 5 || t[2] != ':' || !ReadInt(t.substr(0, 2), h) || !ReadInt(t.substr(3, 2), mi)) return std::nullopt;
    if (t.size() >= 8) {
        if (t[5] != ':' || !ReadInt(t.substr(6, 2), s)) return std::nullopt;
        if (t.size() > 8) {
            if (t[8] != '.' || t.size() < 10) return std::nullopt;
            // A field keeps milliseconds: further digits are cut, so a text reads
            // as the millisecond it lies in, never past the second it names.
            std::string frac(t.substr(9, 3));
            while (frac.size() < 3) frac += '0';
            if (!ReadInt(frac, ms) || (t.size() > 12 && !AllDigits(t.substr(12)))) return std::nullopt;
        }
    } else if (t.size() != 5) {
        return std::nullopt;
    }
    if (h > 23 || mi > 59 || s > 59) return std::nullopt;
    return static_cast<std::uint32_t>(((h * 60 + mi) * 60 + s) * 1000 + ms);
}

std::optional<std::pair<std::int32_t, std::uint32_t>> ParseIsoTimeStamp(std::string_view t) {
    const auto date = ParseIsoDate(t.substr(0, std::min<std::size_t>(10, t.size())));
    if (!date) return std::nullopt;
    if (t.size() == 10) return std::make_pair(*date, 0u);
    if (t[10] != ' ' && t[10] != 'T') return std::nullopt;
    const auto time = ParseIsoTime(t.substr(11));
    if (!time) return std::nullopt;
    return std::make_pair(*date, *time);
}

DateFormat DateFormat::Parse(std::string_view format) {
    DateFormat f;
    int parts = 0;
    bool seen[3] = {false, false, false};
    std::string sep;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(format[i])));
        if (c == 'D' || c == 'M' || c == 'Y' || c == 'C') {
            std::size_t j = i;
            int ycount = 0;
            while (j < format.size()) {
                const char cj = static_cast<char>(std::toupper(static_cast<unsigned char>(format[j])));
                if (c == 'D' || c == 'M') {
                    if (cj != c) break;
                } else if (cj != 'Y' && cj != 'C') {
                    break;
                }
                if (cj == 'Y' || cj == 'C') ++ycount;
                ++j;
            }
            const Part p = c == 'D' ? Part::Day : c == 'M' ? Part::Month : Part::Year;
            const int idx = static_cast<int>(p);
            if (parts >= 3 || seen[idx]) Throw(EDS_E_INVALID_ARGUMENT, "The date format is not usable.");
            if (parts > 0) f.separators_[parts - 1] = sep;
            sep.clear();
            seen[idx] = true;
            f.order_[parts++] = p;
            if (p == Part::Year) f.fullYear_ = ycount >= 4;
            i = j;
        } else {
            sep += format[i++];
        }
    }
    if (parts != 3) Throw(EDS_E_INVALID_ARGUMENT, "The date format is not usable.");
    return f;
}

std::string DateFormat::Format(std::int32_t julian) const {
    if (julian <= 0) {
        std::string blank;
        for (int p = 0; p < 3; ++p) {
            blank += std::string(order_[p] == Part::Year && fullYear_ ? 4 : 2, ' ');
            if (p < 2) blank += separators_[p];
        }
        return blank;
    }
    const Ymd d = YmdFromJulian(julian);
    std::string out;
    for (int p = 0; p < 3; ++p) {
        switch (order_[p]) {
        case Part::Day: out += Pad(d.day, 2); break;
        case Part::Month: out += Pad(d.month, 2); break;
        case Part::Year: out += fullYear_ ? Pad(d.year, 4) : Pad(d.year % 100, 2); break;
        }
        if (p < 2) out += separators_[p];
    }
    return out;
}

std::optional<std::int32_t> DateFormat::Read(std::string_view text) const {
    // Parts are runs of digits; anything else separates them.
    int values[3] = {0, 0, 0};
    int lengths[3] = {0, 0, 0};
    int count = 0;
    std::size_t i = 0;
    while (i < text.size() && count < 3) {
        while (i < text.size() && !std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        std::size_t j = i;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
        if (j == i) break;
        if (!ReadInt(text.substr(i, j - i), values[count])) return std::nullopt;
        lengths[count++] = static_cast<int>(j - i);
        i = j;
    }
    if (count != 3) return std::nullopt;
    int y = 0, m = 0, d = 0;
    for (int p = 0; p < 3; ++p) {
        switch (order_[p]) {
        case Part::Day: d = values[p]; break;
        case Part::Month: m = values[p]; break;
        case Part::Year:
            y = values[p];
            if (lengths[p] <= 2) y += y < 50 ? 2000 : 1900;
            break;
        }
    }
    if (!IsValidYmd(y, m, d)) return std::nullopt;
    return JulianFromYmd(y, m, d);
}

}  // namespace eds
