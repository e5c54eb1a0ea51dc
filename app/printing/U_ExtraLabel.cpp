#include "app/printing/U_ExtraLabel.h"

#include "app/data/U_Settings.h"
#include "platform/ui/MessageService.h"

#include "ui_U_ExtraLabel.h"
#include "platform/ui/ScreenPlace.h"

std::string ExtraLabelChoice(const std::string& comboText)
{
    if (comboText == kExtraLabelYourAddress) return kExtraLabelYourAddress;
    return kExtraLabelAddressedTo;
}

TF_ExtraLabel::TF_ExtraLabel(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_ExtraLabel>())
{
    ui->setupUi(this);
    ui::CenterOnScreen(*this);
    ui->cbExtraLabel->clear();
    ui->cbExtraLabel->addItem(kExtraLabelAddressedTo);
    ui->cbExtraLabel->addItem(kExtraLabelYourAddress);
    if (gPrintExtraLabel == "Yes")
        ui->rbYes->setChecked(true);
    else if (gPrintExtraLabel == "No")
        ui->rbNo->setChecked(true);
    ui->cbExtraLabel->setCurrentText(QString::fromStdString(gExtraLabel));
    rgExtraLabelClick();
    connect(ui->rbYes, &QRadioButton::toggled, this, &TF_ExtraLabel::rgExtraLabelClick);
    connect(ui->rbNo, &QRadioButton::toggled, this, &TF_ExtraLabel::rgExtraLabelClick);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_ExtraLabel::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_ExtraLabel::~TF_ExtraLabel() = default;

void TF_ExtraLabel::rgExtraLabelClick() { ui->cbExtraLabel->setEnabled(!ui->rbNo->isChecked()); }

void TF_ExtraLabel::btnOKClick()
{
    // With neither choice made (a settings file holding something else) the
    // stored choice stays as it was.
    if (ui->rbYes->isChecked())
        gPrintExtraLabel = "Yes";
    else if (ui->rbNo->isChecked())
        gPrintExtraLabel = "No";
    gExtraLabel = ExtraLabelChoice(ui->cbExtraLabel->currentText().toStdString());
    done(ui::mrOk);
}
