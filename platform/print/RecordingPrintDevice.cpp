#include "platform/print/RecordingPrintDevice.h"

#include "platform/print/QtPrintDevice.h"

namespace print {

RecordingPrintDevice::RecordingPrintDevice(int dpiX, int dpiY, int offsetX, int offsetY)
    : dpiX_(dpiX), dpiY_(dpiY), offsetX_(offsetX), offsetY_(offsetY)
{
}

void RecordingPrintDevice::FailAt(Op op, int nth)
{
    failOp_ = op;
    failCountdown_ = nth;
}

void RecordingPrintDevice::Record(Call call)
{
    if (failOp_ && *failOp_ == call.op && --failCountdown_ == 0) {
        failOp_.reset();
        throw EPrintError("Recorded print device: failure on demand");
    }
    calls_.push_back(std::move(call));
}

void RecordingPrintDevice::BeginDoc()
{
    if (printing_)
        throw EPrintError("Printing in progress");
    Record(Call(Op::BeginDoc));
    printing_ = true;
    pageHasInk_ = false;
    docHasInk_ = false;
}

void RecordingPrintDevice::EndDoc()
{
    if (!printing_)
        throw EPrintError("Printing not in progress");
    printing_ = false;
    if (pageHasInk_)
        ++pagesPrinted_;
    if (docHasInk_)
        ++documentsPrinted_;
    pageHasInk_ = false;
    Record(Call(Op::EndDoc));
}

void RecordingPrintDevice::NewPage()
{
    if (!printing_)
        throw EPrintError("Printing not in progress");
    Record(Call(Op::NewPage));
    if (pageHasInk_)
        ++pagesPrinted_;
    pageHasInk_ = false;
}

void RecordingPrintDevice::Draw(Call call)
{
    if (!printing_)
        throw EPrintError("Printing not in progress");
    Record(std::move(call));
    pageHasInk_ = true;
    docHasInk_ = true;
}

void RecordingPrintDevice::TextOut(int x, int y, const std::string& text, const FontSpec& font)
{
    Call call(Op::TextOut, x, y);
    call.text = text;
    call.font = font;
    Draw(std::move(call));
}

namespace {
QImage PageOf(int dpiX, int dpiY)
{
    QImage page(1, 1, QImage::Format_Mono);
    page.setDotsPerMeterX(static_cast<int>(dpiX / 0.0254 + 0.5));
    page.setDotsPerMeterY(static_cast<int>(dpiY / 0.0254 + 0.5));
    return page;
}

int Characters(const std::string& text)
{
    int chars = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++chars;
    return chars;
}
}  // namespace

TextSize RecordingPrintDevice::TextExtent(const std::string& text, const FontSpec& font)
{
    if (measureWithFonts_) {
        const QImage page = PageOf(dpiX_, dpiY_);
        return MeasureText(&page, text, font, dpiY_);
    }
    return {Characters(text) * charWidth_, (font.sizePt * dpiY_ + 36) / 72};
}

PixelBox RecordingPrintDevice::TextInk(const std::string& text, const FontSpec& font)
{
    if (measureWithFonts_) {
        const QImage page = PageOf(dpiX_, dpiY_);
        return MeasureInk(&page, text, font, dpiY_);
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(' ');
    const int before = Characters(text.substr(0, first));
    const int through = Characters(text.substr(0, last + 1));
    const int height = TextExtent(text, font).cy;
    return Turned({before * charWidth_ + 1, 1, through * charWidth_ - 1, height - 1}, font.angle);
}

std::vector<PixelBox> RecordingPrintDevice::CharacterInk(const std::string& text, const FontSpec& font)
{
    if (measureWithFonts_) {
        const QImage page = PageOf(dpiX_, dpiY_);
        return MeasureCharacterInk(&page, text, font, dpiY_);
    }
    const int height = TextExtent(text, font).cy;
    const std::vector<std::size_t> starts = CharacterStarts(text);
    std::vector<PixelBox> boxes;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const int left = static_cast<int>(i) * charWidth_;
        const bool blank = text[starts[i]] == ' ';
        boxes.push_back(blank ? PixelBox{} : Turned({left + 1, 1, left + charWidth_ - 1, height - 1}, font.angle));
    }
    return boxes;
}

void RecordingPrintDevice::StretchDraw(int x, int y, int width, int height, const QImage& image)
{
    Call call(Op::StretchDraw, x, y, width, height);
    call.image = image;
    Draw(std::move(call));
}

RecordingPrintDevice::Box RecordingPrintDevice::TextBox(const Call& text)
{
    const TextSize size = TextExtent(text.text, text.font);
    return Turned({0, 0, size.cx, size.cy}, text.font.angle).Moved(text.x + offsetX_, text.y + offsetY_);
}

RecordingPrintDevice::Box RecordingPrintDevice::InkBox(const Call& text)
{
    return TextInk(text.text, text.font).Moved(text.x + offsetX_, text.y + offsetY_);
}

std::vector<RecordingPrintDevice::Call> RecordingPrintDevice::CallsOf(Op op) const
{
    std::vector<Call> result;
    for (const Call& call : calls_)
        if (call.op == op)
            result.push_back(call);
    return result;
}

std::optional<RecordingPrintDevice::Call> RecordingPrintDevice::FindText(const std::string& text) const
{
    for (const Call& call : calls_)
        if (call.op == Op::TextOut && call.text == text)
            return call;
    return std::nullopt;
}

void RecordingPrintDevice::Clear()
{
    calls_.clear();
    pagesPrinted_ = 0;
    documentsPrinted_ = 0;
}

}  // namespace print
