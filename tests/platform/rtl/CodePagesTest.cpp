#include "platform/rtl/CodePages.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <utility>

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

// Texts made of ASCII runs of every length (so every alignment of the runs
// that are copied whole) between converted characters: the whole converts
// as its pieces do one by one.
TEST(CodePages, LongTextsConvertAsTheirPiecesDo)
{
    std::mt19937 random(28);
    auto asciiRun = [&] {
        std::string run(random() % 40, 'a');
        for (char& c : run) c = static_cast<char>(0x20 + random() % 0x5F);
        return run;
    };
    for (CodePage page : {CodePage::Windows1252, CodePage::Oem437, CodePage::Oem850, CodePage::Oem866}) {
        for (int round = 0; round < 200; ++round) {
            std::string bytes, utf8;
            for (int piece = 0; piece < 8; ++piece) {
                const std::string run = asciiRun();
                const std::string high(1, static_cast<char>(0x80 + random() % 0x80));
                bytes += run + high;
                utf8 += run + ToUtf8(high, page);
            }
            ASSERT_EQ(ToUtf8(bytes, page), utf8);
            ASSERT_EQ(FromUtf8(utf8, page), bytes);
        }
    }
    // UTF-8 with characters the page has, lacks, and malformed bytes among
    // the runs: each piece gives its own bytes.
    const std::pair<std::string, std::string> pieces[] = {
        {"\xC3\xA9", "\xE9"}, {"\xE2\x82\xAC", "\x80"}, {"\xE4\xB8\xAD", "?"}, {"\x80", "?"},
        {"\xFF", "?"},        {"\xC3z", "?z"},          {"\xF0\x9F\x98\x80", "?"},
    };
    for (int round = 0; round < 500; ++round) {
        std::string utf8, expected;
        for (int piece = 0; piece < 6; ++piece) {
            const std::string run = asciiRun();
            const auto& [in, out] = pieces[random() % std::size(pieces)];
            utf8 += run + in;
            expected += run + out;
        }
        ASSERT_EQ(Utf8ToAnsi(utf8), expected) << utf8;
        EXPECT_EQ(IsAscii(utf8), false);
    }
    EXPECT_TRUE(IsAscii(std::string(100, 'x')));
    EXPECT_EQ(AsciiPrefix(std::string(13, 'x') + "\xE9" + std::string(20, 'y')), 13u);
}
