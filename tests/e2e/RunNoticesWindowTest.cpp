// What the commands that print or log many mailers tell the user, driven
// through the real main window offscreen over real tables, printing to PDF
// files: a notice that would repeat with every mailer is told once per run.
// A run is one command: a Print, a multiple-forms run, a batch print, a mass
// print, an import.

#include "tests/app/addresses/AddressDialogsTestSupport.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/e2e/E2EWindow.h"

#include "app/dialogs/U_FileDialogs.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using maintest::Find;

const char* const kPdfNotice = "No printer is in use: ";

class RunNotices : public e2e::MainWindowTest {
protected:
    void SetUp() override { REQUIRE_E2E_TOOLS(); }

    // Opens the address book on `count` addresses, all listed, the first one
    // the recipient.
    void StartWithAddresses(int count)
    {
        StartWithAddressBook();
        folder.SetNumbering("123456789", "0000041", true, true);
        e2e::SqlRows(folder.home / "Addresses" / "Address.edt",
                     "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
                         std::to_string(count) +
                         ") insert into Address (Address1, City, State, Zip) "
                         "select 'Addressee ' || i, 'Dayton', 'OH', '45402' from n");
        auto* tree = Child<QTreeWidget>("tvGroups");
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(tree->topLevelItem(0)).center());
        ASSERT_EQ(Child<QTreeWidget>("lvAddress")->topLevelItemCount(), count);
        messages.Clear();
    }
    // Every listed address, through the mass-print list.
    void MassPrintAll()
    {
        Child<QTreeWidget>("lvAddress")->clearSelection();
        addrtest::WhenModal([](QWidget& dialog) { Find<QPushButton>(dialog, "btnOK")->click(); });
        Child<QToolButton>("tbtnMassPrintAddress")->click();
    }
    void PrintMultipleForms(int count)
    {
        addrtest::WhenModal([count](QWidget& dialog) {
            Find<QLineEdit>(dialog, "editNumLabels")->setText(QString::number(count));
            Find<QPushButton>(dialog, "btnOK")->click();
        });
        Child<QAction>("miPrintMultipleForms")->trigger();
    }

    // The texts shown since the last Clear that begin with `lead`.
    std::vector<std::string> Told(const std::string& lead) const
    {
        std::vector<std::string> out;
        for (const ui::MessageRequest& r : messages.Shown())
            if (r.text.rfind(lead, 0) == 0) out.push_back(r.text);
        return out;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        for (const ui::MessageRequest& r : messages.Shown()) out.push_back(r.text);
        return out;
    }
};

// The measure of the issue: a group of 200 addresses printed to PDF files.
// The notice that names each printed number stays (the user can switch it
// off in its first box); where the PDF files went is said once.
TEST_F(RunNotices, MassPrintOfTwoHundredAddressesToPdfSaysOnceWhereTheFilesWent)
{
    StartWithAddresses(200);
    MassPrintAll();

    EXPECT_EQ(folder.LogCount(), 200);
    EXPECT_EQ(e2e::PdfFiles(folder.Pdfs()).size(), 200u);
    EXPECT_EQ(Shown(ui::MsgKind::Choice).size(), 200u) << "the printed notice, once per mailer";
    EXPECT_EQ(Told(kPdfNotice),
              std::vector<std::string>{"No printer is in use: the prints were saved as PDF files in the folder " +
                                       folder.Pdfs() + "."});
    EXPECT_EQ(messages.Count(), 201u);
    EXPECT_EQ(messages.Last().text.rfind(kPdfNotice, 0), 0u) << "told at the end of the run";

    // Multiple forms: once, before the run's own closing message.
    messages.Clear();
    PrintMultipleForms(3);
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "No printer is in use: the prints were saved as PDF files in the folder " + folder.Pdfs() + ".",
                           "3 labels have been sent to the printer."}));
}

// The log file deleted while the program runs (or a share remounted empty):
// every road that adds log rows starts a new log in the folder and goes on
// logging, and says so once per run.
TEST_F(RunNotices, LogThatVanishedIsStartedAnewAndToldOncePerRunOnEveryRoad)
{
    StartWithAddresses(3);
    const std::filesystem::path log = folder.Log();
    const std::string notFound = "The mail log was not found in its folder " + (folder.home / "Log").string() +
                                 ", so a new log was started there.";
    Print();
    ASSERT_EQ(folder.LogCount(), 1);
    // An earlier edition's log to import later: a copy of this one.
    const std::filesystem::path older = folder.home / "Older" / "Log37.edt";
    std::filesystem::create_directories(older.parent_path());
    std::filesystem::copy_file(log, older);
    const auto vanish = [&] {
        std::filesystem::remove(log);
        messages.Clear();
    };

    vanish();
    Print();
    EXPECT_EQ(Told(notFound).size(), 1u) << Texts().front();
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty());
    EXPECT_EQ(e2e::SqlRows(log, "select SerialNum from Log37"), (std::vector<std::string>{"42"}));
    messages.Clear();
    Print();
    EXPECT_TRUE(Told(notFound).empty()) << "the new log is there now";

    vanish();
    MassPrintAll();
    EXPECT_EQ(Told(notFound).size(), 1u);
    EXPECT_EQ(folder.LogCount(), 3);

    vanish();
    PrintMultipleForms(2);
    EXPECT_EQ(Told(notFound).size(), 1u);
    EXPECT_EQ(folder.LogCount(), 2);

    Child<QAction>("miBatchOn")->trigger();
    Child<QTreeWidget>("lvAddress")->topLevelItem(0)->setSelected(true);
    vanish();
    Print();
    EXPECT_EQ(Told(notFound).size(), 1u);
    EXPECT_EQ(messages.Last().text, "Record has been added to the Batch File.");
    EXPECT_EQ(e2e::SqlCount(log, "select count(*) from Log37 where Batch = 1"), 1);
    // Its batch entries went with the log: the batch print says both.
    vanish();
    Child<QAction>("miPrintBatch")->trigger();
    EXPECT_EQ(Told(notFound).size(), 1u);
    EXPECT_EQ(messages.Last().text, "There are no records in the Batch file.");

    vanish();
    messages.Answer(ui::mrYes);
    const ScopedOpenDialogHandler choose([&older](TOpenDialog& dialog) {
        dialog.FileName = older.string();
        return true;
    });
    Child<QAction>("miImportPro3")->trigger();
    EXPECT_EQ(Told(notFound).size(), 1u);
    EXPECT_EQ(messages.Last().text, "1 records have been imported to your Log file.");
    EXPECT_EQ(folder.LogCount(), 1);
    EXPECT_TRUE(Shown(ui::MsgKind::Error).empty()) << Shown(ui::MsgKind::Error)[0]->text;
}

}  // namespace
