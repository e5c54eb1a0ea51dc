#include "platform/report/BaseReport.h"

#include "platform/print/RecordingPrintDevice.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using print::RecordingPrintDevice;
using Op = RecordingPrintDevice::Op;
using namespace report;

// At 100 dpi an inch is 100 pixels; the fake's 10-point text is 14 pixels
// high, so lines are 16 pixels apart.
struct Writer {
    RecordingPrintDevice device{100, 100};
    std::optional<TBaseReport> w;
    Writer() {
        device.BeginDoc();
        w.emplace(device, PageSetup{});
    }
    std::vector<RecordingPrintDevice::Call> Texts() const { return device.CallsOf(Op::TextOut); }
    std::vector<RecordingPrintDevice::Call> Rules() const { return device.CallsOf(Op::StretchDraw); }
};

TEST(InchToPixelsTest, GoesThroughHundredthsAndRoundsHalfToEven) {
    EXPECT_EQ(InchToPixels(0.35, 300), 105);  // 0.35 * 300 is 104.99999... as a double
    EXPECT_EQ(InchToPixels(1.65, 600), 990);
    EXPECT_EQ(InchToPixels(0.01, 150), 2);  // 1.5
    EXPECT_EQ(InchToPixels(0.03, 150), 4);  // 4.5
    EXPECT_EQ(InchToPixels(-0.03, 150), -4);
    EXPECT_EQ(InchToPixels(0.125, 100), 12);  // 12.5 hundredths
    EXPECT_EQ(InchToPixels(-1.0, 300), -300);
}

TEST(BaseReportTest, TabColumnsPlaceTextByJustificationWithTheirBoxes) {
    Writer t;
    TBaseReport& w = *t.w;
    w.SetTab(1.0, pjLeft, 2.0, 5.0, BOXLINEALL, 0);
    w.SetTab(NA, pjRight, 1.5, 5.0, BOXLINEALL, 0);
    w.SetTab(NA, pjCenter, 1.0, 0, BOXLINENONE, 0);
    w.PrintTab("abc");
    w.PrintTab("de");
    w.PrintTab("f");
    auto texts = t.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].x, 105);  // tab at 1.0 in, margin 0.05 in
    EXPECT_EQ(texts[0].y, 51);   // 14-pixel text centred on the 16-pixel line at 0.5 in
    EXPECT_EQ(texts[1].x, 450 - 5 - 20);
    EXPECT_EQ(texts[2].x, 450 + (100 - 10) / 2);
    EXPECT_EQ(texts[0].font, (print::FontSpec{"Arial", 10, 0}));

    // Two boxes of four rules; neighbours share the edge at 3.0 inches.
    const auto rules = t.Rules();
    ASSERT_EQ(rules.size(), 8u);
    int at300 = 0;
    for (const auto& r : rules) {
        EXPECT_GE(r.y, 50);
        EXPECT_LE(r.y + r.height, 50 + 16 + 1);
        if (r.x == 300 && r.width == 1) ++at300;
    }
    EXPECT_EQ(at300, 2);

    // A new line starts again at the first tab; the common justification wins.
    w.NewLine();
    w.SetTabJustify(tjCenter);
    w.PrintTab("xy");
    EXPECT_EQ(t.Texts().back().x, 100 + (200 - 20) / 2);
    EXPECT_EQ(t.Texts().back().y, 67);
    w.SetTabJustify(tjNone);
    w.PrintTab("xy");
    EXPECT_EQ(t.Texts().back().x, 450 - 5 - 20);

    // Past the last tab the text still prints, at the cursor.
    w.PrintTab("");
    w.PrintTab("more");
    EXPECT_EQ(t.Texts().back().text, "more");
    EXPECT_EQ(t.Texts().back().x, 550);

    // Cleared tabs: the next SetTab with NA starts at the left margin.
    w.ClearTabs();
    w.SetTab(NA, pjLeft, 1.0, 0, BOXLINENONE, 25);
    w.NewLine();
    w.PrintTab("m");
    EXPECT_EQ(t.Texts().back().x, 50);
    EXPECT_EQ(t.Rules().back().width, 100);  // the shade fills the box
}

TEST(BaseReportTest, TableWiderThanThePageKeepsItsNegativeLeftEdge) {
    Writer t;
    TBaseReport& w = *t.w;
    w.SetTab((w.PageWidth() - 9.5) / 2, pjLeft, 9.5, 0, BOXLINENONE, 0);
    w.PrintTab("wide");
    EXPECT_EQ(t.Texts()[0].x, -50);
}

TEST(BaseReportTest, PrintCentreAndRightMeasureTheTextAndLeaveTheCursor) {
    Writer t;
    TBaseReport& w = *t.w;
    w.Home();
    w.PrintCenter("Title", w.PageWidth() / 2);
    w.PrintRight("end", w.PageWidth() - 0.5);
    EXPECT_EQ(t.Texts()[0].x, 425 - 25);
    EXPECT_EQ(t.Texts()[1].x, 800 - 30);
    EXPECT_DOUBLE_EQ(w.XPos(), 0.5);
    w.Print("ab");
    w.Print("c");
    EXPECT_EQ(t.Texts()[3].x, 70);
    EXPECT_DOUBLE_EQ(w.XPos(), 0.8);

    // A taller font starts at the line's top instead of rising above it.
    w.SetFont("Arial", 18);
    w.Print("Big");
    EXPECT_EQ(t.Texts().back().y, 50);
    EXPECT_EQ(t.Texts().back().font.sizePt, 18);
    w.AdjustLine();
    EXPECT_DOUBLE_EQ(w.LineHeight(), 0.3);  // 25 + 5 pixels
}

TEST(BaseReportTest, LinesLeftCountsWholeLinesAboveTheBottomMargin) {
    Writer t;
    TBaseReport& w = *t.w;
    // 1000 pixels between the margins; the first line takes 16.
    EXPECT_EQ(w.LinesLeft(), (1050 - 66) / 16);
    while (w.LinesLeft() > 0) w.NewLine();
    const int lastTop = static_cast<int>(w.YPos() * 100 + 0.5);
    EXPECT_LE(lastTop + 16, 1050);  // the last line still fits
    EXPECT_GT(lastTop + 32, 1050);  // and no other does
    EXPECT_EQ(w.LinesLeft(), 0);
    w.NewLine();
    EXPECT_EQ(w.LinesLeft(), 0);
}

TEST(BaseReportTest, FooterRunsAtTheEndOfEveryPageAndCannotTurnThePage) {
    Writer t;
    TBaseReport& w = *t.w;
    std::vector<int> footers;
    w.OnPrintFooter = [&](TBaseReport& r) {
        footers.push_back(r.CurrentPage());
        r.NewPage();  // ignored inside a footer
        r.Print("Page " + std::to_string(r.CurrentPage()));
    };
    w.NewLine();
    w.NewLine();
    w.NewPage();
    EXPECT_EQ(w.CurrentPage(), 2);
    EXPECT_DOUBLE_EQ(w.YPos(), 0.5);  // home on the new page
    w.NewPage();
    w.Finish();
    w.Finish();  // once only
    EXPECT_EQ(footers, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(t.device.CallsOf(Op::NewPage).size(), 2u);
}

// A device whose text widths grow with the font size, to see fitting work.
class ScaledDevice final : public print::PrintDevice {
public:
    RecordingPrintDevice inner{100, 100};
    int DpiX() const override { return 100; }
    int DpiY() const override { return 100; }
    int OffsetX() const override { return 10; }
    int OffsetY() const override { return 20; }
    void BeginDoc() override { inner.BeginDoc(); }
    void EndDoc() override { inner.EndDoc(); }
    void NewPage() override { inner.NewPage(); }
    bool Printing() const override { return inner.Printing(); }
    void TextOut(int x, int y, const std::string& text, const print::FontSpec& font) override {
        inner.TextOut(x, y, text, font);
    }
    print::TextSize TextExtent(const std::string& text, const print::FontSpec& font) override {
        return {static_cast<int>(text.size()) * font.sizePt / 2, font.sizePt * 100 / 72};
    }
    void StretchDraw(int x, int y, int width, int height, const QImage& image) override {
        inner.StretchDraw(x, y, width, height, image);
    }
};

TEST(BaseReportTest, TooWideTextShrinksIntoItsColumnAndOffsetsAreTakenOff) {
    ScaledDevice device;
    device.BeginDoc();
    TBaseReport w(device, PageSetup{});
    w.SetFont("Times New Roman", 10);
    w.SetTab(1.0, pjLeft, 1.0, 5.0, BOXLINENONE, 0);
    w.SetTab(NA, pjLeft, 1.0, 5.0, BOXLINENONE, 0);
    w.PrintTab(std::string(18, '9'));  // 90 pixels at 10 points: fits exactly
    w.PrintTab(std::string(27, '9'));  // 135 at 10 points: needs 6 points
    const auto texts = device.inner.CallsOf(Op::TextOut);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].font.sizePt, 10);
    EXPECT_EQ(texts[1].font.sizePt, 6);
    EXPECT_EQ(texts[0].x, 105 - 10);
    EXPECT_EQ(texts[1].x, 205 - 10);
    EXPECT_LT(texts[1].y, 50);  // device y is the page's less the printer's offset

    // Even the smallest size does not fit: printed at 4 points, not skipped.
    w.NewLine();
    w.PrintTab(std::string(200, 'x'));
    EXPECT_EQ(device.inner.CallsOf(Op::TextOut).back().font.sizePt, 4);
}

}  // namespace
