#include "app/printing/U_PrintBarCode.h"

#include "app/data/U_ArticleNumber.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextRoutines.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "dbaccess/edstable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/FieldEvents.h"
#include "platform/ui/MessageService.h"

#include "ui_U_PrintBarCode.h"
#include "platform/ui/ScreenPlace.h"

#include <QKeyEvent>

namespace {

constexpr int kMaxLabels = 9999;

bool CountOf(const std::string& text, int& count)
{
    return text.size() <= 4 && rtl::IsDigits(text) && rtl::TryStrToInt(text, count);
}

// The customer ID as stored: nine digits, dashes left out.
std::string CustIDOf(const std::string& text) { return rtl::StringReplace(text, "-", ""); }

// "123456789" as "12-345-6789".
std::string DashedCustID(const std::string& id)
{
    if (id.size() < 9) return id;
    return id.substr(0, 2) + "-" + id.substr(2, 3) + "-" + id.substr(5, 4);
}

}  // namespace

TF_PrintBarCode::TF_PrintBarCode(TEdsTable& MailerNum, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TF_PrintBarCode>())
{
    ui->setupUi(this);
    ui::CenterOnScreen(*this);
    ui->editCustID->SetEditMask("000000000;1;_");
    ui->editSerialNum->SetEditMask("0000000;1;_");
    ui->UpDown1->setRange(1, kMaxLabels);
    ui->UpDown1->setInvertedAppearance(true);
    ui->UpDown1->setInvertedControls(true);
    ui->UpDown1->setPageStep(1);
    ui->UpDown1->setValue(1);
    ui->editNumLabels->setText("1");

    MailerNum.Close();
    MailerNum.SetDatabaseName(gMailerNumDB);
    MailerNum.SetTableName(kMailerNumTable);
    MailerNum.SetExclusive(true);
    MailerNum.Open();
    MailerNum.First();
    ui->editCustID->SetText(DashedCustID(MailerNum.FieldByName("CustID")->AsString()));
    counter_ = MailerNum.FieldByName("SerialNum")->AsString();
    countsUp_ = MailerNum.FieldByName("BarCodes")->AsBoolean() || MailerNum.FieldByName("Increment")->AsBoolean();
    ui->editSerialNum->SetText(counter_);
    ui->btnOK->setEnabled(true);

    ui->editCustID->installEventFilter(this);
    ui->editNumLabels->installEventFilter(this);
    connect(ui->UpDown1, &QScrollBar::valueChanged, this,
            [this](int value) { ui->editNumLabels->setText(QString::number(value)); });
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_PrintBarCode::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_PrintBarCode::~TF_PrintBarCode() = default;

bool TF_PrintBarCode::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->editNumLabels && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (!text.isEmpty() && ui::DigitFieldRefuses(text.at(0))) return true;
    } else if (ui::LeavesField(event)) {
        if (watched == ui->editCustID)
            editCustIDExit();
        else if (watched == ui->editNumLabels)
            editNumLabelsExit();
    }
    return QDialog::eventFilter(watched, event);
}

bool TF_PrintBarCode::editCustIDExit()
{
    if (checking_) return false;
    checking_ = true;
    // An ID with empty places would be printed as all zeros as well.
    const std::string id = CustIDOf(ui->editCustID->Text());
    const bool ok = IsPrintableCustID(id);
    if (!ok) {
        ui::ShowError("You can not print the bar codes with a Customer ID of \"000000000\".");
        ui->editCustID->setFocus();
    }
    ui->btnOK->setEnabled(ok);
    checking_ = false;
    return ok;
}

bool TF_PrintBarCode::editNumLabelsExit()
{
    if (checking_) return false;
    checking_ = true;
    int count = 0;
    // Anything but digits arrives only by pasting; it is no number either.
    const bool ok = CountOf(rtl::Trim(ui->editNumLabels->text().toStdString()), count);
    if (!ok) {
        ui::ShowError("Please enter a valid number for \"Number of Labels\".");
        ui->editNumLabels->setText("1");
        ui->editNumLabels->setFocus();
    }
    ui->btnOK->setEnabled(ok);
    checking_ = false;
    return ok;
}

void TF_PrintBarCode::btnOKClick()
{
    // Enter reaches OK without leaving a field, so the checks run here too.
    if (!editCustIDExit() || !editNumLabelsExit()) return;
    const std::string first = ui->editSerialNum->Text();
    if (SerialIssued(first, counter_, countsUp_)) {
        // Printing them again would put one number on two mailers.
        ui::ShowError("The serial " + first + " has been issued already: the counter stands at " + counter_ +
                      " and counts " + (countsUp_ ? "up" : "down") + ". Please print the bar codes from serial " +
                      counter_ + " on.");
        ui->editSerialNum->setFocus();
        return;
    }
    gCustID = CustIDOf(ui->editCustID->Text());
    gSerialNum = ui->editSerialNum->Text();
    CountOf(rtl::Trim(ui->editNumLabels->text().toStdString()), gNumLabels);
    done(ui::mrOk);
}
