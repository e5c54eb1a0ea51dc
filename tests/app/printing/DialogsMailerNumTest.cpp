// The two dialogs over table MailerNum, on a real table made by the data
// module: the mailer-number dialog writes the counter and reads it back, the
// barcode-label dialog takes its customer ID and serial from it, and both hold
// it exclusively as long as they should.
#include "app/printing/U_Align.h"
#include "app/printing/U_ExtraLabel.h"
#include "app/printing/U_MassPrint.h"
#include "app/printing/U_NumLabels.h"
#include "app/data/U_ArticleNumber.h"
#include "app/printing/U_PrintBarCode.h"
#include "app/printing/U_ProMailer.h"
#include "app/data/U_dmSendoPro.h"

#include "platform/ui/MaskEdit.h"
#include "platform/ui/WebPage.h"
#include "tests/app/printing/DialogsTestSupport.h"
#include "tests/app/main/MainTestSupport.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

namespace {

using dialogtest::Find;
using dialogtest::Leave;

struct Counter {
    std::string CustID, SerialNum;
    bool Increment = false, BarCodes = false;
};

class MailerNumDialogs : public maintest::MainFixture {
protected:
    MailerNumDialogs()
    {
        dm.EnsureTable(home.str(), "MailerNum");
        gMailerNumDB = home.str();
        SetLastZip("");
    }
    ~MailerNumDialogs() override { gShowDatabaseFolders = nullptr; }

    // The counter as another reader of the table finds it.
    static Counter Read(const std::string& folder)
    {
        TEdsTable table;
        table.SetDatabaseName(folder);
        table.SetTableName("MailerNum");
        table.Open();
        table.First();
        return {table.FieldByName("CustID")->AsString(), table.FieldByName("SerialNum")->AsString(),
                table.FieldByName("Increment")->AsBoolean(), table.FieldByName("BarCodes")->AsBoolean()};
    }

    static void Write(const std::string& folder, const Counter& c)
    {
        TEdsTable table;
        table.SetDatabaseName(folder);
        table.SetTableName("MailerNum");
        table.Open();
        table.First();
        table.Edit();
        table.FieldByName("CustID")->SetAsString(c.CustID);
        table.FieldByName("SerialNum")->SetAsString(c.SerialNum);
        table.FieldByName("Increment")->SetAsBoolean(c.Increment);
        table.FieldByName("BarCodes")->SetAsBoolean(c.BarCodes);
        table.Post();
    }

    TEdsTable& MailerNum() { return *dm.edstMailerNum; }

    TdmSendoPro dm;
};

}  // namespace

// ---- mailer-number dialog --------------------------------------------------------

TEST_F(MailerNumDialogs, ProMailerTakesTypedCustomerIdAndSerialAndTheTableHoldsThem)
{
    gCustID = "000000000";
    TF_ProMailer dialog(MailerNum());
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Mailer Number");
    auto* custID = Find<ui::MaskEdit>(dialog, "editCustID");
    auto* serial = Find<QLineEdit>(dialog, "EditSerialNum");
    EXPECT_EQ(custID->Text(), "000000000");
    EXPECT_EQ(serial->text(), "0000000");
    EXPECT_TRUE(Find<QCheckBox>(dialog, "cbPrintBarCodes")->isChecked());
    EXPECT_FALSE(Find<QWidget>(dialog, "panelPrintBarCodes")->isHidden());
    EXPECT_TRUE(Find<QWidget>(dialog, "panelNoBarCodes")->isHidden());
    EXPECT_TRUE(MailerNum().Active());
    EXPECT_TRUE(MailerNum().Exclusive()) << "no other station numbers mailers meanwhile";

    custID->setFocus();
    custID->selectAll();
    QTest::keyClicks(custID, "123-456-789");
    EXPECT_EQ(custID->Text(), "123456789");
    serial->setFocus();
    serial->selectAll();
    QTest::keyClicks(serial, "4x1");
    EXPECT_EQ(serial->text(), "41") << "the serial takes digits only";
    Leave(serial);
    EXPECT_EQ(serial->text(), "0000041");

    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_FALSE(MailerNum().Active());
    EXPECT_FALSE(MailerNum().Exclusive());
    EXPECT_EQ(messages.Count(), 0u);
    const Counter stored = Read(home.str());
    EXPECT_EQ(stored.CustID, "123456789");
    EXPECT_EQ(stored.SerialNum, "0000041");
    EXPECT_TRUE(stored.BarCodes);
    EXPECT_TRUE(stored.Increment);
    EXPECT_EQ(gCustID, "123456789");
    EXPECT_EQ(gSerialNum, "0000041");
}

TEST_F(MailerNumDialogs, ProMailerSerialIsPaddedOrCutToSevenEvenWhenOkComesFirst)
{
    EXPECT_EQ(NormalizedSerial("41"), "0000041");
    EXPECT_EQ(NormalizedSerial("123456789"), "3456789");

    TF_ProMailer dialog(MailerNum());
    Find<QLineEdit>(dialog, "EditSerialNum")->setText("987654321");
    Find<QPushButton>(dialog, "btnOK")->click();  // Enter, the field never left
    EXPECT_EQ(Read(home.str()).SerialNum, "7654321");
}

TEST_F(MailerNumDialogs, ProMailerWithoutBarcodesKeepsCustomerIdAndSerialApartFromTheShownData)
{
    Write(home.str(), {"123456789", "0000041", true, true});
    gToZip = "123";  // a short ZIP shifts nothing that is stored
    TF_ProMailer dialog(MailerNum());
    auto* barcodes = Find<QCheckBox>(dialog, "cbPrintBarCodes");
    barcodes->click();
    EXPECT_FALSE(barcodes->isChecked());
    EXPECT_TRUE(Find<QWidget>(dialog, "panelPrintBarCodes")->isHidden());
    EXPECT_FALSE(Find<QWidget>(dialog, "panelNoBarCodes")->isHidden());
    const std::string shown = MakeArticleNumber("123456789", "0000041", "123", "T");
    EXPECT_EQ(Find<QLineEdit>(dialog, "EditMailerNum")->text().toStdString(), shown);
    EXPECT_EQ(Find<ui::MaskEdit>(dialog, "editMailerNumOLD")->Text(), shown);
    Find<QRadioButton>(dialog, "rbDecrement")->click();

    Find<QPushButton>(dialog, "btnOK")->click();
    const Counter stored = Read(home.str());
    EXPECT_EQ(stored.CustID, "123456789");
    EXPECT_EQ(stored.SerialNum, "0000041");
    EXPECT_FALSE(stored.BarCodes);
    EXPECT_FALSE(stored.Increment);

    // Opened again, the mode and the count type come back, and switching
    // barcodes on shows the same customer ID and serial.
    TF_ProMailer again(MailerNum());
    EXPECT_FALSE(Find<QCheckBox>(again, "cbPrintBarCodes")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(again, "rbDecrement")->isChecked());
    Find<QCheckBox>(again, "cbPrintBarCodes")->click();
    EXPECT_EQ(Find<ui::MaskEdit>(again, "editCustID")->Text(), "123456789");
    EXPECT_EQ(Find<QLineEdit>(again, "EditSerialNum")->text(), "0000041");
}

TEST_F(MailerNumDialogs, ProMailerCancelWritesNothingAndReleasesTheTable)
{
    Write(home.str(), {"555666777", "0000100", true, true});
    gCustID = "before";
    gSerialNum = "before";
    {
        TF_ProMailer dialog(MailerNum());
        Find<ui::MaskEdit>(dialog, "editCustID")->SetText("111222333");
        Find<QLineEdit>(dialog, "EditSerialNum")->setText("9");
        Find<QCheckBox>(dialog, "cbPrintBarCodes")->click();
        Find<QPushButton>(dialog, "btnCancel")->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(MailerNum().Active());
        EXPECT_FALSE(MailerNum().Exclusive());
        // The print road uses the same component next; the closed dialog,
        // destroyed later, leaves it alone.
        MailerNum().Open();
    }
    EXPECT_TRUE(MailerNum().Active());
    MailerNum().Close();
    const Counter stored = Read(home.str());
    EXPECT_EQ(stored.CustID, "555666777");
    EXPECT_EQ(stored.SerialNum, "0000100");
    EXPECT_TRUE(stored.BarCodes);
    EXPECT_EQ(gCustID, "before");
    EXPECT_EQ(gSerialNum, "before");
}

TEST_F(MailerNumDialogs, ProMailerSetsAShortLastZipToZerosForItsData)
{
    Write(home.str(), {"123456789", "0000041", true, true});
    SetLastZip("123");
    TF_ProMailer dialog(MailerNum());
    EXPECT_EQ(LastZip(), "00000");
    EXPECT_EQ(Find<QLineEdit>(dialog, "EditMailerNum")->text().toStdString(),
              MakeArticleNumber("123456789", "0000041", "00000", "T"));
}

TEST_F(MailerNumDialogs, ProMailerHelpFollowsTheModeAndTheLinkOpensTheRegistry)
{
    std::vector<std::string> urls;
    ui::ScopedUrlOpener opener([&](const std::string& url) {
        urls.push_back(url);
        return true;
    });
    TF_ProMailer dialog(MailerNum());
    dialog.show();
    auto* help = Find<QPushButton>(dialog, "btnHelp");
    help->click();
    EXPECT_FALSE(help->isEnabled());
    EXPECT_EQ(dialog.height(), 335);
    EXPECT_FALSE(Find<QWidget>(dialog, "panelBarCode")->isHidden());
    EXPECT_TRUE(Find<QWidget>(dialog, "panelMailerNum")->isHidden());
    Find<QCheckBox>(dialog, "cbPrintBarCodes")->click();
    EXPECT_EQ(dialog.height(), 383);
    EXPECT_TRUE(Find<QWidget>(dialog, "panelBarCode")->isHidden());
    EXPECT_FALSE(Find<QWidget>(dialog, "panelMailerNum")->isHidden());

    Find<QCheckBox>(dialog, "cbPrintBarCodes")->click();
    QTest::mouseClick(Find<QLabel>(dialog, "labelRegistry"), Qt::LeftButton);
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0], kCustIDRegistryAddress);
}

TEST_F(MailerNumDialogs, ProMailerShortensALongFolderFromTheFront)
{
    const auto width = [](const std::string& text) { return static_cast<int>(text.size()) * 10; };
    EXPECT_EQ(ShortenedPath("/srv/a/MailerNum.edt", width), "/srv/a/MailerNum.edt");
    // 40 characters: leading folders go while the rest is 297 pixels or wider.
    const std::string path = "/aaaaaaaaa/bbbbbbbbb/ccccc/MailerNum.edt";
    EXPECT_EQ(ShortenedPath(path, width), ".../bbbbbbbbb/ccccc/MailerNum.edt");
    EXPECT_EQ(ShortenedPath(std::string(40, 'x'), width), ".../" + std::string(40, 'x'));
}

TEST_F(MailerNumDialogs, ProMailerReloadsWhenTheFolderChangesAndRefusesOkWithoutACounter)
{
    testsupport::TempDir other;
    dm.EnsureTable(other.str(), "MailerNum");
    Write(other.str(), {"987654321", "0000007", false, false});
    testsupport::TempDir empty;
    std::string next = other.str();
    gShowDatabaseFolders = [&](QWidget*) { gMailerNumDB = next; };

    TF_ProMailer dialog(MailerNum());
    auto* change = Find<QPushButton>(dialog, "btnChangeYourDB");
    ASSERT_TRUE(change->isEnabled());
    change->click();
    EXPECT_EQ(Find<ui::MaskEdit>(dialog, "editCustID")->Text(), "987654321");
    EXPECT_FALSE(Find<QCheckBox>(dialog, "cbPrintBarCodes")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(dialog, "rbDecrement")->isChecked());

    next = empty.str();
    change->click();
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_FALSE(Find<QPushButton>(dialog, "btnOK")->isEnabled());
    EXPECT_FALSE(MailerNum().Active());

    next = home.str();
    change->click();
    EXPECT_TRUE(Find<QPushButton>(dialog, "btnOK")->isEnabled());
    EXPECT_EQ(Find<ui::MaskEdit>(dialog, "editCustID")->Text(), "000000000");
}

TEST_F(MailerNumDialogs, ProMailerWithoutAFolderDialogHasChangeOffAndAMissingTableRaises)
{
    {
        TF_ProMailer dialog(MailerNum());
        EXPECT_FALSE(Find<QPushButton>(dialog, "btnChangeYourDB")->isEnabled());
    }
    testsupport::TempDir empty;
    gMailerNumDB = empty.str();
    EXPECT_THROW(TF_ProMailer dialog(MailerNum()), rtl::Exception);
    EXPECT_FALSE(MailerNum().Exclusive());
}

// ---- barcode-label dialog ----------------------------------------------------------

TEST_F(MailerNumDialogs, PrintBarCodeShowsTheCounterAndOkStoresWhatToPrint)
{
    Write(home.str(), {"123456789", "0000041", true, true});
    gNumLabels = 1;
    TF_PrintBarCode dialog(MailerNum());
    auto* custID = Find<ui::MaskEdit>(dialog, "editCustID");
    EXPECT_EQ(custID->Text(), "123456789");
    EXPECT_EQ(Find<ui::MaskEdit>(dialog, "editSerialNum")->Text(), "0000041");
    EXPECT_EQ(Find<QLineEdit>(dialog, "editNumLabels")->text(), "1");
    EXPECT_TRUE(MailerNum().Exclusive());

    Find<QLineEdit>(dialog, "editNumLabels")->setText("12");
    Find<ui::MaskEdit>(dialog, "editSerialNum")->SetText("0000500");
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gCustID, "123456789");
    EXPECT_EQ(gSerialNum, "0000500");
    EXPECT_EQ(gNumLabels, 12);
    EXPECT_TRUE(MailerNum().Active()) << "the caller prints first, then closes it";
    EXPECT_TRUE(MailerNum().Exclusive());
    MailerNum().Close();
    MailerNum().SetExclusive(false);
    EXPECT_EQ(Read(home.str()).SerialNum, "0000041") << "the dialog writes nothing";
}

TEST_F(MailerNumDialogs, PrintBarCodeRefusesAZeroCustomerIdOnLeavingAndOnOk)
{
    const char* const zeros = "You can not print the bar codes with a Customer ID of \"000000000\".";
    gCustID = "before";
    TF_PrintBarCode dialog(MailerNum());  // the seed row: all zeros
    dialog.show();
    auto* custID = Find<ui::MaskEdit>(dialog, "editCustID");
    auto* ok = Find<QPushButton>(dialog, "btnOK");
    Leave(custID);
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(messages.Last().text, zeros);
    EXPECT_FALSE(ok->isEnabled());

    ok->setEnabled(true);
    ok->click();  // Enter, the field never left
    EXPECT_EQ(messages.Count(), 2u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(gCustID, "before");

    custID->SetText("12345");  // empty places would print as zeros too
    ok->setEnabled(true);
    ok->click();
    EXPECT_EQ(messages.Count(), 3u);
    EXPECT_EQ(messages.Last().text, zeros);

    custID->SetText("12-345-6789");
    Leave(custID);
    EXPECT_EQ(messages.Count(), 3u);
    EXPECT_TRUE(ok->isEnabled());
}

TEST_F(MailerNumDialogs, PrintBarCodeLabelCountTakesDigitsAndMustNotBeBlank)
{
    Write(home.str(), {"123456789", "0000041", true, true});
    gNumLabels = 4;
    TF_PrintBarCode dialog(MailerNum());
    dialog.show();
    auto* count = Find<QLineEdit>(dialog, "editNumLabels");
    auto* ok = Find<QPushButton>(dialog, "btnOK");
    count->setFocus();
    count->selectAll();
    QTest::keyClicks(count, "9a9-");
    EXPECT_EQ(count->text(), "99");

    count->clear();
    Leave(count);
    EXPECT_EQ(messages.Last().text, "Please enter a valid number for \"Number of Labels\".");
    EXPECT_EQ(count->text(), "1");
    EXPECT_FALSE(ok->isEnabled());

    count->clear();
    ok->setEnabled(true);
    ok->click();
    EXPECT_EQ(messages.Count(), 2u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(gNumLabels, 4);

    Find<QPushButton>(dialog, "btnCancel")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(gNumLabels, 4);
}

TEST_F(MailerNumDialogs, ProMailerWithBarcodesTakesOnlyANineDigitCustomerId)
{
    Write(home.str(), {"123456789", "0000041", true, true});
    TF_ProMailer dialog(MailerNum());
    dialog.show();
    auto* custID = Find<ui::MaskEdit>(dialog, "editCustID");
    auto* ok = Find<QPushButton>(dialog, "btnOK");
    for (const char* typed : {"98765", ""}) {
        SCOPED_TRACE(typed);
        custID->setFocus();
        custID->selectAll();
        QTest::keyClick(custID, Qt::Key_Delete);
        QTest::keyClicks(custID, typed);
        messages.Clear();
        ok->click();
        ASSERT_EQ(messages.Count(), 1u);
        EXPECT_EQ(messages.Last().text, "The Customer ID must have nine digits. Please enter the whole Customer ID.");
        EXPECT_TRUE(dialog.isVisible());
    }
    // Without barcodes as well: the number shown would carry zeros in its place.
    Find<QCheckBox>(dialog, "cbPrintBarCodes")->click();
    messages.Clear();
    ok->click();
    EXPECT_EQ(messages.Count(), 1u);
    EXPECT_TRUE(MailerNum().Exclusive()) << "still the dialog's";
    Find<QPushButton>(dialog, "btnCancel")->click();
    EXPECT_EQ(Read(home.str()).CustID, "123456789");
}

TEST_F(MailerNumDialogs, PrintBarCodeRefusesAFirstSerialTheCounterHasIssued)
{
    struct Case {
        Counter counter;
        const char* first;
        bool refused;
    };
    const Case cases[] = {
        {{"123456789", "0000041", true, true}, "0000040", true},
        {{"123456789", "0000041", true, true}, "0000041", false},
        {{"123456789", "0000041", true, true}, "0000900", false},
        // Barcodes on count up whatever Increment says.
        {{"123456789", "0000041", false, true}, "0000042", false},
        {{"123456789", "0000041", false, false}, "0000042", true},
        {{"123456789", "0000041", false, false}, "0000040", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + (c.counter.Increment || c.counter.BarCodes ? " up" : " down"));
        Write(home.str(), c.counter);
        gSerialNum = "unchanged";
        messages.Clear();
        {
            TF_PrintBarCode dialog(MailerNum());
            dialog.show();
            Find<ui::MaskEdit>(dialog, "editSerialNum")->SetText(c.first);
            Find<QPushButton>(dialog, "btnOK")->click();
            EXPECT_EQ(dialog.isVisible(), c.refused);
            EXPECT_EQ(gSerialNum, c.refused ? "unchanged" : c.first);
            EXPECT_EQ(messages.Count(), c.refused ? 1u : 0u);
            if (c.refused) {
                EXPECT_NE(messages.Last().text.find(std::string(c.first) + " has been issued already"),
                          std::string::npos);
            }
        }
        MailerNum().Close();
        MailerNum().SetExclusive(false);
    }
}

// ---- where the print settings dialogs open ----------------------------------------

// Each opens in the middle of the screen, not over its parent, wherever the
// main window stands.
TEST_F(MailerNumDialogs, PrintSettingsDialogsOpenInTheMiddleOfTheScreen)
{
    QWidget owner;
    owner.setGeometry(10, 10, 200, 150);
    owner.show();
    const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
    auto check = [&](QDialog& dialog, const char* name) {
        dialog.show();
        EXPECT_LE((dialog.frameGeometry().center() - middle).manhattanLength(), 10) << name;
        dialog.close();
    };
    TF_Align align(&owner);
    check(align, "Align");
    TF_ExtraLabel extra(&owner);
    check(extra, "ExtraLabel");
    TF_NumLabels labels(&owner);
    check(labels, "NumLabels");
    TF_MassPrint mass(&owner);
    check(mass, "MassPrint");
    TF_PrintBarCode barcodes(MailerNum(), &owner);
    check(barcodes, "PrintBarCode");
    TF_ProMailer mailer(MailerNum(), &owner);
    check(mailer, "ProMailer");
}
