// Printing on paper through a real CUPS server of the test's own: the queue
// and its trays in Printer Setup, the tray reaching the printer's data, the
// printed barcodes read back from the rendered device file, a label sheet as
// one job, and a queue that is paused or refuses jobs.

#include "tests/e2e/CupsServer.h"
#include "tests/e2e/E2EProgram.h"
#include "tests/e2e/E2EWindow.h"
#include "tests/app/log/LogTestSupport.h"

#include "platform/print/QtPrintDevice.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace e2e {
namespace {

const std::string kQueue = PrivateCupsServer::kQueue;

class CupsPrint : public MainWindowTest {
protected:
    CupsPrint() { unsetenv("SENDORA_PRINT_TO_PDF"); }

    void SetUp() override
    {
        REQUIRE_TOOLS("sqlite3", "gs", "zbarimg");
        ASSERT_TRUE(cups.Error().empty()) << cups.Error();
    }

    // Printer Setup from the menu: what it offers, then the queue and the
    // 1-based tray chosen and OK pressed.
    void ChooseInPrinterSetup(int tray, std::vector<std::string>& printers, std::vector<std::string>& trays)
    {
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog == nullptr) return;
            auto* printer = dialog->findChild<QComboBox*>("cbPrinter");
            for (int i = 0; i < printer->count(); ++i) printers.push_back(printer->itemText(i).toStdString());
            printer->setCurrentText(QString::fromStdString(kQueue));
            auto* trayBox = dialog->findChild<QComboBox*>("cbTray");
            for (int i = 0; i < trayBox->count(); ++i) trays.push_back(trayBox->itemText(i).toStdString());
            trayBox->setCurrentIndex(tray);
            dialog->findChild<QPushButton*>("btnOK")->click();
        });
        Child<QAction>("miPrinterSetup")->trigger();
    }

    std::vector<std::string> Errors() const
    {
        std::vector<std::string> out;
        for (const ui::MessageRequest* r : Shown(ui::MsgKind::Error)) out.push_back(r->text);
        return out;
    }

    std::string DeviceData() const { return testsupport::ReadFile(cups.DeviceFile()); }

    PrivateCupsServer cups;
};

TEST_F(CupsPrint, SetupOffersTheQueueAndItsTraysAndTheSecondTrayReachesThePrinter)
{
    Start();
    std::vector<std::string> printers, trays;
    ChooseInPrinterSetup(2, printers, trays);
    EXPECT_EQ(printers, std::vector<std::string>{kQueue});
    EXPECT_EQ(trays, (std::vector<std::string>{"(the printer's own choice)", "tray-1", "tray-2", "tray-3"}));

    Print();
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(SqlValue(folder.Log(), "select SerialNum || '|' || MailerNum from Log37"), "41|" + kNumber41);
    EXPECT_TRUE(PdfFiles(folder.Pdfs()).empty());

    const std::vector<CupsJob> jobs = cups.FinishedJobs();
    ASSERT_EQ(jobs.size(), 1u) << cups.ServerLog();
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED) << cups.ServerLog();
    EXPECT_EQ(jobs[0].mediaSource, "tray-2");
    // The PPD's own code for its second tray is in what went to the printer.
    const std::string data = DeviceData();
    EXPECT_NE(data.find("%%BeginFeature: *InputSlot Tray2\n<</MediaPosition 1>>setpagedevice"), std::string::npos)
        << data.substr(0, 2000);
    EXPECT_TRUE(RenderedBarcodes(cups.DeviceFile(), folder.home / "scratch").count(Scanned("12345", kNumber41)));
}

TEST_F(CupsPrint, BatchLabelSheetGoesAsOneJobToTheSavedTray)
{
    testsupport::WriteFile(folder.home / "sendo4.ini", "[Printer]\nPTray=3\nPrinter=" + kQueue + "\n");
    Start();
    Child<QAction>("miBatchOn")->trigger();
    Child<QCheckBox>("CBReturn")->setChecked(false);
    for (int i = 0; i < 3; ++i) Print();
    Child<QAction>("miPrintBatch")->trigger();
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(SqlRows(folder.Log(), "select MailerNum from Log37 order by LID"),
              (std::vector<std::string>{kNumber41, kNumber42, kNumber43}));

    const std::vector<CupsJob> jobs = cups.FinishedJobs();
    ASSERT_EQ(jobs.size(), 1u) << cups.ServerLog();
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED) << cups.ServerLog();
    EXPECT_EQ(jobs[0].mediaSource, "tray-3");
    EXPECT_NE(DeviceData().find("%%BeginFeature: *InputSlot Tray3"), std::string::npos);
    const std::set<std::string> codes = RenderedBarcodes(cups.DeviceFile(), folder.home / "scratch");
    for (const std::string& number : {kNumber41, kNumber42, kNumber43})
        EXPECT_TRUE(codes.count(Scanned("12345", number))) << number;
}

TEST_F(CupsPrint, PausedOrRefusingQueueSkipsTheNumberLogsNothingAndTheNextPrintTakesANewOne)
{
    Start();
    const struct {
        const char* setup;
        const char* reason;
        const std::string& skipped;
    } refusals[] = {
        {"cupsdisable -r 'Out of paper' SendoraTrays", "The printer \"SendoraTrays\" is paused (Out of paper)", kNumber41},
        {"cupsenable SendoraTrays && cupsreject SendoraTrays", "The printer \"SendoraTrays\" is not accepting jobs",
         kNumber42},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.setup);
        ASSERT_EQ(cups.Admin(refusal.setup).status, 0);
        messages.Clear();
        Print();
        const std::vector<std::string> errors = Errors();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].rfind(refusal.reason, 0), 0u) << errors[0];
        EXPECT_NE(errors[0].find("The mailer was not printed. "), std::string::npos) << errors[0];
        EXPECT_NE(errors[0].find(refusal.skipped + " was skipped"), std::string::npos) << errors[0];
        EXPECT_EQ(folder.LogCount(), 0);
        EXPECT_TRUE(cups.Jobs().empty());
    }
    EXPECT_EQ(folder.Serial(), "0000043");

    ASSERT_EQ(cups.Admin("cupsaccept SendoraTrays").status, 0);
    messages.Clear();
    Print();
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(SqlRows(folder.Log(), "select MailerNum from Log37"), std::vector<std::string>{kNumber43});
    const std::vector<CupsJob> jobs = cups.FinishedJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED) << cups.ServerLog();
    EXPECT_TRUE(RenderedBarcodes(cups.DeviceFile(), folder.home / "scratch").count(Scanned("12345", kNumber43)));
}

// A report printed from the Reports window goes the mailers' road: a queue
// that is paused or refuses jobs is told in the program's words and is left
// no job; once it runs again the report prints as one job.
TEST_F(CupsPrint, AReportToAPausedOrRefusingQueueIsToldAndPrintsOnceItRuns)
{
    Start();
    Print();
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    ASSERT_EQ(cups.FinishedJobs().size(), 1u) << cups.ServerLog();
    module->Module().RpProject1.SetProjectFile(std::string(SENDORA_SOURCE_DIR) + "/platform/report/Sendo3pro.rpf");

    struct Attempt {
        std::string setup;
        std::vector<std::string> errors;
        std::size_t jobs = 0;
    };
    std::vector<Attempt> attempts(3);
    attempts[0].setup = "cupsdisable -r 'Out of paper' SendoraTrays";
    attempts[1].setup = "cupsenable SendoraTrays && cupsreject SendoraTrays";
    attempts[2].setup = "cupsaccept SendoraTrays";
    bool opened = false;
    logtest::WhenDialog("Reports", [&](QWidget& reports) {
        auto* dialog = static_cast<QDialog*>(&reports);
        opened = true;
        dialog->findChild<QListWidget*>("lvReports")->setCurrentRow(0);
        for (Attempt& attempt : attempts) {
            EXPECT_EQ(cups.Admin(attempt.setup).status, 0) << attempt.setup;
            messages.Clear();
            dialog->findChild<QPushButton*>("btnPrint")->click();
            attempt.errors = Errors();
            attempt.jobs = cups.Jobs().size();
        }
        dialog->reject();
    });
    Child<QAction>("miReport")->trigger();
    ASSERT_TRUE(opened) << (messages.Shown().empty() ? std::string() : messages.Last().text + " / " + messages.Last().details);

    const char* reasons[] = {"The printer \"SendoraTrays\" is paused (Out of paper)",
                             "The printer \"SendoraTrays\" is not accepting jobs"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(attempts[i].setup);
        ASSERT_EQ(attempts[i].errors.size(), 1u) << "a report left in a queue that does not print passed for printed";
        EXPECT_EQ(attempts[i].errors[0].rfind("The report could not be printed.", 0), 0u) << attempts[i].errors[0];
        EXPECT_NE(attempts[i].errors[0].find(reasons[i]), std::string::npos) << attempts[i].errors[0];
        EXPECT_EQ(attempts[i].jobs, 1u) << "only the mailer's job";
    }
    EXPECT_TRUE(attempts[2].errors.empty()) << attempts[2].errors.front();
    const std::vector<CupsJob> jobs = cups.FinishedJobs();
    ASSERT_EQ(jobs.size(), 2u) << cups.ServerLog();
    EXPECT_EQ(jobs[1].state, IPP_JSTATE_COMPLETED) << cups.ServerLog();
}

// The preview window's Print button takes the Reports window's road too: the
// chosen tray and one job; a queue refusing jobs is told in the program's words
// and left no job, and the preview stays open for another try.
TEST_F(CupsPrint, ThePreviewsPrintButtonPrintsToTheChosenTrayAndTellsARefusingQueue)
{
    Start();
    std::vector<std::string> printers, trays;
    ChooseInPrinterSetup(3, printers, trays);
    Print();  // the log row the report lists
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    ASSERT_EQ(cups.FinishedJobs().size(), 1u) << cups.ServerLog();
    module->Module().RpProject1.SetProjectFile(std::string(SENDORA_SOURCE_DIR) + "/platform/report/Sendo3pro.rpf");

    struct Attempt {
        std::vector<std::string> errors;
        std::size_t jobs = 0;
    } printed, refused;
    bool opened = false, stayedOpen = false;
    std::string ownDialog;
    logtest::WhenDialog("Reports", [&](QWidget& reports) {
        opened = true;
        reports.findChild<QListWidget*>("lvReports")->setCurrentRow(0);
        logtest::WhenDialog("Report Preview", [&](QWidget& preview) {
            // A print dialog of the window's own fails the test instead of waiting.
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (modal == nullptr || modal == &preview) return;
                ownDialog = modal->windowTitle().toStdString();
                modal->reject();
            });
            watch.start(50);
            auto attempt = [&](Attempt& out) {
                messages.Clear();
                if (auto* print = preview.findChild<QAction*>("actPreviewPrint")) print->trigger();
                out.errors = Errors();
                out.jobs = cups.FinishedJobs().size();
            };
            attempt(printed);
            EXPECT_EQ(cups.Admin("cupsreject SendoraTrays").status, 0);
            attempt(refused);
            QApplication::processEvents();
            stayedOpen = preview.isVisible();
            static_cast<QDialog&>(preview).reject();
        });
        reports.findChild<QPushButton*>("btnPreview")->click();
        static_cast<QDialog&>(reports).reject();
    });
    Child<QAction>("miReport")->trigger();
    ASSERT_TRUE(opened);

    EXPECT_EQ(ownDialog, "") << "the preview printed through a print dialog of its own";
    EXPECT_TRUE(printed.errors.empty()) << printed.errors.front();
    EXPECT_EQ(printed.jobs, 2u) << "the mailer's and the report's";
    ASSERT_EQ(refused.errors.size(), 1u) << "a report left in a queue that refuses it passed for printed";
    EXPECT_EQ(refused.errors[0].rfind("The report could not be printed.", 0), 0u) << refused.errors[0];
    EXPECT_NE(refused.errors[0].find("The printer \"SendoraTrays\" is not accepting jobs"), std::string::npos)
        << refused.errors[0];
    EXPECT_EQ(refused.jobs, 2u);
    EXPECT_TRUE(stayedOpen);
    const std::vector<CupsJob> jobs = cups.FinishedJobs();
    ASSERT_EQ(jobs.size(), 2u) << cups.ServerLog();
    EXPECT_EQ(jobs[1].state, IPP_JSTATE_COMPLETED) << cups.ServerLog();
    EXPECT_EQ(jobs[1].mediaSource, "tray-3");
}

// The queue may stop taking jobs between the check at the start of a print
// and its end: the job the spooler refuses is a failure, never a print.
TEST(CupsPrintDevice, JobRefusedAtTheEndOfTheDocumentFailsIt)
{
    EnsureApplication();
    PrivateCupsServer cups;
    ASSERT_TRUE(cups.Error().empty()) << cups.Error();
    auto device = print::QtPrintDevice::ForPrinter(PrivateCupsServer::kQueue, 600);
    // Drawn as the printer lays out its paper: the PPD's quarter-inch margins.
    EXPECT_EQ(device->OffsetX(), 150);
    EXPECT_EQ(device->OffsetY(), 150);
    device->BeginDoc();
    device->TextOut(100, 100, "refused", print::FontSpec{"Arial", 10, 0});
    ASSERT_EQ(cups.Admin("cupsreject SendoraTrays").status, 0);
    try {
        device->EndDoc();
        ADD_FAILURE() << "a refused job passed for printed";
    } catch (const print::EPrintError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("The printer \"SendoraTrays\" did not take the job: ", 0), 0u) << e.what();
    }
    EXPECT_TRUE(cups.Jobs().empty());
}

// The program itself finds the server through CUPS_SERVER.
TEST(CupsPrintProgram, UnattendedPrintGoesToTheServerNamedInTheEnvironment)
{
    REQUIRE_TOOLS("sqlite3", "gs", "zbarimg");
    ProgramFolder folder;
    unsetenv("SENDORA_PRINT_TO_PDF");
    PrivateCupsServer cups;
    ASSERT_TRUE(cups.Error().empty()) << cups.Error();
    testsupport::RunCommand(ProgramCommand(folder, 0, "setup"));
    ASSERT_EQ(Status(folder, "setup"), "0") << Output(folder, "setup");
    folder.SetNumbering("123456789", "0000041", true, true);

    testsupport::RunCommand(ProgramCommand(folder, 1, "print"));
    EXPECT_EQ(Status(folder, "print"), "0") << Output(folder, "print");
    EXPECT_EQ(SqlRows(folder.Log(), "select MailerNum from Log37"), std::vector<std::string>{kNumber41});
    const std::vector<CupsJob> jobs = cups.FinishedJobs();
    ASSERT_EQ(jobs.size(), 1u) << cups.ServerLog();
    EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED) << cups.ServerLog();
    EXPECT_TRUE(RenderedBarcodes(cups.DeviceFile(), folder.home / "scratch").count(Scanned("12345", kNumber41)));
}

}  // namespace
}  // namespace e2e
