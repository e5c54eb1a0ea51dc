#include "app/addresses/U_TextFiles.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "dbaccess/edstable.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

#include "ui_U_TextFiles.h"

#include <QAbstractTableModel>
#include <algorithm>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>

namespace {

const char* const kTick = " ";
constexpr int kColumnWidths[] = {120, 120, 120, 120, 120, 40, 80};
const char* const kHeadings[] = {"Address 1", "Address 2", "Address 3", "Address 4", "City", "State", "Zip"};

QSize CheckSize(const QWidget& w)
{
    const QStyle& style = *w.style();
    return {style.pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &w),
            style.pixelMetric(QStyle::PM_IndicatorHeight, nullptr, &w)};
}

// A check box image, ticked or not, in the middle of `cell`.
void DrawCheck(QPainter& painter, const QWidget& w, const QRect& cell, bool ticked)
{
    QStyleOptionButton box;
    box.rect = QRect(QPoint(), CheckSize(w));
    box.rect.moveCenter(cell.center());
    box.state = QStyle::State_Enabled | (ticked ? QStyle::State_On : QStyle::State_Off);
    w.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &painter, &w);
}

QIcon CheckIcon(const QWidget& w, bool ticked)
{
    QPixmap image(CheckSize(w));
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawCheck(painter, w, image.rect(), ticked);
    return QIcon(image);
}

class TTickDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.column() != 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const QWidget& view = *option.widget;
        DrawCheck(*painter, view, option.rect, index.data(Qt::UserRole).toString() == kTick);
    }
};

}  // namespace

// The grid's cells: a tick text and seven address fields per row.
class TTickGridModel : public QAbstractTableModel {
public:
    struct Row {
        std::string Tick;
        TTextAddress Address;
    };
    std::vector<Row> rows;
    std::string header;  // the mark that every row is ticked
    QIcon ticked, unticked;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 8; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        const Row& row = rows[static_cast<std::size_t>(index.row())];
        if (index.column() == 0) return role == Qt::UserRole ? QVariant(QString::fromStdString(row.Tick)) : QVariant();
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
        return QString::fromStdString(row.Address.Fields[static_cast<std::size_t>(index.column() - 1)]);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal) return {};
        if (section == 0) return role == Qt::DecorationRole ? QVariant(header == kTick ? ticked : unticked) : QVariant();
        return role == Qt::DisplayRole ? QVariant(QString::fromUtf8(kHeadings[section - 1])) : QVariant();
    }
    void TicksChanged(int first, int last)
    {
        emit dataChanged(index(first, 0), index(last, 0));
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    }
    void Append(std::vector<TTextAddress> addresses)
    {
        if (addresses.empty()) return;
        const int at = static_cast<int>(rows.size());
        beginInsertRows({}, at, at + static_cast<int>(addresses.size()) - 1);
        rows.reserve(rows.size() + addresses.size());
        for (TTextAddress& address : addresses) rows.push_back(Row{std::string(), std::move(address)});
        endInsertRows();
    }
};

TF_TextFiles::TF_TextFiles(int Target, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TF_TextFiles>()), model_(std::make_unique<TTickGridModel>()),
      target_(Target)
{
    ui->setupUi(this);
    model_->ticked = CheckIcon(*ui->sgAddress, true);
    model_->unticked = CheckIcon(*ui->sgAddress, false);
    QTableView& grid = *ui->sgAddress;
    grid.setModel(model_.get());
    grid.setItemDelegate(new TTickDelegate(&grid));
    grid.verticalHeader()->hide();
    grid.verticalHeader()->setDefaultSectionSize(grid.fontMetrics().height() + 10);
    grid.horizontalHeader()->setSectionsClickable(true);
    grid.horizontalHeader()->setHighlightSections(false);
    grid.setColumnWidth(0, CheckSize(grid).width() + 8);
    for (int c = 1; c < 8; ++c) grid.setColumnWidth(c, kColumnWidths[c - 1]);
    grid.installEventFilter(this);
    connect(&grid, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.column() == 0) ToggleTick(index.row() + 1);
    });
    connect(grid.horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (section == 0) ToggleTick(0);
    });
    connect(ui->btnAddtoDB, &QPushButton::clicked, this, &TF_TextFiles::btnAddtoDBClick);
}

TF_TextFiles::~TF_TextFiles() = default;

void TF_TextFiles::AddAddressRow(const TTextAddress& Address) { model_->Append({Address}); }

void TF_TextFiles::AddAddressRows(std::vector<TTextAddress> Addresses) { model_->Append(std::move(Addresses)); }

int TF_TextFiles::RowCount() const { return static_cast<int>(model_->rows.size()); }

std::string TF_TextFiles::Cell(int Col, int Row) const
{
    if (Col < 0 || Col > 7 || Row < 0 || Row > RowCount()) return {};
    if (Row == 0) return Col == 0 ? model_->header : kHeadings[Col - 1];
    const TTickGridModel::Row& row = model_->rows[static_cast<std::size_t>(Row - 1)];
    return Col == 0 ? row.Tick : row.Address.Fields[static_cast<std::size_t>(Col - 1)];
}

void TF_TextFiles::ToggleTick(int Row)
{
    if (Row < 0 || Row > RowCount()) return;
    if (Row > 0) {
        std::string& tick = model_->rows[static_cast<std::size_t>(Row - 1)].Tick;
        tick = tick == kTick ? "" : kTick;
        UpdateTickAllMark();
        model_->TicksChanged(Row - 1, Row - 1);
        return;
    }
    const std::string mark = model_->header == kTick ? "" : kTick;
    model_->header = mark;
    for (TTickGridModel::Row& row : model_->rows) row.Tick = mark;
    model_->TicksChanged(0, std::max(0, RowCount() - 1));
}

void TF_TextFiles::UpdateTickAllMark()
{
    const bool all = std::all_of(model_->rows.begin(), model_->rows.end(),
                                 [](const TTickGridModel::Row& row) { return row.Tick == kTick; });
    model_->header = all ? kTick : "";
    model_->TicksChanged(0, 0);
}

void TF_TextFiles::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // A row that would not be stored as the file holds it waits for the
    // user's own tick.
    for (TTickGridModel::Row& row : model_->rows) row.Tick = row.Address.Altered ? "" : kTick;
    UpdateTickAllMark();
    model_->TicksChanged(0, std::max(0, RowCount() - 1));
}

bool TF_TextFiles::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->sgAddress && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        if (const QModelIndex current = ui->sgAddress->currentIndex(); current.isValid())
            ToggleTick(current.row() + 1);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TF_TextFiles::btnAddtoDBClick()
{
    std::vector<const TTextAddress*> ticked;
    for (const TTickGridModel::Row& row : model_->rows)
        if (row.Tick == kTick) ticked.push_back(&row.Address);
    const bool book = target_ == 1;
    try {
        ui::WaitCursor hourglass;
        if (book) {
            added_ = InsertAddressRows(*DataModule().edstToAddress, gAddressDB, "Address", ticked);
        } else {
            TEdsTable table;
            added_ = InsertAddressRows(table, gYourAddressDB, "YourAddress", ticked);
        }
    } catch (const EAddressImportLine& e) {
        try {
            std::rethrow_exception(e.Cause);
        } catch (const std::exception& cause) {
            ShowFailure("The address on line " + std::to_string(e.Line) +
                            " of the file could not be added, so none of the addresses have been added.",
                        cause);
        } catch (...) {
            ui::ShowError("The address on line " + std::to_string(e.Line) +
                          " of the file could not be added, so none of the addresses have been added.");
        }
        return;
    } catch (const std::exception& e) {
        ShowFailure("The addresses could not be added, so none of them have been added.", e);
        return;
    }
    ui::ShowInformation(std::to_string(added_) + " addresses have been added to the database.");
    accept();
}
