#include "app/main/U_Main.h"

#include "app/main/U_About.h"
#include "tests/app/main/MainTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/ui/MaskEdit.h"

#include <filesystem>
#include <functional>

using maintest::Blanks;

namespace {

class MainWindow : public maintest::MainFixture {
protected:
    std::unique_ptr<TF_Main> Start(std::vector<std::string> args = {})
    {
        auto window = std::make_unique<TF_Main>(nullptr, std::move(args));
        window->show();
        QCoreApplication::processEvents();
        return window;
    }

    template <class T>
    static T* Find(const TF_Main& w, const char* name)
    {
        T* found = w.findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static QString Text(const TF_Main& w, const char* name) { return Find<QLineEdit>(w, name)->text(); }
    static void Trigger(const TF_Main& w, const char* action) { Find<QAction>(w, action)->trigger(); }
    static std::vector<std::string> Memo(const TF_Main& w)
    {
        std::vector<std::string> lines;
        for (const QString& line : Find<QPlainTextEdit>(w, "memoToAddress")->toPlainText().split('\n'))
            lines.push_back(line.toStdString());
        return lines;
    }
    static void Type(QWidget* widget, const QString& text)
    {
        widget->setFocus();
        QTest::keyClicks(widget, text);
    }
    // Focus must really move for the exit handlers to run.
    static void Activate(TF_Main& w)
    {
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }
};

}  // namespace

// ---- start-up and shut-down -----------------------------------------------------

TEST_F(MainWindow, FreshProgramFolderStartsWithTheMakersBrandFoldersTablesAndTheNotice)
{
    auto w = Start();
    EXPECT_EQ(gCompany, "Farrowby");
    EXPECT_TRUE(std::filesystem::is_directory(home / "Addresses"));
    EXPECT_TRUE(std::filesystem::is_directory(home / "Log"));
    EXPECT_EQ(dataLog.ensured, (std::vector<std::string>{home.str() + "/Addresses|YourAddress",
                                                         home.str() + "/Log|Log37", home.str() + "|MailerNum"}));
    // The release version set once in the build reaches the title.
    EXPECT_EQ(w->windowTitle().toStdString(), "Sendora Pro 4.1.5");
    EXPECT_EQ(w->width(), 569);

    ASSERT_EQ(messages.Count(), 1u);
    const ui::MessageRequest& notice = messages.Last();
    EXPECT_EQ(notice.title, "Bar Code Printing Registration");
    EXPECT_EQ(notice.customButtons, (std::vector<std::string>{"&Never Print again"}));
    EXPECT_EQ(notice.text.rfind("This software prints the newly required Bar Code on the your Certified Mailer. "
                                "Thus the U.S. Postal Service Requires that you register with them.  The DUNS "
                                "numbers are no longer used. You must have a mailer ID issued by the U.S. Postal "
                                "Server.",
                                0),
              0u);
    EXPECT_TRUE(gBarCodeApp) << "closing the notice without its button keeps it on";
    EXPECT_FALSE(std::filesystem::exists(Ini())) << "nothing is written before the close";

    w->close();
    EXPECT_EQ(dataLog.closeAll, 1);
    const std::string ini = testsupport::ReadFile(Ini());
    for (const char* key : {"Company=Farrowby", "BarCodeApp=1", "Zeros=1", "Batch=0", "PTray=0", "Printer="})
        EXPECT_NE(ini.find(key), std::string::npos) << key;
}

TEST_F(MainWindow, NeverPrintAgainSwitchesTheNoticeOffForGood)
{
    messages.Answer(1);
    auto w = Start();
    EXPECT_FALSE(gBarCodeApp);
    w->close();
    const std::string first = testsupport::ReadFile(Ini());
    EXPECT_NE(first.find("BarCodeApp=0"), std::string::npos);

    // The second start reads it back: no notice, and the file comes out unchanged.
    ResetSettingsToDefaults();
    messages.Clear();
    auto again = Start();
    EXPECT_EQ(messages.Count(), 0u);
    again->close();
    EXPECT_EQ(testsupport::ReadFile(Ini()), first);
}

TEST_F(MainWindow, FailingStartUpStepsAreReportedAndStartUpGoesOn)
{
    WriteIni("[Printer]\r\nPTray=2\r\nPrinter=No Such Printer Here\r\n");
    data->failEnsure = "Log37";
    messages.Answer(ui::mrOk);  // printer error
    messages.Answer(ui::mrOk);  // table error
    auto w = Start();
    ASSERT_EQ(messages.Count(), 3u);
    EXPECT_EQ(messages.Shown()[0].kind, ui::MsgKind::Error);
    EXPECT_NE(messages.Shown()[0].text.find("No Such Printer Here"), std::string::npos);
    EXPECT_EQ(messages.Shown()[1].text,
              "The mail log in " + (home / "Log").string() + " could not be made ready.\r\rCannot create table Log37.");
    EXPECT_EQ(messages.Shown()[2].title, "Bar Code Printing Registration");
    EXPECT_EQ(dataLog.ensured.size(), 3u) << "the tables after the failing one are still made";
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "4.64");
}

TEST_F(MainWindow, SenderAddressIsReadOnlyForAnIntegerId)
{
    data->addresses[7] = {"Legal Dept", "Acme Corp", "", "", "Springfield", "IL", "62701"};
    WriteIni("[YourAddress]\r\nID=7\r\n");
    auto w = Start();
    EXPECT_EQ(dataLog.addressIds, (std::vector<int>{7}));
    EXPECT_EQ(Find<QLabel>(*w, "lblYourAddress1")->text(), "Legal Dept");
    EXPECT_EQ(Find<QLabel>(*w, "lblYourAddress3")->text(), "Springfield IL 62701");
    EXPECT_EQ(gYourCity, "Springfield");
    w.reset();

    dataLog.addressIds.clear();
    WriteIni("[YourAddress]\r\nID=7 or 1=1\r\n");
    auto other = Start();
    EXPECT_TRUE(dataLog.addressIds.empty());
    EXPECT_EQ(Find<QLabel>(*other, "lblYourAddress1")->text(), "");
}

TEST_F(MainWindow, ResellerLogoBrandsTheWindow)
{
    QImage logo(20, 10, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(QString::fromStdString((home / "Scr_logo.bmp").string()), "BMP"));
    auto w = Start();
    EXPECT_EQ(gCompany, "Hollisand");
    const QLabel* image = Find<QLabel>(*w, "imageCompany");
    EXPECT_FALSE(image->pixmap().isNull());
    EXPECT_EQ(image->geometry(), QRect(30, 63, 197, 97));
}

// ---- command line ------------------------------------------------------------------

TEST_F(MainWindow, ElevenArgumentsFillTheElevenFieldsOnce)
{
    auto w = Start({"Jane Q Public", "Acme Rentals", "12 Elm Street", "Suite 5", "Springfield", "IL", "627011234",
                    "Legal", "J. Smith", "Lease 42", "Notice of renewal", "twelfth"});
    EXPECT_EQ(Memo(*w), (std::vector<std::string>{"Jane Q Public", "Acme Rentals", "12 Elm Street", "Suite 5"}));
    EXPECT_EQ(Text(*w, "editToCity"), "Springfield");
    EXPECT_EQ(Text(*w, "editToState"), "IL");
    EXPECT_EQ(Find<ui::MaskEdit>(*w, "editToZip")->Text(), "62701-1234");
    EXPECT_EQ(Text(*w, "editDepartment"), "Legal");
    EXPECT_EQ(Text(*w, "editProcessedBy"), "J. Smith");
    EXPECT_EQ(Text(*w, "editComment"), "Lease 42");
    EXPECT_EQ(Text(*w, "editRe"), "Notice of renewal");
    for (QLineEdit* edit : w->findChildren<QLineEdit*>())
        EXPECT_NE(edit->text(), "twelfth") << edit->objectName().toStdString();

    // A later show (after the window was hidden) keeps what the user typed.
    Find<QLineEdit>(*w, "editToCity")->setText("Chicago");
    w->hide();
    w->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Text(*w, "editToCity"), "Chicago");
    EXPECT_EQ(Memo(*w).front(), "Jane Q Public");
}

TEST_F(MainWindow, ArgumentsAreCutToTheFieldLimits)
{
    auto w = Start({"a", "b", "c", "d", std::string(50, 'C'), "ABCDEFG", "1", std::string(30, 'D')});
    EXPECT_EQ(Text(*w, "editToCity").size(), 35);
    EXPECT_EQ(Text(*w, "editToState"), "ABCD");
    EXPECT_EQ(Text(*w, "editDepartment").size(), 20);
}

// ---- fees ----------------------------------------------------------------------------

TEST_F(MainWindow, DefaultFeesAddUpToTheTotal)
{
    auto w = Start();
    EXPECT_EQ(Text(*w, "editPostage").toStdString(), Blanks(10) + "0.39");
    EXPECT_EQ(Text(*w, "editCertFee").toStdString(), Blanks(10) + "2.40");
    EXPECT_EQ(Text(*w, "editReturn").toStdString(), Blanks(10) + "1.85");
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "4.64");
}

TEST_F(MainWindow, TypedFeesAreFormattedWhenLeft)
{
    auto w = Start();
    Activate(*w);
    auto* postage = Find<QLineEdit>(*w, "editPostage");
    postage->clear();
    Type(postage, "12.5");
    QTest::keyClick(postage, Qt::Key_Tab);
    EXPECT_EQ(postage->text().toStdString(), Blanks(8) + "12.50");
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(8) + "16.75");

    postage->clear();
    Type(postage, "-3");
    QTest::keyClick(postage, Qt::Key_Tab);
    EXPECT_EQ(postage->text(), " ");
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "4.25") << "a refused fee adds nothing";
}

TEST_F(MainWindow, ZerosSwitchDecidesHowAnEmptyFeeShows)
{
    auto w = Start();
    auto* postage = Find<QLineEdit>(*w, "editPostage");
    postage->clear();
    w->editPostageExit();
    EXPECT_EQ(postage->text().toStdString(), Blanks(10) + "0.00");
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "4.25");

    Trigger(*w, "miZerosOff");
    EXPECT_FALSE(w->ZerosOn());
    EXPECT_TRUE(Find<QAction>(*w, "miZerosOff")->isChecked());
    EXPECT_FALSE(Find<QAction>(*w, "miZerosOn")->isChecked());
    postage->clear();
    w->editPostageExit();
    EXPECT_EQ(postage->text(), " ");
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "4.25");

    Trigger(*w, "miShowFeesOff");
    EXPECT_FALSE(gShowFees);
    EXPECT_EQ(Text(*w, "editTotal"), " ") << "nothing to add up, and zeros are blank";
    Trigger(*w, "miShowFeesOn");
    EXPECT_TRUE(gShowFees);
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "4.64");

    w->close();
    EXPECT_NE(testsupport::ReadFile(Ini()).find("Zeros=0"), std::string::npos);
}

TEST_F(MainWindow, RestrictedAndPrioritySwitchesBringTheirFees)
{
    auto w = Start();
    Find<QCheckBox>(*w, "cbRestricted")->click();
    EXPECT_TRUE(Find<QLineEdit>(*w, "editRestricted")->isEnabled());
    EXPECT_EQ(Text(*w, "editRestricted").toStdString(), Blanks(10) + "3.50");
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "8.14");

    Find<QCheckBox>(*w, "cbPriority")->click();
    EXPECT_TRUE(gPriority);
    EXPECT_EQ(Text(*w, "editpriority").toStdString(), Blanks(10) + "6.95");
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(8) + "15.09");

    Find<QCheckBox>(*w, "cbRestricted")->click();
    Find<QCheckBox>(*w, "cbPriority")->click();
    EXPECT_FALSE(gPriority);
    EXPECT_FALSE(Find<QLineEdit>(*w, "editRestricted")->isEnabled());
    EXPECT_FALSE(Find<QLabel>(*w, "LblPriority")->isEnabled());
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "4.64");
}

TEST_F(MainWindow, WithoutReturnReceiptTheLabelModeAndCellShow)
{
    auto w = Start();
    EXPECT_EQ(gFormMode, 1);
    EXPECT_TRUE(Find<QLabel>(*w, "LabelLabel")->isHidden());
    Find<QCheckBox>(*w, "CBReturn")->click();
    EXPECT_EQ(gFormMode, 0);
    EXPECT_EQ(Text(*w, "editReturn").toStdString(), Blanks(10) + "0.00") << "emptied, and Zeros on shows 0.00";
    EXPECT_TRUE(Find<QCheckBox>(*w, "CBLabel")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(*w, "CBEnvelope")->isChecked());
    for (const char* name : {"Label1", "Label2", "LabelLabel", "LabelEnvelope"})
        EXPECT_FALSE(Find<QLabel>(*w, name)->isHidden()) << name;
    EXPECT_FALSE(Find<QLineEdit>(*w, "EDPosRow")->isHidden());
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "2.79");

    Find<QCheckBox>(*w, "CBEnvelope")->click();
    EXPECT_FALSE(Find<QCheckBox>(*w, "CBLabel")->isChecked());

    Find<QCheckBox>(*w, "CBReturn")->click();
    EXPECT_EQ(gFormMode, 1);
    EXPECT_TRUE(Find<QLineEdit>(*w, "EDPosCol")->isHidden());
    EXPECT_EQ(Text(*w, "editReturn").toStdString(), Blanks(10) + "1.85");
}

TEST_F(MainWindow, LabelCellEditsTakeOneToThreeOnly)
{
    WriteIni("[LabelPos]\r\nRow=1\r\nCol=2\r\n");
    auto w = Start();
    auto* row = Find<QLineEdit>(*w, "EDPosRow");
    EXPECT_EQ(row->text(), "2");
    EXPECT_EQ(Text(*w, "EDPosCol"), "3");
    row->setText("4");
    EXPECT_EQ(row->text(), "2");
    row->setText("0");
    EXPECT_EQ(row->text(), "2");
    row->setText("3");
    EXPECT_EQ(gLabelRow, 2);
    row->setText("");
    EXPECT_EQ(row->text(), "1");
    EXPECT_EQ(gLabelRow, 0);
}

// ---- fee dialogs from the menu ------------------------------------------------------

namespace {
// Answers the next modal dialog once it is open.
void OnNextDialog(std::function<void(QWidget&)> answer)
{
    QTimer::singleShot(0, [answer] {
        if (QWidget* dialog = QApplication::activeModalWidget()) answer(*dialog);
    });
}
}  // namespace

TEST_F(MainWindow, CalculatedPostageGoesIntoThePostageFee)
{
    auto w = Start();
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QLineEdit*>("editOunces")->setText("4");
        dialog.findChild<QPushButton*>("btnOK")->click();
    });
    Trigger(*w, "miCalculate");
    EXPECT_EQ(Text(*w, "editPostage").toStdString(), Blanks(10) + "1.11");
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "5.36");

    // Over 13 ounces: the message, and the postage stays.
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QLineEdit*>("editOunces")->setText("20");
        dialog.findChild<QPushButton*>("btnOK")->click();
    });
    Trigger(*w, "miCalculate");
    EXPECT_EQ(messages.Last().text,
              "For weights over 13 ounces, please consult your local Post Office for the Postage Fee.");
    EXPECT_EQ(Text(*w, "editPostage").toStdString(), Blanks(10) + "1.11");
}

TEST_F(MainWindow, EditedDefaultFeesApplyAtOnceAndAreStoredAtClose)
{
    auto w = Start();
    OnNextDialog([](QWidget& dialog) {
        dialog.findChild<QLineEdit*>("editCertFee")->setText("3.15");
        dialog.findChild<QCheckBox*>("cbRestricted")->click();
        dialog.findChild<QPushButton*>("btnOK")->click();
    });
    Trigger(*w, "miSaveValues");
    EXPECT_EQ(Text(*w, "editCertFee").toStdString(), Blanks(10) + "3.15");
    EXPECT_TRUE(Find<QCheckBox>(*w, "cbRestricted")->isChecked());
    EXPECT_EQ(Text(*w, "editTotal").toStdString(), Blanks(10) + "8.89");

    // Fees typed over the defaults go back with Reset.
    Find<QLineEdit>(*w, "editCertFee")->setText("9");
    Trigger(*w, "miResetValues");
    EXPECT_EQ(Text(*w, "editCertFee").toStdString(), Blanks(10) + "3.15");

    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    const std::string ini = testsupport::ReadFile(Ini());
    EXPECT_NE(ini.find("RestrictedCB=1"), std::string::npos);
    EXPECT_NE(ini.find("CertFee=3.15"), std::string::npos) << "the fee is kept as the dialog showed it";
}

// ---- batch switch -------------------------------------------------------------------

TEST_F(MainWindow, BatchSwitchRenamesPrintAndEnablesTheBatchCommands)
{
    WriteIni("[Printing]\r\nBatch=1\r\n");
    auto w = Start();
    EXPECT_TRUE(gBatch);
    EXPECT_EQ(Find<QPushButton>(*w, "btnPrint")->text(), "&Batch");
    EXPECT_EQ(Find<QAction>(*w, "miPrint")->text(), "&Print to Batch");
    EXPECT_TRUE(Find<QAction>(*w, "miPrintBatch")->isEnabled());
    EXPECT_TRUE(Find<QAction>(*w, "miClearBatch")->isEnabled());
    EXPECT_TRUE(Find<QAction>(*w, "miBatchOn")->isChecked());

    Trigger(*w, "miBatchOff");
    EXPECT_FALSE(gBatch);
    EXPECT_EQ(Find<QPushButton>(*w, "btnPrint")->text(), "&Print");
    EXPECT_EQ(Find<QAction>(*w, "miPrint")->text(), "&Print");
    EXPECT_FALSE(Find<QAction>(*w, "miPrintBatch")->isEnabled());
    EXPECT_FALSE(Find<QAction>(*w, "miClearBatch")->isEnabled());
    EXPECT_FALSE(Find<QAction>(*w, "miBatchOn")->isChecked());
}

// ---- recipient ---------------------------------------------------------------------

TEST_F(MainWindow, TabbingOutOfTheZipFillsCityAndState)
{
    data->zips["62701"] = {"SPRINGFIELD", "IL"};
    ShipZipTable();
    auto w = Start();
    Activate(*w);
    auto* memo = Find<QPlainTextEdit>(*w, "memoToAddress");
    Type(memo, "Jane Doe");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "12 Elm Street");
    auto* zip = Find<ui::MaskEdit>(*w, "editToZip");
    Type(zip, "62701");
    QTest::keyClick(zip, Qt::Key_Tab);
    EXPECT_EQ(dataLog.zipLookups, (std::vector<std::string>{"62701"}));
    EXPECT_EQ(Text(*w, "editToCity"), "SPRINGFIELD");
    EXPECT_EQ(Text(*w, "editToState"), "IL");
}

// A clerk types the mailer top to bottom with Tab between the fields; the
// recipient's Clear, Paste and Copy buttons come after the text fields.
TEST_F(MainWindow, TabGoesThroughTheEntryInReadingOrderAndReachesTheRecipientButtonsAfterIt)
{
    auto w = Start();
    Activate(*w);
    auto* memo = Find<QPlainTextEdit>(*w, "memoToAddress");
    Type(memo, "Jane Doe");
    const std::pair<const char*, const char*> typed[] = {
        {"editToCity", "Springfield"}, {"editToState", "IL"},      {"editToZip", "62701"}, {"editDepartment", "Legal"},
        {"editProcessedBy", "Ann"},    {"editComment", "Urgent"}, {"editRe", "Lease"}};
    for (const auto& [name, text] : typed) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget()->objectName().toStdString(), name);
        QTest::keyClicks(QApplication::focusWidget(), text);
    }
    for (const auto& [name, text] : typed)
        EXPECT_TRUE(Text(*w, name).startsWith(text)) << name << ": " << Text(*w, name).toStdString();
    EXPECT_EQ(Memo(*w), std::vector<std::string>{"Jane Doe"});

    std::vector<std::string> next;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        next.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    EXPECT_EQ(next, (std::vector<std::string>{"btnToClear", "btnToPaste", "btnCopy"}));
}

TEST_F(MainWindow, ZipLookupKeepsFilledFieldsAndNeedsFiveDigits)
{
    data->zips["62701"] = {"SPRINGFIELD", "IL"};
    ShipZipTable();
    auto w = Start();
    auto* zip = Find<ui::MaskEdit>(*w, "editToZip");
    zip->SetText("6270");
    w->editToZipExit();
    EXPECT_TRUE(dataLog.zipLookups.empty());

    Find<QLineEdit>(*w, "editToCity")->setText("Capital City");
    zip->SetText("62701");
    w->editToZipExit();
    EXPECT_EQ(Text(*w, "editToCity"), "Capital City");
    EXPECT_EQ(Text(*w, "editToState"), "IL");

    zip->SetText("99999");
    Find<QLineEdit>(*w, "editToState")->clear();
    w->editToZipExit();
    EXPECT_EQ(Text(*w, "editToState"), "") << "an unknown ZIP changes nothing";
}

TEST_F(MainWindow, UnreadableZipTableIsReportedOnceAndTheEntryStays)
{
    ForgetZipLookupNotice();
    ShipZipTable();
    data->zipTableMissing = true;
    messages.Answer(ui::mrCancel);  // the notice
    auto w = Start();
    messages.Clear();
    Find<ui::MaskEdit>(*w, "editToZip")->SetText("62701");
    w->editToZipExit();
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(messages.Last().text.rfind("The ZIP code lookup is unavailable", 0), 0u) << messages.Last().text;
    EXPECT_NE(messages.Last().text.find("ZIPCODES: table not found."), std::string::npos) << "the program's own words";
    EXPECT_EQ(Text(*w, "editToCity"), "");
    // Once per run: the next ZIP asks the table again, and says nothing.
    Find<ui::MaskEdit>(*w, "editToZip")->SetText("10001");
    w->editToZipExit();
    EXPECT_EQ(messages.Count(), 1u);
    EXPECT_EQ(dataLog.zipLookups, (std::vector<std::string>{"62701", "10001"}));
}

TEST_F(MainWindow, MemoKeepsFourLines)
{
    auto w = Start();
    auto* memo = Find<QPlainTextEdit>(*w, "memoToAddress");
    memo->setPlainText("one\ntwo\nthree\nfour\nfive\nsix");
    EXPECT_EQ(Memo(*w), (std::vector<std::string>{"one", "two", "three", "four"}));
}

TEST_F(MainWindow, PasteAndCopyGoThroughTheClipboard)
{
    auto w = Start();
    QApplication::clipboard()->setText("Jane Doe\r\n12 Elm Street\r\nSpringfield, IL 62701-1234");
    Find<QPushButton>(*w, "btnToPaste")->click();
    EXPECT_EQ(Memo(*w), (std::vector<std::string>{"Jane Doe", "12 Elm Street", ""}));
    EXPECT_EQ(Text(*w, "editToCity"), "Springfield");
    EXPECT_EQ(Text(*w, "editToState"), "IL");
    EXPECT_EQ(Find<ui::MaskEdit>(*w, "editToZip")->Text(), "62701-1234");

    QApplication::clipboard()->clear();
    Find<QPushButton>(*w, "btnCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "Jane Doe\n\r12 Elm Street\n\rSpringfield IL 62701-1234");

    Find<QPushButton>(*w, "btnToClear")->click();
    EXPECT_EQ(Find<QPlainTextEdit>(*w, "memoToAddress")->toPlainText(), "");
    EXPECT_EQ(Find<ui::MaskEdit>(*w, "editToZip")->Text(), "     -    ");
}

TEST_F(MainWindow, ClosingTheAddressBookPutsTheEntryBack)
{
    auto w = Start();
    Find<QWidget>(*w, "editRe")->move(400, 300);
    w->MarkPrinted();
    Find<QPushButton>(*w, "btnCloseDB")->click();
    EXPECT_FALSE(gDatabaseON);
    EXPECT_TRUE(Find<QWidget>(*w, "panelDB")->isHidden());
    EXPECT_FALSE(Find<QWidget>(*w, "gbTo")->isHidden());
    EXPECT_TRUE(Find<QWidget>(*w, "gbToDB")->isHidden());
    EXPECT_EQ(Find<QWidget>(*w, "editRe")->y(), 178);
    EXPECT_EQ(Find<QWidget>(*w, "labelRE")->y(), 184);
    EXPECT_EQ(w->width(), 569);
    EXPECT_FALSE(Find<QAction>(*w, "miToTextFiles")->isEnabled());
    EXPECT_FALSE(Find<QAction>(*w, "miCloseToDB")->isVisible());
    EXPECT_TRUE(Find<QPushButton>(*w, "btnPrint")->isEnabled());
}

TEST_F(MainWindow, PrintedEntryTurnsEditableOnTheNextChange)
{
    auto w = Start();
    w->MarkPrinted();
    EXPECT_FALSE(Find<QPushButton>(*w, "btnPrint")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(*w, "editRe")->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
    Find<QLineEdit>(*w, "editRe")->setText("x");
    EXPECT_TRUE(Find<QPushButton>(*w, "btnPrint")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(*w, "editRe")->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0xFF));
}

TEST_F(MainWindow, EveryEntryControlIsThere)
{
    auto w = Start();
    for (const char* name :
         {"memoToAddress", "editToCity", "editToState", "editToZip", "editDepartment", "editProcessedBy", "editRe",
          "editComment", "lblYourAddress1", "lblYourAddress2", "lblYourAddress3", "lblYourAddress4", "lblYourAddress5",
          "editPostage", "editCertFee", "editReturn", "editRestricted", "editpriority", "editTotal", "cbRestricted",
          "cbPriority", "CBReturn", "CBLabel", "CBEnvelope", "EDPosRow", "EDPosCol", "Label1", "Label2", "LabelLabel",
          "LabelEnvelope", "lblRestricted", "LblPriority", "lblReturn", "btnToClear", "btnToPaste", "btnCopy",
          "btnCloseDB", "btnPrint", "btnSelectYourAddress", "gbTo", "gbToDB", "panelDB", "imageCompany",
          "labelDepartment", "labelProcessedBy", "labelComment", "labelRE", "lvAddress", "tvGroups"})
        EXPECT_NE(w->findChild<QWidget*>(name), nullptr) << name;
    for (const char* name : {"miShowFeesOn", "miShowFeesOff", "miZerosOn", "miZerosOff", "miSaveValues",
                             "miResetValues", "miCalculate", "miOpenToDB", "miCloseToDB", "miToTextFiles",
                             "miBatchOn", "miBatchOff", "miPrint", "miPrintBatch", "miClearBatch", "miPrinterSetup"})
        EXPECT_NE(w->findChild<QAction*>(name), nullptr) << name;
    const auto* limits = Find<QLineEdit>(*w, "editComment");
    EXPECT_EQ(limits->maxLength(), 35);
    EXPECT_EQ(Find<QLineEdit>(*w, "editRe")->maxLength(), 25);
    EXPECT_EQ(Find<ui::MaskEdit>(*w, "editToZip")->EditMaskText(), "99999\\-9999;1;_");
}
