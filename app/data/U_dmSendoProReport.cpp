#include "app/data/U_dmSendoProReport.h"

#include "platform/db/DataSet.h"

std::vector<std::string> TDataSetRowSource::ColumnNames() const
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(dataSet_.FieldCount()));
    for (int i = 0; i < dataSet_.FieldCount(); ++i) names.push_back(dataSet_.Fields()[i]->FieldName());
    return names;
}

void TDataSetRowSource::First() { dataSet_.First(); }

bool TDataSetRowSource::Eof() const { return dataSet_.Eof(); }

void TDataSetRowSource::Next() { dataSet_.Next(); }

std::string TDataSetRowSource::Text(std::size_t column) const
{
    if (column >= static_cast<std::size_t>(dataSet_.FieldCount())) return {};
    return dataSet_.Fields()[static_cast<int>(column)]->DisplayText();
}
