#pragma once
// Conversions the fields share: the native value layouts that record buffers
// hold, and text forms of numbers and dates.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace db {

// Native layouts (what GetFieldData/SetFieldData exchange):
//   date       int32  day number, 1 January of year 1 = 1
//   time       int32  milliseconds of the day
//   date-time  double milliseconds: day number x 86400000 + milliseconds of the day
//   Boolean    int16  0 False, -1 True (any non-zero reads as True)
// A TDateTime is a double: days since 30 December 1899, fraction = time of day.
inline constexpr std::int32_t kDateDelta = 693594;  // day number of 30 December 1899
inline constexpr std::int32_t kMSecsPerDay = 86400000;

struct TTimeStamp {
    std::int32_t Time = 0;  // milliseconds of the day
    std::int32_t Date = 0;  // day number
};

TTimeStamp DateTimeToTimeStamp(double dateTime);
double TimeStampToDateTime(const TTimeStamp& stamp);
double TimeStampToMSecs(const TTimeStamp& stamp);
// Out-of-range input (before year 1, not finite) gives day 0.
TTimeStamp MSecsToTimeStamp(double msecs);

// Text forms. Numbers never depend on the C locale.
std::string FloatToText(double value);
std::string IntToText(std::int64_t value);
std::optional<std::int64_t> TextToInt(std::string_view text);
std::optional<double> TextToFloat(std::string_view text);
std::string DateToText(double dateTime);
std::string TimeToText(double dateTime);
std::string DateTimeToText(double dateTime);
std::optional<double> TextToDate(std::string_view text);
std::optional<double> TextToTime(std::string_view text);
std::optional<double> TextToDateTime(std::string_view text);

// Blank-trimmed copy (characters up to and including the blank count as blank).
std::string TrimText(std::string_view text);
// ASCII-only case folding comparisons, as field and parameter names use.
bool SameName(std::string_view a, std::string_view b);
// UTF-8 aware upper-casing for Latin-1 letters; other bytes are kept.
std::string UpperText(std::string_view text);
// Cuts `text` to at most `maxBytes` bytes without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, size_t maxBytes);

}  // namespace db
