#pragma once
// The real main window offscreen over real tables in a program folder of the
// test's own, printing to PDF files there, with every message box scripted.

#include "tests/e2e/E2ESupport.h"
#include "tests/app/main/MainTestSupport.h"

#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "app/main/U_Main.h"
#include "app/main/U_About.h"
#include "platform/ui/MaskEdit.h"
#include "platform/ui/MessageService.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

// The numbers of customer 123456789's serials 41 to 43 to ZIP 12345, as logged.
inline const std::string kNumber41 = "9214 7123 4567 8900 0004 11";
inline const std::string kNumber42 = "9214 7123 4567 8900 0004 28";
inline const std::string kNumber43 = "9214 7123 4567 8900 0004 35";

// The window over a fresh program folder; Start() opens it on one mailer.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        e2e::EnsureApplication();
        gAppPath = folder.home.str();
        ResetSettingsToDefaults();
        gLabelRow = gLabelCol = 0;
        // Start() sets the numbering with the sqlite3 tool, and the tests read
        // the tables back with it.
        REQUIRE_TOOLS("sqlite3");
    }
    ~MainWindowTest() override
    {
        if (window) window->close();
        window.reset();
        module.reset();
    }

    // Starts the program on the folder (which makes the tables), then sets the
    // numbering state and fills one mailer to ZIP 12345.
    void Start(const std::string& custId = "123456789", const std::string& serial = "0000041", bool barcodes = true,
               bool increment = true)
    {
        module = std::make_unique<TInstalledDataModule>(folder.home.str());
        window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
        {
            const maintest::DialogDismisser dismiss;
            window->show();
            while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        folder.SetNumbering(custId, serial, barcodes, increment);
        Child<QPlainTextEdit>("memoToAddress")->setPlainText("Jane Roe\n12 Elm Street");
        Child<QLineEdit>("editToCity")->setText("Springfield");
        Child<QLineEdit>("editToState")->setText("IL");
        Child<ui::MaskEdit>("editToZip")->SetText("12345");
        Child<QLineEdit>("editDepartment")->setText("  Legal ");
        Child<QLineEdit>("editRe")->setText("Lease");
        messages.Clear();
    }

    // Starts the program with the address book open (as the settings file
    // left it) on empty address tables.
    void StartWithAddressBook()
    {
        testsupport::WriteFile(folder.home / "sendo4.ini", "[System Path]\nDatabaseON=1\n");
        std::filesystem::create_directories(folder.home / "Addresses");
        module = std::make_unique<TInstalledDataModule>(folder.home.str());
        for (const char* table : {"Address", "Groups", "Members"})
            module->Module().EnsureTable((folder.home / "Addresses").string(), table);
        window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
        {
            const maintest::DialogDismisser dismiss;
            window->show();
            while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        messages.Clear();
    }

    template <class T>
    T* Child(const char* name)
    {
        T* found = window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void Print() { Child<QPushButton>("btnPrint")->click(); }

    // The window made the active one, so that keys and focus behave as for a user.
    void Activate()
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    // Types `text` after what `field` holds, the focus left in it.
    static void TypeAtEnd(QLineEdit* field, const QString& text)
    {
        field->setFocus();
        field->end(false);
        QTest::keyClicks(field, text);
    }
    // Presses Alt+`key` on the widget that holds the focus, as the user
    // does: the focus stays where it is. A button's key clicks it once its
    // press has shown; this waits for that click.
    void PressAlt(Qt::Key key)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        ASSERT_EQ(focus->window(), window.get()) << "the main window is the active one";
        QTest::keyClick(focus, key, Qt::AltModifier);
        auto* print = Child<QPushButton>("btnPrint");
        EXPECT_TRUE(QTest::qWaitFor([print] { return !print->isDown(); })) << "Print stayed pressed";
    }
    // What a box shown over the window does to the focus: takes it into a
    // window of its own, then gives it back.
    void FocusAwayAndBack()
    {
        QWidget box;
        box.show();
        box.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
        box.close();
        Activate();
    }

    std::vector<const ui::MessageRequest*> Shown(ui::MsgKind kind) const
    {
        std::vector<const ui::MessageRequest*> out;
        for (const ui::MessageRequest& r : messages.Shown())
            if (r.kind == kind) out.push_back(&r);
        return out;
    }

    e2e::ProgramFolder folder;
    ui::ScriptedMessages messages;
    std::unique_ptr<TInstalledDataModule> module;
    std::unique_ptr<TF_Main> window;
};

}  // namespace e2e
