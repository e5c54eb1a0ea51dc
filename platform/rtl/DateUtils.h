#pragma once
// Dates and times as one double: the whole part counts days from 30 December
// 1899 (day 0), the fraction is the time of day. Texts follow the program-wide
// formats below, which start-up sets once; every conversion reads them.

#include <string>
#include <string_view>

namespace rtl {

using TDateTime = double;

// Program-wide formats. In a format, "/" stands for DateSeparator and ":" for
// TimeSeparator; d dd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz am/pm ampm
// are fields (letters in either case; "m" right after an hour means minutes);
// text in quotes is copied.
extern std::string ShortDateFormat;  // "MM/dd/yyyy" until start-up changes it
extern char DateSeparator;           // '/'
extern std::string LongTimeFormat;   // "hh:nn:ss"
extern std::string ShortTimeFormat;  // "hh:nn"
extern char TimeSeparator;           // ':'

// Restores the five format settings on scope exit (tests, temporary changes).
class DateFormatGuard {
public:
    DateFormatGuard();
    ~DateFormatGuard();
    DateFormatGuard(const DateFormatGuard&) = delete;
    DateFormatGuard& operator=(const DateFormatGuard&) = delete;

private:
    std::string shortDate_, longTime_, shortTime_;
    char dateSeparator_, timeSeparator_;
};

// Local date and time; Date() is today at midnight.
TDateTime Now();
TDateTime Date();

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Years 1..9999. EncodeDate/EncodeTime raise EConvertError on a value out of range.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
TDateTime EncodeDate(int year, int month, int day);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
TDateTime EncodeTime(int hour, int minute, int second, int msec = 0);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime value);

std::string FormatDateTime(std::string_view format, TDateTime value);
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
// Date, blank, long time; the time is left out at exactly midnight.
std::string DateTimeToStr(TDateTime value);

// Reads a date in the order of ShortDateFormat (day, month, year) with
// DateSeparator between the parts; a missing year is this year; a two-digit
// year is taken within 50 years of this year. Raises EConvertError.
TDateTime StrToDate(std::string_view text);
// "h:n", "h:n:s" or "h:n:s.zzz", optionally followed by AM or PM.
TDateTime StrToTime(std::string_view text);
// A date, optionally followed by a blank and a time.
TDateTime StrToDateTime(std::string_view text);
bool TryStrToDate(std::string_view text, TDateTime& value);
bool TryStrToTime(std::string_view text, TDateTime& value);
bool TryStrToDateTime(std::string_view text, TDateTime& value);

}  // namespace rtl
