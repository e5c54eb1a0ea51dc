// The certified-mail form on a recording printer: every text and barcode at
// the integer position of its place on the form.

#include "tests/app/printing/SendoPrintTestSupport.h"

#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <tuple>

using namespace sendoprinttest;

namespace {

constexpr const char* kOcr = "OCR A Extended";

// A text as it should reach the printer: place in hundredths of an inch.
struct Placed {
    std::string text;
    std::string face;
    int sizePt;
    int angle;
    int hx;
    int hy;
    bool endsAtX = false;  // upside-down text whose end lies at hx
};

// The form's texts for SampleMailer() with barcodes on and no extra label.
std::vector<Placed> SampleFormTexts()
{
    std::vector<Placed> t = {
        {kTextT, kOcr, 11, 1800, 308, 402},
        {kTextF, kOcr, 11, 1800, 720, 492},
        {kTextF, kOcr, 10, 1800, 760, 78},
        {kTextT, kOcr, 10, 1800, 770, 45},
        {kTextT, kOcr, 10, 2700, 791, 380},
        {kTextT, kOcr, 8, 2700, 810, 146},
        {kTextT, "Arial", 6, 1800, 147, 317},
        {"RE: Case 42", kOcr, 10, 1800, 750, 395},
        {"RE: Case 42", kOcr, 10, 2700, 821, 380},
        {"Final notice", kOcr, 10, 2700, 806, 380},
        {"Sendora Office", "Arial", 6, 1800, 145, 288},
        {"RE: Case 42", "Arial", 6, 1800, 145, 278},
        {"Final notice", "Arial", 6, 1800, 145, 268},
        {"PB: Clerk", "Arial", 6, 1800, 145, 248},
        {"2.40", "Arial", 6, 1800, 30, 143, true},
        {"4.15", "Arial", 6, 1800, 30, 133, true},
        {"3.35", "Arial", 6, 1800, 30, 123, true},
        {"0.00", "Arial", 6, 1800, 30, 113, true},
        {"", "Arial", 6, 1800, 30, 103, true},
        {"Postage", "Arial", 6, 1800, 145, 143},
        {"Certified Fee", "Arial", 6, 1800, 145, 133},
        {"Return Receipt", "Arial", 6, 1800, 145, 123},
        {"Restricted", "Arial", 6, 1800, 145, 113},
        {"Priority", "Arial", 6, 1800, 145, 103},
        {"RECEIPT", "Arial", 8, 1800, 130, 330},
        {"FROM:", "Arial", 8, 1800, 140, 302},
        {"SEND TO:", "Arial", 8, 1800, 140, 228},
        {"FEES:", "Arial", 8, 1800, 140, 158},
        {"TOTAL", "Arial", 8, 1800, 140, 88},
        {"POSTMARK OR DATE", "Arial", 8, 1800, 140, 73},
        {"$ 9.90", "Arial", 8, 1800, 30, 88, true},
    };
    const std::vector<std::string> sender = {"SENDORA OFFICE", "12 MAIN ST", "SUITE 5", "", "SPRINGFIELD IL 62701"};
    const std::vector<std::string> recipient = {"JANE ROE", "400 ELM AVE", "APT 2", "", "DOVER DE 12345"};
    const std::vector<std::string> recipientAsTyped = {"Jane Roe", "400 Elm Ave", "Apt 2", "", "Dover DE 12345"};
    const int step15[] = {0, 15, 30, 45, 60};
    for (int i = 0; i < 5; ++i) {
        t.push_back({sender[i], kOcr, 10, 1800, 750, 465 - step15[i]});
        t.push_back({sender[i], kOcr, 10, 1800, 755, 300 - step15[i]});
        t.push_back({recipient[i], kOcr, 10, 1800, 710, 670 - step15[i]});
        t.push_back({recipient[i], kOcr, 10, 1800, 755, 200 - step15[i]});
        t.push_back({sender[i], kOcr, 10, 2700, 430 - step15[i], 380});
        t.push_back({recipientAsTyped[i], "Arial", 6, 1800, 145, 213 - 10 * i});
    }
    return t;
}

using TextKey = std::tuple<std::string, std::string, int, int, int, int>;

std::multiset<TextKey> Expected(const std::vector<Placed>& placed, int dpi, int off, int alignX, int alignY,
                                int charWidth)
{
    std::multiset<TextKey> keys;
    for (const Placed& p : placed) {
        int x = p.hx * dpi / 100 - off + 3 * alignX;
        if (p.endsAtX)
            x += charWidth * static_cast<int>(p.text.size());
        keys.insert({p.text, p.face, p.sizePt, p.angle, x, p.hy * dpi / 100 - off + 3 * alignY});
    }
    return keys;
}

std::multiset<TextKey> Recorded(const std::vector<Call>& texts)
{
    std::multiset<TextKey> keys;
    for (const Call& c : texts)
        keys.insert({c.text, c.font.name, c.font.sizePt, c.font.angle, c.x, c.y});
    return keys;
}

std::string Describe(const std::multiset<TextKey>& keys)
{
    std::string out;
    for (const auto& [text, face, size, angle, x, y] : keys)
        out += "  \"" + text + "\" " + face + " " + std::to_string(size) + "pt " + std::to_string(angle) + " at (" +
               std::to_string(x) + ", " + std::to_string(y) + ")\n";
    return out;
}

void ExpectSameTexts(const std::multiset<TextKey>& expected, const std::multiset<TextKey>& recorded)
{
    std::multiset<TextKey> missing, extra;
    std::set_difference(expected.begin(), expected.end(), recorded.begin(), recorded.end(),
                        std::inserter(missing, missing.end()));
    std::set_difference(recorded.begin(), recorded.end(), expected.begin(), expected.end(),
                        std::inserter(extra, extra.end()));
    EXPECT_TRUE(missing.empty() && extra.empty()) << "missing:\n" << Describe(missing) << "unexpected:\n"
                                                  << Describe(extra);
}

// One image as it should be drawn: place in pixels, drawn size, bitmap size.
struct Drawn {
    int x, y, width, height, bitmapWidth, bitmapHeight;
};

void ExpectImage(const Call& call, const Drawn& d)
{
    EXPECT_EQ(call.x, d.x);
    EXPECT_EQ(call.y, d.y);
    EXPECT_EQ(call.width, d.width);
    EXPECT_EQ(call.height, d.height);
    EXPECT_EQ(call.image.width(), d.bitmapWidth);
    EXPECT_EQ(call.image.height(), d.bitmapHeight);
}

struct Resolution {
    int dpi;
    int off;
};
void PrintTo(const Resolution& r, std::ostream* os)
{
    *os << r.dpi << " dpi, offset " << r.off;
}

class FormOnRecordingPrinter : public RecordingPrinterTest, public ::testing::WithParamInterface<Resolution> {};

}  // namespace

TEST_P(FormOnRecordingPrinter, EveryTextLandsAtItsPlaceAndNoOtherTextIsPrinted)
{
    const auto [dpi, off] = GetParam();
    Device& device = InstallPrinter(dpi, dpi, off, off);
    std::string data;
    PrintMailerForm(SampleMailer(), true, 1, CallerFont(), data);

    EXPECT_EQ(data, kDataT);
    ExpectSameTexts(Expected(SampleFormTexts(), dpi, off, 0, 0, device.CharWidth()), Recorded(Texts()));
}

TEST_P(FormOnRecordingPrinter, BarcodesAreDrawnAtTheirPlacesAndSizes)
{
    const auto [dpi, off] = GetParam();
    InstallPrinter(dpi, dpi, off, off);
    std::string data;
    PrintMailerForm(SampleMailer(), true, 1, CallerFont(), data);

    const auto images = Images();
    ASSERT_EQ(images.size(), 5u);  // four article barcodes, the sender's ZIP
    auto px = [&](int hundredths) { return hundredths * dpi / 100 - off; };
    // Modules: 0.015 in is 4.5 pixels at 300 dpi, which goes to the even 4.
    if (dpi == 300) {
        ExpectImage(images[0], {px(62), px(410), 750, 225, 242 * 4, 225});
        ExpectImage(images[1], {px(470), px(500), 750, 225, 242 * 4, 225});
        ExpectImage(images[2], {px(520), px(80), 750, 120, 242 * 4, 120});
        ExpectImage(images[3], {px(781), px(100), 30, 242 * 3, 30, 242 * 3});
        ExpectImage(images[4], {px(530), px(355), 83 * 7, 42, 83 * 7, 42});
    } else {
        ExpectImage(images[0], {px(62), px(410), 1500, 450, 242 * 9, 450});
        ExpectImage(images[1], {px(470), px(500), 1500, 450, 242 * 9, 450});
        ExpectImage(images[2], {px(520), px(80), 1500, 240, 242 * 9, 240});
        ExpectImage(images[3], {px(781), px(100), 60, 242 * 6, 60, 242 * 6});
        ExpectImage(images[4], {px(530), px(355), 83 * 14, 84, 83 * 14, 84});
    }
    REQUIRE_TOOLS("zbarimg");
    EXPECT_EQ(barcodetest::Decode(images[0].image), Scanned(kDataT));
    EXPECT_EQ(barcodetest::Decode(images[1].image), Scanned(kDataF));
    EXPECT_EQ(barcodetest::Decode(images[2].image), Scanned(kDataF));
    EXPECT_EQ(barcodetest::Decode(images[3].image), Scanned(kDataT));
}

INSTANTIATE_TEST_SUITE_P(Resolutions, FormOnRecordingPrinter,
                         ::testing::Values(Resolution{300, 0}, Resolution{300, 19}, Resolution{600, 0},
                                           Resolution{600, 37}),
                         [](const auto& info) {
                             return std::to_string(info.param.dpi) + "dpi_offset" + std::to_string(info.param.off);
                         });

class FormPlaces : public RecordingPrinterTest {};

TEST_F(FormPlaces, AlignmentStepsMoveEverythingByThreePixelsEach)
{
    InstallPrinter(300, 300, 12, 12);
    std::string data;
    PrintMailerForm(SampleMailer(), true, 1, CallerFont(), data);
    const std::vector<Call> plain = Printer().Calls();

    InstallPrinter(300, 300, 12, 12);
    MailerPrintFields rec = SampleMailer();
    rec[22] = "5";
    rec[23] = "-2";
    PrintMailerForm(rec, true, 1, CallerFont(), data);
    const std::vector<Call>& moved = Printer().Calls();

    ASSERT_EQ(moved.size(), plain.size());
    for (std::size_t i = 0; i < moved.size(); ++i) {
        if (moved[i].op != Op::TextOut && moved[i].op != Op::StretchDraw)
            continue;
        EXPECT_EQ(moved[i].x, plain[i].x + 15) << i << " " << moved[i].text;
        EXPECT_EQ(moved[i].y, plain[i].y - 6) << i << " " << moved[i].text;
    }
}

TEST_F(FormPlaces, PositionsAreExactAtResolutionsThatDoNotDivideEvenly)
{
    // 203 dpi with a 60-pixel margin: 4.02 in is 816.06 pixels, 0.15 in lies
    // 29.55 pixels outside the margin (truncated towards zero, as the
    // inch-based formula does), and 2.5 in is 507.5 pixels, which goes to 508.
    InstallPrinter(203, 203, 60, 60);
    MailerPrintFields rec = SampleMailer();
    rec[24] = "Yes";
    rec[11] = "12345-6789";
    std::string data;
    PrintMailerForm(rec, true, 1, CallerFont(), data);

    const Call turned = Text(kTextT);  // (3.08, 4.02)
    EXPECT_EQ(turned.x, 625 - 60);
    EXPECT_EQ(turned.y, 816 - 60);
    const auto images = Images();
    ASSERT_EQ(images.size(), 6u);
    EXPECT_EQ(images[0].width, 508);
    EXPECT_EQ(images[0].height, 152);  // 0.75 in: 152.25
    EXPECT_EQ(images[0].image.width(), 242 * 3);  // 0.015 in: 3.045
    EXPECT_EQ(images[5].x, -29);  // recipient ZIP+4 at 0.15 in
    EXPECT_EQ(images[5].y, 1142 - 60);  // 5.63 in: 1142.89
}

TEST_F(FormPlaces, WithoutBarcodesOnlyTheZipBarcodesArePrintedAndDataIsTheCallersText)
{
    InstallPrinter(300, 300);
    MailerPrintFields rec = SampleMailer();
    rec[15] = "420999999214712345678900000015";
    rec[16] = "";
    rec[24] = "Yes";
    std::string data = "stale";
    PrintMailerForm(rec, false, 1, CallerFont(), data);

    EXPECT_EQ(data, rec[15]);
    const auto images = Images();
    ASSERT_EQ(images.size(), 2u);
    for (const Call& image : images)
        EXPECT_EQ(image.height, 42);  // POSTNET, 0.14 in
    for (const Call& text : Texts())
        EXPECT_EQ(text.text.find("9214"), std::string::npos) << text.text;
    EXPECT_EQ(LastZip(), "");  // no article number was prepared
}

TEST_F(FormPlaces, TheExtraLabelCarriesTheRecipientOrTheSender)
{
    InstallPrinter(300, 300);
    MailerPrintFields rec = SampleMailer();
    rec[24] = "Yes";
    std::string data;
    PrintMailerForm(rec, true, 1, CallerFont(), data);
    EXPECT_TRUE(Printer().FindText("JANE ROE"));
    int atExtraLabel = 0;
    for (const Call& c : Texts())
        if (c.x == 840)
            ++atExtraLabel;
    EXPECT_EQ(atExtraLabel, 5);
    EXPECT_EQ(Text("DOVER DE 12345").x, 2130);  // first of its places: the recipient block
    auto images = Images();
    ASSERT_EQ(images.size(), 6u);
    EXPECT_EQ(images[5].x, 324);  // a five-digit recipient ZIP at 1.08 in
    EXPECT_EQ(images[5].y, 1689);

    InstallPrinter(300, 300);
    rec[25] = "Your Name and Address";
    PrintMailerForm(rec, true, 1, CallerFont(), data);
    std::vector<std::string> extra;
    for (const Call& c : Texts())
        if (c.x == 840)
            extra.push_back(c.text);
    EXPECT_EQ(extra, (std::vector<std::string>{"SENDORA OFFICE", "12 MAIN ST", "SUITE 5", "", "SPRINGFIELD IL 62701"}));
    EXPECT_EQ(Images().size(), 5u);  // no recipient ZIP barcode for the sender's label
}

// Every Windows-1252 letter with a capital is upper-cased in the texts the
// form upper-cases (ß has none); the receipt and the label print as entered.
TEST_F(FormPlaces, AccentedNamesAreUpperCasedInTheUpperCasedBlocksAndKeptOnTheReceiptAndLabel)
{
    MailerPrintFields rec = SampleMailer();
    rec[0] = "Société Générale";
    rec[1] = "à é ñ ü ø š œ ÿ ß";
    rec[6] = "José Gómez";
    rec[7] = "Montréal Œuvre Straße";
    rec[24] = "Yes";
    const std::string sender0 = "SOCIÉTÉ GÉNÉRALE", sender1 = "À É Ñ Ü Ø Š Œ Ÿ ß";
    const std::string recipient0 = "JOSÉ GÓMEZ", recipient1 = "MONTRÉAL ŒUVRE STRAßE";
    // How often each text is printed, and where the receipt's lines are.
    auto printed = [this](const std::string& text) {
        const std::vector<Call> texts = Texts();
        return std::count_if(texts.begin(), texts.end(), [&](const Call& c) { return c.text == text; });
    };
    for (const bool toRecipient : {true, false}) {
        SCOPED_TRACE(toRecipient ? "extra label to the recipient" : "extra label to the sender");
        InstallPrinter(300, 300);
        rec[25] = toRecipient ? "Addressed To" : "Your Name and Address";
        std::string data;
        PrintMailerForm(rec, true, 1, CallerFont(), data);
        // The card's lines, the lower copy and the return address; the
        // recipient's block and its lower copy; one of them on the extra label.
        EXPECT_EQ(printed(sender0), toRecipient ? 3 : 4);
        EXPECT_EQ(printed(sender1), toRecipient ? 3 : 4);
        EXPECT_EQ(printed(recipient0), toRecipient ? 3 : 2);
        EXPECT_EQ(printed(recipient1), toRecipient ? 3 : 2);
        // The receipt, as entered, and nowhere else.
        EXPECT_EQ(Text(rec[0]).y, 288 * 3);
        EXPECT_EQ(Text(rec[6]).y, 213 * 3);
        EXPECT_EQ(Text(rec[7]).y, 203 * 3);
        for (const std::size_t field : {0u, 6u, 7u})
            EXPECT_EQ(printed(rec[field]), 1) << rec[field];
        EXPECT_EQ(printed(rec[1]), 0);
    }

    InstallPrinter(300, 300);
    {
        TPrintJob job;
        std::string data;
        PrintMailerForm(rec, true, 2, CallerFont(), data);
        job.End();
    }
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[2].text, rec[6]);
    EXPECT_EQ(texts[3].text, rec[7]);
}

TEST_F(FormPlaces, ASenderZipPlusFourMovesItsBarcodeLeft)
{
    InstallPrinter(300, 300);
    MailerPrintFields rec = SampleMailer();
    rec[5] = "62701-1234";
    std::string data;
    PrintMailerForm(rec, false, 1, CallerFont(), data);
    const auto images = Images();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].x, 1350);
    EXPECT_EQ(images[0].image.width(), (10 * 10 + 23) * 7);  // nine digits and the check digit
}

TEST_F(FormPlaces, DepartmentAndProcessorLinesAreLeftOutWhenNone)
{
    InstallPrinter(300, 300);
    MailerPrintFields rec = SampleMailer();
    rec[26] = "Legal";
    rec[27] = "-1";
    std::string data;
    PrintMailerForm(rec, true, 1, CallerFont(), data);
    EXPECT_EQ(Text("DP: Legal").y, 774);
    for (const Call& c : Texts())
        EXPECT_NE(c.text.rfind("PB: ", 0), 0u) << c.text;
}

TEST_F(FormPlaces, TheReceiptUsesTheCallersFaceAndTheFormUsesOcrA)
{
    InstallPrinter(300, 300);
    std::string data;
    PrintMailerForm(SampleMailer(), true, 1, QFont(QStringLiteral("Courier New")), data);
    EXPECT_EQ(Text("RECEIPT").font, (print::FontSpec{"Courier New", 8, 1800}));
    EXPECT_EQ(Text("RE: Case 42").font, (print::FontSpec{"OCR A Extended", 10, 1800}));
}

TEST_F(FormPlaces, ArticleZipsArePaddedOrZeroedAndTheSenderZipIsKept)
{
    InstallPrinter(300, 300);
    MailerPrintFields rec = SampleMailer();
    rec[11] = "1234";
    rec[5] = "ABCDE";
    std::string data;
    PrintMailerForm(rec, true, 1, CallerFont(), data);
    EXPECT_EQ(data.substr(0, 8), "42001234");
    EXPECT_EQ(data.substr(8), kDataT.substr(8));
    EXPECT_EQ(LastZip(), "00000");

    rec[5] = "62701-1234";
    PrintMailerForm(rec, true, 1, CallerFont(), data);
    EXPECT_EQ(LastZip(), "62701");
}

TEST(ArticleZip5, TakesTheFirstFiveCharactersAsANumber)
{
    EXPECT_EQ(ArticleZip5("12345-6789"), "12345");
    EXPECT_EQ(ArticleZip5("1234"), "01234");
    EXPECT_EQ(ArticleZip5(" 123"), "00123");
    EXPECT_EQ(ArticleZip5("ABCDE"), "00000");
    EXPECT_EQ(ArticleZip5(""), "00000");
    EXPECT_EQ(ArticleZip5("     "), "00000");
    // Signs would put a "-" into the barcode data.
    EXPECT_EQ(ArticleZip5("-1234"), "00000");
    EXPECT_EQ(ArticleZip5("1234-"), "00000");
}

TEST_F(FormPlaces, AFailingPrinterEndsTheJobAndTheErrorReachesTheCaller)
{
    InstallPrinter(300, 300);
    Printer().FailAt(Op::StretchDraw, 3);
    std::string data = "untouched";
    EXPECT_THROW(PrintMailerForm(SampleMailer(), true, 1, CallerFont(), data), print::EPrintError);
    EXPECT_FALSE(Printer().Printing());
    EXPECT_EQ(Printer().CallsOf(Op::EndDoc).size(), 1u);
    EXPECT_EQ(data, "untouched");

    // The next form prints normally.
    Printer().Clear();
    PrintMailerForm(SampleMailer(), true, 1, CallerFont(), data);
    EXPECT_EQ(Printer().DocumentsPrinted(), 1);
}

TEST_F(FormPlaces, AnAlignmentThatIsNoNumberPrintsNothing)
{
    InstallPrinter(300, 300);
    MailerPrintFields rec = SampleMailer();
    rec[23] = "x";
    std::string data;
    EXPECT_THROW(PrintMailerForm(rec, true, 1, CallerFont(), data), rtl::EConvertError);
    EXPECT_TRUE(Printer().Calls().empty());
}

// The longest texts the entry fields allow, in the widest letters, on the
// form and in every cell of a label sheet: measured with the installed faces,
// each text lies on the Letter paper, and each label's inside its cell.
TEST_F(FormPlaces, LongestTextsStayOnThePaperAndInTheirLabels)
{
    const std::string line(50, 'W');  // an address line: the log keeps 50
    MailerPrintFields rec = SampleMailer();
    for (int i : {0, 1, 2, 3, 6, 7, 8, 9})
        rec[static_cast<std::size_t>(i)] = line;
    rec[4] = rec[10] = std::string(35, 'M') + " WWWW 12345-6789";  // city, state, ZIP+4
    rec[12] = std::string(25, 'W');
    rec[13] = std::string(35, 'W');
    rec[26] = rec[27] = std::string(20, 'W');
    rec[17] = rec[18] = rec[19] = rec[20] = rec[21] = rec[29] = "99999999999.99";
    rec[24] = "Yes";  // the extra label's copy starts 2.8 in from the edge

    for (const auto& [dpi, offset] : {std::pair{300, 0}, std::pair{600, 37}}) {
        SCOPED_TRACE(std::to_string(dpi) + " dpi");
        InstallPrinter(dpi, dpi, offset, offset).SetMeasureWithFonts(true);
        std::string data;
        PrintMailerForm(rec, true, 1, CallerFont(), data);
        const std::size_t formTexts = Texts().size();
        {
            TPrintJob job;
            for (gLabelRow = 0; gLabelRow < 3; ++gLabelRow)
                for (gLabelCol = 0; gLabelCol < 3; ++gLabelCol) PrintMailerForm(rec, true, 2, CallerFont(), data);
            job.End();
        }

        int cut = 0;
        for (const Call& c : Texts()) {
            const Device::Box box = Printer().TextBox(c);
            EXPECT_GE(box.left, 0) << c.text;
            EXPECT_GE(box.top, 0) << c.text;
            EXPECT_LE(box.right, dpi * 85 / 10) << c.text;
            EXPECT_LE(box.bottom, dpi * 11) << c.text;
            cut += c.text.size() < 27 && c.text.find_first_not_of('W') == std::string::npos;
        }
        EXPECT_GT(cut, 0) << "some texts must have been too long";

        // Label texts read downwards and end inside their 3.7 in cell: four
        // texts a label (two numbers, two lines), columns down the sheet.
        const auto texts = Texts();
        ASSERT_EQ(texts.size(), formTexts + 36);
        for (std::size_t i = formTexts; i < texts.size(); ++i) {
            const int col = static_cast<int>((i - formTexts) / 4 % 3);
            EXPECT_LE(Printer().TextBox(texts[i]).bottom, dpi * 37 * (col + 1) / 10) << texts[i].text;
        }
        // The receipt's number is whole, in the caller's face.
        EXPECT_EQ(Text(kTextT).font.name, kOcr);
        bool receipt = false;
        for (const Call& c : Texts())
            receipt = receipt || (c.text == kTextT && c.font == print::FontSpec{"Arial", 6, 1800});
        EXPECT_TRUE(receipt);
    }
}
