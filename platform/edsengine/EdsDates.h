#pragma once
// Julian day numbers, the engine's date text forms, and the ISO texts of storage.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace eds {

struct Ymd {
    int year = 0, month = 0, day = 0;
};

// Proleptic Gregorian calendar; 1 January 2000 is day 2451545.
std::int32_t JulianFromYmd(int year, int month, int day);
Ymd YmdFromJulian(std::int32_t julian);
bool IsValidYmd(int year, int month, int day);

// "CCYYMMDD" <-> Julian; blank or zero text is day 0.
std::string JulianToDigits(std::int32_t julian);
std::optional<std::int32_t> DigitsToJulian(std::string_view digits);

// ISO texts of storage: "YYYY-MM-DD", "HH:MM:SS.mmm", "YYYY-MM-DD HH:MM:SS.mmm".
std::string IsoDate(std::int32_t julian);
std::string IsoTime(std::uint32_t milliseconds);
std::string IsoTimeStamp(std::int32_t julian, std::uint32_t milliseconds);
std::optional<std::int32_t> ParseIsoDate(std::string_view text);
// Seconds and their fraction may be left out; digits past the millisecond are cut.
std::optional<std::uint32_t> ParseIsoTime(std::string_view text);
// Date, then optionally a blank or "T" and a time.
std::optional<std::pair<std::int32_t, std::uint32_t>> ParseIsoTimeStamp(std::string_view text);

// A date format such as "MM/DD/YY" or "dd.mm.ccyy": the order of its parts and
// how the year is written. Two-digit years fall in 1950..2049 when read.
class DateFormat {
public:
    static DateFormat Parse(std::string_view format);  // throws EngineError when unusable
    std::string Format(std::int32_t julian) const;
    std::optional<std::int32_t> Read(std::string_view text) const;

private:
    enum class Part { Day, Month, Year };
    Part order_[3]{Part::Month, Part::Day, Part::Year};
    std::string separators_[2]{"/", "/"};
    bool fullYear_ = true;
};

}  // namespace eds
