#pragma once
// The rows the project's reports read: a dataset as it stands (all its rows,
// or the rows its filter or WHERE text leaves), column by column as text.

#include "platform/report/RowSource.h"

#include <cstddef>
#include <string>
#include <vector>

namespace db { class TDataSet; }

// Reads the dataset through its fields, in field order; the dataset must be
// open while a report runs. Does not own the dataset.
class TDataSetRowSource final : public report::RowSource {
public:
    explicit TDataSetRowSource(db::TDataSet& dataSet) : dataSet_(dataSet) {}

    std::vector<std::string> ColumnNames() const override;
    void First() override;
    bool Eof() const override;
    void Next() override;
    // The field's display text; an out-of-range column reads empty.
    std::string Text(std::size_t column) const override;

private:
    db::TDataSet& dataSet_;
};
