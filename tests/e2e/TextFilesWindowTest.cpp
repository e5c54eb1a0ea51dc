// Text files through the real main window offscreen, over real tables in a
// program folder of the test's own: an address file shown in the tick grid
// and the ticked rows added (files that cannot be stored as they are among
// them), the address book and the log exported (and appended to), read
// back with the sqlite3 CLI and byte by byte.

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
#include <QTimer>
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

    std::vector<std::string> Texts(ui::MsgKind kind) const
    {
        std::vector<std::string> texts;
        for (const ui::MessageRequest* shown : Shown(kind)) texts.push_back(shown->text);
        return texts;
    }

    // Every row of the address book and of the log, whole.
    std::vector<std::string> BookRows() const
    {
        return SqlRows(folder.home / "Addresses" / "Address.edt", "select * from Address order by A_ID");
    }
    std::vector<std::string> LogRows() const { return SqlRows(folder.Log(), "select * from Log37 order by LID"); }

    // The address book holding one address and the log one mailer, so that
    // an import has something to leave alone.
    void StartWithBookAndLog()
    {
        StartWithAddressBook();
        SqlRows(folder.home / "Addresses" / "Address.edt",
                "insert into Address (Address1, City, State, Zip) values ('Kept Before', 'Dayton', 'OH', '45402')");
        SqlRows(folder.Log(), "insert into Log37 (DateTime, MailerNum, ToAddress1, Result, Batch) "
                              "values ('2026-03-02 10:00:00', '9214 7123 4567 8900 0000 15', 'Ann Able', 'None', 0)");
    }

    // The grid's data rows as "[x]" (ticked) or "[ ]", then the seven fields.
    static std::vector<std::string> GridRows(const TF_TextFiles& grid)
    {
        std::vector<std::string> rows;
        for (int row = 1; row <= grid.RowCount(); ++row) {
            std::string line = grid.Cell(0, row) == " " ? "[x]" : "[ ]";
            for (int col = 1; col < 8; ++col) line += "|" + grid.Cell(col, row);
            rows.push_back(line);
        }
        return rows;
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
    EXPECT_TRUE(Shown(ui::MsgKind::Warning).empty()) << "every line is stored as the file holds it";
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

// A file marked as UTF-8 is read line by line: the mark is no part of the
// first name, a line with bytes that are not UTF-8 keeps its good letters
// and shows each bad byte as "?", and the other lines read right. Whatever
// the address book cannot hold shows as the "?" it would be stored as; those
// rows wait unticked, and a notice names their lines before the grid opens.
// A row the user ticks anyway is stored exactly as shown; nothing else
// changes in the address book or the log.
TEST_F(TextFiles, MarkedUtf8FileShowsWhatWillBeStoredAndLeavesAlteredRowsUnticked)
{
    StartWithBookAndLog();
    const std::vector<std::string> bookBefore = BookRows(), logBefore = LogRows();
    const auto file = folder.home / "utf8.csv";
    testsupport::WriteFile(file, "\xEF\xBB\xBF" "José García,Oak Rd,,,Köln,,50667\r\n"
                                 "Bad \xC3( line,\xFF" "Elm St\r\n"
                                 "Łukasz Żółw,Łódź\n"
                                 "東京商事,Tokyo\r"
                                 "Zoë Ünal,Straße 1\r\n");
    std::vector<std::string> rows, noticesAtGrid;
    WhenModal([&](QWidget& dialog) {
        auto& grid = *qobject_cast<TF_TextFiles*>(&dialog);
        noticesAtGrid = Texts(ui::MsgKind::Warning);
        rows = GridRows(grid);
        ClickTick(*addrtest::Find<QTableView>(dialog, "sgAddress"), 3);  // the Tokyo row, "?" and all
        addrtest::Find<QPushButton>(dialog, "btnAddtoDB")->click();
    });
    Run("miToImport", file.string());

    EXPECT_EQ(rows, (std::vector<std::string>{"[x]|José García|Oak Rd|||Köln||50667",
                                              "[ ]|Bad ?( line|?Elm St|||||",
                                              "[ ]|?ukasz ?ó?w|?ód?|||||",
                                              "[ ]|????|Tokyo|||||",
                                              "[x]|Zoë Ünal|Straße 1|||||"}));
    EXPECT_EQ(noticesAtGrid,
              (std::vector<std::string>{
                  "The addresses on lines 2, 3 and 4 cannot be stored as the file holds them: characters outside "
                  "the program's character set, bytes that are not UTF-8 text and control characters are shown as "
                  "\"?\", as they would be stored. Their rows are not ticked; tick them to add them as shown."}));
    EXPECT_EQ(Informations(), "3 addresses have been added to the database.\n");
    const std::vector<std::string> book = BookRows();
    ASSERT_EQ(book.size(), bookBefore.size() + 3);
    EXPECT_TRUE(std::equal(bookBefore.begin(), bookBefore.end(), book.begin()));
    EXPECT_EQ(Addresses(), (std::vector<std::string>{"Kept Before||||Dayton|OH|45402", "José García|Oak Rd|||Köln||50667",
                                                     "????|Tokyo|||||", "Zoë Ünal|Straße 1|||||"}));
    EXPECT_EQ(LogRows(), logBefore);
}

// A file holding NUL bytes is no text file: refused with nothing added and no
// grid. In a text file a control character other than the tab is never
// stored: inside a field it shows, and is stored, as "?" and its row waits
// unticked; at a field's ends it goes with the blanks, as it always did. A
// Windows-1252 byte the page leaves undefined counts as one. Tabs inside a
// field and empty lines stay as they were.
TEST_F(TextFiles, NulBytesRefuseTheFileAndControlCharactersAreNeverStored)
{
    StartWithBookAndLog();
    const std::vector<std::string> bookBefore = BookRows(), logBefore = LogRows();
    const auto binary = folder.home / "binary.txt";
    testsupport::WriteFile(binary, std::string("Ann,1 Main\r\n\x01\x02\0\0\x7F\xFFgarbage\r\n", 22));
    int grids = 0;
    {
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&grids] {
            if (auto* grid = qobject_cast<TF_TextFiles*>(QApplication::activeModalWidget())) {
                ++grids;
                grid->reject();
            }
        });
        watch.start(1);
        Run("miToImport", binary.string());
    }
    EXPECT_EQ(grids, 0);
    EXPECT_EQ(Texts(ui::MsgKind::Error),
              (std::vector<std::string>{"The addresses in \"" + binary.string() + "\" could not be read.\r\rThe file \"" +
                                        binary.string() + "\" is not a text file: it holds NUL bytes."}));
    EXPECT_EQ(BookRows(), bookBefore);

    messages.Clear();
    const auto controls = folder.home / "controls.txt";
    testsupport::WriteFile(controls, "Ann\x01" "Able,1 Main\tSt,,,Kent,OH,44240\r\n"
                                     "Del\x7F" "ta,\x1B" "Esc Rd\x1A\r\n"
                                     "Plain \x81 Co\r\n"
                                     "\r\n"
                                     "Bob,2\tElm\r\n");
    std::vector<std::string> rows;
    WhenModal([&](QWidget& dialog) {
        rows = GridRows(*qobject_cast<TF_TextFiles*>(&dialog));
        ClickTick(*addrtest::Find<QTableView>(dialog, "sgAddress"), 0);
        addrtest::Find<QPushButton>(dialog, "btnAddtoDB")->click();
    });
    Run("miToImport", controls.string());
    EXPECT_EQ(rows, (std::vector<std::string>{"[ ]|Ann?Able|1 Main\tSt|||Kent|OH|44240", "[ ]|Del?ta|Esc Rd|||||",
                                              "[ ]|Plain ? Co||||||", "[x]|||||||", "[x]|Bob|2\tElm|||||"}));
    const std::vector<std::string> notices = Texts(ui::MsgKind::Warning);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_TRUE(!notices.empty() && notices[0].starts_with("The addresses on lines 1, 2 and 3 cannot be stored"));
    EXPECT_EQ(Informations(), "3 addresses have been added to the database.\n");
    EXPECT_EQ(Addresses(), (std::vector<std::string>{"Kept Before||||Dayton|OH|45402", "Ann?Able|1 Main\tSt|||Kent|OH|44240",
                                                     "||||||", "Bob|2\tElm|||||"}));
    EXPECT_EQ(SqlRows(folder.home / "Addresses" / "Address.edt",
                      "select count(*) from Address where Address1 glob '*[' || char(1, 127, 129) || ']*'"),
              (std::vector<std::string>{"0"}));
    EXPECT_EQ(LogRows(), logBefore);
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
