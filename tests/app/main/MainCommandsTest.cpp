// The main window's dialog commands over real tables in a program folder of
// the test's own, printing to PDF files there.

#include "app/main/U_About.h"
#include "app/data/U_Globals.h"
#include "app/main/U_Main.h"
#include "app/addresses/U_NetworkSettings.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "dbaccess/edstable.h"
#include "platform/ui/MaskEdit.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WebPage.h"
#include "platform/print/RecordingPrintDevice.h"
#include "tests/app/log/LogTestSupport.h"
#include "tests/app/main/MainTestSupport.h"
#include "tests/e2e/E2ESupport.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Answers the next modal dialog once it is open. A dialog the answer leaves
// open (it refused what it was given) fails the test and is closed, so the
// command waiting on it returns.
void OnNextDialog(std::function<void(QWidget&)> answer)
{
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        answer(*dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog " << dialog->objectName().toStdString() << " stayed open";
            dialog->reject();
        }
    });
}

void Click(QWidget& dialog, const char* button) { dialog.findChild<QPushButton*>(button)->click(); }

class MainCommands : public ::testing::Test {
protected:
    MainCommands()
    {
        maintest::EnsureApplication();
        gAppPath = folder.home.str();
        ResetSettingsToDefaults();
        gLabelRow = gLabelCol = 0;
        module = std::make_unique<TInstalledDataModule>(folder.home.str());
        window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
        const maintest::DialogDismisser dismiss;
        window->show();
        while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        messages.Clear();
    }
    ~MainCommands() override
    {
        window->close();
        window.reset();
        module.reset();
    }

    void Trigger(const char* action)
    {
        auto* item = window->findChild<QAction*>(action);
        ASSERT_NE(item, nullptr) << action;
        item->trigger();
    }

    void FillMailer()
    {
        window->findChild<QPlainTextEdit*>("memoToAddress")->setPlainText("Jane Roe\n12 Elm Street");
        window->findChild<QLineEdit*>("editToCity")->setText("Springfield");
        window->findChild<QLineEdit*>("editToState")->setText("IL");
        window->findChild<ui::MaskEdit*>("editToZip")->SetText("12345");
    }

    // MailerNum is closed and shared again: another exclusive open gets it.
    void ExpectMailerNumReleased()
    {
        EXPECT_FALSE(dmSendoPro->edstMailerNum->Active());
        EXPECT_FALSE(dmSendoPro->edstMailerNum->Exclusive());
        TEdsTable other;
        other.SetDatabaseName(folder.home.str());
        other.SetTableName("MailerNum");
        other.SetExclusive(true);
        EXPECT_NO_THROW(other.Open());
    }

    std::vector<std::string> Texts(ui::MsgKind kind) const
    {
        std::vector<std::string> out;
        for (const ui::MessageRequest& r : messages.Shown())
            if (r.kind == kind) out.push_back(r.text);
        return out;
    }

    e2e::ProgramFolder folder;
    ui::ScriptedMessages messages;
    std::unique_ptr<TInstalledDataModule> module;
    std::unique_ptr<TF_Main> window;
};

}  // namespace

// ---- print settings ---------------------------------------------------------------

TEST_F(MainCommands, AlignmentAndExtraLabelDialogsOpenFromTheirMenuItems)
{
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QSpinBox*>("spinLeftRight")->setValue(-12);
        dialog.findChild<QSpinBox*>("SpinUpDown")->setValue(7);
        Click(dialog, "btnOK");
    });
    Trigger("miPrintAlignment");
    EXPECT_EQ(gAlignLeftRight, -12);
    EXPECT_EQ(gAlignTopBottom, 7);

    std::string opened;
    OnNextDialog([&opened](QWidget& dialog) {
        opened = dialog.windowTitle().toStdString();
        dialog.close();
    });
    Trigger("miExtraLabel");
    EXPECT_EQ(opened, "Extra Label");
    EXPECT_TRUE(messages.Shown().empty());
}

TEST_F(MainCommands, TrackItemOpensTheTrackingPage)
{
    std::vector<std::string> opened;
    const ui::ScopedUrlOpener opener([&opened](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    Trigger("Track");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].substr(0, 8), "https://");
    EXPECT_NE(opened[0].find("/shipping/trackandconfirm.htm"), std::string::npos);
}

// ---- the mailer-number dialog ---------------------------------------------------------

TEST_F(MainCommands, MailerNumberDialogStoresTheCounterAndSharesTheTableAgain)
{
    REQUIRE_TOOLS("sqlite3");
    OnNextDialog([](QWidget& dialog) {
        EXPECT_TRUE(dmSendoPro->edstMailerNum->Exclusive()) << "held while the dialog is open";
        dialog.findChild<ui::MaskEdit*>("editCustID")->SetText("987654321");
        dialog.findChild<QLineEdit*>("EditSerialNum")->setText("77");
        Click(dialog, "btnOK");
    });
    Trigger("miMailerNumber");
    EXPECT_EQ(e2e::SqlValue(folder.MailerNum(), "select CustID || '|' || SerialNum from MailerNum"),
              "987654321|0000077");
    ExpectMailerNumReleased();

    OnNextDialog([](QWidget& dialog) { Click(dialog, "btnCancel"); });
    Trigger("miMailerNumber");
    ExpectMailerNumReleased();
    EXPECT_TRUE(messages.Shown().empty());
}

TEST_F(MainCommands, MailerNumberHeldByAnotherStationIsReportedAndLeftToIt)
{
    TEdsTable other;
    other.SetDatabaseName(folder.home.str());
    other.SetTableName("MailerNum");
    other.SetExclusive(true);
    other.Open();

    bool opened = false;
    OnNextDialog([&opened](QWidget& dialog) {
        opened = true;
        dialog.close();
    });
    Trigger("miMailerNumber");
    QCoreApplication::processEvents();
    EXPECT_FALSE(opened) << "no dialog without the table";
    ASSERT_EQ(Texts(ui::MsgKind::Error).size(), 1u);
    // The user reads what to do; the engine's words are kept for support.
    EXPECT_NE(Texts(ui::MsgKind::Error)[0].find("Another station is using"), std::string::npos)
        << Texts(ui::MsgKind::Error)[0];
    EXPECT_NE(messages.Last().details.find("MailerNum"), std::string::npos) << messages.Last().details;
    EXPECT_FALSE(dmSendoPro->edstMailerNum->Exclusive());
    EXPECT_TRUE(other.Active());

    // The same refusal for the barcode sheets.
    messages.Clear();
    Trigger("miPrintBarCodes");
    EXPECT_EQ(Texts(ui::MsgKind::Error).size(), 1u);
    EXPECT_FALSE(dmSendoPro->edstMailerNum->Exclusive());
}

// ---- barcode sheets ------------------------------------------------------------------------

TEST_F(MainCommands, BarcodeLabelsPrintAndMoveTheCounterPastThem)
{
    REQUIRE_E2E_TOOLS();
    // Barcodes on: the labels count up even with the increment switch off.
    folder.SetNumbering("123456789", "0000041", true, false);
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QLineEdit*>("editNumLabels")->setText("3");
        Click(dialog, "btnOK");
    });
    Trigger("miPrintBarCodes");

    EXPECT_EQ(folder.Serial(), "0000044");
    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 3u) << "one print job per label";
    std::set<std::string> scanned;
    for (const auto& pdf : pdfs)
        for (const std::string& code : e2e::PdfBarcodes(pdf, folder.home / "scratch")) scanned.insert(code);
    // Each label's recipient copy carries its own serial, 41 to 43.
    for (const char* serial : {"0000041", "0000042", "0000043"}) {
        bool found = false;
        for (const std::string& code : scanned) found = found || code.find(std::string("123456789") + serial) != std::string::npos;
        EXPECT_TRUE(found) << serial;
    }
    ASSERT_FALSE(messages.Shown().empty());
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Information);
    EXPECT_EQ(messages.Last().text, "Printing of bar codes is complete.");
    ExpectMailerNumReleased();

    // The next mailer continues after the labels.
    FillMailer();
    messages.Clear();
    window->findChild<QPushButton*>("btnPrint")->click();
    EXPECT_TRUE(Texts(ui::MsgKind::Error).empty());
    EXPECT_EQ(e2e::SqlValue(folder.Log(), "select SerialNum from Log37"), "44");
}

TEST_F(MainCommands, DownCounterGivesMailersAndLabelsDistinctNumbersAndRefusesIssuedSerials)
{
    REQUIRE_TOOLS("sqlite3", "pdfimages", "zbarimg");
    folder.SetNumbering("123456789", "0000043", false, false);
    FillMailer();
    auto* print = window->findChild<QPushButton*>("btnPrint");
    print->click();
    print->click();
    OnNextDialog([](QWidget& dialog) {
        EXPECT_EQ(dialog.findChild<ui::MaskEdit*>("editSerialNum")->Text(), "0000041");
        dialog.findChild<QLineEdit*>("editNumLabels")->setText("2");
        Click(dialog, "btnOK");
    });
    Trigger("miPrintBarCodes");
    EXPECT_TRUE(Texts(ui::MsgKind::Error).empty());

    // Serials as the log holds them, and as the labels' barcodes carry them
    // (recipient copy: "420", ZIP, GS, "92147", customer ID, serial, check).
    std::multiset<std::string> serials;
    for (const std::string& row : e2e::SqlRows(folder.Log(), "select SerialNum from Log37"))
        serials.insert(std::string(7 - row.size(), '0') + row);
    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 4u);
    for (const auto& pdf : pdfs) {
        // Only the labels carry article barcodes: the mailers print without.
        std::set<std::string> recipient;
        for (const std::string& code : e2e::PdfBarcodes(pdf, folder.home / "scratch"))
            if (code.size() == 31 && code.compare(8, 15, "\x1d" "92147123456789") == 0)
                recipient.insert(code.substr(23, 7));
        EXPECT_LE(recipient.size(), 1u) << pdf;
        serials.insert(recipient.begin(), recipient.end());
    }
    EXPECT_EQ(serials, (std::multiset<std::string>{"0000040", "0000041", "0000042", "0000043"}));
    EXPECT_EQ(folder.Serial(), "0000039") << "past every number handed out, in the counter's direction";

    // A start the counter has passed is refused: nothing printed, the counter kept.
    messages.Clear();
    bool stayedOpen = false;
    OnNextDialog([&stayedOpen](QWidget& dialog) {
        dialog.findChild<ui::MaskEdit*>("editSerialNum")->SetText("0000042");
        Click(dialog, "btnOK");
        stayedOpen = dialog.isVisible();
        Click(dialog, "btnCancel");
    });
    Trigger("miPrintBarCodes");
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(Texts(ui::MsgKind::Error).size(), 1u);
    EXPECT_NE(Texts(ui::MsgKind::Error)[0].find("0000042 has been issued already"), std::string::npos)
        << Texts(ui::MsgKind::Error)[0];
    EXPECT_EQ(e2e::PdfFiles(folder.Pdfs()).size(), 4u);
    EXPECT_EQ(folder.Serial(), "0000039");
    ExpectMailerNumReleased();
}

TEST_F(MainCommands, BarcodeLabelsThatFailHalfWayNameTheNumbersLeftOut)
{
    REQUIRE_TOOLS("sqlite3");
    folder.SetNumbering("123456789", "0000041", true, true);
    maintest::RecordingPrinter printer;
    printer.device.FailAt(print::RecordingPrintDevice::Op::BeginDoc, 2);
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QLineEdit*>("editNumLabels")->setText("4");
        Click(dialog, "btnOK");
    });
    Trigger("miPrintBarCodes");

    EXPECT_EQ(printer.device.DocumentsPrinted(), 1);
    ASSERT_EQ(messages.Count(), 1u) << "no success text after the failure";
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_NE(messages.Last().text.find("1 of 4 labels were printed. The 3 Mailer Numbers from "
                                        "9214 7123 4567 8900 0004 28 to 9214 7123 4567 8900 0004 4"),
              std::string::npos)
        << messages.Last().text;
    EXPECT_EQ(folder.Serial(), "0000045");
    ExpectMailerNumReleased();
}

TEST_F(MainCommands, CancelledBarcodeLabelsPrintNothingAndShareTheTable)
{
    REQUIRE_TOOLS("sqlite3");
    folder.SetNumbering("123456789", "0000041", true, true);
    OnNextDialog([](QWidget& dialog) { Click(dialog, "btnCancel"); });
    Trigger("miPrintBarCodes");
    EXPECT_EQ(folder.Serial(), "0000041");
    EXPECT_TRUE(e2e::PdfFiles(folder.Pdfs()).empty());
    EXPECT_TRUE(messages.Shown().empty());
    ExpectMailerNumReleased();
}

// ---- several forms with one address ------------------------------------------------------------

TEST_F(MainCommands, MultipleFormsNumberEachFormAndReportOnceAtTheEnd)
{
    REQUIRE_TOOLS("sqlite3");
    folder.SetNumbering("123456789", "0000041", true, true);
    FillMailer();
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QLineEdit*>("editNumLabels")->setText("3");
        Click(dialog, "btnOK");
    });
    Trigger("miPrintMultipleForms");

    EXPECT_EQ(folder.Serial(), "0000044");
    EXPECT_EQ(e2e::SqlRows(folder.Log(), "select SerialNum from Log37 order by LID"),
              (std::vector<std::string>{"41", "42", "43"}));
    EXPECT_TRUE(Texts(ui::MsgKind::Choice).empty()) << "no per-form notice";
    ASSERT_FALSE(messages.Shown().empty());
    EXPECT_EQ(messages.Last().text, "3 labels have been sent to the printer.");
    EXPECT_TRUE(window->findChild<QPushButton*>("btnPrint")->isEnabled());
    ExpectMailerNumReleased();
}

TEST_F(MainCommands, MultipleFormsStopAtAnAllZeroCustomerId)
{
    REQUIRE_TOOLS("sqlite3");
    FillMailer();
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QLineEdit*>("editNumLabels")->setText("4");
        Click(dialog, "btnOK");
    });
    Trigger("miPrintMultipleForms");
    ASSERT_EQ(messages.Count(), 1u) << "the refusal once, and no count";
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(folder.LogCount(), 0);
    ExpectMailerNumReleased();
}

TEST_F(MainCommands, MultipleFormsStopAtTheFirstFailedPrintAndNameTheSkippedNumber)
{
    REQUIRE_TOOLS("sqlite3");
    folder.SetNumbering("123456789", "0000041", true, true);
    maintest::RecordingPrinter printer;
    printer.device.FailAt(print::RecordingPrintDevice::Op::BeginDoc, 3);
    FillMailer();
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QLineEdit*>("editNumLabels")->setText("5");
        Click(dialog, "btnOK");
    });
    Trigger("miPrintMultipleForms");

    EXPECT_EQ(printer.device.DocumentsPrinted(), 2);
    EXPECT_EQ(e2e::SqlRows(folder.Log(), "select SerialNum || '|' || MailerNum from Log37 order by LID"),
              (std::vector<std::string>{"41|9214 7123 4567 8900 0004 11", "42|9214 7123 4567 8900 0004 28"}));
    ASSERT_EQ(messages.Count(), 1u) << "one error, and no success text";
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_NE(messages.Last().text.find("The Mailer Number 9214 7123 4567 8900 0004 35 was skipped."),
              std::string::npos)
        << messages.Last().text;
    EXPECT_EQ(folder.Serial(), "0000044");
    ExpectMailerNumReleased();
}

// ---- the sender ----------------------------------------------------------------------------------

TEST_F(MainCommands, ChosenSenderIsShownAndTheEntryBecomesPrintableAgain)
{
    REQUIRE_TOOLS("sqlite3");
    const auto yourAddress = folder.home / "Addresses" / "YourAddress.edt";
    e2e::SqlRows(yourAddress, "insert into YourAddress (Address1, City, State, Zip) values "
                              "('First Office', 'Albany', 'NY', '12207'), ('Second Office', 'Troy', 'NY', '12180')");
    auto* print = window->findChild<QPushButton*>("btnPrint");
    print->setEnabled(false);  // as after a print with the notice switched off

    OnNextDialog([](QWidget& dialog) {
        auto* list = dialog.findChild<QListWidget*>("lvYourAddress");
        ASSERT_EQ(list->count(), 2);
        list->item(1)->setSelected(true);
        Click(dialog, "btnOK");
    });
    Trigger("miYourAddress");
    EXPECT_EQ(window->findChild<QLabel*>("lblYourAddress1")->text(), "Second Office");
    EXPECT_EQ(gYourCity, "Troy");
    EXPECT_TRUE(print->isEnabled());

    // Cancel keeps the sender and the entry as they are.
    print->setEnabled(false);
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QListWidget*>("lvYourAddress")->item(0)->setSelected(true);
        Click(dialog, "btnCancel");
    });
    window->findChild<QPushButton*>("btnSelectYourAddress")->click();
    EXPECT_EQ(window->findChild<QLabel*>("lblYourAddress1")->text(), "Second Office");
    EXPECT_FALSE(print->isEnabled());
}

// ---- table folders -------------------------------------------------------------------------------

TEST_F(MainCommands, NewLogFolderFromNetworkSettingsGetsItsTablesAndTheNextPrint)
{
    REQUIRE_TOOLS("sqlite3");
    folder.SetNumbering("123456789", "0000041", true, true);
    const std::filesystem::path shared = folder.home / "shared" / "log";
    std::filesystem::create_directories(shared);
    const ScopedOpenDialogHandler chooser([&shared](TOpenDialog& dialog) {
        dialog.FileName = (shared / "Log37.edt").string();
        return true;
    });
    OnNextDialog([](QWidget& dialog) {
        Click(dialog, "btnCreateLogDB");
        Click(dialog, "btnOK");
    });
    Trigger("miNetworkSettings");
    EXPECT_EQ(gLogDB, shared.string());
    ASSERT_TRUE(std::filesystem::exists(shared / "Log37.edt"));

    FillMailer();
    window->findChild<QPushButton*>("btnPrint")->click();
    EXPECT_EQ(e2e::SqlValue(shared / "Log37.edt", "select SerialNum from Log37"), "41");
    EXPECT_EQ(folder.LogCount(), 0) << "nothing in the old folder";
    EXPECT_TRUE(Texts(ui::MsgKind::Error).empty());
}

// ---- the log -----------------------------------------------------------------------

TEST_F(MainCommands, APrintedMailerIsFoundInTheLogByItsScanAndItsReceiptMarked)
{
    REQUIRE_TOOLS("sqlite3");
    using logtest::WhenDialog;
    folder.SetNumbering("123456789", "0000041", true, true);
    FillMailer();
    window->findChild<QPushButton*>("btnPrint")->click();
    const std::string logged = e2e::SqlValue(folder.Log(), "select MailerNum from Log37");
    ASSERT_EQ(logged.size(), 27u) << "the number as printed, in groups";
    std::string scan = "42012345";
    for (char c : logged)
        if (c != ' ') scan += c;
    const auto type = [](QWidget& dialog, const std::string& text) {
        QTest::keyClicks(dialog.findChild<QLineEdit*>("maskeditMailerNum"), QString::fromStdString(text));
        QTest::keyClick(dialog.findChild<QLineEdit*>("maskeditMailerNum"), Qt::Key_Return);
    };

    std::vector<std::string> shown;
    WhenDialog("Log File", [&](QWidget& log) {
        const auto detail = [&log](const char* field) {
            return log.findChild<QLabel*>(QString("dbt") + field)->text().toStdString();
        };
        WhenDialog("Find Mailer", [&scan](QWidget& find) {
            find.findChild<QRadioButton*>("rbMailer")->setChecked(true);
            find.findChild<QLineEdit*>("editEnter")->setText(QString::fromStdString(scan));
            Click(find, "btnOK");
        });
        WhenDialog("Edit Mailer", [](QWidget& edit) {
            edit.findChild<QLineEdit*>("editComment")->setText("Found by its scan");
            Click(edit, "btnOK");
        });
        Click(log, "btnFindMailer");
        shown.push_back(detail("Comment"));

        // The log window's button opens the returned receipts, and the log shows what OK wrote.
        WhenDialog("Incoming Mailers", [&](QWidget& receipts) {
            type(receipts, scan);
            Click(receipts, "btnOK");
        });
        Click(log, "Button1");
        shown.push_back(detail("Result"));
        Click(log, "btnClose");
    });
    Trigger("miLogFile");
    EXPECT_EQ(shown, (std::vector<std::string>{"Found by its scan", "Received - Signed"}));
    EXPECT_EQ(e2e::SqlValue(folder.Log(), "select Comment || '|' || Result from Log37"),
              "Found by its scan|Received - Signed");
    EXPECT_FALSE(dmSendoPro->edsqLog->Active()) << "the log's queries close with the window";

    // The menu item opens the receipts too; a marked mailer is no open one.
    WhenDialog("Incoming Mailers", [&](QWidget& receipts) {
        type(receipts, logged);
        Click(receipts, "btnCancel");
    });
    Trigger("miTrackIncomingMailers");
    EXPECT_EQ(Texts(ui::MsgKind::Error), std::vector<std::string>{"Mailer Number not found."});
}
