// A new user's first start on a fresh program folder: the first show asks for
// the customer ID and serial, and the first mailer then prints, without a
// table written by hand.

#include "app/main/U_About.h"
#include "app/data/U_Globals.h"
#include "app/main/U_Main.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "platform/ui/MaskEdit.h"
#include "platform/ui/MessageService.h"
#include "tests/app/main/MainTestSupport.h"
#include "tests/e2e/E2ESupport.h"
#include "tests/support/UnwritableFolder.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Answers the modal dialogs as they come up, in order: a step's dialog is
// recognised by its caption, so two steps in a row need different captions.
// A dialog that no remaining step expects is closed unanswered and noted.
// Steps act through queued clicks, so a dialog a step opens gets its own
// turn; a step that finds its dialog not yet ready returns false and is
// tried again.
class DialogScript {
public:
    using Step = std::function<bool(QWidget&)>;

    void Expect(const std::string& caption, Step step) { steps_.push_back({caption, std::move(step)}); }

    void Start()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible()) return;
            const std::string caption = dialog->windowTitle().toStdString();
            if (next_ < steps_.size() && caption == steps_[next_].caption) {
                if (!steps_[next_].step(*dialog)) return;
                seen_.push_back(caption);
                handled_.insert(dialog);
                ++next_;
                return;
            }
            if (handled_.count(dialog) != 0) return;  // answered, and closing
            for (std::size_t i = next_; i < steps_.size(); ++i)
                if (steps_[i].caption == caption) return;  // still waiting for its turn
            seen_.push_back("closed: " + caption);
            dialog->reject();
        });
        timer_.start(1);
    }
    const std::vector<std::string>& Seen() const { return seen_; }

private:
    struct Entry {
        std::string caption;
        Step step;
    };
    std::vector<Entry> steps_;
    std::size_t next_ = 0;
    std::vector<std::string> seen_;
    std::set<QWidget*> handled_;
    QTimer timer_;
};

void QueuedClick(QWidget& dialog, const char* button)
{
    auto* target = dialog.findChild<QAbstractButton*>(button);
    ASSERT_NE(target, nullptr) << button;
    QMetaObject::invokeMethod(target, &QAbstractButton::click, Qt::QueuedConnection);
}

class FirstRun : public ::testing::Test {
protected:
    FirstRun()
    {
        maintest::EnsureApplication();
        gAppPath = folder.home.str();
        ResetSettingsToDefaults();
        gLabelRow = gLabelCol = 0;
    }
    ~FirstRun() override
    {
        if (window) window->close();
        window.reset();
        module.reset();
    }

    void StartProgram() { StartProgram(folder.home.str()); }
    void StartProgram(const std::string& dataFolder)
    {
        module = std::make_unique<TInstalledDataModule>(dataFolder);
        window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
        script.Start();
        window->show();
        while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    // The first start's three questions, answered: the sender Acme Legal LLP of
    // Albany, then customer ID 123456789 from serial 41 with barcodes on.
    void AnswerFirstStart()
    {
        script.Expect("Name and Address", [](QWidget& dialog) {
            dialog.findChild<QPlainTextEdit*>("memoAddress")->setPlainText("Acme Legal LLP\n400 Main Street");
            dialog.findChild<QLineEdit*>("editCity")->setText("Albany");
            dialog.findChild<QLineEdit*>("editState")->setText("NY");
            dialog.findChild<ui::MaskEdit*>("editZip")->SetText("12207");
            QueuedClick(dialog, "btnOK");
            return true;
        });
        script.Expect("Your Name and Address", [](QWidget& dialog) {
            // The new address is listed once its dialog has closed.
            auto* list = dialog.findChild<QListWidget*>("lvYourAddress");
            if (list->count() != 1) return false;
            list->item(0)->setSelected(true);
            QueuedClick(dialog, "btnOK");
            return true;
        });
        script.Expect("Mailer Number", [](QWidget& dialog) {
            auto* barcodes = dialog.findChild<QCheckBox*>("cbPrintBarCodes");
            if (!barcodes->isChecked()) barcodes->click();
            dialog.findChild<ui::MaskEdit*>("editCustID")->SetText("123456789");
            dialog.findChild<QLineEdit*>("EditSerialNum")->setText("41");
            QueuedClick(dialog, "btnOK");
            return true;
        });
    }

    template <class T>
    T* Child(const char* name)
    {
        T* found = window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    e2e::ProgramFolder folder;
    ui::ScriptedMessages messages;
    DialogScript script;
    std::unique_ptr<TInstalledDataModule> module;
    std::unique_ptr<TF_Main> window;
};

}  // namespace

TEST_F(FirstRun, NewUserChoosesASenderSetsUpTheMailerNumberAndPrints)
{
    REQUIRE_E2E_TOOLS();
    // The empty sender list asks for the first address by itself.
    AnswerFirstStart();
    StartProgram();

    EXPECT_EQ(script.Seen(),
              (std::vector<std::string>{"Name and Address", "Your Name and Address", "Mailer Number"}));
    // The chosen sender is on the window and is remembered.
    EXPECT_EQ(Child<QLabel>("lblYourAddress1")->text(), "Acme Legal LLP");
    EXPECT_EQ(Child<QLabel>("lblYourAddress2")->text(), "400 Main Street");
    EXPECT_NE(Child<QLabel>("lblYourAddress3")->text().indexOf("Albany"), -1)
        << Child<QLabel>("lblYourAddress3")->text().toStdString();
    EXPECT_FALSE(gYourAddressID.empty());
    EXPECT_EQ(e2e::SqlValue(folder.home / "Addresses" / "YourAddress.edt",
                            "select Address1 || '|' || City || '|' || A_ID from YourAddress"),
              "Acme Legal LLP|Albany|" + gYourAddressID);

    ASSERT_FALSE(messages.Shown().empty());
    EXPECT_EQ(messages.Shown()[0].title, "Bar Code Printing Registration") << "the notice comes between";
    EXPECT_EQ(e2e::SqlValue(folder.MailerNum(), "select CustID || '|' || SerialNum || '|' || BarCodes from MailerNum"),
              "123456789|0000041|1");
    EXPECT_FALSE(dmSendoPro->edstMailerNum->Active());
    EXPECT_FALSE(dmSendoPro->edstMailerNum->Exclusive());

    Child<QPlainTextEdit>("memoToAddress")->setPlainText("Jane Roe\n12 Elm Street");
    Child<QLineEdit>("editToCity")->setText("Springfield");
    Child<QLineEdit>("editToState")->setText("IL");
    Child<ui::MaskEdit>("editToZip")->SetText("12345");
    messages.Clear();
    Child<QPushButton>("btnPrint")->click();

    for (const ui::MessageRequest& r : messages.Shown()) EXPECT_NE(r.kind, ui::MsgKind::Error) << r.text;
    EXPECT_EQ(folder.Serial(), "0000042");
    EXPECT_EQ(e2e::SqlValue(folder.Log(), "select CustID || '|' || SerialNum || '|' || MailerNum from Log37"),
              "123456789|41|9214 7123 4567 8900 0004 11");
    const auto pdfs = e2e::PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 1u);
    EXPECT_EQ(e2e::PdfBarcodes(pdfs[0], folder.home / "scratch").count(e2e::Scanned("12345", "9214 7123 4567 8900 0004 11")),
              1u);
    EXPECT_NE(e2e::PdfText(pdfs[0]).find("Acme Legal LLP"), std::string::npos) << "the sender is printed";
    EXPECT_EQ(e2e::SqlValue(folder.Log(), "select YourAddress1 || '|' || YourCity from Log37"), "Acme Legal LLP|Albany");

    // The next start shows the chosen sender at once and asks for nothing.
    window->close();
    window.reset();
    ResetSettingsToDefaults();
    DialogScript nothingExpected;
    nothingExpected.Start();
    window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
    window->show();
    while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(nothingExpected.Seen().empty()) << nothingExpected.Seen().front();
    EXPECT_EQ(Child<QLabel>("lblYourAddress1")->text(), "Acme Legal LLP");
}

TEST_F(FirstRun, CancelledMailerNumberDialogLeavesTheCounterAsItWas)
{
    REQUIRE_TOOLS("sqlite3");
    script.Expect("Mailer Number", [](QWidget& dialog) {
        dialog.findChild<ui::MaskEdit*>("editCustID")->SetText("123456789");
        QueuedClick(dialog, "btnCancel");
        return true;
    });
    StartProgram();
    ASSERT_FALSE(script.Seen().empty());
    EXPECT_EQ(script.Seen().back(), "Mailer Number") << "after the sender list, closed unanswered";
    EXPECT_TRUE(gYourAddressID.empty());
    EXPECT_EQ(e2e::SqlValue(folder.MailerNum(), "select CustID from MailerNum"), "000000000");
    EXPECT_FALSE(dmSendoPro->edstMailerNum->Exclusive());

    // Print still refuses the all-zero ID, with its reason.
    messages.Clear();
    Child<QPlainTextEdit>("memoToAddress")->setPlainText("Jane Roe");
    Child<QPushButton>("btnPrint")->click();
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(folder.LogCount(), 0);
}

TEST_F(FirstRun, UnwritableDataFolderIsToldOnceAndTheTypedSenderIsKept)
{
    // Not even root can make a folder inside a file.
    testsupport::WriteFile(folder.home / "blocked", "a file");
    const std::string data = (folder.home / "blocked" / "sendora-pro").string();
    setenv("SENDORA_HOME", data.c_str(), 1);
    gBarCodeApp = false;
    script.Expect("Name and Address", [](QWidget& dialog) {
        dialog.findChild<QPlainTextEdit*>("memoAddress")->setPlainText("Acme Legal LLP\n400 Main Street");
        dialog.findChild<QLineEdit*>("editCity")->setText("Albany");
        dialog.findChild<QLineEdit*>("editState")->setText("NY");
        QueuedClick(dialog, "btnOK");
        return true;
    });
    script.Expect("Your Name and Address", [](QWidget& dialog) {
        auto* list = dialog.findChild<QListWidget*>("lvYourAddress");
        if (list->count() != 1) return false;
        EXPECT_EQ(list->item(0)->text(), "Acme Legal LLP (not saved)");
        EXPECT_TRUE(list->item(0)->isSelected());
        QueuedClick(dialog, "btnOK");
        return true;
    });
    StartProgram(data);

    std::vector<std::string> told;
    for (const ui::MessageRequest& r : messages.Shown())
        if (r.kind != ui::MsgKind::Choice) told.push_back(r.text);
    ASSERT_EQ(told.size(), 1u) << told[1];
    EXPECT_EQ(told[0].find("The data folder " + data + " cannot be written"), 0u) << told[0];
    EXPECT_NE(told[0].find("SENDORA_HOME"), std::string::npos) << "says what to do";
    EXPECT_FALSE(messages.Shown()[0].details.empty()) << "the system's reason under details";
    EXPECT_EQ(script.Seen(), (std::vector<std::string>{"Name and Address", "Your Name and Address"}));

    // The sender typed is the sender for this session.
    EXPECT_EQ(Child<QLabel>("lblYourAddress1")->text(), "Acme Legal LLP");
    EXPECT_EQ(gYourAddress1, "Acme Legal LLP");
    EXPECT_EQ(gYourCity, "Albany");
    EXPECT_TRUE(gYourAddressID.empty()) << "no saved row to point at";

    // Closing tries no settings file either.
    messages.Clear();
    window->close();
    EXPECT_EQ(messages.Count(), 0u) << messages.Last().text;
    setenv("SENDORA_HOME", folder.home.str().c_str(), 1);
}


namespace {

// The data folder of earlier runs turned read-only (a share remounted, a
// folder of another user): start-up says so once, and the program still shows
// what the folder holds; a print is refused naming the folder and writes nothing.
TEST_F(FirstRun, ReadOnlyDataFolderOfEarlierRunsIsToldOnceAndItsDataStillShow)
{
    REQUIRE_E2E_TOOLS();
    AnswerFirstStart();
    StartProgram();
    Child<QPlainTextEdit>("memoToAddress")->setPlainText("Jane Roe\n12 Elm Street");
    Child<QPushButton>("btnPrint")->click();
    ASSERT_EQ(folder.LogCount(), 1);
    window->close();
    window.reset();
    module.reset();
    ResetSettingsToDefaults();
    messages.Clear();

    const testsupport::UnwritableFolder readOnly(folder.home.path());
    // The same script answers on: a second one would race it for each dialog.
    int logRows = -1;
    script.Expect("Log File", [&logRows](QWidget& log) {
        logRows = log.findChild<QTableView*>("gridLog")->model()->rowCount();
        QueuedClick(log, "btnClose");
        return true;
    });
    module = std::make_unique<TInstalledDataModule>(folder.home.str());
    window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
    window->show();
    while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    std::vector<std::string> told;
    for (const ui::MessageRequest& r : messages.Shown())
        if (r.kind != ui::MsgKind::Choice) told.push_back(r.text);
    ASSERT_EQ(told.size(), 1u) << told[1];
    EXPECT_EQ(told[0].find("The data folder " + folder.home.str() + " cannot be written"), 0u) << told[0];
    EXPECT_EQ(Child<QLabel>("lblYourAddress1")->text(), "Acme Legal LLP");

    messages.Clear();
    Child<QAction>("miLogFile")->trigger();
    EXPECT_EQ(script.Seen(),
              (std::vector<std::string>{"Name and Address", "Your Name and Address", "Mailer Number", "Log File"}));
    EXPECT_EQ(logRows, 1);
    EXPECT_EQ(messages.Count(), 0u) << messages.Last().text;

    Child<QPlainTextEdit>("memoToAddress")->setPlainText("John Doe\n1 Oak Lane");
    Child<QPushButton>("btnPrint")->click();
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_NE(messages.Last().text.find("The data folder " + folder.home.str() + " cannot be written: it is read-only"),
              std::string::npos)
        << messages.Last().text;
    EXPECT_EQ(folder.LogCount(), 1);
    EXPECT_EQ(folder.Serial(), "0000042");

    messages.Clear();
    window->close();
    EXPECT_EQ(messages.Count(), 0u) << messages.Last().text;
}

}  // namespace
