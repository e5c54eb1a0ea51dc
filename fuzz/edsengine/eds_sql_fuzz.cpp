// Fuzzes SQL preparation through the engine's entry points: any text must
// prepare or end in an engine error with a text. Texts that only read are also
// run; a cursor that comes back must navigate and read like a table, and one
// kept as record numbers must come from a single-table SELECT. Every table file
// a query or a change reads or writes, as SQLite's own plan of it shows, must
// be among the tables the engine finds in its text (the ones it locks).

#include "fuzz/edsengine/EdsFuzzSupport.h"
#include "platform/edsengine/eds.h"
#include "platform/edsengine/EdsSqlText.h"
#include "platform/rtl/SysUtils.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

using edsfuzz::Refused;
using edsfuzz::U;

void Must(UNSIGNED32 rc) {
    if (rc != EDS_SUCCESS) std::abort();
}

const std::string& Folder() {
    static const std::string dir = std::filesystem::temp_directory_path() / ("eds_sql_fuzz_" + std::to_string(::getpid()));
    return dir;
}

// A connection to a folder with two small tables made by the engine, made once.
EDSHANDLE Connection() {
    static EDSHANDLE connection = [] {
        const std::string& dir = Folder();
        std::filesystem::create_directories(dir);
        EDSHANDLE c = 0, t = 0;
        Must(EdsConnect60(U(dir), EDS_LOCAL_SERVER, U(""), U(""), 0, &c));
        Must(EdsCreateTable(c, U("Log37"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0,
                            U("LID,AutoInc;DateTime,TimeStamp;SerialNum,Integer;Batch,Logical;ToCity,Char,35;"), &t));
        Must(EdsCloseTable(t));
        Must(EdsCreateTable(c, U("members"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0,
                            U("A_ID,Integer;G_ID,Integer;"), &t));
        Must(EdsCloseTable(t));
        EDSHANDLE s = 0, cursor = 0;
        Must(EdsCreateSQLStatement(c, &s));
        Must(EdsExecuteSQLDirect(s, U("insert into Log37 (DateTime, SerialNum, Batch, ToCity) values"
                                      "('2026-12-01 10:00:00.000', 41, 1, 'Acme'), ('2026-11-30 00:00:00.000', 40, 0, NULL),"
                                      "(NULL, NULL, NULL, 'x')"),
                                 &cursor));
        Must(EdsExecuteSQLDirect(s, U("insert into members values(1, 3), (2, 3), (7, 1)"), &cursor));
        Must(EdsCloseSQLStatement(s));
        return c;
    }();
    return connection;
}

// The folder's tables: their files and their names in upper case.
const char* const kFiles[] = {"Log37.edt", "members.edt"};
const char* const kTables[] = {"LOG37", "MEMBERS"};

// The tables of the folder whose files SQLite's plan of the text opens, on a
// connection of its own that attaches both (under names no text will guess);
// nothing when SQLite cannot plan the text there.
std::set<std::string> TablesUsed(const std::string& sql) {
    static sqlite3* db = [] {
        sqlite3* d = nullptr;
        if (sqlite3_open(":memory:", &d) != SQLITE_OK) std::abort();
        for (int i = 0; i < 2; ++i) {
            const std::string attach =
                "ATTACH DATABASE '" + Folder() + "/" + kFiles[i] + "' AS oracle_q" + std::to_string(i) + "x";
            if (sqlite3_exec(d, attach.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
        }
        return d;
    }();
    std::set<std::string> used;
    sqlite3_stmt* plan = nullptr;
    if (sqlite3_prepare_v2(db, ("EXPLAIN " + sql).c_str(), -1, &plan, nullptr) != SQLITE_OK) {
        sqlite3_finalize(plan);
        return used;
    }
    // Schemas 0 and 1 are main and temp; the attachments follow in order.
    while (sqlite3_step(plan) == SQLITE_ROW) {
        const auto* op = reinterpret_cast<const char*>(sqlite3_column_text(plan, 1));
        const std::string opcode = op ? op : "";
        int schema = -1;
        if (opcode == "Transaction") schema = sqlite3_column_int(plan, 2);
        if (opcode == "OpenRead" || opcode == "OpenWrite") schema = sqlite3_column_int(plan, 4);
        if (schema >= 2 && schema < 4) used.insert(kTables[schema - 2]);
    }
    sqlite3_finalize(plan);
    return used;
}

// Queries and changes only: other statements (ANALYZE, triggers) are no SQL the
// program sends.
void FindsEveryTableUsed(const std::string& sql) {
    const std::vector<eds::SqlToken> toks = eds::TokenizeSql(sql);
    if (toks.empty() || toks[0].kind != eds::SqlToken::Kind::Word) return;
    const std::string first = rtl::UpperCase(toks[0].value);
    if (first != "SELECT" && first != "WITH" && first != "VALUES" && first != "INSERT" && first != "REPLACE" &&
        first != "UPDATE" && first != "DELETE")
        return;
    std::set<std::string> found;
    for (const std::string& name : eds::SqlTableNames(sql)) found.insert(rtl::UpperCase(name));
    for (const std::string& table : TablesUsed(sql))
        if (!found.count(table)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string sql(reinterpret_cast<const char*>(data), size);
    if (sql.find('\0') != std::string::npos) return 0;  // texts reach the engine zero-terminated
    EDSHANDLE connection = Connection();
    EDSHANDLE stmt = 0, cursor = 0;
    Must(EdsCreateSQLStatement(connection, &stmt));
    struct Close {
        EDSHANDLE stmt;
        ~Close() { EdsCloseSQLStatement(stmt); }
    } close{stmt};
    UNSIGNED32 rc = EdsPrepareSQL(stmt, U(sql));
    Refused(rc);
    if (rc != EDS_SUCCESS) return 0;
    FindsEveryTableUsed(sql);

    // Only texts that read, and nothing else, run.
    std::string upper;
    for (char c : sql) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (upper.rfind("SELECT", 0) != 0 || upper.find("PRAGMA") != std::string::npos ||
        upper.find("RECURSIVE") != std::string::npos || upper.find("RANDOMBLOB") != std::string::npos ||
        upper.find("ZEROBLOB") != std::string::npos)
        return 0;
    rc = EdsExecuteSQL(stmt, &cursor);
    Refused(rc);
    if (rc != EDS_SUCCESS || cursor == 0) return 0;
    UNSIGNED16 kind = 9;
    Must(EdsSqlPeekStatement(cursor, &kind));
    if (kind != EDS_CURSOR_STATIC) std::abort();
    UNSIGNED32 length = 0, count = 0;
    Must(EdsGetRecordLength(cursor, &length));
    Must(EdsGetRecordCount(cursor, EDS_IGNOREFILTERS, &count));
    std::vector<UNSIGNED8> image(length + 1);
    Must(EdsGotoTop(cursor));
    for (UNSIGNED32 i = 0; i < count && i < 20; ++i) {
        UNSIGNED32 got = length;
        Must(EdsGetRecord(cursor, image.data(), &got));
        Must(EdsSkip(cursor, 1));
    }
    UNSIGNED16 eof = 0;
    Must(EdsAtEOF(cursor, &eof));
    if (count <= 20 && !eof) std::abort();
    Must(EdsCloseTable(cursor));
    return 0;
}
