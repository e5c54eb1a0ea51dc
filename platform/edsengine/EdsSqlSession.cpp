#include "platform/edsengine/EdsSqlSession.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <utility>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsFields.h"
#include "platform/edsengine/EdsLockFile.h"
#include "platform/edsengine/EdsSqlChecks.h"
#include "platform/edsengine/EdsSqlRecords.h"
#include "platform/edsengine/EdsSqlStream.h"
#include "platform/edsengine/EdsSqlText.h"
#include "platform/edsengine/EdsTableFile.h"
#include "platform/rtl/SysUtils.h"

namespace eds {
namespace {

struct StmtGuard {
    sqlite3_stmt* stmt = nullptr;
    ~StmtGuard() { sqlite3_finalize(stmt); }
};

// SQLite's text for the first statement of a text; nothing but a statement may follow.
sqlite3_stmt* PrepareOne(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        ThrowSqlError(db, rc, sql);
    }
    if (!stmt) Throw(EDS_E_SQL, "ERROR 7200: NATIVEERROR = 0; The SQL text holds no statement.");
    std::string_view rest(tail ? tail : "");
    for (const SqlToken& t : TokenizeSql(rest)) {
        if (t.kind == SqlToken::Kind::Punct && t.value == ";") continue;
        sqlite3_finalize(stmt);
        Throw(EDS_E_SQL, "ERROR 7200: NATIVEERROR = 0; Only one SQL statement can be executed at a time.");
    }
    return stmt;
}

// A transaction holding the write locks of the tables a statement writes, and
// of no other file the session keeps attached (BEGIN IMMEDIATE would take them
// all, and hold back every other station's writes to them): each is taken by a
// write that changes nothing, waiting as any statement waits for a busy file.
// Rolled back unless committed.
class WriteTransaction {
public:
    WriteTransaction(SqlSession& session, const std::vector<const SqlSession::Table*>& written) : session_(&session) {
        session.ExecOwn("BEGIN");
        try {
            for (const SqlSession::Table* t : written) {
                session.ExecOwn("DELETE FROM " + QuoteName(t->schema) + "." + QuoteName(t->rowTable) + " WHERE 0");
                if (sqlite3_txn_state(session.Db(), t->schema.c_str()) != SQLITE_TXN_WRITE)
                    Throw(EDS_E_SQL, "ERROR 7200: NATIVEERROR = 0; The table " + t->rowTable +
                                         " could not be held for writing.");
            }
        } catch (...) {
            Rollback();
            throw;
        }
    }
    WriteTransaction(WriteTransaction&& other) noexcept : session_(std::exchange(other.session_, nullptr)) {}
    WriteTransaction& operator=(WriteTransaction&&) = delete;
    ~WriteTransaction() { Rollback(); }
    void Commit() {
        session_->ExecOwn("COMMIT");
        session_ = nullptr;
    }

private:
    void Rollback() {
        SqlSession* session = std::exchange(session_, nullptr);
        if (!session) return;
        SqlSession::OwnStatements own(*session);
        sqlite3_exec(session->Db(), "ROLLBACK", nullptr, nullptr, nullptr);
    }

    SqlSession* session_;
};

// Resets one of the session's kept statements after its use.
struct OwnUse {
    sqlite3_stmt* stmt;
    ~OwnUse() {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }
};

// One whole number from one of the session's own queries, with `name` as ?1
// and `value` as ?2 (0 when it answers none).
std::int64_t OwnNumber(SqlSession& session, const std::string& sql, const std::string& name,
                       std::int64_t value = 0) {
    SqlSession::OwnStatements own(session);
    OwnUse query{session.Own(sql)};
    sqlite3_bind_text(query.stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_bind_parameter_count(query.stmt) >= 2) sqlite3_bind_int64(query.stmt, 2, value);
    const int rc = sqlite3_step(query.stmt);
    if (rc == SQLITE_ROW) return sqlite3_column_int64(query.stmt, 0);
    if (rc != SQLITE_DONE) ThrowSqlError(session.Db(), rc, sql);
    return 0;
}

std::string RowTableOf(const RecordChecks::Table& t) { return QuoteName(t.schema) + "." + QuoteName(t.rowTable); }

// The highest record number a table has given: its highest row, and for an
// AutoInc table what SQLite keeps in sqlite_sequence.
std::int64_t Highest(SqlSession& session, const RecordChecks::Table& t) {
    std::string sql = "SELECT coalesce(max(" + t.recno + "), 0) FROM " + RowTableOf(t);
    if (t.autoinc)
        sql = "SELECT max((" + sql + "), coalesce((SELECT seq FROM " + QuoteName(t.schema) +
              ".sqlite_sequence WHERE name = ?1), 0))";
    return OwnNumber(session, sql, t.rowTable);
}

// An AutoInc table numbers new rows above sqlite_sequence: from the counter,
// below which every number is handed out.
void NumberFromCounter(SqlSession& session, const RecordChecks::Table& t) {
    const std::string sequence = QuoteName(t.schema) + ".sqlite_sequence";
    if (Highest(session, t) >= t.counter - 1) return;
    OwnNumber(session, "INSERT OR REPLACE INTO " + sequence + "(rowid, name, seq) VALUES((SELECT rowid FROM " +
                           sequence + " WHERE name = ?1), ?1, ?2)",
              t.rowTable, t.counter - 1);
}

// The rows that SQLite numbered below the counter, in a table without AutoInc,
// go above every row in the order they came (the statement is through, its
// transaction not yet), all in one UPDATE, so that a refill of an emptied table
// costs about what its insert did. From the lowest of them up to the counter
// every row is the statement's: SQLite numbers a new row above every row, and
// a number below the counter that an insert names itself is refused unless a
// row holds it. `lastAutoinc` follows its row.
void MoveAbove(SqlSession& session, RecordChecks::Table& t, std::int64_t& lastAutoinc) {
    if (!t.misplaced) return;
    const std::int64_t by = std::max(t.counter, Highest(session, t) + 1) - t.misplaced;
    // None of them lies above the counter, nor above the highest number placed.
    const std::int64_t top = std::min(t.counter - 1, t.stored) + by;
    if (top > kLastRecordNumber) Throw(EDS_E_SQL, RecordChecks::OutOfRange(t.rowTable, top, false));
    const std::string sql = "UPDATE " + RowTableOf(t) + " SET " + t.recno + " = " + t.recno + " + ?1 WHERE " +
                            t.recno + " >= ?2 AND " + t.recno + " < ?3";
    SqlSession::OwnStatements own(session);
    OwnUse move{session.Own(sql)};
    sqlite3_bind_int64(move.stmt, 1, by);
    sqlite3_bind_int64(move.stmt, 2, t.misplaced);
    sqlite3_bind_int64(move.stmt, 3, t.counter);
    const int rc = sqlite3_step(move.stmt);
    if (rc != SQLITE_DONE) ThrowSqlError(session.Db(), rc, sql);
    if (lastAutoinc >= t.misplaced && lastAutoinc < t.counter) lastAutoinc += by;
    t.stored = std::max(t.stored, t.counter - 1 + by);
    t.misplaced = 0;
}

}  // namespace

SqlValue SqlColumnValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER: return static_cast<std::int64_t>(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT: return sqlite3_column_double(stmt, column);
    case SQLITE_TEXT: {
        const unsigned char* p = sqlite3_column_text(stmt, column);
        return std::string(p ? reinterpret_cast<const char*>(p) : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
    }
    case SQLITE_BLOB: {
        const auto* p = static_cast<const UNSIGNED8*>(sqlite3_column_blob(stmt, column));
        return std::vector<UNSIGNED8>(p, p + sqlite3_column_bytes(stmt, column));
    }
    default: return std::monostate{};
    }
}

void SqlBindValue(sqlite3_stmt* stmt, int at, const SqlValue& v) {
    if (auto* i = std::get_if<std::int64_t>(&v)) sqlite3_bind_int64(stmt, at, *i);
    else if (auto* d = std::get_if<double>(&v)) sqlite3_bind_double(stmt, at, *d);
    else if (auto* s = std::get_if<std::string>(&v))
        sqlite3_bind_text(stmt, at, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    else if (auto* b = std::get_if<std::vector<UNSIGNED8>>(&v))
        sqlite3_bind_blob(stmt, at, b->data(), static_cast<int>(b->size()), SQLITE_TRANSIENT);
    else sqlite3_bind_null(stmt, at);
}

void ThrowSqlError(sqlite3* db, int rc, std::string_view sql) {
    int native = db ? sqlite3_extended_errcode(db) : rc;
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    Throw(EDS_E_SQL, "ERROR 7200: NATIVEERROR = " + std::to_string(native) + "; " + message + " -- SQL: " +
                         std::string(sql.substr(0, 400)));
}

// ---- SqlSession ---------------------------------------------------------------------

SqlSession::SqlSession(std::string folder) : folder_(std::move(folder)) {
    int rc = sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        ThrowSqlError(nullptr, rc, "");
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 2000);
    HardenConnection(db_);
    try {
        checks_ = std::make_unique<FieldChecks>(db_, *this);
        records_ = std::make_unique<RecordChecks>(db_);
        // The rows that REPLACE removes reach the record checks' BEFORE DELETE
        // triggers only so; SQLite's own default is off.
        ExecOwn("PRAGMA recursive_triggers = ON");
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
    sqlite3_set_authorizer(db_, &SqlSession::Authorize, this);
}

void HardenConnection(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
}

void RefuseChangeReturningRows(sqlite3_stmt* stmt) {
    if (sqlite3_stmt_readonly(stmt) || sqlite3_column_count(stmt) == 0 || sqlite3_stmt_isexplain(stmt)) return;
    Throw(EDS_E_SQL, "ERROR 7200: NATIVEERROR = " + std::to_string(SQLITE_AUTH) +
                         "; INSERT, UPDATE and DELETE cannot return rows (RETURNING) through SQL; run the statement, "
                         "then a SELECT for the rows it changed.");
}

namespace {

constexpr const char* kUseTableApi =
    " cannot be run through SQL: tables, their fields and their indexes are made, changed and removed through the "
    "table API. SQL may make indexes only, with CREATE INDEX ... ON a table.";

// A TEMP table would live on the session's connection alone: the rows of a
// query are read on a connection of their own, which never sees it, and SQLite
// would look in it first for the name of a table of the folder.
constexpr const char* kNoTempTables =
    " cannot be run through SQL: a query reads its rows on a connection of its own, where TEMP tables do not exist. "
    "Make a table through the table API instead.";

// The PRAGMAs that only describe a table (its columns and indexes), with or
// without their argument; every other one sets or reads the engine's own state.
bool DescribingPragma(const char* name) {
    for (const char* allowed : {"table_info", "table_xinfo", "index_list", "index_info", "index_xinfo"})
        if (name && rtl::SameText(name, allowed)) return true;
    return false;
}

}  // namespace

int SqlSession::Refuse(std::string text) {
    if (refusal_.empty()) refusal_ = "ERROR 7200: NATIVEERROR = " + std::to_string(SQLITE_AUTH) + "; " + std::move(text);
    return SQLITE_DENY;
}

// What a user's statement may do is decided here, by what SQLite is about to
// do, never by its text: a PRAGMA takes effect while it is prepared.
int SqlSession::Authorize(void* self, int action, const char* first, const char* second, const char* schema,
                          const char* trigger) {
    auto* session = static_cast<SqlSession*>(self);
    if (session->own_) return SQLITE_OK;
    const std::string name = first ? first : "";
    if (!trigger && (action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE))
        session->writes_.push_back({action, schema ? schema : "", name, action == SQLITE_UPDATE && second ? second : ""});
    switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
        // The session keeps the attachments: a statement that attached or
        // detached files itself would reach outside the folder or pull tables
        // from under it.
        return SQLITE_DENY;
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
        // A transaction of the session's own would hold other stations' appends
        // and vanish with the connection.
        return session->Refuse("BEGIN, COMMIT, END, ROLLBACK, SAVEPOINT and RELEASE cannot be run through SQL; "
                               "use the connection's transaction calls (BeginTransaction, Commit, Rollback) instead.");
    case SQLITE_PRAGMA:
        if (DescribingPragma(first)) return SQLITE_OK;
        return session->Refuse("PRAGMA " + name +
                               " cannot be run through SQL: the engine keeps its connections' settings itself. Only "
                               "PRAGMA table_info, table_xinfo, index_list, index_info and index_xinfo read a table's "
                               "columns and indexes; use the table API for anything else.");
    case SQLITE_READ:
        // The PRAGMAs are tables too (pragma_name(...)), in main, where no user table lives.
        if (schema && std::string_view(schema) == "main" && rtl::UpperCase(name).rfind("PRAGMA_", 0) == 0 &&
            !DescribingPragma(first + 7))
            return session->Refuse("PRAGMA " + name.substr(7) +
                                   " cannot be read through SQL: only table_info, table_xinfo, index_list, index_info "
                                   "and index_xinfo can.");
        break;
    case SQLITE_CREATE_TEMP_TABLE: return session->Refuse("CREATE TEMP TABLE" + std::string(kNoTempTables));
    case SQLITE_CREATE_TEMP_INDEX: return session->Refuse("CREATE INDEX on a TEMP table" + std::string(kNoTempTables));
    case SQLITE_CREATE_TABLE:
        if (schema && std::string_view(schema) == "temp")  // CREATE TABLE temp.name
            return session->Refuse("CREATE TEMP TABLE" + std::string(kNoTempTables));
        // ANALYZE makes its table of statistics first (user tables may not begin "sqlite_").
        return session->Refuse((rtl::UpperCase(name).rfind("SQLITE_", 0) == 0 ? "ANALYZE" : "CREATE TABLE") +
                               std::string(kUseTableApi));
    case SQLITE_CREATE_INDEX:
        // An index on a table of the engine's own could refuse the engine's own writes to it.
        if (!session->RowTableOf(schema, second))
            return session->Refuse("CREATE INDEX on " + std::string(second ? second : "") +
                                   " cannot be run through SQL: indexes are made only on a table's rows.");
        // SQLite fills the new index at once, which it asks as a REINDEX of it.
        session->indexMade_ = std::string(schema ? schema : "") + "." + name;
        break;
    case SQLITE_REINDEX:
        if (session->indexMade_ == std::string(schema ? schema : "") + "." + name) break;
        return session->Refuse("REINDEX" + std::string(kUseTableApi));
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TEMP_TABLE: return session->Refuse("DROP TABLE" + std::string(kUseTableApi));
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TEMP_INDEX: return session->Refuse("DROP INDEX" + std::string(kUseTableApi));
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
        // A change of a file's schema is judged by what it changes (above). Each
        // file's other tables (its fields and index tags, SQLite's record
        // numbers and statistics) are the engine's: a row of them written here
        // would make the table unreadable or misnumbered for every station.
        // SQLite's own count of an AutoInc insert never comes this way.
        if (name == "sqlite_master" || !schema || std::string_view(schema) == "main" ||
            std::string_view(schema) == "temp" || session->RowTableOf(schema, first))
            break;
        return session->Refuse("The table " + name +
                               " is the engine's own: SQL may insert, update and delete the rows of a table only. "
                               "Change its fields, indexes and record numbers through the table API.");
    case SQLITE_ALTER_TABLE: return session->Refuse("ALTER TABLE" + std::string(kUseTableApi));
    case SQLITE_ANALYZE: return session->Refuse("ANALYZE" + std::string(kUseTableApi));
    // A trigger, even a TEMP one, acts on the attached tables: one that deleted
    // rows would do so behind every other station's back.
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_TEMP_TRIGGER: return session->Refuse("CREATE TRIGGER" + std::string(kUseTableApi));
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_TEMP_TRIGGER: return session->Refuse("DROP TRIGGER" + std::string(kUseTableApi));
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_TEMP_VIEW: return session->Refuse("CREATE VIEW" + std::string(kUseTableApi));
    case SQLITE_DROP_VIEW:
    case SQLITE_DROP_TEMP_VIEW: return session->Refuse("DROP VIEW" + std::string(kUseTableApi));
    case SQLITE_CREATE_VTABLE: return session->Refuse("CREATE VIRTUAL TABLE" + std::string(kUseTableApi));
    case SQLITE_DROP_VTABLE: return session->Refuse("DROP TABLE of a virtual table" + std::string(kUseTableApi));
    case SQLITE_FUNCTION:
        if (!trigger && second && (RecordChecks::IsCheck(second) || FieldChecks::IsOwn(second)))
            return session->Refuse("The function " + std::string(second) + " is the engine's own.");
        // It registers a tokenizer by the address a value holds: any address.
        if (second && rtl::SameText(second, "fts3_tokenizer"))
            return session->Refuse("The function fts3_tokenizer cannot be used through SQL: full-text tables are no "
                                   "part of the table API.");
        break;
    default: break;
    }
    if (!session->reachable_ || !schema || std::string_view(schema) == "main" || std::string_view(schema) == "temp")
        return SQLITE_OK;
    if ((action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE) && name == "sqlite_master")
        return SQLITE_OK;
    const auto& reachable = *session->reachable_;
    if (std::find(reachable.begin(), reachable.end(), schema) != reachable.end()) return SQLITE_OK;
    const bool table =
        action == SQLITE_READ || action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE;
    if (session->unreachable_.empty())
        session->unreachable_ = table && first ? "no such table: " + std::string(schema) + "." + first
                                               : "unknown database " + std::string(schema);
    return SQLITE_DENY;
}

void SqlSession::ExecOwn(const std::string& sql) {
    OwnStatements own(*this);
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) ThrowSqlError(db_, rc, sql);
}

sqlite3_stmt* SqlSession::Own(const std::string& sql) {
    auto it = ownStatements_.find(sql);
    if (it != ownStatements_.end()) return it->second;
    OwnStatements own(*this);
    sqlite3_stmt* stmt = PrepareOne(db_, sql);
    ownStatements_.emplace(sql, stmt);
    return stmt;
}

void SqlSession::ForgetOwn() {
    for (auto& [sql, stmt] : ownStatements_) sqlite3_finalize(stmt);
    ownStatements_.clear();
}

void SqlSession::Close() {
    ForgetOwn();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    tables_.clear();
}

SqlSession::~SqlSession() {
    ForgetOwn();
    sqlite3_close_v2(db_);
}

const SqlSession::Table* SqlSession::BySchema(std::string_view schema) const {
    for (const Table& t : tables_)
        if (t.schema == schema) return &t;
    return nullptr;
}

bool SqlSession::RowTableOf(const char* schema, const char* table) const {
    const Table* t = schema && table ? BySchema(schema) : nullptr;
    return t && rtl::SameText(t->rowTable, table);
}

const SqlSession::Table* SqlSession::ByPath(std::string_view path) const {
    for (const Table& t : tables_)
        if (t.path == path) return &t;
    return nullptr;
}

std::vector<std::string> SqlSession::AttachFor(std::string_view sql) {
    OwnStatements own(*this);
    std::vector<std::string> wanted;
    for (const std::string& name : SqlTableNames(sql)) wanted.push_back(rtl::UpperCase(name));
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        const std::filesystem::path& p = entry.path();
        if (rtl::UpperCase(p.extension().string()) != ".EDT") continue;
        std::string stem = rtl::UpperCase(p.stem().string());
        if (std::find(wanted.begin(), wanted.end(), stem) == wanted.end()) continue;
        bool dup = false;
        for (const auto& f : files) dup = dup || rtl::UpperCase(f.stem().string()) == stem;
        if (!dup) files.push_back(p);
    }
    ++clock_;
    std::vector<std::string> needed;
    for (const auto& file : files) {
        std::string path = file.string();
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) continue;
        auto it = std::find_if(tables_.begin(), tables_.end(), [&](const Table& t) { return t.path == path; });
        if (it != tables_.end() && (it->device != st.st_dev || it->inode != st.st_ino)) {
            // The file was removed and made again since: attach the new one.
            Detach(it->schema);
            tables_.erase(it);
            it = tables_.end();
        }
        if (it != tables_.end()) {
            // Another connection changed the file: check it again, as its next open would.
            const std::int64_t version = DataVersion(it->schema);
            if (version != it->dataVersion) {
                try {
                    Describe(*it);
                } catch (...) {
                    Detach(it->schema);
                    tables_.erase(it);
                    throw;
                }
                it->dataVersion = version;
            }
            it->lastUse = clock_;
            needed.push_back(path);
            continue;
        }
        // The statement uses the table: a file that its open would refuse is
        // refused here with the open's error, before anything is attached.
        Table t;
        t.path = path;
        Describe(t);
        while (tables_.size() >= kMaxAttached) {
            // Make room: the least recently used attachment that this text does not need.
            auto victim = tables_.end();
            for (auto t = tables_.begin(); t != tables_.end(); ++t)
                if (std::find(needed.begin(), needed.end(), t->path) == needed.end() &&
                    (victim == tables_.end() || t->lastUse < victim->lastUse))
                    victim = t;
            if (victim == tables_.end())
                Throw(EDS_E_SQL, "ERROR 7200: NATIVEERROR = 0; A statement may use at most " +
                                     std::to_string(kMaxAttached) + " tables.");
            Detach(victim->schema);
            tables_.erase(victim);
        }
        t.device = st.st_dev;
        t.inode = st.st_ino;
        t.schema = "edt" + std::to_string(++nextSchema_);
        sqlite3_stmt* attach = nullptr;
        sqlite3_prepare_v2(db_, ("ATTACH DATABASE ?1 AS " + QuoteName(t.schema)).c_str(), -1, &attach, nullptr);
        StmtGuard guard{attach};
        sqlite3_bind_text(attach, 1, path.c_str(), -1, SQLITE_TRANSIENT);
        int rc = sqlite3_step(attach);
        if (rc != SQLITE_DONE) ThrowSqlError(db_, rc, "ATTACH " + path);
        try {
            if (const std::string checks = FieldChecks::Make(t.schema, t.rowTable, t.recno, t.fields); !checks.empty())
                ExecOwn(checks);
            const bool autoinc = std::any_of(t.fields.begin(), t.fields.end(),
                                             [](const SqlField& f) { return f.type == EDS_AUTOINC; });
            ExecOwn(RecordChecks::Make(t.schema, t.rowTable, t.recno, autoinc));
        } catch (...) {
            Detach(t.schema);
            throw;
        }
        t.dataVersion = DataVersion(t.schema);
        t.lastUse = clock_;
        needed.push_back(path);
        tables_.push_back(std::move(t));
    }
    return needed;
}

void SqlSession::Describe(Table& table) {
    TableFile::Description description = TableFile::Describe(table.path);
    table.rowTable = std::move(description.rowTable);
    table.recno = description.fields.RecnoSql();
    table.fields.clear();
    for (const FieldDef& f : description.fields.Fields()) table.fields.push_back({f.name, f.type, f.length, f.decimals});
}

void SqlSession::Detach(const std::string& schema) {
    ForgetOwn();  // some may name the attachment
    ExecOwn(FieldChecks::Remove(schema));
    checks_->Forget(schema);
    ExecOwn(RecordChecks::Remove(schema));
    ExecOwn("DETACH DATABASE " + QuoteName(schema));
}

std::int64_t SqlSession::DataVersion(const std::string& schema) {
    const std::string pragma = "PRAGMA " + QuoteName(schema) + ".data_version";
    OwnStatements own(*this);
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, pragma.c_str(), -1, &stmt, nullptr);
    StmtGuard guard{stmt};
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW) ThrowSqlError(db_, rc, pragma);
    return sqlite3_column_int64(stmt, 0);
}

std::string SqlSession::PlaceIndex(const std::string& sql) const {
    const std::vector<SqlToken> toks = TokenizeSql(sql);
    auto word = [&](std::size_t i, const char* w) {
        return i < toks.size() && toks[i].kind == SqlToken::Kind::Word && rtl::UpperCase(toks[i].value) == w;
    };
    auto name = [&](std::size_t i) {
        return i < toks.size() && (toks[i].kind == SqlToken::Kind::Word || toks[i].kind == SqlToken::Kind::QuotedName);
    };
    std::size_t i = 1;
    if (!word(0, "CREATE")) return sql;
    if (word(i, "UNIQUE")) ++i;
    if (!word(i++, "INDEX")) return sql;
    if (word(i, "IF") && word(i + 1, "NOT") && word(i + 2, "EXISTS")) i += 3;
    const std::size_t indexAt = i;
    if (!name(indexAt) || !word(indexAt + 1, "ON") || !name(indexAt + 2)) return sql;
    const std::string& table = toks[indexAt + 2].value;
    for (const Table& t : tables_) {
        if (!rtl::SameText(t.rowTable, table)) continue;
        return sql.substr(0, toks[indexAt].begin) + QuoteName(t.schema) + "." + sql.substr(toks[indexAt].begin);
    }
    return sql;
}

sqlite3_stmt* SqlSession::PrepareReaching(const std::string& sql, const std::vector<std::string>& paths) {
    std::vector<std::string> schemas;
    for (const std::string& path : paths)
        if (const Table* t = ByPath(path)) schemas.push_back(t->schema);
    reachable_ = &schemas;
    writes_.clear();
    unreachable_.clear();
    refusal_.clear();
    indexMade_.clear();
    struct Reset {
        SqlSession& session;
        ~Reset() { session.reachable_ = nullptr; }
    } reset{*this};
    const std::string text = PlaceIndex(sql);
    sqlite3_stmt* stmt = nullptr;
    try {
        stmt = PrepareOne(db_, text);
    } catch (...) {
        if (!refusal_.empty()) Throw(EDS_E_SQL, refusal_);
        if (!unreachable_.empty()) Throw(EDS_E_SQL, "ERROR 7200: NATIVEERROR = 0; " + unreachable_);
        throw;
    }
    StmtGuard guard{stmt};
    RefuseChangeReturningRows(stmt);
    // A table named only so that no column of it is read reaches the authorizer
    // without the attachment SQLite found it in; SQLite's plan names every file
    // the statement opens. A plan is no data: a text that is one already is left.
    const std::vector<SqlToken> toks = TokenizeSql(text);
    if (toks.empty() || !rtl::SameText(toks[0].value, "EXPLAIN")) {
        std::vector<std::string> names;  // by SQLite's number of each attachment
        {
            OwnStatements own(*this);
            StmtGuard list{PrepareOne(db_, "PRAGMA database_list")};
            while (sqlite3_step(list.stmt) == SQLITE_ROW) {
                const auto at = static_cast<std::size_t>(sqlite3_column_int(list.stmt, 0));
                const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(list.stmt, 1));
                if (names.size() <= at) names.resize(at + 1);
                names[at] = name ? name : "";
            }
        }
        StmtGuard plan{PrepareOne(db_, "EXPLAIN " + text)};
        while (sqlite3_step(plan.stmt) == SQLITE_ROW) {
            const auto* op = reinterpret_cast<const char*>(sqlite3_column_text(plan.stmt, 1));
            const std::string_view opcode = op ? op : "";
            int at = -1;
            if (opcode == "Transaction") at = sqlite3_column_int(plan.stmt, 2);
            if (opcode == "OpenRead" || opcode == "OpenWrite") at = sqlite3_column_int(plan.stmt, 4);
            if (at < 2 || static_cast<std::size_t>(at) >= names.size()) continue;  // main, temp
            if (std::find(schemas.begin(), schemas.end(), names[static_cast<std::size_t>(at)]) != schemas.end())
                continue;
            const Table* table = BySchema(names[static_cast<std::size_t>(at)]);
            Throw(EDS_E_SQL, "ERROR 7200: NATIVEERROR = 0; The statement reads the table " +
                                 (table ? table->rowTable : names[static_cast<std::size_t>(at)]) +
                                 ", which its text does not name where a table belongs (after FROM, JOIN, INTO or "
                                 "UPDATE).");
        }
    }
    guard.stmt = nullptr;
    return stmt;
}

// ---- SqlStatementCore ----------------------------------------------------------------

void SqlStatementCore::Prepare(std::string_view sql) {
    prepared_ = false;
    SqlParams p = RewriteSqlParams(sql);
    StmtGuard check{session_.PrepareReaching(p.text, session_.AttachFor(p.text))};
    text_ = std::move(p.text);
    paramNames_ = std::move(p.names);
    params_.assign(paramNames_.size(), std::monostate{});
    prepared_ = true;
}

UNSIGNED32 SqlStatementCore::ParamNumber(std::string_view name) const {
    std::string wanted = rtl::UpperCase(name);
    if (!wanted.empty() && wanted[0] == ':') wanted.erase(0, 1);
    for (std::size_t i = 0; i < paramNames_.size(); ++i)
        if (rtl::UpperCase(paramNames_[i]) == wanted) return static_cast<UNSIGNED32>(i + 1);
    return 0;
}

void SqlStatementCore::SetParam(UNSIGNED32 number, SqlValue value) {
    if (!prepared_) Throw(EDS_E_INVALID_STATEMENT, "The statement has not been prepared.");
    if (number < 1 || number > params_.size())
        Throw(EDS_E_INVALID_ARGUMENT, "The statement has no parameter " + std::to_string(number) + ".");
    params_[number - 1] = std::move(value);
}

// A statement that changes tables: the record checks judge every row it
// touches as SQLite touches it, whatever the statement's shape; what it
// writes, and so what it answers, comes from SQLite's authorizer.
SqlOutcome SqlStatementCore::Change(sqlite3_stmt* stmt, const std::vector<std::string>& paths,
                                    const std::vector<std::unique_ptr<LockFile>>& opens) {
    sqlite3* db = session_.Db();
    const std::vector<SqlSession::Write> writes = session_.Writes();
    bool schema = false, rows = false, inserts = false;
    for (const SqlSession::Write& w : writes) {
        const bool master = rtl::SameText(w.table, "sqlite_master") || rtl::SameText(w.table, "sqlite_temp_master");
        schema = schema || master;
        rows = rows || !master;
        inserts = inserts || (!master && w.action == SQLITE_INSERT);
    }
    std::vector<RecordChecks::Table> tables;
    std::vector<const SqlSession::Table*> written;
    bool numbers = false;  // a record-number counter is held while the statement runs
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const SqlSession::Table* t = session_.ByPath(paths[i]);
        if (!t) continue;
        RecordChecks::Table checked;
        checked.schema = t->schema;
        checked.rowTable = t->rowTable;
        checked.recno = t->recno;
        checked.locks = opens[i].get();
        auto alias = std::find_if(t->fields.begin(), t->fields.end(), [](const SqlField& f) { return f.type == EDS_AUTOINC; });
        checked.autoinc = alias != t->fields.end();
        for (const SqlSession::Write& w : writes) {
            if (w.schema != t->schema || !rtl::SameText(w.table, t->rowTable)) continue;
            const bool renumbers = w.action == SQLITE_UPDATE && (rtl::SameText(w.column, "ROWID") ||
                                                                 (checked.autoinc && rtl::SameText(w.column, alias->name)));
            checked.numbering = checked.numbering || w.action == SQLITE_INSERT || renumbers;
            if (std::find(written.begin(), written.end(), t) == written.end()) written.push_back(t);
        }
        numbers = numbers || checked.numbering;
        tables.push_back(std::move(checked));
    }
    // The written tables' locks before the counters: a holder of a counter never
    // waits for SQLite (an append inside a transaction holds its table's lock
    // while it reserves).
    std::optional<WriteTransaction> transaction;
    if (numbers) transaction.emplace(session_, written);
    RecordChecks::Run run(session_.Records(), std::move(tables));
    for (const RecordChecks::Table& t : run.Tables())
        if (t.held && t.autoinc) NumberFromCounter(session_, t);
    session_.Checks().Clear();
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    // A failure is answered once the rows the statement kept are placed and their
    // numbers handed out: OR FAIL keeps the rows before the one that failed, with
    // a transaction of ours or without.
    std::exception_ptr failure;
    if (rc != SQLITE_DONE) {
        try {
            session_.Records().ThrowRefusal();
            session_.Checks().ThrowFailure(db, rc, text_);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    SqlOutcome out;
    if (!failure && rows && !schema) {
        out.rowsAffected = sqlite3_changes64(db);
        if (inserts) out.lastAutoinc = sqlite3_last_insert_rowid(db);
    }
    run.Stop();
    try {
        // A failed statement that kept no change was undone whole (OR ROLLBACK ends
        // our transaction too): what lies below the counter then was there before.
        const bool open = transaction && !sqlite3_get_autocommit(db);
        const bool kept = !failure || sqlite3_changes64(db) > 0;
        if (kept && (open || !transaction))
            for (RecordChecks::Table& t : run.Tables()) MoveAbove(session_, t, out.lastAutoinc);
        run.Release([this](const RecordChecks::Table& t) { return Highest(session_, t); });
        if (open) transaction->Commit();
    } catch (...) {
        if (!failure) throw;  // else the statement's own failure says more
    }
    if (failure) std::rethrow_exception(failure);
    return out;
}

SqlOutcome SqlStatementCore::Execute(bool inTransaction) {
    if (!prepared_) Throw(EDS_E_INVALID_STATEMENT, "The statement has not been prepared.");
    const std::vector<std::string> paths = session_.AttachFor(text_);
    // A statement is one more open of each table it names: a table that another
    // handle holds exclusively is refused, as an open would be.
    std::vector<std::unique_ptr<LockFile>> opens;
    for (const std::string& path : paths) {
        auto lock = std::make_unique<LockFile>(path);
        if (!lock->LockOpen(false, TableFile::kOpenWaitMs))
            Throw(EDS_E_TABLE_LOCKED, "The table " + path + " is open exclusively by another user.");
        opens.push_back(std::move(lock));
    }
    StmtGuard stmt{session_.PrepareReaching(text_, paths)};
    if (inTransaction && !sqlite3_stmt_readonly(stmt.stmt))
        Throw(EDS_E_TRANSACTION, "An SQL statement cannot change tables inside a transaction; change them through "
                                 "their tables, or run the statement after the commit or rollback.");
    for (std::size_t i = 0; i < params_.size(); ++i) SqlBindValue(stmt.stmt, static_cast<int>(i) + 1, params_[i]);
    int columns = sqlite3_column_count(stmt.stmt);
    if (columns == 0) return Change(stmt.stmt, paths, opens);
    SqlOutcome out;

    auto result = std::make_unique<SqlResult>();
    // Column descriptions: a column taken from a table keeps its field's type and
    // length; a computed one takes the kind of its values.
    // The generated columns that fold case-insensitive keys belong to the file, not
    // to the table's fields: "SELECT *" shows the fields only.
    std::vector<int> shown;
    for (int i = 0; i < columns; ++i) {
        const char* schema = sqlite3_column_database_name(stmt.stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt.stmt, i);
        const SqlSession::Table* t = schema && origin ? session_.BySchema(schema) : nullptr;
        const bool fold = t && std::none_of(t->fields.begin(), t->fields.end(), [&](const SqlField& f) {
                              return rtl::UpperCase(f.name) == rtl::UpperCase(origin);
                          }) && std::any_of(t->fields.begin(), t->fields.end(), [&](const SqlField& f) {
                              return rtl::UpperCase(f.name + "$fold") == rtl::UpperCase(origin);
                          });
        if (!fold) shown.push_back(i);
    }
    columns = static_cast<int>(shown.size());
    std::vector<bool> known(static_cast<std::size_t>(columns), false);
    for (int k = 0; k < columns; ++k) {
        const int i = shown[static_cast<std::size_t>(k)];
        SqlField f;
        const char* name = sqlite3_column_name(stmt.stmt, i);
        f.name = name ? name : "";
        const char* schema = sqlite3_column_database_name(stmt.stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt.stmt, i);
        if (schema && origin) {
            if (const SqlSession::Table* t = session_.BySchema(schema)) {
                for (const SqlField& tf : t->fields) {
                    if (rtl::UpperCase(tf.name) != rtl::UpperCase(origin)) continue;
                    f.type = tf.type;
                    f.length = tf.length;
                    f.decimals = tf.decimals;
                    known[static_cast<std::size_t>(k)] = true;
                }
            }
        }
        result->fields.push_back(std::move(f));
    }

    SingleTableSelect single;
    bool allKnown = std::all_of(known.begin(), known.end(), [](bool k) { return k; });
    const char* schema0 = columns > 0 ? sqlite3_column_database_name(stmt.stmt, shown[0]) : nullptr;
    const SqlSession::Table* table = schema0 ? session_.BySchema(schema0) : nullptr;
    if (allKnown && table && AnalyseSingleTableSelect(text_, single, table->recno)) {
        for (int i : shown) {
            const char* schema = sqlite3_column_database_name(stmt.stmt, i);
            if (!schema || std::string_view(schema) != table->schema) allKnown = false;
            const char* origin = sqlite3_column_origin_name(stmt.stmt, i);
            result->sourceColumns.push_back(origin ? origin : "");
        }
        if (allKnown) {
            result->byRecord = true;
            result->sourcePath = table->path;
            result->sourceRowTable = table->rowTable;
            result->sourceRecno = table->recno;
            result->recordQuery = single.rowidQuery;
            result->params = params_;
            out.result = std::move(result);
            return out;
        }
        result->sourceColumns.clear();
    }

    // Any other result is read as the statement gives it (StreamedRows), on a
    // connection of its own that attaches the same files.
    std::vector<StreamedRows::File> files;
    for (const std::string& path : paths)
        if (const SqlSession::Table* t = session_.ByPath(path)) files.push_back({path, t->schema});
    std::vector<int> computed;
    for (int k = 0; k < columns; ++k)
        if (!known[static_cast<std::size_t>(k)]) computed.push_back(shown[static_cast<std::size_t>(k)]);
    std::string body = text_;
    {
        const std::vector<SqlToken> toks = TokenizeSql(body);
        std::size_t end = 0;
        for (const SqlToken& t : toks)
            if (!(t.kind == SqlToken::Kind::Punct && t.value == ";")) end = t.end;
        body.resize(end);
    }
    auto rows = std::make_shared<StreamedRows>(files, body, params_, computed);
    // A computed column takes the kind of its values: text, else real, else blob, else
    // whole numbers (or nothing but NULL); text as wide as its widest value.
    std::optional<std::vector<StreamedRows::Kind>> kinds = rows->QueryKinds();
    rows->Start(!kinds);
    if (!kinds) kinds = rows->CopiedKinds();
    for (int k = 0, at = 0; k < columns; ++k) {
        result->rowColumns.push_back("c" + std::to_string(shown[static_cast<std::size_t>(k)]));
        if (known[static_cast<std::size_t>(k)]) continue;
        const StreamedRows::Kind& kind = (*kinds)[static_cast<std::size_t>(at++)];
        SqlField& f = result->fields[static_cast<std::size_t>(k)];
        if (kind.text) {
            f.type = EDS_STRING;
            f.length = static_cast<UNSIGNED32>(std::max<std::int64_t>(1, kind.width));
        } else if (kind.real) {
            f.type = EDS_DOUBLE;
            f.length = 8;
        } else if (kind.blob) {
            f.type = EDS_BINARY;
            f.length = 4;
        } else {
            f.type = EDS_INTEGER;
            f.length = 4;
        }
    }
    result->rows = std::move(rows);
    out.result = std::move(result);
    return out;
}

}  // namespace eds
