// Date texts and date numbers against Python's calendar for every day of years
// 1 to 9999, the two-digit-year pivot under an injected clock, and the styles,
// also as a dataset reads and posts dates.

#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfClock.h"
#include "dbfengine/timedate.h"
#include "dbfengine/uxffds.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndxlow.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/DateUtils.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;

namespace {

std::string Two(int v) { return ZeroPadNumber(static_cast<std::uint64_t>(v), 2); }
std::string Four(int v) { return ZeroPadNumber(static_cast<std::uint64_t>(v), 4); }

struct PythonDay {
    int year = 0, month = 0, day = 0, julian = 0, weekday = 0;
};

// Checks every (year, month, day) with day 0..32 of one month against the days
// Python says the month has.
void CheckMonth(int year, int month, const std::vector<PythonDay>& days, int& failures)
{
    for (int day = 0; day <= 32; ++day) {
        const PythonDay* known = day >= 1 && day <= static_cast<int>(days.size()) ? &days[day - 1] : nullptr;
        std::string text = Two(month) + "/" + Two(day) + "/" + Four(year);
        const bool valid = IsValidDateText(text);
        const double number = DateNumber(year, month, day);
        const std::string dtos = Four(year) + Two(month) + Two(day);
        bool ok = valid == (known != nullptr);
        if (known) {
            ok = ok && text == Two(month) + "/" + Two(day) + "/" + Four(year) &&
                 DayOfWeekOfText(text) == known->weekday && number == known->julian &&
                 DateNumberFromDtos(dtos) == known->julian && DateNumberFromText(text) == known->julian &&
                 DateTextFromNumber(known->julian) == text && DateToDtos(text) == dtos &&
                 DtosFromDateText(text) == dtos &&
                 DtosFromDateNumber(known->julian) == (known->julian < 5373484 ? dtos : std::string(8, ' '));
            int y = 0, m = 0, d = 0;
            ok = ok && SplitDateNumber(number, y, m, d) && y == year && m == month && d == day;
        } else {
            ok = ok && number == kBlankDateNumber && DateNumberFromDtos(dtos) == kBlankDateNumber;
        }
        if (!ok && ++failures <= 10) ADD_FAILURE() << "date " << year << "-" << month << "-" << day;
    }
}

}  // namespace

TEST(XfDates, EveryDayOfYears1To9999MatchesPython)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    TXfDateSettingsGuard settings;
    rtl::DateFormatGuard platformFormat;
    XfDates().Century = 1;
    SetDateStyle(0);
    int failures = 0, lines = 0;
    std::vector<PythonDay> month;
    const int status = dbftest::ForEachOutputLine("/usr/bin/python3 " + dbftest::PythonScript("dates.py"), [&](const std::string& line) {
        PythonDay day;
        std::sscanf(line.c_str(), "%d %d %d %d %d", &day.year, &day.month, &day.day, &day.julian, &day.weekday);
        ++lines;
        if (!month.empty() && (month.back().month != day.month || month.back().year != day.year)) {
            CheckMonth(month.back().year, month.back().month, month, failures);
            month.clear();
        }
        month.push_back(day);
    });
    ASSERT_EQ(status, 0) << "python3 dates.py failed";
    CheckMonth(month.back().year, month.back().month, month, failures);
    EXPECT_EQ(lines, 3652059);
    EXPECT_EQ(failures, 0);
    for (int year = 1; year <= 9999; ++year)
        ASSERT_EQ(IsLeapYear(year), DateNumber(year, 2, 29) != kBlankDateNumber) << year;
}

TEST(XfDates, TwoDigitYearsFollowThePivotOfTheInjectedClock)
{
    TXfDateSettingsGuard settings;
    rtl::DateFormatGuard platformFormat;
    auto withYear = [](int year) {
        TXfClocks clocks;
        clocks.Today = [year] { return TXfDate {year, 6, 15}; };
        return clocks;
    };
    {
        TXfClocksGuard clock(withYear(2026));
        XfEngineStartup();
        EXPECT_EQ(CenturyOf(56), 1900);
        EXPECT_EQ(CenturyOf(55), 2000);
        XfDates().Century = 0;
        SetDateStyle(2);
        std::string april31 = "31/04/99", leapDay = "29/02/00", plainDay = "29/02/01";
        EXPECT_FALSE(IsValidDateText(april31));
        EXPECT_TRUE(IsValidDateText(leapDay));
        EXPECT_EQ(leapDay, "29/02/00");
        EXPECT_FALSE(IsValidDateText(plainDay));
        EXPECT_EQ(DtosFromDateText("01/02/56"), "19560201");
        EXPECT_EQ(DtosFromDateText("01/02/55"), "20550201");
        XfDates().Century = 1;
        std::string withCentury = "1/2/56";
        EXPECT_TRUE(IsValidDateText(withCentury));
        EXPECT_EQ(withCentury, "01/02/1956");
    }
    {
        TXfClocksGuard clock(withYear(2099));  // pivot 2029
        XfEngineStartup();
        EXPECT_EQ(CenturyOf(28), 2100);
        EXPECT_EQ(CenturyOf(29), 2000);
        EXPECT_EQ(DateToDtos("12/31/28"), "21281231");
    }
    {
        TXfClocksGuard clock(withYear(2070));  // pivot 2000: every two-digit year in the 2000s
        XfEngineStartup();
        EXPECT_EQ(CenturyOf(0), 2000);
        EXPECT_EQ(CenturyOf(99), 2000);
    }
}

TEST(XfDates, StylesWriteAndReadTheirOwnTexts)
{
    TXfDateSettingsGuard settings;
    rtl::DateFormatGuard platformFormat;
    const double date = DateNumber(2024, 3, 7);
    const char* expected[9][2] = {
        {"03/07/24", "03/07/2024"}, {"24.03.07", "2024.03.07"}, {"07/03/24", "07/03/2024"},
        {"07-03-24", "07-03-2024"}, {"07.03.24", "07.03.2024"}, {"07.03.24", "07.03.2024"},
        {"07.03.24", "07.03.2024"}, {"07.03.24", "07.03.2024"}, {"07/03/24", "07/03/2024"},
    };
    for (std::uint8_t century = 0; century <= 1; ++century) {
        XfDates().Century = century;
        for (unsigned style = 0; style < 9; ++style) {
            SetDateStyle(style);
            const std::string text = DateTextFromNumber(date);
            EXPECT_EQ(text, expected[style][century]) << style;
            EXPECT_EQ(DateNumberFromText(text), date) << style;
            std::string check = text;
            EXPECT_TRUE(IsValidDateText(check)) << style;
            EXPECT_EQ(DayOfWeekOfText(text), 5) << style;  // a Thursday
            std::string blank = BlankDateText(style);
            EXPECT_TRUE(IsValidDateText(blank));
            EXPECT_EQ(blank, BlankDateText(style));
            EXPECT_EQ(DateNumberFromText(blank), kBlankDateNumber);
            EXPECT_EQ(DayOfWeekOfText(blank), 0);
            EXPECT_EQ(DateTextFromNumber(kBlankDateNumber), blank);
        }
    }
    SetDateStyle(12);
    EXPECT_EQ(XfDates().Style, 0);
    EXPECT_EQ(rtl::ShortDateFormat, "MM/dd/yyyy");

    // The platform's format drives the dataset layer's choice of style.
    rtl::ShortDateFormat = "dd/MM/yyyy";
    rtl::DateSeparator = '.';
    XfDateSettingsFromPlatform();
    EXPECT_EQ(XfDates().Style, 5);
    EXPECT_EQ(XfDates().Century, 1);
    rtl::ShortDateFormat = "MM/DD/YY";
    rtl::DateSeparator = '/';
    XfDateSettingsFromPlatform();
    EXPECT_EQ(XfDates().Style, 0);
    EXPECT_EQ(XfDates().Century, 0);
    EXPECT_EQ(XfStyleOfLanguage("de_DE.UTF-8"), 5);
    EXPECT_EQ(XfStyleOfLanguage("en_US.UTF-8"), 0);
    EXPECT_EQ(XfStyleOfLanguage("en_GB"), 2);
    EXPECT_EQ(XfStyleOfLanguage("fr_CA"), 7);
    EXPECT_EQ(XfStyleOfLanguage("C"), 0);
}

TEST(XfDates, NamesHaveTheirStylesWidthsAndPages)
{
    TXfDateSettingsGuard settings;
    rtl::DateFormatGuard platformFormat;
    XfDates().Century = 1;
    SetDateStyle(5);
    EXPECT_EQ(DayName("07.03.2024"), "Donnerstag");
    EXPECT_EQ(MonthName("07.03.2024"), rtl::FromUtf8("März     ", rtl::CodePage::Oem850));
    EXPECT_EQ(DayName(BlankDateText(5)), std::string(10, ' '));
    SetDateStyle(8);
    EXPECT_EQ(rtl::ToUtf8(DayName("07/03/2024"), rtl::CodePage::Oem866), "Четверг    ");
    EXPECT_EQ(rtl::ToUtf8(MonthName("07/09/2024"), rtl::CodePage::Oem866), "Сентябрь");
    SetDateStyle(0);
    EXPECT_EQ(DayName("03/07/2024"), "Thursday ");
    EXPECT_EQ(MonthOf("03/07/2024"), 3);
    EXPECT_EQ(DayOf("03/07/2024"), 7);
    EXPECT_EQ(YearOf("03/07/2024"), 2024);
    EXPECT_EQ(MonthOf("xx/07/2024"), 0);
}

// Under the British style (dd/mm/yyyy) a dataset reads the stored digits day first
// and posts them back as they were, whether the date is assigned its own text, its
// own value, or left alone beside another change; a new date is stored year,
// month, day.
TEST(XfDates, ABritishStyleDatasetReadsTheDayFirstAndPostsStoredDatesBackUnchanged)
{
    dbftest::EngineScope scope;
    rtl::DateFormatGuard platformFormat;
    rtl::ShortDateFormat = "dd/MM/yyyy";
    rtl::DateSeparator = '/';
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/born.dbf";
    const auto open = [&](const std::string& name) {
        return dbftest::OpenDbf(path, name, {"name,C,10,0", "born,D,8,0"});
    };
    // The digits as stored, record by record.
    const auto stored = [&] {
        const std::string dbf = testsupport::ReadFile(path);
        const std::size_t header = static_cast<std::uint8_t>(dbf[8]) | static_cast<std::uint8_t>(dbf[9]) << 8;
        const std::size_t length = static_cast<std::uint8_t>(dbf[10]) | static_cast<std::uint8_t>(dbf[11]) << 8;
        std::vector<std::string> dates;
        for (std::size_t at = header; at + length <= dbf.size(); at += length) dates.push_back(dbf.substr(at + 11, 8));
        return dates;
    };
    auto ds = open("Writer");
    EXPECT_EQ(XfDates().Style, 2);
    const std::vector<std::pair<std::string, std::string>> dates {
        {"20240315", "15/03/2024"}, {"20240307", "07/03/2024"}, {"19991231", "31/12/1999"}};
    for (const auto& [digits, text] : dates) {
        ds->Append();
        ds->FieldByName("BORN")->SetAsString(text);
        ds->Post();
    }
    const std::vector<std::string> digits {"20240315", "20240307", "19991231"};
    EXPECT_EQ(stored(), digits);
    ds = open("Reader");
    int n = 0;
    for (ds->First(); !ds->Eof(); ds->Next(), ++n) {
        const std::string text = dates[static_cast<std::size_t>(n)].second;
        db::TField* born = ds->FieldByName("BORN");
        EXPECT_EQ(born->AsString(), text);
        EXPECT_EQ(rtl::FormatDateTime("yyyymmdd", born->AsDateTime()), digits[static_cast<std::size_t>(n)]);
        ds->Edit();
        ds->FieldByName("NAME")->SetAsString("seen");
        if (n == 1) born->SetAsString(born->AsString());
        if (n == 2) born->SetAsDateTime(born->AsDateTime());
        ds->Post();
    }
    EXPECT_EQ(stored(), digits);
}
