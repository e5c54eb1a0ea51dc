#include "platform/report/RpSystem.h"

#include "platform/report/ReportDevices.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>

#include <exception>
#include <optional>

namespace report {

void TSystemPrinter::SetPaperSize(double width, double height) {
    if (!(width > 0) || !(height > 0)) throw EReportError("The paper size must be positive.");
    paperWidth_ = width;
    paperHeight_ = height;
}

PageSetup TSystemPrinter::Page(TOrientation orientation) const {
    PageSetup page;
    page.paperWidth = orientation == poLandscape ? paperHeight_ : paperWidth_;
    page.paperHeight = orientation == poLandscape ? paperWidth_ : paperHeight_;
    page.marginLeft = MarginLeft;
    page.marginTop = MarginTop;
    page.marginRight = MarginRight;
    page.marginBottom = MarginBottom;
    return page;
}

ReportLayout TRpSystem::OwnLayout() const { return {OnBeforePrint, OnPrint, OnPrintFooter}; }

void TRpSystem::Execute() { ExecuteLayout(OwnLayout(), systemPrinter_.Orientation()); }

void TRpSystem::ExecuteLayout(const ReportLayout& layout, TOrientation orientation) {
    if (defaultDest_ == rdPreview) {
        Preview(layout, orientation);
        return;
    }
    print::PrintDevice& device = printerDevice_ != nullptr ? *printerDevice_ : print::Printer();
    Render(device, layout, orientation);
}

int TRpSystem::Render(print::PrintDevice& device, const ReportLayout& layout, TOrientation orientation) {
    if (orientation == poLandscape) {
        LandscapeDevice turned(device, systemPrinter_.PaperHeight());
        return RenderPage(turned, layout, systemPrinter_.Page(poLandscape));
    }
    return RenderPage(device, layout, systemPrinter_.Page(poPortrait));
}

int TRpSystem::RenderPage(print::PrintDevice& device, const ReportLayout& layout, const PageSetup& page) {
    if (layout.beforePrint) layout.beforePrint();
    print::DocumentGuard document(device);
    device.BeginDoc();
    TBaseReport writer(device, page);
    writer.OnPrintFooter = layout.printFooter;
    if (layout.print) layout.print(writer);
    writer.Finish();
    document.Close();
    return writer.CurrentPage();
}

void TRpSystem::Preview(const ReportLayout& layout, TOrientation orientation) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setResolution(300);
    const QPageSize paper(QSizeF(systemPrinter_.PaperWidth(), systemPrinter_.PaperHeight()), QPageSize::Inch);
    printer.setPageLayout(QPageLayout(paper, orientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF(0, 0, 0, 0)));
    printer.setFullPage(true);
    printer.setDocName(QString::fromStdString(systemPrinter_.Title));

    QPrintPreviewDialog dialog(&printer, QApplication::activeWindow());
    dialog.setWindowTitle(QString::fromStdString(TitlePreview));
    const PageSetup page = systemPrinter_.Page(orientation);
    // The preview asks for its pages whenever it needs them (also for its own
    // print button). A failing report must not unwind through Qt: the error is
    // kept, the window closed, and the error raised to our caller.
    std::exception_ptr failure;
    auto guarded = [&](auto&& run) {
        if (failure) return;
        try {
            run();
        } catch (...) {
            failure = std::current_exception();
            QMetaObject::invokeMethod(&dialog, &QDialog::reject, Qt::QueuedConnection);
        }
    };
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* target) {
        guarded([&] {
            PrinterPainterDevice device(*target);
            RenderPage(device, layout, page);
        });
    });
    // The window's own Print button would print through a print dialog and
    // printer of its own, past the program's printer and tray, and take a
    // queue that refuses the job for printed: the caller's printing takes
    // its place when there is one.
    const QString printText = QCoreApplication::translate("QPrintPreviewDialog", "Print");
    for (QAction* action : dialog.findChildren<QAction*>()) {
        if (action->text() != printText) continue;
        action->setObjectName("actPreviewPrint");
        if (!OnPreviewPrint) continue;
        QObject::disconnect(action, &QAction::triggered, &dialog, nullptr);
        QObject::connect(action, &QAction::triggered, &dialog,
                         [&, print = OnPreviewPrint] { guarded([&] { print(layout, orientation); }); });
    }
    if (auto* view = dialog.findChild<QPrintPreviewWidget*>()) {
        view->setZoomMode(QPrintPreviewWidget::CustomZoom);
        view->setZoomFactor(PreviewZoom / 100.0);
    }
    if (PreviewMaximized) dialog.setWindowState(dialog.windowState() | Qt::WindowMaximized);
    dialog.exec();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace report
