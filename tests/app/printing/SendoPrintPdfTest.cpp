// The form and a label sheet printed to PDF, checked with poppler and zbar.

#include "tests/app/printing/SendoPrintTestSupport.h"

#include "platform/print/QtPrintDevice.h"

#include <QDir>
#include <QImage>

#include <algorithm>
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
