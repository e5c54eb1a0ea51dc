#include "platform/ui/MessageService.h"

#include "tests/support/QtTestApp.h"

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(MessageServiceTest, ScriptedBoxesAreCapturedWithKindTitleAndText) {
    ui::ScriptedMessages script;
    ui::ShowError("No records available for report.");
    ui::ShowInformation("Done.", "Import");
    ui::ShowWarning("Careful.");
    ASSERT_EQ(script.Count(), 3u);
    EXPECT_EQ(script.Shown()[0].kind, ui::MsgKind::Error);
    EXPECT_EQ(script.Shown()[0].title, "Error");
    EXPECT_EQ(script.Shown()[0].text, "No records available for report.");
    EXPECT_EQ(script.Shown()[1].title, "Import");
    EXPECT_EQ(script.Shown()[1].kind, ui::MsgKind::Information);
    EXPECT_EQ(script.Last().kind, ui::MsgKind::Warning);
    EXPECT_EQ(script.Last().title, "Warning");
}

TEST(MessageServiceTest, QueuedAnswersAreUsedInOrderThenTheHarmlessOne) {
    ui::ScriptedMessages script;
    script.Answer(ui::mrYes);
    script.Answer(ui::mrNo);
    EXPECT_TRUE(ui::AskYesNo("Delete?"));
    EXPECT_FALSE(ui::AskYesNo("Delete?"));
    EXPECT_EQ(script.PendingAnswers(), 0u);
    // Unscripted questions must never go on.
    EXPECT_FALSE(ui::AskYesNo("Overwrite?"));
    EXPECT_EQ(ui::AskYesNoCancel("Delete the group?"), ui::mrCancel);
    EXPECT_EQ(script.Last().buttons, ui::MsgButtons::YesNoCancel);
    EXPECT_EQ(script.Last().kind, ui::MsgKind::Confirmation);
    // An answer a Yes/No/Cancel box cannot give is read as Cancel.
    script.Answer(ui::mrOk);
    EXPECT_EQ(ui::AskYesNoCancel("Delete?"), ui::mrCancel);
}

TEST(MessageServiceTest, ChoiceBoxCarriesCaptionsAndReturnsButtonIndex) {
    ui::ScriptedMessages script;
    script.Answer(1);
    EXPECT_EQ(ui::ShowChoice("Printing", "Mailer has been sent to printer.",
                             {"&Do not show this screen again", "&OK"}),
              1);
    EXPECT_EQ(script.Last().title, "Printing");
    EXPECT_EQ(script.Last().customButtons.size(), 2u);
    EXPECT_EQ(script.Last().customButtons[1], "&OK");
    EXPECT_EQ(ui::ShowChoice("x", "y", {"&Never Print again"}), ui::mrCancel);
}

TEST(MessageServiceTest, HandlerSeesTheBoxAndScriptsNestAndRestore) {
    ui::ScriptedMessages outer;
    {
        ui::ScriptedMessages inner;
        inner.onMessage = [](const ui::MessageRequest& r) { return r.text == "go?" ? ui::mrYes : ui::mrNo; };
        EXPECT_TRUE(ui::AskYesNo("go?"));
        EXPECT_FALSE(ui::AskYesNo("stop?"));
        EXPECT_EQ(inner.Count(), 2u);
    }
    ui::ShowError("after");
    EXPECT_EQ(outer.Count(), 1u);
    outer.Clear();
    EXPECT_EQ(outer.Count(), 0u);
    EXPECT_THROW(outer.Last(), std::logic_error);
}

// The real presenter, answered by clicking the box that opens.
TEST(MessageServiceTest, QtPresenterShowsModalBoxesAndMapsButtons) {
    testsupport::EnsureQtApp();
    auto clickWhenOpen = [](const QString& caption) {
        QTimer::singleShot(0, [caption] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QDialog*>(w);
                if (dialog == nullptr || !dialog->isVisible()) continue;
                for (QPushButton* b : dialog->findChildren<QPushButton*>())
                    if (b->text().remove('&') == caption) b->click();
            }
        });
    };
    clickWhenOpen("No");
    EXPECT_FALSE(ui::AskYesNo("Really?"));
    clickWhenOpen("Yes");
    EXPECT_EQ(ui::AskYesNoCancel("Delete?"), ui::mrYes);
    clickWhenOpen("Second");
    EXPECT_EQ(ui::ShowChoice("Pick", "Line one\r\nLine two", {"First", "Second"}), 2);
    // Closed without a button.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) dialog->reject();
    });
    EXPECT_EQ(ui::ShowChoice("Pick", "text", {"Only"}), ui::mrCancel);
}

}  // namespace
