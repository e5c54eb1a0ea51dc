#pragma once
// A print device for tests: it records every call with its exact integer
// arguments and can be told to fail at a given call.

#include "platform/print/PrintDevice.h"

#include <QImage>

#include <optional>
#include <string>
#include <vector>

namespace print {

class RecordingPrintDevice final : public PrintDevice {
public:
    enum class Op { BeginDoc, EndDoc, NewPage, TextOut, StretchDraw };

    struct Call {
        explicit Call(Op o, int x_ = 0, int y_ = 0, int w = 0, int h = 0) : op(o), x(x_), y(y_), width(w), height(h) {}
        Op op;
        int x = 0, y = 0, width = 0, height = 0;  // StretchDraw: the destination
        std::string text;                         // TextOut
        FontSpec font;                            // TextOut
        QImage image;                             // StretchDraw
    };

    RecordingPrintDevice(int dpiX, int dpiY, int offsetX = 0, int offsetY = 0);

    int DpiX() const override { return dpiX_; }
    int DpiY() const override { return dpiY_; }
    int OffsetX() const override { return offsetX_; }
    int OffsetY() const override { return offsetY_; }

    void BeginDoc() override;
    void EndDoc() override;
    void NewPage() override;
    bool Printing() const override { return printing_; }

    void TextOut(int x, int y, const std::string& text, const FontSpec& font) override;
    // Every character is `CharWidth()` pixels wide and the height is the
    // font's size in pixels; or, with MeasureWithFonts, the extent the printer
    // device gives with the installed faces (needs a QGuiApplication).
    TextSize TextExtent(const std::string& text, const FontSpec& font) override;
    // Without fonts, the cells of the characters from the first to the last
    // that is no blank, one pixel in from each side of those cells; with
    // MeasureWithFonts, the printer device's ink of the installed faces.
    PixelBox TextInk(const std::string& text, const FontSpec& font) override;
    // Likewise character by character: without fonts, each character's cell
    // one pixel in from each side, empty for a blank.
    std::vector<PixelBox> CharacterInk(const std::string& text, const FontSpec& font) override;
    void StretchDraw(int x, int y, int width, int height, const QImage& image) override;

    void SetCharWidth(int pixels) { charWidth_ = pixels; }
    void SetMeasureWithFonts(bool on) { measureWithFonts_ = on; }
    int CharWidth() const { return charWidth_; }

    // The next call of `op` (counting from 1 after this call) raises EPrintError.
    void FailAt(Op op, int nth = 1);

    const std::vector<Call>& Calls() const { return calls_; }
    std::vector<Call> CallsOf(Op op) const;
    // Where a recorded text lies: the rectangle its turned cell covers, in
    // device pixels from the paper's top-left corner (the printable offset
    // added), measured as TextExtent measures.
    using Box = PixelBox;
    Box TextBox(const Call& text);
    // Where a recorded text's ink lies on the paper, as TextInk measures it.
    Box InkBox(const Call& text);

    // The first TextOut of exactly this text, if any.
    std::optional<Call> FindText(const std::string& text) const;
    // Pages that received drawing, counted as a real printer would eject them
    // with pages begun lazily.
    int PagesPrinted() const { return pagesPrinted_; }
    // Documents that had at least one page.
    int DocumentsPrinted() const { return documentsPrinted_; }
    void Clear();

private:
    void Record(Call call);
    void Draw(Call call);

    int dpiX_, dpiY_, offsetX_, offsetY_;
    int charWidth_ = 10;
    bool measureWithFonts_ = false;
    bool printing_ = false;
    bool pageHasInk_ = false;
    bool docHasInk_ = false;
    int pagesPrinted_ = 0;
    int documentsPrinted_ = 0;
    std::optional<Op> failOp_;
    int failCountdown_ = 0;
    std::vector<Call> calls_;
};

}  // namespace print
