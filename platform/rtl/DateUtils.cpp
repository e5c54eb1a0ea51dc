#include "platform/rtl/DateUtils.h"

#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

namespace rtl {

std::string ShortDateFormat = "MM/dd/yyyy";
char DateSeparator = '/';
std::string LongTimeFormat = "hh:nn:ss";
std::string ShortTimeFormat = "hh:nn";
char TimeSeparator = ':';

DateFormatGuard::DateFormatGuard()
    : shortDate_(ShortDateFormat), longTime_(LongTimeFormat), shortTime_(ShortTimeFormat),
      dateSeparator_(DateSeparator), timeSeparator_(TimeSeparator)
{
}

DateFormatGuard::~DateFormatGuard()
{
    ShortDateFormat = shortDate_;
    LongTimeFormat = longTime_;
    ShortTimeFormat = shortTime_;
    DateSeparator = dateSeparator_;
    TimeSeparator = timeSeparator_;
}

namespace {

constexpr long long kMSecsPerDay = 86400000;
// Days from 1 January 1970 back to day 0 of TDateTime.
constexpr long long kUnixEpochOffset = 25569;

const char* const kShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};
const char* const kShortDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Proleptic Gregorian calendar, days relative to 1970-01-01.
long long DaysFromCivil(long long y, int m, int d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// The whole day and the milliseconds of the day. The time of a date before
// day 0 is the absolute fraction (-1.25 is 29 Dec 1899, 06:00); a time that
// rounds up to midnight moves to the next day.
void SplitDateTime(TDateTime value, long long& day, long long& msOfDay)
{
    double whole = std::trunc(value);
    double fraction = std::fabs(value - whole);
    day = static_cast<long long>(whole);
    msOfDay = std::llround(fraction * kMSecsPerDay);
    if (msOfDay >= kMSecsPerDay) {
        msOfDay = 0;
        day += value < 0 ? -1 : 1;
    }
}

bool ValidDateNumber(TDateTime value)
{
    // 1 Jan 0001 .. 31 Dec 9999
    return std::isfinite(value) && value >= -693594.0 && value < 2958466.0;
}

std::string Two(int value)
{
    std::string text = IntToStr(value);
    return text.size() < 2 ? "0" + text : text;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t RunLength(std::string_view format, std::size_t at)
{
    std::size_t n = 1;
    while (at + n < format.size() && Lower(format[at + n]) == Lower(format[at])) ++n;
    return n;
}

bool HasAmPm(std::string_view format)
{
    std::string lower = LowerCase(format);
    return lower.find("am/pm") != std::string::npos || lower.find("a/p") != std::string::npos ||
           lower.find("ampm") != std::string::npos;
}

int CurrentYear()
{
    int y = 0, m = 0, d = 0;
    DecodeDate(Now(), y, m, d);
    return y;
}

// Digits only, at most `maxDigits` of them.
bool ReadNumber(std::string_view text, std::size_t maxDigits, int& value)
{
    if (text.empty() || text.size() > maxDigits || !IsDigits(text)) return false;
    value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    return true;
}

std::vector<std::string> SplitOn(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t at = text.find(separator, start);
        parts.push_back(Trim(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    return parts;
}

}  // namespace

// ---- encoding and decoding ----------------------------------------------------

TDateTime Now()
{
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    long long ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    if (ms < 0) ms += 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    TDateTime date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    TDateTime time = EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), static_cast<int>(ms));
    return date + time;
}

TDateTime Date() { return std::trunc(Now()); }

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    result = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochOffset);
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result)) throw EConvertError("Invalid argument to date encode");
    return result;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    if (!ValidDateNumber(value)) {
        year = month = day = 0;
        return;
    }
    long long whole = 0, ms = 0;
    SplitDateTime(value, whole, ms);
    CivilFromDays(whole - kUnixEpochOffset, year, month, day);
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return false;
    long long ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
    result = static_cast<double>(ms) / kMSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    TDateTime result = 0;
    if (!TryEncodeTime(hour, minute, second, msec, result)) throw EConvertError("Invalid argument to time encode");
    return result;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec)
{
    long long whole = 0, ms = 0;
    if (std::isfinite(value)) SplitDateTime(value, whole, ms);
    msec = static_cast<int>(ms % 1000);
    second = static_cast<int>(ms / 1000 % 60);
    minute = static_cast<int>(ms / 60000 % 60);
    hour = static_cast<int>(ms / 3600000);
}

int DayOfWeek(TDateTime value)
{
    long long whole = 0, ms = 0;
    SplitDateTime(value, whole, ms);
    // Day 0 (30 Dec 1899) was a Saturday.
    long long index = ((whole + 6) % 7 + 7) % 7;  // 0 = Sunday
    return static_cast<int>(index) + 1;
}

// ---- formatting -------------------------------------------------------------------

std::string FormatDateTime(std::string_view format, TDateTime value)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
    const bool twelveHour = HasAmPm(format);
    const int weekday = ValidDateNumber(value) ? DayOfWeek(value) - 1 : 0;

    std::string out;
    bool afterHour = false;
    std::size_t i = 0;
    while (i < format.size()) {
        char c = format[i];
        char lc = Lower(c);
        if (c == '"' || c == '\'') {
            std::size_t close = format.find(c, i + 1);
            if (close == std::string_view::npos) close = format.size();
            out.append(format.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        if (c == '/') {
            out += DateSeparator;
            ++i;
            continue;
        }
        if (c == ':') {
            out += TimeSeparator;
            ++i;
            continue;
        }
        if (lc == 'a') {
            std::string rest = LowerCase(format.substr(i, 5));
            if (rest.rfind("am/pm", 0) == 0) {
                out += hour < 12 ? (c == 'a' ? "am" : "AM") : (c == 'a' ? "pm" : "PM");
                i += 5;
                continue;
            }
            if (rest.rfind("a/p", 0) == 0) {
                out += hour < 12 ? (c == 'a' ? "a" : "A") : (c == 'a' ? "p" : "P");
                i += 3;
                continue;
            }
            if (rest.rfind("ampm", 0) == 0) {
                out += hour < 12 ? "AM" : "PM";
                i += 4;
                continue;
            }
            out += c;
            ++i;
            continue;
        }
        std::size_t n = (lc == 'd' || lc == 'm' || lc == 'y' || lc == 'h' || lc == 'n' || lc == 's' || lc == 'z')
                            ? RunLength(format, i)
                            : 1;
        switch (lc) {
        case 'y':
            out += n <= 2 ? Two(year % 100) : PadLeft(IntToStr(year), 4, '0');
            afterHour = false;
            break;
        case 'm':
            if (afterHour && n <= 2) {
                out += n == 1 ? IntToStr(minute) : Two(minute);
            } else if (n == 1) {
                out += IntToStr(month);
            } else if (n == 2) {
                out += Two(month);
            } else if (month >= 1) {
                out += n == 3 ? kShortMonthNames[month - 1] : kLongMonthNames[month - 1];
            }
            afterHour = false;
            break;
        case 'd':
            if (n == 1) out += IntToStr(day);
            else if (n == 2) out += Two(day);
            else if (n == 3) out += kShortDayNames[weekday];
            else out += kLongDayNames[weekday];
            afterHour = false;
            break;
        case 'h': {
            int h = hour;
            if (twelveHour) {
                h = hour % 12;
                if (h == 0) h = 12;
            }
            out += n == 1 ? IntToStr(h) : Two(h);
            afterHour = true;
            break;
        }
        case 'n':
            out += n == 1 ? IntToStr(minute) : Two(minute);
            afterHour = false;
            break;
        case 's':
            out += n == 1 ? IntToStr(second) : Two(second);
            afterHour = false;
            break;
        case 'z':
            out += n < 3 ? IntToStr(msec) : PadLeft(IntToStr(msec), 3, '0');
            afterHour = false;
            break;
        default:
            out += c;
            break;
        }
        i += n;
    }
    return out;
}

std::string DateToStr(TDateTime value) { return FormatDateTime(ShortDateFormat, value); }

std::string TimeToStr(TDateTime value) { return FormatDateTime(LongTimeFormat, value); }

std::string DateTimeToStr(TDateTime value)
{
    std::string text = DateToStr(value);
    long long whole = 0, ms = 0;
    if (std::isfinite(value)) SplitDateTime(value, whole, ms);
    if (ms != 0) text += " " + TimeToStr(value);
    return text;
}

// ---- parsing ----------------------------------------------------------------------

bool TryStrToDate(std::string_view text, TDateTime& value)
{
    std::vector<std::string> parts = SplitOn(Trim(text), DateSeparator);
    if (parts.size() < 2 || parts.size() > 3) return false;

    // The order of day, month and year is the order of their first letters in the format.
    std::string order;
    for (char c : ShortDateFormat) {
        char lc = Lower(c);
        if ((lc == 'd' || lc == 'm' || lc == 'y') && order.find(lc) == std::string::npos) order += lc;
    }
    if (order.size() != 3) order = "mdy";
    if (parts.size() == 2) order.erase(order.find('y'), 1);

    int year = -1, month = 0, day = 0;
    bool twoDigitYear = false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        int number = 0;
        const std::string& part = parts[i];
        if (order[i] == 'y') {
            if (!ReadNumber(part, 4, number)) return false;
            twoDigitYear = part.size() <= 2;
            year = number;
        } else if (!ReadNumber(part, 2, number)) {
            return false;
        } else if (order[i] == 'm') {
            month = number;
        } else {
            day = number;
        }
    }
    if (year < 0) {
        year = CurrentYear();
    } else if (twoDigitYear) {
        // Within 50 years of this year: the earliest year not before this year - 50.
        int pivot = CurrentYear() - 50;
        year += pivot / 100 * 100;
        if (year < pivot) year += 100;
    }
    return TryEncodeDate(year, month, day, value);
}

bool TryStrToTime(std::string_view text, TDateTime& value)
{
    std::string body = Trim(text);
    int addHours = 0;
    bool twelveHour = false;
    if (body.size() >= 2) {
        std::string suffix = UpperCase(body.substr(body.size() - 2));
        if (suffix == "AM" || suffix == "PM") {
            twelveHour = true;
            addHours = suffix == "PM" ? 12 : 0;
            body = Trim(body.substr(0, body.size() - 2));
        }
    }
    std::vector<std::string> parts = SplitOn(body, TimeSeparator);
    if (parts.size() < 2 || parts.size() > 3) return false;
    int hour = 0, minute = 0, second = 0, msec = 0;
    if (!ReadNumber(parts[0], 2, hour) || !ReadNumber(parts[1], 2, minute)) return false;
    if (parts.size() == 3) {
        std::string_view sec = parts[2];
        std::size_t dot = sec.find('.');
        if (dot != std::string_view::npos) {
            std::string_view fraction = sec.substr(dot + 1);
            if (!ReadNumber(fraction, 3, msec)) return false;
            for (std::size_t k = fraction.size(); k < 3; ++k) msec *= 10;
            sec = sec.substr(0, dot);
        }
        if (!ReadNumber(sec, 2, second)) return false;
    }
    if (twelveHour) {
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + addHours;
    }
    return TryEncodeTime(hour, minute, second, msec, value);
}

bool TryStrToDateTime(std::string_view text, TDateTime& value)
{
    std::string body = Trim(text);
    std::size_t blank = body.find(' ');
    if (blank == std::string::npos) return TryStrToDate(body, value);
    TDateTime date = 0, time = 0;
    if (!TryStrToDate(body.substr(0, blank), date) || !TryStrToTime(body.substr(blank + 1), time)) return false;
    value = date < 0 ? date - time : date + time;
    return true;
}

TDateTime StrToDate(std::string_view text)
{
    TDateTime value = 0;
    if (!TryStrToDate(text, value)) throw EConvertError("'" + std::string(text) + "' is not a valid date");
    return value;
}

TDateTime StrToTime(std::string_view text)
{
    TDateTime value = 0;
    if (!TryStrToTime(text, value)) throw EConvertError("'" + std::string(text) + "' is not a valid time");
    return value;
}

TDateTime StrToDateTime(std::string_view text)
{
    TDateTime value = 0;
    if (!TryStrToDateTime(text, value))
        throw EConvertError("'" + std::string(text) + "' is not a valid date and time");
    return value;
}

}  // namespace rtl
