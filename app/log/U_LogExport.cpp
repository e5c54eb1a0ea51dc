#include "app/log/U_LogExport.h"

#include "app/data/U_FieldTables.h"
#include "app/data/U_TextFile.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "dbaccess/edsquery.h"

#include <array>

TLogExportResult ExportLog(TEdsQuery& Query, const std::string& Folder, const std::string& FileName)
{
    TAnsiTextAppender file(FileName);
    Query.Close();
    Query.SetDatabaseName(Folder);
    Query.SetSQLText(std::string("select * from ") + kLogTable + " order by DateTime");
    Query.Open();
    struct TCloseQuery {
        TEdsQuery& query;
        ~TCloseQuery()
        {
            try {
                query.Close();
            } catch (...) {
                // Closed again by its next use.
            }
        }
    } closeQuery{Query};

    std::array<db::TField*, LogFieldCount> fields{};
    std::array<std::string, LogFieldCount> prefixes;
    for (std::size_t i = 0; i < LogFieldCount; ++i) {
        fields[i] = Query.FieldByName(std::string(LogFieldNames[i]));
        const std::string_view caption = LogFieldCaptions[i];
        prefixes[i] = std::string(caption.substr(0, caption.find('('))) + " = ";
    }
    TLogExportResult result;
    for (Query.First(); !Query.Eof(); Query.Next()) {
        for (std::size_t i = 0; i < LogFieldCount; ++i) {
            file.WriteLine(prefixes[i], fields[i]->AsString());
        }
        file.WriteLine({});
        file.WriteLine({});
        ++result.Rows;
    }
    Query.Close();
    file.Close();
    result.Replaced = file.Replaced();
    return result;
}
