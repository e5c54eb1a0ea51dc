#include "app/main/U_PostageFees.h"

#include "app/data/U_MainEntry.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextRoutines.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_PostageFees.h"

#include <QEvent>

#include <utility>

namespace {

// A stored fee as money text; a stored text that is not a number is shown as
// it is rather than failing to open the dialog.
QString MoneyText(const std::string& fee)
{
    double value = 0;
    return QString::fromStdString(rtl::TryStrToFloat(fee, value) ? FormatMoney(value) : fee);
}

// What a default fee may be: blank, or an amount the entry can show and add up.
bool UsableFee(const QString& text)
{
    const std::string fee = text.toStdString();
    return rtl::Trim(fee).empty() || FeeAmount(fee).has_value();
}

}  // namespace

TF_PostageFees::TF_PostageFees(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_PostageFees>())
{
    ui->setupUi(this);
    ui->editPostage->setText(MoneyText(gPostage));
    ui->editAddOunce->setText(MoneyText(gAddOunceFee));
    ui->editCertFee->setText(MoneyText(gCertFee));
    ui->editReturn->setText(MoneyText(gReturnFee));
    ui->cbRestricted->setChecked(gRestrictedOn);
    cbRestrictedClick();
    ui->CbPriority->setChecked(gPriorityOn);
    cbRestrictedClick();

    for (QLineEdit* edit : {ui->editPostage, ui->editAddOunce, ui->editCertFee, ui->editReturn, ui->editRestricted,
                            ui->EditPriority})
        edit->installEventFilter(this);
    // The priority box answers with the restricted handler: the dialog keeps
    // no priority default of its own.
    connect(ui->cbRestricted, &QCheckBox::clicked, this, &TF_PostageFees::cbRestrictedClick);
    connect(ui->CbPriority, &QCheckBox::clicked, this, &TF_PostageFees::cbRestrictedClick);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_PostageFees::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_PostageFees::~TF_PostageFees() = default;

void TF_PostageFees::cbRestrictedClick()
{
    const bool on = ui->cbRestricted->isChecked();
    // Only switching restricted delivery on brings the default in; a click on
    // the priority box must not overwrite a restricted fee being edited.
    const bool switchedOn = on && !ui->editRestricted->isEnabled();
    ui->lblRestricted->setEnabled(on);
    ui->editRestricted->setEnabled(on);
    if (switchedOn) {
        ui->editRestricted->setText(QString::fromStdString(gRestrictedFee));
        FeeExit(ui->editRestricted);
    } else if (!on) {
        ui->editRestricted->clear();
    }
}

void TF_PostageFees::FeeExit(QLineEdit* edit)
{
    double value = 0;
    if (rtl::TryStrToFloat(edit->text().toStdString(), value))
        edit->setText(QString::fromStdString(FormatMoney(value)));
}

bool TF_PostageFees::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        // The priority edit shares the restricted edit's exit.
        QLineEdit* edit = watched == ui->EditPriority ? ui->editRestricted : qobject_cast<QLineEdit*>(watched);
        if (edit != nullptr) FeeExit(edit);
    }
    return QDialog::eventFilter(watched, event);
}

void TF_PostageFees::btnOKClick()
{
    // A stored fee that is no amount would blank that fee on every new
    // mailer and fail the postage calculator later: it is refused here.
    const std::pair<QLabel*, QLineEdit*> fees[] = {{ui->lblPostage, ui->editPostage},
                                                   {ui->lblAddOunce, ui->editAddOunce},
                                                   {ui->lblCertFee, ui->editCertFee},
                                                   {ui->lblReturn, ui->editReturn},
                                                   {ui->lblRestricted, ui->editRestricted}};
    for (const auto& [label, edit] : fees) {
        if (!edit->isEnabled() || UsableFee(edit->text())) continue;
        ui::ShowError("\"" + rtl::Trim(edit->text().toStdString()) + "\" is not an amount for \"" +
                      label->text().toStdString() + "\". Enter a number of 0 or more, or leave the fee blank.");
        edit->setFocus();
        edit->selectAll();
        return;
    }
    gPostage = ui->editPostage->text().toStdString();
    gAddOunceFee = ui->editAddOunce->text().toStdString();
    gCertFee = ui->editCertFee->text().toStdString();
    gReturnFee = ui->editReturn->text().toStdString();
    if (ui->cbRestricted->isChecked()) {
        gRestrictedFee = ui->editRestricted->text().toStdString();
        gRestrictedOn = true;
    } else {
        gRestrictedOn = false;
    }
    done(ui::mrOk);
}
