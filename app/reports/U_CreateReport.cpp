#include "app/reports/U_CreateReport.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_FieldTables.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "app/reports/U_ReportTables.h"
#include "dbaccess/edstransaction.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_CreateReport.h"

#include <cmath>

namespace {

constexpr int kPortraitHundredths = 700;
constexpr int kLandscapeHundredths = 1000;

int Hundredths(double inches) { return static_cast<int>(std::lround(inches * 100)); }

// Two significant digits in general form and the inch sign: 0 gives 0", 7 gives 7".
QString InchText(int hundredths)
{
    return QString::number(hundredths / 100.0, 'g', 2) + "\"";
}

}  // namespace

TF_CreateReport::TF_CreateReport(TdmSendoPro& dm, QWidget* parent)
    : QDialog(parent), dm_(dm), ui(std::make_unique<Ui::TF_CreateReport>())
{
    ui->setupUi(this);
    connect(ui->btnAddField, &QPushButton::clicked, this, &TF_CreateReport::btnAddFieldClick);
    connect(ui->btnRemoveField, &QPushButton::clicked, this, &TF_CreateReport::btnRemoveFieldClick);
    connect(ui->btnFieldUp, &QPushButton::clicked, this, [this] { MoveField(-1); });
    connect(ui->btnFieldDown, &QPushButton::clicked, this, [this] { MoveField(1); });
    connect(ui->rbPortrait, &QRadioButton::clicked, this, &TF_CreateReport::rgOrientationClick);
    connect(ui->rbLandscape, &QRadioButton::clicked, this, &TF_CreateReport::rgOrientationClick);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_CreateReport::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->lbAvailable->clear();
    for (std::string_view caption : LogFieldCaptions) ui->lbAvailable->addItem(QString::fromUtf8(caption.data(), static_cast<int>(caption.size())));
    ShowSpace();
}

TF_CreateReport::~TF_CreateReport() = default;

double TF_CreateReport::GetFieldWidth(const std::string& caption)
{
    const std::size_t open = caption.find('(');
    const std::size_t close = caption.find(')', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) return rtl::StrToFloat("");
    return rtl::StrToFloat(caption.substr(open + 1, close - open - 1));
}

void TF_CreateReport::ShowSpace()
{
    ui->lblUsed->setText(InchText(usedHundredths_));
    ui->lblAvailable->setText(InchText(availableHundredths_));
}

void TF_CreateReport::btnAddFieldClick()
{
    QListWidgetItem* item = ui->lbAvailable->currentItem();
    if (item == nullptr || !item->isSelected()) {
        ui::ShowInformation("You must select a field.");
        return;
    }
    const int width = Hundredths(GetFieldWidth(item->text().toStdString()));
    if (width > availableHundredths_) {
        ui::ShowError("You don't have any available space in the Report to add this field.");
        return;
    }
    usedHundredths_ += width;
    availableHundredths_ -= width;
    ShowSpace();
    ui->lbFields->addItem(item->text());
}

void TF_CreateReport::btnRemoveFieldClick()
{
    const int row = ui->lbFields->currentRow();
    if (row < 0 || !ui->lbFields->item(row)->isSelected()) {
        ui::ShowInformation("You must select a field.");
        return;
    }
    const int width = Hundredths(GetFieldWidth(ui->lbFields->item(row)->text().toStdString()));
    usedHundredths_ -= width;
    availableHundredths_ += width;
    ShowSpace();
    delete ui->lbFields->takeItem(row);
}

void TF_CreateReport::MoveField(int step)
{
    const int row = ui->lbFields->currentRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= ui->lbFields->count()) return;
    QListWidgetItem* item = ui->lbFields->takeItem(row);
    ui->lbFields->insertItem(to, item);
    ui->lbFields->setCurrentRow(to);
}

void TF_CreateReport::rgOrientationClick()
{
    if (ui->rbLandscape->isChecked()) {
        availableHundredths_ = kLandscapeHundredths - usedHundredths_;
    } else if (usedHundredths_ > kPortraitHundredths) {
        ui::ShowError("Cant change Orientation to \"Portrait\", used space is greater than 7.");
        ui->rbLandscape->setChecked(true);
    } else {
        availableHundredths_ = kPortraitHundredths - usedHundredths_;
    }
    ShowSpace();
}

void TF_CreateReport::SaveReport(const std::string& name)
{
    TReportTables tables;
    TEdsTable& reports = tables.reports;
    TEdsTable& detail = tables.detail;
    TEdsTransaction transaction(reports);
    reports.Append();
    reports.FieldByName("ReportName")->SetAsString(name);
    reports.FieldByName("Orientation")->SetAsString(ui->rbLandscape->isChecked() ? "1" : "0");
    reports.Post();
    for (int i = 0; i < ui->lbFields->count(); ++i) {
        const std::string caption = ui->lbFields->item(i)->text().toStdString();
        for (std::size_t f = 0; f < LogFieldCount; ++f) {
            if (LogFieldCaptions[f] != caption) continue;
            detail.Append();
            detail.FieldByName("ReportName")->SetAsString(name);
            detail.FieldByName("Field_Name")->SetAsString(std::string(LogFieldNames[f]));
            detail.FieldByName("FieldOrder")->SetAsInteger(i + 1);
            detail.Post();
            break;
        }
    }
    transaction.Commit();
}

void TF_CreateReport::btnOKClick()
{
    const std::string name = ui->editReportName->text().toStdString();
    if (rtl::Trim(name).empty()) {
        ui::ShowInformation("Please enter a report name.");
        return;
    }
    if (ui->lbFields->count() == 0) {
        ui::ShowInformation("You must have at least one field selected for the report.");
        return;
    }
    try {
        SaveReport(name);
    } catch (const std::exception& e) {
        if (IsUniqueViolation(e))
            ui::ShowError("A Report name of \"" + name + "\" already exists.");
        else
            ShowFailure("The report could not be saved.", e);
        return;
    }
    done(ui::mrOk);
}
