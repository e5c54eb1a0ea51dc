#include "platform/print/PrintDevice.h"

#include <algorithm>

namespace print {

PixelBox Turned(const PixelBox& box, int angle)
{
    // On the page y points down, so a counter-clockwise turn by a quarter
    // takes (x, y) to (y, -x).
    switch (angle) {
    case 900: return {box.top, -box.right, box.bottom, -box.left};
    case 1800: return {-box.right, -box.bottom, -box.left, -box.top};
    case 2700: return {-box.bottom, box.left, -box.top, box.right};
    default: return box;
    }
}

PixelBox Union(const PixelBox& a, const PixelBox& b)
{
    if (a.Empty())
        return b;
    if (b.Empty())
        return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

std::vector<std::size_t> CharacterStarts(const std::string& text)
{
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    return starts;
}

PixelBox PrintDevice::TextInk(const std::string& text, const FontSpec& font)
{
    if (text.find_first_not_of(' ') == std::string::npos)
        return {};
    const TextSize cell = TextExtent(text, font);
    return Turned({0, 0, cell.cx, cell.cy}, font.angle);
}

std::vector<PixelBox> PrintDevice::CharacterInk(const std::string& text, const FontSpec& font)
{
    const FontSpec upright{font.name, font.sizePt, 0};
    const std::vector<std::size_t> starts = CharacterStarts(text);
    std::vector<PixelBox> boxes;
    boxes.reserve(starts.size());
    const int height = TextExtent(text, upright).cy;
    int left = 0;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
        const int right = TextExtent(text.substr(0, end), upright).cx;
        const bool blank = end - starts[i] == 1 && text[starts[i]] == ' ';
        boxes.push_back(blank ? PixelBox{} : Turned({left, 0, right, height}, font.angle));
        left = right;
    }
    return boxes;
}

DocumentGuard::~DocumentGuard()
{
    if (device_ == nullptr || !device_->Printing())
        return;
    try {
        device_->EndDoc();
    } catch (...) {
        // The exception that brought us here is the one the caller must see.
    }
}

void DocumentGuard::Close()
{
    PrintDevice* device = device_;
    device_ = nullptr;
    if (device != nullptr && device->Printing())
        device->EndDoc();
}

namespace {
std::unique_ptr<PrintDevice>& ProcessPrinter()
{
    static std::unique_ptr<PrintDevice> printer;
    return printer;
}
}  // namespace

void SetPrinter(std::unique_ptr<PrintDevice> device)
{
    ProcessPrinter() = std::move(device);
}

PrintDevice& Printer()
{
    if (!ProcessPrinter())
        throw EPrintError("No printer is selected.");
    return *ProcessPrinter();
}

bool HasPrinter()
{
    return ProcessPrinter() != nullptr;
}

}  // namespace print
