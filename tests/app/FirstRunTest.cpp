// A new user's first start on a fresh program folder: the first show asks for
// the customer ID and serial, and the first mailer then prints, without a
// table written by hand.

#include "app/U_About.h"
#include "app/U_Globals.h"
#include "app/U_Main.h"
#include "app/U_Settings.h"
#include "app/U_dmMainData.h"
#include "app/U_dmSendoPro.h"
#include "platform/ui/MaskEdit.h"
#include "platform/ui/MessageService.h"
#include "tests/app/MainTestSupport.h"
#include "tests/e2e/E2ESupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Answers each modal dialog of the first show as it comes up, in order: a
// step's dialog is recognised by its caption.
class DialogScript {
public:
    using Step = std::function<void(QWidget&)>;

    void Expect(const std::string& caption, Step step) { steps_.push_back({caption, std::move(step)}); }

    void Start()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog == nullptr || dialog == last_ || next_ >= steps_.size()) return;
            if (dialog->windowTitle().toStdString() != steps_[next_].caption) return;
            last_ = dialog;
            seen_.push_back(steps_[next_].caption);
            steps_[next_++].step(*dialog);
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
    QWidget* last_ = nullptr;
    std::vector<std::string> seen_;
    QTimer timer_;
};

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

    void StartProgram()
    {
        module = std::make_unique<TInstalledDataModule>(folder.home.str());
        window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
        script.Start();
        window->show();
        while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
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

TEST_F(FirstRun, NewUserSetsUpTheMailerNumberAndPrints)
{
    if (!e2e::HaveTools()) GTEST_SKIP() << "sqlite3 and poppler/zbar tools needed";
    script.Expect("Mailer Number", [](QWidget& dialog) {
        auto* barcodes = dialog.findChild<QCheckBox*>("cbPrintBarCodes");
        if (!barcodes->isChecked()) barcodes->click();
        dialog.findChild<ui::MaskEdit*>("editCustID")->SetText("123456789");
        dialog.findChild<QLineEdit*>("EditSerialNum")->setText("41");
        dialog.findChild<QPushButton*>("btnOK")->click();
    });
    StartProgram();

    EXPECT_EQ(script.Seen(), (std::vector<std::string>{"Mailer Number"}));
    ASSERT_FALSE(messages.Shown().empty());
    EXPECT_EQ(messages.Shown()[0].title, "Bar Code Printing Registration") << "the notice comes first";
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
}

TEST_F(FirstRun, SetUpCounterIsNotAskedForAgain)
{
    if (!testsupport::HaveProgram("sqlite3")) GTEST_SKIP() << "sqlite3 needed";
    {
        const maintest::DialogDismisser dismiss;
        StartProgram();
    }
    window->close();
    window.reset();
    folder.SetNumbering("123456789", "0000041", true, true);

    window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
    bool dialogShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&dialogShown] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialogShown = true;
            dialog->reject();
        }
    });
    watch.start(1);
    window->show();
    while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_FALSE(dialogShown);
}

TEST_F(FirstRun, CancelledMailerNumberDialogLeavesTheCounterAsItWas)
{
    if (!testsupport::HaveProgram("sqlite3")) GTEST_SKIP() << "sqlite3 needed";
    script.Expect("Mailer Number", [](QWidget& dialog) {
        dialog.findChild<ui::MaskEdit*>("editCustID")->SetText("123456789");
        dialog.findChild<QPushButton*>("btnCancel")->click();
    });
    StartProgram();
    EXPECT_EQ(script.Seen().size(), 1u);
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
