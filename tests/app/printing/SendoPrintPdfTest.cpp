// The form and a label sheet printed to PDF, checked with poppler and zbar.

#include "tests/app/printing/SendoPrintTestSupport.h"

#include "platform/print/QtPrintDevice.h"
#include "platform/rtl/CodePages.h"

#include <QDir>
#include <QImage>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <sstream>

using namespace sendoprinttest;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {



std::string Q(const std::string& path)
{
    return barcodetest::ShellQuote(path);
}

int PageCount(const std::string& pdf)
{
    std::istringstream out(RunCommand("pdfinfo " + Q(pdf)).output);
    for (std::string key; out >> key;)
        if (key == "Pages:") {
            int pages = -1;
            out >> pages;
            return pages;
        }
    return -1;
}

// Lines of the encoding column of `pdfimages -list` (skipping the two header lines).
std::vector<std::string> ImageEncodings(const std::string& pdf)
{
    std::istringstream out(RunCommand("pdfimages -list " + Q(pdf)).output);
    std::vector<std::string> encodings;
    std::string line;
    std::getline(out, line);
    std::getline(out, line);
    while (std::getline(out, line)) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string w; fields >> w;)
            words.push_back(w);
        if (words.size() > 8)
            encodings.push_back(words[8]);  // page num type width height color comp bpc enc
    }
    return encodings;
}

// How often zbarimg reads each text from the PDF's images.
std::map<std::string, int> DecodedImages(const std::string& pdf, const TempDir& dir)
{
    const std::string prefix = (dir / "img").string();
    RunCommand("pdfimages -png " + Q(pdf) + " " + Q(prefix));
    std::map<std::string, int> decoded;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().extension() != ".png")
            continue;
        std::string text =
            RunCommand("zbarimg --raw -q " + Q(entry.path().string()) + " 2>/dev/null").output;
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        if (!text.empty())
            ++decoded[text];
    }
    return decoded;
}

bool EmbedsFont(const std::string& pdf, const std::string& family)
{
    std::istringstream out(RunCommand("pdffonts " + Q(pdf)).output);
    for (std::string line; std::getline(out, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string w; fields >> w;)
            words.push_back(w);
        // name ... emb sub uni object generation; subset names carry a "ABCDEF+" prefix
        if (words.size() >= 6 && words[0].find(family) != std::string::npos && words[words.size() - 5] == "yes")
            return true;
    }
    return false;
}

// A printer that sends each line of the card's return address to a PDF of
// its own and everything else to a first one, so that the pages rendered
// tell each line's pixels from the ink around them. It measures as the
// first one does, and keeps the lines as drawn.
class SplitPdfPrinter final : public print::PrintDevice {
public:
    SplitPdfPrinter(const TempDir& dir, int dpi)
    {
        for (int i = 0; i <= 5; ++i)
            parts_.push_back(print::QtPrintDevice::ForPdf((dir / ("part" + std::to_string(i) + ".pdf")).string(), dpi));
    }
    int DpiX() const override { return parts_[0]->DpiX(); }
    int DpiY() const override { return parts_[0]->DpiY(); }
    int OffsetX() const override { return 0; }
    int OffsetY() const override { return 0; }
    void BeginDoc() override { for (auto& part : parts_) part->BeginDoc(); }
    void EndDoc() override { for (auto& part : parts_) part->EndDoc(); }
    void NewPage() override { for (auto& part : parts_) part->NewPage(); }
    bool Printing() const override { return parts_[0]->Printing(); }
    void TextOut(int x, int y, const std::string& text, const print::FontSpec& font) override
    {
        const int line = ReturnLine(x, y, font);
        if (line >= 0)
            lines[static_cast<std::size_t>(line)] = {x, y, text};
        parts_[static_cast<std::size_t>(line + 1)]->TextOut(x, y, text, font);
    }
    print::TextSize TextExtent(const std::string& text, const print::FontSpec& font) override
    {
        return parts_[0]->TextExtent(text, font);
    }
    std::vector<print::PixelBox> CharacterInk(const std::string& text, const print::FontSpec& font) override
    {
        return parts_[0]->CharacterInk(text, font);
    }
    void StretchDraw(int x, int y, int width, int height, const QImage& image) override
    {
        parts_[0]->StretchDraw(x, y, width, height, image);
    }

    std::string File(int part) const { return parts_[static_cast<std::size_t>(part)]->OutputFiles().at(0); }

    struct Line {
        int x = 0, y = 0;
        std::string text;
    };
    std::array<Line, 5> lines;

private:
    // Which of the return address's lines (reading downwards from 3.80 in,
    // at 4.30 in and 0.15 in apart leftwards) a text is, or -1.
    int ReturnLine(int x, int y, const print::FontSpec& font) const
    {
        const int dpi = DpiX();
        if (font.angle != 2700 || font.sizePt != 10 || y != 380 * dpi / 100)
            return -1;
        for (int i = 0; i < 5; ++i)
            if (x == (430 - 15 * i) * dpi / 100)
                return i;
        return -1;
    }
    std::vector<std::unique_ptr<print::QtPrintDevice>> parts_;
};

// The dark pixels (grey below half) of a PDF's page rendered at `dpi` over
// `area` (pixels of the page).
std::vector<bool> DarkPixels(const std::string& pdf, int dpi, const print::PixelBox& area, const TempDir& dir)
{
    const std::string png = (dir / "render").string();
    const int width = area.right - area.left, height = area.bottom - area.top;
    EXPECT_EQ(RunCommand("pdftoppm -r " + std::to_string(dpi) + " -x " + std::to_string(area.left) + " -y " +
                         std::to_string(area.top) + " -W " + std::to_string(width) + " -H " + std::to_string(height) +
                         " -gray -png -singlefile " + Q(pdf) + " " + Q(png))
                  .status,
              0);
    const QImage page = QImage(QString::fromStdString(png + ".png")).convertToFormat(QImage::Format_Grayscale8);
    EXPECT_EQ(page.width(), width);
    std::vector<bool> dark(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), false);
    for (int y = 0; y < std::min(height, page.height()); ++y) {
        const uchar* row = page.constScanLine(y);
        for (int x = 0; x < std::min(width, page.width()); ++x)
            dark[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                row[x] < 128;
    }
    return dark;
}

class FormToPdf : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("pdftotext", "pdfimages", "pdffonts", "pdfinfo", "zbarimg");
        barcodetest::EnsureApplication();
        gLabelRow = 0;
        gLabelCol = 0;
    }
    void TearDown() override { print::SetPrinter(nullptr); }
    TempDir dir;
};

}  // namespace

TEST_P(FormToPdf, TextsBarcodesAndFontsSurviveIntoThePdf)
{
    const std::string pdf = (dir / "form.pdf").string();
    print::SetPrinter(print::QtPrintDevice::ForPdf(pdf, GetParam()));
    std::string data;
    PrintMailerForm(SampleMailer(), true, 1, CallerFont(), data);
    ASSERT_EQ(data, kDataT);
    ASSERT_EQ(PageCount(pdf), 1);

    const std::string text = RunCommand("pdftotext " + Q(pdf) + " -").output;
    for (const std::string& expected : {kTextT, kTextF, std::string("RECEIPT"), std::string("POSTMARK OR DATE"),
                                        std::string("SPRINGFIELD IL 62701"), std::string("JANE ROE"),
                                        std::string("Certified Fee"), std::string("$ 9.90")})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;

    const auto encodings = ImageEncodings(pdf);
    EXPECT_EQ(encodings.size(), 5u);
    for (const std::string& encoding : encodings)
        EXPECT_NE(encoding, "jpeg");

    TempDir images;
    const auto decoded = DecodedImages(pdf, images);
    EXPECT_EQ(decoded, (std::map<std::string, int>{{Scanned(kDataT), 2}, {Scanned(kDataF), 2}}));

    EXPECT_TRUE(EmbedsFont(pdf, "OCRA")) << RunCommand("pdffonts " + Q(pdf)).output;
    EXPECT_TRUE(EmbedsFont(pdf, "LiberationSans"));
}

INSTANTIATE_TEST_SUITE_P(Resolutions, FormToPdf, ::testing::Values(300, 600));

// Senders whose accents, cedillas, parentheses and descenders sit close to
// other ink: on the page as rendered, no pixel of a return-address line
// touches a pixel of ink drawn before it (its earlier lines included) or of
// anything else on the form, at any of the printers' usual resolutions.
TEST_F(FormToPdf, NoPixelOfTheReturnAddressTouchesOtherInk)
{
    REQUIRE_TOOLS("pdftoppm");
    const std::vector<std::vector<std::string>> senders = {
        {"José Núñez Law Office", "Österreich Trading Company", "École de Droit Montpellier Associés"},
        {"Garçon Consulting (USA) Inc.", "Édifice Laurier, Suite 200", "Springfield IL 62701-9999"},
        {"QUEEN JQ, GPQ; ÇA VA (QQ) JJJJ QQQQ ,,,,", "ÉÉÉÉÉÉÉÉÉÉ ÅÅÅÅ ÖÖÖÖ ÊÊÊÊ ÁÁÁÁ", ""},
    };
    for (const int dpi : {203, 300, 600, 1200}) {
        for (const auto& sender : senders) {
            SCOPED_TRACE(std::to_string(dpi) + " dpi, " + sender[0]);
            TempDir parts;
            auto device = std::make_unique<SplitPdfPrinter>(parts, dpi);
            SplitPdfPrinter& printer = *device;
            print::SetPrinter(std::move(device));
            MailerPrintFields rec = SampleMailer();
            rec[0] = sender[0];
            rec[1] = sender[1];
            rec[2] = sender[2];
            rec[3] = "";
            std::string data;
            PrintMailerForm(rec, true, 1, CallerFont(), data);
            EXPECT_EQ(printer.lines[0].text, rtl::AnsiUpperCase(sender[0]));

            // The strip of the card the lines run down, from 3.40 to 4.50 in
            // across and from 3.70 in to the paper's foot.
            const print::PixelBox strip{340 * dpi / 100, 370 * dpi / 100, 450 * dpi / 100, 1100 * dpi / 100};
            const int width = strip.right - strip.left, height = strip.bottom - strip.top;
            std::vector<bool> before = DarkPixels(printer.File(0), dpi, strip, parts);
            int linePixels = 0;
            for (int line = 0; line < 5; ++line) {
                if (printer.lines[static_cast<std::size_t>(line)].text.empty())
                    continue;
                const std::vector<bool> own = DarkPixels(printer.File(line + 1), dpi, strip, parts);
                int touching = 0;
                for (int y = 1; y + 1 < height; ++y)
                    for (int x = 1; x + 1 < width; ++x) {
                        if (!own[static_cast<std::size_t>(y * width + x)])
                            continue;
                        ++linePixels;
                        for (int dy = -1; dy <= 1; ++dy)
                            for (int dx = -1; dx <= 1; ++dx)
                                touching += before[static_cast<std::size_t>((y + dy) * width + x + dx)] ? 1 : 0;
                    }
                EXPECT_EQ(touching, 0) << "line " << line + 1 << " \"" << printer.lines[static_cast<std::size_t>(line)].text << "\"";
                for (std::size_t i = 0; i < own.size(); ++i)
                    before[i] = before[i] || own[i];
            }
            EXPECT_GT(linePixels, 0);
            print::SetPrinter(nullptr);
        }
    }
}

TEST_F(FormToPdf, ALabelSheetIsOnePageWithNineLabelsAndNothingAfterIt)
{
    const std::string pdf = (dir / "sheet.pdf").string();
    auto device = print::QtPrintDevice::ForPdf(pdf, 300);
    print::QtPrintDevice* printer = device.get();
    print::SetPrinter(std::move(device));
    {
        TPrintJob job;
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) {
                gLabelRow = row;
                gLabelCol = col;
                MailerPrintFields rec = SampleMailer();
                rec[16] = "000000" + std::to_string(row * 3 + col + 1);
                std::string data;
                PrintMailerForm(rec, true, 2, CallerFont(), data);
            }
        job.End();
    }
    EXPECT_EQ(printer->OutputFiles(), std::vector<std::string>{pdf});
    EXPECT_EQ(PageCount(pdf), 1);

    const std::string text = RunCommand("pdftotext " + Q(pdf) + " -").output;
    for (const char* number : {"9214 7123 4567 8900 0000 15", "9214 7123 4567 8900 0000 22",
                               "9214 7123 4567 8900 0000 91"})
        EXPECT_NE(text.find(number), std::string::npos) << number << "\n" << text;
    TempDir images;
    const auto decoded = DecodedImages(pdf, images);
    EXPECT_EQ(decoded.size(), 9u);
    EXPECT_EQ(decoded.count(Scanned(kDataT)), 1u);
}
