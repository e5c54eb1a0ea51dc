#include "app/addresses/U_AddressText.h"

#include "app/data/U_TextFile.h"
#include "dbaccess/edsquery.h"
#include "dbaccess/edstable.h"
#include "dbaccess/edstransaction.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
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

// Without the blanks and control characters at either end, as Trim cuts them.
std::string_view TrimmedView(std::string_view text)
{
    std::size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return text.substr(first, last - first);
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
    // Up to the separator; after a closing quote this is blanks as a rule,
    // and anything else is kept rather than lost.
    std::string quoted;
    const bool isQuoted = Line[i] == '"';
    if (isQuoted) {
        for (++i; i < n; ++i) {
            if (Line[i] != '"') {
                quoted += Line[i];
            } else if (i + 1 < n && Line[i + 1] == '"') {
                quoted += '"';
                ++i;
            } else {
                ++i;  // the closing quote
                break;
            }
        }
    }
    const std::size_t comma = Line.find(',', i);
    const std::size_t end = comma == std::string_view::npos ? n : comma;
    if (isQuoted) {
        quoted.append(Line.substr(i, end - i));
        Field = TrimmedView(quoted);
    } else {
        Field = TrimmedView(Line.substr(i, end - i));
    }
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
        fields[k].resize(LeftChars(fields[k], kAddressFieldWidths[k]).size());
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

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Calls `line` for every line of `text`; lines end at CR LF, LF or CR.
template <class Line>
void ForEachLine(std::string_view text, Line&& line)
{
    std::size_t start = 0;
    const std::size_t n = text.size();
    while (start < n) {
        // A plain scan: find_first_of asks memchr about every byte.
        std::size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
        line(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
}

// A character the tables cannot hold, each byte of a broken UTF-8 sequence,
// and every control character but the tab (C0, DEL and C1, which is also
// what the bytes Windows-1252 leaves undefined read as) become "?".
std::string StoredText(std::string_view text)
{
    if (std::all_of(text.begin(), text.end(), [](char c) { return (c >= ' ' && c < 0x7F) || c == '\t'; }))
        return std::string(text);
    const std::string kept = rtl::AnsiToUtf8(rtl::Utf8ToAnsi(text));
    std::string stored;
    stored.reserve(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const auto c = static_cast<unsigned char>(kept[i]);
        if (c == 0xC2 && i + 1 < kept.size() && static_cast<unsigned char>(kept[i + 1]) < 0xA0) {
            stored += '?';
            ++i;
        } else if ((c < ' ' && c != '\t') || c == 0x7F) {
            stored += '?';
        } else {
            stored += kept[i];
        }
    }
    return stored;
}

}  // namespace

std::vector<TTextAddress> ReadAddressFile(const std::string& FileName)
{
    const std::string bytes = ReadWholeFile(FileName);
    if (bytes.find('\0') != std::string::npos)
        throw rtl::Exception("The file \"" + FileName + "\" is not a text file: it holds NUL bytes.");
    // Each line of a marked file is UTF-8 on its own: one broken line
    // spoils no other.
    const bool utf8 = bytes.starts_with(kUtf8Mark);
    const std::string text = utf8 ? bytes.substr(kUtf8Mark.size()) : rtl::AnsiToUtf8(bytes);
    std::vector<TTextAddress> rows;
    rows.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    ForEachLine(text, [&](std::string_view line) {
        TTextAddress& row = rows.emplace_back();
        row.Line = static_cast<std::int64_t>(rows.size());
        std::string mended;
        if (utf8 && !rtl::IsValidUtf8(line)) {
            mended = rtl::AnsiToUtf8(rtl::Utf8ToAnsi(line));
            line = mended;
            row.Altered = true;
        }
        row.Fields = ReadAddressLine(line);
        for (std::string& field : row.Fields) {
            std::string stored = StoredText(field);
            if (stored == field) continue;
            field = std::move(stored);
            row.Altered = true;
        }
    });
    return rows;
}

std::string AlteredAddressesNotice(const std::vector<TTextAddress>& Rows)
{
    constexpr std::size_t kLinesNamed = 10;
    std::vector<std::int64_t> lines;
    std::size_t altered = 0;
    for (const TTextAddress& row : Rows) {
        if (!row.Altered) continue;
        if (++altered <= kLinesNamed) lines.push_back(row.Line);
    }
    if (altered == 0) return {};
    std::string named;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) named += i + 1 == lines.size() && altered == lines.size() ? " and " : ", ";
        named += std::to_string(lines[i]);
    }
    if (altered > lines.size()) named += " and " + std::to_string(altered - lines.size()) + " more";
    const bool one = altered == 1;
    return std::string(one ? "The address on line " : "The addresses on lines ") + named +
           " cannot be stored as the file holds " + (one ? "it" : "them") +
           ": characters outside the program's character set, bytes that are not UTF-8 text and control "
           "characters are shown as \"?\", as they would be stored. " +
           (one ? "Its row is" : "Their rows are") + " not ticked; tick " + (one ? "it" : "them") +
           " to add " + (one ? "it" : "them") + " as shown.";
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
            Table.Insert();
            // A new row's columns start empty (the table gives none a
            // default), so an empty text needs no write of its own.
            for (std::size_t k = 0; k < kAddressTextFields; ++k)
                if (!row->Fields[k].empty()) fields[k]->SetAsString(row->Fields[k]);
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
    TQueryListing listing(Query, Folder, "select * from " + TableName + " order by A_ID", FileName);
    std::array<db::TField*, kAddressTextFields> fields{};
    for (std::size_t k = 0; k < kAddressTextFields; ++k) fields[k] = Query.FieldByName(kFieldNames[k]);
    std::int64_t rows = 0;
    TAddressFieldTexts texts;
    for (Query.First(); !Query.Eof(); Query.Next()) {
        for (std::size_t k = 0; k < kAddressTextFields; ++k) texts[k] = fields[k]->AsString();
        listing.File().WriteLine(AddressLine(texts));
        ++rows;
    }
    return listing.Finish(rows);
}
