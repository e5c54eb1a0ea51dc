#include "dbfengine/xfmsg.h"

#include <algorithm>

#include "dbfengine/platform/XfUi.h"

namespace xf {

namespace {

constexpr int kMargin = 30;
constexpr int kCaptionBarHeight = 20;

int NextPanelId()
{
    static int id = 0;
    return ++id;
}

}  // namespace

TXfMsg::TXfMsg(std::string caption) : id_(NextPanelId()), caption_(std::move(caption)) {}

TXfMsg::~TXfMsg()
{
    if (visible_) XfUi().ClosePanel(id_);
}

void TXfMsg::ShowText(std::string_view text)
{
    if (!text.empty()) text_ = std::string(text);
    const TXfUiHooks& ui = XfUi();
    int width = 0, height = 0;
    ui.MeasureText(text_, width, height);
    width += kMargin;
    height += kMargin;
    const bool bordered = !caption_.empty();
    if (bordered) {
        height += kCaptionBarHeight;
        int captionWidth = 0, captionHeight = 0;
        ui.MeasureText(caption_, captionWidth, captionHeight);
        width = std::max(width, captionWidth);
    }
    if (width > width_ || height > height_ || bordered != bordered_ || !visible_) {
        width_ = width;
        height_ = height;
        bordered_ = bordered;
        visible_ = true;
    }
    ui.ShowPanel(TXfPanelView {id_, caption_, text_, width_, height_});
    ui.ProcessMessages();
}

TXfProgress100::TXfProgress100(std::string caption) : TXfMsg(std::move(caption)), bar_(100, '|')
{
    ShowText(bar_);
}

void TXfProgress100::Step()
{
    if (bar_.empty()) {
        bar_.assign(100, '|');
    } else {
        bar_.erase(0, 1);
    }
    ShowText(bar_);
}

}  // namespace xf
