#include "app/log/U_FindMailer.h"

#include "app/data/U_Globals.h"
#include "app/data/U_MailerNumbers.h"
#include "app/data/U_Settings.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_FindMailer.h"

TF_FindMailer::TF_FindMailer(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_FindMailer>())
{
    ui->setupUi(this);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_FindMailer::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    if (gFindMailerType == "2") {
        ui->rbAddresseeName->setChecked(true);
        ui->editEnter->setText(QString::fromStdString(gSingleEditText));
    } else {
        ui->rbMailer->setChecked(true);
    }
    ui->editEnter->setFocus();
}

TF_FindMailer::~TF_FindMailer() = default;

void TF_FindMailer::btnOKClick()
{
    const std::string entry = ui->editEnter->text().toStdString();
    if (ui->rbAddresseeName->isChecked()) {
        if (rtl::Trim(entry).empty()) {
            ui::ShowError("Addressee name can not be empty.");
            return;
        }
        gSingleEditText = entry;
        gFindMailerType = "2";
    } else {
        gSingleEditText = rtl::StringReplace(entry, " ", "");
        if (!MailerNumberKey(gSingleEditText)) {
            ui::ShowError("Mailer Number must contain 20 or 22 digits.");
            return;
        }
        gFindMailerType = "1";
    }
    done(ui::mrOk);
}
