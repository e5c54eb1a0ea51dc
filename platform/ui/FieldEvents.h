#pragma once
// How the dialogs' checked edit fields read their events.

#include <QChar>

class QEvent;

namespace ui {

// When a field's checks run: on focus that moves inside the dialog. A message
// box or a pop-up taking the window's focus is not the user leaving the field,
// and checking then would show the same message again and again.
bool LeavesField(const QEvent* event);

// A typed character a digits-only field swallows: anything but a digit or an
// editing control such as Backspace. Enter and line feeds are swallowed too.
bool DigitFieldRefuses(QChar typed);

}  // namespace ui
