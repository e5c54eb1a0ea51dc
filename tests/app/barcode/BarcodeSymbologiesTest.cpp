// The symbologies besides Code 128: check routines, module rows against an
// outside encoder, and where each painter stops.

#include "tests/app/barcode/BarcodeTestSupport.h"

#include <algorithm>

using namespace barcodetest;

namespace {

// Our single row in zint's padded form.
std::string Row(TBarCodeType type, const std::string& text) {
    return PadToNibbles(BarcodeModules(type, text));
}

size_t Bars(const std::string& modules) {
    return static_cast<size_t>(std::count_if(modules.begin(), modules.end(), [](char m) { return m != '0'; }));
}

}  // namespace

TEST(BarcodeCheckDigits, UpcEanAndPostnet) {
    EXPECT_EQ(UpcEanCheckDigit("01234567890"), '5');   // UPC-A
    EXPECT_EQ(UpcEanCheckDigit("590123412345"), '7');  // EAN-13
    EXPECT_EQ(UpcEanCheckDigit("9638507"), '4');       // EAN-8
    EXPECT_EQ(UpcEanCheckDigit("00000000000"), '0');
    EXPECT_EQ(PostnetCheckDigit("12345"), '5');
    EXPECT_EQ(PostnetCheckDigit("55555"), '5');
    EXPECT_EQ(PostnetCheckDigit("19"), '0');
}

TEST(BarcodeCheckDigits, Code93WeightsWrapAround) {
    // "1" is value 1, "0" value 0: only the position of the "1" counts.
    const std::string twenty = "1" + std::string(19, '0');
    const std::string twentyOne = "1" + std::string(20, '0');
    EXPECT_EQ(Code93CheckC(twenty), 20);
    EXPECT_EQ(Code93CheckC(twentyOne), 1);  // weight 1 again for the 21st from the right
    // K: C (here 1) weighs 1, the "1" 22 places from the right weighs 7 (cycle of 15).
    EXPECT_EQ(Code93CheckK(twentyOne), 1 + 7);
    // A shifted character counts as two symbols: "a" is (+) A, values 46 and 10.
    EXPECT_EQ(Code93CheckC("a"), (46 * 2 + 10) % 47);
}

TEST(BarcodeCheckDigits, UpcEExpansionByLastDigit) {
    EXPECT_EQ(ExpandUPCE("123450"), "01200000345");
    EXPECT_EQ(ExpandUPCE("123451"), "01210000345");
    EXPECT_EQ(ExpandUPCE("123452"), "01220000345");
    EXPECT_EQ(ExpandUPCE("123453"), "01230000045");
    EXPECT_EQ(ExpandUPCE("123454"), "01234000005");
    EXPECT_EQ(ExpandUPCE("123456"), "01234500006");
    EXPECT_EQ(ExpandUPCE("123459"), "01234500009");
    EXPECT_EQ(ExpandUPCE("12345"), "");
    EXPECT_EQ(ExpandUPCE(""), "");
}

TEST(BarcodeModules, PostnetHasFrameDigitsAndCheck) {
    const std::string modules = BarcodeModules(bcPOSTNET, "12345");
    EXPECT_EQ(Bars(modules), 32u);
    EXPECT_EQ(modules.size(), 63u);
    // Frame bar, then "1" = 00011, ..., check "5" = 01010, frame bar.
    EXPECT_EQ(modules.substr(0, 12), "10h0h0h01010");
    EXPECT_EQ(modules.substr(52), "h010h010h01");
}

TEST(BarcodeModules, MatchTheOutsideEncoder) {
    REQUIRE_TOOLS("zint");
    struct Case {
        TBarCodeType type;
        std::string text;
        int zintType;
        std::string zintData;
    };
    const std::vector<Case> cases = {
        {bcCode39, "CODE 39-$/+%.", 8, "CODE 39-$/+%."},
        {bcCode39Ext, "Mail+-./:a\x01~", 9, "Mail+-./:a\\x01~"},
        {bcCode93, "Code 93 $/+%!\x7f", 25, "Code 93 $/+%!\\x7f"},
        {bcInt2of5, "123", 3, "0123"},
        {bcInt2of5, "9876543210", 3, "9876543210"},
        {bcUPCA, "01234567890", 34, "01234567890"},
        {bcEAN13, "590123412345", 13, "590123412345"},
        {bcEAN8, "9638507", 13, "9638507"},
        {bcUPCE, "123456", 37, "123456"},
        {bcUPCE, "654320", 37, "654320"},
    };
    for (const Case& c : cases) {
        const auto rows = ZintRows(c.zintType, c.zintData, "--esc");
        ASSERT_EQ(rows.size(), 1u) << c.zintData;
        EXPECT_EQ(Row(c.type, c.text), rows[0]) << c.zintData;
    }
}

TEST(BarcodeModules, AddOnsMatchTheOutsideEncoderForEveryParity) {
    REQUIRE_TOOLS("zint");
    for (const char* text : {"00", "01", "02", "03", "12", "99"}) {
        const auto rows = ZintRows(13, text);
        ASSERT_EQ(rows.size(), 1u) << text;
        EXPECT_EQ(Row(bcUPC2ext, text), rows[0]) << text;
    }
    // "0000d" has the check 3d mod 10, which runs through every parity pattern.
    for (char d = '0'; d <= '9'; ++d) {
        const std::string text = std::string("0000") + d;
        const auto rows = ZintRows(13, text);
        ASSERT_EQ(rows.size(), 1u) << text;
        EXPECT_EQ(Row(bcUPC5ext, text), rows[0]) << text;
    }
    EXPECT_EQ(Row(bcUPC5ext, "52495"), ZintRows(13, "52495").at(0));
    // Short add-ons are padded on the left.
    EXPECT_EQ(BarcodeModules(bcUPC5ext, "7"), BarcodeModules(bcUPC5ext, "00007"));
    EXPECT_EQ(BarcodeModules(bcUPC2ext, "7"), BarcodeModules(bcUPC2ext, "07"));
}

TEST(BarcodeModules, PostnetMatchesTheOutsideEncoder) {
    REQUIRE_TOOLS("zint");
    for (const char* text : {"12345", "123456789", "98765432109"}) {
        const auto rows = ZintRows(40, text);
        ASSERT_EQ(rows.size(), 2u) << text;
        std::string full, all;
        for (char m : BarcodeModules(bcPOSTNET, text)) {
            full += m == '1' ? '1' : '0';
            all += m == '0' ? '0' : '1';
        }
        EXPECT_EQ(PadToNibbles(full), rows[0]) << text;
        EXPECT_EQ(PadToNibbles(all), rows[1]) << text;
    }
}

TEST(BarcodeModules, NumericFormsArePaddedOnTheLeft) {
    EXPECT_EQ(BarcodeModules(bcUPCA, "1234567890"), BarcodeModules(bcUPCA, "01234567890"));
    EXPECT_EQ(BarcodeModules(bcEAN13, "12"), BarcodeModules(bcEAN13, "000000000012"));
    EXPECT_EQ(BarcodeModules(bcEAN8, "1"), BarcodeModules(bcEAN8, "0000001"));
    EXPECT_EQ(BarcodeModules(bcUPCE, "1"), BarcodeModules(bcUPCE, "000001"));
    // An odd digit count gets a leading zero: "123" draws the pairs 01 and 23.
    EXPECT_EQ(BarcodeModules(bcInt2of5, "123"), BarcodeModules(bcInt2of5, "0123"));
    EXPECT_EQ(BarcodeModules(bcInt2of5, "123").size(), 4u + 2 * 18 + 5);
}

TEST(BarcodeModules, PaintersStopAtTheFirstCharacterTheyCannotCarry) {
    // What comes before the bad character stays; no check or stop follows it.
    const std::string postnet = BarcodeModules(bcPOSTNET, "12a45");
    EXPECT_EQ(postnet, BarcodeModules(bcPOSTNET, "12").substr(0, 2 + 20));
    const std::string code39 = BarcodeModules(bcCode39, "AB@C");
    EXPECT_EQ(code39, BarcodeModules(bcCode39, "ABC").substr(0, 3 * 13 - 1));
    const std::string code93 = BarcodeModules(bcCode93, "AB\xc8" "C");
    EXPECT_EQ(code93, BarcodeModules(bcCode93, "ABC").substr(0, 3 * 9));
    const std::string ext = BarcodeModules(bcCode39Ext, "a\xc8");
    EXPECT_EQ(ext, BarcodeModules(bcCode39Ext, "a").substr(0, 3 * 13 - 1));
    const std::string upca = BarcodeModules(bcUPCA, "012:4567890");
    EXPECT_EQ(upca, BarcodeModules(bcUPCA, "01234567890").substr(0, 3 + 3 * 7));
    const std::string i25 = BarcodeModules(bcInt2of5, "12;4");
    EXPECT_EQ(i25, BarcodeModules(bcInt2of5, "1234").substr(0, 4 + 18));
    EXPECT_EQ(BarcodeModules(bcEAN13, ";12345678901"), "101");
}
