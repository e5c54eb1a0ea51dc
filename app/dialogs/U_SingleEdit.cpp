#include "app/dialogs/U_SingleEdit.h"

#include "app/data/U_Globals.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_SingleEdit.h"

TF_SingleEdit* F_SingleEdit = nullptr;

TF_SingleEdit::TF_SingleEdit(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_SingleEdit>())
{
    ui->setupUi(this);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_SingleEdit::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_SingleEdit::~TF_SingleEdit() = default;

void TF_SingleEdit::Prepare(const std::string& caption, const std::string& groupCaption, const std::string& text)
{
    setWindowTitle(QString::fromStdString(caption));
    ui->TheGroupBox->setTitle(QString::fromStdString(groupCaption));
    ui->TheEdit->setText(QString::fromStdString(text));
    ui->TheEdit->selectAll();
    ui->TheEdit->setFocus();
}

void TF_SingleEdit::btnOKClick()
{
    const std::string text = ui->TheEdit->text().toStdString();
    if (rtl::Trim(text).empty()) {
        ui::ShowError("Field cannot be blank.");
        ui->TheEdit->setFocus();
        return;
    }
    gSingleEditText = text;
    done(ui::mrOk);
}
