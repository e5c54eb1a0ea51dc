#pragma once
// The one surface through which the program draws on paper. Coordinates are
// device pixels of the current document, origin at the top-left corner of the
// printable area, x to the right and y downwards.

#include "platform/rtl/SysUtils.h"

#include <memory>
#include <string>
#include <vector>

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

// A rectangle of the page in device pixels, its edges on pixel boundaries:
// it covers the pixels from left to right - 1 and from top to bottom - 1.
struct PixelBox {
    int left = 0, top = 0, right = 0, bottom = 0;

    bool Empty() const { return right <= left || bottom <= top; }
    PixelBox Moved(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    bool Inside(const PixelBox& outer) const
    {
        return left >= outer.left && top >= outer.top && right <= outer.right && bottom <= outer.bottom;
    }
    // Shares a pixel with `other` or lies right beside it: ink in the two
    // would run together without a blank pixel between. Empty boxes touch
    // nothing.
    bool Touches(const PixelBox& other) const
    {
        return !Empty() && !other.Empty() && left <= other.right && other.left <= right && top <= other.bottom &&
               other.top <= bottom;
    }
    bool operator==(const PixelBox&) const = default;
};

// `box`, given in a text's own frame (x along the baseline, y down from the
// top of its cell, origin at the cell's top-left corner), as it lies on the
// page once the text is turned counter-clockwise by `angle` (0, 900, 1800 or
// 2700) about that corner.
PixelBox Turned(const PixelBox& box, int angle);

// The smallest box holding both (an empty box adds nothing).
PixelBox Union(const PixelBox& a, const PixelBox& b);

// Where each character of UTF-8 text begins, in bytes.
std::vector<std::size_t> CharacterStarts(const std::string& text);

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
    // Where the ink of the text lies when TextOut draws it at (0, 0): the
    // bounds of its glyphs' outlines, to the nearest pixel edge, turned with
    // the font. Empty for a text without ink (only blanks). A device that
    // cannot see the glyphs answers with the whole cell, which holds the ink
    // of any ordinary face.
    virtual PixelBox TextInk(const std::string& text, const FontSpec& font);
    // The same ink character by character: one box for each character of
    // the text (a UTF-8 sequence), the bounds of that character's own glyph
    // outline where TextOut at (0, 0) places it in the line, turned with the
    // font; empty for a character without ink. Together they cover what
    // TextInk covers. A device that cannot see the glyphs answers with each
    // character's share of the cell.
    virtual std::vector<PixelBox> CharacterInk(const std::string& text, const FontSpec& font);
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
