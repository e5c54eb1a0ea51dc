#include "platform/print/QtPrintDevice.h"

#include "platform/print/Cups.h"
#include "platform/print/Fonts.h"

#include <QFont>
#include <QGlyphRun>
#include <QTextLayout>
#include <QFontMetrics>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>
#include <QString>
#include <QTemporaryFile>

#include <cmath>
#include <filesystem>

namespace print {

namespace {

QFont MakeFont(const FontSpec& wanted, int dpiY)
{
    QFont font(QString::fromStdString(InstalledFamily(wanted.name)));
    // Character height in whole pixels, rounded as the printer drivers round it.
    font.setPixelSize(std::max(1, (wanted.sizePt * dpiY + 36) / 72));
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

}  // namespace

std::unique_ptr<QtPrintDevice> QtPrintDevice::ForPrinter(const std::string& printerName, int dpi)
{
    CheckFonts();
    const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(printerName));
    if (info.isNull())
        throw EPrintError("The printer \"" + printerName + "\" is not installed.");
    if (const std::string refusal = QueueRefusal(printerName); !refusal.empty())
        throw EPrintError(refusal);
    // Drawn into a PDF file the spooler then takes: what Qt's own CUPS
    // printing does, except that here a refused job is seen. The page is the
    // printer's own default paper with its unprintable margins; left to
    // itself QPrinter keeps the locale's paper (often A4) with margins of its
    // own, and the spooler then shrinks that page onto the printer's paper.
    QPrinter native(info, QPrinter::HighResolution);
    if (info.defaultPageSize().isValid())
        native.setPageSize(info.defaultPageSize());
    QPageLayout layout = native.pageLayout();
    layout.setMargins(layout.minimumMargins());
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setResolution(dpi);
    printer->setPageLayout(layout);
    printer->setFullPage(false);
    printer->setCreator(QStringLiteral("Sendora Pro"));
    return std::unique_ptr<QtPrintDevice>(new QtPrintDevice(std::move(printer), false, {}, printerName));
}

std::unique_ptr<QtPrintDevice> QtPrintDevice::ForPdf(const std::string& path, int dpi)
{
    CheckFonts();
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setResolution(dpi);
    printer->setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    printer->setFullPage(true);
    printer->setCreator(QStringLiteral("Sendora Pro"));
    return std::unique_ptr<QtPrintDevice>(new QtPrintDevice(std::move(printer), true, path, {}));
}

QtPrintDevice::QtPrintDevice(std::unique_ptr<QPrinter> printer, bool pdf, std::string pdfPath, std::string printerName)
    : printer_(std::move(printer)), pdf_(pdf), pdfPath_(std::move(pdfPath)), printerName_(std::move(printerName))
{
}

QtPrintDevice::~QtPrintDevice()
{
    if (painter_)
        painter_->end();
}

void QtPrintDevice::SetJobOptions(std::vector<std::pair<std::string, std::string>> options)
{
    jobOptions_ = std::move(options);
}

int QtPrintDevice::DpiX() const
{
    return printer_->resolution();
}

int QtPrintDevice::DpiY() const
{
    return printer_->resolution();
}

int QtPrintDevice::OffsetX() const
{
    if (printer_->fullPage())
        return 0;
    return printer_->pageLayout().paintRectPixels(printer_->resolution()).left();
}

int QtPrintDevice::OffsetY() const
{
    if (printer_->fullPage())
        return 0;
    return printer_->pageLayout().paintRectPixels(printer_->resolution()).top();
}

void QtPrintDevice::BeginDoc()
{
    if (docOpen_)
        throw EPrintError("Printing in progress");
    docOpen_ = true;
    newPagePending_ = false;
}

void QtPrintDevice::EndDoc()
{
    if (!docOpen_)
        throw EPrintError("Printing not in progress");
    docOpen_ = false;
    newPagePending_ = false;
    if (!painter_)
        return;  // nothing was drawn: no job, no file
    const bool ended = painter_->end();
    painter_.reset();
    const std::unique_ptr<QTemporaryFile> spooled = std::move(spoolFile_);
    if (!ended || printer_->printerState() == QPrinter::Error)
        throw EPrintError("The document could not be completed on the printer.");
    if (spooled)
        SubmitJob(printerName_, spooled->fileName().toStdString(), "Sendora Pro", jobOptions_);
}

void QtPrintDevice::NewPage()
{
    if (!docOpen_)
        throw EPrintError("Printing not in progress");
    if (painter_)
        newPagePending_ = true;
}

std::string QtPrintDevice::NextPdfPath() const
{
    if (outputFiles_.empty())
        return pdfPath_;
    const std::filesystem::path first(pdfPath_);
    std::filesystem::path next = first.parent_path() /
        (first.stem().string() + "-" + std::to_string(outputFiles_.size() + 1) + first.extension().string());
    return next.string();
}

void QtPrintDevice::EnsurePage()
{
    if (!docOpen_)
        throw EPrintError("Printing not in progress");
    if (!painter_) {
        std::string file;
        if (pdf_) {
            file = NextPdfPath();
        } else {
            spoolFile_ = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/sendora-job-XXXXXX.pdf"));
            if (!spoolFile_->open())
                throw EPrintError("The printer's document cannot be written to the folder " + QDir::tempPath().toStdString() + ".");
            file = spoolFile_->fileName().toStdString();
        }
        printer_->setOutputFileName(QString::fromStdString(file));
        auto painter = std::make_unique<QPainter>();
        if (!painter->begin(printer_.get()))
            throw EPrintError(pdf_ ? "The file \"" + file + "\" cannot be written." : "The printer cannot start the document.");
        // Without this the PDF engine (which CUPS printing goes through too)
        // stores images, even one-bit barcodes, as JPEG.
        painter->setRenderHint(QPainter::LosslessImageRendering, true);
        painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter->setRenderHint(QPainter::TextAntialiasing, true);
        painter->setPen(Qt::black);
        painter_ = std::move(painter);
        if (pdf_)
            outputFiles_.push_back(file);
    } else if (newPagePending_) {
        if (!printer_->newPage())
            throw EPrintError("The printer cannot start a new page.");
    }
    newPagePending_ = false;
}

void QtPrintDevice::TextOut(int x, int y, const std::string& text, const FontSpec& font)
{
    EnsurePage();
    PaintText(*painter_, printer_.get(), x, y, text, font, DpiY());
}

TextSize QtPrintDevice::TextExtent(const std::string& text, const FontSpec& font)
{
    return MeasureText(printer_.get(), text, font, DpiY());
}

PixelBox QtPrintDevice::TextInk(const std::string& text, const FontSpec& font)
{
    return MeasureInk(printer_.get(), text, font, DpiY());
}

std::vector<PixelBox> QtPrintDevice::CharacterInk(const std::string& text, const FontSpec& font)
{
    return MeasureCharacterInk(printer_.get(), text, font, DpiY());
}

void QtPrintDevice::StretchDraw(int x, int y, int width, int height, const QImage& image)
{
    EnsurePage();
    painter_->drawImage(QRect(x, y, width, height), image);
}

void PaintText(QPainter& painter, const QPaintDevice* device, int x, int y, const std::string& text,
               const FontSpec& font, int dpiY)
{
    const QFont qfont = MakeFont(font, dpiY);
    const QFontMetrics metrics(qfont, device);
    painter.save();
    painter.setFont(qfont);
    painter.translate(x, y);
    // The angle turns counter-clockwise on the paper; Qt's y axis points down.
    painter.rotate(-font.angle / 10.0);
    painter.drawText(0, metrics.ascent(), QString::fromStdString(text));
    painter.restore();
}

TextSize MeasureText(const QPaintDevice* device, const std::string& text, const FontSpec& font, int dpiY)
{
    const QFontMetrics metrics(MakeFont(font, dpiY), device);
    return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
}

namespace {

// Outline bounds to the nearest pixel edge: a pixel the glyphs only graze
// counts as blank.
PixelBox RoundedBounds(const QRectF& bounds)
{
    if (bounds.isEmpty())
        return {};
    return {static_cast<int>(std::lround(bounds.left())), static_cast<int>(std::lround(bounds.top())),
            static_cast<int>(std::lround(bounds.right())), static_cast<int>(std::lround(bounds.bottom()))};
}

}  // namespace

PixelBox MeasureInk(const QPaintDevice* device, const std::string& text, const FontSpec& font, int dpiY)
{
    const QFont qfont = MakeFont(font, dpiY);
    const QFontMetricsF metrics(qfont, device);
    QPainterPath outline;
    outline.addText(0, metrics.ascent(), qfont, QString::fromStdString(text));
    return Turned(RoundedBounds(outline.boundingRect()), font.angle);
}

std::vector<PixelBox> MeasureCharacterInk(const QPaintDevice* device, const std::string& text, const FontSpec& font,
                                          int dpiY)
{
    const QFont qfont = MakeFont(font, dpiY);
    const std::vector<std::size_t> starts = CharacterStarts(text);
    std::vector<PixelBox> boxes;
    boxes.reserve(starts.size());
    // The whole line laid out once, as drawText lays it out (kerning and
    // all), with its baseline where PaintText puts it.
    const QString line = QString::fromStdString(text);
    QTextLayout layout(line, qfont, device);
    layout.beginLayout();
    QTextLine laidOut = layout.createLine();
    if (laidOut.isValid())
        laidOut.setPosition({0, 0});
    layout.endLayout();
    const qreal baselineShift = QFontMetricsF(qfont, device).ascent() - (laidOut.isValid() ? laidOut.ascent() : 0);
    int at = 0;  // in UTF-16 units
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
        const int units = static_cast<int>(QString::fromUtf8(text.data() + starts[i], static_cast<qsizetype>(end - starts[i])).size());
        QRectF bounds;
        for (const QGlyphRun& run : layout.glyphRuns(at, units)) {
            const QRawFont raw = run.rawFont();
            const QList<quint32> glyphs = run.glyphIndexes();
            const QList<QPointF> positions = run.positions();
            for (qsizetype g = 0; g < glyphs.size() && g < positions.size(); ++g) {
                const QRectF glyph = raw.pathForGlyph(glyphs[g]).boundingRect();
                if (!glyph.isEmpty())
                    bounds |= glyph.translated(positions[g] + QPointF(0, baselineShift));
            }
        }
        boxes.push_back(Turned(RoundedBounds(bounds), font.angle));
        at += units;
    }
    return boxes;
}

}  // namespace print
