#include "app/printing/U_NumLabels.h"

#include "app/data/U_Globals.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/FieldEvents.h"
#include "platform/ui/MessageService.h"

#include "ui_U_NumLabels.h"
#include "platform/ui/ScreenPlace.h"

#include <QKeyEvent>

namespace {

constexpr int kMaxLabels = 100;

// The count typed: digits only, at most what the field holds.
bool CountOf(const std::string& text, int& count)
{
    if (text.empty() || text.size() > 4) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return rtl::TryStrToInt(text, count);
}

}  // namespace

TF_NumLabels::TF_NumLabels(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_NumLabels>())
{
    ui->setupUi(this);
    ui::CenterOnScreen(*this);
    // The bar's upper arrow counts up, as an up-down does.
    ui->UpDown1->setRange(1, kMaxLabels);
    ui->UpDown1->setInvertedAppearance(true);
    ui->UpDown1->setInvertedControls(true);
    ui->UpDown1->setPageStep(1);
    ui->UpDown1->setValue(1);
    ui->editNumLabels->setText("1");
    ui->editNumLabels->installEventFilter(this);
    connect(ui->UpDown1, &QScrollBar::valueChanged, this, [this](int value) {
        ui->editNumLabels->setText(QString::number(value));
        ui->btnOK->setEnabled(true);
    });
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_NumLabels::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->editNumLabels->selectAll();
}

TF_NumLabels::~TF_NumLabels() = default;

bool TF_NumLabels::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->editNumLabels) {
        if (event->type() == QEvent::KeyPress) {
            const QString text = static_cast<QKeyEvent*>(event)->text();
            if (!text.isEmpty()) {
                if (ui::DigitFieldRefuses(text.at(0))) return true;
                ui->btnOK->setEnabled(true);
            }
        } else if (ui::LeavesField(event)) {
            editNumLabelsExit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TF_NumLabels::editNumLabelsExit()
{
    if (checking_) return false;
    checking_ = true;
    const std::string text = rtl::Trim(ui->editNumLabels->text().toStdString());
    int count = 0;
    bool ok = true;
    // Anything but digits arrives only by pasting; it is no number either.
    if (!CountOf(text, count)) {
        ui::ShowError("Please enter a valid number for \"Number of Labels\".");
        ui->editNumLabels->setText("1");
        ok = false;
    } else if (count > kMaxLabels) {
        ui::ShowError("You can not enter a number greater than 100.");
        ui->editNumLabels->clear();
        ok = false;
    }
    if (!ok) ui->editNumLabels->setFocus();
    ui->btnOK->setEnabled(ok);
    checking_ = false;
    return ok;
}

void TF_NumLabels::btnOKClick()
{
    // Enter reaches OK without leaving the field, so the checks run here too.
    if (!editNumLabelsExit()) return;
    CountOf(rtl::Trim(ui->editNumLabels->text().toStdString()), gNumLabels);
    done(ui::mrOk);
}
