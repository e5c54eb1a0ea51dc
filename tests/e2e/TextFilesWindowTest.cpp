// Text files through the real main window offscreen, over real tables in a
// program folder of the test's own: an address file shown in the tick grid
// and the ticked rows added, the address book and the log exported (and
// appended to), read back with the sqlite3 CLI and byte by byte.

#include "tests/app/addresses/AddressDialogsTestSupport.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/e2e/E2EWindow.h"

#include "app/addresses/U_TextFiles.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/dialogs/U_FileDialogs.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using addrtest::WhenModal;
using e2e::SqlRows;

class TextFiles : public e2e::MainWindowTest {
protected:
    void SetUp() override { REQUIRE_E2E_TOOLS(); }

    // Runs a menu command whose file dialog answers `file`; returns what the
    // dialog was asked.
    TOpenDialog Run(const char* command, const std::string& file)
    {
        TOpenDialog asked;
        const ScopedOpenDialogHandler answer([&](TOpenDialog& dialog) {
            asked = dialog;
            dialog.FileName = file;
            return true;
        });
        Child<QAction>(command)->trigger();
        return asked;
    }

    std::vector<std::string> Addresses() const
    {
        return SqlRows(folder.home / "Addresses" / "Address.edt",
                       "select Address1, Address2, Address3, Address4, City, State, Zip from Address order by A_ID");
    }

    std::string Informations() const
    {
        std::string text;
        for (const ui::MessageRequest* shown : Shown(ui::MsgKind::Information)) text += shown->text + "\n";
        return text;
    }

    // A mouse click on the tick cell of data row `row` (0-based) of the grid.
    static void ClickTick(QTableView& grid, int row)
    {
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid.visualRect(grid.model()->index(row, 0)).center());
    }
};

TEST_F(TextFiles, ImportShowsTheFileInTheGridAndAddsExactlyTheTickedRows)
{
    StartWithAddressBook();
    const auto file = folder.home / "people.csv";
    // In Windows-1252: a quoted comma, a doubled quote, a tab before a field,
    // a line longer than its column, missing trailing fields and an "é".
    testsupport::WriteFile(file, "\"Bud, Smith Co\",\"1 \"\"Main\"\" St\",,,Springfield,IL,62701\r\n"
                                 "\tAcme Corp,  2 Elm St,,,Dayton,OH,45402\r\n" +
                                     std::string(60, 'L') + "\r\n"
                                     "Jos\xE9 Garc\xED" "a,Oak Rd\r\n");
    std::vector<std::vector<std::string>> cells;
    std::vector<std::string> headerMarks;
    WhenModal([&](QWidget& dialog) {
        auto& grid = *qobject_cast<TF_TextFiles*>(&dialog);
        auto& view = *addrtest::Find<QTableView>(dialog, "sgAddress");
        EXPECT_EQ(grid.windowTitle().toStdString(), "Text File");
        EXPECT_EQ(addrtest::Find<QLabel>(dialog, "Label1")->text().toStdString(),
                  "Select the Addresses you want to add to the database.");
        EXPECT_EQ(view.horizontalHeader()->count(), 8);
        EXPECT_EQ(view.columnWidth(1), 120);
        EXPECT_EQ(view.columnWidth(6), 40);
        for (int row = 0; row <= grid.RowCount(); ++row) {
            cells.emplace_back();
            for (int col = 0; col < 8; ++col) cells.back().push_back(grid.Cell(col, row));
        }
        ClickTick(view, 1);  // Acme: not wanted
        headerMarks.push_back(grid.Cell(0, 0));
        ClickTick(view, 1);
        headerMarks.push_back(grid.Cell(0, 0));
        view.setCurrentIndex(view.model()->index(1, 3));
        QTest::keyClick(&view, Qt::Key_Space);
        headerMarks.push_back(grid.Cell(0, 0));
        headerMarks.push_back(grid.Cell(0, 2));
        addrtest::Find<QPushButton>(dialog, "btnAddtoDB")->click();
    });
    const TOpenDialog asked = Run("miToImport", file.string());
    EXPECT_EQ(asked.Filter, "Import Files(*.txt;*.csv)|*.txt;*.csv|All Files|*.*");
    EXPECT_EQ(asked.FileName, "*.txt");

    const std::string l50(50, 'L');
    const std::vector<std::vector<std::string>> expected = {
        {" ", "Address 1", "Address 2", "Address 3", "Address 4", "City", "State", "Zip"},
        {" ", "Bud, Smith Co", "1 \"Main\" St", "", "", "Springfield", "IL", "62701"},
        {" ", "Acme Corp", "2 Elm St", "", "", "Dayton", "OH", "45402"},
        {" ", l50, "", "", "", "", "", ""},
        {" ", "José García", "Oak Rd", "", "", "", "", ""}};
    EXPECT_EQ(cells, expected);
    EXPECT_EQ(headerMarks, (std::vector<std::string>{"", " ", "", ""}));

    EXPECT_EQ(Informations(), "3 addresses have been added to the database.\n");
    EXPECT_EQ(Addresses(), (std::vector<std::string>{"Bud, Smith Co|1 \"Main\" St|||Springfield|IL|62701",
                                                     l50 + "||||||", "José García|Oak Rd|||||"}));
    // The last address listed is the recipient.
    EXPECT_EQ(gToAddress1, "José García");
    const auto selected = Child<QTreeWidget>("lvAddress")->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front()->text(0).toStdString(), "José García");

    // Cancelling the grid adds nothing.
    WhenModal([](QWidget& dialog) { qobject_cast<QDialog*>(&dialog)->reject(); });
    Run("miToImport", file.string());
    EXPECT_EQ(Addresses().size(), 3u);
}

TEST_F(TextFiles, AddressExportAppendsToTheFileWithTxtAdded)
{
    StartWithAddressBook();
    SqlRows(folder.home / "Addresses" / "Address.edt",
            "insert into Address (Address1, Address2, City, State, Zip) values "
            "('Bud, \"The\" Smith', '1 Main St', 'Springfield', 'IL', '62701'), ('Zoë', '', 'Köln', '', '50667')");
    const std::string chosen = (folder.home / "x").string();
    const TOpenDialog asked = Run("miToExport", chosen);
    EXPECT_EQ(asked.Filter, "Text Files|*.txt");
    EXPECT_TRUE(asked.Save);
    Run("miToExport", chosen);
    const std::string once = "\"Bud, \"\"The\"\" Smith\",1 Main St,,,Springfield,IL,62701\r\nZo\xEB,,,,K\xF6ln,,50667\r\n";
    EXPECT_EQ(testsupport::ReadFile(chosen + ".txt"), once + once);
    EXPECT_FALSE(std::filesystem::exists(chosen));
    const std::string done = "Export completed fo file \"" + chosen + ".txt\".\n";
    EXPECT_EQ(Informations(), done + done);
}

TEST_F(TextFiles, LogExportWritesEveryColumnOfEveryRowAndAppends)
{
    Start();
    Print();
    Print();
    ASSERT_EQ(folder.LogCount(), 2);
    messages.Clear();

    const std::string file = (folder.home / "log.txt").string();
    Run("miLogExport", file);
    const std::string first = testsupport::ReadFile(file);
    Run("miLogExport", file);
    const std::string both = testsupport::ReadFile(file);
    ASSERT_EQ(both, first + first);

    // CR LF ends every line, and nothing else holds a line break.
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < both.size();) {
        const std::size_t end = both.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "a last line without CR LF";
        lines.push_back(both.substr(at, end - at));
        ASSERT_EQ(lines.back().find_first_of("\r\n"), std::string::npos);
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 124u);
    const std::vector<std::string> captions = {
        "Date and Time", "Mailer Number", "Customer ID", "Serial Number", "To Address Line 1",
        "To Address Line 2", "To Address Line 3", "To Address Line 4", "To Address City", "To Address State",
        "To Address Zip", "From Address Line 1", "From Address Line 2", "From Address Line 3", "From Address Line 4",
        "From Address City", "From Address State", "From Address Zip", "Postage Fee", "Certified Fee",
        "Return Receipt Fee", "Restricted Delivery", "Total Fee", "Department", "Processed By", "RE", "Comment",
        "Batch", "Result"};
    for (std::size_t row = 0; row < 4; ++row) {
        for (std::size_t i = 0; i < 29; ++i)
            EXPECT_EQ(lines[row * 31 + i].substr(0, captions[i].size() + 3), captions[i] + " = ") << row << " " << i;
        EXPECT_EQ(lines[row * 31 + 29], "");
        EXPECT_EQ(lines[row * 31 + 30], "");
    }
    EXPECT_EQ(lines[1], "Mailer Number = " + e2e::kNumber41);
    EXPECT_EQ(lines[31 + 1], "Mailer Number = " + e2e::kNumber42);
    EXPECT_EQ(lines[3], "Serial Number = 41");
    EXPECT_EQ(lines[4], "To Address Line 1 = Jane Roe");
    EXPECT_EQ(lines[23], "Department = Legal");
    EXPECT_EQ(lines[27], "Batch = False");
    EXPECT_EQ(lines[28], "Result = None");
    const std::string done = "Export completed fo file \"" + file + "\".\n";
    EXPECT_EQ(Informations(), done + done);
}

TEST_F(TextFiles, SenderAddressesComeFromAFileAndCanBeChosenAtOnce)
{
    Start();
    const auto file = folder.home / "senders.txt";
    testsupport::WriteFile(file, "Legal Dept,\"Acme, Inc.\",,,Dayton,OH,45402\r\nMail Room,,,,Kent,OH,44240\r\n");
    std::vector<std::string> listed;
    WhenModal([&](QWidget& grid) {
        // Only the second sender is wanted; the sender list opens after the grid.
        ClickTick(*addrtest::Find<QTableView>(grid, "sgAddress"), 0);
        WhenModal([&](QWidget& senders) {
            const auto* list = addrtest::Find<QListWidget>(senders, "lvYourAddress");
            for (int i = 0; i < list->count(); ++i) listed.push_back(list->item(i)->text().toStdString());
            qobject_cast<QDialog*>(&senders)->reject();
        });
        addrtest::Find<QPushButton>(grid, "btnAddtoDB")->click();
    });
    Run("miYourImport", file.string());
    EXPECT_EQ(Informations(), "1 addresses have been added to the database.\n");
    const auto table = std::filesystem::path(gYourAddressDB) / "YourAddress.edt";
    EXPECT_EQ(SqlRows(table, "select Address1, City, Zip from YourAddress where Address1 = 'Mail Room'"),
              (std::vector<std::string>{"Mail Room|Kent|44240"}));
    EXPECT_EQ(SqlRows(table, "select count(*) from YourAddress where Address1 = 'Legal Dept'"),
              (std::vector<std::string>{"0"}));
    EXPECT_NE(std::find_if(listed.begin(), listed.end(),
                           [](const std::string& item) { return item.find("Mail Room") != std::string::npos; }),
              listed.end());

    // Exported, the senders come back as the file's lines.
    messages.Clear();
    const std::string out = (folder.home / "senders out.txt").string();
    Run("miYourExport", out);
    const std::string text = testsupport::ReadFile(out);
    EXPECT_NE(text.find("Mail Room,,,,Kent,OH,44240\r\n"), std::string::npos) << text;
    EXPECT_EQ(Informations(), "Export completed fo file \"" + out + "\".\n");
}

TEST_F(TextFiles, DialogsStartInTheHomeFolderThenWhereTheLastFileWasChosen)
{
    StartWithAddressBook();
    const std::string home = QDir::homePath().toStdString();
    const auto first = folder.home / "first";
    const auto second = folder.home / "second";
    std::filesystem::create_directories(first);
    std::filesystem::create_directories(second);
    // The folder a command's dialog opened in, cancelled.
    const auto openedIn = [this](const char* command) {
        std::string start;
        const ScopedOpenDialogHandler cancel([&start](TOpenDialog& dialog) {
            start = dialog.InitialDir;
            return false;
        });
        Child<QAction>(command)->trigger();
        return start;
    };

    EXPECT_EQ(openedIn("miToImport"), home);
    EXPECT_EQ(openedIn("miLogExport"), home) << "a cancelled dialog chose no folder";
    EXPECT_EQ(Run("miToExport", (first / "book.txt").string()).InitialDir, home);
    EXPECT_EQ(openedIn("miYourExport"), first.string());
    EXPECT_EQ(Run("miLogExport", (second / "log.txt").string()).InitialDir, first.string());
    EXPECT_EQ(openedIn("miToImport"), second.string());
    EXPECT_EQ(openedIn("miYourImport"), second.string());

    // An older log's import opens in its own folder and moves nothing.
    messages.Answer(ui::mrYes);
    EXPECT_EQ(Run("miImportPro3", (first / "Log37.edt").string()).InitialDir, gAppPath);
    EXPECT_EQ(openedIn("miToExport"), second.string());

    // A folder gone since gives the home folder again.
    std::filesystem::remove_all(second);
    EXPECT_EQ(openedIn("miToExport"), home);
}

}  // namespace
