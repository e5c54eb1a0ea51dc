#include "app/main/U_CalculatePostage.h"

#include "app/data/U_Globals.h"
#include "app/data/U_MainEntry.h"
#include "app/data/U_Settings.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_CalculatePostage.h"

#include <QKeyEvent>

TF_CalculatePostage::TF_CalculatePostage(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TF_CalculatePostage>())
{
    ui->setupUi(this);
    // The bar's upper arrow counts up, as an up-down does.
    ui->UpDownOunces->setRange(1, 99);
    ui->UpDownOunces->setInvertedAppearance(true);
    ui->UpDownOunces->setInvertedControls(true);
    ui->UpDownOunces->setValue(1);
    ui->UpDownOunces->setPageStep(1);
    ui->editOunces->installEventFilter(this);
    connect(ui->UpDownOunces, &QScrollBar::valueChanged, this,
            [this](int value) { ui->editOunces->setText(QString::number(value)); });
    connect(ui->editOunces, &QLineEdit::textChanged, this, &TF_CalculatePostage::editOuncesChange);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_CalculatePostage::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->editOunces->selectAll();
}

TF_CalculatePostage::~TF_CalculatePostage() = default;

int TF_CalculatePostage::Position() const { return ui->UpDownOunces->value(); }

bool TF_CalculatePostage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->editOunces && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (!text.isEmpty()) {
            const QChar c = text.at(0);
            const bool passes = c.isDigit() || c.unicode() < 32;
            if (!passes) return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TF_CalculatePostage::editOuncesChange()
{
    const std::string text = rtl::Trim(ui->editOunces->text().toStdString());
    if (text.empty()) {
        ui->editOunces->setText(QString::number(ui->UpDownOunces->value()));
        return;
    }
    int value = 0;
    if (rtl::TryStrToInt(text, value) && value >= ui->UpDownOunces->minimum() &&
        value <= ui->UpDownOunces->maximum()) {
        const QSignalBlocker quiet(ui->UpDownOunces);
        ui->UpDownOunces->setValue(value);
    }
}

void TF_CalculatePostage::btnOKClick()
{
    const int ounces = Position();
    if (ounces > kMaxPricedOunces) {
        ui::ShowInformation(
            "For weights over 13 ounces, please consult your local Post Office for the Postage Fee.");
        gSingleEditText.clear();
        done(ui::mrOk);
        return;
    }
    try {
        gSingleEditText = CalculatedPostage(ounces, gPostage, gAddOunceFee);
    } catch (const rtl::Exception& e) {
        // A stored fee that is not a number: say so and let the user cancel.
        ui::ShowError(e.what());
        return;
    }
    done(ui::mrOk);
}
