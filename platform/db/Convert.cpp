#include "platform/db/Convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace db {

TTimeStamp DateTimeToTimeStamp(double dateTime) {
    TTimeStamp stamp;
    if (!std::isfinite(dateTime) || std::fabs(dateTime) > 3.0e6) return stamp;
    // Round to whole milliseconds first, so 0.99999999 days does not become
    // day 0 at 23:59:59.999 plus a stray millisecond.
    const auto total = static_cast<std::int64_t>(std::llround(std::fabs(dateTime) * kMSecsPerDay));
    const auto days = static_cast<std::int32_t>(total / kMSecsPerDay);
    stamp.Time = static_cast<std::int32_t>(total % kMSecsPerDay);
    stamp.Date = (dateTime < 0 ? -days : days) + kDateDelta;
    return stamp;
}

double TimeStampToDateTime(const TTimeStamp& stamp) {
    const double days = static_cast<double>(stamp.Date) - kDateDelta;
    const double time = static_cast<double>(stamp.Time) / kMSecsPerDay;
    return days < 0 ? days - time : days + time;
}

double TimeStampToMSecs(const TTimeStamp& stamp) {
    return static_cast<double>(stamp.Date) * kMSecsPerDay + stamp.Time;
}

TTimeStamp MSecsToTimeStamp(double msecs) {
    TTimeStamp stamp;
    if (!std::isfinite(msecs) || msecs < 0 || msecs > 4.0e6 * kMSecsPerDay) return stamp;
    const auto total = static_cast<std::int64_t>(std::llround(msecs));
    stamp.Date = static_cast<std::int32_t>(total / kMSecsPerDay);
    stamp.Time = static_cast<std::int32_t>(total % kMSecsPerDay);
    return stamp;
}

std::string FloatToText(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string text(buf, res.ptr);
    // "1e+20" -> "1E20", "1e-05" -> "1E-5"
    auto e = text.find('e');
    if (e != std::string::npos) {
        std::string mant = text.substr(0, e);
        std::string exp = text.substr(e + 1);
        bool neg = !exp.empty() && exp[0] == '-';
        if (!exp.empty() && (exp[0] == '-' || exp[0] == '+')) exp.erase(0, 1);
        while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
        text = mant + "E" + (neg ? "-" : "") + exp;
    }
    return text;
}

std::string IntToText(std::int64_t value) { return std::to_string(value); }

std::optional<std::int64_t> TextToInt(std::string_view text) {
    std::string t = TrimText(text);
    if (t.empty()) return std::nullopt;
    const char* first = t.data();
    if (*first == '+') ++first;
    std::int64_t v = 0;
    auto res = std::from_chars(first, t.data() + t.size(), v);
    if (res.ec != std::errc() || res.ptr != t.data() + t.size()) return std::nullopt;
    return v;
}

std::optional<double> TextToFloat(std::string_view text) {
    std::string t = TrimText(text);
    if (t.empty()) return std::nullopt;
    const char* first = t.data();
    if (*first == '+') ++first;
    double v = 0;
    auto res = std::from_chars(first, t.data() + t.size(), v);
    if (res.ec != std::errc() || res.ptr != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

namespace {

// Proleptic Gregorian calendar <-> day number (1 January of year 1 = 1).
std::int32_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 719163;  // 1970-01-01 is day 719163
}

void CivilFromDays(std::int32_t dayNumber, int& y, int& m, int& d) {
    int z = dayNumber - 719163 + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = yoe + era * 400;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
}

std::vector<int> Numbers(std::string_view text) {
    std::vector<int> out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] >= '0' && text[i] <= '9') {
            int v = 0;
            size_t digits = 0;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 9) {
                v = v * 10 + (text[i] - '0');
                ++i;
                ++digits;
            }
            out.push_back(v);
        } else {
            ++i;
        }
    }
    return out;
}

bool ValidDate(int y, int m, int d) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + ((m == 2 && leap) ? 1 : 0);
}

}  // namespace

std::string DateToText(double dateTime) {
    int y, m, d;
    CivilFromDays(DateTimeToTimeStamp(dateTime).Date, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", m, d, y);
    return buf;
}

std::string TimeToText(double dateTime) {
    const std::int32_t ms = DateTimeToTimeStamp(dateTime).Time;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
    return buf;
}

std::string DateTimeToText(double dateTime) {
    const TTimeStamp stamp = DateTimeToTimeStamp(dateTime);
    std::string text = DateToText(dateTime);
    if (stamp.Time != 0) text += " " + TimeToText(dateTime);
    return text;
}

std::optional<double> TextToDate(std::string_view text) {
    auto n = Numbers(text);
    if (n.size() != 3) return std::nullopt;
    int y = n[2];
    if (y < 100) y += y < 50 ? 2000 : 1900;
    if (!ValidDate(y, n[0], n[1])) return std::nullopt;
    return static_cast<double>(DaysFromCivil(y, n[0], n[1]) - kDateDelta);
}

std::optional<double> TextToTime(std::string_view text) {
    auto n = Numbers(text);
    if (n.size() < 2 || n.size() > 3) return std::nullopt;
    const int s = n.size() == 3 ? n[2] : 0;
    if (n[0] > 23 || n[1] > 59 || s > 59) return std::nullopt;
    return (n[0] * 3600.0 + n[1] * 60.0 + s) / 86400.0;
}

std::optional<double> TextToDateTime(std::string_view text) {
    std::string t = TrimText(text);
    auto blank = t.find(' ');
    if (blank == std::string::npos) return TextToDate(t);
    auto date = TextToDate(t.substr(0, blank));
    auto time = TextToTime(t.substr(blank + 1));
    if (!date || !time) return std::nullopt;
    return *date < 0 ? *date - *time : *date + *time;
}

std::string TrimText(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return std::string(text.substr(b, e - b));
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::string UpperText(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            auto n = static_cast<unsigned char>(out[i + 1]);
            if (n >= 0xA0 && n <= 0xBE && n != 0xB7) out[i + 1] = static_cast<char>(n - 0x20);
            ++i;
        }
    }
    return out;
}

std::string_view CutUtf8(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t n = maxBytes;
    // Step back over continuation bytes to the start of the cut sequence.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return text.substr(0, n);
}

}  // namespace db
