#include "platform/ui/FieldEvents.h"

#include <QFocusEvent>

#include <gtest/gtest.h>

namespace {

bool Leaves(QEvent::Type type, Qt::FocusReason reason) {
    const QFocusEvent event(type, reason);
    return ui::LeavesField(&event);
}

// A message box shown by a field's own check takes the window's focus; if that
// counted as leaving, the check would run again behind the box, endlessly.
TEST(FieldEventsTest, OnlyFocusMovingInsideTheDialogLeavesTheField) {
    EXPECT_TRUE(Leaves(QEvent::FocusOut, Qt::TabFocusReason));
    EXPECT_TRUE(Leaves(QEvent::FocusOut, Qt::MouseFocusReason));
    EXPECT_FALSE(Leaves(QEvent::FocusOut, Qt::ActiveWindowFocusReason));
    EXPECT_FALSE(Leaves(QEvent::FocusOut, Qt::PopupFocusReason));
    EXPECT_FALSE(Leaves(QEvent::FocusIn, Qt::TabFocusReason));
}

TEST(FieldEventsTest, DigitFieldsTakeDigitsAndEditingKeysOnly) {
    EXPECT_FALSE(ui::DigitFieldRefuses(QChar('7')));
    EXPECT_FALSE(ui::DigitFieldRefuses(QChar('\b')));  // Backspace
    for (const char c : {'x', '-', ' ', '.', '\r', '\n'}) EXPECT_TRUE(ui::DigitFieldRefuses(QChar(c))) << int(c);
}

}  // namespace
