#include "app/log/U_DataSetGridModel.h"

#include <exception>

namespace {

// Back on the record the dataset stood on, with its controls enabled again,
// however the reading ends.
class TReturnToRecord {
public:
    explicit TReturnToRecord(db::TDataSet& dataSet) : dataSet_(dataSet), mark_(dataSet.GetBookmark())
    {
        dataSet_.DisableControls();
    }
    ~TReturnToRecord()
    {
        try {
            if (!mark_.empty()) dataSet_.GotoBookmark(mark_);
        } catch (const std::exception&) {
            // The record went meanwhile: the dataset stays where the reading left it.
        }
        dataSet_.EnableControls();
    }
    TReturnToRecord(const TReturnToRecord&) = delete;
    TReturnToRecord& operator=(const TReturnToRecord&) = delete;

private:
    db::TDataSet& dataSet_;
    db::TBookmark mark_;
};

}  // namespace

TDataSetGridModel::TDataSetGridModel(db::TDataSet& dataSet, std::vector<TColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), dataSet_(dataSet), columns_(std::move(columns))
{
}

void TDataSetGridModel::Reset()
{
    beginResetModel();
    pages_.clear();
    rows_ = dataSet_.Active() && !dataSet_.IsEmpty() ? std::max(dataSet_.RecordCount(), 0) : 0;
    endResetModel();
}

int TDataSetGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TDataSetGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

const TDataSetGridModel::TPage& TDataSetGridModel::Page(int page) const
{
    auto found = pages_.find(page);
    if (found != pages_.end()) return found->second;
    TPage rows;
    try {
        TReturnToRecord back(dataSet_);
        dataSet_.SetRecNo(page * kPageRows + 1);
        for (int i = 0; i < kPageRows && !dataSet_.Eof(); ++i) {
            std::vector<QString> row;
            row.reserve(columns_.size());
            for (const TColumn& column : columns_)
                row.push_back(QString::fromStdString(dataSet_.FieldByName(column.FieldName)->DisplayText()));
            rows.push_back(std::move(row));
            dataSet_.Next();
        }
    } catch (const std::exception&) {
        // A page that cannot be read shows blank; the next Reset tries again.
    }
    return pages_.emplace(page, std::move(rows)).first->second;
}

QVariant TDataSetGridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_) return {};
    const TPage& page = Page(index.row() / kPageRows);
    const auto at = static_cast<std::size_t>(index.row() % kPageRows);
    if (at >= page.size()) return {};
    return page[at].at(static_cast<std::size_t>(index.column()));
}

QVariant TDataSetGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(columns_.size()))
        return {};
    return QString::fromStdString(columns_[static_cast<std::size_t>(section)].Caption);
}
