// Data folders that turn unusable under the running program, driven through
// the real main window offscreen: a folder that cannot be written (made so
// for real, also for root) and a log that cannot be opened. The user must be
// told which folder it is and why, and never be shown a log that looks
// emptied.

#include "tests/app/addresses/AddressDialogsTestSupport.h"
#include "tests/app/log/LogTestSupport.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/e2e/E2EWindow.h"
#include "tests/support/UnwritableFolder.h"

#include "app/dialogs/U_FileDialogs.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using maintest::Find;

class DataFolderStates : public e2e::MainWindowTest {
protected:
    void SetUp() override { REQUIRE_E2E_TOOLS(); }

    std::vector<std::string> Errors() const
    {
        std::vector<std::string> out;
        for (const ui::MessageRequest* r : Shown(ui::MsgKind::Error)) out.push_back(r->text);
        return out;
    }
};

// What a clerk meets when the data folder turns read-only under the running
// program (a share remounted read-only): each command that writes names the
// folder that cannot be written, as start-up does, and the log window still
// shows what the log holds.
TEST_F(DataFolderStates, ReadOnlyFolderIsNamedByPrintAndNewAddressAndTheLogStillShows)
{
    StartWithAddressBook();
    folder.SetNumbering("123456789", "0000041", true, true);
    addrtest::WhenModal([](QWidget& dialog) {
        Find<QPlainTextEdit>(dialog, "memoAddress")->setPlainText("Jane Roe\n12 Elm Street");
        Find<QLineEdit>(dialog, "editCity")->setText("Springfield");
        Find<QPushButton>(dialog, "btnOK")->click();
    });
    Child<QToolButton>("tbtnNewAddress")->click();
    ASSERT_TRUE(Child<QPushButton>("btnPrint")->isEnabled());
    Print();
    ASSERT_EQ(folder.LogCount(), 1);
    messages.Clear();

    const testsupport::UnwritableFolder readOnly(folder.home.path());
    const auto cannotBeWritten = [](const std::filesystem::path& where) {
        return "The data folder " + where.string() +
               " cannot be written: it is read-only, or your user has no permission to write to it.";
    };

    Print();
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].rfind("The mailer could not be printed.", 0), 0u) << Errors()[0];
    EXPECT_NE(Errors()[0].find(cannotBeWritten(folder.home.path())), std::string::npos) << Errors()[0];
    EXPECT_EQ(Errors()[0].find("disk"), std::string::npos) << Errors()[0];
    EXPECT_FALSE(messages.Last().details.empty()) << "the system's words under details";

    messages.Clear();
    addrtest::WhenModal([](QWidget& dialog) {
        Find<QPlainTextEdit>(dialog, "memoAddress")->setPlainText("John Doe");
        Find<QPushButton>(dialog, "btnOK")->click();
    });
    Child<QToolButton>("tbtnNewAddress")->click();
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find(cannotBeWritten(folder.home / "Addresses")), std::string::npos) << Errors()[0];

    messages.Clear();
    int rows = -1;
    logtest::WhenDialog("Log File", [&rows](QWidget& log) {
        rows = Find<QTableView>(log, "gridLog")->model()->rowCount();
        Find<QPushButton>(log, "btnClose")->click();
    });
    Child<QAction>("miLogFile")->trigger();
    EXPECT_EQ(rows, 1);
    EXPECT_TRUE(Errors().empty()) << Errors()[0];
    EXPECT_EQ(folder.LogCount(), 1);
    EXPECT_EQ(folder.Serial(), "0000042");
}

// A log folder chosen in the open log window whose log cannot be opened
// leaves the log shown before in place, rows, filters and all, and in use:
// the next mailer is logged there.
TEST_F(DataFolderStates, LogFolderChangeThatFailsKeepsTheLogShownBefore)
{
    Start();
    Print();
    Print();
    e2e::SqlRows(folder.home / "Log" / "LogFilters.edt",
                 "insert into LogFilters (FilterName, FilterCombination) values ('Legal', 'AND')");
    const std::string shownLog = gLogDB;
    const std::filesystem::path other = folder.home / "Other";
    std::filesystem::create_directories(other);
    testsupport::WriteFile(other / "Log37.edt", "not a table");
    const ScopedOpenDialogHandler choose([&other](TOpenDialog& dialog) {
        dialog.FileName = (other / "Log37.edt").string();
        return true;
    });
    messages.Clear();

    int rowsAfter = -1, filtersAfter = -1;
    std::string labelBefore, labelAfter;
    bool recordCommandsAfter = false;
    logtest::WhenDialog("Log File", [&](QWidget& log) {
        labelBefore = Find<QLabel>(log, "labelLogDBName")->text().toStdString();
        logtest::WhenDialog("Network Settings", [](QWidget& settings) {
            Find<QPushButton>(settings, "btnChangeLogDB")->click();
            Find<QPushButton>(settings, "btnOK")->click();
        });
        Find<QPushButton>(log, "btnChangeLogDB")->click();
        rowsAfter = Find<QTableView>(log, "gridLog")->model()->rowCount();
        filtersAfter = Find<QListWidget>(log, "lvFilters")->count();
        labelAfter = Find<QLabel>(log, "labelLogDBName")->text().toStdString();
        recordCommandsAfter = Find<QPushButton>(log, "btnDeleteRecord")->isEnabled();
        Find<QPushButton>(log, "btnClose")->click();
    });
    Child<QAction>("miLogFile")->trigger();

    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].rfind("The log in " + other.string() + " could not be opened, so the log in " + shownLog +
                                    " stays in use.",
                                0),
              0u)
        << Errors()[0];
    EXPECT_EQ(rowsAfter, 2);
    EXPECT_EQ(filtersAfter, 1);
    EXPECT_TRUE(recordCommandsAfter);
    EXPECT_EQ(labelAfter, labelBefore);
    EXPECT_EQ(gLogDB, shownLog);

    Print();
    EXPECT_EQ(folder.LogCount(), 3);
}

}  // namespace
