#include "app/log/U_LogExport.h"

#include "app/data/U_FieldTables.h"
#include "app/data/U_TextFile.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "dbaccess/edsquery.h"

#include <array>

TTextExportResult ExportLog(TEdsQuery& Query, const std::string& Folder, const std::string& FileName)
{
    TQueryListing listing(Query, Folder, std::string("select * from ") + kLogTable + " order by DateTime", FileName);
    std::array<db::TField*, LogFieldCount> fields{};
    std::array<std::string, LogFieldCount> prefixes;
    for (std::size_t i = 0; i < LogFieldCount; ++i) {
        fields[i] = Query.FieldByName(std::string(LogFieldNames[i]));
        const std::string_view caption = LogFieldCaptions[i];
        prefixes[i] = std::string(caption.substr(0, caption.find('('))) + " = ";
    }
    TAnsiTextAppender& file = listing.File();
    std::int64_t rows = 0;
    for (Query.First(); !Query.Eof(); Query.Next()) {
        for (std::size_t i = 0; i < LogFieldCount; ++i) file.WriteLine(prefixes[i], fields[i]->AsString());
        file.WriteLine({});
        file.WriteLine({});
        ++rows;
    }
    return listing.Finish(rows);
}
