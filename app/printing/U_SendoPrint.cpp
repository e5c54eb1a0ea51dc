#include "app/printing/U_SendoPrint.h"

#include "app/barcode/Barcode.h"
#include "app/data/U_ArticleNumber.h"
#include "app/data/U_TextRoutines.h"
#include "platform/print/PrintDevice.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/SysUtils.h"

#include <QFont>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>


namespace {

constexpr const char* kOcrFace = "OCR A Extended";

// The stock the forms and label sheets come on: Letter, in hundredths of an inch.
constexpr int kPaperWidth = 850;
constexpr int kPaperHeight = 1100;
// A label sheet's cells: 2.75 in across, 3.7 in down.
constexpr int kLabelWidth = 275;
constexpr int kLabelHeight = 370;

// What the unit keeps of the printer between calls; every print sets it anew.
struct PrinterState {
    int dpiX = 0;
    int dpiY = 0;
    int offX = 0;  // unprintable margin in printer pixels
    int offY = 0;
    int alignX = 0;  // alignment steps
    int alignY = 0;
    int layout = 1;  // 1 form, 2 label cell
    std::string dataT;
    std::string dataF;
    std::string lastZip;
    std::string fontName;  // face of the caller's font, for the receipt part
};

PrinterState& State()
{
    static PrinterState state;
    return state;
}

// num / den to the nearest integer, a half to the even neighbour (den > 0).
int RoundHalfEven(std::int64_t num, std::int64_t den)
{
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) {
        r += den;
        --q;
    }
    if (2 * r > den || (2 * r == den && (q % 2 != 0)))
        ++q;
    return static_cast<int>(q);
}

// Barcode modules and heights must stay at least one pixel on any printer.
int AtLeastOne(int pixels)
{
    return std::max(1, pixels);
}

// The first `count` characters of UTF-8 text (never half a character).
std::string Utf8Left(const std::string& text, std::size_t count)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == count)
                return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

// The GS1-128 text of article data: FNC1, "420" and the ZIP, FNC1, the number.
std::string ArticleBarcodeText(const std::string& data)
{
    std::string text(1, kFNC1Marker);
    text += data.substr(0, std::min<std::size_t>(8, data.size()));
    text += kFNC1Marker;
    if (data.size() > 8)
        text += data.substr(8);
    return text;
}

// A place on the paper that one group of texts keeps to, in hundredths of an
// inch from the paper's top-left corner. Texts start at their fixed places
// and are cut where their block ends.
struct Block {
    int left, top, right, bottom;
};

constexpr Block kPaper{0, 0, kPaperWidth, kPaperHeight};

// The blocks of the certified-mail form. Different blocks share an edge at
// most, so no text of one runs into another. A text is cut at the edge of its
// block that lies ahead of it: upside-down texts run leftwards, texts reading
// downwards run down the paper. The card's return address keeps to no block
// (see DrawFormText).
namespace form {
// The receipt along the left edge, in the caller's face; its fee captions
// stop short of the amounts.
constexpr Block kReceipt{0, 55, 147, 335};
constexpr Block kReceiptCaptions{30, 75, 147, 145};
// Article numbers across the top, beside the small barcode.
constexpr Block kTopNumbers{147, 0, kPaperWidth, 80};
// The recipient's number above its barcode.
constexpr Block kRecipientNumber{0, 380, 308, 405};
// The sender's copies: the card's lines and RE, the lines below the receipt.
constexpr Block kCardSender{430, 375, 750, 466};
constexpr Block kLowerSender{147, 220, 755, 300};
// The card's number beside the sender's barcode.
constexpr Block kCardNumber{424, 472, 720, 495};
// The recipient's copies: the address block, and the lines below the receipt.
constexpr Block kRecipient{280, 592, 710, 670};
constexpr Block kLowerRecipient{147, 121, 755, 200};
// The extra label at the paper's left edge, beside the recipient's block.
constexpr Block kExtraLabel{0, 580, 280, 660};
// Down the right edge: the number reading downwards beside the thin barcode,
// and below it the number, the comment and RE.
constexpr Block kSideNumber{796, 146, 810, 380};
constexpr Block kSideStrip{773, 380, 821, kPaperHeight};
}  // namespace form

// Printer pixels of positions given in hundredths of an inch.
class FormCanvas {
public:
    FormCanvas(print::PrintDevice& device, const PrinterState& state) : device_(device), state_(state) {}

    int X(int hundredths) const
    {
        // trunc((inches - offset) x dpi), exactly: C++ division truncates towards zero.
        return static_cast<int>((std::int64_t{hundredths} * state_.dpiX - std::int64_t{100} * state_.offX) / 100) +
               3 * state_.alignX;
    }
    int Y(int hundredths) const
    {
        return static_cast<int>((std::int64_t{hundredths} * state_.dpiY - std::int64_t{100} * state_.offY) / 100) +
               3 * state_.alignY;
    }

    // Draws text from (hx, hy), cut to the whole characters that stay inside
    // `block`; returns the width drawn in pixels.
    int Text(const Block& block, int hx, int hy, const std::string& text, const std::string& face, int sizePt,
             int angle)
    {
        const print::FontSpec font{face, sizePt, angle};
        const int x = X(hx), y = Y(hy);
        const std::string fitting = Fitting(text, font, Room(block, x, y, angle));
        Draw(x, y, fitting, font);
        return device_.TextExtent(fitting, font).cx;
    }

    // Draws text from (hx, hy) up to the first character whose own ink
    // would leave the paper or touch ink drawn on the page before it.
    void TextClearOfInk(int hx, int hy, const std::string& text, const std::string& face, int sizePt, int angle)
    {
        const print::FontSpec font{face, sizePt, angle};
        const int x = X(hx), y = Y(hy);
        std::vector<print::PixelBox> characters = device_.CharacterInk(text, font);
        std::size_t fits = 0;
        for (; fits < characters.size(); ++fits) {
            characters[fits] = characters[fits].Moved(x, y);
            if (!characters[fits].Empty() && !Clear(characters[fits]))
                break;
        }
        const std::vector<std::size_t> starts = print::CharacterStarts(text);
        characters.resize(fits);
        device_.TextOut(x, y, text.substr(0, fits < starts.size() ? starts[fits] : text.size()), font);
        Remember(std::move(characters));
    }

    // Upside-down text whose end lies at hx, in at most `room` pixels: the
    // reference point is hx plus the text's width.
    void TextEndingAt(int hx, int hy, const std::string& text, const std::string& face, int sizePt, int room)
    {
        const print::FontSpec font{face, sizePt, 1800};
        const std::string fitting = Fitting(text, font, room);
        Draw(X(hx) + device_.TextExtent(fitting, font).cx, Y(hy), fitting, font);
    }

    int Width(const std::string& text, const std::string& face, int sizePt)
    {
        return device_.TextExtent(text, print::FontSpec{face, sizePt, 0}).cx;
    }

    // A barcode's whole rectangle counts as its ink: its quiet zones must
    // stay blank for it to scan.
    void Image(int hx, int hy, int width, int height, const QImage& image)
    {
        device_.StretchDraw(X(hx), Y(hy), width, height, image);
        Remember({{X(hx), Y(hy), X(hx) + width, Y(hy) + height}});
    }

    const PrinterState& Printer() const { return state_; }

private:
    // Pixels from (x, y) to the edge of the block (never past the paper's)
    // that lies ahead along a text's baseline.
    int Room(const Block& block, int x, int y, int angle) const
    {
        switch (angle) {
        case 1800: return x - X(std::max(block.left, kPaper.left));
        case 2700: return Y(std::min(block.bottom, kPaper.bottom)) - y;
        case 900: return y - Y(std::max(block.top, kPaper.top));
        default: return X(std::min(block.right, kPaper.right)) - x;
        }
    }

    // The text cut, a whole character at a time, to what fits in `room`.
    std::string Fitting(const std::string& text, const print::FontSpec& font, int room)
    {
        std::string fit = text;
        while (!fit.empty() && device_.TextExtent(fit, font).cx > room)
            CutLastCharacter(fit);
        return fit;
    }

    static void CutLastCharacter(std::string& text)
    {
        std::size_t last = text.size() - 1;
        while (last > 0 && (static_cast<unsigned char>(text[last]) & 0xC0) == 0x80)
            --last;
        text.erase(last);
    }

    void Draw(int x, int y, const std::string& text, const print::FontSpec& font)
    {
        device_.TextOut(x, y, text, font);
        std::vector<print::PixelBox> characters = device_.CharacterInk(text, font);
        for (print::PixelBox& box : characters)
            box = box.Moved(x, y);
        Remember(std::move(characters));
    }

    // What one drawing put on the page: a text's characters one by one, a
    // barcode as one rectangle. Their bounds spare comparing the parts of
    // drawings far apart.
    struct Ink {
        print::PixelBox bounds;
        std::vector<print::PixelBox> parts;
    };

    void Remember(std::vector<print::PixelBox> parts)
    {
        Ink ink;
        std::erase_if(parts, [](const print::PixelBox& part) { return part.Empty(); });
        for (const print::PixelBox& part : parts)
            ink.bounds = print::Union(ink.bounds, part);
        ink.parts = std::move(parts);
        if (!ink.parts.empty())
            ink_.push_back(std::move(ink));
    }

    // Ink that lies on the paper and touches no ink drawn before it.
    bool Clear(const print::PixelBox& box) const
    {
        // The paper itself, not the alignment's shifted frame.
        const print::PixelBox paper{-state_.offX, -state_.offY,
                                    static_cast<int>(std::int64_t{kPaperWidth} * state_.dpiX / 100) - state_.offX,
                                    static_cast<int>(std::int64_t{kPaperHeight} * state_.dpiY / 100) - state_.offY};
        auto touches = [&box](const print::PixelBox& drawn) { return drawn.Touches(box); };
        return box.Inside(paper) && std::none_of(ink_.begin(), ink_.end(), [&](const Ink& drawn) {
                   return drawn.bounds.Touches(box) && std::any_of(drawn.parts.begin(), drawn.parts.end(), touches);
               });
    }

    print::PrintDevice& device_;
    const PrinterState& state_;
    std::vector<Ink> ink_;  // of everything drawn on the page, in order
};

// Reads the printer's metrics and the caller's face for this print.
void SetUpPrinter(print::PrintDevice& device, const QFont& fontSource, PrinterState& state)
{
    state.dpiX = device.DpiX();
    state.dpiY = device.DpiY();
    state.offX = device.OffsetX();
    state.offY = device.OffsetY();
    state.fontName = fontSource.family().toStdString();
}

std::unique_ptr<TBarcodeBmp> MakeArticleBarcode(int scale, int height, TbcRotate rotate, const std::string& data)
{
    auto barcode = std::make_unique<TBarcodeBmp>();
    barcode->BeginLoading();
    barcode->SetBarcodeType(bcEAN128);
    barcode->SetInterpret(false);
    barcode->SetScale(AtLeastOne(scale));
    barcode->SetHeight(AtLeastOne(height));
    barcode->SetRotate(rotate);
    barcode->SetBarcodeText(ArticleBarcodeText(data));
    barcode->Loaded();
    return barcode;
}

// The current label's place on the sheet: rows run across from the right
// edge, columns down from the top.
Block LabelCell()
{
    const int right = kPaperWidth - gLabelRow * kLabelWidth;
    const int top = gLabelCol * kLabelHeight;
    return {right - kLabelWidth, top, right, top + kLabelHeight};
}

void DrawArticleBarcodes(FormCanvas& canvas)
{
    const PrinterState& s = canvas.Printer();
    const int moduleA = RoundHalfEven(std::int64_t{s.dpiX} * 15, 1000);  // 0.015 in
    const int heightA = RoundHalfEven(std::int64_t{s.dpiY} * 75, 100);   // 0.75 in
    const int lengthX = RoundHalfEven(std::int64_t{s.dpiX} * 250, 100);  // 2.5 in

    if (s.layout == 1) {
        const auto first = MakeArticleBarcode(moduleA, heightA, bcRotate180, s.dataT);
        canvas.Image(62, 410, lengthX, first->Bitmap().height(), first->Bitmap());
        const auto second = MakeArticleBarcode(moduleA, heightA, bcNoRotate, s.dataF);
        canvas.Image(470, 500, lengthX, second->Bitmap().height(), second->Bitmap());
        second->SetHeight(AtLeastOne(RoundHalfEven(std::int64_t{s.dpiY} * 40, 100)));  // 0.4 in
        canvas.Image(520, 80, lengthX, second->Bitmap().height(), second->Bitmap());

        const int thinModule = RoundHalfEven(std::int64_t{s.dpiY} * 105, 10000);  // 0.015 x 0.7 in
        const int thinHeight = RoundHalfEven(std::int64_t{s.dpiX} * 10, 100);     // 0.1 in
        const auto third = MakeArticleBarcode(thinModule, thinHeight, bcRotate90, s.dataT);
        canvas.Image(781, 100, thinHeight, third->Bitmap().height(), third->Bitmap());

        const std::string textT = ArticleNumberDisplay(s.dataT);
        const std::string textF = ArticleNumberDisplay(s.dataF);
        canvas.Text(form::kRecipientNumber, 308, 402, textT, kOcrFace, 11, 1800);
        canvas.Text(form::kCardNumber, 720, 492, textF, kOcrFace, 11, 1800);
        canvas.Text(form::kTopNumbers, 760, 78, textF, kOcrFace, 10, 1800);
        canvas.Text(form::kTopNumbers, 770, 45, textT, kOcrFace, 10, 1800);
        canvas.Text(form::kSideStrip, 791, 380, textT, kOcrFace, 10, 2700);
        canvas.Text(form::kSideNumber, 810, 146, textT, kOcrFace, 8, 2700);
        canvas.Text(form::kReceipt, 147, 317, textT, s.fontName, 6, 1800);
    } else {
        const int across = -gLabelRow * 275;
        const int down = gLabelCol * 370;
        const Block cell = LabelCell();
        const auto first = MakeArticleBarcode(moduleA, heightA, bcRotate90, s.dataT);
        // Turned a quarter, the bars' height runs across the paper and the length down it.
        canvas.Image(610 + across, down + 50, RoundHalfEven(std::int64_t{s.dpiX} * 75, 100),
                     RoundHalfEven(std::int64_t{s.dpiY} * 250, 100), first->Bitmap());

        const std::string textT = ArticleNumberDisplay(s.dataT);
        canvas.Text(cell, 600 + across, down + 60, textT, kOcrFace, 11, 2700);
        canvas.Text(cell, 810 + across, down + 60, textT, kOcrFace, 8, 2700);
    }
}

void DrawZipBarcodes(FormCanvas& canvas, const MailerPrintFields& rec)
{
    const PrinterState& s = canvas.Printer();
    TBarcodeBmp zip;
    zip.BeginLoading();
    zip.SetBarcodeType(bcPOSTNET);
    zip.SetInterpret(true);
    zip.SetHeight(AtLeastOne(RoundHalfEven(std::int64_t{s.dpiY} * 14, 100)));   // 0.14 in
    zip.SetScale(AtLeastOne(RoundHalfEven(std::int64_t{s.dpiX} * 23, 1000)));   // 0.023 in
    zip.SetRotate(bcRotate180);
    zip.SetBarcodeText(rec[5]);
    zip.Loaded();
    canvas.Image(rec[5].size() > 5 ? 450 : 530, 355, zip.Bitmap().width(), zip.Bitmap().height(), zip.Bitmap());

    if (rec[24] == "Yes" && rec[25] == "Addressed To") {
        zip.SetBarcodeText(rec[11]);
        canvas.Image(zip.BarcodeText().size() > 5 ? 15 : 108, 563, zip.Bitmap().width(), zip.Bitmap().height(),
                     zip.Bitmap());
    }
}

// Five lines of the record, from `first`, upper-cased, 0.15 in apart downwards.
void AddressBlock(FormCanvas& canvas, const Block& block, const MailerPrintFields& rec, int first, int hx, int hy)
{
    for (int i = 0; i < 5; ++i)
        canvas.Text(block, hx, hy - 15 * i, rtl::AnsiUpperCase(rec[first + i]), kOcrFace, 10, 1800);
}

// A receipt line of a caption ending at captionX and an amount starting at
// 0.30 in: the amount stops a blank short of the caption, so the two never
// read as one.
void AmountLine(FormCanvas& canvas, int captionX, int hy, const std::string& caption, const std::string& amount,
                int sizePt)
{
    const std::string& face = canvas.Printer().fontName;
    const int captionWidth = canvas.Text(form::kReceiptCaptions, captionX, hy, caption, face, sizePt, 1800);
    const int room = canvas.X(captionX) - captionWidth - canvas.Width(" ", face, sizePt) - canvas.X(30);
    canvas.TextEndingAt(30, hy, amount, face, sizePt, room);
}

void DrawFormText(FormCanvas& canvas, const MailerPrintFields& rec)
{
    const std::string& face = canvas.Printer().fontName;
    using namespace form;

    AddressBlock(canvas, kCardSender, rec, 0, 750, 465);
    AddressBlock(canvas, kLowerSender, rec, 0, 755, 300);
    AddressBlock(canvas, kRecipient, rec, 6, 710, 670);
    AddressBlock(canvas, kLowerRecipient, rec, 6, 755, 200);
    if (rec[24] == "Yes")
        AddressBlock(canvas, kExtraLabel, rec, rec[25] == "Addressed To" ? 6 : 0, 280, 660);
    canvas.Text(kCardSender, 750, 395, "RE: " + rec[12], kOcrFace, 10, 1800);

    // The card's return address, reading downwards between the sender's
    // barcode and the recipient's block, is where the card is mailed back
    // to, so no block's end cuts it: each line runs on past the card's
    // number and into the recipient's block, a character at a time, as far
    // as the glyphs drawn before leave room.
    for (int i = 0; i < 5; ++i)
        canvas.TextClearOfInk(430 - 15 * i, 380, rtl::AnsiUpperCase(rec[i]), kOcrFace, 10, 2700);
    canvas.Text(kSideStrip, 821, 380, "RE: " + rec[12], kOcrFace, 10, 2700);
    canvas.Text(kSideStrip, 806, 380, rec[13], kOcrFace, 10, 2700);

    // The receipt, in the caller's face.
    canvas.Text(kReceipt, 145, 288, rec[0], face, 6, 1800);
    canvas.Text(kReceipt, 145, 278, "RE: " + rec[12], face, 6, 1800);
    canvas.Text(kReceipt, 145, 268, rec[13], face, 6, 1800);
    if (rec[26] != "-1")
        canvas.Text(kReceipt, 145, 258, "DP: " + rec[26], face, 6, 1800);
    if (rec[27] != "-1")
        canvas.Text(kReceipt, 145, 248, "PB: " + rec[27], face, 6, 1800);
    for (int i = 0; i < 5; ++i)
        canvas.Text(kReceipt, 145, 213 - 10 * i, rec[6 + i], face, 6, 1800);

    static constexpr int kFeeFields[] = {17, 18, 19, 20, 29};
    static constexpr const char* kFeeCaptions[] = {"Postage", "Certified Fee", "Return Receipt", "Restricted",
                                                   "Priority"};
    for (int i = 0; i < 5; ++i)
        AmountLine(canvas, 145, 143 - 10 * i, kFeeCaptions[i], rtl::Trim(rec[kFeeFields[i]]), 6);

    canvas.Text(kReceipt, 130, 330, "RECEIPT", face, 8, 1800);
    canvas.Text(kReceipt, 140, 302, "FROM:", face, 8, 1800);
    canvas.Text(kReceipt, 140, 228, "SEND TO:", face, 8, 1800);
    canvas.Text(kReceipt, 140, 158, "FEES:", face, 8, 1800);
    AmountLine(canvas, 140, 88, "TOTAL", "$ " + rtl::Trim(rec[21]), 8);
    canvas.Text(kReceipt, 140, 73, "POSTMARK OR DATE", face, 8, 1800);
}

void DrawLabelText(FormCanvas& canvas, const MailerPrintFields& rec)
{
    const int across = -gLabelRow * 275;
    const int down = gLabelCol * 370;
    const Block cell = LabelCell();
    canvas.Text(cell, 800 + across, down + 50, Utf8Left(rec[6], 40), kOcrFace, 8, 2700);
    canvas.Text(cell, 790 + across, down + 50, Utf8Left(rec[7], 40), kOcrFace, 8, 2700);
}

}  // namespace

std::string ArticleZip5(const std::string& zip)
{
    const std::string first = zip.substr(0, std::min<std::size_t>(5, zip.size()));
    std::size_t at = first.find_first_not_of(' ');
    if (at == std::string::npos)
        return "00000";
    int value = 0;
    for (; at < first.size(); ++at) {
        if (first[at] < '0' || first[at] > '9')
            return "00000";
        value = value * 10 + (first[at] - '0');
    }
    std::string digits = std::to_string(value);
    return std::string(5 - std::min<std::size_t>(5, digits.size()), '0') + digits;
}

const std::string& LastZip()
{
    return State().lastZip;
}

void SetLastZip(const std::string& zip)
{
    State().lastZip = zip;
}

void BeginPrintJob()
{
    print::Printer().BeginDoc();
}

void EndPrintJob()
{
    print::Printer().EndDoc();
}

TPrintJob::TPrintJob()
{
    BeginPrintJob();
}

TPrintJob::~TPrintJob()
{
    if (!open_)
        return;
    try {
        if (print::HasPrinter() && print::Printer().Printing())
            EndPrintJob();
    } catch (...) {
        // An exception is already on its way to the caller; it is the one to report.
    }
}

void TPrintJob::End()
{
    open_ = false;
    if (print::Printer().Printing())
        EndPrintJob();
}

std::string RecipientBarcodeData(const MailerPrintFields& Rec, bool PrintBarcodes)
{
    if (!PrintBarcodes) return Rec[15];
    return MakeArticleNumber(Rec[15], Rec[16], ArticleZip5(Rec[11]), "T");
}

void PrintMailerForm(const MailerPrintFields& Rec, bool PrintBarcodes, int Kind, const QFont& FontSource,
                     std::string& Data)
{
    print::PrintDevice& device = print::Printer();
    PrinterState& s = State();
    const int alignX = rtl::StrToInt(Rec[22]);
    const int alignY = rtl::StrToInt(Rec[23]);

    // A form is a job of its own; a label cell lives in the caller's job.
    const bool form = Kind == 1;
    std::optional<print::DocumentGuard> guard;
    if (form) {
        device.BeginDoc();
        guard.emplace(device);
    }

    s.alignX = alignX;
    s.alignY = alignY;
    SetUpPrinter(device, FontSource, s);
    s.layout = form ? 1 : 2;
    FormCanvas canvas(device, s);

    if (PrintBarcodes) {
        s.lastZip = ArticleZip5(Rec[11]);
        s.dataT = MakeArticleNumber(Rec[15], Rec[16], s.lastZip, "T");
        s.lastZip = ArticleZip5(Rec[5]);
        s.dataF = MakeArticleNumber(Rec[15], Rec[16], s.lastZip, "F");
        DrawArticleBarcodes(canvas);
    } else {
        s.dataT = Rec[15];
    }

    if (form) {
        DrawZipBarcodes(canvas, Rec);
        DrawFormText(canvas, Rec);
        guard->Close();
    } else {
        DrawLabelText(canvas, Rec);
        if (gLabelRow == 2 && gLabelCol == 2) {
            device.EndDoc();
            device.BeginDoc();
        }
    }
    Data = s.dataT;
}

std::string PrintBlankBarcodeLabels(int Count, int Layout, const std::string& CustID, const std::string& Serial,
                                    const std::string& AlignX, const std::string& AlignY, const QFont& FontSource,
                                    bool CountUp, int* Printed)
{
    print::PrintDevice& device = print::Printer();
    PrinterState& s = State();
    const int alignX = rtl::StrToInt(AlignX);
    const int alignY = rtl::StrToInt(AlignY);
    if (Printed != nullptr)
        *Printed = 0;

    std::string serial = Serial;
    for (int i = 0; i < Count; ++i) {
        // A serial that is no number stops us here, before anything is printed.
        const std::string next = StepSerialNumber(serial, CountUp);
        s.dataT = MakeArticleNumber(CustID, serial, s.lastZip, "T");
        s.dataF = MakeArticleNumber(CustID, serial, "00000", "F");

        device.BeginDoc();
        print::DocumentGuard guard(device);
        s.alignX = alignX;
        s.alignY = alignY;
        SetUpPrinter(device, FontSource, s);
        s.layout = Layout == 1 ? 1 : 2;
        FormCanvas canvas(device, s);
        DrawArticleBarcodes(canvas);
        guard.Close();
        if (Printed != nullptr)
            ++*Printed;
        serial = next;
    }
    return serial;
}

std::string SkippedNumbersText(const std::vector<std::string>& Numbers)
{
    if (Numbers.empty())
        return {};
    if (Numbers.size() == 1)
        return "The Mailer Number " + Numbers.front() + " was skipped.";
    if (Numbers.size() == 2)
        return "The Mailer Numbers " + Numbers.front() + " and " + Numbers.back() + " were skipped.";
    return "The " + std::to_string(Numbers.size()) + " Mailer Numbers from " + Numbers.front() + " to " +
           Numbers.back() + " were skipped.";
}
