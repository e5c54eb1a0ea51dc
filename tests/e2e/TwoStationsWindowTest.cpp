// Two stations on one data folder: this process's windows, and another
// station that opens the same folder in a process of its own and changes
// rows while a dialog here is open. Edits and receipts must never put back
// what the other station stored, and a row it deleted or recorded is told,
// not silently lost. The log and the address tables are read back with the
// sqlite3 tool before and after.

#include "tests/app/addresses/AddressDialogsTestSupport.h"
#include "tests/app/log/LogTestSupport.h"
#include "tests/e2e/E2EWindow.h"

#include "app/addresses/U_YourAddress.h"
#include "app/data/FailureMessage.h"
#include "app/log/U_Log.h"
#include "app/receipts/U_IncomingMailers.h"
#include "dbaccess/edstable.h"
#include "platform/edsengine/eds.h"
#include "platform/rtl/DateUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using logtest::Find;
using logtest::WhenDialog;

// The other station: a process of its own opens `folder` with its own engine
// connection and runs `sql`. Answers the rows the statement changed, -1 when
// it failed.
std::int64_t AtOtherStation(const std::string& folder, const std::string& sql)
{
    int answer[2];
    if (::pipe(answer) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(answer[0]);
        std::int64_t rows = -1;
        EDSHANDLE connection = 0, statement = 0, cursor = 0;
        UNSIGNED32 count = 0;
        if (EdsConnect(reinterpret_cast<const UNSIGNED8*>(folder.c_str()), &connection) == EDS_SUCCESS &&
            EdsCreateSQLStatement(connection, &statement) == EDS_SUCCESS &&
            EdsExecuteSQLDirect(statement, reinterpret_cast<const UNSIGNED8*>(sql.c_str()), &cursor) == EDS_SUCCESS &&
            EdsGetRecordCount(statement, EDS_IGNOREFILTERS, &count) == EDS_SUCCESS)
            rows = count;
        const bool told = ::write(answer[1], &rows, sizeof rows) == static_cast<ssize_t>(sizeof rows);
        ::_exit(told ? 0 : 1);
    }
    ::close(answer[1]);
    std::int64_t rows = -1;
    if (::read(answer[0], &rows, sizeof rows) != static_cast<ssize_t>(sizeof rows)) rows = -1;
    ::close(answer[0]);
    ::waitpid(pid, nullptr, 0);
    return rows;
}

const char* const kChangedElsewhere =
    "The mailer was changed at another station; nothing was saved. Open it again to see its values.";
const char* const kAddressChangedElsewhere =
    "The address was changed at another station; nothing was saved. Open it again to see its values.";

class TwoStations : public e2e::MainWindowTest {
protected:
    std::filesystem::path LogFile() const { return folder.home / "Log" / "Log37.edt"; }
    std::vector<std::string> Log(const std::string& columns = "LID, Postage, Certified, Return, Restricted, "
                                                              "Total, WishRest, Comment, Result") const
    {
        return e2e::SqlRows(LogFile(), "select " + columns + " from Log37 order by LID");
    }
    std::int64_t Elsewhere(const std::string& sql) const { return AtOtherStation(gLogDB, sql); }

    // Appends a log row with the fields given (Result "None" unless given); answers its LID.
    std::string AddRow(int minute, const std::map<std::string, std::string>& fields) const
    {
        TEdsTable& log = *module->Module().edstLog;
        log.Close();
        log.SetDatabaseName(gLogDB);
        log.Open();
        log.Append();
        log.FieldByName("DateTime")->SetAsDateTime(rtl::EncodeDate(2026, 3, 2) + minute / 1440.0);
        log.FieldByName("Result")->SetAsString("None");
        log.FieldByName("WishRest")->SetAsBoolean(false);
        log.FieldByName("Batch")->SetAsBoolean(false);
        for (const auto& [name, value] : fields) log.FieldByName(name)->SetAsString(value);
        log.Post();
        const std::string lid = log.FieldByName("LID")->AsString();
        log.Close();
        return lid;
    }

    static QTableView& Grid(TF_Log& log) { return *Find<QTableView>(log, "gridLog"); }
    static void GoToRow(TF_Log& log, int row) { Grid(log).setCurrentIndex(Grid(log).model()->index(row, 0)); }
    // A fee typed and left, so the dialog formats it and moves the total.
    static void TypeFee(QWidget& dialog, const char* edit, const char* text)
    {
        auto* fee = Find<QLineEdit>(dialog, edit);
        fee->setText(text);
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(fee, &leave);
    }
    // Edit Mailer on the log window's current row: `edit` changes the dialog,
    // `meanwhile` is what the other station does before OK.
    static void EditMailer(TF_Log& log, std::function<void(QWidget&)> edit, std::function<void()> meanwhile = {})
    {
        WhenDialog("Edit Mailer", [edit = std::move(edit), meanwhile = std::move(meanwhile)](QWidget& dialog) {
            edit(dialog);
            if (meanwhile) meanwhile();
            Find<QPushButton>(dialog, "btnOK")->click();
        });
        Find<QPushButton>(log, "btnEditMailer")->click();
    }
    std::vector<std::string> Warnings() const
    {
        std::vector<std::string> out;
        for (const ui::MessageRequest* r : Shown(ui::MsgKind::Warning)) out.push_back(r->text);
        for (const ui::MessageRequest* r : Shown(ui::MsgKind::Error)) out.push_back("error: " + r->text);
        return out;
    }
};

}  // namespace

TEST_F(TwoStations, AnEditWritesOnlyWhatTheUserChangedAndAConflictIsToldWithNothingSaved)
{
    // Two addresses in the address book and two sender addresses, as another station stored them.
    const std::string addresses = (folder.home / "Addresses").string();
    std::filesystem::create_directories(addresses);
    {
        TInstalledDataModule tables(folder.home.str());
        for (const char* table : {"Address", "Groups", "Members", "YourAddress"})
            tables.Module().EnsureTable(addresses, table);
    }
    for (const char* table : {"Address", "YourAddress"})
        for (const char* name : {"Jane Roe", "John Doe"})
            EXPECT_EQ(AtOtherStation(addresses, std::string("insert into ") + table +
                                                    " (Address1, City, State, Zip) values ('" + name +
                                                    "', 'Dayton', 'OH', '45402')"),
                      1);
    StartWithAddressBook();
    const std::map<std::string, std::string> fees{
        {"Postage", "0.50"}, {"Certified", "3.00"}, {"Return", "2.50"}, {"Total", "6.00"}};
    for (int serial = 43; serial <= 46; ++serial) AddRow(serial, fees);
    AddRow(47, {{"Comment", "blank fees"}});  // fees never given are NULL
    AddRow(48, {});
    // Another program's blanks are empty texts rather than NULL.
    EXPECT_EQ(Elsewhere("update Log37 set Certified = '', Comment = '' where LID = 5"), 1);
    TF_Log log(module->Module());

    // Serial 43: A changes postage and comment while B records 43 to 45 as received.
    GoToRow(log, 0);
    EditMailer(
        log,
        [](QWidget& dialog) {
            TypeFee(dialog, "editPostage", "0.55");
            Find<QLineEdit>(dialog, "editComment")->setText("late");
        },
        [this] { EXPECT_EQ(Elsewhere("update Log37 set Result = 'Received - Signed' where LID <= 3"), 3); });
    EXPECT_EQ(Warnings(), std::vector<std::string>{});
    EXPECT_EQ(Log().at(0), "1|0.55|3.00|2.50||6.05|0|late|Received - Signed") << "B's receipt stays";
    EXPECT_EQ(Log().at(1), "2|0.50|3.00|2.50||6.00|0||Received - Signed");

    // Serial 46: A changes a fee while B changed another: nothing is saved, A is told.
    GoToRow(log, 3);
    EditMailer(
        log, [](QWidget& dialog) { TypeFee(dialog, "editCertFee", "3.50"); },
        [this] { EXPECT_EQ(Elsewhere("update Log37 set Postage = '0.60', Total = '6.10' where LID = 4"), 1); });
    EXPECT_EQ(Warnings(), std::vector<std::string>{kChangedElsewhere});
    EXPECT_EQ(Log().at(3), "4|0.60|3.00|2.50||6.10|0||None") << "B's postage is not put back";
    // A comment beside B's fee change is no conflict; the fees stay B's.
    messages.Clear();
    EditMailer(
        log, [](QWidget& dialog) { Find<QLineEdit>(dialog, "editComment")->setText("checked"); },
        [this] { EXPECT_EQ(Elsewhere("update Log37 set Return = '2.70', Total = '6.30' where LID = 4"), 1); });
    EXPECT_EQ(Warnings(), std::vector<std::string>{});
    EXPECT_EQ(Log().at(3), "4|0.60|3.00|2.70||6.30|0|checked|None");

    // The same result changed by both is a conflict too.
    GoToRow(log, 2);
    EditMailer(
        log, [](QWidget& dialog) { Find<QComboBox>(dialog, "cbResult")->setCurrentText("Received - Not Signed"); },
        [this] { EXPECT_EQ(Elsewhere("update Log37 set Result = 'None' where LID = 3"), 1); });
    EXPECT_EQ(Warnings(), std::vector<std::string>{kChangedElsewhere});
    EXPECT_EQ(Log().at(2), "3|0.50|3.00|2.50||6.00|0||None");

    // A stale log window: B records serial 48 after A's window read it and
    // before A opens the editor, which shows what the window read.
    messages.Clear();
    GoToRow(log, 5);
    EXPECT_EQ(Elsewhere("update Log37 set Result = 'Received - Not Signed', Comment = 'B' where LID = 6"), 1);
    std::string shown;
    EditMailer(log, [&shown](QWidget& dialog) {
        shown = Find<QComboBox>(dialog, "cbResult")->currentText().toStdString();
        TypeFee(dialog, "editPostage", "0.39");
    });
    EXPECT_EQ(shown, "None") << "the window read the row before B wrote";
    EXPECT_EQ(Log().at(5), "6|0.39||||0.39|0|B|Received - Not Signed");
    EXPECT_EQ(Elsewhere("update Log37 set Comment = 'B again' where LID = 6"), 1);
    EditMailer(log, [](QWidget& dialog) { Find<QLineEdit>(dialog, "editComment")->setText("A"); });
    EXPECT_EQ(Warnings(), std::vector<std::string>{kChangedElsewhere});
    EXPECT_EQ(Log().at(5), "6|0.39||||0.39|0|B again|Received - Not Signed");

    // Blank fees, NULL or empty: an edit of such a row is no conflict, and
    // the total is the fees typed.
    messages.Clear();
    GoToRow(log, 4);
    EditMailer(log, [](QWidget& dialog) {
        TypeFee(dialog, "editPostage", "0.55");
        TypeFee(dialog, "editCertFee", "3.00");
        Find<QLineEdit>(dialog, "editComment")->setText("fees added");
    });
    EXPECT_EQ(Warnings(), std::vector<std::string>{});
    EXPECT_EQ(Log().at(4), "5|0.55|3.00|||3.55|0|fees added|None");

    // The address book and the sender addresses follow the same rule.
    const auto stored = [this](const std::string& table) {
        return e2e::SqlRows(folder.home / "Addresses" / (table + ".edt"),
                            "select A_ID, Address1, Address2, City, State, Zip from " + table + " order by A_ID");
    };
    const auto editIn = [&addresses](const QString& lines, const QString& city, const std::string& meanwhile) {
        addrtest::WhenModal([=](QWidget& dialog) {
            Find<QPlainTextEdit>(dialog, "memoAddress")->setPlainText(lines);
            Find<QLineEdit>(dialog, "editCity")->setText(city);
            EXPECT_EQ(AtOtherStation(addresses, meanwhile), 1);
            Find<QPushButton>(dialog, "btnOK")->click();
        });
    };
    auto& list = *Child<QTreeWidget>("lvAddress");
    ASSERT_EQ(list.topLevelItemCount(), 2);
    messages.Clear();
    for (int row : {0, 1}) {
        list.clearSelection();
        list.topLevelItem(row)->setSelected(true);
        if (row == 0)
            editIn("Jane Roe\nSuite 5", "Dayton", "update Address set Zip = '45403' where A_ID = 1");
        else
            editIn("John Doe", "Xenia", "update Address set City = 'Kettering' where A_ID = 2");
        Child<QToolButton>("tbtnEditAddress")->click();
    }
    EXPECT_EQ(stored("Address"), (std::vector<std::string>{"1|Jane Roe|Suite 5|Dayton|OH|45403",
                                                           "2|John Doe||Kettering|OH|45402"}));
    EXPECT_EQ(Warnings(), std::vector<std::string>{kAddressChangedElsewhere});
    ASSERT_EQ(list.topLevelItemCount(), 2);

    messages.Clear();
    TF_YourAddress senders;
    auto& senderList = *Find<QListWidget>(senders, "lvYourAddress");
    ASSERT_EQ(senderList.count(), 2);
    for (int row : {0, 1}) {
        senderList.clearSelection();
        senderList.item(row)->setSelected(true);
        if (row == 0)
            editIn("Jane Roe\nRoom 1", "Dayton", "update YourAddress set State = 'KY' where A_ID = 1");
        else
            editIn("John Doe\nRoom 2", "Dayton", "delete from YourAddress where A_ID = 2");
        senders.EditClick();
    }
    EXPECT_EQ(stored("YourAddress"), std::vector<std::string>{"1|Jane Roe|Room 1|Dayton|KY|45402"});
    EXPECT_EQ(Warnings(),
              std::vector<std::string>{"The address was deleted at another station; the change was not saved."});
    EXPECT_EQ(senderList.count(), 1) << "the list shows the table as it is now";
}

TEST_F(TwoStations, AMailerDeletedOrRecordedElsewhereIsToldAndWhatTheOtherStationStoredStays)
{
    Start();
    const char* const numbers[] = {"9214 7123 4567 8900 0000 15", "9214 7123 4567 8900 0000 22",
                                   "9214 7123 4567 8900 0000 39", "9214 7123 4567 8900 0000 46"};
    for (int i = 0; i < 4; ++i) AddRow(i + 1, {{"MailerNum", numbers[i]}, {"ToAddress1", "To " + std::to_string(i)}});
    AddRow(5, {{"MailerNum", "9214 7123 4567 8900 0000 53"}});
    AddRow(6, {{"MailerNum", "9214 7123 4567 8900 0000 60"}});
    TF_Log log(module->Module());
    const std::vector<std::string> before = Log("LID, Comment, Result");

    // Serial 48's editor is open with a typed comment when B deletes the row.
    GoToRow(log, 4);
    EditMailer(
        log, [](QWidget& dialog) { Find<QLineEdit>(dialog, "editComment")->setText("typed"); },
        [this] { EXPECT_EQ(Elsewhere("delete from Log37 where LID = 5"), 1); });
    EXPECT_EQ(Warnings(),
              std::vector<std::string>{"The mailer was deleted at another station; the change was not saved."});
    EXPECT_EQ(Grid(log).model()->rowCount(), 5) << "the log shows the row gone";
    EXPECT_EQ(Log("LID, Comment, Result"),
              (std::vector<std::string>{before[0], before[1], before[2], before[3], before[5]}));

    // Deleting a row already gone stays as quiet as before.
    messages.Clear();
    GoToRow(log, 4);
    EXPECT_EQ(Elsewhere("delete from Log37 where LID = 6"), 1);
    messages.Answer(ui::mrYes);
    Find<QPushButton>(log, "btnDeleteRecord")->click();
    EXPECT_EQ(Warnings(), std::vector<std::string>{});
    EXPECT_EQ(messages.Last().text, "Record deleted.");

    // Receipts: A lists four mailers and picks "None" for the third; B
    // deletes the first and records the second and third before A's OK.
    messages.Clear();
    bool closedWithOk = false;
    WhenDialog("Incoming Mailers", [&](QWidget& dialog) {
        auto& field = *Find<QLineEdit>(dialog, "maskeditMailerNum");
        for (const char* number : numbers) {
            QTest::keyClicks(&field, number);
            QTest::keyClick(&field, Qt::Key_Return);
        }
        auto& grid = *Find<QTableWidget>(dialog, "sgMailers");
        ASSERT_EQ(grid.rowCount(), 4);
        grid.setCurrentCell(2, 2);
        auto& result = *Find<QComboBox>(dialog, "cbResult");
        result.setCurrentIndex(result.findText("None"));
        emit result.activated(result.currentIndex());
        EXPECT_EQ(Elsewhere("delete from Log37 where LID = 1"), 1);
        EXPECT_EQ(Elsewhere("update Log37 set Result = 'Received - Not Signed' where LID = 2"), 1);
        EXPECT_EQ(Elsewhere("update Log37 set Result = 'Received - Signed' where LID = 3"), 1);
        Find<QPushButton>(dialog, "btnOK")->click();
        closedWithOk = static_cast<QDialog&>(dialog).result() == ui::mrOk;
    });
    Find<QPushButton>(log, "Button1")->click();
    EXPECT_TRUE(closedWithOk);
    std::string told;
    for (int i = 0; i < 3; ++i)
        told += (i ? "\r" : "") + std::string("Mailer # \"") + numbers[i] +
                "\" was not recorded: deleted, or already recorded at another station; its result is kept.";
    EXPECT_EQ(Warnings(), std::vector<std::string>{told});
    EXPECT_EQ(Log("LID, Result"),
              (std::vector<std::string>{"2|Received - Not Signed", "3|Received - Signed", "4|Received - Signed"}));
    EXPECT_EQ(Grid(log).model()->rowCount(), 3) << "the log refreshed after OK";
}

TEST_F(TwoStations, AMissingTableOnASharedFolderIsNamedThereWithWhatHelps)
{
    // The address book points at a shared folder that holds no address book.
    testsupport::TempDir share;
    testsupport::WriteFile(folder.home / "sendo4.ini",
                           "[System Path]\nDatabaseON=1\nAddressDB=" + share.str() + "\n");
    module = std::make_unique<TInstalledDataModule>(folder.home.str());
    window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
    {
        const maintest::DialogDismisser dismiss;
        window->show();
        while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const std::vector<const ui::MessageRequest*> errors = Shown(ui::MsgKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]->text, "The address book in " + share.str() + " could not be opened.\r\rA table in the folder " +
                                   share.str() + " is missing or damaged. " + kAddressBookAdvice);

    // A log folder on a share that holds no log: start-up makes one there,
    // so starting again is what helps.
    testsupport::TempDir logShare;
    gLogDB = logShare.str();
    messages.Clear();
    { TF_Log log(module->Module()); }
    ASSERT_EQ(Shown(ui::MsgKind::Error).size(), 1u);
    EXPECT_EQ(Shown(ui::MsgKind::Error)[0]->text,
              "The log could not be opened.\r\rA table in the folder " + logShare.str() +
                  " is missing or damaged. Close the program and start it again: missing tables are made at start-up.");

    // A table that start-up does not make promises nothing.
    try {
        TdmMainData(module->Module()).LookupZip(share.str(), "62701");
        FAIL() << "a lookup without its table must fail";
    } catch (const std::exception& e) {
        EXPECT_EQ(FailureAdvice(e), "A table in the folder " + share.str() + " is missing or damaged.");
    }
}
