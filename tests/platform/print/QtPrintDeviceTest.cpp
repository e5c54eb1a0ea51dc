#include "platform/print/QtPrintDevice.h"

#include "tests/support/QtTestApp.h"
#include "TestSupport.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <sstream>

using print::EPrintError;
using print::FontSpec;
using print::QtPrintDevice;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

#define REQUIRE_POPPLER() REQUIRE_TOOLS("pdftotext", "pdfimages", "pdffonts", "pdfinfo")

int PageCount(const std::string& pdf)
{
    std::istringstream out(RunCommand("pdfinfo '" + pdf + "'").output);
    for (std::string key; out >> key;)
        if (key == "Pages:") {
            int pages = -1;
            out >> pages;
            return pages;
        }
    return -1;
}

struct Box {
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

// The bounding box, in points, of the first word `word` on the first page.
std::optional<Box> WordBox(const std::string& pdf, const std::string& word)
{
    // Lines look like: <word xMin="72.000" yMin="144.0" xMax="130.2" yMax="157.6">TEXT</word>
    std::istringstream out(RunCommand("pdftotext -bbox '" + pdf + "' -").output);
    for (std::string line; std::getline(out, line);) {
        const auto close = line.find('>');
        if (line.find("<word ") == std::string::npos || close == std::string::npos ||
            line.substr(close + 1, line.find('<', close) - close - 1) != word)
            continue;
        auto attr = [&line](const std::string& name) {
            const auto at = line.find(name + "=\"");
            return std::stod(line.substr(at + name.size() + 2));
        };
        return Box{attr("xMin"), attr("yMin"), attr("xMax"), attr("yMax")};
    }
    return std::nullopt;
}

// A 1-bit-looking pattern with sharp edges that any lossy codec would blur.
QImage StripeImage()
{
    QImage image(61, 17, QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, ((x / 2 + y / 5) % 2) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}

class PdfDevice : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        REQUIRE_POPPLER();
        testsupport::EnsureQtApp();
    }
    TempDir dir;
};

}  // namespace

TEST_P(PdfDevice, TextLandsAtItsPixelPositionAndTurnsWithItsAngle)
{
    const int dpi = GetParam();
    const std::string pdf = (dir / "text.pdf").string();
    auto device = QtPrintDevice::ForPdf(pdf, dpi);
    device->BeginDoc();
    // One inch from the left, two inches down: 72 and 144 points.
    device->TextOut(dpi, 2 * dpi, "UPRIGHT", {"Arial", 12, 0});
    // Upside down at (5 in, 5 in): the word runs leftwards and upwards from there.
    device->TextOut(5 * dpi, 5 * dpi, "TURNED", {"Arial", 12, 1800});
    // Reading downwards at (7 in, 1 in): the word runs downwards, its cell to the left.
    device->TextOut(7 * dpi, dpi, "DOWNWARDS", {"Arial", 12, 2700});
    device->EndDoc();

    const auto upright = WordBox(pdf, "UPRIGHT");
    ASSERT_TRUE(upright);
    EXPECT_NEAR(upright->xMin, 72, 1.5);
    EXPECT_NEAR(upright->yMin, 144, 1.5);
    EXPECT_NEAR(upright->yMax - upright->yMin, 12 * 1.15, 2.5);

    const auto turned = WordBox(pdf, "TURNED");
    ASSERT_TRUE(turned);
    EXPECT_NEAR(turned->xMax, 360, 1.5);
    EXPECT_NEAR(turned->yMax, 360, 1.5);
    EXPECT_LT(turned->xMin, 360 - 40);

    const auto down = WordBox(pdf, "DOWNWARDS");
    ASSERT_TRUE(down);
    EXPECT_NEAR(down->yMin, 72, 1.5);
    EXPECT_NEAR(down->xMax, 504, 1.5);
    EXPECT_GT(down->yMax, 72 + 60);
}

TEST_P(PdfDevice, ImagesAreStoredLosslesslyAtTheirOwnSize)
{
    const std::string pdf = (dir / "img.pdf").string();
    const QImage stripes = StripeImage();
    auto device = QtPrintDevice::ForPdf(pdf, GetParam());
    device->BeginDoc();
    device->StretchDraw(100, 100, 500, 60, stripes);
    device->EndDoc();

    const auto list = RunCommand("pdfimages -list '" + pdf + "'").output;
    EXPECT_EQ(list.find("jpeg"), std::string::npos) << list;
    ASSERT_EQ(RunCommand("pdfimages -png '" + pdf + "' '" + (dir / "out").string() + "'").status, 0);
    const QImage back = QImage(QString::fromStdString((dir / "out-000.png").string())).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_EQ(back.size(), stripes.size());
    for (int y = 0; y < back.height(); ++y)
        for (int x = 0; x < back.width(); ++x)
            ASSERT_EQ(qGray(back.pixel(x, y)), qGray(stripes.pixel(x, y))) << x << "," << y;
}

TEST_P(PdfDevice, MappedFacesAreEmbedded)
{
    const std::string pdf = (dir / "fonts.pdf").string();
    auto device = QtPrintDevice::ForPdf(pdf, GetParam());
    device->BeginDoc();
    device->TextOut(10, 10, "9214 7123", {"OCR A Extended", 10, 1800});
    device->TextOut(10, 400, "RECEIPT", {"Arial", 8, 0});
    device->TextOut(10, 800, "FEES", {"Courier New", 8, 2700});
    device->EndDoc();

    // Columns: name, type words, encoding, emb, sub, uni, object number, generation.
    std::istringstream fonts(RunCommand("pdffonts '" + pdf + "'").output);
    std::set<std::string> embedded;
    for (std::string line; std::getline(fonts, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string w; fields >> w;)
            words.push_back(w);
        if (words.size() >= 6 && words[words.size() - 5] == "yes")
            embedded.insert(words[0]);
    }
    auto has = [&](const std::string& family) {
        for (const auto& name : embedded)
            if (name.find(family) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("OCRA")) << RunCommand("pdffonts '" + pdf + "'").output;
    EXPECT_TRUE(has("LiberationSans"));
    EXPECT_TRUE(has("LiberationMono"));
}

// What the device says of a text's ink is what lands on the paper: the
// PDF, rendered at the device's resolution, has its dark pixels exactly in
// that box (give or take the pixel the rasteriser's smoothing may grey),
// which lies well inside the text's cell. Character by character likewise:
// every dark pixel lies in the box of a character (give or take that
// pixel), every character's box holds dark pixels, and the boxes together
// make the text's.
TEST_P(PdfDevice, TextInkIsWhereTheGlyphsDarkenThePage)
{
    REQUIRE_TOOLS("pdftoppm");
    const int dpi = GetParam();
    const std::string pdf = (dir / "ink.pdf").string();
    struct Sample {
        int x, y;
        std::string text;
        FontSpec font;
    };
    // Each on a page of its own; a comma reaches below the baseline.
    const std::vector<Sample> samples = {
        {2 * dpi, 2 * dpi, "ACME, WW", {"OCR A Extended", 10, 0}},
        {4 * dpi, 3 * dpi, "9290 19", {"OCR A Extended", 11, 1800}},
        {6 * dpi, 4 * dpi, "SPRING, 9", {"OCR A Extended", 10, 2700}},
        {2 * dpi, 6 * dpi, "Jq", {"Arial", 12, 900}},
        {6 * dpi, 6 * dpi, "\u00c9\u00c7A Q(J), \u00c5", {"OCR A Extended", 10, 2700}},
        {3 * dpi, 8 * dpi, "AVAWAY Ta", {"Arial", 12, 0}},
    };
    auto device = QtPrintDevice::ForPdf(pdf, dpi);
    device->BeginDoc();
    for (const Sample& s : samples) {
        device->TextOut(s.x, s.y, s.text, s.font);
        device->NewPage();
    }
    device->EndDoc();

    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        SCOPED_TRACE(s.text);
        const print::PixelBox ink = device->TextInk(s.text, s.font).Moved(s.x, s.y);
        const print::TextSize size = device->TextExtent(s.text, s.font);
        const print::PixelBox cell = print::Turned({0, 0, size.cx, size.cy}, s.font.angle).Moved(s.x, s.y);
        EXPECT_TRUE(ink.Inside(cell) && !(ink == cell));

        // The dark pixels of the page, within an inch and a half of the text's corner.
        const int left = s.x - 3 * dpi / 2, top = s.y - 3 * dpi / 2;
        const std::string page = std::to_string(i + 1), png = (dir / ("page" + page)).string();
        ASSERT_EQ(RunCommand("pdftoppm -r " + std::to_string(dpi) + " -f " + page + " -l " + page + " -x " +
                             std::to_string(left) + " -y " + std::to_string(top) + " -W " + std::to_string(3 * dpi) +
                             " -H " + std::to_string(3 * dpi) + " -gray -png -singlefile '" + pdf + "' '" + png + "'")
                      .status,
                  0);
        const QImage crop = QImage(QString::fromStdString(png + ".png")).convertToFormat(QImage::Format_Grayscale8);
        ASSERT_EQ(crop.width(), 3 * dpi);
        std::vector<print::PixelBox> characters = device->CharacterInk(s.text, s.font);
        print::PixelBox together;
        for (print::PixelBox& box : characters) {
            box = box.Moved(s.x, s.y);
            together = print::Union(together, box);
        }
        EXPECT_EQ(together, ink);
        std::vector<int> darkIn(characters.size(), 0);
        print::PixelBox dark{crop.width(), crop.height(), 0, 0};
        for (int y = 0; y < crop.height(); ++y)
            for (int x = 0; x < crop.width(); ++x)
                if (qGray(crop.pixel(x, y)) < 128) {
                    dark = {std::min(dark.left, x), std::min(dark.top, y), std::max(dark.right, x + 1),
                            std::max(dark.bottom, y + 1)};
                    const print::PixelBox pixel{left + x, top + y, left + x + 1, top + y + 1};
                    bool inAny = false;
                    for (std::size_t c = 0; c < characters.size(); ++c) {
                        const print::PixelBox& box = characters[c];
                        if (pixel.Inside(box))
                            ++darkIn[c];
                        inAny = inAny || pixel.Touches(box);
                    }
                    EXPECT_TRUE(inAny) << "dark pixel " << left + x << "," << top + y << " outside every character";
                }
        for (std::size_t c = 0; c < characters.size(); ++c)
            EXPECT_EQ(darkIn[c] > 0, !characters[c].Empty()) << "character " << c;
        dark = dark.Moved(left, top);
        EXPECT_NEAR(dark.left, ink.left, 1);
        EXPECT_NEAR(dark.top, ink.top, 1);
        EXPECT_NEAR(dark.right, ink.right, 1);
        EXPECT_NEAR(dark.bottom, ink.bottom, 1);
    }
    EXPECT_TRUE(device->TextInk("   ", {"OCR A Extended", 10, 0}).Empty());
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PdfDevice, ::testing::Values(300, 600));

TEST(PdfDevicePages, EmptyPagesAndEmptyDocumentsLeaveNoTrace)
{
    REQUIRE_POPPLER();
    testsupport::EnsureQtApp();
    TempDir dir;
    const std::string pdf = (dir / "jobs.pdf").string();
    auto device = QtPrintDevice::ForPdf(pdf, 300);

    device->BeginDoc();
    device->NewPage();
    device->TextOut(10, 10, "PAGEONE", {"Arial", 10, 0});
    device->NewPage();
    device->NewPage();
    device->TextOut(10, 10, "PAGETWO", {"Arial", 10, 0});
    device->NewPage();
    device->EndDoc();
    device->BeginDoc();
    device->EndDoc();
    EXPECT_EQ(PageCount(pdf), 2);
    EXPECT_EQ(device->OutputFiles(), std::vector<std::string>{pdf});

    // A second job with ink goes to its own file instead of over the first.
    device->BeginDoc();
    device->TextOut(10, 10, "SECONDJOB", {"Arial", 10, 0});
    device->EndDoc();
    ASSERT_EQ(device->OutputFiles().size(), 2u);
    EXPECT_EQ(device->OutputFiles()[1], (dir / "jobs-2.pdf").string());
    EXPECT_EQ(PageCount(pdf), 2);
    EXPECT_NE(RunCommand("pdftotext '" + device->OutputFiles()[1] + "' -").output.find("SECONDJOB"), std::string::npos);
}

TEST(PdfDevicePages, AFileThatCannotBeWrittenIsAnErrorAndTheDocumentCanStillEnd)
{
    testsupport::EnsureQtApp();
    TempDir dir;
    auto device = QtPrintDevice::ForPdf((dir / "missing-folder" / "x.pdf").string(), 300);
    device->BeginDoc();
    EXPECT_THROW(device->TextOut(0, 0, "x", {}), EPrintError);
    EXPECT_NO_THROW(device->EndDoc());
    EXPECT_FALSE(device->Printing());
    EXPECT_TRUE(device->OutputFiles().empty());
}

TEST(PrinterDevice, AnUnknownQueueIsRefused)
{
    testsupport::EnsureQtApp();
    EXPECT_THROW(QtPrintDevice::ForPrinter("no-such-queue-for-sendora", 300), EPrintError);
}
