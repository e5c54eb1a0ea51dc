#pragma once
// Print devices the report system puts between a report and its paper.

#include "platform/print/PrintDevice.h"

#include <memory>

class QPainter;
class QPrinter;

namespace report {

// Prints a landscape page on portrait paper: the page is turned a quarter
// counter-clockwise, so its text reads upwards along the paper. Coordinates
// given to it are pixels of the landscape page from its top-left corner
// (it reports no offset of its own); the paper's offset is taken off inside.
class LandscapeDevice final : public print::PrintDevice {
public:
    // paperHeight: the portrait paper's height in inches.
    LandscapeDevice(print::PrintDevice& paper, double paperHeight);

    int DpiX() const override { return paper_.DpiY(); }
    int DpiY() const override { return paper_.DpiX(); }
    int OffsetX() const override { return 0; }
    int OffsetY() const override { return 0; }
    void BeginDoc() override { paper_.BeginDoc(); }
    void EndDoc() override { paper_.EndDoc(); }
    void NewPage() override { paper_.NewPage(); }
    bool Printing() const override { return paper_.Printing(); }
    void TextOut(int x, int y, const std::string& text, const print::FontSpec& font) override;
    print::TextSize TextExtent(const std::string& text, const print::FontSpec& font) override;
    void StretchDraw(int x, int y, int width, int height, const QImage& image) override;

private:
    print::PrintDevice& paper_;
    int paperHeightPx_;  // along the paper's y axis
};

// Draws on a QPrinter that someone else owns (the preview window's), with
// the whole paper as the drawing area. Fonts and text placement follow the
// program's printer device, so the preview shows what the printer prints.
class PrinterPainterDevice final : public print::PrintDevice {
public:
    explicit PrinterPainterDevice(QPrinter& printer);
    ~PrinterPainterDevice() override;

    int DpiX() const override;
    int DpiY() const override;
    int OffsetX() const override { return 0; }
    int OffsetY() const override { return 0; }
    void BeginDoc() override;
    void EndDoc() override;
    void NewPage() override;
    bool Printing() const override { return open_; }
    void TextOut(int x, int y, const std::string& text, const print::FontSpec& font) override;
    print::TextSize TextExtent(const std::string& text, const print::FontSpec& font) override;
    void StretchDraw(int x, int y, int width, int height, const QImage& image) override;

private:
    void EnsurePage();

    QPrinter& printer_;
    std::unique_ptr<QPainter> painter_;
    bool open_ = false;
    bool newPagePending_ = false;
};

}  // namespace report
