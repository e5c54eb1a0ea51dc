#pragma once
// The engine's two small windows: a borderless message panel and a progress bar of
// 100 marks. They are drawn by the program through the UI hooks (XfUi); here lives
// what they show and when they grow.

#include <string>
#include <string_view>

namespace xf {

class TXfMsg {
public:
    explicit TXfMsg(std::string caption = {});
    virtual ~TXfMsg();
    TXfMsg(const TXfMsg&) = delete;
    TXfMsg& operator=(const TXfMsg&) = delete;

    // A non-empty text becomes the message. The panel grows (never shrinks) to the
    // text plus a margin of 30 pixels, then shows the message and lets the program repaint.
    void ShowText(std::string_view text);

    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption) { caption_ = std::move(caption); }
    const std::string& Text() const { return text_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Visible() const { return visible_; }

private:
    int id_;
    std::string caption_, text_;
    int width_ = 0, height_ = 0;
    bool bordered_ = false;
    bool visible_ = false;
};

class TXfProgress100 : public TXfMsg {
public:
    explicit TXfProgress100(std::string caption = "Progress");
    // One mark less; an empty bar starts again at 100 marks.
    void Step();
    const std::string& Bar() const { return bar_; }

private:
    std::string bar_;
};

}  // namespace xf
