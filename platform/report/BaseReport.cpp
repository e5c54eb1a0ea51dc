#include "platform/report/BaseReport.h"

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace report {
namespace {

// n / d rounded half to even; d > 0.
std::int64_t RoundDiv(std::int64_t n, std::int64_t d) {
    const bool negative = n < 0;
    const std::int64_t a = negative ? -n : n;
    std::int64_t q = a / d;
    const std::int64_t r = a % d;
    if (2 * r > d || (2 * r == d && (q % 2) != 0)) ++q;
    return negative ? -q : q;
}

// A one-pixel image of the grey, stretched by the device into rules and shading.
const QImage& Ink(int shadePercent) {
    static std::vector<QImage> cache(101);
    const int shade = std::clamp(shadePercent, 0, 100);
    QImage& image = cache[static_cast<std::size_t>(shade)];
    if (image.isNull()) {
        image = QImage(1, 1, QImage::Format_RGB32);
        const int level = 255 * (100 - shade) / 100;
        image.fill(QColor(level, level, level));
    }
    return image;
}

constexpr int kSmallestFitPoints = 4;

}  // namespace

int InchToPixels(double inches, int dpi) {
    // std::nearbyint rounds half to even in the default rounding mode.
    const auto hundredths = static_cast<std::int64_t>(std::nearbyint(inches * 100.0));
    return static_cast<int>(RoundDiv(hundredths * dpi, 100));
}

TBaseReport::TBaseReport(print::PrintDevice& device, const PageSetup& setup)
    : device_(device),
      setup_(setup),
      dpiX_(device.DpiX()),
      dpiY_(device.DpiY()),
      offsetX_(device.OffsetX()),
      offsetY_(device.OffsetY()) {
    left_ = X(setup_.marginLeft);
    top_ = Y(setup_.marginTop);
    bottom_ = Y(setup_.paperHeight) - Y(setup_.marginBottom);
    AdjustLine();
    Home();
}

void TBaseReport::ClearTabs() {
    tabs_.clear();
    nextTab_ = 0;
}

void TBaseReport::SetTab(double position, TPrintJustify justify, double width, double margin, int lines,
                         int shade) {
    Tab tab;
    if (position == NA)
        tab.left = tabs_.empty() ? left_ : tabs_.back().left + tabs_.back().width;
    else
        tab.left = X(position);
    tab.width = std::max(0, X(width));
    tab.justify = justify;
    tab.margin = std::max(0, X(margin / 100.0));
    tab.lines = lines;
    tab.shade = shade;
    tabs_.push_back(tab);
}

void TBaseReport::PrintTab(const std::string& text) {
    if (nextTab_ >= tabs_.size()) {
        Print(text);
        return;
    }
    const Tab& tab = tabs_[nextTab_++];
    if (tab.shade > 0) Fill(tab.left, y_, tab.width, lineHeight_, tab.shade);

    // Rules are centred on the box edges, so neighbouring boxes share theirs.
    const int rule = std::max(1, X(0.01));
    const int ruleY = std::max(1, Y(0.01));
    if (tab.lines & BOXLINELEFT) Fill(tab.left - rule / 2, y_, rule, lineHeight_, 100);
    if (tab.lines & BOXLINERIGHT) Fill(tab.left + tab.width - rule / 2, y_, rule, lineHeight_, 100);
    if (tab.lines & BOXLINETOP) Fill(tab.left - rule / 2, y_ - ruleY / 2, tab.width + rule, ruleY, 100);
    if (tab.lines & BOXLINEBOTTOM)
        Fill(tab.left - rule / 2, y_ + lineHeight_ - ruleY / 2, tab.width + rule, ruleY, 100);

    TPrintJustify justify = tab.justify;
    switch (tabJustify_) {
        case tjLeft: justify = pjLeft; break;
        case tjCenter: justify = pjCenter; break;
        case tjRight: justify = pjRight; break;
        case tjNone: break;
    }
    print::FontSpec font = font_;
    const int room = tab.width - 2 * tab.margin;
    print::TextSize size = device_.TextExtent(text, font);
    while (size.cx > room && font.sizePt > kSmallestFitPoints) {
        --font.sizePt;
        size = device_.TextExtent(text, font);
    }
    int x = tab.left + tab.margin;
    if (justify == pjCenter) x = tab.left + (tab.width - size.cx) / 2;
    if (justify == pjRight) x = tab.left + tab.width - tab.margin - size.cx;
    if (!text.empty()) TextAt(x, text, font);
    x_ = tab.left + tab.width;
}

void TBaseReport::SetFont(const std::string& name, int sizePoints) {
    font_.name = name;
    font_.sizePt = std::max(1, sizePoints);
}

void TBaseReport::AdjustLine() {
    const int height = device_.TextExtent("Xg", font_).cy;
    lineHeight_ = std::max(1, height + height / 5);
}

void TBaseReport::Home() {
    x_ = left_;
    y_ = top_;
    nextTab_ = 0;
}

void TBaseReport::NewLine() {
    x_ = left_;
    y_ += lineHeight_;
    nextTab_ = 0;
}

void TBaseReport::NewPage() {
    if (inFooter_) return;
    RunFooter();
    device_.NewPage();
    ++page_;
    Home();
}

int TBaseReport::LinesLeft() const {
    const int below = bottom_ - (y_ + lineHeight_);
    return below > 0 ? below / lineHeight_ : 0;
}

void TBaseReport::Print(const std::string& text) {
    if (text.empty()) return;
    TextAt(x_, text, font_);
    x_ += device_.TextExtent(text, font_).cx;
}

void TBaseReport::PrintCenter(const std::string& text, double x) {
    if (text.empty()) return;
    TextAt(X(x) - device_.TextExtent(text, font_).cx / 2, text, font_);
}

void TBaseReport::PrintRight(const std::string& text, double x) {
    if (text.empty()) return;
    TextAt(X(x) - device_.TextExtent(text, font_).cx, text, font_);
}

double TBaseReport::XPos() const { return static_cast<double>(x_) / dpiX_; }
double TBaseReport::YPos() const { return static_cast<double>(y_) / dpiY_; }
double TBaseReport::LineHeight() const { return static_cast<double>(lineHeight_) / dpiY_; }

void TBaseReport::Finish() {
    if (finished_) return;
    finished_ = true;
    RunFooter();
}

void TBaseReport::TextAt(int x, const std::string& text, const print::FontSpec& font) {
    const int height = device_.TextExtent(text, font).cy;
    const int y = y_ + std::max(0, (lineHeight_ - height) / 2);
    device_.TextOut(x - offsetX_, y - offsetY_, text, font);
}

void TBaseReport::Fill(int x, int y, int width, int height, int shadePercent) {
    if (width <= 0 || height <= 0) return;
    device_.StretchDraw(x - offsetX_, y - offsetY_, width, height, Ink(shadePercent));
}

void TBaseReport::RunFooter() {
    if (!OnPrintFooter || inFooter_) return;
    inFooter_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inFooter_};
    OnPrintFooter(*this);
}

}  // namespace report
