// The engine's halt box reaches the program's message service, and its progress
// panel is a real window that follows the bar and goes when the panel does.

#include "app/dialogs/U_XfEngineWindows.h"

#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfUi.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfmsg.h"
#include "platform/ui/MessageService.h"
#include "tests/support/QtTestApp.h"

namespace {

QLabel* VisiblePanel()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* label = qobject_cast<QLabel*>(widget); label && label->isVisible()) return label;
    return nullptr;
}

}  // namespace

TEST(XfEngineWindows, BoxesGoThroughTheMessageServiceAndPanelsAreWindows)
{
    testsupport::EnsureQtApp();
    InstallXfEngineWindows();
    ui::ScriptedMessages messages;
    EXPECT_EQ(xf::XfMessageBox("Error # 215 (No database in use)\r\nctx", "Program halted.", xf::MB_ICONSTOP), xf::IDOK);
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(messages.Last().title, "Program halted.");
    EXPECT_EQ(messages.Last().text, "Error # 215 (No database in use)\r\nctx");
    {
        xf::TXfProgress100 progress("Indexing LOG");
        QLabel* panel = VisiblePanel();
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->text(), QString(100, '|'));
        EXPECT_EQ(panel->windowTitle(), "Indexing LOG");
        progress.Step();
        EXPECT_EQ(panel->text(), QString(99, '|'));
        EXPECT_GE(panel->width(), QFontMetrics(panel->font()).horizontalAdvance(QString(100, '|')));
    }
    EXPECT_EQ(VisiblePanel(), nullptr);
    xf::XfSetUiHooks({});
}
