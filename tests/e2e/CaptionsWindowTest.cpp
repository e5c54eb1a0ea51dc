// Every window and dialog of the program offscreen at the default font: no
// fixed caption (label, check box, radio button, push button) needs more room
// than its widget has, so none is cut off. Labels that show data, and the
// folder labels that are shortened on purpose, are left out. In the main
// window no two things answer the same Alt key.

#include "tests/e2e/E2EWindow.h"

#include "app/addresses/U_Address.h"
#include "app/addresses/U_Database.h"
#include "app/addresses/U_GroupSummary.h"
#include "app/addresses/U_NetworkSettings.h"
#include "app/addresses/U_TextFiles.h"
#include "app/addresses/U_YourAddress.h"
#include "app/dialogs/U_SingleEdit.h"
#include "app/log/U_EditMailer.h"
#include "app/log/U_Filter.h"
#include "app/log/U_FindMailer.h"
#include "app/log/U_Log.h"
#include "app/main/U_CalculatePostage.h"
#include "app/main/U_PostageFees.h"
#include "app/printing/U_Align.h"
#include "app/printing/U_ExtraLabel.h"
#include "app/printing/U_MassPrint.h"
#include "app/printing/U_NumLabels.h"
#include "app/printing/U_PrintBarCode.h"
#include "app/printing/U_PrinterSetup.h"
#include "app/printing/U_ProMailer.h"
#include "app/receipts/U_IncomingMailers.h"
#include "app/receipts/U_MultiMailers.h"
#include "app/reports/U_CreateReport.h"
#include "app/reports/U_Report.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QHeaderView>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Labels whose text is data: addresses, folder and file names (shortened to
// their label on purpose), counts, amounts and the record shown.
const std::set<QString> kDataLabels = {
    "lblYourAddress1", "lblYourAddress2", "lblYourAddress3", "lblYourAddress4", "lblYourAddress5",
    "lblToAddress1",   "lblToAddress2",   "lblToAddress3",   "lblToAddress4",   "lblToAddress5",
    "labelDatabaseName", "labelLogDBName", "lblYourAddressDB", "lblMailerNumber", "lblLogDB",
    "lblUsed",         "lblAvailable",    "LabelActionSummary", "labelVersion",  "imageCompany",
};

// What a push button's caption needs: its text (and icon) with the style's
// margins, without the minimum width some styles give every button.
int PushButtonNeeds(const QPushButton& button)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    int width = button.fontMetrics().size(Qt::TextShowMnemonic, button.text()).width();
    if (!button.icon().isNull()) width += button.iconSize().width() + 4;
    return width + button.style()->pixelMetric(QStyle::PM_ButtonMargin, &option, &button) +
           2 * button.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &button);
}

// The captions of `window` that need more room than their widget has, each
// as "window: name "caption" needs N, has M".
std::vector<std::string> Clipped(const QWidget& window)
{
    std::vector<std::string> clipped;
    const auto report = [&](const QWidget& w, const QString& caption, int needs, int has) {
        if (needs > has)
            clipped.push_back(window.objectName().toStdString() + ": " + w.objectName().toStdString() + " \"" +
                              caption.toStdString() + "\" needs " + std::to_string(needs) + ", has " +
                              std::to_string(has));
    };
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text().isEmpty() || kDataLabels.count(label->objectName()) != 0) continue;
        if (label->wordWrap())
            report(*label, label->text(), label->heightForWidth(label->width()), label->height());
        else
            report(*label, label->text(), label->sizeHint().width(), label->width());
    }
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty()) continue;
        if (const auto* push = qobject_cast<const QPushButton*>(button))
            report(*button, button->text(), PushButtonNeeds(*push), button->width());
        else if (qobject_cast<const QCheckBox*>(button) != nullptr ||
                 qobject_cast<const QRadioButton*>(button) != nullptr)
            report(*button, button->text(), button->sizeHint().width(), button->width());
    }
    return clipped;
}

// The Alt key a caption gives its control, as Qt reads the "&" ("Alt+P"),
// or "" for none.
std::string AltKey(const QString& caption)
{
    return QKeySequence::mnemonic(caption).toString(QKeySequence::PortableText).toStdString();
}

// The keys that appear more than once among `owners` (key and what owns
// it), each as "Alt+X: owner, owner".
std::vector<std::string> Clashes(const std::multimap<std::string, std::string>& owners)
{
    std::vector<std::string> clashes;
    for (auto at = owners.begin(); at != owners.end();) {
        const auto [first, last] = owners.equal_range(at->first);
        if (std::next(first) != last) {
            std::string line = first->first + ":";
            for (auto owner = first; owner != last; ++owner) line += " " + owner->second;
            clashes.push_back(line);
        }
        at = last;
    }
    return clashes;
}

// What the main window answers to an Alt key while no menu is open: the
// menu-bar titles, the commands with an Alt key of their own, and the
// visible buttons, check boxes, group boxes and labels that have a buddy.
std::multimap<std::string, std::string> WindowAltKeys(const QMainWindow& window)
{
    std::multimap<std::string, std::string> owners;
    const auto add = [&owners](const std::string& key, const QObject& owner, const QString& caption) {
        if (!key.empty())
            owners.emplace(key, owner.objectName().toStdString() + " \"" + caption.toStdString() + "\"");
    };
    for (const QAction* title : window.menuBar()->actions())
        if (title->isVisible()) add(AltKey(title->text()), *title->menu(), title->text());
    for (const QAction* command : window.findChildren<QAction*>())
        for (const QKeySequence& key : command->shortcuts())
            if (key.count() == 1 && key[0].keyboardModifiers() == Qt::AltModifier)
                add(key.toString(QKeySequence::PortableText).toStdString(), *command, command->text());
    for (const QWidget* control : window.centralWidget()->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(&window)) continue;
        if (const auto* button = qobject_cast<const QAbstractButton*>(control))
            add(AltKey(button->text()), *button, button->text());
        else if (const auto* box = qobject_cast<const QGroupBox*>(control))
            add(AltKey(box->title()), *box, box->title());
        else if (const auto* label = qobject_cast<const QLabel*>(control); label != nullptr && label->buddy())
            add(AltKey(label->text()), *label, label->text());
    }
    return owners;
}

class Captions : public e2e::MainWindowTest {
protected:
    // Shown, so that layouts have given every widget its size.
    void Check(QWidget&& window) { Check(window); }
    void Check(QWidget& window)
    {
        {
            // A dialog some window opens on its first show is not the one checked.
            const maintest::DialogDismisser dismiss;
            window.show();
            QCoreApplication::processEvents();
        }
        for (const std::string& line : Clipped(window)) clipped.push_back(line);
        window.hide();
    }
    std::vector<std::string> clipped;
};

}  // namespace

TEST_F(Captions, NoFixedCaptionOfAnyWindowIsWiderThanItsWidget)
{
    Start();
    TdmSendoPro& dm = module->Module();
    // The built-in reports' project lies beside the program.
    dm.RpProject1.SetProjectFile((std::filesystem::path(SENDORA_PROGRAM).parent_path() / "Sendo3pro.rpf").string());
    Check(*window);
    window->OpenAddressBook();
    Check(*window);

    {
        TF_About about(0);
        Check(about);
    }
    {
        TF_About splash(1);
        Check(splash);
    }
    Check(TF_PostageFees());
    Check(TF_CalculatePostage());
    Check(TF_SingleEdit());
    Check(TF_Address());
    Check(TF_Database());
    Check(TF_GroupSummary());
    Check(TF_NetworkSettings());
    Check(TF_TextFiles(0));
    Check(TF_TextFiles(1));
    Check(TF_YourAddress());
    Check(TF_Align());
    Check(TF_ExtraLabel());
    Check(TF_MassPrint());
    Check(TF_NumLabels());
    Check(TF_PrinterSetup());
    {
        TF_ProMailer mailerNumber(*dm.edstMailerNum);
        Check(mailerNumber);
    }
    {
        TF_PrintBarCode barcodes(*dm.edstMailerNum);
        Check(barcodes);
    }
    dm.edstMailerNum->Close();
    Check(TF_EditMailer());
    Check(TF_Filter());
    Check(TF_FindMailer());
    Check(TF_Log(dm));
    Check(TF_IncomingMailers(dm));
    Check(TF_MultiMailers());
    Check(TF_Report(dm));
    Check(TF_CreateReport(dm));

    // The log grid over a log long enough for a scroll bar: each column is
    // as wide as its heading and none reaches past the grid's edge.
    for (int i = 0; i < 40; ++i)
        e2e::SqlRows(folder.Log(), "insert into Log37 (DateTime, MailerNum, ToAddress1, YourAddress1, Result, Batch) "
                                   "values ('2026-03-02 10:00:00', '9214 7123 4567 8900 0000 15', 'Ann Able', "
                                   "'Mail Room', 'None', 0)");
    {
        TF_Log log(dm);
        log.show();
        QCoreApplication::processEvents();
        const auto* grid = log.findChild<QTableView*>("gridLog");
        const QHeaderView& header = *grid->horizontalHeader();
        ASSERT_EQ(header.count(), 4);
        ASSERT_TRUE(grid->verticalScrollBar()->isVisible());
        int right = 0;
        for (int i = 0; i < header.count(); ++i) {
            const QString heading = grid->model()->headerData(i, Qt::Horizontal).toString();
            if (header.sectionSize(i) < header.sectionSizeHint(i))
                clipped.push_back("TF_Log: gridLog column \"" + heading.toStdString() + "\" has " +
                                  std::to_string(header.sectionSize(i)) + ", its heading needs " +
                                  std::to_string(header.sectionSizeHint(i)));
            right = std::max(right, header.sectionViewportPosition(i) + header.sectionSize(i));
        }
        if (right > grid->viewport()->width())
            clipped.push_back("TF_Log: gridLog columns end at " + std::to_string(right) + ", past its edge at " +
                              std::to_string(grid->viewport()->width()));
    }

    std::string all;
    for (const std::string& line : clipped) all += "\n  " + line;
    EXPECT_TRUE(clipped.empty()) << "cut off:" << all;
}

// The Alt keys of the main window, with the batch mode on and off and the
// address book closed and open: no two of the menu-bar titles and visible
// controls share a key (a shared key only moves the focus between them),
// and no two items of one menu share a key. The keys the program's
// documentation gives stay: Print's "&Print" (in batch mode "&Batch") and
// the "&Utilities" menu.
TEST_F(Captions, NoTwoThingsOfTheMainWindowAnswerTheSameAltKey)
{
    StartWithAddressBook();
    std::vector<std::string> clashes;
    const auto check = [&](const std::string& state, const char* printKey) {
        const std::multimap<std::string, std::string> owners = WindowAltKeys(*window);
        for (const std::string& clash : Clashes(owners)) clashes.push_back(state + ": " + clash);
        const auto print = owners.equal_range(printKey);
        EXPECT_TRUE(print.first != print.second && print.first->second.starts_with("btnPrint ")) << state;
        EXPECT_EQ(owners.count("Alt+U"), 1u) << state;
    };
    ASSERT_TRUE(gDatabaseON);
    ASSERT_FALSE(gBatch);
    check("address book open", "Alt+P");
    Child<QAction>("miBatchOn")->trigger();
    check("address book open, batch mode", "Alt+B");
    Child<QPushButton>("btnCloseDB")->click();
    ASSERT_FALSE(gDatabaseON);
    check("batch mode", "Alt+B");
    Child<QAction>("miBatchOff")->trigger();
    check("address book closed", "Alt+P");
    EXPECT_EQ(Child<QMenu>("menuUtilities")->title().toStdString(), "&Utilities");

    // A menu's items answer only while it is open, so each menu is checked on its own.
    for (const QMenu* menu : window->findChildren<QMenu*>()) {
        std::multimap<std::string, std::string> items;
        for (const QAction* item : menu->actions())
            if (const std::string key = AltKey(item->text()); !item->isSeparator() && !key.empty())
                items.emplace(key, "\"" + item->text().toStdString() + "\"");
        for (const std::string& clash : Clashes(items))
            clashes.push_back("menu \"" + menu->title().toStdString() + "\" (" + menu->objectName().toStdString() +
                              "): " + clash);
    }
    std::string all;
    for (const std::string& line : clashes) all += "\n  " + line;
    EXPECT_TRUE(clashes.empty()) << "Alt keys shared:" << all;
}
