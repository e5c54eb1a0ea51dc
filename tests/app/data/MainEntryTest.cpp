#include "app/data/U_MainEntry.h"

#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

namespace {
std::string Blanks(std::size_t n) { return std::string(n, ' '); }
}  // namespace

TEST(FeeTexts, ShownInMoneyFormOrBlank)
{
    EXPECT_EQ(FeeDisplayText("2.4", true), Blanks(10) + "2.40");
    EXPECT_EQ(FeeDisplayText("   12 ", false), Blanks(8) + "12.00");
    EXPECT_EQ(FeeDisplayText("", true), Blanks(10) + "0.00");
    EXPECT_EQ(FeeDisplayText("   ", false), " ");
    EXPECT_EQ(FeeDisplayText("abc", true), " ");
    EXPECT_EQ(FeeDisplayText("1,50", true), " ") << "the decimal point is always '.'";
    EXPECT_EQ(FeeDisplayText("-1.00", true), " ");
    EXPECT_EQ(FeeDisplayText("inf", true), " ");
}

TEST(FeeTexts, TotalOfTheDefaultFees)
{
    EXPECT_EQ(FeeTotalText({"0.39", "2.40", "", "", "1.85"}, true), Blanks(10) + "4.64");
    EXPECT_EQ(FeeTotalText({"          0.39", "          2.40", " ", " ", "          1.85"}, false),
              Blanks(10) + "4.64");
    EXPECT_EQ(FeeTotalText({"0.39", "2.40", "3.50", "6.95", "1.85"}, true), Blanks(8) + "15.09");
}

TEST(FeeTexts, WhatIsNotAnAmountAddsNothing)
{
    EXPECT_EQ(FeeTotalText({"abc", "2.40", "-5", " ", "1.85"}, true), Blanks(10) + "4.25");
    EXPECT_EQ(FeeTotalText({"", "", "", "", ""}, true), Blanks(10) + "0.00");
    EXPECT_EQ(FeeTotalText({"", " ", "x", "", ""}, false), " ") << "Zeros off blanks a zero total";
    EXPECT_EQ(FeeTotalText({" ", "2.40", "", "", ""}, false), Blanks(10) + "2.40")
        << "a total that is not zero shows even when the fee just left is blank";
}

TEST(LabelCell, OneToThreeOnly)
{
    EXPECT_EQ(LabelCellOf("1"), 0);
    EXPECT_EQ(LabelCellOf("3"), 2);
    EXPECT_FALSE(LabelCellOf("0"));
    EXPECT_FALSE(LabelCellOf("4"));
    EXPECT_FALSE(LabelCellOf("x"));
    EXPECT_FALSE(LabelCellOf(""));
}

TEST(CommandLine, ElevenArgumentsFillElevenFieldsAndATwelfthIsIgnored)
{
    std::vector<std::string> args;
    for (int i = 1; i <= 12; ++i) args.push_back("a" + std::to_string(i));
    const TCommandLineFill fill = CommandLineFields(args);
    EXPECT_EQ(fill.MemoLines, (std::vector<std::string>{"a1", "a2", "a3", "a4"}));
    EXPECT_EQ(fill.City, "a5");
    EXPECT_EQ(fill.State, "a6");
    EXPECT_EQ(fill.Zip, "a7");
    EXPECT_EQ(fill.Department, "a8");
    EXPECT_EQ(fill.ProcessedBy, "a9");
    EXPECT_EQ(fill.Comment, "a10");
    EXPECT_EQ(fill.Re, "a11");
}

TEST(CommandLine, FewerArgumentsLeaveTheRestAlone)
{
    const TCommandLineFill fill = CommandLineFields({"Jane", "Acme", "12 Elm", "Suite 5", "Springfield"});
    EXPECT_EQ(fill.MemoLines.size(), 4u);
    EXPECT_EQ(fill.City, "Springfield");
    EXPECT_FALSE(fill.State);
    EXPECT_FALSE(fill.Re);
    EXPECT_TRUE(CommandLineFields({}).MemoLines.empty());
}

TEST(ZipLookup, RunsOnFiveCharactersWhenCityOrStateIsBlank)
{
    EXPECT_EQ(ZipLookupKey("", "", "62701-    "), "62701");
    EXPECT_EQ(ZipLookupKey("Springfield", " ", "62701-1234"), "62701");
    EXPECT_FALSE(ZipLookupKey("Springfield", "IL", "62701-1234")) << "nothing to fill";
    EXPECT_FALSE(ZipLookupKey("", "", "6270 -    ")) << "four digits";
    EXPECT_FALSE(ZipLookupKey("", "", "     -    "));
    EXPECT_FALSE(ZipLookupKey("", "", "627"));
}

TEST(CopyAddress, JoinsTheFilledLinesWithLineFeedCarriageReturn)
{
    EXPECT_EQ(AddressClipboardText({"Jane Doe", "", "12 Elm St", ""}, "Springfield", "IL", "62701-1234"),
              "Jane Doe\n\rSpringfield IL 62701-1234\n\r12 Elm St") << "the city line takes the first blank line";
    EXPECT_EQ(AddressClipboardText({"A", "B", "C", "D"}, "Town", "", "12345-    "), "A\n\rB\n\rC\n\rD\n\rTown 12345");
}

TEST(CopyAddress, TextOf256CharactersOrMoreGivesNothing)
{
    const std::string line(60, 'x');
    // Three lines of 60, one of n, three separators of two: 186 + n characters.
    const auto fits = AddressClipboardText({line, line, line, std::string(69, 'y')}, "", "", "");
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->size(), 255u);
    EXPECT_FALSE(AddressClipboardText({line, line, line, std::string(70, 'y')}, "", "", ""));
    EXPECT_FALSE(AddressClipboardText({line, line, line, line}, "Springfield", "IL", "62701"));
}

TEST(PostageCalculator, FirstOuncePlusEachFurtherOunce)
{
    EXPECT_EQ(CalculatedPostage(4, "0.39", "0.24"), "1.11");
    EXPECT_EQ(CalculatedPostage(3, "0.39", "0.24"), "0.87");
    EXPECT_EQ(CalculatedPostage(1, "0.39", "0.24"), "0.39");
    EXPECT_EQ(CalculatedPostage(13, "0.39", "0.24"), "3.27");
    EXPECT_EQ(CalculatedPostage(2, "          0.44", "          0.20"), "0.64") << "fees stored as shown";
    EXPECT_THROW(CalculatedPostage(2, "abc", "0.24"), rtl::EConvertError);
    EXPECT_THROW(CalculatedPostage(2, "0.39", ""), rtl::EConvertError);
}
