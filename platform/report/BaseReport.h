#pragma once
// The page writer handed to a report's layout callbacks.
//
// Positions the callers give are inches from the left (x) or top (y) edge of
// the paper as the report reads it (so a landscape page is 11 inches wide).
// Inside, everything is whole device pixels: inches become hundredths of an
// inch and then pixels, each step rounded half to even, so a column lands on
// the same pixel however it was reached.
//
// The cursor stands on a line: its y is the top of the line, which is
// LineHeight() high. Text printed on a line is centred in it; a text taller
// than the line starts at its top.

#include "platform/print/PrintDevice.h"
#include "platform/report/ReportTypes.h"

#include <functional>
#include <string>
#include <vector>

namespace report {

// The paper as the report reads it, after the orientation.
struct PageSetup {
    double paperWidth = 8.5;  // inches
    double paperHeight = 11.0;
    double marginLeft = 0.5;
    double marginTop = 0.5;
    double marginRight = 0.5;
    double marginBottom = 0.5;
};

// Inches to device pixels: through hundredths of an inch, half to even.
int InchToPixels(double inches, int dpi);

class TBaseReport {
public:
    // The device must have a document open; the writer starts on page 1 at
    // Home() with Arial 10 and a line height that fits it.
    TBaseReport(print::PrintDevice& device, const PageSetup& setup);
    TBaseReport(const TBaseReport&) = delete;
    TBaseReport& operator=(const TBaseReport&) = delete;

    // Called at the end of every page, by NewPage and by Finish. It may
    // print (usually on the last lines) but a NewPage inside it is ignored.
    std::function<void(TBaseReport&)> OnPrintFooter;

    // Tab columns, in the order PrintTab fills them.
    void ClearTabs();
    // position: inches, or NA for right after the previous tab (the left
    // margin when there is none); width: inches; margin: space between the
    // box and the text, in hundredths of an inch; lines: BOXLINE* bits;
    // shade: percent of grey filling the box, 0 for none.
    void SetTab(double position, TPrintJustify justify, double width, double margin, int lines, int shade);
    TTabJustify TabJustify() const { return tabJustify_; }
    void SetTabJustify(TTabJustify justify) { tabJustify_ = justify; }
    // Prints into the next tab column of the line, with its box. A text wider
    // than the column is printed in a smaller size of the font (down to 4
    // points) rather than over its neighbours. With every tab used, the text
    // is printed at the cursor as Print does.
    void PrintTab(const std::string& text);

    void SetFont(const std::string& name, int sizePoints);
    const print::FontSpec& Font() const { return font_; }
    // The line height follows the current font (the text height plus a fifth).
    void AdjustLine();

    // The top-left corner inside the margins; the first tab comes next.
    void Home();
    // The start of the next line.
    void NewLine();
    // Ends the page (its footer first) and starts the next at Home().
    void NewPage();
    // Lines that still fit below the current one, above the bottom margin.
    int LinesLeft() const;

    // At the cursor; the cursor moves past the text.
    void Print(const std::string& text);
    // Centred on x, or ending at x (inches); the cursor stays.
    void PrintCenter(const std::string& text, double x);
    void PrintRight(const std::string& text, double x);

    double PageWidth() const { return setup_.paperWidth; }
    double PageHeight() const { return setup_.paperHeight; }
    int CurrentPage() const { return page_; }
    double XPos() const;
    double YPos() const;
    double LineHeight() const;

    // Ends the last page: runs its footer. The system calls it once.
    void Finish();

private:
    struct Tab {
        int left = 0;
        int width = 0;
        TPrintJustify justify = pjLeft;
        int margin = 0;
        int lines = 0;
        int shade = 0;
    };

    int X(double inches) const { return InchToPixels(inches, dpiX_); }
    int Y(double inches) const { return InchToPixels(inches, dpiY_); }
    // Text with its cell's top-left at page pixel (x, y of the line's top).
    void TextAt(int x, const std::string& text, const print::FontSpec& font);
    void Fill(int x, int y, int width, int height, int shadePercent);
    void RunFooter();

    print::PrintDevice& device_;
    PageSetup setup_;
    int dpiX_;
    int dpiY_;
    int offsetX_;
    int offsetY_;
    int left_, top_, bottom_;  // page pixels of the margins
    int x_ = 0;
    int y_ = 0;
    int lineHeight_ = 1;
    int page_ = 1;
    print::FontSpec font_{"Arial", 10, 0};
    std::vector<Tab> tabs_;
    std::size_t nextTab_ = 0;
    TTabJustify tabJustify_ = tjNone;
    bool inFooter_ = false;
    bool finished_ = false;
};

}  // namespace report
