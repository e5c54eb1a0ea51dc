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

TextSize RecordingPrintDevice::TextExtent(const std::string& text, const FontSpec& font)
{
    if (measureWithFonts_) {
        QImage page(1, 1, QImage::Format_Mono);
        page.setDotsPerMeterX(static_cast<int>(dpiX_ / 0.0254 + 0.5));
        page.setDotsPerMeterY(static_cast<int>(dpiY_ / 0.0254 + 0.5));
        return MeasureText(&page, text, font, dpiY_);
    }
    int chars = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++chars;
    return {chars * charWidth_, (font.sizePt * dpiY_ + 36) / 72};
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
    const int x = text.x + offsetX_;
    const int y = text.y + offsetY_;
    // The cell turns counter-clockwise about its top-left corner.
    switch (text.font.angle) {
    case 1800: return {x - size.cx, y - size.cy, x, y};
    case 2700: return {x - size.cy, y, x, y + size.cx};
    case 900: return {x, y - size.cx, x + size.cy, y};
    default: return {x, y, x + size.cx, y + size.cy};
    }
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
