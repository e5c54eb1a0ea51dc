// The address dialog and the sender-address list, over real tables in a
// program folder of the test's own.

#include "app/addresses/U_Address.h"
#include "app/addresses/U_YourAddress.h"
#include "platform/ui/MaskEdit.h"
#include "tests/app/addresses/AddressDialogsTestSupport.h"
#include "tools/zipcodes/ZipcodesTable.h"

#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

using addrtest::Find;
using addrtest::WhenModal;

namespace {

class AddressDialog : public addrtest::AddressDialogsFixture {};

class YourAddressDialog : public addrtest::AddressDialogsFixture {
protected:
    YourAddressDialog() { dm().EnsureTable(gYourAddressDB, "YourAddress"); }

    void Insert(const std::string& a1, const std::string& city, const std::string& state, const std::string& zip)
    {
        TEdsQuery& query = *dm().edsqToAddress;
        query.Close();
        query.SetDatabaseName(gYourAddressDB);
        query.SetSQLText("insert into YourAddress (Address1, Address2, Address3, Address4, City, State, Zip) "
                         "values('" + a1 + "', '', '', '', '" + city + "', '" + state + "', '" + zip + "')");
        query.ExecSQL();
    }
    std::vector<std::string> Stored() const
    {
        return Rows(gYourAddressDB, "select * from YourAddress order by A_ID",
                    {"A_ID", "Address1", "Address2", "City", "State", "Zip"});
    }
};

// Fills the address dialog as a user would and presses OK.
void FillAndOk(QWidget& dialog, const QString& lines, const QString& city, const QString& state,
               const std::string& zip)
{
    Find<QPlainTextEdit>(dialog, "memoAddress")->setPlainText(lines);
    Find<QLineEdit>(dialog, "editCity")->setText(city);
    Find<QLineEdit>(dialog, "editState")->setText(state);
    Find<ui::MaskEdit>(dialog, "editZip")->SetText(zip);
    Find<QPushButton>(dialog, "btnOK")->click();
}

QString Label(const QWidget& w, const char* name) { return Find<QLabel>(w, name)->text(); }

}  // namespace

// ---- the address dialog ------------------------------------------------------------

TEST_F(AddressDialog, BlankLinesCloseUpAndOkWritesFourLinesAndACleanZip)
{
    gEditAddress1 = "Jane Roe";
    gEditAddress3 = "12 Elm St";
    gEditCity = "Springfield";
    gEditState = "IL";
    gEditZip = "62701";
    TF_Address dialog;
    EXPECT_EQ(dialog.MemoLines(), (std::vector<std::string>{"Jane Roe", "12 Elm St"}));
    EXPECT_EQ(Find<ui::MaskEdit>(dialog, "editZip")->EditMaskText(), "99999\\-9999;1;_");
    dialog.show();
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gEditAddress1, "Jane Roe");
    EXPECT_EQ(gEditAddress2, "12 Elm St");
    EXPECT_EQ(gEditAddress3, "");
    EXPECT_EQ(gEditAddress4, "");
    EXPECT_EQ(gEditZip, "62701") << "the mask's residue goes";
    EXPECT_EQ(messages.Count(), 0u);
}

TEST_F(AddressDialog, NeverHoldsMoreThanFourLines)
{
    TF_Address dialog;
    auto* memo = Find<QPlainTextEdit>(dialog, "memoAddress");
    memo->setPlainText("one\ntwo\nthree\nfour\nfive\nsix");
    EXPECT_EQ(dialog.MemoLines(), (std::vector<std::string>{"one", "two", "three", "four"}));

    dialog.show();
    memo->setFocus();
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "x");
    EXPECT_EQ(dialog.MemoLines(), (std::vector<std::string>{"one", "two", "three", "fourx"}))
        << "a typed fifth line goes at once";
}

TEST_F(AddressDialog, AllBlankIsRefusedButAZipAloneWillDo)
{
    gEditAddress1 = "keep";
    TF_Address dialog;
    dialog.show();
    Find<QPushButton>(dialog, "btnClear")->click();
    EXPECT_FALSE(dialog.OkReturnsOk());
    Find<QLineEdit>(dialog, "editCity")->setText("   ");
    Find<QPushButton>(dialog, "btnOK")->click();
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().text, "Address can not be empty.");
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(gEditAddress1, "keep");

    // Enter on OK without leaving the field: the state is taken again.
    Find<ui::MaskEdit>(dialog, "editZip")->SetText("12345");
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gEditAddress1, "");
    EXPECT_EQ(gEditZip, "12345");
}

TEST_F(AddressDialog, ZipFillsOnlyBlankCityAndState)
{
    ASSERT_EQ(WriteZipCodesTable(shipped.str(), {{"62701", "Springfield", "IL"}}), 1u);
    TF_Address dialog;
    auto* city = Find<QLineEdit>(dialog, "editCity");
    auto* state = Find<QLineEdit>(dialog, "editState");
    auto* zip = Find<ui::MaskEdit>(dialog, "editZip");

    zip->SetText("6270");
    dialog.ZipLookup();
    EXPECT_EQ(city->text(), "") << "fewer than five digits do no lookup";

    zip->SetText("62701");
    state->setText("MO");
    dialog.ZipLookup();
    EXPECT_EQ(city->text(), "Springfield");
    EXPECT_EQ(state->text(), "MO") << "a filled field is never overwritten";

    city->setText("Elsewhere");
    state->clear();
    zip->SetText("99999");
    dialog.ZipLookup();
    EXPECT_EQ(city->text(), "Elsewhere");
    EXPECT_EQ(state->text(), "") << "a miss leaves the fields as typed";

    // Leaving the ZIP field runs the lookup.
    city->clear();
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    zip->setFocus();
    zip->SetText("62701-1234");
    QTest::keyClick(zip, Qt::Key_Tab);
    EXPECT_EQ(city->text(), "Springfield");
    EXPECT_EQ(state->text(), "IL");
    EXPECT_EQ(messages.Count(), 0u);
}

TEST_F(AddressDialog, PasteFillsTheDialogAndCopyGivesTheBlock)
{
    TF_Address dialog;
    QApplication::clipboard()->setText("Acme Corp\nAttn: Billing\nSpringfield, IL 62701-1234\n");
    Find<QPushButton>(dialog, "btnPaste")->click();
    EXPECT_EQ(dialog.MemoLines(), (std::vector<std::string>{"Acme Corp", "Attn: Billing"}));
    EXPECT_EQ(Find<QLineEdit>(dialog, "editCity")->text(), "Springfield");
    EXPECT_EQ(Find<QLineEdit>(dialog, "editState")->text(), "IL");
    EXPECT_TRUE(dialog.OkReturnsOk());

    Find<QPushButton>(dialog, "btnCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "Acme Corp\n\rAttn: Billing\n\rSpringfield IL 62701-1234");

    // A block of 256 characters or more does not reach the clipboard.
    QApplication::clipboard()->setText("before");
    Find<QPlainTextEdit>(dialog, "memoAddress")->setPlainText(QString(50, 'a') + "\n" + QString(50, 'b') + "\n" +
                                                              QString(50, 'c') + "\n" + QString(50, 'd'));
    Find<QLineEdit>(dialog, "editCity")->setText(QString(35, 'e'));
    Find<QPushButton>(dialog, "btnCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
}

// ---- the sender-address list ------------------------------------------------------------

TEST_F(YourAddressDialog, EmptyListAsksForTheFirstAddressAndOkMakesItTheSender)
{
    ASSERT_TRUE(gYourAddressID.empty());
    TF_YourAddress dialog;
    std::string caption;
    WhenModal([&](QWidget& address) {
        caption = Find<QGroupBox>(address, "gbAddress")->title().toStdString();
        FillAndOk(address, "Certified Office\nRoom 12", "Dayton", "OH", "45402");
    });
    dialog.show();  // the empty list opens New by itself
    auto* list = Find<QListWidget>(dialog, "lvYourAddress");
    QTRY_COMPARE(list->count(), 1);
    EXPECT_EQ(caption, "Your Name and Address");
    EXPECT_EQ(Stored(), (std::vector<std::string>{"1|Certified Office|Room 12|Dayton|OH|45402"}));
    EXPECT_TRUE(list->item(0)->isSelected());
    EXPECT_EQ(Label(dialog, "lblYourAddress1"), "Certified Office");
    EXPECT_EQ(Label(dialog, "lblYourAddress3"), "Dayton OH 45402");
    EXPECT_TRUE(dialog.findChild<QAction*>("miEdit")->isVisible());

    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gYourAddressID, "1");
    EXPECT_EQ(gYourAddress1, "Certified Office");
    EXPECT_EQ(gYourAddress2, "Room 12");
    EXPECT_EQ(gYourCity, "Dayton");
    EXPECT_EQ(gYourZip, "45402");
}

TEST_F(YourAddressDialog, ListSelectsTheChosenSenderAndCaptionsBlankFirstLines)
{
    Insert("First Sender", "Dayton", "OH", "45402");
    Insert("", "Westbrook", "ME", "04092");
    gYourAddressID = "2";
    TF_YourAddress dialog;
    auto* list = Find<QListWidget>(dialog, "lvYourAddress");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "Westbrook ME 04092");
    EXPECT_TRUE(list->item(1)->isSelected());
    EXPECT_EQ(list->item(0)->toolTip(), "First Sender\n\rDayton OH 45402");
    EXPECT_EQ(Label(dialog, "lblYourAddress1"), "Westbrook ME 04092");
    // A long path loses its leading folders, never the table's name.
    const QString database = Label(dialog, "labelDatabaseName");
    EXPECT_TRUE(database.startsWith(".../")) << database.toStdString();
    EXPECT_TRUE(database.endsWith("/Addresses/YourAddress.edt")) << database.toStdString();

    // Cancel leaves the sender as it was.
    gYourAddress1 = "unchanged";
    list->item(0)->setSelected(true);
    Find<QPushButton>(dialog, "btnCancel")->click();
    EXPECT_EQ(gYourAddressID, "2");
    EXPECT_EQ(gYourAddress1, "unchanged");
}

TEST_F(YourAddressDialog, EditRewritesTheRowAndQuotesWhatIsTyped)
{
    Insert("Old Name", "Dayton", "OH", "45402");
    TF_YourAddress dialog;
    auto* list = Find<QListWidget>(dialog, "lvYourAddress");
    list->item(0)->setSelected(true);
    std::string caption, shownFirstLine;
    WhenModal([&](QWidget& address) {
        caption = Find<QGroupBox>(address, "gbAddress")->title().toStdString();
        shownFirstLine = Find<QPlainTextEdit>(address, "memoAddress")->toPlainText().toStdString();
        FillAndOk(address, "O'Brien & Sons", "Dayton", "OH", "45402-0001");
    });
    dialog.EditClick();
    EXPECT_EQ(caption, "Edit Name and Address");
    EXPECT_EQ(shownFirstLine, "Old Name");
    EXPECT_EQ(Stored(), (std::vector<std::string>{"1|O'Brien & Sons||Dayton|OH|45402-0001"}));
    EXPECT_EQ(list->item(0)->text(), "O'Brien & Sons");
    EXPECT_EQ(Label(dialog, "lblYourAddress1"), "O'Brien & Sons");
    EXPECT_EQ(Label(dialog, "lblYourAddress2"), "Dayton OH 45402-0001");

    // Cancel in the address dialog writes nothing.
    WhenModal([](QWidget& address) { Find<QPushButton>(address, "btnCancel")->click(); });
    dialog.EditClick();
    EXPECT_EQ(Stored().size(), 1u);
    EXPECT_EQ(list->item(0)->text(), "O'Brien & Sons");
}

TEST_F(YourAddressDialog, DeleteAsksFirstAndTheLastDeletionClearsTheChosenSender)
{
    Insert("One", "A", "OH", "11111");
    Insert("Two", "B", "OH", "22222");
    gYourAddressID = "2";
    TF_YourAddress dialog;
    auto* list = Find<QListWidget>(dialog, "lvYourAddress");

    messages.Answer(ui::mrNo);
    dialog.DeleteClick();
    EXPECT_EQ(messages.Last().text, "Are you sure you want to delete this address?");
    EXPECT_EQ(messages.Last().buttons, ui::MsgButtons::YesNoCancel);
    EXPECT_EQ(list->count(), 2);

    messages.Answer(ui::mrYes);
    dialog.DeleteClick();
    EXPECT_EQ(Stored(), (std::vector<std::string>{"1|One||A|OH|11111"}));
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->isSelected()) << "item 0 is selected after a deletion";
    EXPECT_EQ(gYourAddressID, "2");

    messages.Answer(ui::mrYes);
    dialog.DeleteClick();
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(Stored().empty());
    EXPECT_EQ(gYourAddressID, "");
    EXPECT_EQ(Label(dialog, "lblYourAddress1"), "");
    EXPECT_FALSE(dialog.findChild<QAction*>("miEdit")->isVisible());
    EXPECT_FALSE(dialog.findChild<QAction*>("miDelete")->isVisible());
}

TEST_F(YourAddressDialog, FindStartsAfterTheSelectionAndWraps)
{
    Insert("North Office", "Dayton", "OH", "45402");
    Insert("South Office", "Dayton", "OH", "45403");
    Insert("Warehouse", "Akron", "OH", "44301");
    TF_YourAddress dialog;
    auto* list = Find<QListWidget>(dialog, "lvYourAddress");
    list->item(1)->setSelected(true);

    gFindText = "office";
    dialog.FindAddress();
    EXPECT_TRUE(list->item(0)->isSelected()) << "from item 2 the search wraps to the top";
    EXPECT_EQ(list->selectedItems().size(), 1);

    WhenModal([](QWidget& find) {
        EXPECT_EQ(find.windowTitle(), "Find");
        EXPECT_EQ(Find<QGroupBox>(find, "TheGroupBox")->title(), "Text to find");
        EXPECT_EQ(Find<QLineEdit>(find, "TheEdit")->text(), "office");
        Find<QLineEdit>(find, "TheEdit")->setText("4430");
        Find<QPushButton>(find, "btnOK")->click();
    });
    dialog.FindClick();
    EXPECT_EQ(gFindText, "4430");
    EXPECT_TRUE(list->item(2)->isSelected()) << "the ZIP is searched too";

    // F3 runs the last search again; a miss leaves the selection.
    gFindText = "Nowhere";
    QTest::keyClick(list, Qt::Key_F3);
    EXPECT_EQ(messages.Last().text, "Search string \"Nowhere\" not found.");
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Information);
    EXPECT_TRUE(list->item(2)->isSelected());
}
