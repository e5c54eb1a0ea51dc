// The barcode component: text filters, bitmap size, drawing, the
// human-readable line and rotation.

#include "app/barcode/Barcode.h"
#include "app/barcode/BarcodeModules.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <limits>

using namespace barcode_detail;

namespace {

constexpr unsigned char kMarker = 202;
// 96 dots per inch, so the line's point size means the same pixels on every machine.
constexpr int kDotsPerMeter = 3780;
// Qt paints on images up to this many pixels a side.
constexpr int kMaxSide = 32767;

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

bool IsNumeric(TBarCodeType type) {
    switch (type) {
    case bcUPCA: case bcInt2of5: case bcEAN13: case bcEAN8: case bcPOSTNET: case bcUPCE:
    case bcUPC2ext: case bcUPC5ext:
        return true;
    default:
        return false;
    }
}

size_t CutLength(TBarCodeType type) {
    switch (type) {
    case bcUPCA: case bcPOSTNET: return 11;
    case bcEAN13: return 12;
    case bcEAN8: return 7;
    case bcUPCE: return 6;
    case bcUPC2ext: return 2;
    case bcUPC5ext: return 5;
    default: return std::string::npos;
    }
}

bool KeptByCode39(unsigned char c) {
    return c == ' ' || c == '$' || c == '%' || c == '*' || c == '+' || c == '-' || c == '.' ||
           c == '/' || IsDigit(c) || (c >= 'A' && c <= 'Z');
}

// Text left-padded with "0" to n characters (longer text is cut to its first n).
std::string PadLeft(std::string_view text, size_t n) {
    if (text.size() >= n) return std::string(text.substr(0, n));
    return std::string(n - text.size(), '0') + std::string(text);
}

// Every text the filters let through is ASCII or the FNC1 marker, where
// Windows-1252 and Latin-1 agree. The marker is no data character, so the
// human-readable line leaves it out.
QString ReadableText(std::string_view text) {
    std::string shown;
    for (char c : text)
        if (static_cast<unsigned char>(c) != kMarker) shown.push_back(c);
    return QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size()));
}

QImage Rotated(const QImage& source, TbcRotate rotate) {
    const int ws = source.width();
    const int hs = source.height();
    const bool quarter = rotate == bcRotate90 || rotate == bcRotate270;
    QImage target(quarter ? hs : ws, quarter ? ws : hs, QImage::Format_Grayscale8);
    if (target.isNull()) return target;
    target.setDotsPerMeterX(kDotsPerMeter);
    target.setDotsPerMeterY(kDotsPerMeter);
    for (int y = 0; y < hs; ++y) {
        const uchar* row = source.constScanLine(y);
        for (int x = 0; x < ws; ++x) {
            int tx = x, ty = y;
            switch (rotate) {
            case bcRotate90: tx = hs - 1 - y; ty = x; break;
            case bcRotate180: tx = ws - 1 - x; ty = hs - 1 - y; break;
            case bcRotate270: tx = y; ty = ws - 1 - x; break;
            case bcNoRotate: break;
            }
            target.scanLine(ty)[tx] = row[x];
        }
    }
    return target;
}

}  // namespace

// ---- Filters and sizes -------------------------------------------------------

std::string FilterBarcodeText(TBarCodeType type, std::string_view text) {
    std::string kept;
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (type == bcCode39) {
            if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
            if (!KeptByCode39(c)) continue;
        } else if (IsNumeric(type)) {
            // ":" and ";" would end the bars halfway: the painters carry digits only.
            if (!IsDigit(c)) continue;
        } else {
            // Code 128 and the full-ASCII symbologies carry 1..127; byte 128 would
            // come out as a function symbol.
            const bool ascii = c >= 1 && c <= 127;
            if (!ascii && !(type == bcEAN128 && c == kMarker)) continue;
        }
        kept.push_back(static_cast<char>(c));
    }
    const size_t cut = CutLength(type);
    if (cut != std::string::npos && kept.size() > cut) kept.resize(cut);
    return kept;
}

int BarcodeBitmapWidth(TBarCodeType type, std::string_view text, int scale) {
    // In modules, then times the scale in 64 bits: a huge scale must not overflow.
    int64_t modules = 20;
    const auto n = static_cast<int64_t>(text.size());
    if (n > 0) {
        switch (type) {
        case bcCode128:
        case bcEAN128:
            modules = 11 * static_cast<int64_t>(EncodeCode128(text, type == bcEAN128).size()) + 22;
            break;
        case bcCode39:
            modules = 13 * (n + 2) + 20;
            break;
        case bcCode39Ext: {
            int64_t chars = 2;
            for (char c : text) chars += std::max(1, Code39ExtLength(static_cast<unsigned char>(c)));
            modules = 13 * chars + 20;
            break;
        }
        case bcCode93: {
            int64_t symbols = 0;
            for (char c : text) symbols += std::max(1, Code93Length(static_cast<unsigned char>(c)));
            modules = 9 * symbols + 57;
            break;
        }
        case bcUPCA:
        case bcEAN13: modules = 115; break;
        case bcInt2of5: modules = 9 * (n + n % 2) + 29; break;
        case bcEAN8: modules = 87; break;
        case bcPOSTNET: modules = 10 * (n + 1) + 23; break;
        case bcUPCE: modules = 71; break;
        case bcUPC2ext: modules = 40; break;
        case bcUPC5ext: modules = 67; break;
        }
    }
    const int64_t width = modules * scale;
    return static_cast<int>(std::clamp<int64_t>(width, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

// ---- Painters ------------------------------------------------------------------

namespace barcode_detail {

void AppendWidths(std::string& modules, std::string_view widths) {
    bool bar = true;
    for (char w : widths) {
        modules.append(static_cast<size_t>(w - '0'), bar ? '1' : '0');
        bar = !bar;
    }
}

}  // namespace barcode_detail

std::string BarcodeModules(TBarCodeType type, std::string_view text) {
    switch (type) {
    case bcCode128: return Code128Modules(text, false);
    case bcEAN128: return Code128Modules(text, true);
    case bcCode39: return Code39Modules(text);
    case bcCode39Ext: return Code39ExtModules(text);
    case bcCode93: return Code93Modules(text);
    case bcInt2of5: return Int2of5Modules(text);
    case bcUPCA: return UPCAModules(text);
    case bcEAN13: return EAN13Modules(text);
    case bcEAN8: return EAN8Modules(text);
    case bcUPCE: return UPCEModules(text);
    case bcUPC2ext: return UPC2extModules(text);
    case bcUPC5ext: return UPC5extModules(text);
    case bcPOSTNET: return POSTNETModules(text);
    }
    return {};
}

void PaintBarcode(QPainter& canvas, TBarCodeType type, int left, int top, int s, int h,
                  std::string_view text) {
    if (s <= 0 || h <= 0) return;
    const std::string modules = BarcodeModules(type, text);
    const int halfTop = top + h / 2;
    const int halfHeight = h - h / 2;
    int x = left;
    for (char m : modules) {
        if (m == '1')
            canvas.fillRect(x, top, s, h, Qt::black);
        else if (m == 'h')
            canvas.fillRect(x, halfTop, s, halfHeight, Qt::black);
        x += s;
    }
}

// ---- The component -------------------------------------------------------------

TBarcodeBmp::TBarcodeBmp(QObject* Owner) : QObject(Owner), FFont(QStringLiteral("Courier New")) {
    UpdateBitmap();
}

TBarcodeBmp::~TBarcodeBmp() = default;

void TBarcodeBmp::SetHeight(int value) {
    FHeight = value;
    UpdateBitmap();
}

void TBarcodeBmp::SetBarcodeText(std::string_view value) {
    FBarcodeText = FilterBarcodeText(FBarcodeType, value);
    UpdateBitmap();
}

void TBarcodeBmp::SetBarcodeType(TBarCodeType value) {
    FBarcodeType = value;
    FBarcodeText = FilterBarcodeText(FBarcodeType, FBarcodeText);
    UpdateBitmap();
}

void TBarcodeBmp::SetFont(const QFont& value) {
    FFont = value;
    UpdateBitmap();
}

void TBarcodeBmp::SetScale(int value) {
    FScale = value;
    UpdateBitmap();
}

void TBarcodeBmp::SetInterpret(bool value) {
    FInterpret = value;
    UpdateBitmap();
}

void TBarcodeBmp::SetRotate(TbcRotate value) {
    FRotate = value;
    UpdateBitmap();
}

void TBarcodeBmp::BeginLoading() { FLoading = true; }

void TBarcodeBmp::Loaded() {
    FLoading = false;
    UpdateBitmap();
}

void TBarcodeBmp::UpdateBitmap() {
    if (FLoading) return;
    Redraw();
}

void TBarcodeBmp::Redraw() {
    const int s = FScale;
    const int width = BarcodeBitmapWidth(FBarcodeType, FBarcodeText, s);
    // A size the painter cannot handle gives an empty image rather than a failure.
    if (width <= 0 || FHeight <= 0 || width > kMaxSide || FHeight > kMaxSide) {
        FBitmap = QImage();
        return;
    }
    QImage image(width, FHeight, QImage::Format_Grayscale8);
    if (image.isNull()) {  // too large to allocate
        FBitmap = QImage();
        return;
    }
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    image.fill(255);

    if (!FBarcodeText.empty()) {
        QPainter canvas(&image);
        const int r = FInterpret ? 5 * s : 0;
        int top = 0;
        int barHeight = FHeight - r;
        if (FBarcodeType == bcPOSTNET) {
            barHeight = FHeight;
        } else if (FBarcodeType == bcUPC2ext || FBarcodeType == bcUPC5ext) {
            top = 3 * r;
            barHeight = FHeight - 3 * r;
        }
        PaintBarcode(canvas, FBarcodeType, 10 * s, top, s, barHeight, FBarcodeText);
        if (FInterpret) DrawInterpretation(canvas, width, FHeight);
    }

    FBitmap = FRotate == bcNoRotate ? std::move(image) : Rotated(image, FRotate);
}

void TBarcodeBmp::DrawInterpretation(QPainter& canvas, int width, int height) {
    if (FBarcodeType == bcPOSTNET || FScale <= 0) return;
    QFont font = FFont;
    font.setPointSize(8 * FScale);
    // The bitmap is black and white: no grey edges on the digits.
    font.setStyleStrategy(QFont::NoAntialias);
    canvas.setFont(font);
    canvas.setPen(Qt::black);
    const QFontMetrics metrics = canvas.fontMetrics();
    const int th = metrics.height();

    // Black text on white: the box behind the text is blanked first.
    auto textOut = [&](int x, int y, const QString& text) {
        canvas.fillRect(x, y, metrics.horizontalAdvance(text), th, Qt::white);
        canvas.drawText(x, y + metrics.ascent(), text);
    };
    auto centredOn = [&](int centre, int y, const QString& text) {
        textOut(centre - metrics.horizontalAdvance(text) / 2, y, text);
    };

    const int w = width;
    switch (FBarcodeType) {
    case bcUPCA: {
        const std::string digits = PadLeft(FBarcodeText, 11);
        const QString all = QString::fromLatin1(digits + UpcEanCheckDigit(digits));
        const int y = height + 2 - th;
        textOut(0, y, all.mid(0, 1));
        textOut(w - metrics.horizontalAdvance(all.mid(11, 1)), y, all.mid(11, 1));
        centredOn(w / 3, y, all.mid(1, 5));
        centredOn(2 * (w / 3), y, all.mid(6, 5));
        break;
    }
    case bcEAN13: {
        const std::string digits = PadLeft(FBarcodeText, 12);
        const QString all = QString::fromLatin1(digits + UpcEanCheckDigit(digits));
        const int y = height + 2 - th;
        textOut(0, y, all.mid(0, 1));
        centredOn(w / 2, y, all.mid(1, 6) + QLatin1Char(' ') + all.mid(7, 6));
        break;
    }
    case bcUPCE: {
        const std::string digits = PadLeft(FBarcodeText, 6);
        const QString check = QString(QLatin1Char(UpcEanCheckDigit(ExpandUPCE(digits))));
        const int y = height + 2 - th;
        textOut(0, y, QStringLiteral("0"));
        textOut(w - metrics.horizontalAdvance(check), y, check);
        centredOn(w / 2, y, QString::fromLatin1(digits));
        break;
    }
    case bcUPC2ext:
    case bcUPC5ext:
        centredOn(w / 2, 0, ReadableText(FBarcodeText));
        break;
    default:
        centredOn(w / 2, height - th, ReadableText(FBarcodeText));
        break;
    }
}
