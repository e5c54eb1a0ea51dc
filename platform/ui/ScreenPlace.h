#pragma once
// Where a window opens. Dialogs that belong to no particular part of the main
// window open in the middle of the screen, wherever the main window stands.

class QWidget;

namespace ui {

// Moves the window so that it stands in the middle of its screen's available
// area. Called before the first show it also keeps Qt from centring the dialog
// on its parent.
void CenterOnScreen(QWidget& Window);

}  // namespace ui
