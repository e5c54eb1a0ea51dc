#pragma once
// When an edit field's checks run: on focus that moves inside the dialog. A
// message box or a pop-up taking the window's focus is not the user leaving
// the field, and checking then would show the same message again and again.

class QEvent;

namespace ui {

bool LeavesField(const QEvent* event);

}  // namespace ui
