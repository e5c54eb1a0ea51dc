// Returned receipts over a real log: numbers typed, entered and scanned (a
// scanner types one key at a time), names with the pick list, and what OK
// and Cancel write, read back with the sqlite3 tool; lookups while another
// station prints.

#include "app/receipts/U_IncomingMailers.h"
#include "tests/app/log/LogTestSupport.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

using logtest::Find;
using logtest::WhenDialog;

namespace {

class IncomingMailers : public logtest::LogFixture {
protected:
    IncomingMailers()
    {
        AddRow(1, {{"MailerNum", "9214 7123 4567 8900 0000 15"}, {"ToAddress1", "Acme Anvils"}});
        AddRow(2, {{"MailerNum", "9214 7123 4567 8900 0000 22"}, {"ToAddress1", "Bolt Brothers"}, {"ToCity", "Acme"}});
        AddRow(3, {{"MailerNum", "9407 1112 0620 1234 5678"}, {"ToAddress1", "Acme Older"}});
        AddRow(4, {{"MailerNum", "9214 7123 4567 8900 0000 39"}, {"ToAddress1", "Acme Done"},
                   {"Result", "Received - Signed"}});
        // Imported logs keep a 22-digit number as its plain digits.
        AddRow(5, {{"MailerNum", "9214712345678900000046"}, {"ToAddress1", "Imported Scan"}});
        AddRow(6, {{"MailerNum", "9214712345678900000053"}, {"ToAddress1", "Imported Typed"}});
    }

    // A's recipient barcode as a scanner reads it: "420", the ZIP, the number.
    static constexpr const char* kScanA = "420123459214712345678900000015";

    // Types like a scanner, a key at a time, then lets the pause after which a
    // complete number is looked up pass: until the field is emptied for the
    // next scan or a message is shown (at most a few seconds on a busy machine).
    void Scan(TF_IncomingMailers& dialog, const char* text) const
    {
        auto& field = *Find<QLineEdit>(dialog, "maskeditMailerNum");
        const std::size_t shown = messages.Count();
        QTest::keyClicks(&field, text);
        for (int waited = 0; waited < 5000 && !field.text().isEmpty() && messages.Count() == shown; waited += 20)
            QTest::qWait(20);
    }
    static std::vector<std::string> GridRows(TF_IncomingMailers& dialog)
    {
        const QTableWidget& grid = *Find<QTableWidget>(dialog, "sgMailers");
        std::vector<std::string> rows;
        for (int r = 0; r < grid.rowCount(); ++r) {
            std::string row;
            for (int c = 0; c < 3; ++c)
                row += (c ? "|" : "") + (grid.item(r, c) ? grid.item(r, c)->text().toStdString() : std::string());
            rows.push_back(row);
        }
        return rows;
    }
    std::vector<std::string> Results() const { return Sql("select Result from Log37 order by LID"); }
};

const std::vector<std::string> kUntouched{"None", "None", "None", "Received - Signed", "None", "None"};

}  // namespace

TEST_F(IncomingMailers, NumbersOfEveryFormAreListedOnceAndOkWritesTheChosenResults)
{
    TF_IncomingMailers dialog(dm());
    dialog.show();
    EXPECT_FALSE(Find<QTableWidget>(dialog, "sgMailers")->isEnabled()) << "nothing listed yet";

    Scan(dialog, kScanA);
    EXPECT_TRUE(messages.Shown().empty()) << "a scan is not looked up at its 20th character";
    EXPECT_EQ(GridRows(dialog), std::vector<std::string>{"9214 7123 4567 8900 0000 15|Acme Anvils|Received - Signed"});
    EXPECT_EQ(Find<QLineEdit>(dialog, "maskeditMailerNum")->text(), "") << "ready for the next scan";
    EXPECT_TRUE(Find<QTableWidget>(dialog, "sgMailers")->isEnabled());

    Scan(dialog, kScanA);
    EXPECT_EQ(messages.Last().text, "Mailer for Mailer # \"9214 7123 4567 8900 0000 15\" is already in the list.");
    EXPECT_EQ(GridRows(dialog).size(), 1u);

    // An older log's 20 digits, typed and entered before the pause ends.
    QTest::keyClicks(Find<QLineEdit>(dialog, "maskeditMailerNum"), "9407 1112 0620 1234 5678");
    QTest::keyClick(Find<QLineEdit>(dialog, "maskeditMailerNum"), Qt::Key_Return);
    EXPECT_EQ(GridRows(dialog).back(), "9407 1112 0620 1234 5678|Acme Older|Received - Signed");

    // A row already marked is no open mailer.
    messages.Clear();
    Find<QLineEdit>(dialog, "maskeditMailerNum")->setText("9214712345678900000039");
    Find<QPushButton>(dialog, "btnTrack")->click();
    EXPECT_EQ(messages.Last().text, "Mailer Number not found.");
    Find<QLineEdit>(dialog, "maskeditMailerNum")->setText("9214 7123");
    Find<QPushButton>(dialog, "btnTrack")->click();
    EXPECT_EQ(messages.Last().text, "Mailer Number must be 20 or 22 digits.");
    EXPECT_EQ(GridRows(dialog).size(), 2u);

    // The older row's receipt came back unsigned.
    auto& grid = *Find<QTableWidget>(dialog, "sgMailers");
    grid.setCurrentCell(1, 2);
    auto& result = *Find<QComboBox>(dialog, "cbResult");
    ASSERT_TRUE(result.isVisible());
    EXPECT_EQ(result.currentText(), "Received - Signed");
    result.setCurrentIndex(result.findText("Received - Not Signed"));
    emit result.activated(result.currentIndex());
    EXPECT_FALSE(result.isVisible());
    EXPECT_EQ(GridRows(dialog).back(), "9407 1112 0620 1234 5678|Acme Older|Received - Not Signed");

    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(Results(), (std::vector<std::string>{"Received - Signed", "None", "Received - Not Signed",
                                                   "Received - Signed", "None", "None"}));
}

TEST_F(IncomingMailers, NumbersImportedAsPlainDigitsAreFoundByScanAndByTypedNumber)
{
    TF_IncomingMailers dialog(dm());
    dialog.show();
    Scan(dialog, "420123459214712345678900000046");
    QTest::keyClicks(Find<QLineEdit>(dialog, "maskeditMailerNum"), "9214 7123 4567 8900 0000 53");
    QTest::keyClick(Find<QLineEdit>(dialog, "maskeditMailerNum"), Qt::Key_Return);
    EXPECT_TRUE(messages.Shown().empty()) << messages.Last().text;
    EXPECT_EQ(GridRows(dialog), (std::vector<std::string>{"9214 7123 4567 8900 0000 46|Imported Scan|Received - Signed",
                                                          "9214 7123 4567 8900 0000 53|Imported Typed|Received - Signed"}));

    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(Results(), (std::vector<std::string>{"None", "None", "None", "Received - Signed", "Received - Signed",
                                                   "Received - Signed"}));
}

TEST_F(IncomingMailers, ANameOffersOnlyOpenRowsNotListedAndCancelWritesNothing)
{
    TF_IncomingMailers dialog(dm());
    dialog.show();
    Scan(dialog, kScanA);
    ASSERT_EQ(GridRows(dialog).size(), 1u);

    Find<QRadioButton>(dialog, "rbAddresseeName")->click();
    EXPECT_TRUE(Find<QLineEdit>(dialog, "editData")->isVisible());
    EXPECT_FALSE(Find<QLineEdit>(dialog, "maskeditMailerNum")->isVisible());
    Find<QPushButton>(dialog, "btnTrack")->click();
    EXPECT_EQ(messages.Last().text, "Please enter a value.");

    // Acme matches A (listed), B (by its city) and C; D is marked already.
    Find<QLineEdit>(dialog, "editData")->setText("acme");
    std::vector<std::string> offered;
    WhenDialog("Incoming Mailers", [&offered](QWidget& pick) {
        auto& list = *Find<QListWidget>(pick, "lvMailers");
        offered.push_back(Find<QLabel>(pick, "lblMain")->text().toStdString());
        for (int i = 0; i < list.count(); ++i) offered.push_back(list.item(i)->text().toStdString());
        EXPECT_TRUE(list.item(0)->toolTip().contains("Acme"));
        list.selectAll();
        Find<QPushButton>(pick, "btnAddToList")->click();
    });
    QTest::keyClick(Find<QLineEdit>(dialog, "editData"), Qt::Key_Return);
    EXPECT_EQ(offered, (std::vector<std::string>{
                           "We found 2 log records containing Addressee name \"acme\".  Please select the Mailers "
                           "you'd like to add to the list.",
                           "9214 7123 4567 8900 0000 22  Bolt Brothers", "9407 1112 0620 1234 5678  Acme Older"}));
    EXPECT_EQ(GridRows(dialog).size(), 3u);

    Find<QLineEdit>(dialog, "editData")->setText("Nobody");
    Find<QPushButton>(dialog, "btnTrack")->click();
    EXPECT_EQ(messages.Last().text, "Addressee name not found.");

    Find<QPushButton>(dialog, "btnCancel")->click();
    EXPECT_NE(dialog.result(), ui::mrOk);
    EXPECT_EQ(Results(), kUntouched);
}

TEST_F(IncomingMailers, OkWithNothingListedWritesNothing)
{
    TF_IncomingMailers dialog(dm());
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(Results(), kUntouched);
}

TEST_F(IncomingMailers, LookupsGoOnWhileAnotherStationPrintsWithTheCounterBesideTheLog)
{
    // The user keeps the mailer numbers in the log's folder; a print elsewhere
    // holds them exclusively while it numbers its mailer.
    gMailerNumDB = gLogDB;
    dm().EnsureTable(gMailerNumDB, "MailerNum");
    edstest::Holder printing(gMailerNumDB, "MailerNum", EDS_EXCLUSIVE, false);
    ASSERT_TRUE(printing.Ready());

    TF_IncomingMailers dialog(dm());
    dialog.show();
    Find<QLineEdit>(dialog, "maskeditMailerNum")->setText("9407 1112 0620 1234 5678");
    Find<QPushButton>(dialog, "btnTrack")->click();
    Find<QRadioButton>(dialog, "rbAddresseeName")->click();
    Find<QLineEdit>(dialog, "editData")->setText("Bolt");
    Find<QPushButton>(dialog, "btnTrack")->click();
    EXPECT_EQ(Texts(ui::MsgKind::Error), std::vector<std::string>{});
    EXPECT_EQ(GridRows(dialog), (std::vector<std::string>{"9407 1112 0620 1234 5678|Acme Older|Received - Signed",
                                                          "9214 7123 4567 8900 0000 22|Bolt Brothers|Received - Signed"}));
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(Results(), (std::vector<std::string>{"None", "Received - Signed", "Received - Signed",
                                                   "Received - Signed", "None", "None"}));
}
