#pragma once
// The report system: its settings, the three layout callbacks, and where a
// run goes (the preview window or the printer).

#include "platform/print/PrintDevice.h"
#include "platform/report/BaseReport.h"
#include "platform/report/ReportTypes.h"

#include <functional>
#include <string>

namespace report {

// The printer as the report system sees it: the paper and its orientation.
class TSystemPrinter {
public:
    TOrientation Orientation() const { return orientation_; }
    void SetOrientation(TOrientation orientation) { orientation_ = orientation; }
    // Portrait paper size in inches (US Letter unless set).
    double PaperWidth() const { return paperWidth_; }
    double PaperHeight() const { return paperHeight_; }
    void SetPaperSize(double width, double height);
    // 0.5 inch on every side unless set.
    double MarginLeft = 0.5;
    double MarginTop = 0.5;
    double MarginRight = 0.5;
    double MarginBottom = 0.5;
    // The print job's name where the destination shows one.
    std::string Title = "ReportPrinter Report";

    // The page as a report in this orientation reads it.
    PageSetup Page(TOrientation orientation) const;

private:
    TOrientation orientation_ = poPortrait;
    double paperWidth_ = 8.5;
    double paperHeight_ = 11.0;
};

// What a run lays out: the same three callbacks the system carries.
struct ReportLayout {
    std::function<void()> beforePrint;
    std::function<void(TBaseReport&)> print;
    std::function<void(TBaseReport&)> printFooter;
};

class TRpSystem {
public:
    TRpSystem() = default;
    TRpSystem(const TRpSystem&) = delete;
    TRpSystem& operator=(const TRpSystem&) = delete;

    // Window titles and status lines (%p: the page number).
    std::string TitleSetup = "Output Options";
    std::string TitleStatus = "Report Status";
    std::string TitlePreview = "Report Preview";
    std::string StatusFormat = "Generating page %p";
    std::string PrintingStatusFormat = "Printing page %p";
    bool PreviewMaximized = true;
    int PreviewZoom = 100;  // percent

    TReportDest DefaultDest() const { return defaultDest_; }
    void SetDefaultDest(TReportDest dest) { defaultDest_ = dest; }
    // Setup options offered before a run; the program leaves them empty and
    // no setup window is shown.
    TSystemSetups SystemSetups() const { return systemSetups_; }
    void SetSystemSetups(TSystemSetups setups) { systemSetups_ = setups; }
    TSystemPrinter& SystemPrinter() { return systemPrinter_; }
    const TSystemPrinter& SystemPrinter() const { return systemPrinter_; }

    // Called once before the document starts, then OnPrint once for the
    // whole report, and OnPrintFooter at the end of every page.
    std::function<void()> OnBeforePrint;
    std::function<void(TBaseReport&)> OnPrint;
    std::function<void(TBaseReport&)> OnPrintFooter;

    // The printer for rdPrinter; without one the process's printer.
    // The system does not own it.
    void SetPrinterDevice(print::PrintDevice* device) { printerDevice_ = device; }

    // The preview window's Print button: handed the report the window shows,
    // it prints it (Render to a device of its own choosing) and tells the user
    // of any failure itself; the window stays open. An exception it lets out
    // closes the window and reaches Execute's caller. Without one the button
    // prints through the window's own print dialog.
    std::function<void(const ReportLayout&, TOrientation)> OnPreviewPrint;

    // Runs the callbacks to the default destination, in the system
    // printer's orientation.
    void Execute();
    // Runs another layout (a report of the project) the same way.
    void ExecuteLayout(const ReportLayout& layout, TOrientation orientation);

    // Lays out the report on a portrait device, as the printer destination
    // does: a landscape report is turned on the paper. Returns the pages.
    int Render(print::PrintDevice& device, const ReportLayout& layout, TOrientation orientation);

private:
    // Lays out on a device whose paper already is the page.
    int RenderPage(print::PrintDevice& device, const ReportLayout& layout, const PageSetup& page);
    void Preview(const ReportLayout& layout, TOrientation orientation);
    ReportLayout OwnLayout() const;

    TReportDest defaultDest_ = rdPreview;
    TSystemSetups systemSetups_ = 0;
    TSystemPrinter systemPrinter_;
    print::PrintDevice* printerDevice_ = nullptr;
};

}  // namespace report
