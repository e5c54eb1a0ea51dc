#pragma once
// Linear barcodes: the component that renders one barcode into its own bitmap,
// and the encoders and check routines of the thirteen symbologies it knows.
//
// Barcode data is byte text in Windows-1252 (one byte per character), not UTF-8:
// the GS1-128 FNC1 marker is the single byte 202, and the symbologies' character
// ranges are byte values. Convert user text at the boundary before setting it.

#include <QFont>
#include <QImage>
#include <QObject>

#include <string>
#include <string_view>

class QPainter;

// Ordinals are kept (0-12): stored settings refer to symbologies by number.
enum TBarCodeType : int {
    bcCode128,
    bcCode39,
    bcCode39Ext,
    bcUPCA,
    bcInt2of5,
    bcCode93,
    bcEAN13,
    bcEAN8,
    bcEAN128,
    bcPOSTNET,
    bcUPCE,
    bcUPC2ext,
    bcUPC5ext,
};

enum TbcRotate : int {
    bcNoRotate,
    bcRotate90,   // a quarter turn clockwise
    bcRotate180,
    bcRotate270,  // a quarter turn counter-clockwise
};

// The byte that stands for FNC1 in GS1-128 data.
inline constexpr char kFNC1Marker = static_cast<char>(202);

// Renders one barcode, black on white, into an 8-bit grayscale image it owns
// (0 black, 255 white). Every setter redraws at once, so Bitmap() always shows
// the current properties. Like every font user it needs a QGuiApplication.
//
// Sizes: Scale is the module (narrowest bar) width in pixels; the image is the
// symbology's width in modules plus a quiet zone of 10 modules either side,
// and Height pixels high before rotation. A quarter-turn rotation swaps width
// and height.
class TBarcodeBmp : public QObject {
public:
    // Owner, when given, owns and frees the component (Qt parent).
    explicit TBarcodeBmp(QObject* Owner = nullptr);
    ~TBarcodeBmp() override;

    int Height() const { return FHeight; }
    void SetHeight(int value);

    // The rendered barcode. The reference stays valid for the component's life;
    // its contents change with every setter.
    const QImage& Bitmap() const { return FBitmap; }

    // The data as stored: filtered and cut for the current BarcodeType.
    const std::string& BarcodeText() const { return FBarcodeText; }
    void SetBarcodeText(std::string_view value);

    TBarCodeType BarcodeType() const { return FBarcodeType; }
    // Re-filters the stored text for the new symbology; what it drops is lost.
    void SetBarcodeType(TBarCodeType value);

    // Font of the human-readable line; its size is set to 8 x Scale points
    // when the line is drawn.
    const QFont& Font() const { return FFont; }
    void SetFont(const QFont& value);

    int Scale() const { return FScale; }
    void SetScale(int value);

    bool Interpret() const { return FInterpret; }
    void SetInterpret(bool value);

    TbcRotate Rotate() const { return FRotate; }
    void SetRotate(TbcRotate value);

    // While loading, setters store their values without redrawing; Loaded()
    // ends loading and redraws once.
    void BeginLoading();
    void Loaded();

private:
    void UpdateBitmap();
    void Redraw();
    void DrawInterpretation(QPainter& canvas, int width, int height);

    int FHeight = 50;
    QImage FBitmap;
    std::string FBarcodeText;
    TBarCodeType FBarcodeType = bcCode128;
    QFont FFont;
    int FScale = 1;
    bool FInterpret = true;
    TbcRotate FRotate = bcNoRotate;
    bool FLoading = false;
};

// ---- Filters and sizes -------------------------------------------------------

// The text as a symbology keeps it: characters it cannot carry dropped, lower
// case turned to upper case for Code 39, numeric symbologies cut to their length.
std::string FilterBarcodeText(TBarCodeType type, std::string_view text);

// Image width in pixels before rotation, quiet zones included.
int BarcodeBitmapWidth(TBarCodeType type, std::string_view text, int scale);

// ---- Code 128 and GS1-128 ----------------------------------------------------
// Symbol strings hold one character per symbol: the symbol's value + 32.

// 'A', 'B' or 'C'.
char Code128StartSet(std::string_view Text);
// Start, data with automatic set changes, check and stop. WithFNC1 makes it
// GS1-128: FNC1 follows the start, and a leading FNC1 marker is dropped for it.
// A character no set can carry becomes a symbol outside 0..106.
std::string EncodeCode128(std::string_view Text, bool WithFNC1);
// The check symbol character for the symbols so far (start included).
char Code128CheckValue(std::string_view Symbols);

// ---- Check routines of the other symbologies ---------------------------------

// '0'..'9': weights 3, 1, 3, ... from the rightmost digit.
char UpcEanCheckDigit(std::string_view digits);
// '0'..'9': what brings the digit sum to a multiple of 10.
char PostnetCheckDigit(std::string_view digits);
// Symbol values 0..46 over the text's Code 93 symbols (shift pairs count twice).
int Code93CheckC(std::string_view text);
int Code93CheckK(std::string_view text);
// The 11-digit UPC-A form (no check digit) of a number-system-0 UPC-E number;
// empty for fewer than six digits.
std::string ExpandUPCE(std::string_view digits);

// ---- Painters ------------------------------------------------------------------

// The symbol's modules from left to right, quiet zones excluded: '1' a bar,
// '0' a space, and for POSTNET 'h' a half-height bar. Ends at the first
// character the symbology cannot carry (what comes before it stays).
std::string BarcodeModules(TBarCodeType type, std::string_view text);

// Draws the text's bars in black: each module s pixels wide, bars h pixels
// high from top (POSTNET half bars from top + h/2). The painter's state is left
// as it was.
void PaintBarcode(QPainter& canvas, TBarCodeType type, int left, int top, int s, int h,
                  std::string_view text);
