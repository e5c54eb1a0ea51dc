#pragma once
// The print device over QPrinter: a CUPS printer, or a PDF file. For a
// printer each document is drawn, laid out as the printer lays out its paper,
// into a PDF file that goes to the queue as one job when the document ends,
// so that a job the spooler refuses fails the document.

#include "platform/print/PrintDevice.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QPaintDevice;
class QPainter;
class QPrinter;
class QTemporaryFile;

namespace print {

class QtPrintDevice final : public PrintDevice {
public:
    // A CUPS queue by name; raises EPrintError when no such printer exists, or
    // when the queue is paused or refuses jobs (a job would never print).
    static std::unique_ptr<QtPrintDevice> ForPrinter(const std::string& printerName, int dpi);
    // A US Letter PDF file without margins. The first document goes to `path`;
    // each later document of this device to "<stem>-2.pdf", "<stem>-3.pdf" and
    // so on, so that a second job never overwrites the first.
    static std::unique_ptr<QtPrintDevice> ForPdf(const std::string& path, int dpi);

    ~QtPrintDevice() override;

    int DpiX() const override;
    int DpiY() const override;
    int OffsetX() const override;
    int OffsetY() const override;

    void BeginDoc() override;
    void EndDoc() override;
    void NewPage() override;
    bool Printing() const override { return docOpen_; }

    void TextOut(int x, int y, const std::string& text, const FontSpec& font) override;
    TextSize TextExtent(const std::string& text, const FontSpec& font) override;
    PixelBox TextInk(const std::string& text, const FontSpec& font) override;
    std::vector<PixelBox> CharacterInk(const std::string& text, const FontSpec& font) override;
    void StretchDraw(int x, int y, int width, int height, const QImage& image) override;

    // Options (name, value) that go to the spooler with every later job of a
    // printer, such as the paper tray ("media-col"). A PDF file has no
    // spooler and ignores them.
    void SetJobOptions(std::vector<std::pair<std::string, std::string>> options);
    const std::vector<std::pair<std::string, std::string>>& JobOptions() const { return jobOptions_; }

    // PDF files written so far, in order (empty for a printer).
    const std::vector<std::string>& OutputFiles() const { return outputFiles_; }

private:
    QtPrintDevice(std::unique_ptr<QPrinter> printer, bool pdf, std::string pdfPath, std::string printerName);

    // Starts the painter (and so the first page) or the pending next page.
    void EnsurePage();
    std::string NextPdfPath() const;

    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;
    bool pdf_;
    std::string pdfPath_;
    std::string printerName_;
    std::unique_ptr<QTemporaryFile> spoolFile_;  // the printer's document being drawn
    std::vector<std::string> outputFiles_;
    std::vector<std::pair<std::string, std::string>> jobOptions_;
    bool docOpen_ = false;
    bool newPagePending_ = false;
};

// Text as the printer devices place it, for any painter over a printer: the
// preview draws with these, so it shows what the printer prints. `text`'s cell
// has its top-left corner at (x, y) and turns about it by the font's angle.
void PaintText(QPainter& painter, const QPaintDevice* device, int x, int y, const std::string& text,
               const FontSpec& font, int dpiY);
TextSize MeasureText(const QPaintDevice* device, const std::string& text, const FontSpec& font, int dpiY);
// The ink of text placed as PaintText places it at (0, 0): the bounds of its
// glyphs' outlines, to the nearest pixel edge.
PixelBox MeasureInk(const QPaintDevice* device, const std::string& text, const FontSpec& font, int dpiY);
// The same ink character by character, as PrintDevice::CharacterInk gives it.
std::vector<PixelBox> MeasureCharacterInk(const QPaintDevice* device, const std::string& text, const FontSpec& font,
                                          int dpiY);

}  // namespace print
