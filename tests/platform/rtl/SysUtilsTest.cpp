#include "platform/rtl/SysUtils.h"

#include "tests/platform/rtl/GermanLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <limits>

using namespace rtl;

TEST(StrToInt, AcceptsLeadingBlanksAndSignsOnly)
{
    EXPECT_EQ(StrToInt("41"), 41);
    EXPECT_EQ(StrToInt("  -7"), -7);
    EXPECT_EQ(StrToInt("+0000042"), 42);
    EXPECT_THROW(StrToInt("42 "), EConvertError);
    EXPECT_THROW(StrToInt(""), EConvertError);
    EXPECT_THROW(StrToInt("-"), EConvertError);
    EXPECT_THROW(StrToInt("12a"), EConvertError);
    EXPECT_THROW(StrToInt("1.5"), EConvertError);
}

TEST(StrToInt, RangeLimitsAreExact)
{
    EXPECT_EQ(StrToInt("2147483647"), std::numeric_limits<int>::max());
    EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<int>::min());
    EXPECT_THROW(StrToInt("2147483648"), EConvertError);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
    EXPECT_THROW(StrToInt64("99999999999999999999999"), EConvertError);
}

TEST(StrToInt, ErrorNamesTheTextAndDefaultsFallBack)
{
    try {
        StrToInt("abc");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(StrToIntDef("x", -3), -3);
    EXPECT_EQ(StrToIntDef("12", -3), 12);
    EXPECT_EQ(IntToStr(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

TEST(FloatToStr, FifteenSignificantDigitsHideBinaryNoise)
{
    EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(FloatToStr(4 * 0.24 + 0.39), "1.35");
    EXPECT_EQ(FloatToStr(2.4), "2.4");
    EXPECT_EQ(FloatToStr(12), "12");
    EXPECT_EQ(FloatToStr(0.39), "0.39");
    EXPECT_EQ(FloatToStr(-0.5), "-0.5");
    EXPECT_EQ(FloatToStr(0.0), "0");
    EXPECT_EQ(FloatToStr(-0.0), "0");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(2.0 / 3), "0.666666666666667");
}

TEST(FloatToStr, ExponentFormOutsideTheFixedRange)
{
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToStr(1e15), "1E15");
    EXPECT_EQ(FloatToStr(1.5e20), "1.5E20");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    EXPECT_EQ(FloatToStr(0.00001), "1E-5");
    EXPECT_EQ(FloatToStr(-2.5e-7), "-2.5E-7");
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::quiet_NaN()), "NAN");
}

TEST(StrToFloat, ReadsPointDecimalsAndRejectsTheRest)
{
    EXPECT_DOUBLE_EQ(StrToFloat(" 2.40 "), 2.4);
    EXPECT_DOUBLE_EQ(StrToFloat("+1e3"), 1000);
    EXPECT_DOUBLE_EQ(StrToFloat("-.5"), -0.5);
    EXPECT_THROW(StrToFloat("2,4"), EConvertError);
    EXPECT_THROW(StrToFloat(""), EConvertError);
    EXPECT_THROW(StrToFloat("inf"), EConvertError);
    EXPECT_THROW(StrToFloat("+-1"), EConvertError);
    EXPECT_DOUBLE_EQ(StrToFloatDef("x", 1.25), 1.25);
}

TEST(FloatToStr, SameTextUnderAGermanProcessLocale)
{
    REQUIRE_TOOLS("localedef");
    testsupport::GermanLocale german;
    ASSERT_TRUE(german.Active()) << "setlocale(de_DE.UTF-8) failed; localedef said:\n" << german.BuildOutput();
    // The locale really is in force: the C library now writes a decimal comma.
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
    ASSERT_STREQ(buffer, "1,5");

    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(FloatToStr(4 * 0.24 + 0.39), "1.35");
    EXPECT_EQ(FloatToStr(1234567.25), "1234567.25");
    EXPECT_EQ(FloatToStr(1.5e20), "1.5E20");
    EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_THROW(StrToFloat("1,5"), EConvertError);
}

TEST(Trim, CutsEverythingUpToBlankButNotHighBytes)
{
    EXPECT_EQ(Trim(" \t\r\n abc \x01"), "abc");
    EXPECT_EQ(TrimLeft("  a b  "), "a b  ");
    EXPECT_EQ(TrimRight("  a b  "), "  a b");
    EXPECT_EQ(Trim("   "), "");
    // UTF-8 bytes are above blank and stay (a non-breaking space too).
    EXPECT_EQ(Trim("\xC3\xA9 "), "\xC3\xA9");
    EXPECT_EQ(Trim("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0");
}

TEST(CaseHelpers, AsciiOnlyAndOrderedLikeUpperCase)
{
    EXPECT_EQ(UpperCase("abc\xC3\xA9z"), "ABC\xC3\xA9Z");
    EXPECT_EQ(LowerCase("Print Align"), "print align");
    EXPECT_TRUE(SameText("Print Align", "PRINT align"));
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    EXPECT_LT(CompareText("ab", "AB c"), 0);
    EXPECT_TRUE(StartsText("eds", "EDS.ini"));
    EXPECT_TRUE(EndsText(".INI", "eds.ini"));
    EXPECT_FALSE(EndsText("long suffix", "x"));
    EXPECT_TRUE(ContainsText("Smith & Sons", "SONS"));
}

TEST(TextHelpers, ReplaceQuoteAndPosition)
{
    EXPECT_EQ(StringReplace("a-b-c", "-", ""), "abc");
    EXPECT_EQ(StringReplace("a-b-c", "-", "+", ReplaceFlags::First), "a+b-c");
    EXPECT_EQ(StringReplace("Ab ab AB", "ab", "x", ReplaceFlags::AllIgnoreCase), "x x x");
    EXPECT_EQ(StringReplace("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(StringReplace("abc", "", "x"), "abc");
    EXPECT_EQ(QuotedStr("O'Brien"), "'O''Brien'");
    EXPECT_EQ(QuotedStr(""), "''");
    EXPECT_EQ(Pos("-", "12345-6789"), 6u);
    EXPECT_EQ(Pos("x", "abc"), 0u);
    EXPECT_EQ(PadLeft("42", 7, '0'), "0000042");
    EXPECT_EQ(PadLeft("12345678", 7, '0'), "12345678");
    EXPECT_TRUE(IsDigits("0123"));
    EXPECT_FALSE(IsDigits(""));
    EXPECT_FALSE(IsDigits(" 1"));
}
