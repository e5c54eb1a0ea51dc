// The barcode component: properties, filters, the bitmap's size and layout,
// the human-readable line and rotation.

#include "tests/app/barcode/BarcodeTestSupport.h"

#include <QPointer>

#include <limits>

using namespace barcodetest;

namespace {

const std::string kMarker(1, kFNC1Marker);

bool AllWhite(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.constScanLine(y)[x] != 255) return false;
    return true;
}

bool RowHasBlack(const QImage& image, int y) {
    for (int x = 0; x < image.width(); ++x)
        if (image.constScanLine(y)[x] == 0) return true;
    return false;
}

// First and last columns that hold a black pixel in row y, -1 for none.
std::pair<int, int> BlackSpan(const QImage& image, int y) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (image.constScanLine(y)[x] == 0) {
            if (first < 0) first = x;
            last = x;
        }
    }
    return {first, last};
}

}  // namespace

TEST(BarcodeComponent, DefaultsGiveAWhiteBitmap) {
    EnsureApplication();
    TBarcodeBmp barcode;
    EXPECT_EQ(barcode.Height(), 50);
    EXPECT_EQ(barcode.BarcodeText(), "");
    EXPECT_EQ(barcode.BarcodeType(), bcCode128);
    EXPECT_EQ(barcode.Font().family(), "Courier New");
    EXPECT_EQ(barcode.Scale(), 1);
    EXPECT_TRUE(barcode.Interpret());
    EXPECT_EQ(barcode.Rotate(), bcNoRotate);
    EXPECT_EQ(barcode.Bitmap().format(), QImage::Format_Grayscale8);
    EXPECT_EQ(barcode.Bitmap().size(), QSize(20, 50));
    EXPECT_TRUE(AllWhite(barcode.Bitmap()));
}

TEST(BarcodeComponent, EmptyTextIsTwentyModulesOfWhite) {
    EnsureApplication();
    for (TBarCodeType type : {bcCode128, bcUPCA, bcPOSTNET, bcUPC5ext}) {
        TBarcodeBmp barcode;
        barcode.SetBarcodeType(type);
        barcode.SetScale(3);
        barcode.SetBarcodeText("-");  // filtered away, or a dash for Code 128
        barcode.SetBarcodeText("");
        EXPECT_EQ(barcode.Bitmap().width(), 60) << type;
        EXPECT_TRUE(AllWhite(barcode.Bitmap())) << type;
    }
}

TEST(BarcodeComponent, OwnerFreesTheComponent) {
    EnsureApplication();
    auto owner = std::make_unique<QObject>();
    const QPointer<TBarcodeBmp> barcode = new TBarcodeBmp(owner.get());
    barcode->SetBarcodeText("123");
    EXPECT_EQ(barcode->Bitmap().height(), 50);
    owner.reset();
    EXPECT_TRUE(barcode.isNull()) << "the component outlived its owner";
}

TEST(BarcodeFilter, KeepsWhatEachSymbologyCarries) {
    EXPECT_EQ(FilterBarcodeText(bcUPCA, "0123-4567890123"), "01234567890");
    EXPECT_EQ(FilterBarcodeText(bcCode39, "abc"), "ABC");
    EXPECT_EQ(FilterBarcodeText(bcCode39, "a@b#c_d *$%+-./"), "ABCD *$%+-./");
    EXPECT_EQ(FilterBarcodeText(bcPOSTNET, "123456789012"), "12345678901");
    EXPECT_EQ(FilterBarcodeText(bcUPC5ext, "123456"), "12345");
    EXPECT_EQ(FilterBarcodeText(bcInt2of5, "1234567890123456"), "1234567890123456");
    // Byte 0 goes everywhere; the marker only survives GS1-128.
    EXPECT_EQ(FilterBarcodeText(bcCode128, std::string("A\0B", 3)), "AB");
    EXPECT_EQ(FilterBarcodeText(bcEAN128, kMarker + "420" + std::string(1, '\0')), kMarker + "420");
    EXPECT_EQ(FilterBarcodeText(bcCode128, kMarker + "420"), "420");
    EXPECT_EQ(FilterBarcodeText(bcCode93, "a\x7f\xe9"), "a\x7f");
}

TEST(BarcodeFilter, DropsWhatThePainterWouldStopAt) {
    EnsureApplication();
    // ":" and ";" are no digits: kept, they would end the bars halfway.
    EXPECT_EQ(FilterBarcodeText(bcPOSTNET, "12:34;5"), "12345");
    EXPECT_EQ(FilterBarcodeText(bcUPCA, "0:1;2"), "012");
    // Byte 128 is no Code 128 character; kept, it would draw as a function symbol.
    EXPECT_EQ(FilterBarcodeText(bcCode128, "AB\x80" "CD"), "ABCD");
    EXPECT_EQ(FilterBarcodeText(bcCode39Ext, "\x80" "A"), "A");
    // So a filtered text always draws whole: the check and stop are there.
    TBarcodeBmp barcode;
    barcode.SetBarcodeType(bcPOSTNET);
    barcode.SetBarcodeText("12:34");
    EXPECT_EQ(barcode.BarcodeText(), "1234");
    EXPECT_EQ(barcode.Bitmap().width(), 10 * 5 + 23);
    EXPECT_EQ(BlackSpan(barcode.Bitmap(), barcode.Height() - 1).second, 10 + 53 - 1);
}

TEST(BarcodeFilter, ChangingTheTypeFiltersTheStoredTextForGood) {
    EnsureApplication();
    TBarcodeBmp barcode;
    barcode.SetBarcodeText("AB123cd45");
    barcode.SetBarcodeType(bcUPCA);
    EXPECT_EQ(barcode.BarcodeText(), "12345");
    barcode.SetBarcodeType(bcCode128);
    EXPECT_EQ(barcode.BarcodeText(), "12345");
    barcode.SetBarcodeType(bcUPC2ext);
    EXPECT_EQ(barcode.BarcodeText(), "12");
}

// For each symbology: the bitmap width of the size table, bars starting after
// the 10-module quiet zone and ending where the symbol's modules end, and the
// pixel row reading back as the module row.
TEST(BarcodeLayout, WidthTableHoldsForEverySymbology) {
    EnsureApplication();
    struct Case {
        TBarCodeType type;
        std::string text;
        int widthInModules;  // from the size table, for Scale 1
        int rightQuiet;      // modules after the last bar
    };
    const std::vector<Case> cases = {
        {bcCode128, "AB12345678", 11 * 10 + 22, 10},
        {bcEAN128, kMarker + "42012345" + kMarker + "9205590123456789012345", 11 * 20 + 22, 10},
        {bcCode39, "ABC", 13 * 5 + 20, 11},
        {bcCode39Ext, "Ab:", 13 * (2 + 1 + 2 + 2) + 20, 11},
        {bcUPCA, "123", 115, 10},
        {bcInt2of5, "12345", 9 * 6 + 29, 10},
        {bcCode93, "Ab!", 9 * (1 + 2 + 2) + 57, 10},
        {bcEAN13, "123", 115, 10},
        {bcEAN8, "123", 87, 10},
        {bcPOSTNET, "12345", 10 * 6 + 23, 10},
        {bcUPCE, "123", 71, 10},
        {bcUPC2ext, "12", 40, 10},
        {bcUPC5ext, "12345", 67, 10},
    };
    for (const Case& c : cases) {
        const std::string modules = BarcodeModules(c.type, c.text);
        for (int s = 1; s <= 3; ++s) {
            TBarcodeBmp barcode;
            barcode.SetInterpret(false);
            barcode.SetBarcodeType(c.type);
            barcode.SetScale(s);
            barcode.SetBarcodeText(c.text);
            const QImage& image = barcode.Bitmap();
            ASSERT_EQ(image.width(), c.widthInModules * s) << c.type << " scale " << s;
            ASSERT_EQ(BarcodeBitmapWidth(c.type, barcode.BarcodeText(), s), image.width());
            const int y = image.height() - 1;
            const auto [first, last] = BlackSpan(image, y);
            EXPECT_EQ(first, 10 * s) << c.type;
            EXPECT_EQ(last, image.width() - c.rightQuiet * s - 1) << c.type;
            std::string expected = modules;
            std::replace(expected.begin(), expected.end(), 'h', '1');  // the bottom row crosses half bars
            EXPECT_EQ(ModulesInRow(image, y, s, modules.size()), expected) << c.type;
        }
    }
}

TEST(BarcodeLayout, BarHeightsLeaveRoomForTheText) {
    EnsureApplication();
    TBarcodeBmp barcode;
    barcode.SetBarcodeText("ABC");
    barcode.SetScale(2);
    barcode.SetHeight(60);
    // Bars end 5 modules above the bottom; the text is centred below them.
    EXPECT_TRUE(RowHasBlack(barcode.Bitmap(), 0));
    const int barsEnd = 60 - 10;
    const std::string modules = BarcodeModules(bcCode128, "ABC");
    EXPECT_EQ(ModulesInRow(barcode.Bitmap(), 0, 2, 11), modules.substr(0, 11));
    EXPECT_EQ(ModulesInRow(barcode.Bitmap(), barsEnd + 1, 2, 11), "00000000000");  // start symbol gone
    EXPECT_TRUE(RowHasBlack(barcode.Bitmap(), barsEnd + 2));                        // the text
    barcode.SetInterpret(false);
    EXPECT_EQ(ModulesInRow(barcode.Bitmap(), 59, 2, modules.size()), modules);
}

TEST(BarcodeLayout, AddOnBarsSitBelowTheirDigits) {
    EnsureApplication();
    TBarcodeBmp barcode;
    barcode.SetBarcodeType(bcUPC5ext);
    barcode.SetBarcodeText("12345");
    barcode.SetInterpret(false);
    // Without the text the bars run from the top to the bottom.
    EXPECT_EQ(BlackSpan(barcode.Bitmap(), 0).first, 10);
    EXPECT_EQ(BlackSpan(barcode.Bitmap(), 49).first, 10);
    // With it they start 15 modules down and the digits stand above them.
    barcode.SetInterpret(true);
    EXPECT_EQ(BlackSpan(barcode.Bitmap(), 14).first == 10, false);
    EXPECT_EQ(BlackSpan(barcode.Bitmap(), 15).first, 10);
    EXPECT_EQ(BlackSpan(barcode.Bitmap(), 49).first, 10);
    bool digits = false;
    for (int y = 0; y < 15; ++y) digits = digits || RowHasBlack(barcode.Bitmap(), y);
    EXPECT_TRUE(digits);
}

TEST(BarcodeLayout, PostnetUsesTheFullHeightWithHalfBarsBelow) {
    EnsureApplication();
    TBarcodeBmp barcode;
    barcode.SetBarcodeType(bcPOSTNET);
    barcode.SetHeight(21);
    barcode.SetBarcodeText("1");
    // Interpret stays on: POSTNET draws no text and keeps the full height.
    const QImage& image = barcode.Bitmap();
    const std::string modules = BarcodeModules(bcPOSTNET, "1");
    std::string top = modules;
    std::replace(top.begin(), top.end(), 'h', '0');
    EXPECT_EQ(ModulesInRow(image, 0, 1, modules.size()), top);
    EXPECT_EQ(ModulesInRow(image, 9, 1, modules.size()), top);  // a half bar starts at 21 / 2 = 10
    std::string bottom = modules;
    std::replace(bottom.begin(), bottom.end(), 'h', '1');
    EXPECT_EQ(ModulesInRow(image, 10, 1, modules.size()), bottom);
    EXPECT_EQ(ModulesInRow(image, 20, 1, modules.size()), bottom);
}

TEST(BarcodeText, TheLineIsBlackOnWhiteOnly) {
    EnsureApplication();
    for (TBarCodeType type : {bcCode128, bcUPCA, bcEAN13, bcUPCE, bcEAN8, bcUPC5ext}) {
        TBarcodeBmp barcode;
        barcode.SetBarcodeType(type);
        barcode.SetScale(2);
        barcode.SetBarcodeText("12345");
        const QImage& image = barcode.Bitmap();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const uchar v = image.constScanLine(y)[x];
                ASSERT_TRUE(v == 0 || v == 255) << type << " at " << x << "," << y;
            }
    }
}

TEST(BarcodeText, UpcDigitsStandOutsideTheGuards) {
    EnsureApplication();
    TBarcodeBmp barcode;
    barcode.SetBarcodeType(bcUPCA);
    barcode.SetBarcodeText("01234567890");
    const QImage& image = barcode.Bitmap();
    // The first digit sits in the left quiet zone, the check digit in the right one.
    bool left = false, right = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < 10; ++x) {
            left = left || image.constScanLine(y)[x] == 0;
            right = right || image.constScanLine(y)[image.width() - 1 - x] == 0;
        }
    EXPECT_TRUE(left);
    EXPECT_TRUE(right);
    // The bars above the digits are untouched.
    EXPECT_EQ(ModulesInRow(image, 0, 1, 95), BarcodeModules(bcUPCA, "01234567890"));
}

TEST(BarcodeText, TheMarkerIsNoPartOfTheLine) {
    EnsureApplication();
    TBarcodeBmp withMarker;
    withMarker.SetBarcodeType(bcEAN128);
    withMarker.SetBarcodeText(kMarker + "42012345");
    TBarcodeBmp without;
    without.SetBarcodeType(bcEAN128);
    without.SetBarcodeText("42012345");
    // Same bars (the leading marker is the FNC1 after the start), so the same line too.
    EXPECT_EQ(withMarker.Bitmap(), without.Bitmap());
}

TEST(BarcodeRotation, MapsEveryPixel) {
    EnsureApplication();
    TBarcodeBmp plain;
    plain.SetBarcodeText("Rot 90");
    const QImage source = plain.Bitmap();
    const int ws = source.width(), hs = source.height();
    for (TbcRotate rotate : {bcRotate90, bcRotate180, bcRotate270}) {
        TBarcodeBmp barcode;
        barcode.SetBarcodeText("Rot 90");
        barcode.SetRotate(rotate);
        const QImage& image = barcode.Bitmap();
        const bool quarter = rotate != bcRotate180;
        ASSERT_EQ(image.size(), quarter ? QSize(hs, ws) : QSize(ws, hs));
        for (int y = 0; y < hs; ++y)
            for (int x = 0; x < ws; ++x) {
                const QPoint to = rotate == bcRotate90    ? QPoint(hs - 1 - y, x)
                                  : rotate == bcRotate180 ? QPoint(ws - 1 - x, hs - 1 - y)
                                                          : QPoint(y, ws - 1 - x);
                ASSERT_EQ(image.constScanLine(to.y())[to.x()], source.constScanLine(y)[x])
                    << rotate << " at " << x << "," << y;
            }
    }
}

TEST(BarcodeRotation, LaterChangesRedrawFromTheUnrotatedSize) {
    EnsureApplication();
    TBarcodeBmp barcode;
    barcode.SetInterpret(false);
    barcode.SetBarcodeText("12345678");
    const QSize plain = barcode.Bitmap().size();
    barcode.SetRotate(bcRotate90);
    barcode.SetHeight(30);
    EXPECT_EQ(barcode.Bitmap().size(), QSize(30, plain.width()));
    barcode.SetRotate(bcNoRotate);
    EXPECT_EQ(barcode.Bitmap().size(), QSize(plain.width(), 30));
}

TEST(BarcodeComponent, LoadingDefersTheRedraw) {
    EnsureApplication();
    TBarcodeBmp barcode;
    barcode.BeginLoading();
    barcode.SetInterpret(false);
    barcode.SetBarcodeText("12345678");
    barcode.SetHeight(10);
    EXPECT_EQ(barcode.Bitmap().size(), QSize(20, 50));  // still the bitmap from before
    barcode.Loaded();
    EXPECT_EQ(barcode.Bitmap().size(), QSize(11 * 7 + 22, 10));  // start C, 4 pairs, check, stop
}

TEST(BarcodeComponent, SizesOutOfRangeGiveAnEmptyBitmap) {
    EnsureApplication();
    TBarcodeBmp barcode;
    barcode.SetBarcodeText("ABC");
    for (int scale : {0, -2, 400, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        barcode.SetScale(scale);
        EXPECT_TRUE(barcode.Bitmap().isNull()) << scale;
    }
    barcode.SetScale(1);
    barcode.SetHeight(0);
    EXPECT_TRUE(barcode.Bitmap().isNull());
    barcode.SetRotate(bcRotate90);
    EXPECT_TRUE(barcode.Bitmap().isNull());
    barcode.SetHeight(-5);
    EXPECT_TRUE(barcode.Bitmap().isNull());
    barcode.SetHeight(1 << 20);
    EXPECT_TRUE(barcode.Bitmap().isNull());
    // Bars taller than the bitmap: the text's room is larger than the height.
    barcode.SetHeight(3);
    barcode.SetRotate(bcNoRotate);
    EXPECT_EQ(barcode.Bitmap().size(), QSize(11 * 6 + 22, 3));
}
