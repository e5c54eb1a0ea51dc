#include "dbfengine/platform/XfUi.h"

#include <algorithm>
#include <cstdio>

namespace xf {

namespace {

TXfUiHooks Headless()
{
    TXfUiHooks hooks;
    hooks.MessageBox = [](const std::string& text, const std::string& caption, unsigned) {
        std::fprintf(stderr, "%s\n%s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        return IDOK;
    };
    hooks.ShowPanel = [](const TXfPanelView&) {};
    hooks.ClosePanel = [](int) {};
    // A fixed cell of 8 by 16 pixels per character.
    hooks.MeasureText = [](const std::string& text, int& width, int& height) {
        int lines = 1, column = 0, widest = 0;
        for (char c : text) {
            if (c == '\n') {
                ++lines;
                column = 0;
            } else if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
                widest = std::max(widest, ++column);
            }
        }
        width = widest * 8;
        height = lines * 16;
    };
    hooks.ProcessMessages = [] {};
    return hooks;
}

TXfUiHooks& Current()
{
    static TXfUiHooks hooks = Headless();
    return hooks;
}

}  // namespace

const TXfUiHooks& XfUi() { return Current(); }

void XfSetUiHooks(TXfUiHooks hooks)
{
    TXfUiHooks fallback = Headless();
    if (!hooks.MessageBox) hooks.MessageBox = fallback.MessageBox;
    if (!hooks.ShowPanel) hooks.ShowPanel = fallback.ShowPanel;
    if (!hooks.ClosePanel) hooks.ClosePanel = fallback.ClosePanel;
    if (!hooks.MeasureText) hooks.MeasureText = fallback.MeasureText;
    if (!hooks.ProcessMessages) hooks.ProcessMessages = fallback.ProcessMessages;
    Current() = std::move(hooks);
}

}  // namespace xf
