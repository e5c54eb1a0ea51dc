#include "platform/print/PrintDevice.h"

namespace print {

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
