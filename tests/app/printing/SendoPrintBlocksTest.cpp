// Where the form's texts may run: each text stays in the block of the form
// it belongs to, article numbers are whole, and the card's return address
// (which keeps to no block) runs until its ink would touch ink drawn before
// it or leave the paper, and no further.

#include "tests/app/printing/SendoPrintTestSupport.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <array>
#include <optional>

using namespace sendoprinttest;

namespace {

// A rectangle of the paper in hundredths of an inch.
struct Area {
    int left, top, right, bottom;
};

// A place where the printer starts a text: hundredths of an inch, the angle
// and size, and the area the text must keep to. Upside-down amounts end at
// hx instead of starting there. A return-address line (`returnLine` 0-4)
// has no area.
struct Place {
    std::string name;
    Area area;
    int hx, hy, angle, sizePt;
    bool endsAtX = false;
    int returnLine = -1;
};

constexpr Area kReceipt{0, 55, 147, 335};
constexpr Area kCaptions{30, 75, 147, 145};

std::vector<Place> FormPlaces()
{
    std::vector<Place> p = {
        {"recipient's number", {0, 380, 308, 405}, 308, 402, 1800, 11},
        {"card's number", {424, 472, 720, 495}, 720, 492, 1800, 11},
        {"top sender number", {147, 0, 850, 80}, 760, 78, 1800, 10},
        {"top recipient number", {147, 0, 850, 80}, 770, 45, 1800, 10},
        {"side number", {796, 146, 810, 380}, 810, 146, 2700, 8},
        {"side strip number", {773, 380, 821, 1100}, 791, 380, 2700, 10},
        {"side strip comment", {773, 380, 821, 1100}, 806, 380, 2700, 10},
        {"side strip RE", {773, 380, 821, 1100}, 821, 380, 2700, 10},
        {"receipt number", kReceipt, 147, 317, 1800, 6},
        {"card RE", {430, 375, 750, 466}, 750, 395, 1800, 10},
        {"RECEIPT", kReceipt, 130, 330, 1800, 8},
        {"FROM:", kReceipt, 140, 302, 1800, 8},
        {"SEND TO:", kReceipt, 140, 228, 1800, 8},
        {"FEES:", kReceipt, 140, 158, 1800, 8},
        {"TOTAL", kReceipt, 140, 88, 1800, 8},
        {"total amount", kReceipt, 30, 88, 1800, 8, true},
        {"POSTMARK OR DATE", kReceipt, 140, 73, 1800, 8},
        {"receipt RE", kReceipt, 145, 278, 1800, 6},
        {"receipt comment", kReceipt, 145, 268, 1800, 6},
        {"receipt DP", kReceipt, 145, 258, 1800, 6},
        {"receipt PB", kReceipt, 145, 248, 1800, 6},
    };
    for (int i = 0; i < 5; ++i) {
        const std::string n = " " + std::to_string(i + 1);
        p.push_back({"card sender" + n, {430, 375, 750, 466}, 750, 465 - 15 * i, 1800, 10});
        p.push_back({"lower sender" + n, {147, 220, 755, 300}, 755, 300 - 15 * i, 1800, 10});
        p.push_back({"recipient" + n, {280, 592, 710, 670}, 710, 670 - 15 * i, 1800, 10});
        p.push_back({"lower recipient" + n, {147, 121, 755, 200}, 755, 200 - 15 * i, 1800, 10});
        p.push_back({"extra label" + n, {0, 580, 280, 660}, 280, 660 - 15 * i, 1800, 10});
        p.push_back({"receipt recipient" + n, kReceipt, 145, 213 - 10 * i, 1800, 6});
        p.push_back({"fee caption" + n, kCaptions, 145, 143 - 10 * i, 1800, 6});
        p.push_back({"fee amount" + n, kCaptions, 30, 143 - 10 * i, 1800, 6, true});
        p.push_back({"return address" + n, {}, 430 - 15 * i, 380, 2700, 10, false, i});
    }
    p.push_back({"receipt sender", kReceipt, 145, 288, 1800, 6});
    // A label sheet's cells: rows across from the right edge, columns down.
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            const int across = -275 * row, down = 370 * col;
            const Area cell{575 + across, down, 850 + across, down + 370};
            const std::string n = " " + std::to_string(row) + std::to_string(col);
            p.push_back({"label number" + n, cell, 600 + across, down + 60, 2700, 11});
            p.push_back({"label small number" + n, cell, 810 + across, down + 60, 2700, 8});
            p.push_back({"label line 1" + n, cell, 800 + across, down + 50, 2700, 8});
            p.push_back({"label line 2" + n, cell, 790 + across, down + 50, 2700, 8});
        }
    return p;
}

class TextsKeepTheirPlaces : public RecordingPrinterTest {
protected:
    int dpi = 300;
    int off = 0;
    int alignX = 0, alignY = 0;  // the record's alignment steps, 3 pixels each
    bool withFonts = false;  // else the device's characters are all one width, whatever the size

    Device& Install(int resolution, int offset, bool fonts, int charWidth = 10)
    {
        dpi = resolution;
        off = offset;
        withFonts = fonts;
        Device& device = InstallPrinter(dpi, dpi, off, off);
        device.SetMeasureWithFonts(fonts);
        device.SetCharWidth(charWidth);
        return device;
    }

    // Pixels on the paper (the printable offset added back).
    int P(int hundredths) const { return hundredths * dpi / 100; }
    print::PixelBox Pixels(const Area& a) const { return {P(a.left), P(a.top), P(a.right), P(a.bottom)}; }

    std::optional<Place> PlaceOf(const Call& text)
    {
        for (const Place& p : FormPlaces()) {
            if (p.angle != text.font.angle || p.sizePt != text.font.sizePt || P(p.hy) - off + 3 * alignY != text.y)
                continue;
            const int startX = p.endsAtX ? text.x - Printer().TextExtent(text.text, text.font).cx : text.x;
            if (P(p.hx) - off + 3 * alignX == startX)
                return p;
        }
        return std::nullopt;
    }

    // Prints `rec` as a form and, with `sheet`, as a whole label sheet, and
    // checks every text drawn. Returns the return address's lines as printed.
    std::vector<std::string> PrintAndCheck(const MailerPrintFields& rec, bool barcodes, bool sheet = false)
    {
        cutAt = {};
        alignX = std::stoi(rec[22]);
        alignY = std::stoi(rec[23]);
        std::string data;
        PrintMailerForm(rec, barcodes, 1, CallerFont(), data);
        if (sheet) {
            TPrintJob job;
            for (gLabelRow = 0; gLabelRow < 3; ++gLabelRow)
                for (gLabelCol = 0; gLabelCol < 3; ++gLabelCol)
                    PrintMailerForm(rec, barcodes, 2, CallerFont(), data);
            job.End();
        }
        std::vector<std::string> returnAddress(5);
        const print::PixelBox paper = Pixels({0, 0, 850, 1100});
        std::vector<print::PixelBox> inkBefore;  // of the page so far: characters and barcodes
        auto clear = [&](const print::PixelBox& box) {
            return box.Empty() || (box.Inside(paper) && std::none_of(inkBefore.begin(), inkBefore.end(),
                                                                     [&](const auto& before) { return before.Touches(box); }));
        };
        for (const Call& call : Printer().Calls()) {
            if (call.op == Op::BeginDoc)
                inkBefore.clear();
            if (call.op == Op::StretchDraw)
                inkBefore.push_back(print::PixelBox{call.x, call.y, call.x + call.width, call.y + call.height}.Moved(off, off));
            if (call.op != Op::TextOut)
                continue;
            const std::optional<Place> place = PlaceOf(call);
            if (!place) {
                ADD_FAILURE() << "\"" << call.text << "\" at no place of the form: " << call.x << "," << call.y;
                continue;
            }
            std::vector<print::PixelBox> ink = Printer().CharacterInk(call.text, call.font);
            for (print::PixelBox& box : ink)
                box = box.Moved(call.x + off, call.y + off);
            if (place->returnLine < 0) {
                const print::PixelBox box = Printer().TextBox(call);
                EXPECT_TRUE(box.Inside(Pixels(place->area).Moved(3 * alignX, 3 * alignY)))
                    << place->name << " \"" << call.text << "\" leaves its block: " << box.left << "," << box.top
                    << "-" << box.right << "," << box.bottom;
                if (withFonts && place->name.find("number") != std::string::npos) {
                    EXPECT_EQ(call.text.size(), 27u) << place->name << " \"" << call.text << "\" is cut";
                }
            } else {
                // Runs until a character's own ink would touch earlier ink or
                // leave the paper.
                const std::string whole = rtl::AnsiUpperCase(rec[static_cast<std::size_t>(place->returnLine)]);
                returnAddress[static_cast<std::size_t>(place->returnLine)] = call.text;
                EXPECT_EQ(whole.compare(0, call.text.size(), call.text), 0) << place->name << " \"" << call.text << "\"";
                for (std::size_t i = 0; i < ink.size(); ++i)
                    EXPECT_TRUE(clear(ink[i])) << place->name << " \"" << call.text << "\": character " << i
                                               << " touches ink drawn before it";
                const std::vector<print::PixelBox> wholeInk = Printer().CharacterInk(whole, call.font);
                if (call.text.size() < whole.size() && ink.size() < wholeInk.size()) {
                    EXPECT_FALSE(clear(wholeInk[ink.size()].Moved(call.x + off, call.y + off)))
                        << place->name << " \"" << call.text << "\" is cut though its next character has room";
                    cutAt[static_cast<std::size_t>(place->returnLine)] = wholeInk[ink.size()].Moved(call.x + off, call.y + off);
                }
            }
            inkBefore.insert(inkBefore.end(), ink.begin(), ink.end());
        }
        return returnAddress;
    }

    // Where each return-address line was cut: the box of the first character
    // left out (empty for a line printed whole).
    std::array<print::PixelBox, 5> cutAt{};
};

// The longest lines the entry fields take, in wide letters.
MailerPrintFields LongestMailer()
{
    MailerPrintFields rec = SampleMailer();
    for (int i : {0, 1, 2, 3, 6, 7, 8, 9})
        rec[static_cast<std::size_t>(i)] = std::string(50, 'W');
    rec[4] = rec[10] = std::string(35, 'W') + " WWWW 12345-6789";
    rec[12] = std::string(25, 'W');
    rec[13] = std::string(35, 'W');
    rec[26] = rec[27] = std::string(20, 'W');
    rec[17] = rec[18] = rec[19] = rec[20] = rec[21] = rec[29] = "99999999999.99";
    rec[24] = "Yes";
    return rec;
}

MailerPrintFields OrdinaryMailer()
{
    MailerPrintFields rec = SampleMailer();
    rec[0] = "Acme Legal Services";
    rec[1] = "100 Main Street";
    rec[2] = "Springfield IL 62701-9999";
    rec[3] = rec[4] = "";
    rec[5] = "62701-9999";
    rec[6] = "Jane Q. Recipient";
    rec[7] = "2500 Lakeview Avenue, Apt 12";
    rec[8] = "Chicago IL 60614-3302";
    rec[9] = rec[10] = "";
    rec[11] = "60614-3302";
    return rec;
}

}  // namespace

TEST_F(TextsKeepTheirPlaces, TheLongestTextsOnTheFormAndALabelSheet)
{
    // Without fonts each character is 1/12 in wide: the article numbers
    // fit, the long lines of the form and the label lines must be cut.
    for (const int offset : {0, 25}) {
        SCOPED_TRACE(offset);
        Install(300, offset, false, 25);
        PrintAndCheck(LongestMailer(), true, true);
    }
    for (const int resolution : {300, 600}) {
        SCOPED_TRACE(resolution);
        Install(resolution, 0, true);
        const auto lines = PrintAndCheck(LongestMailer(), true, true);
        // The return address passes the card's number, whose ink clears its
        // first line, and stops short of the recipient's block.
        for (const std::string& line : lines) {
            EXPECT_GT(line.size(), 10u) << line;
            EXPECT_LT(line.size(), 50u) << line;
        }
    }
}

TEST_F(TextsKeepTheirPlaces, AnOrdinaryReturnAddressPrintsWhole)
{
    const std::vector<std::string> whole = {"ACME LEGAL SERVICES", "100 MAIN STREET", "SPRINGFIELD IL 62701-9999", "",
                                            ""};
    for (const int resolution : {300, 600})
        for (const bool barcodes : {true, false}) {
            SCOPED_TRACE(std::to_string(resolution) + (barcodes ? " dpi, barcodes" : " dpi, no barcodes"));
            Install(resolution, resolution / 20, true);
            MailerPrintFields rec = OrdinaryMailer();
            if (!barcodes) {
                rec[15] = "420606149214712345678900000015";
                rec[16] = "";
            }
            EXPECT_EQ(PrintAndCheck(rec, barcodes), whole);
        }
}

TEST_F(TextsKeepTheirPlaces, ALongRecipientLineStopsTheReturnLinesItCrosses)
{
    for (const int resolution : {300, 600}) {
        SCOPED_TRACE(resolution);
        Device& device = Install(resolution, 0, true);
        MailerPrintFields rec = OrdinaryMailer();
        for (int i = 0; i < 5; ++i)
            rec[static_cast<std::size_t>(i)] = std::string(40, 'A' + i);
        rec[8] = "2500 North Lakeview Avenue, Apt 12B";  // 35 characters, at 6.40 in
        rec[6] = rec[7] = "";
        const auto lines = PrintAndCheck(rec, true);

        const auto crossing = device.FindText(rtl::UpperCase(rec[8]));
        ASSERT_TRUE(crossing);
        const print::PixelBox recipient = device.InkBox(*crossing);
        for (int i = 0; i < 5; ++i) {
            const auto line = device.FindText(lines[static_cast<std::size_t>(i)]);
            ASSERT_TRUE(line);
            const print::PixelBox ink = device.InkBox(*line);
            // The recipient's line reaches across each line, which ends above it.
            EXPECT_LE(recipient.left, ink.right) << lines[static_cast<std::size_t>(i)];
            EXPECT_LT(ink.bottom, recipient.top) << lines[static_cast<std::size_t>(i)];
            EXPECT_GT(lines[static_cast<std::size_t>(i)].size(), 20u);
        }
    }
}

// Senders whose accents, cedillas, parentheses and descenders sit near ink
// of the card: each line stops only at a character whose own glyph would
// meet that ink, so these print whole, but for the second line under a
// first full of descenders, which stops where its capitals' accents reach
// them (about 5.3 in down the paper).
TEST_F(TextsKeepTheirPlaces, AReturnLineStopsOnlyAtACharacterWhoseOwnInkMeetsInk)
{
    const std::vector<std::vector<std::string>> senders = {
        {"José Núñez Law Office", "100 Main Street", "Springfield IL 62701-9999"},
        {"Österreich Trading Company", "100 Main Street", "Springfield IL 62701-9999"},
        {"École de Droit Montpellier Associés", "100 Main Street", "Springfield IL 62701-9999"},
        {"Garçon Consulting (USA) Inc.", "Édifice Laurier, Suite 200", "Springfield IL 62701-9999"},
    };
    const std::vector<std::vector<std::string>> printed = {
        {"JOSÉ NÚÑEZ LAW OFFICE", "100 MAIN STREET", "SPRINGFIELD IL 62701-9999"},
        {"ÖSTERREICH TRADING COMPANY", "100 MAIN STREET", "SPRINGFIELD IL 62701-9999"},
        {"ÉCOLE DE DROIT MONTPELLIER ASSOCIÉS", "100 MAIN STREET", "SPRINGFIELD IL 62701-9999"},
        {"GARÇON CONSULTING (USA) INC.", "ÉDIFICE LAURIER, SUITE 200", "SPRINGFIELD IL 62701-9999"},
    };
    const std::string queen = "QUEEN JQ, GPQ; ÇA VA (QQ) JJJJ QQQQ ,,,,";
    const std::string accents = "ÉÉÉÉÉÉÉÉÉÉ ÅÅÅÅ ÖÖÖÖ ÊÊÊÊ ÁÁÁÁ";
    for (const int resolution : {203, 300, 600, 1200}) {
        SCOPED_TRACE(std::to_string(resolution) + " dpi");
        for (std::size_t r = 0; r < senders.size(); ++r) {
            Install(resolution, 0, true);
            MailerPrintFields rec = OrdinaryMailer();
            for (std::size_t i = 0; i < 3; ++i)
                rec[i] = senders[r][i];
            const auto lines = PrintAndCheck(rec, true);
            EXPECT_EQ(lines, (std::vector<std::string>{printed[r][0], printed[r][1], printed[r][2], "", ""}));
        }
        Install(resolution, 0, true);
        MailerPrintFields rec = OrdinaryMailer();
        rec[0] = queen;
        rec[1] = accents;
        rec[2] = "";
        const auto lines = PrintAndCheck(rec, true);
        EXPECT_EQ(lines[0], queen);
        EXPECT_GT(lines[1].size(), 10u) << lines[1];
        EXPECT_LT(lines[1].size(), accents.size()) << lines[1];
        // The first character left out reaches down to about 5.3 in.
        EXPECT_NEAR(cutAt[1].top, 530 * resolution / 100, resolution / 10) << lines[1];
    }
}

// The longest sender line with nothing of the recipient's in its way runs
// down the card towards the paper's edge; moved by the alignment as far as
// it goes either way, and by just enough to take it past the bottom edge,
// no character of it is printed off the paper.
TEST_F(TextsKeepTheirPlaces, AReturnLineMovedByTheAlignmentStopsAtThePapersEdge)
{
    MailerPrintFields rec = OrdinaryMailer();
    rec[0] = std::string(50, 'W');
    rec[1] = rec[2] = "";
    for (int i = 6; i <= 11; ++i)
        rec[static_cast<std::size_t>(i)] = "";
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{0, 250}, std::pair{0, 999}, std::pair{999, 0},
                               std::pair{-999, -999}, std::pair{-999, 999}}) {
        SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
        Install(300, 25, true);
        rec[22] = std::to_string(x);
        rec[23] = std::to_string(y);
        const auto lines = PrintAndCheck(rec, true);
        if (y == 0 && x == 0) {
            EXPECT_EQ(lines[0], rec[0]);
        } else if (y == 250) {
            // Cut where its next character would cross the bottom edge.
            EXPECT_GT(lines[0].size(), 5u);
            EXPECT_GT(cutAt[0].bottom, P(1100));
        } else {
            EXPECT_EQ(lines[0], "");
        }
    }
}

// The recipient's ZIP barcode lies below the card, left of the return
// address, out of its lines' reach on a printer with square dots. On one
// whose dots are five times taller than wide, a line's glyphs reach five
// times as far across: a long line then runs towards the barcode, and its
// whole rectangle (quiet zones and all) holds the line back.
TEST_F(RecordingPrinterTest, AReturnLineStopsShortOfABarcodeInItsWay)
{
    Device& device = InstallPrinter(120, 600);
    device.SetCharWidth(30);
    MailerPrintFields rec = OrdinaryMailer();
    for (int i = 0; i <= 10; ++i)
        rec[static_cast<std::size_t>(i)] = "";
    rec[4] = std::string(50, 'M');
    rec[11] = "60614-3302";
    rec[24] = "Yes";
    rec[15] = "420606149214712345678900000015";
    rec[16] = "";
    std::string data;
    PrintMailerForm(rec, false, 1, CallerFont(), data);

    const auto images = Images();
    ASSERT_EQ(images.size(), 2u);
    const print::PixelBox zip{images[1].x, images[1].y, images[1].x + images[1].width, images[1].y + images[1].height};
    std::optional<Call> line;
    for (const Call& text : Texts())
        if (text.font.angle == 2700 && text.x == 444)  // 3.70 in
            line = text;
    ASSERT_TRUE(line);
    ASSERT_LT(line->text.size(), rec[4].size());
    const std::vector<print::PixelBox> ink = device.CharacterInk(rec[4], line->font);
    for (std::size_t i = 0; i <= line->text.size(); ++i) {
        const print::PixelBox box = ink[i].Moved(line->x, line->y);
        EXPECT_EQ(box.Touches(zip), i == line->text.size()) << "character " << i;
    }
}
