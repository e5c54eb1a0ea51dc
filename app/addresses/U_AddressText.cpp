#include "app/addresses/U_AddressText.h"

#include "app/data/U_TextFile.h"
#include "dbaccess/edsquery.h"
#include "dbaccess/edstable.h"
#include "dbaccess/edstransaction.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/SysUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr std::array<const char*, kAddressTextFields> kFieldNames{"Address1", "Address2", "Address3", "Address4",
                                                                  "City",     "State",    "Zip"};

// The first `count` characters of UTF-8 text.
std::string_view LeftChars(std::string_view text, std::size_t count)
{
    std::size_t i = 0;
    for (; i < text.size() && count > 0; --count) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    return text.substr(0, i);
}

std::string ReadWholeFile(const std::string& fileName)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), &std::fclose);
    const auto fail = [&] {
        return rtl::Exception("The file \"" + fileName + "\" could not be read: " + std::strerror(errno) + ".");
    };
    if (!file) throw fail();
    std::string bytes;
    char chunk[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
    if (std::ferror(file.get())) throw fail();
    return bytes;
}

// Closes the table whatever happened; a pending row is dropped.
struct TCloseTable {
    TEdsTable& table;
    ~TCloseTable()
    {
        try {
            table.Cancel();
            table.Close();
        } catch (...) {
            // Closed again by its next use.
        }
    }
};

}  // namespace

void NextCsvField(std::string_view Line, std::size_t& Position, std::string& Field)
{
    Field.clear();
    const std::size_t n = Line.size();
    std::size_t i = Position > 0 ? Position - 1 : 0;
    while (i < n && (Line[i] == ' ' || Line[i] == '\t')) ++i;
    if (i >= n) return;
    if (Line[i] == ',') {
        Position = i + 2;
        return;
    }
    std::string text;
    if (Line[i] == '"') {
        for (++i; i < n; ++i) {
            if (Line[i] != '"') {
                text += Line[i];
            } else if (i + 1 < n && Line[i + 1] == '"') {
                text += '"';
                ++i;
            } else {
                ++i;  // the closing quote
                break;
            }
        }
    }
    // Up to the separator; after a closing quote this is blanks as a rule,
    // and anything else is kept rather than lost.
    const std::size_t comma = Line.find(',', i);
    const std::size_t end = comma == std::string_view::npos ? n : comma;
    text.append(Line.substr(i, end - i));
    Field = rtl::Trim(text);
    Position = (comma == std::string_view::npos ? n : comma + 1) + 1;
}

std::string QuoteCsvField(std::string_view Text)
{
    if (Text.find_first_of(",\"") == std::string_view::npos) return std::string(Text);
    std::string quoted = "\"";
    for (const char c : Text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

TAddressFieldTexts ReadAddressLine(std::string_view Line)
{
    TAddressFieldTexts fields;
    std::size_t position = 1;
    for (std::size_t k = 0; k < kAddressTextFields; ++k) {
        NextCsvField(Line, position, fields[k]);
        fields[k] = std::string(LeftChars(fields[k], kAddressFieldWidths[k]));
    }
    return fields;
}

std::string AddressLine(const TAddressFieldTexts& Fields)
{
    std::string line;
    for (std::size_t k = 0; k < kAddressTextFields; ++k) {
        if (k > 0) line += ',';
        line += QuoteCsvField(Fields[k]);
    }
    return line;
}

std::vector<std::string> ReadTextFileLines(const std::string& FileName)
{
    std::string bytes = ReadWholeFile(FileName);
    std::string text;
    if (bytes.starts_with("\xEF\xBB\xBF") && rtl::IsValidUtf8(std::string_view(bytes).substr(3)))
        text = bytes.substr(3);
    else
        text = rtl::AnsiToUtf8(bytes);
    std::vector<std::string> lines;
    std::size_t start = 0;
    const std::size_t n = text.size();
    while (start < n) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = n;
        lines.emplace_back(text, start, end - start);
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

std::vector<TTextAddress> ReadAddressFile(const std::string& FileName)
{
    const std::vector<std::string> lines = ReadTextFileLines(FileName);
    std::vector<TTextAddress> rows;
    rows.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        rows.push_back(TTextAddress{ReadAddressLine(lines[i]), static_cast<std::int64_t>(i + 1)});
    return rows;
}

std::size_t InsertAddressRows(TEdsTable& Table, const std::string& Folder, const std::string& TableName,
                              const std::vector<const TTextAddress*>& Rows)
{
    Table.Close();
    Table.SetDatabaseName(Folder);
    Table.SetTableName(TableName);
    Table.Open();
    const TCloseTable close{Table};
    std::array<db::TField*, kAddressTextFields> fields{};
    for (std::size_t k = 0; k < kAddressTextFields; ++k) fields[k] = Table.FieldByName(kFieldNames[k]);

    TEdsTransaction transaction(Table);
    for (const TTextAddress* row : Rows) {
        try {
            Table.Append();
            for (std::size_t k = 0; k < kAddressTextFields; ++k) fields[k]->SetAsString(row->Fields[k]);
            Table.Post();
        } catch (...) {
            throw EAddressImportLine(row->Line, std::current_exception());
        }
    }
    transaction.Commit();
    return Rows.size();
}

TTextExportResult ExportAddresses(TEdsQuery& Query, const std::string& Folder, const std::string& TableName,
                                  const std::string& FileName)
{
    TAnsiTextAppender file(FileName);
    Query.Close();
    Query.SetDatabaseName(Folder);
    Query.SetSQLText("select * from " + TableName + " order by A_ID");
    Query.Open();
    struct TCloseQuery {
        TEdsQuery& query;
        ~TCloseQuery()
        {
            try {
                query.Close();
            } catch (...) {
            }
        }
    } closeQuery{Query};
    std::array<db::TField*, kAddressTextFields> fields{};
    for (std::size_t k = 0; k < kAddressTextFields; ++k) fields[k] = Query.FieldByName(kFieldNames[k]);
    TTextExportResult result;
    TAddressFieldTexts texts;
    for (Query.First(); !Query.Eof(); Query.Next()) {
        for (std::size_t k = 0; k < kAddressTextFields; ++k) texts[k] = fields[k]->AsString();
        file.WriteLine(AddressLine(texts));
        ++result.Rows;
    }
    Query.Close();
    file.Close();
    result.Replaced = file.Replaced();
    return result;
}
