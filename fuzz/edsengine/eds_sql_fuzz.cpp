// Fuzzes SQL through the engine's entry points: a text is cut into at most four
// statements, run one after another on a connection of their own. Each must
// prepare or end in an engine error with a text, and each that prepares is
// run. A cursor comes back only from a statement that changes nothing, and
// must navigate and read like a table. Every table file a query or a change
// reads or writes, as SQLite's own plan of it shows, must be among the tables
// the engine finds in its text (the ones it locks). After the statements, while their connection is still there, a fresh
// connection must open every table of the folder and append to it: no
// statement may leave a table locked, dropped, renamed or unreadable for
// another station. An index a statement made may refuse a row (its expression
// or its uniqueness); with the indexes made by SQL gone, the row goes in; a
// table whose record numbers a statement used up to the last refuses it. No
// row is numbered where the table API cannot name it (1 to 4294967295, up to
// 2147483647 in the table with an AutoInc field), and every timestamp is
// stored in the form the table API writes.
//
// Meanwhile another open of the folder (a second connection) holds a record
// of each table locked and an append to each pending, its record number
// reserved. After the statements the locked records read as before, each
// pending append writes with the number it reserved, and every table opens
// with the fields it was made with.
//
// Each text starts from the same two tables (their files are put back after
// it), and gets a bounded share of SQLite's work, memory and file size: a text
// that asks for more ends in an engine error.

#include "fuzz/edsengine/EdsFuzzSupport.h"
#include "platform/edsengine/eds.h"
#include "platform/edsengine/EdsSqlText.h"
#include "platform/rtl/SysUtils.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
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

// SQLite's work left to the current text, in calls of the progress handler
// that every connection of the process gets (one per 1000 steps of its VM).
constexpr long kWork = 20000;
std::atomic<long> gWork{kWork};

bool WorkLeft() { return gWork.load() > 0; }

int Instrument(sqlite3* db, char**, const sqlite3_api_routines*) {
    sqlite3_progress_handler(db, 1000, [](void*) { return gWork.fetch_sub(1) <= 0 ? 1 : 0; }, nullptr);
    return SQLITE_OK;
}

const std::string& Folder() {
    static const std::string dir = std::filesystem::temp_directory_path() / ("eds_sql_fuzz_" + std::to_string(::getpid()));
    return dir;
}

// The folder's tables: their files and their names in upper case.
const char* const kFiles[] = {"Log37.edt", "members.edt"};
const char* const kTables[] = {"LOG37", "MEMBERS"};
// The last record number of each (Log37 has an AutoInc field).
const std::int64_t kLast[] = {2147483647, 4294967295};

std::filesystem::path Pristine(int i) { return std::filesystem::path(Folder()) / "pristine" / kFiles[i]; }
std::filesystem::path Live(int i) { return std::filesystem::path(Folder()) / kFiles[i]; }

// A plain SQLite connection with both files attached (under names no text will
// guess), made again whenever the files are put back.
sqlite3*& OracleDb() {
    static sqlite3* db = nullptr;
    return db;
}

sqlite3* Oracle() {
    sqlite3*& db = OracleDb();
    if (db) return db;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) std::abort();
    for (int i = 0; i < 2; ++i) {
        const std::string attach = "ATTACH DATABASE '" + Live(i).string() + "' AS oracle_q" + std::to_string(i) + "x";
        if (sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
    }
    return db;
}

// The names of the indexes in file i made by SQL (the engine's own come with the file).
std::set<std::string> SqlIndexes(int i) {
    std::set<std::string> names;
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = "SELECT name FROM oracle_q" + std::to_string(i) +
                            "x.sqlite_master WHERE type = 'index' AND sql IS NOT NULL";
    if (sqlite3_prepare_v2(Oracle(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) std::abort();
    while (sqlite3_step(stmt) == SQLITE_ROW) names.insert(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return names;
}

const std::set<std::string>& EngineIndexes(int i) {
    static const std::set<std::string> names[2] = {SqlIndexes(0), SqlIndexes(1)};
    return names[i];
}

// The folder with two small tables made by the engine, made once, with a copy
// of each file to start every text from.
void MakeFolder() {
    static const bool made = [] {
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(Instrument));
        sqlite3_hard_heap_limit64(256 << 20);
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
        const rlimit size{64 << 20, 64 << 20};
        ::setrlimit(RLIMIT_FSIZE, &size);

        const std::string& dir = Folder();
        std::filesystem::create_directories(std::filesystem::path(dir) / "pristine");
        EDSHANDLE c = 0, t = 0, index = 0;
        Must(EdsConnect60(U(dir), EDS_LOCAL_SERVER, U(""), U(""), 0, &c));
        Must(EdsCreateTable(c, U("Log37"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0,
                            U("LID,AutoInc;DateTime,TimeStamp;SerialNum,Integer;Batch,Logical;ToCity,Char,35;"), &t));
        Must(EdsCreateIndex61(t, U(""), U("CITY"), U("UPPER(ToCity)"), U(""), U(""), EDS_COMPOUND, 0, &index));
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
        Must(EdsDisconnect(c));
        for (int i = 0; i < 2; ++i) std::filesystem::copy_file(Live(i), Pristine(i));
        EngineIndexes(0);
        return true;
    }();
    (void)made;
}

// Puts the files back as they were made (in place: the lock files and what
// SQLite knows of the files by their inodes stay right), with the record-number
// counters as new (no open is left; a text may have given out every number).
void PutFilesBack() {
    sqlite3_close(OracleDb());
    OracleDb() = nullptr;
    for (int i = 0; i < 2; ++i) {
        std::error_code ec;
        std::filesystem::remove(Live(i).string() + "-journal", ec);
        if (!std::filesystem::copy_file(Pristine(i), Live(i), std::filesystem::copy_options::overwrite_existing, ec))
            std::abort();
        FILE* lock = std::fopen((Live(i).string() + ".lck").c_str(), "r+b");
        const std::int64_t none = 0;
        if (!lock || std::fwrite(&none, sizeof none, 1, lock) != 1) std::abort();
        std::fclose(lock);
    }
}

// The tables of the folder whose files SQLite's plan of the text opens;
// nothing when SQLite cannot plan the text on the oracle.
std::set<std::string> TablesUsed(const std::string& sql) {
    std::set<std::string> used;
    sqlite3_stmt* plan = nullptr;
    if (sqlite3_prepare_v2(Oracle(), ("EXPLAIN " + sql).c_str(), -1, &plan, nullptr) != SQLITE_OK) {
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

// Queries and changes only: other statements (ANALYZE, triggers) reach no
// table file the finder must name, or are refused.
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

// Rows come only from a statement that changes nothing: those of a change
// would come from a run of it that stores nothing.
void ChangesNothing(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    const bool changes = sqlite3_prepare_v2(Oracle(), sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && stmt &&
                         !sqlite3_stmt_readonly(stmt) && !sqlite3_stmt_isexplain(stmt);
    sqlite3_finalize(stmt);
    if (changes) std::abort();
}

// A failure of a cursor's call is an engine error, and comes only when the
// text's share of work or memory ran out.
bool Navigated(UNSIGNED32 rc) {
    if (rc == EDS_SUCCESS) return true;
    Refused(rc);
    if (WorkLeft() && rc != EDS_E_IO && rc != EDS_E_SQL) std::abort();
    return false;
}

void ReadsLikeATable(EDSHANDLE cursor) {
    UNSIGNED16 kind = 9;
    Must(EdsSqlPeekStatement(cursor, &kind));
    if (kind != EDS_CURSOR_STATIC) std::abort();
    UNSIGNED32 length = 0, count = 0;
    Must(EdsGetRecordLength(cursor, &length));
    if (!Navigated(EdsGetRecordCount(cursor, EDS_IGNOREFILTERS, &count))) return;
    std::vector<UNSIGNED8> image(length + 1);
    if (!Navigated(EdsGotoTop(cursor))) return;
    for (UNSIGNED32 i = 0; i < count && i < 20; ++i) {
        UNSIGNED32 got = length;
        if (!Navigated(EdsGetRecord(cursor, image.data(), &got)) || !Navigated(EdsSkip(cursor, 1))) return;
    }
    UNSIGNED16 eof = 0;
    Must(EdsAtEOF(cursor, &eof));
    if (count <= 20 && !eof) std::abort();
}

UNSIGNED32 AppendEmptyRecord(EDSHANDLE station, int i) {
    const std::string name = std::filesystem::path(kFiles[i]).stem().string();
    EDSHANDLE table = 0;
    Must(EdsOpenTable(station, U(name), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0,
                      &table));
    UNSIGNED32 rc = EdsAppendRecord(table);
    if (rc == EDS_SUCCESS) rc = EdsWriteRecord(table);
    Refused(rc);
    Must(EdsCloseTable(table));
    return rc;
}

// One whole number from the oracle.
std::int64_t OracleNumber(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(Oracle(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) std::abort();
    const std::int64_t n = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    return n;
}

// Every row of file i has a number the table API names, and every timestamp
// is NULL or in the API's form (what the engine cannot read is refused).
void NumbersAndFormsKept(int i) {
    const std::string rows = "oracle_q" + std::to_string(i) + "x.\"" + std::filesystem::path(kFiles[i]).stem().string() + "\"";
    if (OracleNumber("SELECT count(*) FROM " + rows + " WHERE rowid NOT BETWEEN 1 AND " + std::to_string(kLast[i])) != 0)
        std::abort();
    if (i == 0 && OracleNumber("SELECT count(*) FROM " + rows + " WHERE DateTime IS NOT NULL AND (typeof(DateTime) <> "
                               "'text' OR length(DateTime) <> 23 OR substr(DateTime, 11, 1) <> ' ')") != 0)
        std::abort();
}

// Whether the record numbers of file i are given out up to its last (the lock
// file's counter is past it).
bool NumbersUsedUp(int i) {
    std::int64_t counter = 0;
    FILE* lock = std::fopen((Live(i).string() + ".lck").c_str(), "rb");
    if (!lock) return false;
    const bool read = std::fread(&counter, sizeof counter, 1, lock) == 1;
    std::fclose(lock);
    return read && counter > kLast[i];
}

// Drops the indexes that SQL made in file i; answers whether there were any.
bool DropSqlIndexes(int i) {
    bool dropped = false;
    for (const std::string& index : SqlIndexes(i)) {
        if (EngineIndexes(i).count(index)) continue;
        const std::string drop = "DROP INDEX oracle_q" + std::to_string(i) + "x.\"" + index + "\"";
        if (sqlite3_exec(Oracle(), drop.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
        dropped = true;
    }
    return dropped;
}

// A table's fields as the engine describes them: name, type and length of each.
std::string FieldList(EDSHANDLE table) {
    UNSIGNED16 count = 0;
    Must(EdsGetNumFields(table, &count));
    std::string list;
    for (UNSIGNED16 f = 1; f <= count; ++f) {
        UNSIGNED8 name[200];
        UNSIGNED16 len = sizeof name;
        UNSIGNED16 type = 0;
        UNSIGNED32 length = 0;
        Must(EdsGetFieldName(table, f, name, &len));
        Must(EdsGetFieldType(table, f, &type));
        Must(EdsGetFieldLength(table, f, &length));
        list += std::string(reinterpret_cast<const char*>(name), len) + "," + std::to_string(type) + "," +
                std::to_string(length) + ";";
    }
    return list;
}

EDSHANDLE OpenTable(EDSHANDLE connection, int i) {
    EDSHANDLE table = 0;
    Must(EdsOpenTable(connection, U(std::filesystem::path(kFiles[i]).stem().string()), nullptr, EDS_EDT, EDS_ANSI,
                      EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0, &table));
    return table;
}

std::vector<UNSIGNED8> RecordImage(EDSHANDLE table) {
    UNSIGNED32 length = 0;
    Must(EdsGetRecordLength(table, &length));
    std::vector<UNSIGNED8> image(length);
    Must(EdsGetRecord(table, image.data(), &length));
    return image;
}

// Another open of the folder, there before the text: on each table it holds
// record 2 locked and an append pending.
class Holder {
public:
    Holder() {
        Must(EdsConnect60(U(Folder()), EDS_LOCAL_SERVER, U(""), U(""), 0, &connection_));
        for (int i = 0; i < 2; ++i) {
            Held& h = held_[i];
            h.locker = OpenTable(connection_, i);
            Must(EdsGotoRecord(h.locker, kLocked));
            Must(EdsLockRecord(h.locker, kLocked));
            h.image = RecordImage(h.locker);
            h.fields = FieldList(h.locker);
            h.appender = OpenTable(connection_, i);
            Must(EdsAppendRecord(h.appender));
            Must(EdsGetRecordNum(h.appender, EDS_IGNOREFILTERS, &h.reserved));
        }
    }
    ~Holder() { Must(EdsDisconnect(connection_)); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    // After a text that ran: the locked records are as they were, and each
    // append writes with its number (an index the text made may refuse the
    // row, which goes in once those indexes are gone).
    void Check() {
        for (int i = 0; i < 2; ++i) {
            Held& h = held_[i];
            const EDSHANDLE reader = OpenTable(connection_, i);  // an open with nothing read ahead
            Must(EdsGotoRecord(reader, kLocked));
            if (RecordImage(reader) != h.image) std::abort();
            Must(EdsCloseTable(reader));
            UNSIGNED32 rc = EdsWriteRecord(h.appender);
            Refused(rc);
            if (rc != EDS_SUCCESS) {
                if (rc == EDS_E_BUSY || rc == EDS_E_TABLE_LOCKED || !DropSqlIndexes(i))
                    std::abort();
                Must(EdsWriteRecord(h.appender));
            }
            UNSIGNED32 recno = 0;
            Must(EdsGetRecordNum(h.appender, EDS_IGNOREFILTERS, &recno));
            if (recno != h.reserved) std::abort();
        }
    }
    // After a text that prepared nothing: the appends are given up.
    void GiveUp() {
        for (Held& h : held_) Must(EdsCancelUpdate(h.appender));
    }
    // Every table opens, on a connection of its own, with its fields as made.
    void FieldsKept() const {
        EDSHANDLE station = 0;
        Must(EdsConnect60(U(Folder()), EDS_LOCAL_SERVER, U(""), U(""), 0, &station));
        for (int i = 0; i < 2; ++i) {
            const EDSHANDLE table = OpenTable(station, i);
            if (FieldList(table) != held_[i].fields) std::abort();
            Must(EdsCloseTable(table));
        }
        Must(EdsDisconnect(station));
    }

private:
    static constexpr UNSIGNED32 kLocked = 2;
    struct Held {
        EDSHANDLE locker = 0, appender = 0;
        std::vector<UNSIGNED8> image;
        std::string fields;
        UNSIGNED32 reserved = 0;
    };
    EDSHANDLE connection_ = 0;
    Held held_[2];
};

// Another station, after the text: it opens each table and appends a row.
void AnotherStationAppends() {
    EDSHANDLE station = 0;
    Must(EdsConnect60(U(Folder()), EDS_LOCAL_SERVER, U(""), U(""), 0, &station));
    for (int i = 0; i < 2; ++i) {
        const UNSIGNED32 rc = AppendEmptyRecord(station, i);
        if (rc == EDS_SUCCESS) continue;
        if (rc == EDS_E_NOT_SUPPORTED && NumbersUsedUp(i)) continue;
        if (rc == EDS_E_BUSY || rc == EDS_E_TABLE_LOCKED || rc == EDS_E_RECORD_LOCKED) std::abort();
        // Only an index the text made may refuse the row.
        if (!DropSqlIndexes(i)) std::abort();
        Must(AppendEmptyRecord(station, i));
    }
    Must(EdsDisconnect(station));
}

// The statements of a text, cut at its semicolons: a few run one after another
// on one connection, as a program sends them.
std::vector<std::string> Statements(const std::string& text) {
    std::vector<std::string> statements;
    std::size_t begin = 0;
    for (const eds::SqlToken& t : eds::TokenizeSql(text)) {
        if (t.kind != eds::SqlToken::Kind::Punct || t.value != ";") continue;
        statements.push_back(text.substr(begin, t.end - begin));
        begin = t.end;
    }
    if (text.find_first_not_of(" \t\r\n", begin) != std::string::npos) statements.push_back(text.substr(begin));
    if (statements.size() > 4) statements.resize(4);
    return statements;
}

// Prepares and runs one statement; answers whether it prepared.
bool Run(EDSHANDLE connection, const std::string& sql) {
    EDSHANDLE stmt = 0, cursor = 0;
    Must(EdsCreateSQLStatement(connection, &stmt));
    UNSIGNED32 rc = EdsPrepareSQL(stmt, U(sql));
    Refused(rc);
    const bool prepared = rc == EDS_SUCCESS;
    if (prepared) {
        FindsEveryTableUsed(sql);
        rc = EdsExecuteSQL(stmt, &cursor);
        Refused(rc);
        if (rc == EDS_SUCCESS && cursor != 0) {
            ChangesNothing(sql);
            ReadsLikeATable(cursor);
            Must(EdsCloseTable(cursor));
        }
    }
    Must(EdsCloseSQLStatement(stmt));
    return prepared;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) return 0;  // texts reach the engine zero-terminated
    MakeFolder();
    gWork = kWork;
    bool ran = false;
    {
        Holder holder;
        EDSHANDLE connection = 0;
        Must(EdsConnect60(U(Folder()), EDS_LOCAL_SERVER, U(""), U(""), 0, &connection));
        for (const std::string& sql : Statements(text)) ran = Run(connection, sql) || ran;
        gWork = kWork;
        if (ran) {
            for (int i = 0; i < 2; ++i) NumbersAndFormsKept(i);
            holder.Check();
            holder.FieldsKept();
            AnotherStationAppends();
        } else {
            holder.GiveUp();
        }
        Must(EdsDisconnect(connection));
    }
    if (ran) PutFilesBack();
    return 0;
}
