// The print road driven through the real main window offscreen, over real
// tables in a program folder of the test's own, printing to PDF files.

#include "tests/e2e/E2ESupport.h"
#include "tests/e2e/E2EWindow.h"

#include "app/main/U_About.h"
#include "app/data/ShippedFiles.h"
#include "app/data/U_Globals.h"
#include "app/main/U_Main.h"
#include "app/printing/U_SendoPrint.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "dbaccess/edstable.h"
#include "platform/ui/MaskEdit.h"
#include "platform/ui/MessageService.h"
#include "tools/zipcodes/ZipcodesTable.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using e2e::SqlRows;
using e2e::SqlValue;
using e2e::kNumber41;
using e2e::kNumber42;
using e2e::kNumber43;

class PrintRoad : public e2e::MainWindowTest {};

TEST_F(PrintRoad, ThreePrintsNumberLogAndPrintEachMailerOnce)
{
    REQUIRE_E2E_TOOLS();
    Start();
    for (int i = 0; i < 3; ++i) Print();

    EXPECT_EQ(folder.Serial(), "0000044");
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty());
    const std::vector<std::string> rows = SqlRows(
        folder.Log(), "select SerialNum, MailerNum, CustID, Batch, Result, Postage, Certified, Return, Total, "
                      "ToAddress1, ToAddress2, ToCity, ToState, ToZip, Department, RE, WishRest, "
                      "DateTime is not null from Log37 order by LID");
    ASSERT_EQ(rows.size(), 3u);
    const std::string rest = "|123456789|0|None|0.39|2.40|1.85|4.64|Jane Roe|12 Elm Street|Springfield|IL|12345-|Legal|"
                             "Lease|0|1";
    EXPECT_EQ(rows[0], "41|" + kNumber41 + rest);
    EXPECT_EQ(rows[1], "42|" + kNumber42 + rest);
    EXPECT_EQ(rows[2], "43|" + kNumber43 + rest);

    // Each notice names its own number, without the check digit.
    const auto notices = Shown(ui::MsgKind::Choice);
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0]->title, "Printing");
    EXPECT_EQ(notices[0]->text, "Mailer has been sent to printer.  The Mailer Number was:\n\r\n\r921471234567890000041");
    EXPECT_EQ(notices[2]->customButtons, (std::vector<std::string>{"&Do not show this screen again", "&OK"}));

    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 3u);
    const std::string numbers[3] = {kNumber41, kNumber42, kNumber43};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(pdfs[static_cast<std::size_t>(i)].string());
        EXPECT_NE(e2e::PdfText(pdfs[static_cast<std::size_t>(i)]).find(numbers[i]), std::string::npos);
        const auto codes = e2e::PdfBarcodes(pdfs[static_cast<std::size_t>(i)], folder.home / "scratch");
        EXPECT_TRUE(codes.count(e2e::Scanned("12345", numbers[i]))) << "barcode of " << numbers[i];
    }
    // The entry stays editable while the notice is on.
    EXPECT_TRUE(Child<QPushButton>("btnPrint")->isEnabled());
}

// Print's key and its menu item leave the focus in the field the user typed
// in: the print leaves that field first, as a click on Print does, and only
// once. With Zeros on a second exit would turn the refused fee's blank into
// 0.00, log that and, after the print, make the greyed entry editable again.
TEST_F(PrintRoad, PrintByItsKeyOrMenuLeavesTheFieldThatHoldsTheFocusOnceAsAClickDoes)
{
    REQUIRE_TOOLS("sqlite3", "pdftotext");
    Start();
    ASSERT_TRUE(window->ZerosOn());
    Activate();
    auto* fee = Child<QLineEdit>("editReturn");
    auto* total = Child<QLineEdit>("editTotal");
    auto* print = Child<QPushButton>("btnPrint");
    const auto logged = [this] { return SqlRows(folder.Log(), "select Return, Total from Log37 order by LID"); };

    // The notice takes the focus while it shows, and is switched off.
    messages.onMessage = [this](const ui::MessageRequest& box) {
        if (box.kind != ui::MsgKind::Choice) return static_cast<int>(ui::mrOk);
        FocusAwayAndBack();
        return 1;
    };
    TypeAtEnd(fee, "ho");
    PressAlt(Qt::Key_P);
    EXPECT_EQ(logged(), std::vector<std::string>{"|2.79"});
    EXPECT_EQ(fee->text().toStdString(), " ");
    EXPECT_EQ(total->text().trimmed(), "2.79");
    ASSERT_EQ(QApplication::focusWidget(), fee);
    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 1u);
    const std::string page = e2e::PdfText(pdfs[0]);
    EXPECT_EQ(page.find("1.85ho"), std::string::npos) << page;
    EXPECT_NE(page.find("2.79"), std::string::npos) << page;

    // Printed again, the notice now off: the entry greys, and stays grey
    // when the focus finally leaves the field.
    PressAlt(Qt::Key_P);
    EXPECT_EQ(logged(), (std::vector<std::string>{"|2.79", "|2.79"}));
    EXPECT_FALSE(print->isEnabled());
    QTest::keyClick(fee, Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), fee);
    EXPECT_EQ(fee->text().toStdString(), " ");
    EXPECT_FALSE(print->isEnabled());
    EXPECT_EQ(fee->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));

    // The File menu by its keys: the menu leaves the field, Print does not again.
    fee->setFocus();
    fee->selectAll();
    QTest::keyClicks(fee, "1.85ho");
    ASSERT_TRUE(print->isEnabled());
    QTest::keyClick(fee, Qt::Key_F, Qt::AltModifier);
    QWidget* menu = QApplication::activePopupWidget();
    ASSERT_NE(menu, nullptr);
    QTest::keyClick(menu, Qt::Key_P);
    EXPECT_EQ(logged(), (std::vector<std::string>{"|2.79", "|2.79", "|2.79"}));
    EXPECT_EQ(fee->text().toStdString(), " ");
    EXPECT_FALSE(print->isEnabled());
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty()) << Shown(ui::MsgKind::Error)[0]->text;
}

TEST_F(PrintRoad, PrintByItsKeyInTheZipPrintsTheCityAndStateItsLookupGives)
{
    REQUIRE_TOOLS("sqlite3", "pdftotext");
    testsupport::TempDir shipped;
    const ScopedShippedFolders shippedFolders({shipped.str()});
    ASSERT_EQ(WriteZipCodesTable(shipped.str(), {{"62701", "Springfield", "IL"}}), 1u);
    Start();
    Child<QLineEdit>("editToCity")->clear();
    Child<QLineEdit>("editToState")->clear();
    auto* zip = Child<ui::MaskEdit>("editToZip");
    zip->SetText("");
    Activate();
    zip->setFocus();
    QTest::keyClicks(zip, "62701");
    PressAlt(Qt::Key_P);

    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty()) << Shown(ui::MsgKind::Error)[0]->text;
    EXPECT_EQ(SqlRows(folder.Log(), "select ToCity, ToState, ToZip from Log37"),
              std::vector<std::string>{"Springfield|IL|62701-"});
    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 1u);
    const std::string page = e2e::PdfText(pdfs[0]);
    EXPECT_NE(page.find("SPRINGFIELD IL 62701"), std::string::npos) << page;
    EXPECT_NE(page.find("Springfield IL 62701"), std::string::npos) << page;
}

TEST_F(PrintRoad, DoNotShowAgainGreysTheEntryAfterTheNextPrintUntilItChanges)
{
    Start();
    messages.Answer(ui::mrOk);  // where the PDF went
    messages.Answer(1);         // "&Do not show this screen again"
    Print();
    EXPECT_TRUE(Child<QPushButton>("btnPrint")->isEnabled());
    Print();
    EXPECT_EQ(Shown(ui::MsgKind::Choice).size(), 1u);
    EXPECT_FALSE(Child<QPushButton>("btnPrint")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>("editRe")->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));

    // The menu item follows the greyed button: the same entry is not printed again.
    Child<QAction>("miPrint")->trigger();
    EXPECT_EQ(folder.LogCount(), 2);

    Child<QLineEdit>("editComment")->setText("second copy");
    EXPECT_TRUE(Child<QPushButton>("btnPrint")->isEnabled());
    Child<QAction>("miPrint")->trigger();
    EXPECT_EQ(folder.LogCount(), 3);
    EXPECT_EQ(folder.Serial(), "0000044");
}

TEST_F(PrintRoad, CustomerIdThatIsNotNineDigitsWithBarcodesIsRefusedBeforeAnything)
{
    Start("000000000");
    // All zeros, short, emptied and missing: each would print a number that is not ours.
    for (const char* custId : {"'000000000'", "'98765'", "''", "NULL"}) {
        SCOPED_TRACE(custId);
        SqlRows(folder.MailerNum(), std::string("update MailerNum set CustID=") + custId);
        messages.Clear();
        Print();
        ASSERT_EQ(messages.Count(), 1u);
        EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
        EXPECT_EQ(messages.Last().text, "You can not print a Mailer with \"00-000-0000\" as a Customer ID.\r\r"
                                        "Please enter in a Customer ID, and try again.");
    }
    EXPECT_TRUE(e2e::PdfFiles(folder.Pdfs()).empty());
    EXPECT_EQ(folder.LogCount(), 0);
    EXPECT_EQ(folder.Serial(), "0000041");

    // MailerNum is closed and shared again: another exclusive open gets it.
    EXPECT_FALSE(dmSendoPro->edstMailerNum->Active());
    TEdsTable other;
    other.SetDatabaseName(folder.home.str());
    other.SetTableName("MailerNum");
    other.SetExclusive(true);
    EXPECT_NO_THROW(other.Open());
}

TEST_F(PrintRoad, SerialThatIsNotANumberStopsThePrintWithItsReason)
{
    Start("123456789", "00x0041");
    Print();
    ASSERT_EQ(Shown(ui::MsgKind::Error).size(), 1u);
    EXPECT_NE(messages.Last().text.find("\"00x0041\""), std::string::npos) << messages.Last().text;
    EXPECT_TRUE(e2e::PdfFiles(folder.Pdfs()).empty());
    EXPECT_EQ(folder.LogCount(), 0);
    EXPECT_EQ(folder.Serial(), "00x0041");
}

TEST_F(PrintRoad, WithBarcodesTheSerialCountsUpWhateverTheIncrementSwitchSays)
{
    Start("123456789", "0000041", true, false);
    Print();
    Print();
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty());
    EXPECT_EQ(folder.Serial(), "0000043");
    EXPECT_EQ(SqlRows(folder.Log(), "select SerialNum || '|' || MailerNum from Log37 order by LID"),
              (std::vector<std::string>{"41|" + kNumber41, "42|" + kNumber42}));
}

TEST_F(PrintRoad, WithoutBarcodesTheSerialFollowsTheIncrementSwitch)
{
    Start("123456789", "0000041", false, false);
    Child<ui::MaskEdit>("editToZip")->SetText("");
    Print();
    EXPECT_EQ(folder.Serial(), "0000040");
    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 1u);
    EXPECT_EQ(SqlValue(folder.Log(), "select SerialNum || '|' || MailerNum from Log37"), "41|" + kNumber41);
}

TEST_F(PrintRoad, LabelCellAdvancesColumnFirstWrapsAfterTheNinthAndIsSavedAtClose)
{
    Start();
    Child<QCheckBox>("CBReturn")->setChecked(false);
    ASSERT_EQ(gFormMode, 0);
    const std::pair<const char*, const char*> expected[9] = {{"1", "2"}, {"1", "3"}, {"2", "1"}, {"2", "2"}, {"2", "3"},
                                                             {"3", "1"}, {"3", "2"}, {"3", "3"}, {"1", "1"}};
    for (const auto& [row, col] : expected) {
        Print();
        EXPECT_EQ(Child<QLineEdit>("EDPosRow")->text().toStdString(), row);
        EXPECT_EQ(Child<QLineEdit>("EDPosCol")->text().toStdString(), col);
    }
    Print();
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty());
    EXPECT_EQ(folder.LogCount(), 10);
    EXPECT_EQ(e2e::PdfFiles(folder.Pdfs()).size(), 10u);

    window->close();
    const std::string ini = testsupport::ReadFile(folder.home / "sendo4.ini");
    EXPECT_NE(ini.find("[LabelPos]"), std::string::npos);
    EXPECT_NE(ini.find("Row=0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Col=1"), std::string::npos) << ini;
}

TEST_F(PrintRoad, BatchModeOnlyLogsTheEntryAndLeavesTheNumberAlone)
{
    Start();
    Child<QAction>("miBatchOn")->trigger();
    Print();
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Information);
    EXPECT_EQ(messages.Last().text, "Record has been added to the Batch File.");
    EXPECT_EQ(folder.Serial(), "0000041");
    EXPECT_TRUE(e2e::PdfFiles(folder.Pdfs()).empty());
    EXPECT_EQ(SqlValue(folder.Log(), "select Batch, DateTime is null, MailerNum is null, CustID is null, "
                                     "SerialNum is null, ToAddress1, Result from Log37"),
              "1|1|1|1|1|Jane Roe|None");
}

TEST_F(PrintRoad, MailerNumHeldElsewhereStopsThePrintWithTheTablesError)
{
    Start();
    TEdsTable other;
    other.SetDatabaseName(folder.home.str());
    other.SetTableName("MailerNum");
    other.SetExclusive(true);
    other.Open();
    Print();
    EXPECT_EQ(Shown(ui::MsgKind::Error).size(), 1u);
    EXPECT_TRUE(e2e::PdfFiles(folder.Pdfs()).empty());
    EXPECT_EQ(folder.LogCount(), 0);
    other.Close();
    Print();
    EXPECT_EQ(folder.LogCount(), 1);
}

TEST_F(PrintRoad, FailedPrintNamesTheSkippedNumberAndLogsNothing)
{
    Start();
    // A file where the PDF folder should be: the print cannot start.
    testsupport::WriteFile(folder.home / "pdf", "not a folder");
    Print();
    const auto errors = Shown(ui::MsgKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0]->text.find(kNumber41 + " was skipped"), std::string::npos) << errors[0]->text;
    EXPECT_EQ(folder.LogCount(), 0);
    EXPECT_EQ(folder.Serial(), "0000042");
}

TEST_F(PrintRoad, LogRowThatCannotBeWrittenNamesThePrintedNumber)
{
    Start();
    // The log folder turned into a file: the row has nowhere to go.
    testsupport::WriteFile(folder.home / "blocked", "not a folder");
    gLogDB = (folder.home / "blocked" / "Log").string();
    Print();
    const auto errors = Shown(ui::MsgKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]->text.rfind("The mailer " + kNumber41 + " was printed, but it could not be added to the log.", 0),
              0u)
        << errors[0]->text;
    EXPECT_EQ(e2e::PdfFiles(folder.Pdfs()).size(), 1u);
    EXPECT_EQ(folder.Serial(), "0000042");
    EXPECT_FALSE(dmSendoPro->edstLog->Active());
}

TEST_F(PrintRoad, LogFolderDeletedWhileRunningIsMadeAgainAndThePrintLogged)
{
    Start();
    Print();
    ASSERT_EQ(folder.LogCount(), 1);
    std::filesystem::remove_all(folder.home / "Log");
    Print();
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty()) << Shown(ui::MsgKind::Error)[0]->text;
    EXPECT_EQ(SqlRows(folder.Log(), "select SerialNum from Log37"), (std::vector<std::string>{"42"}));
    // Made as start-up makes it: the saved filters and reports come along.
    for (const char* side : {"LogFilters.edt", "Reports.edt"})
        EXPECT_TRUE(std::filesystem::exists(folder.home / "Log" / side)) << side;
    EXPECT_EQ(e2e::PdfFiles(folder.Pdfs()).size(), 2u);
}

}  // namespace
