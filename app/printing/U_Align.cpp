#include "app/printing/U_Align.h"

#include "app/data/U_Settings.h"
#include "platform/ui/MessageService.h"

#include "ui_U_Align.h"
#include "platform/ui/ScreenPlace.h"

TF_Align::TF_Align(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_Align>())
{
    ui->setupUi(this);
    ui::CenterOnScreen(*this);
    ui->spinLeftRight->setValue(gAlignLeftRight);
    ui->SpinUpDown->setValue(gAlignTopBottom);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_Align::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_Align::~TF_Align() = default;

void TF_Align::btnOKClick()
{
    // A value typed but not yet committed by the spin box counts too.
    ui->spinLeftRight->interpretText();
    ui->SpinUpDown->interpretText();
    gAlignLeftRight = ui->spinLeftRight->value();
    gAlignTopBottom = ui->SpinUpDown->value();
    done(ui::mrOk);
}
