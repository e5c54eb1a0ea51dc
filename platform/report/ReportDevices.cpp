#include "platform/report/ReportDevices.h"

#include "platform/print/QtPrintDevice.h"
#include "platform/report/BaseReport.h"

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QTransform>

namespace report {

LandscapeDevice::LandscapeDevice(print::PrintDevice& paper, double paperHeight)
    : paper_(paper), paperHeightPx_(InchToPixels(paperHeight, paper.DpiY())) {}

// A landscape point (x, y) lies on the paper at (y, H - x): the page's x axis
// runs up the paper and its y axis to the right, which is exactly the frame
// of text turned 90 degrees counter-clockwise.
void LandscapeDevice::TextOut(int x, int y, const std::string& text, const print::FontSpec& font) {
    print::FontSpec turned = font;
    turned.angle = (font.angle + 900) % 3600;
    paper_.TextOut(y - paper_.OffsetX(), paperHeightPx_ - x - paper_.OffsetY(), text, turned);
}

print::TextSize LandscapeDevice::TextExtent(const std::string& text, const print::FontSpec& font) {
    return paper_.TextExtent(text, font);
}

void LandscapeDevice::StretchDraw(int x, int y, int width, int height, const QImage& image) {
    const QImage turned = image.transformed(QTransform().rotate(-90));
    paper_.StretchDraw(y - paper_.OffsetX(), paperHeightPx_ - x - width - paper_.OffsetY(), height, width, turned);
}

PrinterPainterDevice::PrinterPainterDevice(QPrinter& printer) : printer_(printer) {}

PrinterPainterDevice::~PrinterPainterDevice() {
    if (painter_) painter_->end();
}

int PrinterPainterDevice::DpiX() const { return printer_.resolution(); }
int PrinterPainterDevice::DpiY() const { return printer_.resolution(); }

void PrinterPainterDevice::BeginDoc() {
    if (open_) throw print::EPrintError("Printing in progress");
    open_ = true;
    newPagePending_ = false;
}

void PrinterPainterDevice::EndDoc() {
    if (!open_) throw print::EPrintError("Printing not in progress");
    open_ = false;
    if (!painter_) return;
    const bool ended = painter_->end();
    painter_.reset();
    if (!ended) throw print::EPrintError("The document could not be completed on the printer.");
}

void PrinterPainterDevice::NewPage() {
    if (!open_) throw print::EPrintError("Printing not in progress");
    if (painter_) newPagePending_ = true;
}

void PrinterPainterDevice::EnsurePage() {
    if (!open_) throw print::EPrintError("Printing not in progress");
    if (!painter_) {
        auto painter = std::make_unique<QPainter>();
        if (!painter->begin(&printer_)) throw print::EPrintError("The printer cannot start the document.");
        painter->setRenderHint(QPainter::LosslessImageRendering, true);
        painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter->setPen(Qt::black);
        painter_ = std::move(painter);
    } else if (newPagePending_) {
        if (!printer_.newPage()) throw print::EPrintError("The printer cannot start a new page.");
    }
    newPagePending_ = false;
}

void PrinterPainterDevice::TextOut(int x, int y, const std::string& text, const print::FontSpec& font) {
    EnsurePage();
    print::PaintText(*painter_, &printer_, x, y, text, font, DpiY());
}

print::TextSize PrinterPainterDevice::TextExtent(const std::string& text, const print::FontSpec& font) {
    return print::MeasureText(&printer_, text, font, DpiY());
}

void PrinterPainterDevice::StretchDraw(int x, int y, int width, int height, const QImage& image) {
    EnsurePage();
    painter_->drawImage(QRect(x, y, width, height), image);
}

}  // namespace report
