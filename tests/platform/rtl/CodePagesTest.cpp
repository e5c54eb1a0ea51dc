#include "platform/rtl/CodePages.h"

#include <gtest/gtest.h>

using namespace rtl;

TEST(CodePages, Windows1252RoundTripsEveryByte)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string utf8 = AnsiToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf8ToAnsi(utf8), all);
    EXPECT_EQ(AnsiToUtf8("\x80 caf\xE9 \x93x\x94"), "\xE2\x82\xAC caf\xC3\xA9 \xE2\x80\x9Cx\xE2\x80\x9D");
}

TEST(CodePages, OemPagesKnowTheirLetters)
{
    // e acute, box drawing, Cyrillic.
    EXPECT_EQ(FromUtf8("\xC3\xA9", CodePage::Oem437), "\x82");
    EXPECT_EQ(FromUtf8("\xE2\x95\x94", CodePage::Oem437), "\xC9");
    EXPECT_EQ(FromUtf8("\xC3\x98", CodePage::Oem850), "\x9D");  // O with stroke: not in 437
    EXPECT_EQ(FromUtf8("\xC3\x98", CodePage::Oem437), "?");
    EXPECT_EQ(ToUtf8("\x8F\xE0", CodePage::Oem866), "\xD0\x9F\xD1\x80");  // "Пр"
    EXPECT_EQ(ToUtf8("\xFF", CodePage::Oem866), "\xC2\xA0");
    for (CodePage page : {CodePage::Oem437, CodePage::Oem850, CodePage::Oem866}) {
        std::string all;
        for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
        EXPECT_EQ(FromUtf8(ToUtf8(all, page), page), all) << static_cast<int>(page);
    }
}

TEST(CodePages, OneByteForEveryCharacterUnmappableOrMalformed)
{
    // A character the page lacks, one outside the BMP, a lone continuation
    // byte, a truncated sequence, an overlong '/', and an encoded surrogate.
    EXPECT_EQ(Utf8ToAnsi("a\xE4\xB8\xAD" "b"), "a?b");
    EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80"), "?");
    EXPECT_EQ(Utf8ToAnsi("\x80x"), "?x");
    EXPECT_EQ(Utf8ToAnsi("x\xC3"), "x?");
    EXPECT_EQ(Utf8ToAnsi("\xC0\xAF"), "??");
    EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80"), "???");
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
    EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9"));
}

TEST(CodePages, AnsiAndOemBytesConvertBothWays)
{
    EXPECT_EQ(AnsiToOem("Gr\xFC\xDF", CodePage::Oem850), "Gr\x81\xE1");
    EXPECT_EQ(OemToAnsi("Gr\x81\xE1", CodePage::Oem850), "Gr\xFC\xDF");
    // A box-drawing character has no ANSI form.
    EXPECT_EQ(OemToAnsi("\xC9", CodePage::Oem437), "?");
    EXPECT_EQ(AnsiToOem("plain text 123"), "plain text 123");
}
