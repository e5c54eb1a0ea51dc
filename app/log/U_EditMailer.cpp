#include "app/log/U_EditMailer.h"

#include "app/data/U_MainEntry.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextRoutines.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/FieldEvents.h"
#include "platform/ui/MessageService.h"

#include "ui_U_EditMailer.h"

std::string gLogPostage, gLogCertified, gLogReturn, gLogRestricted;
bool gLogWishRest = false;
std::string gLogComment, gLogResult;

TMailerEdit LogEditExchange()
{
    return {gLogPostage, gLogCertified, gLogReturn, gLogRestricted, gLogWishRest, gLogComment, gLogResult};
}

void SetLogEditExchange(const TMailerEdit& edit)
{
    gLogPostage = edit.Postage;
    gLogCertified = edit.Certified;
    gLogReturn = edit.Return;
    gLogRestricted = edit.Restricted;
    gLogWishRest = edit.WishRest;
    gLogComment = edit.Comment;
    gLogResult = edit.Result;
}

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

}  // namespace

TF_EditMailer::TF_EditMailer(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_EditMailer>())
{
    ui->setupUi(this);
    for (QLineEdit* fee : {ui->editPostage, ui->editCertFee, ui->editReturn, ui->editRestricted})
        fee->installEventFilter(this);
    connect(ui->cbRestricted, &QCheckBox::clicked, this, &TF_EditMailer::cbRestrictedClick);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_EditMailer::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    ui->editPostage->setText(Q(gLogPostage));
    UpdateTotal(ui->editPostage);
    ui->editCertFee->setText(Q(gLogCertified));
    UpdateTotal(ui->editCertFee);
    ui->editReturn->setText(Q(gLogReturn));
    UpdateTotal(ui->editReturn);
    ui->cbRestricted->setChecked(gLogWishRest);
    cbRestrictedClick();
    ui->editRestricted->setText(Q(gLogRestricted));
    UpdateTotal(ui->editRestricted);
    ui->editComment->setText(Q(gLogComment));

    // A row may hold a result the list does not offer (older logs wrote
    // "Received"): it is offered too, so keeping it is the default.
    int item = ui->cbResult->findText(Q(gLogResult));
    if (item < 0) {
        ui->cbResult->addItem(Q(gLogResult));
        item = ui->cbResult->count() - 1;
    }
    ui->cbResult->setCurrentIndex(item);
}

TF_EditMailer::~TF_EditMailer() = default;

bool TF_EditMailer::eventFilter(QObject* watched, QEvent* event)
{
    if (ui::LeavesField(event))
        if (auto* fee = qobject_cast<QLineEdit*>(watched)) UpdateTotal(fee);
    return QDialog::eventFilter(watched, event);
}

void TF_EditMailer::UpdateTotal(QLineEdit* fee)
{
    fee->setText(Q(FeeDisplayText(S(fee->text()), false)));
    double sum = 0;
    for (const QLineEdit* edit : {ui->editPostage, ui->editCertFee, ui->editReturn, ui->editRestricted})
        sum += FeeAmount(S(edit->text())).value_or(0.0);
    ui->editTotal->setText(Q(FormatMoney(sum)));
}

void TF_EditMailer::cbRestrictedClick()
{
    const bool on = ui->cbRestricted->isChecked();
    ui->lblRestricted->setEnabled(on);
    ui->editRestricted->setEnabled(on);
    ui->editRestricted->setText(on ? Q(gRestrictedFee) : QString());
    UpdateTotal(ui->editRestricted);
}

void TF_EditMailer::btnOKClick()
{
    // Enter reaches OK without leaving the fee typed last.
    for (QLineEdit* fee : {ui->editPostage, ui->editCertFee, ui->editReturn, ui->editRestricted}) UpdateTotal(fee);
    gLogPostage = rtl::Trim(S(ui->editPostage->text()));
    gLogCertified = rtl::Trim(S(ui->editCertFee->text()));
    gLogReturn = rtl::Trim(S(ui->editReturn->text()));
    gLogRestricted = rtl::Trim(S(ui->editRestricted->text()));
    gLogWishRest = ui->cbRestricted->isChecked();
    gLogComment = rtl::Trim(S(ui->editComment->text()));
    gLogResult = S(ui->cbResult->currentText());
    done(ui::mrOk);
}
