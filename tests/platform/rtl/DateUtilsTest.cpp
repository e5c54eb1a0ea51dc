#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

using namespace rtl;

TEST(DateNumbers, DayZeroIsThe30thOfDecember1899)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    int y = 0, m = 0, d = 0;
    DecodeDate(-1.25, y, m, d);  // before day 0 the date part truncates toward zero
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
    DecodeDate(EncodeDate(2024, 2, 29) + 0.75, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
}

TEST(DateNumbers, EveryDayOfFourCenturiesRoundTrips)
{
    TDateTime first = EncodeDate(1800, 1, 1);
    TDateTime last = EncodeDate(2200, 12, 31);
    int y = 0, m = 0, d = 0;
    int prevY = 1799, prevM = 12, prevD = 31;
    for (TDateTime day = first; day <= last; day += 1) {
        DecodeDate(day, y, m, d);
        bool nextDay = (y == prevY && m == prevM && d == prevD + 1) || (y == prevY && m == prevM + 1 && d == 1) ||
                       (y == prevY + 1 && m == 1 && d == 1);
        ASSERT_TRUE(nextDay) << y << "-" << m << "-" << d;
        ASSERT_EQ(EncodeDate(y, m, d), day);
        prevY = y, prevM = m, prevD = d;
    }
}

TEST(DateNumbers, InvalidPartsAreRefused)
{
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);
    EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
    EXPECT_THROW(EncodeDate(2024, 13, 1), EConvertError);
    EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(1, 60, 0), EConvertError);
    int y = 1, m = 1, d = 1;
    DecodeDate(1e300, y, m, d);
    EXPECT_EQ(y + m + d, 0);
}

TEST(Times, DecodeRoundsToMillisecondsAndCarriesMidnight)
{
    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(EncodeTime(13, 45, 30, 250), h, n, s, ms);
    EXPECT_EQ((std::vector<int>{h, n, s, ms}), (std::vector<int>{13, 45, 30, 250}));
    // A hair before midnight is the next day at 00:00, never hour 24.
    TDateTime almost = EncodeDate(2024, 12, 31) + 0.9999999999;
    DecodeTime(almost, h, n, s, ms);
    EXPECT_EQ(h + n + s + ms, 0);
    int y = 0, m = 0, d = 0;
    DecodeDate(almost, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20250101);
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 6, 2)), 1);  // a Sunday
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 1);
}

TEST(DateTexts, FollowTheProgramWideFormatAndSeparator)
{
    DateFormatGuard guard;
    TDateTime value = EncodeDate(2024, 3, 7) + EncodeTime(9, 5, 4);
    ShortDateFormat = "MM/DD/yy";
    DateSeparator = '/';
    EXPECT_EQ(DateToStr(value), "03/07/24");
    ShortDateFormat = "dd/mm/yyyy";
    DateSeparator = '.';
    EXPECT_EQ(DateToStr(value), "07.03.2024");
    EXPECT_EQ(DateTimeToStr(value), "07.03.2024 09:05:04");
    // Midnight shows the date alone.
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 7)), "07.03.2024");
    ShortDateFormat = "yyyy-m-d";
    EXPECT_EQ(DateToStr(value), "2024-3-7");
    LongTimeFormat = "h:mm:ss AMPM";
    EXPECT_EQ(TimeToStr(value), "9:05:04 AM");
    EXPECT_EQ(TimeToStr(EncodeTime(0, 30, 0)), "12:30:00 AM");
    EXPECT_EQ(TimeToStr(EncodeTime(12, 0, 1)), "12:00:01 PM");
}

TEST(DateTexts, FormatDateTimeFields)
{
    TDateTime value = EncodeDate(2024, 3, 7) + EncodeTime(14, 5, 9, 7);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", value), "2024-03-07 14:05:09");
    EXPECT_EQ(FormatDateTime("YYYY-MM-DD HH:MM:SS", value), "2024-03-07 14:05:09");
    EXPECT_EQ(FormatDateTime("dddd d mmmm, ddd mmm", value), "Thursday 7 March, Thu Mar");
    EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz am/pm", value), "02:05:09.007 pm");
    EXPECT_EQ(FormatDateTime("'day' d \"of\" m", value), "day 7 of 3");
}

TEST(DateTexts, ReadInTheOrderOfTheFormat)
{
    DateFormatGuard guard;
    ShortDateFormat = "dd.mm.yyyy";
    DateSeparator = '.';
    EXPECT_EQ(StrToDate("7.3.2024"), EncodeDate(2024, 3, 7));
    EXPECT_EQ(StrToDate(" 07 . 03 . 2024 "), EncodeDate(2024, 3, 7));
    EXPECT_THROW(StrToDate("03/07/2024"), EConvertError);
    EXPECT_THROW(StrToDate("31.02.2024"), EConvertError);
    EXPECT_THROW(StrToDate("x.3.2024"), EConvertError);
    EXPECT_THROW(StrToDate(""), EConvertError);
    ShortDateFormat = "yyyy/mm/dd";
    DateSeparator = '-';
    EXPECT_EQ(StrToDate("2024-03-07"), EncodeDate(2024, 3, 7));
    ShortDateFormat = "MM/DD/yy";
    DateSeparator = '/';
    EXPECT_EQ(StrToDateTime("03/07/2024 2:05:09 PM"), EncodeDate(2024, 3, 7) + EncodeTime(14, 5, 9));
    EXPECT_EQ(StrToDateTime("03/07/2024 14:05"), EncodeDate(2024, 3, 7) + EncodeTime(14, 5, 0));
    EXPECT_THROW(StrToDateTime("03/07/2024 25:00"), EConvertError);
    EXPECT_THROW(StrToTime("13:00 PM"), EConvertError);
}

TEST(DateTexts, ShortYearsAndMissingYears)
{
    DateFormatGuard guard;
    ShortDateFormat = "MM/DD/yy";
    DateSeparator = '/';
    int thisYear = 0, m = 0, d = 0;
    DecodeDate(Now(), thisYear, m, d);
    int y = 0;
    DecodeDate(StrToDate("03/07"), y, m, d);
    EXPECT_EQ(y, thisYear);
    // Two digits land within 50 years of this year.
    for (int twoDigits : {0, 24, 49, 50, 51, 99}) {
        DecodeDate(StrToDate("01/01/" + PadLeft(IntToStr(twoDigits), 2, '0')), y, m, d);
        EXPECT_EQ(y % 100, twoDigits);
        EXPECT_GE(y, thisYear - 50);
        EXPECT_LT(y, thisYear + 50);
    }
    // Four digits are taken as written, however small.
    DecodeDate(StrToDate("01/01/0024"), y, m, d);
    EXPECT_EQ(y, 24);
}

TEST(DateTexts, WrittenTextsReadBack)
{
    DateFormatGuard guard;
    for (const char* format : {"MM/DD/yy", "dd/mm/yyyy", "yyyy/mm/dd", "m/d/yyyy"}) {
        ShortDateFormat = format;
        for (TDateTime day = EncodeDate(1990, 1, 1); day < EncodeDate(2030, 1, 1); day += 97) {
            TDateTime value = day + EncodeTime(17, 59, 58);
            ASSERT_EQ(StrToDateTime(DateTimeToStr(value)), value) << format << " " << DateTimeToStr(value);
        }
    }
}

// Now() is the local wall clock: held against the system's UTC seconds plus
// the zone's offset, in zones on both sides of UTC (zone texts that need no
// time zone database), so a clock read in UTC is a day off for most hours.
TEST(DateTexts, NowIsTodayInLocalTime)
{
    const char* tz = std::getenv("TZ");
    const std::optional<std::string> savedZone = tz ? std::optional<std::string>(tz) : std::nullopt;
    constexpr double kUnixDay0 = 25569;  // 1970-01-01 as a day number
    const std::pair<const char*, int> zones[] = {{"<+14>-14", 14}, {"<-11>11", -11}};
    for (const auto& [zone, hours] : zones) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        const std::time_t before = std::time(nullptr);
        const TDateTime now = Now();
        const TDateTime today = Date();
        const std::time_t after = std::time(nullptr);
        // Now() builds its value from date and time parts, so on an exact second it can
        // land a rounding step below the same instant computed here; allow a millisecond.
        constexpr double kMillisecond = 1.0 / 86400000;
        const double earliest = static_cast<double>(before) / 86400 + kUnixDay0 + hours / 24.0 - kMillisecond;
        const double latest = static_cast<double>(after + 1) / 86400 + kUnixDay0 + hours / 24.0 + kMillisecond;
        EXPECT_GE(now, earliest) << zone;
        EXPECT_LE(now, latest) << zone;
        EXPECT_TRUE(today == std::floor(earliest) || today == std::floor(latest)) << zone << " " << today;
    }
    if (savedZone)
        ::setenv("TZ", savedZone->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}
