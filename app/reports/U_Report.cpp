#include "app/reports/U_Report.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "app/printing/U_PrinterSetup.h"
#include "app/reports/U_CreateReport.h"
#include "app/reports/U_ReportTables.h"
#include "dbaccess/edstransaction.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_Report.h"

#include <cctype>
#include <memory>
#include <vector>

namespace {

// Item data: the stored orientation ("0" portrait) and whether the report is
// the user's own.
constexpr int kOrientationRole = Qt::UserRole;
constexpr int kCustomRole = Qt::UserRole + 1;

constexpr const char* kNotPrinted = "The report could not be printed.";

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The report's name as part of a PDF file's name: letters, digits, '-' and
// '_' only, so no name reaches outside the folder or trips the file system.
std::string PdfNamePart(const std::string& name)
{
    std::string part;
    for (char c : name)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') part += c;
    return part.empty() ? "Report" : part;
}

// The report's row and its column rows go together or not at all: half a
// deletion would leave columns no report owns, or a report with no columns.
void DeleteReport(const std::string& name)
{
    TReportTables tables;
    TEdsTransaction transaction(tables.reports);
    for (TEdsTable* table : {&tables.reports, &tables.detail})
        while (table->Locate("ReportName", db::Variant(name), {})) table->Delete();
    transaction.Commit();
}

}  // namespace

TF_Report::TF_Report(TdmSendoPro& dm, QWidget* parent)
    : QDialog(parent), dm_(dm), ui(std::make_unique<Ui::TF_Report>())
{
    ui->setupUi(this);
    connect(ui->btnNew, &QPushButton::clicked, this, &TF_Report::btnNewClick);
    connect(ui->btnDelete, &QPushButton::clicked, this, &TF_Report::btnDeleteClick);
    connect(ui->btnPreview, &QPushButton::clicked, this, [this] { RunSelected(report::rdPreview); });
    connect(ui->btnPrint, &QPushButton::clicked, this, [this] { RunSelected(report::rdPrinter); });
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->lvReports, &QListWidget::itemSelectionChanged, this, &TF_Report::lvReportsSelect);
    LoadReportList();
}

TF_Report::~TF_Report()
{
    // A project report left the project open; it goes with the window.
    dm_.RpProject1.Close();
}

void TF_Report::done(int result)
{
    dm_.edsqLog2->Close();
    QDialog::done(result);
}

QListWidgetItem* TF_Report::Selected() const
{
    const QList<QListWidgetItem*> items = ui->lvReports->selectedItems();
    return items.isEmpty() ? nullptr : items.front();
}

void TF_Report::lvReportsSelect()
{
    QListWidgetItem* item = Selected();
    ui->btnPreview->setEnabled(item != nullptr);
    ui->btnPrint->setEnabled(item != nullptr);
    ui->btnDelete->setEnabled(item != nullptr && item->data(kCustomRole).toBool());
}

void TF_Report::LoadReportList()
{
    ui->lvReports->clear();
    std::vector<std::string> names;
    dm_.RpProject1.Open();
    dm_.RpProject1.GetReportList(names, true);
    dm_.RpProject1.Close();
    auto add = [this](const std::string& caption, const std::string& orientation, bool custom) {
        auto* item = new QListWidgetItem(Q(caption), ui->lvReports);
        item->setData(kOrientationRole, Q(orientation));
        item->setData(kCustomRole, custom);
    };
    for (const std::string& name : names) add(name, "0", false);
    TEdsQuery& query = *dm_.edsqLog2;
    try {
        query.Close();
        query.SetDatabaseName(gLogDB);
        query.SetSQLText(std::string("select * from ") + kReportsTable);
        query.Open();
        for (query.First(); !query.Eof(); query.Next())
            add(rtl::TrimRight(query.FieldByName("ReportName")->AsString()),
                rtl::Trim(query.FieldByName("Orientation")->AsString()), true);
        query.Close();
    } catch (const std::exception& e) {
        ShowFailure("The custom reports could not be read.", e);
    }
    lvReportsSelect();
}

void TF_Report::RunSelected(report::TReportDest dest)
{
    QListWidgetItem* item = Selected();
    if (item == nullptr) return;
    const std::string name = item->text().toStdString();
    try {
        RunReport(name, item->data(kCustomRole).toBool(), item->data(kOrientationRole).toString() == "0", dest);
    } catch (const std::exception& e) {
        ShowFailure(dest == report::rdPrinter ? kNotPrinted : "The report could not be shown.", e);
    }
}

void TF_Report::PrintFromPreview(const std::string& name, const report::ReportLayout& layout,
                                 report::TOrientation orientation)
{
    try {
        std::string pdfPath;
        const std::unique_ptr<print::PrintDevice> printer = MakeProgramPrintDevice(PdfNamePart(name), pdfPath);
        dm_.RpSystem1.Render(*printer, layout, orientation);
        if (!pdfPath.empty()) ShowPdfWritten(pdfPath);
    } catch (const std::exception& e) {
        ShowFailure(kNotPrinted, e);
    }
}

void TF_Report::RunReport(const std::string& name, bool custom, bool portrait, report::TReportDest dest)
{
    // Printing takes the mailers' road: a fresh device for the program's
    // printer, so a queue that is paused or refuses the job fails the report
    // instead of passing for printed; or a PDF file the user is told about.
    std::string pdfPath;
    std::unique_ptr<print::PrintDevice> printer;
    if (dest == report::rdPrinter) printer = MakeProgramPrintDevice(PdfNamePart(name), pdfPath);
    struct PrinterInUse {
        report::TRpSystem& system;
        ~PrinterInUse()
        {
            system.SetPrinterDevice(nullptr);
            system.OnPreviewPrint = nullptr;
        }
    } inUse{dm_.RpSystem1};
    dm_.RpSystem1.SetPrinterDevice(printer.get());
    // The preview's Print button prints the report it shows the same way.
    dm_.RpSystem1.OnPreviewPrint = [this, name](const report::ReportLayout& layout, report::TOrientation orientation) {
        PrintFromPreview(name, layout, orientation);
    };
    dm_.RpSystem1.SetDefaultDest(dest);
    // The print setup options are the program's own: none.
    dm_.RpSystem1.SetSystemSetups(0);
    if (custom) {
        TEdsQuery& query = *dm_.edsqLog2;
        query.Close();
        query.SetDatabaseName(gLogDB);
        query.SetSQLText(std::string("select * from ") + kReportDetailTable +
                         " where REPORTNAME = " + rtl::QuotedStr(name) + " order by FieldOrder");
        query.Open();
        if (query.Eof()) {
            ui::ShowError("Error with report \"" + name + "\"");
            return;
        }
        dm_.RpSystem1.SystemPrinter().SetOrientation(portrait ? report::poPortrait : report::poLandscape);
        dm_.RpSystem1.Execute();
    } else {
        dm_.RpProject1.Open();
        dm_.RpProject1.SetParam("MyTime",
                                "Date Printed: " + rtl::DateToStr(rtl::Now()) + " " + rtl::TimeToStr(rtl::Now()));
        dm_.RpProject1.ExecuteReport(rtl::StringReplace(name, " ", ""));
    }
    if (!pdfPath.empty()) ShowPdfWritten(pdfPath);
}

void TF_Report::btnNewClick()
{
    TF_CreateReport dialog(dm_, this);
    if (dialog.exec() == QDialog::Accepted) LoadReportList();
}

void TF_Report::btnDeleteClick()
{
    QListWidgetItem* item = Selected();
    if (item == nullptr || !item->data(kCustomRole).toBool()) return;
    const std::string name = item->text().toStdString();
    if (ui::AskYesNoCancel("Are you sure you want to delete report \"" + name + "\"?") != ui::mrYes) return;
    try {
        DeleteReport(name);
    } catch (const std::exception& e) {
        ShowFailure("The report could not be deleted.", e);
        return;
    }
    ui::ShowInformation("Report \"" + name + "\" has been deleted.");
    delete item;
    if (ui->lvReports->count() > 0) ui->lvReports->setCurrentRow(0);
    lvReportsSelect();
}
