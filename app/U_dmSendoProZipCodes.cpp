#include "app/U_dmSendoProZipCodes.h"

#include "app/U_dmSendoProSchemas.h"
#include "platform/edsengine/eds.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kCityWidth = 35;
constexpr std::size_t kStateWidth = 2;

std::string EngineText()
{
    UNSIGNED32 code = 0;
    std::array<UNSIGNED8, 600> buffer{};
    UNSIGNED16 length = static_cast<UNSIGNED16>(buffer.size());
    EdsGetLastError(&code, buffer.data(), &length);
    return std::string(reinterpret_cast<const char*>(buffer.data()), length);
}

void Check(UNSIGNED32 code)
{
    if (code != EDS_SUCCESS) throw rtl::Exception("ZIPCODES: " + EngineText());
}

const UNSIGNED8* Bytes(const std::string& text) { return reinterpret_cast<const UNSIGNED8*>(text.c_str()); }

// One CSV record: fields separated by ",", a field in double quotes may hold
// "," and doubled quotes. Returns false for an unterminated quote.
bool SplitCsv(std::string_view line, std::vector<std::string>& fields)
{
    fields.clear();
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(std::move(field));
    return !quoted;
}

bool IsZip(std::string_view zip)
{
    if (zip.size() != 5) return false;
    for (char c : zip)
        if (c < '0' || c > '9') return false;
    return true;
}

// Closes what the writer opened, on every path.
struct EngineHandles {
    EDSHANDLE connection = 0;
    EDSHANDLE table = 0;
    bool inTransaction = false;
    ~EngineHandles()
    {
        if (inTransaction) EdsRollbackTransaction(connection);
        if (table != 0) EdsCloseTable(table);
        if (connection != 0) EdsDisconnect(connection);
    }
};

void RemoveTableFiles(const std::filesystem::path& table)
{
    std::error_code ignored;
    std::filesystem::remove(table, ignored);
    std::filesystem::remove(table.string() + ".lck", ignored);
}

int WriteRows(std::ifstream& in, const std::string& csvFile, const std::filesystem::path& table)
{
    std::string line;
    if (!std::getline(in, line)) throw rtl::Exception(csvFile + ": the file is empty.");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line != "ZIP,City,State") throw rtl::Exception(csvFile + ": line 1 is not the header ZIP,City,State.");

    EngineHandles handles;
    const std::string folder = table.parent_path().empty() ? "." : table.parent_path().string();
    Check(EdsConnect(Bytes(folder), &handles.connection));
    Check(EdsCreateTable(handles.connection, Bytes(table.string()), nullptr, EDS_EDT, EDS_ANSI,
                         EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0, Bytes(kZipCodesFields), &handles.table));
    Check(EdsBeginTransaction(handles.connection));
    handles.inTransaction = true;

    int rows = 0;
    std::vector<std::string> fields;
    for (int number = 2; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::string where = csvFile + ": line " + std::to_string(number);
        if (!SplitCsv(line, fields) || fields.size() != 3) throw rtl::Exception(where + " is not ZIP,City,State.");
        if (!IsZip(fields[0])) throw rtl::Exception(where + ": \"" + fields[0] + "\" is not a five-digit ZIP.");
        const std::string city = rtl::Utf8ToAnsi(fields[1]);
        const std::string state = rtl::Utf8ToAnsi(fields[2]);
        // A cut name would look up wrong, so an oversize one stops the build.
        if (city.size() > kCityWidth || state.size() > kStateWidth)
            throw rtl::Exception(where + ": the city or state is longer than its column.");
        Check(EdsAppendRecord(handles.table));
        Check(EdsSetField(handles.table, "ZIP", Bytes(fields[0]), static_cast<UNSIGNED32>(fields[0].size())));
        Check(EdsSetField(handles.table, "City", Bytes(city), static_cast<UNSIGNED32>(city.size())));
        Check(EdsSetField(handles.table, "State", Bytes(state), static_cast<UNSIGNED32>(state.size())));
        Check(EdsWriteRecord(handles.table));
        ++rows;
    }
    Check(EdsCommitTransaction(handles.connection));
    handles.inTransaction = false;
    EDSHANDLE index = 0;
    Check(EdsCreateIndex61(handles.table, Bytes(""), Bytes("ZIP"), Bytes("ZIP"), Bytes(""), Bytes(""), 0, 0, &index));
    return rows;
}

}  // namespace

int WriteZipCodesTable(const std::string& csvFile, const std::string& tableFile)
{
    std::ifstream in(csvFile, std::ios::binary);
    if (!in) throw rtl::Exception(csvFile + ": the file cannot be read.");
    const std::filesystem::path table(tableFile);
    RemoveTableFiles(table);
    try {
        return WriteRows(in, csvFile, table);
    } catch (...) {
        RemoveTableFiles(table);
        throw;
    }
}
