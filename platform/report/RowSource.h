#pragma once
// Where a project report reads its rows: a cursor over rows of texts. The
// data module fills it from the log query as it stands (all rows, or the
// rows of the active filter); tests use VectorRowSource.

#include <cstddef>
#include <string>
#include <vector>

namespace report {

class RowSource {
public:
    virtual ~RowSource() = default;
    virtual std::vector<std::string> ColumnNames() const = 0;
    // Back to the first row (Eof() at once when there is none).
    virtual void First() = 0;
    virtual bool Eof() const = 0;
    virtual void Next() = 0;
    // The current row's text of a column, by its index in ColumnNames().
    virtual std::string Text(std::size_t column) const = 0;
};

// Rows held in memory. Rows shorter than the columns read empty texts.
class VectorRowSource final : public RowSource {
public:
    VectorRowSource(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows);

    std::vector<std::string> ColumnNames() const override { return columns_; }
    void First() override { current_ = 0; }
    bool Eof() const override { return current_ >= rows_.size(); }
    void Next() override;
    std::string Text(std::size_t column) const override;

private:
    std::vector<std::string> columns_;
    std::vector<std::vector<std::string>> rows_;
    std::size_t current_ = 0;
};

// The link between the project's reports and a row source. The connection
// does not own its source.
class TRpDataSetConnection {
public:
    explicit TRpDataSetConnection(std::string name = "RpDataSetConnection1") : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    RowSource* DataSet() const { return dataSet_; }
    void SetDataSet(RowSource* source) { dataSet_ = source; }

    // The index of a column, compared without regard to case; raises
    // EReportError when the source has no such column or there is no source.
    std::size_t ColumnIndex(const std::string& column) const;

private:
    std::string name_;
    RowSource* dataSet_ = nullptr;
};

}  // namespace report
