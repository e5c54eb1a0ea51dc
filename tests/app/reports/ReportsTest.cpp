// Custom reports end to end: defined in the Create Report dialog, stored in
// the log folder's tables, listed and run from the Reports window over the
// log query as the log window leaves it, printed to PDF and read back with
// pdftotext; the stored rows are read with the sqlite3 tool.

#include "app/log/U_Log.h"
#include "app/main/U_About.h"
#include "app/main/U_Main.h"
#include "app/printing/U_PrinterSetup.h"
#include "app/reports/U_CreateReport.h"
#include "app/reports/U_Report.h"
#include "dbaccess/edsapi.h"
#include "dbaccess/edstable.h"
#include "platform/print/QtPrintDevice.h"
#include "tests/app/log/LogTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QRadioButton>

#include <sstream>

using logtest::Find;

namespace {

class Reports : public logtest::LogFixture {
protected:
    Reports()
    {
        // The built-in reports come from the project file the program ships.
        dm().RpProject1.SetProjectFile((home / "Sendo3pro.rpf").string());
        std::filesystem::copy_file(std::filesystem::path(SENDORA_SOURCE_ROOT) / "platform/report/Sendo3pro.rpf",
                                   home / "Sendo3pro.rpf");
    }
    // Rows of one of the log folder's tables, through the sqlite3 tool.
    static std::vector<std::string> Stored(const char* table, const std::string& query)
    {
        return e2e::SqlRows(std::filesystem::path(gLogDB) / (std::string(table) + ".edt"), query);
    }

    void OpenLog(const std::string& where = {})
    {
        dm().edsqLog->Close();
        dm().edsqLog->SetDatabaseName(gLogDB);
        dm().edsqLog->SetSQLText("select * from Log37" + where + " order by DATETIME");
        dm().edsqLog->Open();
    }

    // Selects the available field with this caption and adds it.
    static void Add(TF_CreateReport& dialog, const char* caption)
    {
        auto* available = Find<QListWidget>(dialog, "lbAvailable");
        const auto items = available->findItems(caption, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << caption;
        available->setCurrentItem(items.front());
        Find<QPushButton>(dialog, "btnAddField")->click();
    }
    static QString Label(TF_CreateReport& dialog, const char* name)
    {
        return Find<QLabel>(dialog, name)->text();
    }

    // Defines a report through the dialog; returns whether it closed with OK.
    bool Create(const std::string& name, std::initializer_list<const char*> captions, bool landscape)
    {
        TF_CreateReport dialog(dm());
        if (landscape) Find<QRadioButton>(dialog, "rbLandscape")->click();
        for (const char* caption : captions) Add(dialog, caption);
        Find<QLineEdit>(dialog, "editReportName")->setText(QString::fromStdString(name));
        Find<QPushButton>(dialog, "btnOK")->click();
        return dialog.result() == QDialog::Accepted;
    }

    // Runs the named report of the Reports window to a PDF; its text as
    // pdftotext -layout gives it.
    std::string RunToPdf(const std::string& name)
    {
        TF_Report window(dm());
        auto* list = Find<QListWidget>(window, "lvReports");
        const auto items = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
        EXPECT_EQ(items.size(), 1);
        if (items.size() != 1) return {};
        list->setCurrentItem(items.front());
        const std::string pdf = (home / "report.pdf").string();
        std::filesystem::remove(pdf);
        SetPrintDeviceFactory([&](const std::string&) { return print::QtPrintDevice::ForPdf(pdf, 300); });
        window.RunSelected(report::rdPrinter);
        SetPrintDeviceFactory(nullptr);
        return testsupport::RunCommand("pdftotext -layout '" + pdf + "' -").output;
    }

    // Whether `first` is followed, after one or more blanks, by `second`
    // somewhere in the text (pdftotext -layout changes runs of blanks).
    static bool Contains(const std::string& text, const std::string& first, const std::string& second)
    {
        for (std::size_t at = text.find(first); at != std::string::npos; at = text.find(first, at + 1)) {
            std::size_t next = at + first.size();
            const std::size_t blanks = text.find_first_not_of(' ', next);
            if (blanks != std::string::npos && blanks > next && text.compare(blanks, second.size(), second) == 0)
                return true;
        }
        return false;
    }
    static int Count(const std::string& text, const std::string& what)
    {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
};

}  // namespace

TEST_F(Reports, ACustomReportPrintsTheChosenColumnsWithTotalsOnTheLastPage)
{
    AddRow(600, {{"MailerNum", "9214 7123 4567 8900 0000 15"}, {"ToAddress1", "Alice First"}, {"Total", "10.50"}});
    AddRow(601, {{"MailerNum", "9214 7123 4567 8900 0000 22"}, {"ToAddress1", "Bob Second"}, {"Total", "12.05"}});
    AddRow(602, {{"MailerNum", "9214 7123 4567 8900 0000 39"}, {"ToAddress1", "Carol Third"}, {"Total", "8.90"}});
    ASSERT_TRUE(Create("Daily", {"Date and Time(1.4)", "Mailer Number(1.65)", "To Address Line 1(2.2)", "Total Fee(0.5)"},
                       true));
    EXPECT_EQ(Stored("Reports", "select ReportName, Orientation from Reports"), std::vector<std::string>{"Daily|1"});
    EXPECT_EQ(Stored("Report_Detail", "select Field_Name, FieldOrder from Report_Detail order by FieldOrder"),
              (std::vector<std::string>{"DateTime|1", "MailerNum|2", "ToAddress1|3", "Total|4"}));

    REQUIRE_TOOLS("pdftotext");
    OpenLog();
    const std::string text = RunToPdf("Daily");
    EXPECT_EQ(Count(text, "Sendora Log Report"), 1) << text;
    EXPECT_EQ(Count(text, "\f"), 1) << "one page";
    EXPECT_NE(text.find("Page 1"), std::string::npos) << text;
    EXPECT_NE(text.find("Date Printed : "), std::string::npos) << text;
    // pdftotext closes the run of blanks between the two totals to one.
    EXPECT_TRUE(Contains(text, "Total Count: 3", "Total Fees: $31.45")) << text;
    // The header and the rows stand in the same columns.
    std::istringstream lines(text);
    std::size_t header = std::string::npos, mailerColumn = std::string::npos;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("Mailer Number") != std::string::npos && line.find("Total Fee") != std::string::npos)
            header = line.find("Mailer Number");
        if (line.find("Bob Second") != std::string::npos) mailerColumn = line.find("9214 7123");
    }
    ASSERT_NE(header, std::string::npos) << text;
    ASSERT_NE(mailerColumn, std::string::npos) << text;
    EXPECT_LT(mailerColumn > header ? mailerColumn - header : header - mailerColumn, 6u) << text;

    // The landscape page is 11 inches across: the footer's right end lies
    // well beyond where a portrait line would end.
    EXPECT_GT(text.find("$31.45") - text.rfind('\n', text.find("$31.45")), 120u) << text;
}

TEST_F(Reports, ManyRowsRepeatTheHeaderAndAFilteredLogReportsOnlyItsRows)
{
    for (int i = 0; i < 120; ++i)
        AddRow(i, {{"MailerNum", "9214 7123 4567 8900 " + std::to_string(1000 + i)},
                   {"Postage", i % 2 == 0 ? "12.00" : "1.00"},
                   {"Total", i == 5 ? "" : (i == 6 ? "n/a" : "1.00")}});
    ASSERT_TRUE(Create("Fees", {"Mailer Number(1.65)", "Postage Fee(0.65)"}, false));

    REQUIRE_TOOLS("pdftotext");
    OpenLog();
    std::string text = RunToPdf("Fees");
    const int pages = Count(text, "\f");
    EXPECT_GE(pages, 2) << text;
    EXPECT_EQ(Count(text, "Mailer Number"), pages) << "the header on every page";
    EXPECT_EQ(Count(text, "Date Printed : "), 1);
    // Blank and unreadable totals count as nothing and do not stop the report.
    EXPECT_TRUE(Contains(text, "Total Count: 120", "Total Fees: $118.00")) << text;
    EXPECT_GT(text.rfind("Total Count"), text.rfind("Page " + std::to_string(pages - 1))) << "on the last page only";

    // Through the log window: its filter limits the report its button opens.
    gShowReports = [&](QWidget*) { text = RunToPdf("Fees"); };
    TF_Log log(dm());
    ASSERT_TRUE(log.SetFilterWhere("Postage >= 10"));
    text.clear();
    Find<QPushButton>(log, "btnReport")->click();
    gShowReports = nullptr;
    EXPECT_EQ(Count(text, "9214 7123 4567 8900"), 60) << text;
    EXPECT_EQ(text.find("1.00 "), std::string::npos) << text;
}

TEST_F(Reports, SpaceIsCountedExactlyAndNamesAreUnique)
{
    {
        TF_CreateReport dialog(dm());
        EXPECT_EQ(Label(dialog, "lblAvailable"), "7\"");
        for (const char* caption : {"To Address Line 1(2.2)", "To Address Line 2(2.2)", "Serial Number(1.1)", "Department(1.5)"})
            Add(dialog, caption);
        EXPECT_EQ(Find<QListWidget>(dialog, "lbFields")->count(), 4) << "an exact fit is accepted";
        EXPECT_EQ(Label(dialog, "lblAvailable"), "0\"");
        messages.Clear();
        Add(dialog, "Batch(0.5)");
        EXPECT_EQ(messages.Last().text, "You don't have any available space in the Report to add this field.");
        EXPECT_EQ(Find<QListWidget>(dialog, "lbFields")->count(), 4);

        Find<QRadioButton>(dialog, "rbLandscape")->click();
        Add(dialog, "Batch(0.5)");
        EXPECT_EQ(Label(dialog, "lblUsed"), "7.5\"");
        Find<QRadioButton>(dialog, "rbPortrait")->click();
        EXPECT_EQ(messages.Last().text, "Cant change Orientation to \"Portrait\", used space is greater than 7.");
        EXPECT_TRUE(Find<QRadioButton>(dialog, "rbLandscape")->isChecked());
    }

    ASSERT_TRUE(Create("Daily", {"Batch(0.5)", "Batch(0.5)"}, false));
    EXPECT_EQ(Stored("Report_Detail", "select Field_Name, FieldOrder from Report_Detail"),
              (std::vector<std::string>{"Batch|1", "Batch|2"}));
    messages.Clear();
    EXPECT_FALSE(Create("Daily", {"Result(1.4)"}, false)) << "the dialog stays open";
    EXPECT_EQ(messages.Last().text, "A Report name of \"Daily\" already exists.");
    EXPECT_EQ(Stored("Report_Detail", "select count(*) from Report_Detail"), std::vector<std::string>{"2"});

    TF_Report window(dm());
    auto* list = Find<QListWidget>(window, "lvReports");
    list->setCurrentItem(list->findItems("Daily", Qt::MatchExactly).front());
    EXPECT_TRUE(Find<QPushButton>(window, "btnDelete")->isEnabled());
    messages.Answer(ui::mrYes);
    Find<QPushButton>(window, "btnDelete")->click();
    EXPECT_EQ(Stored("Reports", "select count(*) from Reports"), std::vector<std::string>{"0"});
    EXPECT_EQ(Stored("Report_Detail", "select count(*) from Report_Detail"), std::vector<std::string>{"0"});
    EXPECT_TRUE(list->findItems("Daily", Qt::MatchExactly).isEmpty());
    // Built-in reports stay and cannot be deleted.
    ASSERT_GT(list->count(), 0);
    list->setCurrentRow(0);
    EXPECT_FALSE(Find<QPushButton>(window, "btnDelete")->isEnabled());
}

TEST_F(Reports, TheLogMenuOpensTheReportsOnlyOverALogWithRows)
{
    auto window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
    {
        const maintest::DialogDismisser dismiss;
        window->show();
        while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    auto& report = *window->findChild<QAction*>("miReport");
    messages.Clear();
    report.trigger();
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().text, "No records available for report.");

    AddRow(600, {{"Total", "1.00"}});
    bool opened = false;
    logtest::WhenDialog("Reports", [&](QWidget& dialog) {
        opened = true;
        EXPECT_TRUE(dm().edsqLog->Active());
        static_cast<QDialog&>(dialog).reject();
    });
    report.trigger();
    EXPECT_TRUE(opened);
    EXPECT_FALSE(dm().edsqLog->Active()) << "the log query is closed afterwards";
    window->close();
}

namespace {

// Makes the engine's `entry` fail with a full disk on its `nth` call from now
// on, for as long as the guard lives.
template <auto Member, auto Real>
struct FailOnCall {
    explicit FailOnCall(int nth)
    {
        calls = 0;
        failAt = nth;
        EdsApi.*Member = [](EDSHANDLE cursor) -> UNSIGNED32 {
            if (++calls == failAt) {
                ::EdsSetLastError(EDS_E_IO, reinterpret_cast<const UNSIGNED8*>("5209: disk full (injected)"));
                return EDS_E_IO;
            }
            return Real(cursor);
        };
    }
    TEdsEntryPointsGuard guard;
    static inline int calls = 0;
    static inline int failAt = 0;
};

}  // namespace

// A report and its columns are written and deleted together: a failure
// part way leaves both tables as they were, says so, and a second try does
// the whole job once.
TEST_F(Reports, SavingOrDeletingAReportFailingPartWayChangesNothing)
{
    const auto columns = {"Mailer Number(1.65)", "To Address Line 1(2.2)", "Total Fee(0.5)"};
    const auto reportRows = [] { return Stored("Reports", "select ReportName, Orientation from Reports"); };
    const auto detailRows = [] {
        return Stored("Report_Detail", "select ReportName, Field_Name, FieldOrder from Report_Detail order by rowid");
    };
    const std::vector<std::string> daily{"Daily|MailerNum|1", "Daily|ToAddress1|2", "Daily|Total|3"};
    const auto expectFailure = [this](const std::string& what) {
        ASSERT_FALSE(messages.Shown().empty());
        EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
        EXPECT_EQ(messages.Last().text.rfind(what, 0), 0u) << messages.Last().text;
        EXPECT_NE(messages.Last().details.find("disk full (injected)"), std::string::npos) << messages.Last().details;
    };

    // The report's row, its first column, then the second column's write fails.
    {
        const FailOnCall<&TEdsEntryPoints::EdsWriteRecord, &::EdsWriteRecord> failing(3);
        messages.Clear();
        EXPECT_FALSE(Create("Daily", columns, true)) << "the dialog stays open";
    }
    expectFailure("The report could not be saved.");
    EXPECT_TRUE(reportRows().empty());
    EXPECT_TRUE(detailRows().empty());
    ASSERT_TRUE(Create("Daily", columns, true));
    EXPECT_EQ(reportRows(), std::vector<std::string>{"Daily|1"});
    EXPECT_EQ(detailRows(), daily);

    TF_Report window(dm());
    auto* list = Find<QListWidget>(window, "lvReports");
    const auto select = [list] { list->setCurrentItem(list->findItems("Daily", Qt::MatchExactly).front()); };
    select();
    // The report's row goes, then deleting its first column fails.
    {
        const FailOnCall<&TEdsEntryPoints::EdsDeleteRecord, &::EdsDeleteRecord> failing(2);
        messages.Clear();
        messages.Answer(ui::mrYes);
        Find<QPushButton>(window, "btnDelete")->click();
    }
    expectFailure("The report could not be deleted.");
    EXPECT_EQ(reportRows(), std::vector<std::string>{"Daily|1"});
    EXPECT_EQ(detailRows(), daily);
    ASSERT_EQ(list->findItems("Daily", Qt::MatchExactly).size(), 1) << "still listed";

    select();
    messages.Clear();
    messages.Answer(ui::mrYes);
    Find<QPushButton>(window, "btnDelete")->click();
    EXPECT_EQ(messages.Last().text, "Report \"Daily\" has been deleted.");
    EXPECT_TRUE(reportRows().empty());
    EXPECT_TRUE(detailRows().empty());
}

// A built-in report of the project file from the Reports window to paper
// (a PDF here), and a custom report whose stored columns name one that is no
// log field: that one is left out and the rest print as usual.
TEST_F(Reports, ABuiltInReportAndOneWithAStrayColumnPrintFromTheWindow)
{
    AddRow(600, {{"MailerNum", "9214 7123 4567 8900 0000 15"}, {"Postage", "4.10"}, {"Total", "10.50"},
                 {"Department", "Legal"}});
    AddRow(601, {{"MailerNum", "9214 7123 4567 8900 0000 22"}, {"Postage", "5.20"}, {"Total", "12.05"},
                 {"Department", "Sales"}});
    REQUIRE_TOOLS("pdftotext");
    OpenLog();
    std::string text = RunToPdf("Fee Summary");
    EXPECT_TRUE(messages.Shown().empty()) << messages.Last().text;
    EXPECT_EQ(Count(text, "Certified Mail Fees"), 1) << text;
    EXPECT_EQ(Count(text, "\f"), 1) << text;
    EXPECT_NE(text.find("Date Printed: "), std::string::npos) << text;
    EXPECT_TRUE(Contains(text, "9214 7123 4567 8900 0000 22", "5.20")) << text;
    EXPECT_TRUE(Contains(text, "Total Count: 2", "Total Fees: 22.55")) << text;
    // The project's landscape page: lines run well past a portrait line.
    EXPECT_GT(text.find("Legal") - text.rfind('\n', text.find("Legal")), 120u) << text;

    ASSERT_TRUE(Create("Stray", {"Mailer Number(1.65)", "Total Fee(0.5)"}, false));
    {
        TEdsTable detail;
        detail.SetDatabaseName(gLogDB);
        detail.SetTableName("Report_Detail");
        detail.Open();
        detail.Append();
        detail.FieldByName("ReportName")->SetAsString("Stray");
        detail.FieldByName("Field_Name")->SetAsString("NoSuchField");
        detail.FieldByName("FieldOrder")->SetAsInteger(2);
        detail.Post();
    }
    OpenLog();
    text = RunToPdf("Stray");
    EXPECT_TRUE(messages.Shown().empty()) << messages.Last().text;
    // Nothing stands between the two real columns' headings or values.
    EXPECT_TRUE(Contains(text, "Mailer Number", "Total Fee")) << text;
    EXPECT_TRUE(Contains(text, "9214 7123 4567 8900 0000 15", "10.50")) << text;
    EXPECT_TRUE(Contains(text, "Total Count: 2", "Total Fees: $22.55")) << text;

    // With prints going to PDF files, the Print button writes one named after
    // the report (never a path of its own) and says where.
    const std::filesystem::path prints = home / "prints";
    setenv("SENDORA_PRINT_TO_PDF", prints.c_str(), 1);
    ASSERT_TRUE(Create("a/b c", {"Mailer Number(1.65)"}, false));
    TF_Report window(dm());
    auto* list = Find<QListWidget>(window, "lvReports");
    list->setCurrentItem(list->findItems("a/b c", Qt::MatchExactly).front());
    messages.Clear();
    Find<QPushButton>(window, "btnPrint")->click();
    unsetenv("SENDORA_PRINT_TO_PDF");
    ASSERT_EQ(messages.Count(), 1u);
    const std::string told = messages.Last().text;
    const std::string lead = "No printer is in use: the print was saved as the PDF file ";
    ASSERT_EQ(told.rfind(lead + prints.string() + "/", 0), 0u) << told;
    const std::filesystem::path pdf = told.substr(lead.size(), told.size() - lead.size() - 1);
    EXPECT_EQ(pdf.parent_path(), prints);
    EXPECT_EQ(pdf.filename().string().substr(15), "-abc.pdf") << pdf;
    text = testsupport::RunCommand("pdftotext -layout '" + pdf.string() + "' -").output;
    EXPECT_NE(text.find("9214 7123 4567 8900 0000 22"), std::string::npos) << text;
}

// Preview runs the report into the preview window on the screen: its pages
// and orientation are the printed report's, and closing it leaves no message.
TEST_F(Reports, ThePreviewShowsTheReportsPagesInItsOrientation)
{
    for (int i = 0; i < 60; ++i)
        AddRow(i, {{"MailerNum", "9214 7123 4567 8900 " + std::to_string(1000 + i)}, {"Total", "1.00"}});
    ASSERT_TRUE(Create("Wide", {"Mailer Number(1.65)", "To Address Line 1(2.2)", "Total Fee(0.5)"}, true));
    REQUIRE_TOOLS("pdftotext");
    OpenLog();
    const int printedPages = Count(RunToPdf("Wide"), "\f");
    ASSERT_GE(printedPages, 2);

    OpenLog();
    TF_Report window(dm());
    auto* list = Find<QListWidget>(window, "lvReports");
    list->setCurrentItem(list->findItems("Wide", Qt::MatchExactly).front());
    int pages = 0;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    logtest::WhenDialog("Report Preview", [&](QWidget& preview) {
        auto* view = preview.findChild<QPrintPreviewWidget*>();
        ASSERT_NE(view, nullptr);
        pages = view->pageCount();
        orientation = view->orientation();
        static_cast<QDialog&>(preview).reject();
    });
    Find<QPushButton>(window, "btnPreview")->click();
    EXPECT_EQ(pages, printedPages);
    EXPECT_EQ(orientation, QPageLayout::Landscape);
    EXPECT_TRUE(messages.Shown().empty()) << messages.Last().text;
}

// The log window's Report button: an empty log, or one its filter leaves
// empty, is told there is nothing to report; over rows the reports open, and
// the project a built-in report opened goes with the window.
TEST_F(Reports, TheLogWindowReportsOnlyRowsItShowsAndItsReportsCloseTheProject)
{
    REQUIRE_TOOLS("pdftotext");
    std::string text;
    bool opened = false;
    gShowReports = [&](QWidget*) {
        opened = true;
        text = RunToPdf("Fee Summary");
    };
    const auto report = [&](TF_Log& log) {
        opened = false;
        messages.Clear();
        Find<QPushButton>(log, "btnReport")->click();
    };
    {
        TF_Log log(dm());
        report(log);
        EXPECT_FALSE(opened);
        ASSERT_EQ(messages.Count(), 1u);
        EXPECT_EQ(messages.Last().text, "No records available for report.");
        EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    }

    AddRow(600, {{"MailerNum", "9214 7123 4567 8900 0000 15"}, {"ToAddress1", "Ann Able"}, {"Postage", "4.10"},
                 {"Total", "10.50"}});
    TF_Log log(dm());
    ASSERT_TRUE(log.SetFilterWhere("ToAddress1 = 'Bob Baker'"));
    report(log);
    EXPECT_FALSE(opened);
    EXPECT_EQ(messages.Last().text, "No records available for report.");

    ASSERT_TRUE(log.SetFilterWhere("ToAddress1 = 'Ann Able'"));
    report(log);
    gShowReports = nullptr;
    EXPECT_TRUE(opened);
    EXPECT_TRUE(messages.Shown().empty()) << messages.Last().text;
    EXPECT_NE(text.find("9214 7123 4567 8900 0000 15"), std::string::npos) << text;
    EXPECT_FALSE(dm().RpProject1.Active()) << "the reports window closes the project it opened";
}
