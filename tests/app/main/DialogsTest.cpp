#include "app/main/U_About.h"
#include "app/main/U_CalculatePostage.h"
#include "app/dialogs/U_ChoiceDialog.h"
#include "app/main/U_PostageFees.h"
#include "app/printing/U_PrinterSetup.h"
#include "app/dialogs/U_SingleEdit.h"

#include "platform/ui/WebPage.h"
#include "tests/app/printing/DialogsTestSupport.h"
#include "tests/app/main/MainTestSupport.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <ctime>
#include <filesystem>

using maintest::Blanks;

namespace {

using Dialogs = maintest::MainFixture;

using dialogtest::Find;

}  // namespace

// ---- choice dialog -----------------------------------------------------------------

TEST_F(Dialogs, ChoiceDialogReturnsThePressedButtonThroughTheMessageService)
{
    messages.Answer(2);
    EXPECT_EQ(ShowChoiceDialog("Printing", "Mailer has been sent to printer.",
                               {"&Do not show this screen again", "&OK"}),
              2);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Choice);
    EXPECT_EQ(messages.Last().title, "Printing");
    EXPECT_EQ(messages.Last().customButtons.size(), 2u);
    EXPECT_EQ(ShowChoiceDialog("Printing", "text", {"&OK"}), ui::mrCancel) << "closed without a button";
}

// ---- single edit ---------------------------------------------------------------------

TEST_F(Dialogs, SingleEditRefusesABlankFieldAndKeepsTheTextUntrimmed)
{
    TF_SingleEdit dialog;
    dialog.Prepare("New Group", "Group name", "   ");
    EXPECT_EQ(dialog.windowTitle(), "New Group");
    EXPECT_EQ(Find<QGroupBox>(dialog, "TheGroupBox")->title(), "Group name");
    gSingleEditText = "before";
    dialog.show();
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(messages.Last().text, "Field cannot be blank.");
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_TRUE(dialog.isVisible()) << "OK does not close on a blank field";
    EXPECT_EQ(gSingleEditText, "before");

    Find<QLineEdit>(dialog, "TheEdit")->setText("  Customers ");
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gSingleEditText, "  Customers ");
}

// ---- about box and splash ---------------------------------------------------------------

TEST_F(Dialogs, SplashIsAShortStripThatOnlyWaitsForItsTimer)
{
    TF_About splash(1);
    EXPECT_EQ(splash.height(), 80);
    EXPECT_EQ(Find<QWidget>(splash, "panelMain")->height(), 62);
    EXPECT_TRUE(Find<QPushButton>(splash, "btnOK")->isHidden());
    ASSERT_TRUE(splash.TimerRunning());
    EXPECT_EQ(splash.Timer1()->interval(), 3000);
    EXPECT_EQ(Find<QLabel>(splash, "labelVersion")->text(), "Version 4.1.5");

    splash.show();
    QTest::keyClick(&splash, Qt::Key_Escape);
    EXPECT_TRUE(splash.isVisible()) << "Escape does not close the splash";
    bool opened = false;
    ui::ScopedUrlOpener opener([&](const std::string&) { return opened = true; });
    QTest::mouseClick(Find<QLabel>(splash, "labelWebSite"), Qt::LeftButton);
    EXPECT_FALSE(opened);

    // When the timer fires it only stops itself.
    splash.Timer1()->start(0);
    for (int i = 0; i < 100 && splash.TimerRunning(); ++i)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_FALSE(splash.TimerRunning());
    EXPECT_TRUE(splash.isVisible());
}

TEST_F(Dialogs, AboutBoxFollowsTheBrand)
{
    gCompany = "Farrowby";
    std::vector<std::string> urls;
    ui::ScopedUrlOpener opener([&](const std::string& url) {
        urls.push_back(url);
        return true;
    });
    TF_About about(0);
    EXPECT_EQ(about.height(), 333);
    EXPECT_FALSE(Find<QPushButton>(about, "btnOK")->isHidden());
    EXPECT_FALSE(about.TimerRunning());
    const QString email = Find<QLabel>(about, "labelEMail")->text();
    EXPECT_FALSE(email.isEmpty());
    QTest::mouseClick(Find<QLabel>(about, "labelWebSite"), Qt::LeftButton);
    QTest::mouseClick(Find<QLabel>(about, "labelEMail"), Qt::LeftButton);
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_EQ(urls[0], Find<QLabel>(about, "labelWebSite")->text().toStdString());
    EXPECT_EQ(urls[1].rfind("mailto:" + email.toStdString() + "?Subject=", 0), 0u);

    // The reseller without its logo: its own texts, the maker's e-mail, an empty logo.
    gCompany = "Hollisand";
    TF_About reseller(0);
    EXPECT_EQ(reseller.height(), 333 + 56);
    EXPECT_NE(Find<QLabel>(reseller, "labelStreet")->text(), Find<QLabel>(about, "labelStreet")->text());
    EXPECT_EQ(Find<QLabel>(reseller, "labelEMail")->text(), email);
    EXPECT_TRUE(Find<QLabel>(reseller, "imageCompany")->pixmap().isNull());
    EXPECT_EQ(Find<QWidget>(reseller, "btnOK")->y(), Find<QWidget>(about, "btnOK")->y() + 56);

    gCompany = "Someone Else";
    TF_About other(0);
    EXPECT_EQ(Find<QLabel>(other, "labelStreet")->text(), "");
}

TEST_F(Dialogs, VersionLineTakesThreeParts)
{
    EXPECT_EQ(TF_About::VersionLine("4.1.5.0"), "Version 4.1.5");
    EXPECT_EQ(TF_About::VersionLine("4.1.5"), "Version 4.1.5");
    EXPECT_EQ(TF_About::VersionLine("4.1"), "Version 4.1");
    EXPECT_EQ(TF_About::VersionLine(""), "Version 3.0");
}

// ---- default fees ----------------------------------------------------------------------

TEST_F(Dialogs, DefaultFeesAreShownAsMoneyAndStoredAsShown)
{
    gRestrictedOn = true;
    gPostage = "0.4";
    TF_PostageFees dialog;
    EXPECT_EQ(Find<QLineEdit>(dialog, "editPostage")->text().toStdString(), Blanks(10) + "0.40");
    EXPECT_EQ(Find<QLineEdit>(dialog, "editAddOunce")->text().toStdString(), Blanks(10) + "0.24");
    EXPECT_EQ(Find<QLineEdit>(dialog, "editRestricted")->text().toStdString(), Blanks(10) + "3.50");

    Find<QLineEdit>(dialog, "editCertFee")->setText(QString::fromStdString(Blanks(10) + "2.65"));
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gPostage, Blanks(10) + "0.40");
    EXPECT_EQ(gCertFee, Blanks(10) + "2.65");
    EXPECT_EQ(gRestrictedFee, Blanks(10) + "3.50");
    EXPECT_TRUE(gRestrictedOn);

    TF_PostageFees off;
    Find<QCheckBox>(off, "cbRestricted")->click();
    EXPECT_FALSE(Find<QLineEdit>(off, "editRestricted")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(off, "editRestricted")->text(), "");
    Find<QPushButton>(off, "btnOK")->click();
    EXPECT_FALSE(gRestrictedOn);
}

TEST_F(Dialogs, PriorityBoxLeavesARestrictedFeeBeingEditedAlone)
{
    gRestrictedOn = true;
    TF_PostageFees dialog;
    Find<QLineEdit>(dialog, "editRestricted")->setText("4.10");
    Find<QCheckBox>(dialog, "CbPriority")->click();
    EXPECT_EQ(Find<QLineEdit>(dialog, "editRestricted")->text(), "4.10");
}

// A default fee that is no amount would blank that fee on every new mailer:
// OK names it and keeps the dialog open. A blank fee is kept as it is.
TEST_F(Dialogs, DefaultFeesThatAreNoAmountAreRefusedByNameAndBlankOnesKept)
{
    gRestrictedOn = true;
    const std::string postage = gPostage, restricted = gRestrictedFee;
    TF_PostageFees dialog;
    dialog.show();
    const auto ok = [&](const char* fee, const QString& text) {
        Find<QLineEdit>(dialog, fee)->setText(text);
        messages.Clear();
        Find<QPushButton>(dialog, "btnOK")->click();
    };
    ok("editPostage", "abc");
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(messages.Last().text, "\"abc\" is not an amount for \"Postage (first ounce)\". Enter a number of 0 or "
                                    "more, or leave the fee blank.");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(gPostage, postage);

    Find<QLineEdit>(dialog, "editPostage")->setText("  ");
    ok("editRestricted", "-1");
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_NE(messages.Last().text.find("\"Restricted Delivery Fee\""), std::string::npos) << messages.Last().text;
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(gRestrictedFee, restricted);

    ok("editRestricted", "4.1");
    EXPECT_TRUE(messages.Shown().empty()) << messages.Last().text;
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gPostage, "  ");
    EXPECT_EQ(gRestrictedFee, "4.1");

    // A restricted fee that is not stored is not checked.
    TF_PostageFees off;
    Find<QCheckBox>(off, "cbRestricted")->click();
    Find<QLineEdit>(off, "editRestricted")->setText("abc");
    Find<QPushButton>(off, "btnOK")->click();
    EXPECT_EQ(off.result(), ui::mrOk);
    EXPECT_FALSE(gRestrictedOn);
}

TEST_F(Dialogs, StoredFeeThatIsNotANumberStillOpensTheDialog)
{
    gPostage = "abc";
    TF_PostageFees dialog;
    EXPECT_EQ(Find<QLineEdit>(dialog, "editPostage")->text(), "abc");
}

// ---- postage calculator ----------------------------------------------------------------

TEST_F(Dialogs, CalculatorPricesUpToThirteenOunces)
{
    TF_CalculatePostage dialog;
    auto* ounces = Find<QLineEdit>(dialog, "editOunces");
    EXPECT_EQ(ounces->text(), "1");
    EXPECT_EQ(ounces->maxLength(), 2);
    ounces->setText("4");
    EXPECT_EQ(dialog.Position(), 4);
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gSingleEditText, "1.11");

    TF_CalculatePostage thirteen;
    Find<QLineEdit>(thirteen, "editOunces")->setText("13");
    Find<QPushButton>(thirteen, "btnOK")->click();
    EXPECT_EQ(gSingleEditText, "3.27");
    EXPECT_EQ(messages.Count(), 0u);
}

TEST_F(Dialogs, CalculatorSendsHeavierPiecesToThePostOffice)
{
    TF_CalculatePostage dialog;
    Find<QLineEdit>(dialog, "editOunces")->setText("14");
    gSingleEditText = "old";
    Find<QPushButton>(dialog, "btnOK")->click();
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Information);
    EXPECT_EQ(messages.Last().text,
              "For weights over 13 ounces, please consult your local Post Office for the Postage Fee.");
    EXPECT_EQ(gSingleEditText, "");
}

TEST_F(Dialogs, CalculatorTakesDigitsOnlyAndNeverStaysBlank)
{
    TF_CalculatePostage dialog;
    dialog.show();
    auto* ounces = Find<QLineEdit>(dialog, "editOunces");
    ounces->selectAll();
    QTest::keyClicks(ounces, "x7.-");
    EXPECT_EQ(ounces->text(), "7");
    EXPECT_EQ(dialog.Position(), 7);
    ounces->clear();
    EXPECT_EQ(ounces->text(), "7") << "a blank edit gets the position back";
    Find<QScrollBar>(dialog, "UpDownOunces")->setValue(9);
    EXPECT_EQ(ounces->text(), "9");
}

TEST_F(Dialogs, CalculatorReportsAStoredFeeThatIsNotANumber)
{
    gAddOunceFee = "n/a";
    TF_CalculatePostage dialog;
    dialog.show();
    Find<QLineEdit>(dialog, "editOunces")->setText("2");
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_TRUE(dialog.isVisible());
}

// ---- printer choice ---------------------------------------------------------------------

TEST_F(Dialogs, PrintsBecomePdfFilesNamedByTimeAndNumber)
{
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 3;
    EXPECT_EQ(PdfFileName("/out", when, "9214 7123 4567 8900 0000 15"), "/out/20261207-090503-9214712345678900000015.pdf");
    EXPECT_EQ(PdfFileName("/out", when, ""), "/out/20261207-090503.pdf");

    setenv("SENDORA_PRINT_TO_PDF", home.str().c_str(), 1);
    EXPECT_EQ(PrintToPdfFolder("/fallback"), home.str());
    unsetenv("SENDORA_PRINT_TO_PDF");
}

TEST_F(Dialogs, SavedTrayZeroLeavesThePrinterAlone)
{
    EXPECT_NO_THROW(ApplySavedPrinter("No Such Printer Here", 0));
    EXPECT_EQ(ProgramPrinterTray(), 0);
    EXPECT_THROW(ApplySavedPrinter("No Such Printer Here", 2), rtl::Exception);
    EXPECT_TRUE(TrayJobOptions("No Such Printer Here", 0).empty());
}

TEST_F(Dialogs, PrintToPdfFolderMakesAPdfDeviceThere)
{
    setenv("SENDORA_PRINT_TO_PDF", (home / "pdf").string().c_str(), 1);
    std::string path;
    auto device = MakeProgramPrintDevice("9214 7123 4567 8900 0000 15", path);
    unsetenv("SENDORA_PRINT_TO_PDF");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(path.rfind((home / "pdf").string() + "/", 0), 0u);
    EXPECT_NE(path.find("-9214712345678900000015.pdf"), std::string::npos);
    device->BeginDoc();
    device->TextOut(100, 100, "Sendora", print::FontSpec{"Arial", 12, 0});
    device->EndDoc();
    EXPECT_TRUE(std::filesystem::exists(path));
}
