#include "app/data/U_Globals.h"
#include "app/data/U_TextRoutines.h"
#include "platform/rtl/SysUtils.h"

#include "tests/platform/rtl/GermanLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

namespace {
std::string Blanks(std::size_t n) { return std::string(n, ' '); }
}  // namespace

TEST(FormatMoney, BlanksByMagnitudeAndTwoDecimals)
{
    EXPECT_EQ(FormatMoney(2.4), Blanks(10) + "2.40");
    EXPECT_EQ(FormatMoney(12.5), Blanks(8) + "12.50");
    EXPECT_EQ(FormatMoney(0), Blanks(10) + "0.00");
    EXPECT_EQ(FormatMoney(12), Blanks(8) + "12.00");
    EXPECT_EQ(FormatMoney(0.39), Blanks(10) + "0.39");
    EXPECT_EQ(FormatMoney(999.99), Blanks(6) + "999.99");
    EXPECT_EQ(FormatMoney(1000), Blanks(5) + "1000.00");
    EXPECT_EQ(FormatMoney(99999.5), Blanks(3) + "99999.50");
    EXPECT_EQ(FormatMoney(123456), Blanks(1) + "123456.00");
    // The boundaries compare the amount itself, strictly: each power of ten
    // already takes the next magnitude's blanks.
    EXPECT_EQ(FormatMoney(9.999), Blanks(10) + "9.999");
    EXPECT_EQ(FormatMoney(10), Blanks(8) + "10.00");
    EXPECT_EQ(FormatMoney(99.99), Blanks(8) + "99.99");
    EXPECT_EQ(FormatMoney(100), Blanks(6) + "100.00");
    EXPECT_EQ(FormatMoney(9999.99), Blanks(5) + "9999.99");
    EXPECT_EQ(FormatMoney(10000), Blanks(3) + "10000.00");
    EXPECT_EQ(FormatMoney(99999.99), Blanks(3) + "99999.99");
    EXPECT_EQ(FormatMoney(100000), Blanks(1) + "100000.00");
}

TEST(FormatMoney, FeeSumsShowNoBinaryNoise)
{
    // Postage plus fees add up in binary; the text must still be the cents.
    EXPECT_EQ(FormatMoney(4 * 0.24 + 0.39), Blanks(10) + "1.35");
    EXPECT_EQ(FormatMoney(0.1 + 0.2), Blanks(10) + "0.30");
    EXPECT_EQ(FormatMoney(3.45 + 2.80 + 2.20), Blanks(10) + "8.45");
}

TEST(FormatMoney, SameTextsUnderAGermanProcessLocale)
{
    REQUIRE_TOOLS("localedef");
    const double amounts[] = {2.4, 12.5, 0, 1234.56, 123456, 4 * 0.24 + 0.39};
    std::vector<std::string> underC;
    for (double a : amounts) underC.push_back(FormatMoney(a));

    testsupport::GermanLocale german;
    ASSERT_TRUE(german.Active()) << "setlocale(de_DE.UTF-8) failed; localedef said:\n" << german.BuildOutput();
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.2f", 2.4);
    ASSERT_STREQ(buffer, "2,40") << "the German locale is not in force";

    for (std::size_t i = 0; i < std::size(amounts); ++i) EXPECT_EQ(FormatMoney(amounts[i]), underC[i]);
    EXPECT_EQ(FormatMoney(2.4), Blanks(10) + "2.40");
}

TEST(StepSerialNumber, StepsAndWrapsInSevenDigits)
{
    EXPECT_EQ(StepSerialNumber("41", true), "0000042");
    EXPECT_EQ(StepSerialNumber("0000041", false), "0000040");
    EXPECT_EQ(StepSerialNumber("9999999", true), "0000000");
    EXPECT_EQ(StepSerialNumber("0000000", false), "9999999");
    EXPECT_EQ(StepSerialNumber("9999998", true), "9999999");
    EXPECT_EQ(StepSerialNumber("0000001", false), "0000000");
}

TEST(StepSerialNumber, NeverLeavesTheSevenDigitRange)
{
    // Other spellings of the ends wrap too, instead of growing an eighth
    // digit or a minus sign that the article number would mangle.
    EXPECT_EQ(StepSerialNumber(" 9999999", true), "0000000");
    EXPECT_EQ(StepSerialNumber("09999999", true), "0000000");
    EXPECT_EQ(StepSerialNumber("0", false), "9999999");
    EXPECT_EQ(StepSerialNumber("-5", true), "0000000");
    EXPECT_EQ(StepSerialNumber("12345678", false), "9999999");
}

TEST(StepSerialNumber, NonIntegerRaisesTheConversionError)
{
    EXPECT_THROW(StepSerialNumber("", true), rtl::EConvertError);
    EXPECT_THROW(StepSerialNumber("00000a1", true), rtl::EConvertError);
    EXPECT_THROW(StepSerialNumber("1234567 ", false), rtl::EConvertError);
}

TEST(CleanZip, RemovesTheMaskResidue)
{
    EXPECT_EQ(CleanZip("-"), "");
    EXPECT_EQ(CleanZip(" - "), "");
    EXPECT_EQ(CleanZip("12345-"), "12345");
    EXPECT_EQ(CleanZip("12345 -"), "12345 ");  // the rest is not trimmed again
    EXPECT_EQ(CleanZip("-  6789"), "6789");
    EXPECT_EQ(CleanZip(" 12345-6789 "), "12345-6789");
    EXPECT_EQ(CleanZip(""), "");
}

TEST(AddCityStateZipLine, FillsTheFirstBlankLineOrExtra)
{
    std::string l1 = "A", l2 = "", l3 = "C", l4 = "", extra;
    AddCityStateZipLine(l1, l2, l3, l4, extra, "Springfield", "IL", "62701-");
    EXPECT_EQ(l2, "Springfield IL 62701");
    EXPECT_EQ(l4, "");
    EXPECT_EQ(extra, "");

    l1 = "A", l2 = "B", l3 = "C", l4 = "D";
    AddCityStateZipLine(l1, l2, l3, l4, extra, "Paris", "", "75001");
    EXPECT_EQ(extra, "Paris 75001");
    EXPECT_EQ(l4, "D");

    l1 = "A", l2 = "  ", l3 = "", l4 = "";
    AddCityStateZipLine(l1, l2, l3, l4, extra, "", "  ", "-");
    EXPECT_EQ(l2, "");  // a blank line takes the (empty) city line
}

TEST(PasteAddress, ThreeLinesWithZipPlusFour)
{
    for (const char* end : {"\r\n", "\n", "\n\r"}) {
        std::string text = std::string("John Smith") + end + "12 Main St" + end + "Springfield, IL 62701-1234";
        TPastedAddress a = ParsePastedAddress(text);
        EXPECT_EQ(a.Address1, "John Smith");
        EXPECT_EQ(a.Address2, "12 Main St");
        EXPECT_EQ(a.Address3, "");
        EXPECT_EQ(a.City, "Springfield");
        EXPECT_EQ(a.State, "IL");
        EXPECT_EQ(a.Zip, "62701-1234");
    }
}

TEST(PasteAddress, FiveDigitZipExtraLinesAndTrailingBreaks)
{
    TPastedAddress a = ParsePastedAddress("L1\nL2\nL3\nL4\nL5\nAustin TX  78701\n\n\r\n");
    EXPECT_EQ(a.Address1, "L1");
    EXPECT_EQ(a.Address4, "L4");  // the fifth line is dropped
    EXPECT_EQ(a.City, "Austin");
    EXPECT_EQ(a.State, "TX");
    EXPECT_EQ(a.Zip, "78701");

    a = ParsePastedAddress("Winston-Salem, NC 27101   ");
    EXPECT_EQ(a.City, "Winston-Salem");
    EXPECT_EQ(a.State, "NC");
    EXPECT_EQ(a.Zip, "27101");
}

TEST(PasteAddress, ShortAndOddLinesNeverReachOutside)
{
    TPastedAddress a = ParsePastedAddress(" ,, IL 62701");
    EXPECT_EQ(a.State, "IL");
    EXPECT_EQ(a.City, "");  // only blanks and commas before the state
    a = ParsePastedAddress("123");
    EXPECT_EQ(a.Zip, "123");
    EXPECT_EQ(a.State + a.City, "");
    a = ParsePastedAddress("X 12345");
    EXPECT_EQ(a.State, "X");
    EXPECT_EQ(a.City, "");
    a = ParsePastedAddress("1-2345");
    EXPECT_EQ(a.Zip, "1-2345");
    a = ParsePastedAddress("Name\n\n\n");
    EXPECT_EQ(a.Address1, "");
    EXPECT_EQ(a.Zip, "Name");
    a = ParsePastedAddress("\r\n\n\r\r");
    EXPECT_EQ(a.Address1 + a.City + a.State + a.Zip, "");
}

TEST(PasteAddress, FillsTheExchangeVariablesAfterClearingThem)
{
    gEditAddress3 = "old";
    gEditZip = "old";
    PasteAddressFromText("A\nB\nCity, ST 12345");
    EXPECT_EQ(gEditAddress1, "A");
    EXPECT_EQ(gEditAddress2, "B");
    EXPECT_EQ(gEditAddress3, "");
    EXPECT_EQ(gEditCity, "City");
    EXPECT_EQ(gEditZip, "12345");
    PasteAddressFromText("");
    EXPECT_EQ(gEditAddress1 + gEditAddress2 + gEditCity + gEditState + gEditZip, "");
}
