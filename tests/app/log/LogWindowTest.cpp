// The log window over a real log in a program folder of the test's own: its
// grid and details, deleting, editing and finding rows. What the window wrote
// is read back with the sqlite3 tool.

#include "app/log/U_DataSetGridModel.h"
#include "app/log/U_Log.h"
#include "tests/app/log/LogTestSupport.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

using logtest::Find;
using logtest::WhenDialog;

namespace {

// This program's number for customer 123456789, serial 1, as logged and as scanned.
const char* const kPrinted = "9214 7123 4567 8900 0000 15";
const char* const kPrintedScan = "420123459214712345678900000015";
// An older log's 20-digit number, and a number an import stored without blanks.
const char* const kOlder = "9407 1112 0620 1234 5678";
const char* const kImported = "9214712345678900000039";

class LogWindow : public logtest::LogFixture {
protected:
    QTableView& Grid(TF_Log& log) const { return *Find<QTableView>(log, "gridLog"); }
    int Rows(TF_Log& log) const { return Grid(log).model()->rowCount(); }
    std::string Shown(TF_Log& log, const char* field) const
    {
        return Find<QLabel>(log, (std::string("dbt") + field).c_str())->text().toStdString();
    }
    bool RecordCommandsEnabled(TF_Log& log) const
    {
        bool all = true, none = true;
        for (const char* name : {"btnFindMailer", "btnEditMailer", "btnDeleteRecord", "btnDeleteAllRecords"}) {
            const bool on = Find<QPushButton>(log, name)->isEnabled();
            all = all && on;
            none = none && !on;
        }
        EXPECT_TRUE(all || none) << "the four record buttons go together";
        return all;
    }
    void Click(TF_Log& log, const char* button) const { Find<QPushButton>(log, button)->click(); }

    // Runs a find through the find dialog; `edits` answers the editor a
    // number hit opens with the recipient shown at that moment (none
    // expected when null).
    void FindMailer(TF_Log& log, const std::string& entry, bool byName, std::string* edits = nullptr)
    {
        WhenDialog("Find Mailer", [entry, byName](QWidget& dialog) {
            Find<QRadioButton>(dialog, byName ? "rbAddresseeName" : "rbMailer")->setChecked(true);
            Find<QLineEdit>(dialog, "editEnter")->setText(QString::fromStdString(entry));
            Find<QPushButton>(dialog, "btnOK")->click();
        });
        if (edits != nullptr) {
            edits->clear();
            WhenDialog("Edit Mailer", [this, &log, edits](QWidget& dialog) {
                *edits = Shown(log, "ToAddress1");
                Find<QPushButton>(dialog, "btnCancel")->click();
            });
        }
        Click(log, "btnFindMailer");
    }
};

}  // namespace

TEST_F(LogWindow, DeletingRowByRowAndTheLastOneLeavesNoRecordCommands)
{
    // Without a main window nobody offers reports (an earlier test's main window
    // may have left its hook behind in this process).
    gShowReports = nullptr;
    AddRow(1, {{"MailerNum", kPrinted}, {"ToAddress1", "Ann Able"}});
    AddRow(2, {{"MailerNum", kOlder}, {"ToAddress1", "Bob Baker"}});
    TF_Log log(dm());
    EXPECT_EQ(log.windowTitle(), "Log File");
    EXPECT_TRUE(Find<QLabel>(log, "labelLogDBName")->text().endsWith("Log37.edt"));
    ASSERT_EQ(Rows(log), 2);
    EXPECT_EQ(Grid(log).model()->data(Grid(log).model()->index(1, 1)).toString().toStdString(), kOlder);
    EXPECT_TRUE(Find<QWidget>(log, "panelDBdetails")->isVisibleTo(&log));
    EXPECT_TRUE(RecordCommandsEnabled(log));
    EXPECT_FALSE(Find<QPushButton>(log, "btnReport")->isEnabled());

    Grid(log).setCurrentIndex(Grid(log).model()->index(1, 0));
    EXPECT_EQ(Shown(log, "ToAddress1"), "Bob Baker");

    messages.Answer(ui::mrNo);
    Click(log, "btnDeleteRecord");
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().text, "Are you sure you want to remove this record from the Log file?");
    EXPECT_EQ(messages.Last().buttons, ui::MsgButtons::YesNoCancel);
    EXPECT_EQ(Sql("select count(*) from Log37"), std::vector<std::string>{"2"});

    messages.Answer(ui::mrYes);
    Click(log, "btnDeleteRecord");
    EXPECT_EQ(messages.Last().text, "Record deleted.");
    EXPECT_EQ(Sql("select ToAddress1 from Log37"), std::vector<std::string>{"Ann Able"});
    EXPECT_EQ(Rows(log), 1);
    EXPECT_EQ(Shown(log, "ToAddress1"), "Ann Able") << "the cursor moves to the row left";
    EXPECT_TRUE(RecordCommandsEnabled(log));

    messages.Answer(ui::mrYes);
    Click(log, "btnDeleteRecord");
    EXPECT_EQ(Sql("select count(*) from Log37"), std::vector<std::string>{"0"});
    EXPECT_EQ(Rows(log), 0);
    EXPECT_FALSE(Find<QWidget>(log, "panelDBdetails")->isVisibleTo(&log));
    EXPECT_FALSE(Grid(log).isEnabled());
    EXPECT_FALSE(RecordCommandsEnabled(log));
}

TEST_F(LogWindow, DeleteAllUnderAFilterDeletesOnlyItsRowsEvenWhenAValueReadsLikeSql)
{
    AddRow(1, {{"ToAddress1", "One"}, {"Comment", "sort by order by DATETIME"}});
    AddRow(2, {{"ToAddress1", "Two"}, {"Comment", "plain"}});
    AddRow(3, {{"ToAddress1", "Three"}, {"Comment", "select * from nothing"}});
    TF_Log log(dm());
    log.SetFilterWhere("Comment like '%order by DATETIME%'");
    ASSERT_EQ(Rows(log), 1);

    messages.Answer(ui::mrYes);
    Click(log, "btnDeleteAllRecords");
    ASSERT_EQ(messages.Count(), 2u);
    EXPECT_EQ(messages.Shown()[0].text,
              "Are you sure you want to remove all records from current filter from the Log file?");
    EXPECT_EQ(messages.Shown()[1].text, "Records deleted.");
    EXPECT_EQ(Sql("select ToAddress1 from Log37 order by LID"), (std::vector<std::string>{"Two", "Three"}));
    EXPECT_EQ(log.FilterWhere(), "");
    EXPECT_EQ(Rows(log), 2) << "the whole log shows again";

    messages.Clear();
    messages.Answer(ui::mrNo);
    Click(log, "btnDeleteAllRecords");
    EXPECT_EQ(messages.Last().text, "Are you sure you want to remove all records from the Log file?");
    EXPECT_EQ(Sql("select count(*) from Log37"), std::vector<std::string>{"2"});
    messages.Answer(ui::mrYes);
    Click(log, "btnDeleteAllRecords");
    EXPECT_EQ(Sql("select count(*) from Log37"), std::vector<std::string>{"0"});
    EXPECT_FALSE(Find<QWidget>(log, "panelDBdetails")->isVisibleTo(&log));
    EXPECT_FALSE(RecordCommandsEnabled(log));
}

TEST_F(LogWindow, EditKeepsWhatItDoesNotChangeAndMovesTheTotalWithTheFees)
{
    gRestrictedFee = "2.85";
    AddRow(1, {{"ToAddress1", "First"}});
    // Priority (9.35) is in the total but in no fee column; the row comes from an older log.
    AddRow(2, {{"ToAddress1", "Second"}, {"Postage", "4.10"}, {"Certified", "4.40"}, {"Return", "3.55"},
               {"Total", "21.40"}, {"Comment", "as sent"}, {"Result", "Received"}});
    TF_Log log(dm());
    Grid(log).setCurrentIndex(Grid(log).model()->index(1, 0));

    // OK without a change writes nothing.
    const std::string before = Sql("select * from Log37 where LID = 2").at(0);
    WhenDialog("Edit Mailer", [](QWidget& dialog) {
        EXPECT_EQ(Find<QComboBox>(dialog, "cbResult")->currentText(), "Received");
        EXPECT_EQ(Find<QLineEdit>(dialog, "editTotal")->text().trimmed(), "12.05") << "the four fees";
        EXPECT_FALSE(Find<QLineEdit>(dialog, "editRestricted")->isEnabled());
        Find<QPushButton>(dialog, "btnOK")->click();
    });
    Click(log, "btnEditMailer");
    EXPECT_EQ(Sql("select * from Log37 where LID = 2").at(0), before);
    EXPECT_EQ(dm().edsqLog2->SQL().Text().find("update"), std::string::npos) << "no statement ran";

    WhenDialog("Edit Mailer", [](QWidget& dialog) {
        auto* postage = Find<QLineEdit>(dialog, "editPostage");
        postage->setText("5");
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);  // leaving the fee formats it
        QApplication::sendEvent(postage, &leave);
        EXPECT_EQ(postage->text().toStdString(), "          5.00");
        EXPECT_EQ(Find<QLineEdit>(dialog, "editTotal")->text().trimmed(), "12.95");
        Find<QLineEdit>(dialog, "editComment")->setText("O'Brien's");
        Find<QPushButton>(dialog, "btnOK")->click();
    });
    Click(log, "btnEditMailer");
    EXPECT_EQ(Sql("select Postage, Certified, Return, Restricted, Total, Comment, Result, WishRest from Log37 "
                  "where LID = 2"),
              std::vector<std::string>{"5.00|4.40|3.55||22.30|O'Brien's|Received|"})
        << "what the edit did not change (the blank restricted flag) stays as stored";
    EXPECT_EQ(Shown(log, "Total"), "22.30") << "the window shows the row as written";
    EXPECT_EQ(Shown(log, "ToAddress1"), "Second") << "and stays on it";

    // Restricted delivery takes the settings' fee; the total follows again.
    WhenDialog("Edit Mailer", [](QWidget& dialog) {
        Find<QCheckBox>(dialog, "cbRestricted")->click();
        EXPECT_EQ(Find<QLineEdit>(dialog, "editRestricted")->text().trimmed(), "2.85");
        Find<QComboBox>(dialog, "cbResult")->setCurrentText("Received - Signed");
        Find<QPushButton>(dialog, "btnOK")->click();
    });
    Click(log, "btnEditMailer");
    EXPECT_EQ(Sql("select Restricted, Total, Result, WishRest from Log37 where LID = 2"),
              std::vector<std::string>{"2.85|25.15|Received - Signed|1"});
    EXPECT_EQ(Sql("select Total, Comment from Log37 where LID = 1"), std::vector<std::string>{"|"});
}

TEST_F(LogWindow, FindsEveryFormOfAMailerNumberAndOpensTheEditor)
{
    AddRow(1, {{"MailerNum", kOlder}, {"ToAddress1", "Alpha Older"}});
    AddRow(2, {{"MailerNum", kPrinted}, {"ToAddress1", "Pat O'Brien's Pub"}});
    AddRow(3, {{"MailerNum", kImported}, {"ToAddress1", "Beta Imported"}});
    AddRow(4, {{"MailerNum", "9214 0000 0000 0000 0000 47"}, {"ToAddress1", "Gamma"}, {"ToCity", "Patterson"}});
    TF_Log log(dm());

    std::string edited;
    FindMailer(log, "9214 7123 4567 8900 0000 15", false, &edited);
    EXPECT_EQ(edited, "Pat O'Brien's Pub") << "22 digits, typed in groups";
    FindMailer(log, "42054321 9214712345678900000039", false, &edited);
    EXPECT_EQ(edited, "Beta Imported") << "a scan finds a number an import stored without blanks";
    FindMailer(log, "94071112062012345678", false, &edited);
    EXPECT_EQ(edited, "Alpha Older") << "20 digits of an older log, found by walking on past the end";
    FindMailer(log, kPrintedScan, false, &edited);
    EXPECT_EQ(edited, "Pat O'Brien's Pub");
    EXPECT_TRUE(messages.Shown().empty());

    FindMailer(log, "9214 7123 4567 8900 0000 99", false);
    EXPECT_EQ(messages.Last().text, "Mailer not found.");
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(Shown(log, "ToAddress1"), "Pat O'Brien's Pub") << "the cursor stays";

    // An entry of another length keeps the find dialog open.
    WhenDialog("Find Mailer", [this](QWidget& dialog) {
        Find<QRadioButton>(dialog, "rbMailer")->setChecked(true);
        Find<QLineEdit>(dialog, "editEnter")->setText("1234 5678");
        Find<QPushButton>(dialog, "btnOK")->click();
        EXPECT_EQ(messages.Last().text, "Mailer Number must contain 20 or 22 digits.");
        EXPECT_TRUE(dialog.isVisible());
        Find<QPushButton>(dialog, "btnCancel")->click();
    });
    Click(log, "btnFindMailer");
    EXPECT_EQ(gFindMailerType, "1");
}

TEST_F(LogWindow, NameSearchWalksOnWithF3AndIsCaseSensitive)
{
    AddRow(1, {{"ToAddress1", "Alpha"}});
    AddRow(2, {{"ToAddress1", "Pat O'Brien's Pub"}});
    AddRow(3, {{"ToAddress1", "Beta"}});
    AddRow(4, {{"ToAddress1", "Gamma"}, {"ToCity", "Patterson"}});
    TF_Log log(dm());

    FindMailer(log, "Pat", true);
    EXPECT_EQ(Shown(log, "ToAddress1"), "Pat O'Brien's Pub");
    EXPECT_EQ(Grid(log).currentIndex().row(), 1) << "the grid follows";
    QTest::keyClick(&Grid(log), Qt::Key_F3);
    EXPECT_EQ(Shown(log, "ToAddress1"), "Gamma") << "the city counts too";
    QTest::keyClick(&Grid(log), Qt::Key_F3);
    EXPECT_EQ(Shown(log, "ToAddress1"), "Pat O'Brien's Pub") << "on from the first row";
    EXPECT_TRUE(messages.Shown().empty());

    FindMailer(log, "O'Brien's", true);
    EXPECT_EQ(messages.Last().text, "Mailer not found.") << "the only match is the row the walk starts from";
    EXPECT_EQ(Shown(log, "ToAddress1"), "Pat O'Brien's Pub");
    Grid(log).setCurrentIndex(Grid(log).model()->index(3, 0));
    messages.Clear();
    QTest::keyClick(&Grid(log), Qt::Key_F3);
    EXPECT_EQ(Shown(log, "ToAddress1"), "Pat O'Brien's Pub") << "F3 repeats the last name";
    EXPECT_TRUE(messages.Shown().empty());

    FindMailer(log, "pat", true);
    EXPECT_EQ(messages.Last().text, "Mailer not found.");
    EXPECT_EQ(gFindMailerType, "2");
    EXPECT_EQ(gSingleEditText, "pat");
}

TEST_F(LogWindow, ALogThatCannotBeOpenedIsSaidSoInPlainWordsAndLeavesNoRecordCommands)
{
    gLogDB = (home / "Elsewhere").string();
    std::filesystem::create_directories(gLogDB);
    TF_Log log(dm());
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(messages.Last().text.rfind("The log could not be opened.", 0), 0u) << messages.Last().text;
    EXPECT_FALSE(messages.Last().details.empty()) << "the engine's text goes under details";
    EXPECT_EQ(Rows(log), 0);
    EXPECT_FALSE(RecordCommandsEnabled(log));
    EXPECT_FALSE(Find<QWidget>(log, "panelDBdetails")->isVisibleTo(&log));
}
