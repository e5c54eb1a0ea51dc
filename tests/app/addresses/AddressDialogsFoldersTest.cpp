// The address-book folder dialog, the table folders dialog, the group action
// summary, and the small dialogs around them, over real tables in a program
// folder of the test's own.

#include "app/main/U_About.h"
#include "app/addresses/U_Database.h"
#include "app/addresses/U_GroupSummary.h"
#include "app/addresses/U_NetworkSettings.h"
#include "app/dialogs/U_SingleEdit.h"
#include "app/addresses/U_YourAddress.h"
#include "platform/rtl/Paths.h"
#include "tests/app/addresses/AddressDialogsTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

using addrtest::Find;
using addrtest::WhenModal;

namespace {

namespace fs = std::filesystem;

class DatabaseDialog : public addrtest::AddressDialogsFixture {
protected:
    DatabaseDialog() { fs::create_directories(home / "Books"); }

    // Adds an address book named `name` under the dialog's current folder.
    void Add(TF_Database& dialog, const std::string& name)
    {
        WhenModal([name](QWidget& edit) {
            EXPECT_EQ(edit.windowTitle(), "New Database");
            Find<QLineEdit>(edit, "TheEdit")->setText(QString::fromStdString(name));
            Find<QPushButton>(edit, "btnOK")->click();
        });
        dialog.AddClick();
    }
};

class NetworkSettingsDialog : public addrtest::AddressDialogsFixture {
protected:
    // Answers the next file dialog with `file`, and records what it was asked.
    void Choose(const std::string& file)
    {
        answer_.reset();  // scoped handlers nest: the old one goes first
        answer_ = std::make_unique<ScopedOpenDialogHandler>([this, file](TOpenDialog& dialog) {
            asked = dialog;
            dialog.FileName = file;
            return true;
        });
    }
    TOpenDialog asked;

private:
    std::unique_ptr<ScopedOpenDialogHandler> answer_;
};

bool Enabled(const QWidget& w, const char* name) { return Find<QWidget>(w, name)->isEnabled(); }

}  // namespace

// ---- address-book folder ---------------------------------------------------------------

TEST_F(DatabaseDialog, AddMakesTheThreeTablesInANewFolderAndOkChoosesIt)
{
    gAddressDB = (home / "Books").string();
    TF_Database dialog;
    EXPECT_EQ(dialog.Directory(), gAddressDB);
    EXPECT_TRUE(Enabled(dialog, "btnAdd"));
    EXPECT_FALSE(Enabled(dialog, "btnOK")) << "a folder without the tables is no address book";
    EXPECT_FALSE(Enabled(dialog, "btnDelete"));

    Add(dialog, "Customers");
    const fs::path folder = home / "Books" / "Customers";
    EXPECT_EQ(dialog.Directory(), folder.string());
    for (const char* file : {"Address.edt", "Groups.edt", "Members.edt"})
        EXPECT_TRUE(fs::exists(folder / file)) << file;
    EXPECT_FALSE(Enabled(dialog, "btnAdd"));
    EXPECT_TRUE(Enabled(dialog, "btnOK"));
    EXPECT_TRUE(Enabled(dialog, "btnDelete"));
    // The new tables take rows, and Groups carries its unique name index.
    const std::string sql = "insert into Groups (Parent_ID, Group_Name) values(-1, 'Clients')";
    TEdsQuery& query = *dm().edsqToAddress;
    query.Close();
    query.SetDatabaseName(folder.string());
    query.SetSQLText(sql);
    query.ExecSQL();
    EXPECT_ANY_THROW(query.ExecSQL());

    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gAddressDB, folder.string());
    EXPECT_EQ(messages.Count(), 0u);
}

TEST_F(DatabaseDialog, ANameThatLeavesTheFolderIsRefused)
{
    gAddressDB = (home / "Books").string();
    TF_Database dialog;
    for (const char* name : {"../Outside", "a/b", ".."}) {
        Add(dialog, name);
        EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error) << name;
        EXPECT_EQ(messages.Last().text, std::string("\"") + name + "\" is not a valid folder name.");
    }
    EXPECT_FALSE(fs::exists(home / "Outside"));
    EXPECT_FALSE(fs::exists(home / "Books" / "a"));
    EXPECT_EQ(dialog.Directory(), gAddressDB);
}

TEST_F(DatabaseDialog, DeleteRemovesTheTablesThenTheEmptyFolder)
{
    gAddressDB = (home / "Books").string();
    TF_Database dialog;
    Add(dialog, "Shared");
    dialog.SetDirectory(gAddressDB);
    Add(dialog, "Old");
    const fs::path old = home / "Books" / "Old";
    ASSERT_EQ(dialog.Directory(), old.string());

    messages.Answer(ui::mrNo);
    dialog.DeleteClick();
    EXPECT_EQ(messages.Last().text, "Are you sure you want to delete this database?");
    EXPECT_EQ(messages.Last().buttons, ui::MsgButtons::YesNoCancel);
    EXPECT_TRUE(fs::exists(old / "Address.edt"));

    messages.Answer(ui::mrYes);
    dialog.DeleteClick();
    EXPECT_FALSE(fs::exists(old)) << "an empty folder goes with its tables";
    EXPECT_EQ(dialog.Directory(), (home / "Books").string());

    // Other files keep the folder, without a word; the tables still go.
    const fs::path shared = home / "Books" / "Shared";
    ASSERT_TRUE(fs::exists(shared / "Address.edt"));
    testsupport::WriteFile(shared / "notes.txt", "keep me");
    dialog.SetDirectory(shared.string());
    messages.Clear();
    messages.Answer(ui::mrYes);
    dialog.DeleteClick();
    EXPECT_EQ(messages.Count(), 1u);
    EXPECT_TRUE(fs::exists(shared / "notes.txt"));
    for (const char* file : {"Address.edt", "Groups.edt", "Members.edt"}) EXPECT_FALSE(fs::exists(shared / file));
    EXPECT_EQ(dialog.Directory(), shared.string());
    EXPECT_TRUE(Enabled(dialog, "btnAdd"));

    // The same name can be made again at once: nothing of the old tables lingers.
    dialog.SetDirectory((home / "Books").string());
    Add(dialog, "Old");
    EXPECT_TRUE(TF_Database::IsAddressDatabase(old.string()));
}

TEST_F(DatabaseDialog, TheAddressBookInUseIsNeitherDeletedNorClosed)
{
    gAddressDB = (home / "Books").string();
    TF_Database dialog;
    Add(dialog, "InUse");
    Add(dialog, "Open");
    const fs::path inUse = home / "Books" / "InUse";
    const fs::path open = home / "Books" / "InUse" / "Open";

    // The chosen address book.
    gAddressDB = inUse.string() + "/";
    dialog.SetDirectory(inUse.string());
    messages.Clear();
    dialog.DeleteClick();
    ASSERT_EQ(messages.Count(), 1u) << "refused before any question";
    EXPECT_EQ(messages.Last().text, "This database is in use and cannot be deleted.");
    EXPECT_TRUE(fs::exists(inUse / "Address.edt"));

    // An address book whose table the program has open: it stays open.
    TEdsTable& table = *dm().edstToAddress;
    table.SetDatabaseName(open.string());
    table.SetTableName("Address");
    table.Open();
    dialog.SetDirectory(open.string());
    messages.Clear();
    dialog.DeleteClick();
    EXPECT_EQ(messages.Last().text, "This database is in use and cannot be deleted.");
    EXPECT_TRUE(table.Active());
    EXPECT_TRUE(fs::exists(open / "Members.edt"));
    table.Close();

    // Closed again, it can go.
    messages.Answer(ui::mrYes);
    dialog.DeleteClick();
    EXPECT_EQ(messages.Last().text, "Are you sure you want to delete this database?");
    EXPECT_FALSE(fs::exists(open / "Address.edt"));
}

TEST_F(DatabaseDialog, FolderListWalksUpAndDown)
{
    fs::create_directories(home / "Books" / "Alpha");
    fs::create_directories(home / "Books" / "Beta");
    gAddressDB = (home / "Books").string();
    TF_Database dialog;
    auto* list = Find<QListWidget>(dialog, "dirlbDB");
    QListWidgetItem* beta = nullptr;
    QListWidgetItem* parent = nullptr;
    for (int i = 0; i < list->count(); ++i) {
        const std::string target = list->item(i)->data(Qt::UserRole).toString().toStdString();
        if (target == (home / "Books" / "Beta").string()) beta = list->item(i);
        if (target == home.str()) parent = list->item(i);
    }
    ASSERT_NE(beta, nullptr);
    ASSERT_NE(parent, nullptr);
    emit list->itemActivated(beta);
    EXPECT_EQ(dialog.Directory(), (home / "Books" / "Beta").string());
    dialog.SetDirectory(home.str());
    EXPECT_EQ(dialog.Directory(), home.str());
}

// ---- table folders ----------------------------------------------------------------------

TEST_F(NetworkSettingsDialog, CreatingALogFolderMakesTheLogTablesThereAndOkMovesTheLog)
{
    const fs::path logs = home / "NewLogs";
    fs::create_directories(logs);
    const std::string oldLog = gLogDB;
    TF_NetworkSettings dialog;
    EXPECT_EQ(dialog.Shown(TF_NetworkSettings::TDb::Log), rtl::JoinPath(gLogDB, "Log37.edt"));
    EXPECT_EQ(Find<QLabel>(dialog, "lblYourAddressDB")->text().toStdString(),
              rtl::JoinPath(gYourAddressDB, "YourAddress.edt"));

    Choose((logs / "Log37.edt").string());
    Find<QPushButton>(dialog, "btnCreateLogDB")->click();
    EXPECT_EQ(asked.InitialDir, gAppPath);
    EXPECT_EQ(asked.FileName, "Log37.edt") << "the name is pre-set";
    EXPECT_EQ(asked.Filter, "Log DB|Log37.edt");
    for (const char* file :
         {"Log37.edt", "LogFilters.edt", "LogFiltersDetail.edt", "Reports.edt", "Report_Detail.edt"})
        EXPECT_TRUE(fs::exists(logs / file)) << file;
    EXPECT_EQ(dialog.Shown(TF_NetworkSettings::TDb::Log), (logs / "Log37.edt").string());
    EXPECT_EQ(gLogDB, oldLog) << "nothing changes before OK";

    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(dialog.result(), ui::mrOk);
    EXPECT_EQ(gLogDB, logs.string());
    EXPECT_EQ(messages.Count(), 0u);

    // The new log takes rows where the print writes them: gLogDB's Log37.
    TEdsTable& log = *dm().edstLog;
    log.SetDatabaseName(gLogDB);
    log.SetTableName("Log37");
    log.Open();
    log.Append();
    log.FieldByName("MailerNum")->SetAsString("9407 1000 0000 0000 0000 00");
    log.Post();
    log.Close();
    EXPECT_EQ(Rows(logs.string(), "select * from Log37", {"MailerNum"}).size(), 1u);
}

TEST_F(NetworkSettingsDialog, CreateRefusesAFolderThatHasTheTable)
{
    dm().EnsureTable(gMailerNumDB, "MailerNum");
    dm().EnsureTable(gYourAddressDB, "YourAddress");
    TF_NetworkSettings dialog;
    Choose(rtl::JoinPath(gMailerNumDB, "MailerNum.edt"));
    dialog.Create(TF_NetworkSettings::TDb::MailerNum);
    EXPECT_EQ(messages.Last().text, "Mailer Number DB already exists in this folder.  Please select a folder to "
                                    "create a new Mailer Number DB.");
    Choose(rtl::JoinPath(gYourAddressDB, "YourAddress.edt"));
    dialog.Create(TF_NetworkSettings::TDb::YourAddress);
    EXPECT_EQ(messages.Last().text, "Your Address DB already exists in this folder.  Please select a folder to "
                                    "create a new Your Address DB.");
    Choose(rtl::JoinPath(gLogDB, "Log37.edt"));
    dm().EnsureTable(gLogDB, "Log37");
    dialog.Create(TF_NetworkSettings::TDb::Log);
    EXPECT_EQ(messages.Last().text,
              "Log DB already exists in this folder.  Please select a folder to create a new Log DB.");

    // A new mailer-number table comes with its one row.
    const fs::path numbers = home / "Numbers";
    fs::create_directories(numbers);
    Choose((numbers / "MailerNum.edt").string());
    dialog.Create(TF_NetworkSettings::TDb::MailerNum);
    EXPECT_EQ(Rows(numbers.string(), "select * from MailerNum", {"CustID"}), (std::vector<std::string>{"000000000"}));
}

TEST_F(NetworkSettingsDialog, ChangeTakesOnlyTheTablesOwnFile)
{
    const fs::path other = home / "Other";
    fs::create_directories(other);
    dm().EnsureTable(other.string(), "YourAddress");
    testsupport::WriteFile(other / "OldLog37.edt", "not a log");
    testsupport::WriteFile(other / "MailerNum.txt", "not a table");
    TF_NetworkSettings dialog;
    const std::string shownLog = dialog.Shown(TF_NetworkSettings::TDb::Log);

    Choose((other / "OldLog37.edt").string());
    dialog.Change(TF_NetworkSettings::TDb::Log);
    EXPECT_EQ(messages.Last().text, "A Log DB does not exist in this directory.");
    EXPECT_EQ(asked.Filter, "Log DB|Log37.edt");
    EXPECT_EQ(asked.FileName, "") << "the file name starts empty";
    EXPECT_EQ(asked.InitialDir, gLogDB);
    EXPECT_EQ(dialog.Shown(TF_NetworkSettings::TDb::Log), shownLog);

    Choose((other / "MailerNum.edt").string());
    dialog.Change(TF_NetworkSettings::TDb::MailerNum);
    EXPECT_EQ(messages.Last().text, "A Mailer Num DB does not exist in this directory.");

    Choose((other / "YourAddress.edt").string());
    dialog.Change(TF_NetworkSettings::TDb::YourAddress);
    EXPECT_EQ(dialog.Shown(TF_NetworkSettings::TDb::YourAddress), (other / "YourAddress.edt").string());

    // Cancel changes no folder.
    const std::string yourAddressDB = gYourAddressDB;
    Find<QPushButton>(dialog, "btnCancel")->click();
    EXPECT_EQ(gYourAddressDB, yourAddressDB);

    TF_NetworkSettings again;
    Choose((other / "YourAddress.edt").string());
    again.Change(TF_NetworkSettings::TDb::YourAddress);
    Find<QPushButton>(again, "btnOK")->click();
    EXPECT_EQ(gYourAddressDB, other.string());
}

TEST_F(NetworkSettingsDialog, SenderListFollowsAChangedFolder)
{
    const fs::path other = home / "Other";
    fs::create_directories(other);
    dm().EnsureTable(gYourAddressDB, "YourAddress");
    dm().EnsureTable(other.string(), "YourAddress");
    TEdsQuery& query = *dm().edsqToAddress;
    query.SetDatabaseName(other.string());
    query.SetSQLText("insert into YourAddress (Address1, City, State, Zip) values('Branch', 'Akron', 'OH', '44301')");
    query.ExecSQL();

    TF_YourAddress list;
    auto* items = Find<QListWidget>(list, "lvYourAddress");
    ASSERT_EQ(items->count(), 0);
    Choose((other / "YourAddress.edt").string());
    WhenModal([](QWidget& settings) {
        Find<QPushButton>(settings, "btnChangeYourDB")->click();
        Find<QPushButton>(settings, "btnOK")->click();
    });
    Find<QPushButton>(list, "btnChangeYourDB")->click();
    ASSERT_EQ(items->count(), 1);
    EXPECT_EQ(items->item(0)->text(), "Branch");
}

// ---- group action summary ---------------------------------------------------------------

TEST(GroupSummary, CountsEveryRowAndSaysWhetherAllWentWell)
{
    maintest::EnsureApplication();
    TF_GroupSummary summary;
    EXPECT_EQ(summary.windowTitle(), "Group Action Summary");
    summary.AddLine(true, "Acme Corp", "Added");
    EXPECT_EQ(Find<QLabel>(summary, "LabelActionSummary")->text(), "Action completed sucessfully.");
    EXPECT_EQ(Find<QStatusBar>(summary, "StatusBar")->currentMessage(), "1 item(s) processed; 0 error(s)");

    summary.AddLine(false, "Beta LLC", "Already in group");
    summary.AddLine(true, "Gamma Inc", "Added");
    EXPECT_EQ(Find<QLabel>(summary, "LabelActionSummary")->text(),
              "Action completed with errors. See details below for more information.");
    EXPECT_EQ(Find<QStatusBar>(summary, "StatusBar")->currentMessage(), "3 item(s) processed; 1 error(s)");
    auto* rows = Find<QTreeWidget>(summary, "lvSummary");
    ASSERT_EQ(rows->topLevelItemCount(), 3);
    EXPECT_EQ(rows->headerItem()->text(1), "#");
    EXPECT_EQ(rows->topLevelItem(1)->text(1), "2");
    EXPECT_EQ(rows->topLevelItem(1)->text(2), "Beta LLC");
    EXPECT_EQ(rows->topLevelItem(1)->text(3), "Already in group");
    EXPECT_EQ(rows->topLevelItem(1)->data(0, Qt::UserRole).toInt(), TF_GroupSummary::kImageError);
    EXPECT_EQ(rows->topLevelItem(2)->data(0, Qt::UserRole).toInt(), TF_GroupSummary::kImageDone);

    auto* close = Find<QPushButton>(summary, "ButtonOK");
    EXPECT_EQ(close->text(), "&Close");
    summary.show();
    close->click();
    EXPECT_EQ(summary.result(), ui::mrOk);
}

// ---- about box and single edit -------------------------------------------------------------

TEST(AboutAndSingleEdit, EscapeClosesTheAboutBoxAndEnterCannotSkipTheBlankCheck)
{
    maintest::EnsureApplication();
    ui::ScriptedMessages messages;
    TF_About about(0);
    about.show();
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());

    gSingleEditText = "before";
    TF_SingleEdit edit;
    edit.Prepare("New Database", "Enter Name for New Database", "");
    edit.show();
    edit.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    QTest::keyClicks(Find<QLineEdit>(edit, "TheEdit"), "   ");
    QTest::keyClick(Find<QLineEdit>(edit, "TheEdit"), Qt::Key_Return);
    EXPECT_EQ(messages.Last().text, "Field cannot be blank.");
    EXPECT_TRUE(edit.isVisible());
    EXPECT_EQ(gSingleEditText, "before");
}
