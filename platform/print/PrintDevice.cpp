#include "platform/print/PrintDevice.h"

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

PixelBox PrintDevice::TextInk(const std::string& text, const FontSpec& font)
{
    if (text.find_first_not_of(' ') == std::string::npos)
        return {};
    const TextSize cell = TextExtent(text, font);
    return Turned({0, 0, cell.cx, cell.cy}, font.angle);
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
