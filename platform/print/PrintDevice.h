#pragma once
// The one surface through which the program draws on paper. Coordinates are
// device pixels of the current document, origin at the top-left corner of the
// printable area, x to the right and y downwards.

#include "platform/rtl/SysUtils.h"

#include <memory>
#include <string>

class QImage;

namespace print {

// A printer that cannot start, a page that cannot be drawn, a job the spooler refused.
class EPrintError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

// A font as the program names it: the face name the user or the form asks for
// (mapped to an installed family by the device, see Fonts.h), its size in
// points and the angle of its baseline in tenths of a degree counter-clockwise
// (1800 upside down, 2700 reading downwards). Weight is always normal.
struct FontSpec {
    std::string name;
    int sizePt = 10;
    int angle = 0;

    bool operator==(const FontSpec&) const = default;
};

struct TextSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const TextSize&) const = default;
};

class PrintDevice {
public:
    virtual ~PrintDevice() = default;

    // Pixels per inch across and down.
    virtual int DpiX() const = 0;
    virtual int DpiY() const = 0;
    // Distance in device pixels from the paper's top-left corner to the
    // printable area's: what the printer cannot reach.
    virtual int OffsetX() const = 0;
    virtual int OffsetY() const = 0;

    // A document is one print job. Pages start lazily with the first drawing,
    // so a document or a page with nothing on it produces no paper.
    virtual void BeginDoc() = 0;
    virtual void EndDoc() = 0;
    virtual void NewPage() = 0;
    virtual bool Printing() const = 0;

    // Draws text so that the top-left corner of its first character cell, in
    // the font's own rotated frame, lies at (x, y).
    virtual void TextOut(int x, int y, const std::string& text, const FontSpec& font) = 0;
    // Width along the baseline and height of the text's cell, in device pixels.
    virtual TextSize TextExtent(const std::string& text, const FontSpec& font) = 0;
    // Draws the whole image stretched into the rectangle, pixel for pixel
    // without smoothing, and never with a lossy encoding.
    virtual void StretchDraw(int x, int y, int width, int height, const QImage& image) = 0;
};

// Ends the document on every path. Close() ends it and lets failures through;
// a guard still open at destruction ends it quietly, because an exception is
// then already on its way.
class DocumentGuard {
public:
    explicit DocumentGuard(PrintDevice& device) : device_(&device) {}
    ~DocumentGuard();
    DocumentGuard(const DocumentGuard&) = delete;
    DocumentGuard& operator=(const DocumentGuard&) = delete;

    void Close();

private:
    PrintDevice* device_;
};

// The process's printer, as the program's windows choose it. Printer() raises
// EPrintError when none is set.
void SetPrinter(std::unique_ptr<PrintDevice> device);
PrintDevice& Printer();
bool HasPrinter();

}  // namespace print
