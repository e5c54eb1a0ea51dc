#include "app/data/U_dmSendoProSchemas.h"

namespace {

const char* KindName(TColumnKind kind)
{
    switch (kind) {
        case TColumnKind::AutoInc: return "AutoInc";
        case TColumnKind::Char: return "Char";
        case TColumnKind::Integer: return "Integer";
        case TColumnKind::Logical: return "Logical";
        case TColumnKind::TimeStamp: return "TimeStamp";
    }
    return "Char";
}

std::string BuildLogFields()
{
    std::string spec;
    for (const TLogColumn& column : kLogColumns) {
        if (!spec.empty()) spec += ' ';
        spec += column.Name;
        spec += ',';
        spec += KindName(column.Kind);
        if (column.Kind == TColumnKind::Char) spec += ',' + std::to_string(column.Width);
        spec += ';';
    }
    return spec;
}

}  // namespace

const TLogColumn* FindLogColumn(std::string_view name)
{
    for (const TLogColumn& column : kLogColumns)
        if (name == column.Name) return &column;
    return nullptr;
}

const std::string& LogFields()
{
    static const std::string spec = BuildLogFields();
    return spec;
}

std::string FieldSpecOf(std::string_view tableName)
{
    if (tableName == kAddressTable || tableName == kYourAddressTable) return kAddressFields;
    if (tableName == kGroupsTable) return kGroupsFields;
    if (tableName == kMembersTable) return kMembersFields;
    if (tableName == kMailerNumTable) return kMailerNumFields;
    if (tableName == kLogTable) return LogFields();
    if (tableName == kLogFiltersTable) return kLogFiltersFields;
    if (tableName == kLogFiltersDetailTable) return kLogFiltersDetailFields;
    if (tableName == kReportsTable) return kReportsFields;
    if (tableName == kReportDetailTable) return kReportDetailFields;
    return {};
}

const TIndexSpec* IndexOfTable(std::string_view tableName)
{
    for (const TIndexSpec& index : kIndexes)
        if (tableName == index.Table) return &index;
    return nullptr;
}
