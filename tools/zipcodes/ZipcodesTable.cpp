#include "tools/zipcodes/ZipcodesTable.h"

#include "app/data/U_dmSendoProSchemas.h"
#include "dbaccess/edscnnct.h"
#include "dbaccess/edstable.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"

#include <filesystem>

namespace {

// One CSV line cut into fields; nothing when a quote is left open.
bool SplitCsvLine(std::string_view line, std::vector<std::string>& fields)
{
    fields.assign(1, std::string());
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return !quoted;
}

}  // namespace

std::vector<TZipRow> ParseZipCsv(std::string_view text)
{
    std::vector<TZipRow> rows;
    std::vector<std::string> fields;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (lineNumber == 1 || line.empty()) continue;
        const std::string where = "ZIPCODES CSV line " + std::to_string(lineNumber);
        if (!SplitCsvLine(line, fields) || fields.size() != 3) throw rtl::Exception(where + ": not three fields.");
        if (fields[0].size() != 5 || !rtl::IsDigits(fields[0])) throw rtl::Exception(where + ": not a five-digit ZIP.");
        rows.push_back({fields[0], rtl::Trim(fields[1]), rtl::Trim(fields[2])});
    }
    return rows;
}

std::size_t WriteZipCodesTable(const std::string& folder, const std::vector<TZipRow>& rows)
{
    const std::string file = rtl::JoinPath(folder, std::string(kZipCodesTable) + kTableExtension);
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    // A connection of our own, so the rows go in as one transaction.
    TEdsConnection connection(nullptr);
    connection.SetConnectPath(folder);
    connection.Open();
    TEdsTable table;
    table.CreateTable(file, ttEdsEDT, ANSI, 0, kZipCodesFields);
    table.SetEdsConnection(&connection);
    table.SetTableName(kZipCodesTable);
    table.Open();
    // One transaction: tens of thousands of rows, each committed alone, would
    // take minutes.
    table.PSStartTransaction();
    try {
        for (const TZipRow& row : rows) {
            table.Append();
            table.FieldByName("ZIP")->SetAsString(row.Zip);
            table.FieldByName("City")->SetAsString(row.City.substr(0, 35));
            table.FieldByName("State")->SetAsString(row.State.substr(0, 2));
            table.Post();
        }
        table.PSEndTransaction(true);
    } catch (...) {
        try {
            table.PSEndTransaction(false);
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    table.Close();
    return rows.size();
}
