// The printed page through the real window: the longest entry the fields
// take is printed as the log keeps it, every text lies on the paper (on the
// recording printer and in the PDF, word by word), and the receipt's number
// is whole, in the face the receipt names. With the longest texts on every
// line, no text of the form runs into a neighbouring block.

#include "tests/app/main/MainTestSupport.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/e2e/E2EWindow.h"

#include "app/data/U_ArticleNumber.h"
#include "app/printing/U_PrinterSetup.h"
#include "dbaccess/edstable.h"
#include "platform/print/QtPrintDevice.h"
#include "platform/print/RecordingPrintDevice.h"
#include "platform/rtl/SysUtils.h"

#include <QApplication>
#include <QImage>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
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

namespace {

// Where a line of the form starts, in hundredths of an inch from the paper's
// top-left corner, and the block it belongs to. Upside-down lines (1800) end
// at x on the paper, with their cell's lower edge at y; lines reading
// downwards (2700) start at y, with their cell's right edge at x; amounts
// (`fromX`) are upside down and begin at x. Article numbers (`number` 'T'
// for the recipient's, 'F' for the sender's) are never cut.
struct FormLine {
    std::string block;
    int x, y, angle;
    bool fromX = false;
    char number = 0;
};

std::vector<FormLine> FormLines()
{
    std::vector<FormLine> lines = {
        {"recipient's number", 308, 402, 1800, false, 'T'},
        {"card's number", 720, 492, 1800, false, 'F'},
        {"top sender number", 760, 78, 1800, false, 'F'},
        {"top recipient number", 770, 45, 1800, false, 'T'},
        {"side strip", 791, 380, 2700, false, 'T'},
        {"side strip", 806, 380, 2700},
        {"side strip", 821, 380, 2700},
        {"side number", 810, 146, 2700, false, 'T'},
        {"receipt number", 147, 317, 1800, false, 'T'},
        {"card sender", 750, 395, 1800},
        {"RECEIPT", 130, 330, 1800},              {"FROM:", 140, 302, 1800},
        {"SEND TO:", 140, 228, 1800},             {"FEES:", 140, 158, 1800},
        {"TOTAL", 140, 88, 1800},                 {"total amount", 30, 88, 1800, true},
        {"POSTMARK OR DATE", 140, 73, 1800},
    };
    for (int i = 0; i < 5; ++i) {
        lines.push_back({"card sender", 750, 465 - 15 * i, 1800});
        lines.push_back({"lower sender", 755, 300 - 15 * i, 1800});
        lines.push_back({"recipient", 710, 670 - 15 * i, 1800});
        lines.push_back({"lower recipient", 755, 200 - 15 * i, 1800});
        lines.push_back({"extra label", 280, 660 - 15 * i, 1800});
        lines.push_back({"card return address", 430 - 15 * i, 380, 2700});
        lines.push_back({"receipt sender", 145, 288 - 10 * i, 1800});
        lines.push_back({"receipt recipient", 145, 213 - 10 * i, 1800});
        lines.push_back({"fee captions", 145, 143 - 10 * i, 1800});
        lines.push_back({"fee amounts", 30, 143 - 10 * i, 1800, true});
    }
    return lines;
}

// The line a word of the PDF (boxes in points) belongs to: the one whose
// baseline it sits on, nearest to where that line starts; -1 for none.
int LineOf(const Word& w, const std::vector<FormLine>& lines)
{
    constexpr double kSlack = 1.5;  // points
    int best = -1;
    double bestDistance = 1e9;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double x = lines[i].x * 0.72, y = lines[i].y * 0.72;
        double distance = 1e9;  // along the line from its start
        if (lines[i].angle == 2700) {
            if (std::abs(w.xMax - x) <= kSlack) distance = w.yMin - y;
        } else if (std::abs(w.yMax - y) <= kSlack) {
            distance = lines[i].fromX ? w.xMin - x : x - w.xMax;
        }
        if (distance >= -kSlack && distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// Whether the ink of two words of the PDF (boxes in points) runs together:
// the page rendered at 1200 dpi over both boxes, a run of dark pixels that
// reaches from the part of one box outside the other into the part of the
// other outside the first.
bool InksTouch(const std::filesystem::path& pdf, const Word& a, const Word& b, const std::filesystem::path& scratch)
{
    constexpr double kScale = 1200.0 / 72;
    const int left = static_cast<int>(std::floor(std::min(a.xMin, b.xMin) * kScale)) - 2;
    const int top = static_cast<int>(std::floor(std::min(a.yMin, b.yMin) * kScale)) - 2;
    const int width = static_cast<int>(std::ceil(std::max(a.xMax, b.xMax) * kScale)) + 2 - left;
    const int height = static_cast<int>(std::ceil(std::max(a.yMax, b.yMax) * kScale)) + 2 - top;
    const std::string png = (scratch / "ink").string();
    testsupport::RunCommand("pdftoppm -r 1200 -gray -png -singlefile -x " + std::to_string(left) + " -y " +
                            std::to_string(top) + " -W " + std::to_string(width) + " -H " + std::to_string(height) +
                            " " + e2e::Quote(pdf.string()) + " " + e2e::Quote(png));
    const QImage page = QImage(QString::fromStdString(png + ".png")).convertToFormat(QImage::Format_Grayscale8);
    EXPECT_EQ(page.width(), width) << "pdftoppm rendered nothing";
    auto in = [&](const Word& w, int x, int y) {
        const double px = (left + x + 0.5) / kScale, py = (top + y + 0.5) / kScale;
        return px >= w.xMin && px <= w.xMax && py >= w.yMin && py <= w.yMax;
    };
    // 0 blank or outside both boxes, 1 ink only in a's, 2 only in b's, 3 in both.
    std::vector<int> ink(static_cast<std::size_t>(page.width() * page.height()), 0);
    for (int y = 0; y < page.height(); ++y) {
        const uchar* row = page.constScanLine(y);
        for (int x = 0; x < page.width(); ++x)
            if (row[x] < 128) ink[static_cast<std::size_t>(y * page.width() + x)] = (in(a, x, y) ? 1 : 0) | (in(b, x, y) ? 2 : 0);
    }
    for (std::size_t start = 0; start < ink.size(); ++start) {
        if (ink[start] == 0) continue;
        int reached = 0;  // bits of the boxes' parts outside each other that this run of ink reaches
        std::vector<std::size_t> todo{start};
        while (!todo.empty()) {
            const std::size_t at = todo.back();
            todo.pop_back();
            if (ink[at] == 0) continue;
            reached |= ink[at] == 3 ? 0 : ink[at];
            ink[at] = 0;
            const int x = static_cast<int>(at) % page.width(), y = static_cast<int>(at) / page.width();
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (x + dx >= 0 && y + dy >= 0 && x + dx < page.width() && y + dy < page.height())
                        todo.push_back(static_cast<std::size_t>((y + dy) * page.width() + x + dx));
        }
        if (reached == 3) return true;
    }
    return false;
}

class PrintedPageAt : public PrintedPage, public ::testing::WithParamInterface<int> {
protected:
    // The sender as the sender dialog stores it (four lines, city, state,
    // ZIP), chosen in the settings file.
    void StoreSender(const std::vector<std::string>& lines, const std::string& city, const std::string& state,
                     const std::string& zip)
    {
        const std::string addresses = (folder.home / "Addresses").string();
        std::filesystem::create_directories(addresses);
        {
            TInstalledDataModule setup(folder.home.str());
            setup.Module().EnsureTable(addresses, "YourAddress");
        }
        TEdsTable table;
        table.SetDatabaseName(addresses);
        table.SetTableName("YourAddress");
        table.Open();
        table.Append();
        for (std::size_t i = 0; i < lines.size(); ++i)
            table.FieldByName("Address" + std::to_string(i + 1))->SetAsString(lines[i]);
        table.FieldByName("City")->SetAsString(city);
        table.FieldByName("State")->SetAsString(state);
        table.FieldByName("Zip")->SetAsString(zip);
        table.Post();
        const std::string id = std::to_string(table.FieldByName("A_ID")->AsInteger());
        table.Close();
        testsupport::WriteFile(folder.home / "sendo4.ini", "[YourAddress]\nID=" + id + "\n");
    }
    // Four full lines and the longest city, state and ZIP+4.
    void StoreLongestSender()
    {
        StoreSender(std::vector<std::string>(4, std::string(50, 'W')), std::string(35, 'W'), "WWWW", "12345-6789");
    }
};

}  // namespace

TEST_P(PrintedPageAt, TheLongestTextsInWideLettersKeepToTheirBlocks)
{
    REQUIRE_E2E_TOOLS();
    REQUIRE_TOOLS("pdftoppm");
    const int dpi = GetParam();
    StoreLongestSender();
    Start();
    ASSERT_EQ(Child<QLabel>("lblYourAddress1")->text(), QString(50, 'W'));
    Child<QPlainTextEdit>("memoToAddress")->setPlainText(QString("%1\n%1\n%1\n%1").arg(QString(50, 'W')));
    Child<QLineEdit>("editToCity")->setText(QString(35, 'W'));
    Child<QLineEdit>("editToState")->setText("WWWW");
    Child<ui::MaskEdit>("editToZip")->SetText("12345-6789");
    for (const auto& [name, length] : {std::pair{"editDepartment", 20}, std::pair{"editProcessedBy", 20},
                                       std::pair{"editRe", 25}, std::pair{"editComment", 35}})
        Child<QLineEdit>(name)->setText(QString(length, 'W'));
    Child<QCheckBox>("cbRestricted")->click();
    Child<QCheckBox>("cbPriority")->click();
    for (const char* fee : {"editPostage", "editCertFee", "editReturn", "editRestricted", "editpriority"})
        Child<QLineEdit>(fee)->setText("99999999.99");
    window->editPostageExit();
    window->editCertFeeExit();
    window->editReturnExit();
    window->editRestrictedExit();
    window->editpriorityExit();

    const std::filesystem::path pdf = folder.home / "form.pdf";
    SetPrintDeviceFactory([&](const std::string&) { return print::QtPrintDevice::ForPdf(pdf.string(), dpi); });
    Print();
    SetPrintDeviceFactory(nullptr);
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty());

    double width = 0, height = 0;
    const std::vector<Word> words = PdfWords(pdf, width, height);
    ASSERT_GT(words.size(), 50u);
    const std::vector<FormLine> lines = FormLines();
    std::vector<int> lineOf;
    std::vector<std::string> texts(lines.size());
    for (const Word& w : words) {
        EXPECT_TRUE(w.xMin >= 0 && w.yMin >= 0 && w.xMax <= width && w.yMax <= height)
            << w.text << " at " << w.xMin << "," << w.yMin << "-" << w.xMax << "," << w.yMax;
        lineOf.push_back(LineOf(w, lines));
        if (lineOf.back() < 0)
            ADD_FAILURE() << "a word on no line of the form: " << w.text << " at " << w.xMin << "," << w.yMin;
        else
            texts[static_cast<std::size_t>(lineOf.back())] += (texts[lineOf.back()].empty() ? "" : " ") + w.text;
    }
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_FALSE(texts[i].empty()) << lines[i].block << " line at " << lines[i].x << "," << lines[i].y;

    // Lines of one block may touch; texts of different blocks never overlap.
    // The return address keeps to no block but to the ink around it: where
    // its words' boxes overlap another's, their ink must not touch.
    constexpr double kTouch = 0.1;  // points
    int comparedByInk = 0;
    for (std::size_t a = 0; a < words.size(); ++a)
        for (std::size_t b = a + 1; b < words.size(); ++b) {
            if (lineOf[a] < 0 || lineOf[b] < 0 || lines[lineOf[a]].block == lines[lineOf[b]].block) continue;
            const Word& p = words[a];
            const Word& q = words[b];
            bool overlap = std::min(p.xMax, q.xMax) - std::max(p.xMin, q.xMin) > kTouch &&
                           std::min(p.yMax, q.yMax) - std::max(p.yMin, q.yMin) > kTouch;
            if (overlap && (lines[lineOf[a]].block == "card return address" ||
                            lines[lineOf[b]].block == "card return address")) {
                ++comparedByInk;
                overlap = InksTouch(pdf, p, q, folder.home.path());
            }
            EXPECT_FALSE(overlap) << lines[lineOf[a]].block << " \"" << p.text << "\" runs into "
                                  << lines[lineOf[b]].block << " \"" << q.text << "\"";
        }
    // The first line passes the end of the card's number.
    EXPECT_GE(comparedByInk, 1);

    // The article numbers are never cut.
    const std::string numberT = ArticleNumberDisplay(MakeArticleNumber("123456789", "0000041", "12345", "T", true));
    const std::string numberF = ArticleNumberDisplay(MakeArticleNumber("123456789", "0000041", "12345", "F", true));
    EXPECT_EQ(SqlValue(folder.Log(), "select MailerNum from Log37"), numberT);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].number != 0) {
            EXPECT_EQ(texts[i], lines[i].number == 'F' ? numberF : numberT) << lines[i].block;
        }
    }
}

// An ordinary sender's address is where the card comes back to: on the card
// it prints whole, reading downwards past the card's number, as it does in
// the form's two other copies.
TEST_P(PrintedPageAt, AnOrdinaryReturnAddressPrintsWhole)
{
    REQUIRE_E2E_TOOLS();
    const int dpi = GetParam();
    StoreSender({"Acme Legal Services", "100 Main Street", "", ""}, "Springfield", "IL", "62701-9999");
    Start();
    Child<QPlainTextEdit>("memoToAddress")->setPlainText("Jane Q. Recipient\n2500 Lakeview Avenue, Apt 12");
    Child<QLineEdit>("editToCity")->setText("Chicago");
    Child<QLineEdit>("editToState")->setText("IL");
    Child<ui::MaskEdit>("editToZip")->SetText("60614-3302");
    for (const bool barcodes : {true, false}) {
        SCOPED_TRACE(barcodes ? "barcodes" : "no barcodes");
        folder.SetNumbering("123456789", folder.Serial(), barcodes, true);
        const std::filesystem::path pdf = folder.home / (barcodes ? "barcodes.pdf" : "plain.pdf");
        SetPrintDeviceFactory([&](const std::string&) { return print::QtPrintDevice::ForPdf(pdf.string(), dpi); });
        Print();
        SetPrintDeviceFactory(nullptr);
        EXPECT_TRUE(Shown(ui::MsgKind::Error).empty());

        const std::string text = testsupport::RunCommand("pdftotext " + e2e::Quote(pdf.string()) + " -").output;
        EXPECT_NE(text.find("2500 LAKEVIEW AVENUE, APT 12"), std::string::npos) << text;
        for (const std::string line : {"ACME LEGAL SERVICES", "100 MAIN STREET", "SPRINGFIELD IL 62701-9999"}) {
            std::size_t count = 0;
            for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
            EXPECT_EQ(count, 3u) << line << "\n" << text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, PrintedPageAt, ::testing::Values(300, 600));

