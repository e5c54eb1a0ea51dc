#pragma once
// Where the engine's message boxes and small panels go. The program routes them
// to its Qt message service; without it, boxes are written to stderr and
// answered OK; tests install a recording sink. Texts are UTF-8.

#include <functional>
#include <string>

namespace xf {

constexpr int IDOK = 1;
constexpr unsigned MB_ICONSTOP = 16;

// A borderless panel (message or progress) as the engine wants it shown.
struct TXfPanelView {
    int Id = 0;  // the same for every update of one panel
    std::string Caption;  // empty: no border and no title bar
    std::string Text;
    int Width = 0, Height = 0;
};

struct TXfUiHooks {
    // Shows a modal box; returns the button pressed (IDOK, ...).
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)> MessageBox;
    // Shows or updates a panel; ClosePanel removes it.
    std::function<void(const TXfPanelView& view)> ShowPanel;
    std::function<void(int id)> ClosePanel;
    // Width and height in pixels of a text (one or more lines) in the panel's font.
    std::function<void(const std::string& text, int& width, int& height)> MeasureText;
    // Lets the program repaint while the engine works.
    std::function<void()> ProcessMessages;
};

const TXfUiHooks& XfUi();
// Replaces the hooks; a missing function keeps the headless default.
void XfSetUiHooks(TXfUiHooks hooks);

}  // namespace xf
