// Rendered barcodes read back by an outside decoder, and module rows held
// against an outside encoder.

#include "tests/app/barcode/BarcodeTestSupport.h"

#include <QPainter>

using namespace barcodetest;

namespace {

const std::string kMarker(1, kFNC1Marker);
const std::string kSerial = "9205590123456789012345";  // 22 digits
const std::string kArticleText = kMarker + "42012345" + kMarker + kSerial;

struct DecodeCase {
    const char* name;
    TBarCodeType type;
    std::string text;
    std::string expected;
    std::string options = {};
};

std::vector<DecodeCase> DecodeCases() {
    return {
        {"GS1-128", bcEAN128, kArticleText, "42012345\x1d" + kSerial},
        {"Code128", bcCode128, "Sendora 128-Test!", "Sendora 128-Test!"},
        {"Code128 control", bcCode128, "AB\tcd12345678x", "AB\tcd12345678x"},
        {"Code39", bcCode39, "code 39-$/+%.", "CODE 39-$/+%."},
        {"Code39Ext", bcCode39Ext, "Mail7:", "M+A+I+L7/Z"},
        {"Code93", bcCode93, "Code 93 $/+%", "Code 93 $/+%"},
        {"Int2of5 even", bcInt2of5, "12345678", "12345678"},
        {"Int2of5 odd", bcInt2of5, "123", "0123", "-Si25.min-length=4"},
        {"UPC-A", bcUPCA, "01234567890", "0012345678905"},
        {"UPC-E", bcUPCE, "123456", "0012345000065"},
        {"EAN-13", bcEAN13, "590123412345", "5901234123457"},
        {"EAN-8", bcEAN8, "9638507", "96385074"},
    };
}

}  // namespace

TEST(BarcodeDecode, EverySymbologyReadsBackAtEveryScaleAndRotation) {
    REQUIRE_TOOLS("zbarimg", "zint");
    EnsureApplication();
    for (const DecodeCase& c : DecodeCases()) {
        for (int scale = 1; scale <= 3; ++scale) {
            for (TbcRotate rotate : {bcNoRotate, bcRotate90, bcRotate180, bcRotate270}) {
                TBarcodeBmp barcode;
                barcode.SetBarcodeType(c.type);
                barcode.SetScale(scale);
                barcode.SetHeight(40 * scale);
                barcode.SetRotate(rotate);
                barcode.SetBarcodeText(c.text);
                EXPECT_EQ(Decode(barcode.Bitmap(), c.options), c.expected)
                    << c.name << " scale " << scale << " rotation " << rotate;
            }
        }
    }
}

TEST(BarcodeDecode, UPCEIsReportedAsSuchWhenAsked) {
    REQUIRE_TOOLS("zbarimg");
    EnsureApplication();
    TBarcodeBmp barcode;
    barcode.SetBarcodeType(bcUPCE);
    barcode.SetBarcodeText("123456");
    EXPECT_EQ(Decode(barcode.Bitmap(), "-Supce.enable"), "01234565");
}

// Every path through the encoder's set changes, read back by an outside
// decoder: each control character after each set (the last character, where
// a wrong set leaves the symbol without its check and stop), then every run
// of three kinds of text, so each change between A, B and C, each SHIFT, and
// each return from C to A or B is met.
TEST(BarcodeDecode, Code128ReadsBackThroughEverySetChange) {
    REQUIRE_TOOLS("zbarimg");
    EnsureApplication();
    std::vector<std::string> texts;
    for (const char* before : {"\x1f", "ab", "AB", "1234", "123456"}) {
        for (int control = 1; control < 32; ++control) {
            texts.push_back(before + std::string(1, static_cast<char>(control)));
            texts.push_back(before + std::string(1, static_cast<char>(control)) + "x");
        }
    }
    const std::vector<std::string> kinds = {"\x05", "\x05\x06", "xy", "x", "QR", "1234", "12345", "7", "\x7f"};
    for (const std::string& a : kinds)
        for (const std::string& b : kinds)
            for (const std::string& c : kinds) texts.push_back(a + b + c);

    std::vector<QImage> images;
    for (const std::string& text : texts) {
        TBarcodeBmp barcode;
        barcode.SetBarcodeType(bcCode128);
        barcode.SetInterpret(false);
        barcode.SetScale(2);
        barcode.SetHeight(30);
        barcode.SetBarcodeText(text);
        images.push_back(barcode.Bitmap());
    }
    const std::vector<std::string> decoded = DecodeAll(images);
    int wrong = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (decoded[i] == texts[i]) continue;
        std::string shown;
        for (unsigned char ch : texts[i]) shown += ch < 32 || ch == 127 ? "\\x" + std::to_string(ch) : std::string(1, ch);
        ADD_FAILURE() << "text \"" << shown << "\" reads back as \"" << decoded[i] << "\"";
        if (++wrong == 10) break;
    }

    // An empty text draws no bars at all.
    TBarcodeBmp empty;
    empty.SetBarcodeType(bcCode128);
    empty.SetBarcodeText("");
    ASSERT_FALSE(empty.Bitmap().isNull());
    for (int y = 0; y < empty.Bitmap().height(); ++y)
        for (int x = 0; x < empty.Bitmap().width(); ++x) ASSERT_EQ(empty.Bitmap().pixelColor(x, y).value(), 255);
}
