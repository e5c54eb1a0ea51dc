#include "app/printing/U_MassPrint.h"

#include "app/data/U_TextRoutines.h"
#include "platform/ui/MessageService.h"

#include "ui_U_MassPrint.h"
#include "platform/ui/ScreenPlace.h"

#include <QAction>
#include <QListWidgetItem>

std::string MassPrintHint(const TAddressRec& Rec)
{
    std::string lines[5] = {Rec.Address1, Rec.Address2, Rec.Address3, Rec.Address4, {}};
    AddCityStateZipLine(lines[0], lines[1], lines[2], lines[3], lines[4], Rec.City, Rec.State, Rec.Zip);
    std::string hint;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        if (!hint.empty()) hint += "\n\r";
        hint += line;
    }
    return hint;
}

TF_MassPrint::TF_MassPrint(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_MassPrint>())
{
    ui->setupUi(this);
    ui::CenterOnScreen(*this);
    ui->lvMassPrint->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ui->lvMassPrint->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->lvMassPrint->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* selectAll = new QAction("&Select All", ui->lvMassPrint);
    selectAll->setObjectName("miSelectAll");
    auto* unselectAll = new QAction("&Unselect All", ui->lvMassPrint);
    unselectAll->setObjectName("miUnselectAll");
    ui->lvMassPrint->addAction(selectAll);
    ui->lvMassPrint->addAction(unselectAll);
    connect(selectAll, &QAction::triggered, this, &TF_MassPrint::miSelectAllClick);
    connect(unselectAll, &QAction::triggered, this, &TF_MassPrint::miUnselectAllClick);
    connect(ui->cbAll, &QCheckBox::clicked, this, &TF_MassPrint::cbAllClick);
    connect(ui->btnOK, &QPushButton::clicked, this, [this] { done(ui::mrOk); });
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_MassPrint::~TF_MassPrint() = default;

void TF_MassPrint::AddAddress(const TAddressRec& Rec, const std::string& Caption, bool Checked)
{
    if (!ids_.insert(Rec.ID).second) return;
    records_.push_back(Rec);
    auto* item = new QListWidgetItem(QString::fromStdString(Caption), ui->lvMassPrint);
    item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
    item->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
    item->setToolTip(QString::fromStdString(MassPrintHint(Rec)));
}

std::optional<bool> TF_MassPrint::CheckMarkOf(std::int32_t ID) const
{
    for (std::size_t i = 0; i < records_.size(); ++i)
        if (records_[i].ID == ID) return ui->lvMassPrint->item(static_cast<int>(i))->checkState() == Qt::Checked;
    return std::nullopt;
}

std::vector<TAddressRec> TF_MassPrint::CheckedAddresses() const
{
    std::vector<TAddressRec> checked;
    for (std::size_t i = 0; i < records_.size(); ++i)
        if (ui->lvMassPrint->item(static_cast<int>(i))->checkState() == Qt::Checked) checked.push_back(records_[i]);
    return checked;
}

void TF_MassPrint::showEvent(QShowEvent* event)
{
    // Only the user's click on the box sets every mark; this merely shows
    // whether all are set.
    bool all = true;
    for (int i = 0; i < ui->lvMassPrint->count(); ++i)
        if (ui->lvMassPrint->item(i)->checkState() != Qt::Checked) all = false;
    ui->cbAll->setChecked(all);
    QDialog::showEvent(event);
}

void TF_MassPrint::cbAllClick(bool checked)
{
    for (int i = 0; i < ui->lvMassPrint->count(); ++i)
        ui->lvMassPrint->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TF_MassPrint::miSelectAllClick() { ui->lvMassPrint->selectAll(); }

void TF_MassPrint::miUnselectAllClick() { ui->lvMassPrint->clearSelection(); }
