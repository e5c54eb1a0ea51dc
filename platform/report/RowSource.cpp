#include "platform/report/RowSource.h"

#include "platform/report/ReportTypes.h"

#include <algorithm>

namespace report {
namespace {

bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

}  // namespace

VectorRowSource::VectorRowSource(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {}

void VectorRowSource::Next() {
    if (current_ < rows_.size()) ++current_;
}

std::string VectorRowSource::Text(std::size_t column) const {
    if (current_ >= rows_.size()) return {};
    const auto& row = rows_[current_];
    return column < row.size() ? row[column] : std::string();
}

std::size_t TRpDataSetConnection::ColumnIndex(const std::string& column) const {
    if (dataSet_ == nullptr) throw EReportError("The data connection " + name_ + " has no data.");
    const auto names = dataSet_->ColumnNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (SameName(names[i], column)) return i;
    throw EReportError("The data of " + name_ + " has no column \"" + column + "\".");
}

}  // namespace report
