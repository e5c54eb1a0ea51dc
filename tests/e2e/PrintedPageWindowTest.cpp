// The printed page through the real window: the longest entry the fields
// take is printed as the log keeps it, every text lies on the paper (on the
// recording printer and in the PDF, word by word), and the receipt's number
// is whole, in the face the receipt names.

#include "tests/app/main/MainTestSupport.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/e2e/E2EWindow.h"

#include "platform/print/RecordingPrintDevice.h"
#include "platform/rtl/SysUtils.h"

#include <QApplication>
#include <QLineEdit>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using e2e::SqlValue;

class PrintedPage : public e2e::MainWindowTest {};

struct Word {
    double xMin, yMin, xMax, yMax;
    std::string text;
};

// The words of `pdftotext -bbox` with their boxes in points; `width` and
// `height` receive the page's.
std::vector<Word> PdfWords(const std::filesystem::path& pdf, double& width, double& height)
{
    const std::string html = testsupport::RunCommand("pdftotext -bbox " + e2e::Quote(pdf.string()) + " -").output;
    // The number in attribute `name` of the tag that starts at `from`.
    auto attribute = [&html](std::size_t from, const std::string& name) {
        const std::size_t at = html.find(" " + name + "=\"", from);
        return at == std::string::npos ? 0.0 : std::stod(html.substr(at + name.size() + 3));
    };
    width = height = 0;
    if (const std::size_t page = html.find("<page "); page != std::string::npos) {
        width = attribute(page, "width");
        height = attribute(page, "height");
    }
    std::vector<Word> words;
    for (std::size_t at = html.find("<word "); at != std::string::npos; at = html.find("<word ", at + 1)) {
        const std::size_t open = html.find('>', at);
        const std::size_t close = html.find("</word>", open);
        if (open == std::string::npos || close == std::string::npos) break;
        words.push_back({attribute(at, "xMin"), attribute(at, "yMin"), attribute(at, "xMax"), attribute(at, "yMax"),
                         html.substr(open + 1, close - open - 1)});
    }
    return words;
}

TEST_F(PrintedPage, LongestEntryIsPrintedAsLoggedOnThePaperWithAWholeReceiptNumber)
{
    REQUIRE_E2E_TOOLS();
    REQUIRE_TOOLS("pdffonts");
    Start();
    auto* memo = Child<QPlainTextEdit>("memoToAddress");
    memo->setPlainText(QString(60, 'W') + "\n" + QString(30, 'W') + "\t" + QString(30, 'W') + "\n" +
                       QString(60, 'M') + "\n" + QString(60, 'W'));
    const QString before = memo->toPlainText();
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    QApplication::sendEvent(memo, &tab);
    EXPECT_EQ(memo->toPlainText(), before) << "Tab moves on";
    for (const char* name : {"editToCity", "editToState", "editDepartment", "editProcessedBy", "editRe", "editComment"}) {
        auto* edit = Child<QLineEdit>(name);
        edit->clear();
        edit->insert(QString(60, 'W'));  // as typed or pasted
    }

    std::vector<std::string> printed;
    {
        maintest::RecordingPrinter printer;
        printer.device.SetMeasureWithFonts(true);
        Print();
        const int dpi = printer.device.DpiX();
        for (const auto& text : printer.device.CallsOf(print::RecordingPrintDevice::Op::TextOut)) {
            const auto box = printer.device.TextBox(text);
            EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= dpi * 85 / 10 && box.bottom <= dpi * 11)
                << text.text << " at " << box.left << "," << box.top << "-" << box.right << "," << box.bottom;
            printed.push_back(text.text);
            if (text.text == e2e::kNumber41 && text.font.sizePt == 6) {
                EXPECT_EQ(text.font.name, "Arial");
            }
        }
        EXPECT_TRUE(std::count(printed.begin(), printed.end(), e2e::kNumber41) >= 1);
    }
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty());

    // The log keeps each field whole; the form shows the same texts whole.
    const std::string W50(50, 'W');
    EXPECT_EQ(SqlValue(folder.Log(), "select ToAddress1 || '|' || ToAddress2 || '|' || ToAddress3 || '|' || "
                                     "ToAddress4 || '|' || ToCity || '|' || ToState || '|' || Department || '|' || "
                                     "ProcessedBy || '|' || RE || '|' || Comment from Log37"),
              W50 + "|" + std::string(30, 'W') + " " + std::string(19, 'W') + "|" + std::string(50, 'M') + "|" + W50 +
                  "|" + std::string(35, 'W') + "|WWWW|" + std::string(20, 'W') + "|" + std::string(20, 'W') + "|" +
                  std::string(25, 'W') + "|" + std::string(35, 'W'));
    const auto shown = [&printed](const std::string& text) {
        return std::find(printed.begin(), printed.end(), text) != printed.end();
    };
    EXPECT_TRUE(shown(W50));
    EXPECT_TRUE(shown(std::string(30, 'W') + " " + std::string(19, 'W')));
    EXPECT_TRUE(shown(std::string(50, 'M')));
    EXPECT_TRUE(shown(std::string(35, 'W') + " WWWW 12345"));
    EXPECT_TRUE(shown("RE: " + std::string(25, 'W')));
    EXPECT_TRUE(shown(std::string(35, 'W')));

    // The same mailer on a PDF page: every word inside the page box, and the
    // receipt's number (the small copy) whole in the metric-compatible face.
    Print();
    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 1u);
    double width = 0, height = 0;
    const std::vector<Word> words = PdfWords(pdfs[0], width, height);
    ASSERT_GT(words.size(), 50u);
    EXPECT_DOUBLE_EQ(width, 612);
    EXPECT_DOUBLE_EQ(height, 792);
    for (const Word& w : words)
        EXPECT_TRUE(w.xMin >= 0 && w.yMin >= 0 && w.xMax <= width && w.yMax <= height)
            << w.text << " at " << w.xMin << "," << w.yMin << "-" << w.xMax << "," << w.yMax;
    std::string receipt;
    for (const Word& w : words)
        if (w.yMax - w.yMin < 8 && w.xMax < 1.5 * 72 && std::isdigit(static_cast<unsigned char>(w.text[0])))
            receipt += (receipt.empty() ? "" : " ") + w.text;
    EXPECT_NE(receipt.find(e2e::kNumber42), std::string::npos) << receipt;
    const std::string fonts = testsupport::RunCommand("pdffonts " + e2e::Quote(pdfs[0].string())).output;
    EXPECT_NE(fonts.find("LiberationSans"), std::string::npos) << fonts;
}

}  // namespace
