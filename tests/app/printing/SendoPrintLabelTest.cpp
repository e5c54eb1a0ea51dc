// Label cells, the 3 x 3 sheet and blank barcode labels on a recording printer.

#include "tests/app/printing/SendoPrintTestSupport.h"

#include "platform/rtl/SysUtils.h"

#include <stdexcept>

using namespace sendoprinttest;

namespace {

class Labels : public RecordingPrinterTest {};

std::vector<Op> Ops(const std::vector<Call>& calls)
{
    std::vector<Op> ops;
    for (const Call& c : calls)
        ops.push_back(c.op);
    return ops;
}

}  // namespace

TEST_F(Labels, ACellPrintsItsBarcodeNumberAndTwoAddressLinesAtItsPlace)
{
    InstallPrinter(300, 300, 10, 20);
    gLabelRow = 1;
    gLabelCol = 2;
    std::string data;
    {
        TPrintJob job;
        PrintMailerForm(SampleMailer(), true, 2, CallerFont(), data);
        job.End();
    }
    EXPECT_EQ(data, kDataT);

    // Row 1 moves 2.75 in across, column 2 moves 7.4 in down.
    const auto images = Images();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].x, 335 * 3 - 10);
    EXPECT_EQ(images[0].y, 790 * 3 - 20);
    EXPECT_EQ(images[0].width, 225);
    EXPECT_EQ(images[0].height, 750);
    EXPECT_EQ(images[0].image.width(), 225);  // a quarter turn: the bars' height across
    EXPECT_EQ(images[0].image.height(), 242 * 4);

    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].text, kTextT);
    EXPECT_EQ(texts[0].font, (print::FontSpec{"OCR A Extended", 11, 2700}));
    EXPECT_EQ(std::make_pair(texts[0].x, texts[0].y), std::make_pair(325 * 3 - 10, 800 * 3 - 20));
    EXPECT_EQ(texts[1].text, kTextT);
    EXPECT_EQ(texts[1].font.sizePt, 8);
    EXPECT_EQ(std::make_pair(texts[1].x, texts[1].y), std::make_pair(535 * 3 - 10, 800 * 3 - 20));
    EXPECT_EQ(texts[2].text, "Jane Roe");  // as typed: labels are not upper-cased
    EXPECT_EQ(std::make_pair(texts[2].x, texts[2].y), std::make_pair(525 * 3 - 10, 790 * 3 - 20));
    EXPECT_EQ(texts[3].text, "400 Elm Ave");
    EXPECT_EQ(std::make_pair(texts[3].x, texts[3].y), std::make_pair(515 * 3 - 10, 790 * 3 - 20));
    EXPECT_EQ(Printer().DocumentsPrinted(), 1);

    REQUIRE_TOOLS("zbarimg");
    EXPECT_EQ(barcodetest::Decode(images[0].image), Scanned(kDataT));
}

TEST_F(Labels, TheTurnedBarcodeTakesItsWidthAcrossAndItsLengthDownTheRightAxes)
{
    InstallPrinter(300, 600);
    std::string data;
    TPrintJob job;
    PrintMailerForm(SampleMailer(), true, 2, CallerFont(), data);
    job.End();
    const auto images = Images();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].width, 225);    // 0.75 in across at 300 dpi
    EXPECT_EQ(images[0].height, 1500);  // 2.5 in down at 600 dpi
}

TEST_F(Labels, AddressLinesAreCutToFortyCharactersNeverInsideACharacter)
{
    InstallPrinter(300, 300);
    MailerPrintFields rec = SampleMailer();
    rec[6] = std::string(45, 'N');
    rec[7] = std::string(39, 'a') + "\xC3\xA9\xC3\xA9";  // 39 letters, then two two-byte letters
    std::string data;
    TPrintJob job;
    PrintMailerForm(rec, false, 2, CallerFont(), data);
    job.End();
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 2u);  // no number texts without barcodes
    EXPECT_EQ(texts[0].text, std::string(40, 'N'));
    EXPECT_EQ(texts[1].text, std::string(39, 'a') + "\xC3\xA9");
    EXPECT_TRUE(Images().empty());  // labels carry no ZIP barcode
}

// The cells of a sheet in the order the print road fills them, each with
// where its barcode lands at 300 dpi (rows run down the turned page from the
// right, columns across it).
TEST_F(Labels, ASheetFillsNineCellsInOrderAndEjectsOnlyAfterTheLast)
{
    struct Cell {
        int row, col, x, y;
    };
    const Cell sheet[9] = {{0, 0, 1830, 150},  {0, 1, 1830, 1260}, {0, 2, 1830, 2370},
                           {1, 0, 1005, 150},  {1, 1, 1005, 1260}, {1, 2, 1005, 2370},
                           {2, 0, 180, 150},   {2, 1, 180, 1260},  {2, 2, 180, 2370}};
    InstallPrinter(300, 300);
    {
        TPrintJob job;
        for (int label = 0; label < 9; ++label) {
            gLabelRow = sheet[label].row;
            gLabelCol = sheet[label].col;
            MailerPrintFields rec = SampleMailer();
            rec[16] = "000000" + std::to_string(label + 1);
            std::string data;
            PrintMailerForm(rec, true, 2, CallerFont(), data);
        }
        job.End();
    }

    std::vector<Op> expected = {Op::BeginDoc};
    for (int label = 0; label < 9; ++label) {
        expected.push_back(Op::StretchDraw);
        expected.insert(expected.end(), 4, Op::TextOut);
    }
    expected.insert(expected.end(), {Op::EndDoc, Op::BeginDoc, Op::EndDoc});
    EXPECT_EQ(Ops(Printer().Calls()), expected);
    EXPECT_EQ(Printer().PagesPrinted(), 1);
    EXPECT_EQ(Printer().DocumentsPrinted(), 1);

    const auto images = Images();
    ASSERT_EQ(images.size(), 9u);
    for (int label = 0; label < 9; ++label) {
        EXPECT_EQ(images[label].x, sheet[label].x) << label;
        EXPECT_EQ(images[label].y, sheet[label].y) << label;
    }
}

TEST_F(Labels, AFailureInsideTheCallersJobEndsTheJob)
{
    InstallPrinter(300, 300);
    Printer().FailAt(Op::TextOut, 2);
    std::string data;
    try {
        TPrintJob job;
        PrintMailerForm(SampleMailer(), true, 2, CallerFont(), data);
        job.End();
        FAIL() << "the printer's failure was lost";
    } catch (const print::EPrintError&) {
    }
    EXPECT_FALSE(Printer().Printing());
}

TEST_F(Labels, BlankLabelsEachMakeAJobAndReturnTheSerialToStoreNext)
{
    InstallPrinter(300, 300);
    const std::string next = PrintBlankBarcodeLabels(3, 2, "123456789", "9999998", "0", "0", CallerFont(), true);
    // Counting as the serial counter counts: 9999999 is followed by 0000000.
    EXPECT_EQ(next, "0000001");
    EXPECT_EQ(Printer().DocumentsPrinted(), 3);
    EXPECT_EQ(Printer().PagesPrinted(), 3);

    std::vector<std::string> numbers;
    for (const Call& c : Texts())
        if (c.font.sizePt == 11)
            numbers.push_back(c.text);
    EXPECT_EQ(numbers, (std::vector<std::string>{"9214 7123 4567 8999 9999 86", "9214 7123 4567 8999 9999 93",
                                                 "9214 7123 4567 8900 0000 08"}));
}

TEST_F(Labels, BlankFormLabelsUseTheLastMailersSenderZip)
{
    InstallPrinter(300, 300);
    std::string data;
    PrintMailerForm(SampleMailer(), true, 1, CallerFont(), data);  // sender ZIP 62701
    Printer().Clear();

    EXPECT_EQ(PrintBlankBarcodeLabels(1, 1, "123456789", "0000001", "1", "1", CallerFont(), true), "0000002");
    const auto images = Images();
    ASSERT_EQ(images.size(), 4u);  // the article barcodes of the form, no ZIP barcode
    EXPECT_EQ(images[0].x, 62 * 3 + 3);
    EXPECT_TRUE(Printer().FindText(kTextF));
    REQUIRE_TOOLS("zbarimg");
    EXPECT_EQ(barcodetest::Decode(images[0].image), Scanned("42062701" + kDataT.substr(8)));
    EXPECT_EQ(barcodetest::Decode(images[1].image), Scanned("42000000" + kDataF.substr(8)));
}

TEST_F(Labels, BlankLabelsWithASerialThatIsNoNumberPrintNothing)
{
    InstallPrinter(300, 300);
    EXPECT_THROW(PrintBlankBarcodeLabels(2, 2, "123456789", "12A", "0", "0", CallerFont(), true), rtl::EConvertError);
    EXPECT_TRUE(Printer().Calls().empty());
    EXPECT_EQ(PrintBlankBarcodeLabels(0, 2, "123456789", "0000005", "0", "0", CallerFont(), true), "0000005");
    EXPECT_TRUE(Printer().Calls().empty());
}
