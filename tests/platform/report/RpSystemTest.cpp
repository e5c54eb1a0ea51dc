#include "platform/report/RpSystem.h"

#include "tests/support/QtTestApp.h"
#include "tests/support/TestSupport.h"
#include "platform/print/QtPrintDevice.h"
#include "platform/print/RecordingPrintDevice.h"

#include <QAction>
#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace {

using print::RecordingPrintDevice;
using Op = RecordingPrintDevice::Op;
using namespace report;

struct Column {
    std::string caption;
    double width;
};

// Drives the system the way the program's own columnar log report does: a
// centred table of boxed columns, the title on page 1, the header on every
// page, rows while lines are left, and a footer with the date and totals on
// the last page only.
struct LogReport {
    std::vector<Column> columns;
    std::vector<std::vector<std::string>> rows;
    std::size_t next = 0;
    bool started = false;
    int count = 0;
    std::vector<std::string> events;

    void Attach(TRpSystem& system) {
        system.OnBeforePrint = [this] {
            events.push_back("before");
            next = 0;
            started = false;
        };
        system.OnPrint = [this](TBaseReport& w) { Print(w); };
        system.OnPrintFooter = [this](TBaseReport& w) { Footer(w); };
    }

    void Print(TBaseReport& w) {
        events.push_back("print");
        started = true;
        count = 0;
        w.ClearTabs();
        double width = 0;
        for (const auto& c : columns) width += c.width;
        const double left = (w.PageWidth() - width) / 2;
        for (std::size_t i = 0; i < columns.size(); ++i)
            w.SetTab(i == 0 ? left : NA, pjCenter, columns[i].width, 5.0, BOXLINEALL, 0);
        w.SetFont("Arial", 18);
        w.Home();
        w.PrintCenter("Sendora Log Report", w.PageWidth() / 2);
        w.NewLine();
        w.NewLine();
        w.SetFont("Times New Roman", 12);
        w.AdjustLine();
        while (next < rows.size()) {
            w.SetTabJustify(tjCenter);
            for (const auto& c : columns) w.PrintTab(c.caption);
            w.SetTabJustify(tjNone);
            w.NewLine();
            w.SetFont("Times New Roman", 10);
            w.AdjustLine();
            while (w.LinesLeft() > 0 && next < rows.size()) {
                ++count;
                for (const auto& text : rows[next]) w.PrintTab(text);
                w.NewLine();
                ++next;
            }
            if (next < rows.size()) w.NewPage();
        }
    }

    void Footer(TBaseReport& w) {
        events.push_back("footer " + std::to_string(w.CurrentPage()));
        while (w.LinesLeft() > 0) w.NewLine();
        const bool last = started && next >= rows.size();
        if (last) w.Print("Date Printed : 12/07/26 9:30:00 AM");
        w.PrintCenter("Page " + std::to_string(w.CurrentPage()), w.PageWidth() / 2);
        if (last) w.PrintRight("Total Count: " + std::to_string(count), w.PageWidth() - 0.5);
    }
};

LogReport SampleReport(int rowCount) {
    LogReport r;
    r.columns = {{"Date and Time", 1.4}, {"Mailer Number", 2.2}, {"To Address Line 1", 2.2}, {"Total Fee", 0.8}};
    for (int i = 0; i < rowCount; ++i) {
        const std::string n = std::to_string(1000 + i);
        r.rows.push_back({"12/0" + std::to_string(1 + i % 9) + "/26 10:00", "9400 1111 2222 3333 " + n + " 12",
                          "Addressee " + n, "4.64"});
    }
    return r;
}

int PageOf(const RecordingPrintDevice& device, const std::string& text) {
    int page = 1;
    for (const auto& call : device.Calls()) {
        if (call.op == Op::NewPage) ++page;
        if (call.op == Op::TextOut && call.text == text) return page;
    }
    return 0;
}

TEST(RpSystemTest, ThreePagesOfRowsGetHeadersEveryPageAndTotalsOnTheLast) {
    RecordingPrintDevice device(100, 100);
    TRpSystem system;
    system.SetDefaultDest(rdPrinter);
    system.SetPrinterDevice(&device);
    LogReport log = SampleReport(130);  // about 58 rows a page at 100 dpi
    log.Attach(system);
    system.Execute();

    EXPECT_EQ(device.PagesPrinted(), 3);
    EXPECT_EQ(log.events, (std::vector<std::string>{"before", "print", "footer 1", "footer 2", "footer 3"}));
    int headers = 0;
    for (const auto& call : device.CallsOf(Op::TextOut)) headers += call.text == "Mailer Number";
    EXPECT_EQ(headers, 3);
    EXPECT_EQ(PageOf(device, "Sendora Log Report"), 1);
    EXPECT_EQ(PageOf(device, "Page 1"), 1);
    EXPECT_EQ(PageOf(device, "Page 3"), 3);
    EXPECT_EQ(PageOf(device, "Total Count: 130"), 3);
    EXPECT_EQ(PageOf(device, "Date Printed : 12/07/26 9:30:00 AM"), 3);
    EXPECT_EQ(PageOf(device, "Addressee 1129"), 3);

    // The footer sits on the page's last line, below every row, above the margin.
    const auto footer = *device.FindText("Page 1");
    for (const auto& call : device.CallsOf(Op::TextOut)) {
        EXPECT_LE(call.y, footer.y);
        EXPECT_LT(call.y, 1050);
    }
    // Columns are centred: 6.6 inches wide on 8.5.
    const auto date = *device.FindText("Date and Time");
    EXPECT_GE(date.x, 95);
    EXPECT_LT(date.x, 95 + 140);
    const auto row = *device.FindText("Addressee 1000");
    EXPECT_EQ(row.x, 455 + (220 - 140) / 2);  // rows keep their tab's own justification, centre
}

TEST(RpSystemTest, EmptyLogPrintsOnePageWithTitleDateAndPageNumber) {
    RecordingPrintDevice device(100, 100);
    TRpSystem system;
    system.SetDefaultDest(rdPrinter);
    system.SetPrinterDevice(&device);
    LogReport log = SampleReport(0);
    log.Attach(system);
    system.Execute();
    EXPECT_EQ(device.PagesPrinted(), 1);
    EXPECT_TRUE(device.FindText("Sendora Log Report"));
    EXPECT_TRUE(device.FindText("Page 1"));
    EXPECT_TRUE(device.FindText("Date Printed : 12/07/26 9:30:00 AM"));
    EXPECT_EQ(device.CallsOf(Op::BeginDoc).size(), 1u);
    EXPECT_EQ(device.CallsOf(Op::EndDoc).size(), 1u);
}

TEST(RpSystemTest, LandscapeReportIsTurnedOntoPortraitPaper) {
    RecordingPrintDevice device(100, 100, 7, 9);
    TRpSystem system;
    system.SetDefaultDest(rdPrinter);
    system.SetPrinterDevice(&device);
    system.SystemPrinter().SetOrientation(poLandscape);
    double pageWidth = 0;
    system.OnPrint = [&](TBaseReport& w) {
        pageWidth = w.PageWidth();
        w.Home();
        w.PrintCenter("Title", w.PageWidth() / 2);
    };
    system.Execute();
    EXPECT_DOUBLE_EQ(pageWidth, 11.0);
    const auto title = *device.FindText("Title");
    // Landscape (525, 51) lies on the paper at (51, 1100 - 525), less the offsets.
    EXPECT_EQ(title.x, 51 - 7);
    EXPECT_EQ(title.y, 1100 - 525 - 9);
    EXPECT_EQ(title.font.angle, 900);
}

TEST(RpSystemTest, DeviceFailureEndsTheDocumentAndReachesTheCaller) {
    RecordingPrintDevice device(100, 100);
    device.FailAt(Op::TextOut, 5);
    TRpSystem system;
    system.SetDefaultDest(rdPrinter);
    system.SetPrinterDevice(&device);
    LogReport log = SampleReport(10);
    log.Attach(system);
    EXPECT_THROW(system.Execute(), print::EPrintError);
    EXPECT_FALSE(device.Printing());

    // A layout that fails ends the document too.
    system.OnPrint = [](TBaseReport& w) {
        w.Print("half");
        throw rtl::EConvertError("'x' is not a valid floating point value");
    };
    EXPECT_THROW(system.Execute(), rtl::EConvertError);
    EXPECT_FALSE(device.Printing());
}

TEST(RpSystemTest, PrinterDestinationUsesTheProcessPrinterByDefault) {
    auto owned = std::make_unique<RecordingPrintDevice>(100, 100);
    RecordingPrintDevice& device = *owned;
    print::SetPrinter(std::move(owned));
    TRpSystem system;
    system.SetDefaultDest(rdPrinter);
    system.OnPrint = [](TBaseReport& w) { w.Print("on the process printer"); };
    system.Execute();
    EXPECT_TRUE(device.FindText("on the process printer"));
    print::SetPrinter(nullptr);
    EXPECT_THROW(system.Execute(), print::EPrintError);
}

TEST(RpSystemTest, PreviewShowsThePagesInItsWindow) {
    testsupport::EnsureQtApp();
    TRpSystem system;
    ASSERT_EQ(system.DefaultDest(), rdPreview);
    LogReport log = SampleReport(70);
    log.Attach(system);
    QString title;
    int pages = -1;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(w);
            if (dialog == nullptr || !dialog->isVisible()) continue;
            title = dialog->windowTitle();
            if (auto* view = dialog->findChild<QPrintPreviewWidget*>()) pages = view->pageCount();
            dialog->reject();
        }
    });
    system.Execute();
    EXPECT_EQ(title, "Report Preview");
    EXPECT_EQ(pages, 2);
    EXPECT_GE(log.events.size(), 3u);

    // A report that fails inside the preview reaches the caller.
    system.OnPrint = [](TBaseReport&) { throw EReportError("broken layout"); };
    EXPECT_THROW(system.Execute(), EReportError);
}

// The caller's printing stands in for the window's own Print button: it gets
// the report in the window's orientation, the window stays open after it, and
// what it throws closes the window and reaches the caller, never Qt's loop.
TEST(RpSystemTest, PreviewPrintsThroughTheCallersPrinting) {
    testsupport::EnsureQtApp();
    TRpSystem system;
    system.SystemPrinter().SetOrientation(poLandscape);
    std::vector<TOrientation> printed;
    bool openAfterPrint = false;
    system.OnPreviewPrint = [&](const ReportLayout&, TOrientation orientation) {
        printed.push_back(orientation);
        if (printed.size() > 1) throw std::runtime_error("no paper");
    };
    auto pressPrintThenClose = [&] {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            if (auto* print = dialog->findChild<QAction*>("actPreviewPrint")) print->trigger();
            QApplication::processEvents();
            openAfterPrint = dialog->isVisible();
            dialog->reject();
        });
    };
    pressPrintThenClose();
    system.Execute();
    EXPECT_TRUE(openAfterPrint);
    pressPrintThenClose();
    EXPECT_THROW(system.Execute(), std::runtime_error);
    EXPECT_EQ(printed, (std::vector<TOrientation>{poLandscape, poLandscape}));
}

// Printed to PDF, the texts come out in their columns.
TEST(RpSystemTest, PdfShowsTheTextsInTheirColumns) {
    REQUIRE_TOOLS("pdftotext");
    testsupport::EnsureQtApp();
    testsupport::TempDir dir;
    const auto pdf = dir / "log.pdf";
    auto device = print::QtPrintDevice::ForPdf(pdf.string(), 300);
    TRpSystem system;
    system.SetDefaultDest(rdPrinter);
    system.SetPrinterDevice(device.get());
    LogReport log = SampleReport(5);
    log.Attach(system);
    system.Execute();

    const auto text = testsupport::RunCommand("pdftotext -layout '" + pdf.string() + "' -");
    ASSERT_EQ(text.status, 0);
    std::istringstream lines(text.output);
    std::string line;
    std::string::size_type mailerColumn = std::string::npos;
    int rowsSeen = 0;
    bool title = false, footer = false;
    while (std::getline(lines, line)) {
        if (line.find("Sendora Log Report") != std::string::npos) title = true;
        if (line.find("Page 1") != std::string::npos && line.find("Total Count: 5") != std::string::npos) footer = true;
        const auto date = line.find("Date and Time");
        const auto mailer = line.find("Mailer Number");
        if (date != std::string::npos && mailer != std::string::npos) {
            EXPECT_LT(date, mailer);
            EXPECT_LT(mailer, line.find("To Address Line 1"));
            EXPECT_LT(line.find("To Address Line 1"), line.find("Total Fee"));
            mailerColumn = mailer;
        }
        const auto number = line.find("9400 1111 2222 3333 100");
        if (number != std::string::npos) {
            ++rowsSeen;
            EXPECT_LT(line.find("/26 10:00"), number);
            EXPECT_LT(number, line.find("Addressee 100"));
            EXPECT_LT(line.find("Addressee 100"), line.find("4.64"));
            // The number is centred under its header, give or take a few characters.
            ASSERT_NE(mailerColumn, std::string::npos);
            EXPECT_LE(number, mailerColumn + 2);
            EXPECT_GE(number + 6, mailerColumn);
        }
    }
    EXPECT_TRUE(title);
    EXPECT_TRUE(footer) << text.output;
    EXPECT_EQ(rowsSeen, 5) << text.output;
}

}  // namespace
