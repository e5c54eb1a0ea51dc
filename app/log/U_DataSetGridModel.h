#pragma once
// A read-only table model over an open dataset, for a grid that shows the
// dataset's rows in its own order: row r is the record at position r + 1.
//
// Rows are read a page at a time and kept until Reset, so a grid over a
// million-row result reads only what it shows. Reading a page moves the
// dataset and puts it back on its record, with its controls disabled; the
// dataset's own scroll events still fire, so its owner must not act on them.

#include "platform/db/DataSet.h"

#include <QAbstractTableModel>

#include <string>
#include <unordered_map>
#include <vector>

class TDataSetGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    struct TColumn {
        std::string FieldName;
        std::string Caption;
    };

    TDataSetGridModel(db::TDataSet& dataSet, std::vector<TColumn> columns, QObject* parent = nullptr);

    // Counts the dataset's records again and forgets every row read; call it
    // after the dataset was opened, closed or run again.
    void Reset();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    static constexpr int kPageRows = 64;
    using TPage = std::vector<std::vector<QString>>;
    const TPage& Page(int page) const;

    db::TDataSet& dataSet_;
    std::vector<TColumn> columns_;
    int rows_ = 0;
    mutable std::unordered_map<int, TPage> pages_;
};
