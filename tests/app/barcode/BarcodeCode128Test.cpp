// The Code 128 encoder: set choice, check symbol, and its bars held against
// an outside encoder and decoder.

#include "tests/app/barcode/BarcodeTestSupport.h"

#include <initializer_list>

using namespace barcodetest;

namespace {

const std::string kMarker(1, kFNC1Marker);

std::vector<int> Values(const std::string& symbols) {
    std::vector<int> values;
    for (char c : symbols) values.push_back(static_cast<unsigned char>(c) - 32);
    return values;
}

// Symbol characters from their values, as the encoder writes them.
std::string Symbols(std::initializer_list<int> values) {
    std::string symbols;
    for (int v : values) symbols += static_cast<char>(v + 32);
    return symbols;
}

// The symbol values without their check symbol and stop.
std::vector<int> Body(const std::string& text, bool gs1 = false) {
    std::vector<int> values = Values(EncodeCode128(text, gs1));
    EXPECT_GE(values.size(), 3u);
    EXPECT_EQ(values.back(), 106);
    values.resize(values.size() - 2);
    return values;
}

// Byte text in zint's escaped form.
std::string ZintEscaped(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string escaped;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 32 || c == 127 || c == '\\')
            escaped += std::string("\\x") + hex[c >> 4] + hex[c & 15];
        else
            escaped += ch;
    }
    return escaped;
}

}  // namespace

TEST(Code128StartSet, FollowsTheLeadingCharacters) {
    EXPECT_EQ(Code128StartSet("1234"), 'C');
    EXPECT_EQ(Code128StartSet("123A"), 'B');
    EXPECT_EQ(Code128StartSet(""), 'B');
    EXPECT_EQ(Code128StartSet("AB\x01" "c"), 'A');
    EXPECT_EQ(Code128StartSet("ABc\x01"), 'B');
    EXPECT_EQ(Code128StartSet("ABC"), 'B');
    // A marker ends the digit count.
    EXPECT_EQ(Code128StartSet("123" + kMarker + "4"), 'B');
}

TEST(Code128Encoder, ArticleDataIsTwentySymbolsOf222Modules) {
    const std::string article = kMarker + "42012345" + kMarker + "9205590123456789012345";
    const std::string symbols = EncodeCode128(article, true);
    ASSERT_EQ(symbols.size(), 20u);
    const std::vector<int> values = Values(symbols);
    const std::vector<int> expected = {105, 102, 42, 1, 23, 45, 102, 92, 5, 59, 1, 23, 45, 67, 89, 1, 23, 45};
    EXPECT_EQ(std::vector<int>(values.begin(), values.begin() + 18), expected);
    // By hand: 105 + 102x1 + 42x2 + 1x3 + 23x4 + 45x5 + 102x6 + 92x7 + 5x8 + 59x9 + 1x10 + 23x11
    // + 45x12 + 67x13 + 89x14 + 1x15 + 23x16 + 45x17 = 6506 = 63 x 103 + 17.
    EXPECT_EQ(values[18], 17);
    EXPECT_EQ(values.back(), 106);
    EXPECT_EQ(BarcodeModules(bcEAN128, article).size(), 222u);
}

TEST(Code128Encoder, SwitchesToSetCForEvenDigitRuns) {
    // Even run of 8 after two letters: set C right away.
    EXPECT_EQ(Body("AB12345678"), (std::vector<int>{104, 33, 34, 99, 12, 34, 56, 78}));
    // Odd run of 7: the first digit in set B, then set C for six.
    EXPECT_EQ(Body("AB1234567"), (std::vector<int>{104, 33, 34, 17, 99, 23, 45, 67}));
    // Three digits are too few for set C.
    EXPECT_EQ(Body("123A"), (std::vector<int>{104, 17, 18, 19, 33}));
    // Leaving set C: one character left goes to set B; more choose by their start set.
    EXPECT_EQ(Body("12345"), (std::vector<int>{105, 12, 34, 100, 21}));
    EXPECT_EQ(Body("1234\x01" "A"), (std::vector<int>{105, 12, 34, 101, 65, 33}));
    EXPECT_EQ(Body("1234ab"), (std::vector<int>{105, 12, 34, 100, 65, 66}));
}

TEST(Code128Encoder, ControlCharactersUseShiftOrCodeA) {
    // In set B a control character before a lowercase letter is shifted...
    EXPECT_EQ(Body("ab\x01" "c"), (std::vector<int>{104, 65, 66, 98, 65, 67}));
    // ...and before anything else switches to set A.
    EXPECT_EQ(Body("ab\x01" "C"), (std::vector<int>{104, 65, 66, 101, 65, 35}));
    EXPECT_EQ(Body("ab\x01"), (std::vector<int>{104, 65, 66, 101, 65}));
    // In set A a lowercase letter before a control character is shifted, else set B.
    EXPECT_EQ(Body("\x01" "a\x02"), (std::vector<int>{103, 65, 98, 65, 66}));
    EXPECT_EQ(Body("\x01" "ab"), (std::vector<int>{103, 65, 100, 65, 66}));
}

TEST(Code128Encoder, SetAHandsCharactersOnlySetBHasToSetB) {
    // Written in set A these would come out as control characters.
    EXPECT_EQ(Body("\x01{"), (std::vector<int>{103, 65, 100, 91}));
    EXPECT_EQ(Body("\x01~\x02"), (std::vector<int>{103, 65, 98, 94, 66}));
    // Even as the first character after Start A.
    EXPECT_EQ(Body("`\x01"), (std::vector<int>{103, 98, 64, 65}));
    EXPECT_EQ(Body("\x7f" "A\x01"), (std::vector<int>{103, 100, 95, 33, 101, 65}));
}

TEST(Code128Encoder, EmptyTextAndTheGs1Marker) {
    // 104 mod 103 = 1: the check symbol is a value below 103 even for the start alone.
    EXPECT_EQ(Values(EncodeCode128("", false)), (std::vector<int>{104, 1, 106}));
    // (104 + 102 x 1) mod 103 = 0.
    EXPECT_EQ(Values(EncodeCode128("", true)), (std::vector<int>{104, 102, 0, 106}));
    // A leading marker is the FNC1 after the start, not a second one.
    EXPECT_EQ(EncodeCode128(kMarker + "1234", true), EncodeCode128("1234", true));
    // Plain Code 128 keeps it as data.
    EXPECT_EQ(Body(kMarker + "AB"), (std::vector<int>{104, 102, 33, 34}));
    // A marker inside a digit run in set C stays FNC1 and keeps set C.
    EXPECT_EQ(Body("1234" + kMarker + "5678", true), (std::vector<int>{105, 102, 12, 34, 102, 56, 78}));
}

TEST(Code128Encoder, CheckSymbolWeighsEachPosition) {
    // 104 + 33 + 34x2 + 99x3 + 12x4 + 34x5 + 56x6 + 78x7 = 1602 = 15 x 103 + 57.
    EXPECT_EQ(Values(EncodeCode128("AB12345678", false)),
              (std::vector<int>{104, 33, 34, 99, 12, 34, 56, 78, 57, 106}));
    // 104 + 48 + 42x2 + 42x3 + 17x4 + 18x5 + 19x6 + 35x7 = 879 = 8 x 103 + 55 ("PJJ123C").
    EXPECT_EQ(Values(std::string(1, Code128CheckValue(Symbols({104, 48, 42, 42, 17, 18, 19, 35})))),
              (std::vector<int>{55}));
    // The start counts with weight 1, reduced like every other sum.
    EXPECT_EQ(Values(std::string(1, Code128CheckValue(Symbols({105})))), (std::vector<int>{2}));
    EXPECT_EQ(Values(std::string(1, Code128CheckValue(Symbols({103, 0})))), (std::vector<int>{0}));
}

TEST(Code128Encoder, PaintingStopsAtACharacterNoSetCarries) {
    // Byte 200 is no Code 128 character: start, "A" and "B" are drawn, nothing after.
    EXPECT_EQ(BarcodeModules(bcCode128, "AB\xc8" "CD"), BarcodeModules(bcCode128, "ABCD").substr(0, 33));
    // Byte 128 would otherwise be value 96, a function symbol.
    EXPECT_EQ(BarcodeModules(bcCode128, "A\x80").size(), 22u);
}

TEST(Code128Encoder, ModulesMatchTheOutsideEncoder) {
    REQUIRE_TOOLS("zint");
    // Texts where both encoders choose the same sets.
    for (const std::string text : {"AB12345678", "AB1234567", "123A", "12345", "Sendora 128", "abc",
                                   "AB\x01" "C", "\x01" "ab", "12345678", "1234ab", "{x", "x"}) {
        const auto rows = ZintRows(20, ZintEscaped(text), "--esc");
        ASSERT_EQ(rows.size(), 1u) << text;
        EXPECT_EQ(PadToNibbles(BarcodeModules(bcCode128, text)), rows[0]) << text;
    }
    const auto gs1 = ZintRows(16, "[420]12345[92]05590123456789012345");
    ASSERT_EQ(gs1.size(), 1u);
    EXPECT_EQ(PadToNibbles(BarcodeModules(bcEAN128, kMarker + "42012345" + kMarker + "9205590123456789012345")),
              gs1[0]);
}

TEST(Code128Encoder, SetChangesDecodeToTheirText) {
    REQUIRE_TOOLS("zbarimg");
    EnsureApplication();
    for (const std::string& text :
         {std::string("{\x01|x\x7f\x02`"), std::string("AB\x01" "cd"), std::string("x1234567y"),
          std::string("\x01" "abc\x1f" "12345")}) {
        TBarcodeBmp barcode;
        barcode.SetScale(2);
        barcode.SetInterpret(false);
        barcode.SetBarcodeText(text);
        EXPECT_EQ(Decode(barcode.Bitmap()), text) << ZintEscaped(text);
    }
}
