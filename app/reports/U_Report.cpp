#include "app/reports/U_Report.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "app/reports/U_CreateReport.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_Report.h"

#include <vector>

namespace {

// Item data: the stored orientation ("0" portrait) and whether the report is
// the user's own.
constexpr int kOrientationRole = Qt::UserRole;
constexpr int kCustomRole = Qt::UserRole + 1;

QString Q(const std::string& text) { return QString::fromStdString(text); }

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

TF_Report::~TF_Report() = default;

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
    dm_.RpSystem1.SetDefaultDest(dest);
    // The print setup options are the program's own: none.
    dm_.RpSystem1.SetSystemSetups(0);
    if (item->data(kCustomRole).toBool()) {
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
        dm_.RpSystem1.SystemPrinter().SetOrientation(
            item->data(kOrientationRole).toString() == "0" ? report::poPortrait : report::poLandscape);
        dm_.RpSystem1.Execute();
        return;
    }
    dm_.RpProject1.Open();
    dm_.RpProject1.SetParam("MyTime", "Date Printed: " + rtl::DateToStr(rtl::Now()) + " " + rtl::TimeToStr(rtl::Now()));
    dm_.RpProject1.ExecuteReport(rtl::StringReplace(name, " ", ""));
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
    TEdsQuery& query = *dm_.edsqLog2;
    try {
        query.Close();
        query.SetDatabaseName(gLogDB);
        for (const char* table : {kReportsTable, kReportDetailTable}) {
            query.SetSQLText(std::string("delete from ") + table + " where REPORTNAME = " + rtl::QuotedStr(name));
            query.ExecSQL();
        }
    } catch (const std::exception& e) {
        ShowFailure("The report could not be deleted.", e);
        return;
    }
    ui::ShowInformation("Report \"" + name + "\" has been deleted.");
    delete item;
    if (ui->lvReports->count() > 0) ui->lvReports->setCurrentRow(0);
    lvReportsSelect();
}
