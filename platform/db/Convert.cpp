#include "platform/db/Convert.h"

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <charconv>
#include <cmath>

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
    return rtl::FloatToStr(value);
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

std::string DateToText(double dateTime) { return rtl::DateToStr(dateTime); }

std::string TimeToText(double dateTime) { return rtl::TimeToStr(dateTime); }

std::string DateTimeToText(double dateTime) { return rtl::DateTimeToStr(dateTime); }

std::optional<double> TextToDate(std::string_view text) {
    rtl::TDateTime v = 0;
    if (!rtl::TryStrToDate(TrimText(text), v)) return std::nullopt;
    return v;
}

std::optional<double> TextToTime(std::string_view text) {
    rtl::TDateTime v = 0;
    if (!rtl::TryStrToTime(TrimText(text), v)) return std::nullopt;
    return v;
}

std::optional<double> TextToDateTime(std::string_view text) {
    rtl::TDateTime v = 0;
    if (!rtl::TryStrToDateTime(TrimText(text), v)) return std::nullopt;
    return v;
}

std::string TrimText(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return std::string(text.substr(b, e - b));
}

bool SameName(std::string_view a, std::string_view b) { return rtl::SameText(a, b); }

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
